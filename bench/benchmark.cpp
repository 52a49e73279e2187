// Side-by-side benchmark under Wine: the built saver against the baseline fixture (its window and
// timer, no drawing), full screen, in interleaved rounds. Prints one table of medians with their
// spread and the ratios to the baseline. Never fails on a figure: only a run that cannot be
// measured ends with a non-zero code.
//
// Usage: benchmark.exe <saver.scr> <baseline.exe> <32-bit saver.scr> [rounds] [seconds]
// (Unix paths). Each round runs each program once for `seconds` of counting, in alternating order,
// plus two short start-and-end runs each.
#include <windows.h>
#include <psapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "tests/wine/expected_lines.h"

#define SAVER_CLASS "WindowsScreenSaverClass"
#define TICKS_VARIABLE "BENCH_TICKS"
#define TICKS_MAPPING "saver-bench-ticks"
// The first line of every run passes through the start point in this colour.
#define FIRST_LINE_COLOUR RGB(190, 132, 225)
#define SHORT_RUNS_PER_ROUND 2
#define SETTLE_MS 1000

static void UnixToWindows(const char *unixPath, char *out, size_t size)
{
    snprintf(out, size, "Z:%s", unixPath);
    for (char *p = out; *p; p++)
        if (*p == '/')
            *p = '\\';
}

static double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

// The run in progress, ended by Fail: a saver left behind would cover the screen for good.
static HANDLE runningProcess;

static void Fail(const char *why)
{
    if (runningProcess)
        TerminateProcess(runningProcess, 99);
    printf("benchmark: %s\n", why);
    fflush(stdout);
    exit(1);
}

// ---------------------------------------------------------------------------------------------
// Pixels: the screen, and the effect drawn here from its rules, written independently of the
// product, into a bitmap the size of the screen.

struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    DWORD *bits = nullptr;
    int width = 0, height = 0;

    Surface(int w, int h) : width(w), height(h)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *p = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        if (!bitmap)
            Fail("no memory for a bitmap of the screen");
        bits = (DWORD *)p;
        previous = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, w, h, BLACKNESS);
    }
    Surface(const Surface &) = delete;
    Surface &operator=(const Surface &) = delete;

    ~Surface()
    {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }

    void Grab()
    {
        HDC screen = GetDC(nullptr);
        BitBlt(dc, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ReleaseDC(nullptr, screen);
        GdiFlush();
    }

    DWORD At(int x, int y) const { return bits[(size_t)y * width + x] & 0xFFFFFF; }

    bool Equals(const Surface &other) const
    {
        if (At(EXPECTED_START_X, EXPECTED_START_Y) != other.At(EXPECTED_START_X, EXPECTED_START_Y))
            return false;
        for (int y = 0; y < height; y++) {
            const DWORD *a = bits + (size_t)y * width, *b = other.bits + (size_t)y * width;
            if (memcmp(a, b, (size_t)width * 4) == 0)
                continue;
            for (int x = 0; x < width; x++)
                if ((a[x] ^ b[x]) & 0xFFFFFF)
                    return false;
        }
        return true;
    }
};

struct ReferenceDrawing : Surface, ExpectedLines {
    using Surface::Surface;

    void DrawLine() { DrawNext(dc, width, height); }

    struct Mark {
        DWORD state;
        int lines, sinceClear;
        std::vector<DWORD> pixels;
    };

    Mark Keep() const { return {state, lines, sinceClear, std::vector<DWORD>(bits, bits + (size_t)width * height)}; }

    void Restore(const Mark &m)
    {
        state = m.state;
        lines = m.lines;
        sinceClear = m.sinceClear;
        memcpy(bits, m.pixels.data(), m.pixels.size() * sizeof(DWORD));
    }

    // Counting across clears: the reference goes on drawing, clears included, until it shows the
    // captured pixels, so its count is the saver's total, not the count since the last clear. The
    // generator never restarts, so no two counts give the same picture, except the empty screens
    // right after each clear; Counted() refuses those. -1: no count within `limit` further lines.
    int AdvanceTo(const Surface &capture, int limit)
    {
        for (int i = 0; !Equals(capture); i++) {
            if (i == limit)
                return -1;
            DrawLine();
        }
        return lines;
    }
};

// A capture can be counted unless the start point is black: then the screen may be empty, which
// every clear looks like.
static bool Counted(const Surface &capture)
{
    return capture.At(EXPECTED_START_X, EXPECTED_START_Y) != 0;
}

