// Side-by-side benchmark under Wine: each image of the saver (x86-64, and the 32-bit product under
// Wine's 32-bit loader) against two fixtures of the same image, full screen, in interleaved
// rounds: the floor (the saver's window, timer and lines with the fewest calls) and the baseline
// (window and timer, no drawing). Prints one table per image of medians with their spread and the
// ratios to the fixtures. Never fails on a figure: only a run that cannot be measured ends with a
// non-zero code.
//
// Usage: benchmark.exe <saver.scr> <floor.exe> <baseline.exe> [<32-bit saver.scr> <32-bit floor.exe>
//                      <32-bit baseline.exe>] [rounds] [seconds]
// (Unix paths; without the 32-bit images, the x86-64 one alone). Each round counts each program for `seconds`, in slices that take turns, the
// saver's between its fixtures'; every slice is a run of its own, started and ended.
//
// Any saver beside the framework alone, on the screen the benchmark finds:
//        benchmark.exe --effect <NAME.scr> <framework_alone.scr> <trace file> <NAME> [rounds] [seconds]
// (see "Any saver" below).
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/harness.h"
#include "tests/wine/reference_drawing.h"

#define TICKS_VARIABLE "BENCH_TICKS"
#define TICKS_MAPPING "saver-bench-ticks"
// A round's counting time per program is cut into slices, each a run of its own, and the programs
// take turns slice by slice: under Wine on a shared machine a tick's CPU time follows the load of
// the other cores (on an idle machine it is up to twice what it is on a busy one), so runs compare
// best when they are close in time. A slice counts at least 5 s, from the settle on, so that it
// holds the clear after the 501st line and its ticks cost what ticks cost on average.
#define SLICE_MIN_S 5
// After the first line; the start's own work is over well within it.
#define SETTLE_MS 500
#define START_LIMIT_S 15
// Lines whose colours the start may show: more than a start within START_LIMIT_S can draw.
#define START_LINES 3000
#define SAMPLE_ATTEMPTS 20

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

struct Program;
static void FailAbout(const Program &program, const char *what, int seconds);

// ---------------------------------------------------------------------------------------------
// Pixels: captures of the screen, counted by the reference drawing of the effect, the size of the
// screen (tests/wine/reference_drawing.h).

static void NeedBitmap(const Surface &surface)
{
    if (!surface.bitmap)
        Fail("no memory for a bitmap of the screen");
}

// The reference as it was, to go back to when a capture matched no count.
struct Mark {
    ExpectedLines lines;
    std::vector<DWORD> pixels;
};

static Mark Keep(const ReferenceDrawing &reference)
{
    const DWORD *bits = reference.bits;
    return {reference, std::vector<DWORD>(bits, bits + (size_t)reference.width * reference.height)};
}

static void Restore(ReferenceDrawing &reference, const Mark &m)
{
    static_cast<ExpectedLines &>(reference) = m.lines;
    memcpy(reference.bits, m.pixels.data(), m.pixels.size() * sizeof(DWORD));
}

// A capture can be counted unless the start point is black: then the screen may be empty, which
// every clear looks like.
static bool Counted(const Surface &capture)
{
    return capture.At(EXPECTED_START_X, EXPECTED_START_Y) != 0;
}

// Every line passes through the start point, so from the first line on the start point shows the
// colour of the latest one (black only in the tick after a clear). A poll of that one pixel cannot
// miss the start, where a poll for the first line's own colour, shown for one tick, can. The
// colours are taken from the reference drawing itself, as the start point shows them.
static std::vector<DWORD> StartColours()
{
    ReferenceDrawing reference(EXPECTED_START_X + 1, EXPECTED_START_Y + 1);
    NeedBitmap(reference);
    std::vector<DWORD> colours;
    for (int i = 0; i < START_LINES; i++) {
        reference.DrawLine();
        if (DWORD c = reference.At(EXPECTED_START_X, EXPECTED_START_Y))
            colours.push_back(c);
    }
    std::sort(colours.begin(), colours.end());
    colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
    return colours;
}

static std::vector<DWORD> startColours;

static bool ShowsALine(COLORREF startPixel)
{
    // GetPixel's COLORREF and the bitmap's pixel differ in the order of red and blue.
    DWORD bgr = ((startPixel & 0xFF) << 16) | (startPixel & 0xFF00) | ((startPixel >> 16) & 0xFF);
    return std::binary_search(startColours.begin(), startColours.end(), bgr);
}

