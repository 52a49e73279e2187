// What the end-to-end driver and the benchmark both need from the platform to watch a saver from
// outside: Windows paths for the Unix paths they are given, starting and waiting for programs, a
// process's window, and the screen's pixels. Neither program has anything of the product in it.
#pragma once
#include <windows.h>
#include <stddef.h>

#define SAVER_CLASS "WindowsScreenSaverClass"

// Both programs are given Unix paths by their scripts; Wine's drive Z: is the Unix root.
void UnixToWindows(const char *unixPath, char *out, size_t size);

// ---------------------------------------------------------------------------------------------
// Waiting. A program that owns windows (the driver owns the preview parents) must keep its queue
// dispatched while it waits: a child window of another process sends its parent messages
// (WM_PARENTNOTIFY at creation) that block the child until they are answered.

void Pump(DWORD milliseconds);

// Whether `done` came true within the time, the queue pumped in between.
template <typename Predicate>
bool WaitUntil(DWORD milliseconds, Predicate done)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        Pump(5);
    }
}

// ---------------------------------------------------------------------------------------------
// Programs.

// For helper commands: they get no share of the caller's standard handles, whose output would mix
// with theirs (and the driver's output has been seen to go missing after a Unix helper had
// inherited it). `line` is the whole command line; without `pi` the handles are closed at once.
bool StartQuietly(char *line, PROCESS_INFORMATION *pi);

// A saver or a fixture started under watch. It is never left behind: a topmost full-screen window
// would spoil everything that runs after it, so the destructor ends a process still running.
struct Process {
    PROCESS_INFORMATION pi = {};
    bool running = false;

    Process() = default;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process();

    // "program" args, as a person would type it; `args` nullptr for the program's name alone.
    bool Start(const char *program, const char *args);
    bool Alive() const;
    // Lets go of the handles once the process has ended.
    void Close();
};

// ---------------------------------------------------------------------------------------------
// Windows.

bool IsSaverWindow(HWND window);

// The first top-level window of the process that `wanted` accepts, or nullptr.
HWND ProcessWindow(DWORD pid, bool (*wanted)(HWND window));

// ---------------------------------------------------------------------------------------------
// A desktop to watch a desktop effect on (desktop.cpp): a wallpaper over the whole screen and an
// application's window over it, shown until the object goes. Windows of the caller's thread: it
// pumps its queue while it waits (Pump, WaitUntil), as it must anyway.

struct Desktop {
    static const DWORD SHOWN_MS = 300;  // how long Show waits for the windows to be on the screen
    HWND wallpaper = nullptr, window = nullptr;

    Desktop() = default;
    Desktop(const Desktop &) = delete;
    Desktop &operator=(const Desktop &) = delete;
    ~Desktop();
    bool Show();
};

// ---------------------------------------------------------------------------------------------
// Pixels: a 32-bit top-down bitmap with a DC, to grab the screen into or to draw into.

struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;  // nullptr when there was no memory for it
    HGDIOBJ previous = nullptr;
    DWORD *bits = nullptr;
    int width = 0, height = 0;

    Surface(int w, int h);
    Surface(const Surface &) = delete;
    Surface &operator=(const Surface &) = delete;
    ~Surface();

    // The screen from (left, top) on, the size of this surface.
    void Grab(int left = 0, int top = 0);

    DWORD At(int x, int y) const { return bits[(size_t)y * width + x] & 0xFFFFFF; }

    // Pixels that differ, outside an optional area that something else covers. Counting stops at
    // `enough`: a caller that only asks whether the two are equal passes 1.
    long Differences(const Surface &other, const RECT *covered = nullptr, long enough = 0x7FFFFFFF) const;

    // A .bmp file, to look at after a comparison failed; false when it could not be written.
    bool Save(const char *path) const;
};
