// The fixtures' common part: the entry, the command line, the shared counter, the window and the
// message loop, made like the saver's so that a fixture differs from it only in its ticks.
#include "bench/fixture.h"

#define TICKS_VARIABLE "BENCH_TICKS"
#define TIMER_ID 100

static volatile LONG localTicks;
static volatile LONG *ticks = &localTicks;
static bool preview;

static LRESULT CALLBACK FixtureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        FixtureCreated(window);
        SetTimer(window, TIMER_ID, 0, nullptr);
        break;
    case WM_TIMER:
        *ticks = *ticks + 1;
        FixtureTick(window);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!preview)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void OpenSharedCounter()
{
    char name[MAX_PATH];
    if (!GetEnvironmentVariableA(TICKS_VARIABLE, name, sizeof name))
        return;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    void *view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr;
    if (view)
        ticks = (volatile LONG *)view;
}

// The arguments after the program name, quoted or not. Byte by byte is safe in a double-byte code
// page too: no trail byte is a quote mark or a blank.
static const char *CommandTail(const char *line)
{
    if (*line == '"') {
        for (line++; *line && *line != '"'; line++) {
        }
        if (*line == '"')
            line++;
    } else {
        while ((unsigned char)*line > ' ')
            line++;
    }
    while (*line == ' ' || *line == '\t')
        line++;
    return line;
}

// Only the two window modes; anything else names no parent and runs full screen.
static HWND ParseParent(const char *args)
{
    while (*args == ' ' || *args == '/' || *args == '-')
        args++;
    if (*args != 'p' && *args != 'P')
        return nullptr;
    ULONG_PTR handle = 0;
    for (args++; *args == ' '; args++) {
    }
    for (; *args >= '0' && *args <= '9'; args++)
        handle = handle * 10 + (ULONG_PTR)(*args - '0');
    return (HWND)handle;
}

static UINT RunFixture(const char *args)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    OpenSharedCounter();
    HWND parent = ParseParent(args);
    preview = parent != nullptr;

    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = FixtureProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = "WindowsScreenSaverClass";
    if (!RegisterClassA(&wc))
        return 1;

    RECT place = {};
    HWND window;
    if (preview) {
        GetClientRect(parent, &place);
        window = CreateWindowExA(0, wc.lpszClassName, "Preview", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 place.right, place.bottom, parent, nullptr, instance, nullptr);
    } else {
        HDC screen = GetDC(nullptr);
        GetClipBox(screen, &place);
        ReleaseDC(nullptr, screen);
        window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Screen Saver",
                                 WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, place.left, place.top,
                                 place.right - place.left, place.bottom - place.top, nullptr, nullptr, instance,
                                 nullptr);
        if (window)
            SetForegroundWindow(window);
    }
    if (!window)
        return 1;
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (UINT)msg.wParam;
}

// The entry the linker takes for a GUI program; nothing is set up before it, and the stack may be
// aligned to 4 bytes only on i686.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void)
{
    ExitProcess(RunFixture(CommandTail(GetCommandLineA())));
}