// ---------------------------------------------------------------------------------------------
// The kernel's record of a process, read through Wine's drive Z:. Wine 8 answers GetProcessTimes
// for another process without its user time, GetThreadTimes in steps of 10 ms, and
// GetProcessMemoryInfo for a 32-bit process with zeros; the kernel counts each thread's time in
// nanoseconds and the peak memory of either image alike.

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

// The WINEPREFIX entry of a process's starting environment, "" if none. Other Wine sessions on
// the machine (another prefix, another wineserver) may run the same image at the same time; only
// a process of this prefix can be one of this benchmark's.
static void PrefixOf(const char *pid, char *out, size_t size)
{
    static char text[65536];
    char path[MAX_PATH];
    snprintf(path, sizeof path, "Z:\\proc\\%s\\environ", pid);
    int n = ReadSmallFile(path, text, sizeof text);
    out[0] = 0;
    for (const char *entry = text; entry < text + n; entry += strlen(entry) + 1)
        if (strncmp(entry, "WINEPREFIX=", 11) == 0) {
            snprintf(out, size, "%s", entry);
            return;
        }
}

static char ownPrefix[MAX_PATH + 16];

// The Unix processes of this prefix that run `program`. Wine writes a process's Windows command
// line over its Unix one, program first and unquoted, under either loader.
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
        char path[MAX_PATH], text[MAX_PATH + 64], prefix[MAX_PATH + 16];
        snprintf(path, sizeof path, "Z:\\proc\\%s\\cmdline", found.cFileName);
        int n = ReadSmallFile(path, text, sizeof text);
        if (n <= (int)length || _strnicmp(text, program, length) != 0 || (text[length] != 0 && text[length] != ' '))
            continue;
        PrefixOf(found.cFileName, prefix, sizeof prefix);
        if (strcmp(prefix, ownPrefix) == 0)
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

// The process's peak resident memory in KiB (VmHWM), or -1.
static double UnixPeakKiB(long pid)
{
    char path[64], text[4096];
    snprintf(path, sizeof path, "Z:\\proc\\%ld\\status", pid);
    if (!ReadSmallFile(path, text, sizeof text))
        return -1;
    const char *line = strstr(text, "\nVmHWM:");
    return line ? strtod(line + 7, nullptr) : -1;
}

// ---------------------------------------------------------------------------------------------
// The programs under test.

struct Sample {
    double when;         // seconds
    double cpu;          // seconds of the process, user and kernel
    double platformCpu;  // the same as the platform reports it for the main thread
    long count;          // lines or ticks
};

// One list of samples per row of the table: one per round for the rate and the CPU time, one per
// slice for the rest.
struct Figures {
    std::vector<double> rate, cpuPer1000, platformCpuPer1000, shown, firstLine, end, peakKiB;
};

// The counting of one round, summed over its slices.
struct Tally {
    double seconds = 0, cpu = 0, platformCpu = 0;
    long count = 0;
};

struct Program {
    bool draws;         // draws the saver's lines: its start is its first line on the screen
    bool drawingUnseen = false;  // an effect whose drawing no capture told from what was there
    double unseenAfter = 0;      // since its window showed, s: how long it was looked for
    bool countsPixels;  // the saver: its count comes from its pixels; the fixtures' from the counter
    char path[MAX_PATH];
    Figures figures;
    Tally round;
};

// "melt.scr showed no window within 15 s": the program by its file's name.
static void FailAbout(const Program &program, const char *what, int seconds)
{
    const char *name = strrchr(program.path, '\\');
    char why[MAX_PATH + 200];
    snprintf(why, sizeof why, "%s %s %d s", name ? name + 1 : program.path, what, seconds);
    Fail(why);
}

struct Run : Process {
    Program &program;
    double created = 0;  // just before CreateProcessA
    std::vector<long> unixPidsBefore;  // other copies of the program, not this run's
    long unixPid = 0;

    explicit Run(Program &p) : program(p) {}

    void Start()
    {
        unixPidsBefore = UnixPidsOf(program.path);
        created = Now();
        if (!Process::Start(program.path, "/s"))
            Fail("CreateProcessA failed");
        runningProcess = pi.hProcess;
    }