// ---------------------------------------------------------------------------------------------
// The kernel's record of a process, read through Wine's drive Z:. Wine 8 answers GetProcessTimes
// for another process without its user time, and GetThreadTimes in steps of 10 ms; the kernel
// counts each thread's time in nanoseconds.

static int ReadSmallFile(const char *path, char *text, int size)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD got = 0, total = 0;
    while (total < (DWORD)size - 1 && ReadFile(h, text + total, (DWORD)size - 1 - total, &got, nullptr) && got)
        total += got;
    CloseHandle(h);
    text[total] = 0;
    return (int)total;
}

static bool AllDigits(const char *s)
{
    for (; *s; s++)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

// The Unix processes that run `program`. Wine writes a process's Windows command line over its
// Unix one, program first and unquoted.
static std::vector<long> UnixPidsOf(const char *program)
{
    std::vector<long> pids;
    size_t length = strlen(program);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &found);
    if (find == INVALID_HANDLE_VALUE)
        return pids;
    do {
        if (!AllDigits(found.cFileName))
            continue;
        char path[MAX_PATH], text[MAX_PATH + 64];
        snprintf(path, sizeof path, "Z:\\proc\\%s\\cmdline", found.cFileName);
        int n = ReadSmallFile(path, text, sizeof text);
        if (n > (int)length && _strnicmp(text, program, length) == 0 && (text[length] == 0 || text[length] == ' '))
            pids.push_back(atol(found.cFileName));
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return pids;
}

// Seconds of processor time of all the process's threads, or -1 when the process is gone.
static double UnixCpuSeconds(long pid)
{
    char pattern[64];
    snprintf(pattern, sizeof pattern, "Z:\\proc\\%ld\\task\\*", pid);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    double total = 0;
    do {
        if (!AllDigits(found.cFileName))
            continue;
        char path[MAX_PATH], text[128];
        snprintf(path, sizeof path, "Z:\\proc\\%ld\\task\\%s\\schedstat", pid, found.cFileName);
        if (ReadSmallFile(path, text, sizeof text))
            total += strtod(text, nullptr) / 1e9;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return total;
}

// ---------------------------------------------------------------------------------------------
// The programs under test.

struct Sample {
    double when;      // seconds
    double cpu;       // seconds of the process, user and kernel
    double platformCpu;  // the same as the platform reports it for the main thread
    long count;       // lines or ticks
};

struct Program {
    const char *name;
    char path[MAX_PATH];
    bool draws;  // the saver: its count comes from its pixels; the baseline's from the counter
};

struct Run {
    Program &program;
    PROCESS_INFORMATION pi = {};
    bool running = false;
    double created = 0;  // just before CreateProcessA
    std::vector<long> unixPidsBefore;  // other copies of the program, not this run's
    long unixPid = 0;

    explicit Run(Program &p) : program(p) {}
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    void Start()
    {
        char line[MAX_PATH + 16];
        snprintf(line, sizeof line, "\"%s\" /s", program.path);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        unixPidsBefore = UnixPidsOf(program.path);
        created = Now();
        running = CreateProcessA(program.path, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        if (!running)
            Fail("CreateProcessA failed");
        runningProcess = pi.hProcess;
    }

    bool Alive() { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }

    double Cpu()
    {
        if (!unixPid)
            FindUnixPid();
        return UnixCpuSeconds(unixPid);
    }

    void FindUnixPid()
    {
        for (long pid : UnixPidsOf(program.path)) {
            if (std::find(unixPidsBefore.begin(), unixPidsBefore.end(), pid) != unixPidsBefore.end())
                continue;
            if (unixPid)
                Fail("two copies of a program started at once: which is this run's is unknown");
            unixPid = pid;
        }
        if (!unixPid)
            Fail("the Unix process of a program is not in /proc");
    }

    double PlatformCpu()
    {
        FILETIME creation, exit, kernel, user;
        if (!GetThreadTimes(pi.hThread, &creation, &exit, &kernel, &user))
            return -1;
        ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
        ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
        return (double)(k.QuadPart + u.QuadPart) / 1e7;
    }

    double PeakWorkingSetKiB()
    {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (!GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters))
            return -1;
        return (double)counters.PeakWorkingSetSize / 1024.0;
    }

    ~Run()
    {
        if (!running)
            return;
        runningProcess = nullptr;
        if (Alive()) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

struct WindowSearch {
    DWORD pid;
    bool visible;
};

static BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param)
{
    WindowSearch *search = (WindowSearch *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == search->pid && strcmp(cls, SAVER_CLASS) == 0 && IsWindowVisible(window)) {
        search->visible = true;
        return FALSE;
    }
    return TRUE;
}

static bool WindowShown(DWORD pid)
{
    WindowSearch search = {pid, false};
    EnumWindows(FindVisibleWindow, (LPARAM)&search);
    return search.visible;
}

static DWORD ScreenPixel(int x, int y)
{
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

static volatile LONG *sharedTicks;

// ---------------------------------------------------------------------------------------------
// Figures, one list of samples per row of the table.

struct Figures {
    std::vector<double> rate, cpuPer1000, platformCpuPer1000, shown, firstPixel, end, peakKiB;
};

static void PressKey()
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'X';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

// Start until the window is shown and, for the saver, the first line is on the screen.
static void MeasureStart(Run &run, Figures &f)
{
    if (run.program.draws && ScreenPixel(EXPECTED_START_X, EXPECTED_START_Y) == FIRST_LINE_COLOUR)
        Fail("the screen shows the first line before the saver started");
    run.Start();
    double shown = 0, pixel = 0;
    while (Now() - run.created < 15) {
        if (!run.Alive())
            Fail("a program ended while starting");
        if (!shown && WindowShown(run.pi.dwProcessId))
            shown = Now();
        if (run.program.draws && !pixel && ScreenPixel(EXPECTED_START_X, EXPECTED_START_Y) == FIRST_LINE_COLOUR)
            pixel = Now();
        if (shown && (pixel || !run.program.draws))
            break;
        Sleep(1);
    }
    if (!shown || (run.program.draws && !pixel))
        Fail("a program showed no window or no drawing within 15 s");
    f.shown.push_back((shown - run.created) * 1000);
    if (run.program.draws)
        f.firstPixel.push_back((pixel - run.created) * 1000);
}

static void MeasureEnd(Run &run, Figures &f)
{
    f.peakKiB.push_back(run.PeakWorkingSetKiB());
    double pressed = Now();
    PressKey();
    if (WaitForSingleObject(run.pi.hProcess, 10000) != WAIT_OBJECT_0)
        Fail("a program did not end on a key");
    f.end.push_back((Now() - pressed) * 1000);
    DWORD code = 1;
    GetExitCodeProcess(run.pi.hProcess, &code);
    if (code != 0)
        Fail("a program ended with a code other than 0");
}

// The saver's sample is a capture of the screen, counted at once. One that cannot be counted (an
// empty screen, or a frame caught while it was being put on the screen) is taken again, from the
// reference as it was before.
static Sample TakeSample(Run &run, ReferenceDrawing *reference, Surface *capture, int limit)
{
    for (int attempt = 0; attempt < 5; attempt++) {
        Sample s;
        double before = Now();
        s.cpu = run.Cpu();
        s.platformCpu = run.PlatformCpu();
        if (reference)
            capture->Grab();
        else
            s.count = *sharedTicks;
        s.when = (before + Now()) / 2;
        if (!reference)
            return s;
        if (Counted(*capture)) {
            ReferenceDrawing::Mark mark = reference->Keep();
            if ((s.count = reference->AdvanceTo(*capture, limit)) >= 0)
                return s;
            reference->Restore(mark);
        }
        Sleep(5);
    }
    Fail("no capture of the screen in 5 attempts was a drawing of the line effect");
    return {};
}

static void MeasureRate(Run &run, Figures &f, int seconds, RECT screen)
{
    ReferenceDrawing *reference = nullptr;
    Surface *capture = nullptr;
    if (run.program.draws) {
        reference = new ReferenceDrawing(screen.right, screen.bottom);
        capture = new Surface(screen.right, screen.bottom);
    }
    int limit = 300 * seconds + 2 * EXPECTED_LINES_PER_CLEAR;
    run.Cpu();  // finds the Unix process outside the timed samples
    Sample first = TakeSample(run, reference, capture, limit);
    Sleep((DWORD)seconds * 1000);
    Sample last = TakeSample(run, reference, capture, limit);
    double elapsed = last.when - first.when;
    long counted = last.count - first.count;
    f.rate.push_back(counted / elapsed);
    f.cpuPer1000.push_back(counted > 0 ? (last.cpu - first.cpu) * 1e6 / counted : -1);
    f.platformCpuPer1000.push_back(counted > 0 ? (last.platformCpu - first.platformCpu) * 1e6 / counted : -1);
    delete reference;
    delete capture;
}

static void LongRun(Program &p, Figures &f, int seconds, RECT screen)
{
    Run run(p);
    MeasureStart(run, f);
    Sleep(SETTLE_MS);
    MeasureRate(run, f, seconds, screen);
    MeasureEnd(run, f);
}

static void ShortRun(Program &p, Figures &f)
{
    Run run(p);
    MeasureStart(run, f);
    Sleep(300);
    MeasureEnd(run, f);
    // The screen must be back to what lies under the saver before the next start is timed.
    Sleep(200);
}

// ---------------------------------------------------------------------------------------------
// The table.

static double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static void Cell(char *out, size_t size, const std::vector<double> &v, int decimals)
{
    if (v.empty()) {
        snprintf(out, size, "–");
        return;
    }
    double low = *std::min_element(v.begin(), v.end()), high = *std::max_element(v.begin(), v.end());
    snprintf(out, size, "%.*f (%.*f–%.*f)", decimals, Median(v), decimals, low, decimals, high);
}

// Each saver sample over the baseline's of the same round, which ran next to it.
static std::vector<double> Ratios(const std::vector<double> &saver, const std::vector<double> &baseline)
{
    std::vector<double> r;
    for (size_t i = 0; i < saver.size() && i < baseline.size(); i++)
        r.push_back(baseline[i] > 0 ? saver[i] / baseline[i] : 0);
    return r;
}

static void Row(const char *what, const std::vector<double> &saver, const std::vector<double> &baseline,
                int decimals, bool ratio, const char *goal)
{
    char s[64], b[64], r[64] = "";
    Cell(s, sizeof s, saver, decimals);
    Cell(b, sizeof b, baseline, decimals);
    if (ratio)
        Cell(r, sizeof r, Ratios(saver, baseline), 3);
    printf("| %s | %s | %s | %s | %s |\n", what, s, b, r, goal);
}

static double FileSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (double)data.nFileSizeLow;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 4) {
        printf("usage: benchmark <saver.scr> <baseline.exe> <32-bit saver.scr> [rounds] [seconds] (unix paths)\n");
        return 2;
    }
    Program saver = {"saver", "", true}, baseline = {"baseline", "", false};
    char saver32[MAX_PATH];
    UnixToWindows(argv[1], saver.path, sizeof saver.path);
    UnixToWindows(argv[2], baseline.path, sizeof baseline.path);
    UnixToWindows(argv[3], saver32, sizeof saver32);
    int rounds = argc > 4 ? atoi(argv[4]) : 3;
    int seconds = argc > 5 ? atoi(argv[5]) : 10;
    if (rounds < 1 || seconds < 1)
        Fail("rounds and seconds must be at least 1");

    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), TICKS_MAPPING);
    sharedTicks = mapping ? (volatile LONG *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr;
    if (!sharedTicks)
        Fail("could not share the tick counter");
    SetEnvironmentVariableA(TICKS_VARIABLE, TICKS_MAPPING);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (screen.right <= EXPECTED_START_X || screen.bottom <= EXPECTED_START_Y)
        Fail("the screen is too small to see the start point");

    Figures s, b;
    for (int round = 0; round < rounds; round++) {
        // Alternating order, so that a drift of the machine's load falls on both alike.
        Program *order[2] = {&saver, &baseline};
        if (round % 2)
            std::swap(order[0], order[1]);
        for (Program *p : order)
            LongRun(*p, p->draws ? s : b, seconds, screen);
        for (int i = 0; i < SHORT_RUNS_PER_ROUND; i++)
            for (Program *p : order)
                ShortRun(*p, p->draws ? s : b);
        fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
    }

    printf("%d rounds of %d s each, interleaved; median (min–max); the ratio is saver / baseline of the "
           "same round\n\n",
           rounds, seconds);
    printf("| figure | saver | baseline | ratio | goal |\n|---|---|---|---|---|\n");
    Row("lines (saver) or ticks (baseline) per second", s.rate, b.rate, 2, true, "ratio ≥ 0.98");
    Row("CPU ms per 1000 ticks", s.cpuPer1000, b.cpuPer1000, 1, true, "ratio ≤ 1.25");
    Row("the same by GetThreadTimes (main thread, 10 ms steps)", s.platformCpuPer1000, b.platformCpuPer1000, 1,
        true, "");
    Row("CreateProcessA → window shown, ms", s.shown, b.shown, 0, true, "");
    Row("CreateProcessA → first drawn pixel, ms", s.firstPixel, {}, 0, false, "");
    Row("key (SendInput) → process end, ms", s.end, b.end, 0, true, "");
    Row("peak working set, KiB", s.peakKiB, b.peakKiB, 0, true, "");
    printf("| size of saver.scr, bytes: x86-64 / 32-bit | %.0f / %.0f | | | |\n", FileSize(saver.path),
           FileSize(saver32));
    fflush(stdout);
    return 0;
}