    long UnixPid()
    {
        if (unixPid)
            return unixPid;
        for (long pid : UnixPidsOf(program.path)) {
            if (std::find(unixPidsBefore.begin(), unixPidsBefore.end(), pid) != unixPidsBefore.end())
                continue;
            if (unixPid)
                Fail("two copies of a program started at once: which is this run's is unknown");
            unixPid = pid;
        }
        if (!unixPid)
            Fail("the Unix process of a program is not in /proc");
        return unixPid;
    }

    double Cpu() { return UnixCpuSeconds(UnixPid()); }

    double PeakKiB() { return UnixPeakKiB(UnixPid()); }

    double PlatformCpu()
    {
        FILETIME creation, exit, kernel, user;
        if (!GetThreadTimes(pi.hThread, &creation, &exit, &kernel, &user))
            return -1;
        ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
        ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
        return (double)(k.QuadPart + u.QuadPart) / 1e7;
    }

    // Fail has nothing to end once the run is over; Process ends the program if need be.
    ~Run()
    {
        if (running)
            runningProcess = nullptr;
    }
};

static bool WindowShown(DWORD pid)
{
    return ProcessWindow(pid, [](HWND window) { return IsSaverWindow(window) && IsWindowVisible(window); }) != nullptr;
}

static bool StartPointShowsALine()
{
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, EXPECTED_START_X, EXPECTED_START_Y);
    ReleaseDC(nullptr, screen);
    return ShowsALine(c);
}

static volatile LONG *sharedTicks;

static void PressKey()
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'X';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof keys[0]);
}

// Start until the window is shown and, for a program that draws, a line is on the screen.
static void MeasureStart(Run &run)
{
    Figures &f = run.program.figures;
    if (run.program.draws) {
        // The last run's window may still be on the X screen for a moment after its process ended.
        double since = Now();
        while (StartPointShowsALine()) {
            if (Now() - since > 5)
                Fail("the screen shows a line before the program started");
            Sleep(10);
        }
    }
    run.Start();
    double shown = 0, line = 0;
    while (Now() - run.created < START_LIMIT_S) {
        if (!run.Alive())
            Fail("a program ended while starting");
        if (!shown && WindowShown(run.pi.dwProcessId))
            shown = Now();
        if (run.program.draws && !line && StartPointShowsALine())
            line = Now();
        if (shown && (line || !run.program.draws))
            break;
        Sleep(1);
    }
    if (!shown)
        FailAbout(run.program, "showed no window within", START_LIMIT_S);
    if (run.program.draws && !line)
        FailAbout(run.program, "showed its window but drew no line at the start point within", START_LIMIT_S);
    f.shown.push_back((shown - run.created) * 1000);
    if (run.program.draws)
        f.firstLine.push_back((line - run.created) * 1000);
}

static void MeasureEnd(Run &run)
{
    Figures &f = run.program.figures;
    f.peakKiB.push_back(run.PeakKiB());
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
// reference as it was before; on a busy machine that takes a few attempts now and then.
static Sample TakeSample(Run &run, ReferenceDrawing *reference, Surface *capture, int limit)
{
    for (int attempt = 0; attempt < SAMPLE_ATTEMPTS; attempt++) {
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
            Mark mark = Keep(*reference);
            if ((s.count = reference->MatchCapture(*capture, limit)) >= 0)
                return s;
            Restore(*reference, mark);
        }
        Sleep(5);
    }
    Fail("no capture of the screen in 20 attempts was a drawing of the line effect");
    return {};
}

static void MeasureCount(Run &run, double seconds, RECT screen)
{
    Tally &t = run.program.round;
    ReferenceDrawing *reference = nullptr;
    Surface *capture = nullptr;
    if (run.program.countsPixels) {
        reference = new ReferenceDrawing(screen.right, screen.bottom);
        capture = new Surface(screen.right, screen.bottom);
        NeedBitmap(*reference);
        NeedBitmap(*capture);
    }
    int limit = 300 * (int)(seconds + 1) + 2 * EXPECTED_LINES_PER_CLEAR;
    run.UnixPid();  // found outside the timed samples
    Sample first = TakeSample(run, reference, capture, limit);
    Sleep((DWORD)(seconds * 1000));
    Sample last = TakeSample(run, reference, capture, limit);
    t.seconds += last.when - first.when;
    t.count += last.count - first.count;
    t.cpu += last.cpu - first.cpu;
    t.platformCpu += last.platformCpu - first.platformCpu;
    delete reference;
    delete capture;
}

static void Slice(Program &p, double seconds, RECT screen)
{
    Run run(p);
    MeasureStart(run);
    Sleep(SETTLE_MS);
    MeasureCount(run, seconds, screen);
    MeasureEnd(run);
    // The screen must be back to what lies under the program before the next start is timed.
    Sleep(200);
}

// The first start of an image after the other image's runs takes longer, whichever program it is:
// it is left out of the figures.
static void WarmUp(Program &p)
{
    Figures kept = p.figures;
    Run run(p);
    MeasureStart(run);
    MeasureEnd(run);
    p.figures = kept;
    Sleep(200);
}

static void EndRound(Program &p)
{
    Tally &t = p.round;
    Figures &f = p.figures;
    f.rate.push_back(t.seconds > 0 ? t.count / t.seconds : 0);
    f.cpuPer1000.push_back(t.count > 0 ? t.cpu * 1e6 / t.count : -1);
    f.platformCpuPer1000.push_back(t.count > 0 ? t.platformCpu * 1e6 / t.count : -1);
    t = {};
}

// ---------------------------------------------------------------------------------------------
// The tables.

enum { SAVER, FLOOR, BASELINE, PROGRAMS };

struct Image {
    const char *name;
    Program programs[PROGRAMS];
};

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

// Each saver sample over the fixture's of the same round or slice, which ran next to it.
static std::vector<double> Ratios(const std::vector<double> &saver, const std::vector<double> &fixture)
{
    std::vector<double> r;
    for (size_t i = 0; i < saver.size() && i < fixture.size(); i++)
        if (saver[i] > 0 && fixture[i] > 0)
            r.push_back(saver[i] / fixture[i]);
    return r;
}

static void Row(const Image &image, const char *what, std::vector<double> Figures::*row, int decimals,
                const char *goal)
{
    const std::vector<double> &saver = image.programs[SAVER].figures.*row;
    const std::vector<double> &floor = image.programs[FLOOR].figures.*row;
    const std::vector<double> &baseline = image.programs[BASELINE].figures.*row;
    char s[64], f[64], b[64], toFloor[64] = "", toBaseline[64] = "";
    Cell(s, sizeof s, saver, decimals);
    Cell(f, sizeof f, floor, decimals);
    Cell(b, sizeof b, baseline, decimals);
    if (!floor.empty())
        Cell(toFloor, sizeof toFloor, Ratios(saver, floor), 3);
    if (!baseline.empty())
        Cell(toBaseline, sizeof toBaseline, Ratios(saver, baseline), 3);
    printf("| %s | %s | %s | %s | %s | %s | %s |\n", what, s, f, b, toFloor, toBaseline, goal);
}

static double FileSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return (double)data.nFileSizeLow;
}

static void Table(const Image &image)
{
    printf("\n%s\n\n", image.name);
    printf("| figure | saver | floor | baseline | saver / floor | saver / baseline | goal |\n"
           "|---|---|---|---|---|---|---|\n");
    Row(image, "lines (saver) or ticks (fixtures) per second", &Figures::rate, 2, "ratios ≥ 0.98");
    Row(image, "CPU ms per 1000 ticks", &Figures::cpuPer1000, 1, "/ floor ≤ 1.05; / baseline ≤ 1.25");
    Row(image, "the same by GetThreadTimes (main thread, 10 ms steps)", &Figures::platformCpuPer1000, 1, "");
    Row(image, "CreateProcessA → window shown, ms", &Figures::shown, 0, "");
    Row(image, "CreateProcessA → a line on the screen, ms", &Figures::firstLine, 0, "");
    Row(image, "key (SendInput) → process end, ms", &Figures::end, 0, "");
    Row(image, "peak resident memory (VmHWM), KiB", &Figures::peakKiB, 0, "");
    printf("| size of the image, bytes | %.0f | %.0f | %.0f | | | |\n", FileSize(image.programs[SAVER].path),
           FileSize(image.programs[FLOOR].path), FileSize(image.programs[BASELINE].path));
}

static int ProductMain(int argc, char **argv)
{
    // The images' paths come first, three for each image measured; the numbers after them.
    int paths = 1;
    while (paths < argc && strspn(argv[paths], "0123456789") != strlen(argv[paths]))
        paths++;
    const int imageCount = (paths - 1) / PROGRAMS;
    if (imageCount < 1 || imageCount > 2 || (paths - 1) % PROGRAMS != 0) {
        printf("usage: benchmark <saver.scr> <floor.exe> <baseline.exe> [<32-bit saver.scr> <32-bit floor.exe> "
               "<32-bit baseline.exe>] [rounds] [seconds] (unix paths)\n");
        return 2;
    }
    static Image images[2];
    const char *names[2] = {"x86-64 (wine64)", "32-bit, the product (Wine's 32-bit loader)"};
    for (int i = 0; i < imageCount; i++) {
        Image &image = images[i];
        image.name = names[i];
        image.programs[SAVER].draws = image.programs[FLOOR].draws = true;
        image.programs[SAVER].countsPixels = true;
        for (int p = 0; p < PROGRAMS; p++)
            UnixToWindows(argv[1 + i * PROGRAMS + p], image.programs[p].path, MAX_PATH);
    }
    int rounds = argc > paths ? atoi(argv[paths]) : 3;
    int seconds = argc > paths + 1 ? atoi(argv[paths + 1]) : 10;
    if (rounds < 1 || seconds < 1)
        Fail("rounds and seconds must be at least 1");

    PrefixOf("self", ownPrefix, sizeof ownPrefix);
    if (!ownPrefix[0])
        Fail("no WINEPREFIX in the benchmark's own environment");
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), TICKS_MAPPING);
    sharedTicks = mapping ? (volatile LONG *)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr;
    if (!sharedTicks)
        Fail("could not share the tick counter");
    SetEnvironmentVariableA(TICKS_VARIABLE, TICKS_MAPPING);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (screen.right <= EXPECTED_START_X || screen.bottom <= EXPECTED_START_Y)
        Fail("the screen is too small to see the start point");
    startColours = StartColours();

    int slices = std::max(1, (int)(seconds / SLICE_MIN_S));
    double sliceSeconds = (double)seconds / slices;
    double began = Now();
    for (int round = 0; round < rounds; round++) {
        // The saver runs between its two fixtures, so that each of its slices has a slice of
        // each next to it; the order of the fixtures and of the images alternates, so that a
        // drift of the machine's load falls on both sides alike.
        for (int k = 0; k < imageCount; k++) {
            Image &image = images[(round + k) % imageCount];
            WarmUp(image.programs[BASELINE]);
            for (int slice = 0; slice < slices; slice++) {
                Program *order[PROGRAMS] = {&image.programs[FLOOR], &image.programs[SAVER],
                                            &image.programs[BASELINE]};
                if ((round + slice) % 2)
                    std::swap(order[0], order[2]);
                for (Program *p : order)
                    Slice(*p, sliceSeconds, screen);
            }
            for (Program &p : image.programs)
                EndRound(p);
        }
        fprintf(stderr, "round %d of %d done, %.0f s; CPU ms per 1000 ticks, saver / floor / baseline:", round + 1,
                rounds, Now() - began);
        for (int i = 0; i < imageCount; i++)
            fprintf(stderr, "  %.1f / %.1f / %.1f", images[i].programs[SAVER].figures.cpuPer1000.back(),
                    images[i].programs[FLOOR].figures.cpuPer1000.back(),
                    images[i].programs[BASELINE].figures.cpuPer1000.back());
        fprintf(stderr, "\n");
    }

    printf("%d rounds of %d s of counting per program, in slices of %.1f s taking turns; median (min–max) over "
           "the rounds (rates, CPU) or the slices (the rest); a ratio is the saver's figure over the fixture's of "
           "the same round or slice\n",
           rounds, seconds, sliceSeconds);
    for (int i = 0; i < imageCount; i++)
        Table(images[i]);
    fflush(stdout);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Any saver (bench/run.sh NAME): the saver's image as built, beside the framework alone, a saver
// of the real framework whose effect only keeps the same timers (bench/framework_alone.cpp). What
// the saver costs beyond it is its effect's own.
//
// Neither image counts its ticks for the benchmark, so both are counted alike from outside: with
// its "msg" trace channel on, Wine writes a line for every message a thread takes from its queue,
// and the WM_TIMER lines of a saver's one thread are its ticks. Both programs run with the channel
// on, so the line a tick costs lies in both and not in their difference. The same trace shows the
// timers the saver sets, which the framework alone is then given.

#define EFFECT_TRACE "-all,trace+msg"
#define TIMERS_VARIABLE "BENCH_TIMERS"
#define TICK_LINE "peek_message got type"
#define TIMER_MESSAGE " (WM_TIMER) "
#define SET_TIMER_LINE "NtUserSetTimer Added "
#define MOST_TIMERS 8

struct Timer {
    unsigned long id;
    long interval;  // ms, as Wine keeps it (0 is raised to the smallest interval, 10)
};

// The savers' trace, which they write to the benchmark's standard error and bench/run.sh to a
// file; read as it grows.
struct Trace {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string partial;                          // a line not yet ended
    std::map<DWORD, long> ticks;                  // WM_TIMER taken, by thread
    std::map<DWORD, std::vector<Timer>> timers;   // timers set, by thread, in order

    void Open(const char *path)
    {
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Fail("cannot read the savers' trace file");
    }

    // "0104:trace:msg:peek_message got type 6 msg 113 (WM_TIMER) hwnd 0x1004c wp 64 lp 0",
    // "0104:trace:msg:NtUserSetTimer Added 0x1004c 64 (nil) timeout 10": the thread first, in hex.
    void Take(const char *line)
    {
        char *end;
        DWORD thread = (DWORD)strtoul(line, &end, 16);
        if (end == line || strncmp(end, ":trace:msg:", 11) != 0)
            return;
        const char *text = end + 11;
        if (strstr(text, TICK_LINE) && strstr(text, TIMER_MESSAGE)) {
            ticks[thread]++;
            return;
        }
        const char *set = strstr(text, SET_TIMER_LINE);
        Timer t;
        if (set && sscanf(set + strlen(SET_TIMER_LINE), "%*s %lx %*s timeout %ld", &t.id, &t.interval) == 2)
            timers[thread].push_back(t);
    }

    void CatchUp()
    {
        char buffer[65536];
        DWORD got;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) {
            partial.append(buffer, got);
            size_t start = 0, newline;
            while ((newline = partial.find('\n', start)) != std::string::npos) {
                partial[newline] = 0;
                Take(partial.c_str() + start);
                start = newline + 1;
            }
            partial.erase(0, start);
        }
    }

    long Ticks(DWORD thread)
    {
        CatchUp();
        return ticks[thread];
    }

    // The timers a thread set, each once with the interval it set last.
    std::vector<Timer> TimersOf(DWORD thread)
    {
        CatchUp();
        std::vector<Timer> latest;
        for (const Timer &t : timers[thread]) {
            auto same = std::find_if(latest.begin(), latest.end(), [&](const Timer &l) { return l.id == t.id; });
            if (same != latest.end())
                same->interval = t.interval;
            else
                latest.push_back(t);
        }
        return latest;
    }
};

static Trace trace;

// The screen before a start, as the previous run left it; a black screen; and the latest capture.
struct Screens {
    Surface before, black, capture;
    Screens(int w, int h) : before(w, h), black(w, h), capture(w, h)
    {
        NeedBitmap(before);
        NeedBitmap(black);
        NeedBitmap(capture);
    }
};

// Until the window is shown and, for the saver, something is drawn: a capture that is neither
// what the screen showed before the start nor all black, the colour of the framework's window.
// A saver whose drawing no capture tells apart (all black, or the desktop it started over, as it
// was) is measured by its ticks and CPU all the same: the first run that sees no drawing within
// the limit says so, and later runs do not look for it.
static void MeasureEffectStart(Run &run, Screens &screens)
{
    Figures &f = run.program.figures;
    bool looks = run.program.draws && !run.program.drawingUnseen;
    screens.before.Grab();
    run.Start();
    double shown = 0, drawn = 0;
    while (Now() - run.created < START_LIMIT_S) {
        if (!run.Alive())
            FailAbout(run.program, "ended while starting, within", START_LIMIT_S);
        if (!shown && WindowShown(run.pi.dwProcessId))
            shown = Now();
        if (shown && looks && !drawn) {
            double grabbed = Now();
            screens.capture.Grab();
            if (screens.capture.Differences(screens.before, nullptr, 1) &&
                screens.capture.Differences(screens.black, nullptr, 1))
                drawn = (grabbed + Now()) / 2;
        }
        if (shown && (drawn || !looks))
            break;
        Sleep(1);
    }
    if (!shown)
        FailAbout(run.program, "showed no window within", START_LIMIT_S);
    f.shown.push_back((shown - run.created) * 1000);
    if (drawn) {
        f.firstLine.push_back((drawn - run.created) * 1000);
    } else if (looks) {
        run.program.drawingUnseen = true;
        run.program.unseenAfter = Now() - shown;
    }
}

static Sample TakeTraceSample(Run &run)
{
    Sample s;
    double before = Now();
    s.cpu = run.Cpu();
    s.platformCpu = run.PlatformCpu();
    s.count = trace.Ticks(run.pi.dwThreadId);
    s.when = (before + Now()) / 2;
    return s;
}

static void MeasureEffectCount(Run &run, double seconds)
{
    Tally &t = run.program.round;
    run.UnixPid();  // found outside the timed samples
    Sample first = TakeTraceSample(run);
    Sleep((DWORD)(seconds * 1000));
    Sample last = TakeTraceSample(run);
    t.seconds += last.when - first.when;
    t.count += last.count - first.count;
    t.cpu += last.cpu - first.cpu;
    t.platformCpu += last.platformCpu - first.platformCpu;
}

// A run whose figures are not kept: the first start of an image takes longer. Returns the timers
// its program set.
static std::vector<Timer> EffectWarmUp(Program &p, Screens &screens)
{
    Figures kept = p.figures;
    Run run(p);
    MeasureEffectStart(run, screens);
    Sleep(SETTLE_MS);
    std::vector<Timer> timers = trace.TimersOf(run.pi.dwThreadId);
    MeasureEnd(run);
    p.figures = kept;
    Pump(200);  // the desktop painted again, for the next start to show
    return timers;
}

static void EffectSlice(Program &p, double seconds, Screens &screens)
{
    Run run(p);
    MeasureEffectStart(run, screens);
    Sleep(SETTLE_MS);
    MeasureEffectCount(run, seconds);
    MeasureEnd(run);
    Pump(200);
}

// The share of one core, which EndRound does not keep.
static void EndEffectRound(Program &p, std::vector<double> &coreShare)
{
    coreShare.push_back(p.round.seconds > 0 ? p.round.cpu / p.round.seconds * 100 : -1);
    EndRound(p);
}

// Each round's or slice's saver figure minus the framework's of the same round or slice.
static std::vector<double> Differences(const std::vector<double> &saver, const std::vector<double> &framework)
{
    std::vector<double> d;
    for (size_t i = 0; i < saver.size() && i < framework.size(); i++)
        if (saver[i] >= 0 && framework[i] >= 0)
            d.push_back(saver[i] - framework[i]);
    return d;
}

static void Scaled(std::vector<double> &v, double by)
{
    for (double &x : v)
        x *= by;
}

static void EffectRow(const char *what, const std::vector<double> &saver, const std::vector<double> &framework,
                      int decimals, bool difference)
{
    char s[64], f[64], d[64] = "";
    Cell(s, sizeof s, saver, decimals);
    Cell(f, sizeof f, framework, decimals);
    if (difference)
        Cell(d, sizeof d, Differences(saver, framework), decimals);
    printf("| %s | %s | %s | %s |\n", what, s, f, d);
}

static int EffectMain(int argc, char **argv)
{
    if (argc < 6) {
        printf("usage: benchmark --effect <NAME.scr> <framework_alone.scr> <trace file> <NAME> [rounds] [seconds] "
               "(unix paths)\n");
        return 2;
    }
    enum { EFFECT, FRAMEWORK };
    static Program programs[2];
    programs[EFFECT].draws = true;
    UnixToWindows(argv[2], programs[EFFECT].path, MAX_PATH);
    UnixToWindows(argv[3], programs[FRAMEWORK].path, MAX_PATH);
    char tracePath[MAX_PATH];
    UnixToWindows(argv[4], tracePath, sizeof tracePath);
    const char *name = argv[5];
    int rounds = argc > 6 ? atoi(argv[6]) : 3;
    int seconds = argc > 7 ? atoi(argv[7]) : 10;
    if (rounds < 1 || seconds < 1)
        Fail("rounds and seconds must be at least 1");

    PrefixOf("self", ownPrefix, sizeof ownPrefix);
    if (!ownPrefix[0])
        Fail("no WINEPREFIX in the benchmark's own environment");
    // The desktop's process starts with the benchmark's environment, untraced; the savers get
    // the trace.
    GetDesktopWindow();
    trace.Open(tracePath);
    SetEnvironmentVariableA("WINEDEBUG", EFFECT_TRACE);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    Screens screens(width, height);
    // The screen as a person leaves it, for an effect that shows the desktop.
    Desktop desktop;
    if (!desktop.Show())
        Fail("could not show a desktop to start the savers over");

    std::vector<Timer> timers = EffectWarmUp(programs[EFFECT], screens);
    if (timers.empty())
        Fail("the saver set no timer that Wine's trace shows: without one it has no ticks to count");
    char timerText[256] = "", timerNote[256] = "";
    double timerRate = 0;
    for (size_t i = 0; i < timers.size() && i < MOST_TIMERS; i++) {
        size_t used = strlen(timerText), noted = strlen(timerNote);
        snprintf(timerText + used, sizeof timerText - used, "%s%lu:%ld", i ? "," : "", timers[i].id, timers[i].interval);
        snprintf(timerNote + noted, sizeof timerNote - noted, "%stimer %lu every %ld ms", i ? ", " : "", timers[i].id,
                 timers[i].interval);
        timerRate += 1000.0 / std::max(1L, timers[i].interval);
    }
    SetEnvironmentVariableA(TIMERS_VARIABLE, timerText);
    if (EffectWarmUp(programs[FRAMEWORK], screens).size() != std::min(timers.size(), (size_t)MOST_TIMERS))
        Fail("the framework alone did not set the saver's timers");

    std::vector<double> coreShare[2];
    int slices = std::max(1, (int)(seconds / SLICE_MIN_S));
    double sliceSeconds = (double)seconds / slices;
    double began = Now();
    for (int round = 0; round < rounds; round++) {
        // The order alternates, so that a drift of the machine's load falls on both alike.
        for (int slice = 0; slice < slices; slice++) {
            bool saverFirst = (round + slice) % 2 == 0;
            EffectSlice(programs[saverFirst ? EFFECT : FRAMEWORK], sliceSeconds, screens);
            EffectSlice(programs[saverFirst ? FRAMEWORK : EFFECT], sliceSeconds, screens);
        }
        for (int p = EFFECT; p <= FRAMEWORK; p++)
            EndEffectRound(programs[p], coreShare[p]);
        printf("round %d of %d done, %.0f s; CPU ms per 1000 ticks, %s / framework alone: %.1f / %.1f\n", round + 1,
               rounds, Now() - began, name, programs[EFFECT].figures.cpuPer1000.back(),
               programs[FRAMEWORK].figures.cpuPer1000.back());
        fflush(stdout);
    }

    const Figures &e = programs[EFFECT].figures, &fw = programs[FRAMEWORK].figures;
    std::vector<double> eRate = e.rate, fRate = fw.rate;
    Scaled(eRate, 1 / timerRate);
    Scaled(fRate, 1 / timerRate);
    printf("\n%s beside the framework alone, x86-64 (wine64), %d x %d: %d rounds of %d s of counting per program, in "
           "slices of %.1f s taking turns; median (min–max) over the rounds (rates, CPU) or the slices (the rest); "
           "the effect's own is the saver's figure less the framework's of the same round or slice\n\n",
           name, width, height, rounds, seconds, sliceSeconds);
    printf("| figure | %s | framework alone | the effect's own |\n|---|---|---|---|\n", name);
    EffectRow("ticks per second", e.rate, fw.rate, 2, false);
    char what[400];
    snprintf(what, sizeof what, "the same over the timer's rate, %.2f a second (%s)", timerRate, timerNote);
    EffectRow(what, eRate, fRate, 3, false);
    EffectRow("CPU ms per 1000 ticks", e.cpuPer1000, fw.cpuPer1000, 1, true);
    EffectRow("CPU, % of one core", coreShare[EFFECT], coreShare[FRAMEWORK], 1, true);
    EffectRow("CreateProcessA → window shown, ms", e.shown, fw.shown, 0, false);
    EffectRow("CreateProcessA → first drawing on the screen, ms", e.firstLine, fw.firstLine, 0, false);
    EffectRow("peak resident memory (VmHWM), KiB", e.peakKiB, fw.peakKiB, 0, true);
    printf("| size of the image, bytes | %.0f | %.0f | |\n", FileSize(programs[EFFECT].path),
           FileSize(programs[FRAMEWORK].path));
    if (programs[EFFECT].drawingUnseen)
        printf("\n%s: no drawing was seen in the %.0f s after its window showed (every capture was what the screen "
               "showed before it started, or all black): its ticks and CPU are measured all the same, its first "
               "drawing is not\n",
               name, programs[EFFECT].unseenAfter);
    fflush(stdout);
    return 0;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc > 1 && strcmp(argv[1], "--effect") == 0)
        return EffectMain(argc, argv);
    return ProductMain(argc, argv);
}
