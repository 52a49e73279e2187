// The checker between the framework and the effect: every message the effect gets and every
// platform call it makes, checked against the contract as it happens.
#include "effect_check/effect_check.h"
#include "framework/saver_effect.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>

// The link routes both ends of the effect through here (add_effect_check's --wrap): the frame
// procedure's SaverEffectProc is __wrap_SaverEffectProc, the effect's own is __real_...; the
// effect's SaverDismissProc is __wrap_SaverDismissProc, the policy's own is __real_....
extern "C" {
extern const WNDPROC __real_SaverEffectProc;
LRESULT CALLBACK __real_SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK __wrap_SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}

namespace effect_check {
namespace {

// One message the effect is handling, from the moment it gets it until it returns.
struct Handling {
    Handling() = default;
    Handling(HWND w, UINT m, WPARAM wp, LPARAM lp, bool timerProc)
        : window(w), message(m), wParam(wp), lParam(lp), inTimerProc(timerProc), firstCall(sim::Calls().size()) {}
    HWND window = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool inTimerProc = false;  // a timer procedure of the effect's, not its window procedure
    std::string where;
    size_t firstCall = 0;  // the first call of the record made while it is handled
    int dismissCalls = 0;
    std::string dismissMismatch;  // the first call of SaverDismissProc with other arguments
    LRESULT dismissResult = 0;
    std::vector<std::string> devicesGot;  // GetDC calls not yet matched by a release
    sim::DcSelection selectionBefore = {};
    int savedBefore = 0;  // SaveDC's states on the window's own device context at the start
    std::string teardown;  // WM_CLOSE: the first call that stops its timer or frees what it keeps
};

// Who is running: the framework, the effect, the dismissal policy, or the session's script acting
// as the world does. Each delivery and each call into the effect or the policy is a level.
enum class Layer { Framework, Effect, Policy, World };

struct Level {
    Layer layer;
    Handling *handling;  // Effect only
};

// A count that must stay bounded over the ticks (live GDI objects): its highest value so
// far and the tick that first reached it. An object made when first needed, or a cache that fills
// and stops, reaches its highest early and stays; a leak reaches a new highest again and again.
struct Growth {
    int start = 0;     // at the start of the first tick
    int peak = 0;
    int peakTick = 0;  // 0: never above its start
    void Begin(int count) { start = peak = count; }
    void Sample(int count, int tick) {
        if (count <= peak) return;
        peak = count;
        peakTick = tick;
    }
    // Not risen over the later half of the ticks so far.
    bool Settled(int ticks) const { return 2 * peakTick <= ticks; }
};

// The call that made an object: as the record shows it, where it was made (empty: not by the
// effect), in which tick, and its place among all the calls.
struct Made {
    std::string call;
    std::string where;
    int tick = 0;
    size_t order = 0;
};

struct Watch {
    const Session *session = nullptr;
    std::vector<Level> stack;
    int ticks = 0;
    std::set<int> reported;  // a session reports the first finding of each rule
    HWND saverWindow = 0;
    RECT client = {0, 0, 0, 0};
    bool created = false;
    bool destroyed = false;  // the effect saw WM_DESTROY
    std::set<HGDIOBJ> liveBeforeCreate;
    bool counting = false;  // the first tick has begun: the counts below are sampled
    Growth objects;         // live GDI objects at the end of each tick
    int timersAtStart = 0;  // the window's timers when the first tick began
    // The effect's calls in the record: where each was made, by index, and the tick it was made
    // in (0: before the first). The record is let go of every so often (ForgetOldCalls).
    std::vector<std::string> whereOfCall;
    std::vector<int> tickOfCall;
    size_t callsForgotten = 0;
    // What is kept of the calls let go of: the calls that made the objects alive then, and the
    // last that set each timer (" set by SetTimer(...) in tick 1").
    std::map<HGDIOBJ, Made> madeBy;
    std::map<UINT_PTR, std::string> timerSetBy;
    bool drawingSeen = false;  // of the drawing let go of, some landed in the client area
    int screenDrawings = 0;  // drawing calls on the screen's device context
    int drawingTicks = 0;    // ticks in which it made a drawing call
    int lastDrawingTick = 0;
};
Watch watch;

Handling *EffectHandling() {
    if (watch.stack.empty() || watch.stack.back().layer != Layer::Effect) return nullptr;
    return watch.stack.back().handling;
}

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
    return std::string(MessageName(message)) + " (wParam " + Hex(wParam) + ", lParam " + Hex(lParam) + ")";
}

// A window as findings name it: as the traces do (window#2), whatever value the run gave it.
std::string WindowName(HWND window) {
    if (!window) return "no window (the screen)";
    std::string name = sim::HandleName(window);
    if (name.empty()) name = "the window " + Hex((ULONG_PTR)window);
    if (window == watch.saverWindow) return "its window, " + name;
    sim::WindowFacts facts = sim::Facts(window);
    if (facts.exists && !facts.ours) {
        bool parent = watch.saverWindow && sim::Facts(watch.saverWindow).parent == window;
        return (parent ? "the preview's parent, " : "") + name + ", another program's";
    }
    return name;
}

std::string Where(UINT message, bool inTimerProc) {
    if (message == WM_TIMER || inTimerProc) return "tick " + std::to_string(watch.ticks);
    if (watch.ticks == 0) return MessageName(message);
    return std::string(MessageName(message)) + " after tick " + std::to_string(watch.ticks);
}

std::set<HGDIOBJ> LiveObjects() {
    std::set<HGDIOBJ> live;
    for (const sim::GdiObjectFacts &facts : sim::LiveGdiObjectFacts()) live.insert(facts.handle);
    return live;
}

// The call that made an object, from the record or from what was kept of it; false when neither
// has it (a stock object). where is empty for a call that was not the effect's.
bool MadeBy(HGDIOBJ object, Made *made) {
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(object);
    if (facts.call < sim::Calls().size()) {
        bool effects = facts.call < watch.whereOfCall.size();
        *made = {sim::Calls()[facts.call].Format(), effects ? watch.whereOfCall[facts.call] : "",
                 effects ? watch.tickOfCall[facts.call] : 0, watch.callsForgotten + facts.call};
        return true;
    }
    auto kept = watch.madeBy.find(object);
    if (kept == watch.madeBy.end()) return false;
    *made = kept->second;
    return true;
}

// "the pen 0x31005 created by CreatePen(0, 1, 0xe184be) in tick 3"
std::string ObjectStory(HGDIOBJ object) {
    std::string story = ObjectName(object);
    Made made;
    if (MadeBy(object, &made)) {
        story += " created by " + made.call;
        if (!made.where.empty()) story += " in " + made.where;
    }
    return story;
}

// ---------------------------------------------------------------------------------------------
// What the effect calls

// The message calls whose wParam and lParam (arguments 2 and 3) may carry a window.
bool CarriesWindows(const std::string &name, size_t argument) {
    return (name == "SendMessageA" || name == "PostMessageA") && (argument == 2 || argument == 3);
}

// Above 32 bits: an address of the host's, unless it is a negative 32-bit number widened. (The
// simulated handles are all below 2^32.)
bool IsHostAddress(ULONG_PTR value) {
    LONG_PTR number = (LONG_PTR)value;
    return value > 0xFFFFFFFFu && !(number < 0 && number >= INT_MIN);
}

// An argument as the traces show it, the same in every run of a session: a handle by what it is
// and its order ("pen#3", "window#1"), whatever value the run gave it; an address of the effect's
// own, which differs from one machine, build and run to the next, as "&".
std::string TraceArg(const sim::Call &call, size_t argument) {
    const sim::Arg &arg = call.args[argument];
    if (arg.kind != sim::Arg::Value || arg.value == 0) return arg.Format();
    if (arg.pointer || CarriesWindows(call.name, argument)) {
        std::string name = sim::HandleName((const void *)arg.value);
        if (name.rfind("window#", 0) == 0 || (arg.pointer && !name.empty())) return name;
    }
    return IsHostAddress(arg.value) ? "&" : arg.Format();
}

std::string TraceFormat(const sim::Call &call) {
    std::string text = call.name + "(";
    for (size_t i = 0; i < call.args.size(); ++i) text += (i ? ", " : "") + TraceArg(call, i);
    return text + ")";
}

bool Named(const std::string &name, std::initializer_list<const char *> names) {
    for (const char *candidate : names)
        if (name == candidate) return true;
    return false;
}

// What the effect may not read itself, and what the framework hands it instead.
struct ForbiddenRow {
    std::initializer_list<const char *> names;
    const char *what;
    const char *use;
};
const ForbiddenRow FORBIDDEN_READS[] = {
    {{"GetLocalTime", "GetSystemTime", "GetSystemTimeAsFileTime"}, "the clock",
     "the framework's SaverGetLocalTime gives the time of day"},
    {{"GetTickCount", "QueryPerformanceCounter", "QueryPerformanceFrequency", "GetMessageTime"}, "the clock",
     "the framework's SaverGetTickCount gives the milliseconds since the saver started, SaverGetSeed a seed that "
     "differs at every start"},
    {{"GetCursorPos", "GetMessagePos"}, "the cursor",
     "the framework's SaverGetSeed gives a seed that differs at every start, SaverGetWindowRect where its window lies"},
    {{"GetAsyncKeyState", "GetKeyState", "GetKeyboardState"}, "the keyboard",
     "a key ends the saver, and only the framework's SaverDismissProc looks at it; SaverGetSeed gives a seed"},
    {{"GetCurrentProcessId", "GetCurrentThreadId"}, "the process's id",
     "the framework's SaverGetSeed gives a seed that differs at every start"},
    {{"CreateFileA", "ReadFile", "OpenFile", "GetPrivateProfileIntA", "GetPrivateProfileStringA", "GetProfileIntA",
      "GetProfileStringA"},
     "a file", nullptr},
    {{"GetSystemMetrics"}, "a system setting",
     "GetClientRect gives its window's size, the framework's SaverGetVirtualScreen and SaverGetMonitorRects the "
     "screen's"},
    {{"GetTimeFormatA", "GetDateFormatA", "GetLocaleInfoA"}, "a system setting",
     "the framework's SaverGetTimeFormat and SaverGetDateFormat write the time and date as the user's settings do"},
    {{"SystemParametersInfoA"}, "a system setting", nullptr},
};

const ForbiddenRow *ForbiddenRead(const std::string &name) {
    static const ForbiddenRow REGISTRY = {{}, "the registry",
                                          "a table of settings (SAVER_SETTINGS), which the framework reads into its "
                                          "record"};
    if (name.rfind("Reg", 0) == 0 && name.rfind("Register", 0) != 0) return &REGISTRY;
    for (const ForbiddenRow &row : FORBIDDEN_READS)
        if (Named(name, row.names)) return &row;
    return nullptr;
}

std::string InsteadOf(const ForbiddenRow &row) { return row.use ? std::string("; ") + row.use : ""; }

std::string ForbiddenStory(const ForbiddenRow &row, const std::string &call) {
    return "reads " + std::string(row.what) + ": " + call + InsteadOf(row);
}

// GetProcAddress fetches what the import list would refuse: a raw source of the world, or a
// function the list does not offer (it may be missing from Windows 95 or NT 4.0).
void CheckFetched(const sim::Call &call, const Handling &h) {
    if (call.args.size() < 2 || call.args[1].kind != sim::Arg::Text) return;
    const std::string &name = call.args[1].text;
    std::string fetch = "fetches " + name + " by " + TraceFormat(call);
    if (const ForbiddenRow *row = ForbiddenRead(name))
        Report(READS_NOTHING_OF_ITS_OWN, h.where, fetch + ", which reads " + row->what + InsteadOf(*row));
    else if (!IsOfferedImport(name))
        Report(READS_NOTHING_OF_ITS_OWN, h.where,
               fetch + ", which scripts/allowed-imports.txt does not offer an effect: what an effect calls must be "
               "there, checked for Windows 95 and NT 4.0, and it calls it by name");
}

bool DrawsByName(const std::string &name) {
    return Named(name, {"LineTo", "Polyline", "PolylineTo", "PolyBezier", "Polygon", "Rectangle", "Ellipse",
                        "RoundRect", "Arc", "Pie", "Chord", "PatBlt", "BitBlt", "StretchBlt", "FillRect",
                        "FrameRect", "InvertRect", "SetPixel", "TextOutA", "ExtTextOutA", "FillRgn", "FrameRgn",
                        "PaintRgn", "InvertRgn", "SetDIBitsToDevice", "StretchDIBits"});
}

// What the checks ask of a call by its name alone, worked out once for each name: an effect
// makes the same few calls thousands of times a tick.
struct NameTraits {
    const ForbiddenRow *forbiddenRead;
    bool draws;
    bool mayEnd;          // may end the saver (EndsTheSaver)
    bool handlesDevices;  // gets, releases or deletes a device context or an object, or kills a timer
};

const NameTraits &TraitsOf(const std::string &name) {
    static std::unordered_map<std::string, NameTraits> known;
    auto found = known.find(name);
    if (found == known.end()) {
        NameTraits traits = {
            ForbiddenRead(name), DrawsByName(name),
            Named(name, {"PostMessageA", "SendMessageA", "PostQuitMessage", "DefWindowProcA", "DestroyWindow",
                         "ExitProcess"}),
            Named(name, {"DeleteObject", "DeleteDC", "KillTimer", "GetDC", "GetWindowDC", "GetDCEx", "BeginPaint",
                         "ReleaseDC", "EndPaint"})};
        found = known.emplace(name, traits).first;
    }
    return found->second;
}

// DrawTextA with DT_CALCRECT only measures.
bool IsDrawing(const sim::Call &call) {
    const size_t DRAW_TEXT_FORMAT = 7;
    if (call.name == "DrawTextA")
        return call.args.size() > DRAW_TEXT_FORMAT && !(call.args[DRAW_TEXT_FORMAT].value & DT_CALCRECT);
    return TraitsOf(call.name).draws;
}

// Messages that end a window or its loop when posted or sent to it.
bool IsEndingMessage(const sim::Call &call) {
    if (call.args.size() < 3) return false;
    ULONG_PTR message = call.args[1].value;
    if (message == WM_SYSCOMMAND) return (call.args[2].value & 0xFFF0) == SC_CLOSE;
    return message == WM_CLOSE || message == WM_DESTROY || message == WM_QUIT;
}

bool EndsTheSaver(const sim::Call &call, const Handling &h) {
    if (Named(call.name, {"PostMessageA", "SendMessageA"})) return IsEndingMessage(call);
    if (call.name == "PostQuitMessage") return h.message != WM_DESTROY || h.inTimerProc;
    return Named(call.name, {"DefWindowProcA", "DestroyWindow", "ExitProcess"});
}

// The device context a drawing call draws on must be its window's, or a memory one.
void CheckDrawing(const sim::Call &call, const Handling &h) {
    sim::DcFacts dc = sim::DeviceContextFacts((HDC)call.args[0].value);
    if (dc.memory) return;
    if (dc.known && !dc.window) {
        ++watch.screenDrawings;
        Report(DRAWS_IN_TICKS, h.where,
               "draws on the screen's device context (GetDC(NULL)), over every window, not on its own: " + TraceFormat(call));
    } else if (dc.known && dc.window != h.window) {
        Report(DRAWS_IN_TICKS, h.where, "draws on the device context of " + WindowName(dc.window) + ", not on its own: " + TraceFormat(call));
    } else if (h.inTimerProc) {
        Report(DRAWS_IN_TICKS, h.where, "draws in a timer procedure, which the framework cannot stop: " + TraceFormat(call));
    } else if (h.message == WM_ERASEBKGND && call.args[0].value != (ULONG_PTR)h.wParam) {
        Report(DRAWS_IN_TICKS, h.where,
               "draws at WM_ERASEBKGND with another device context than the one its wParam hands: " + TraceFormat(call));
    } else if (h.message != WM_TIMER && h.message != WM_ERASEBKGND) {
        Report(DRAWS_IN_TICKS, h.where, "draws outside WM_TIMER: " + TraceFormat(call));
    }
}

// ReleaseDC gives back what GetDC handed out, naming the same window, once. A window destroyed
// meanwhile took its device contexts with it: the destruction is the finding.
void CheckRelease(const sim::Call &call, Handling &h) {
    HWND window = (HWND)call.args[0].value;
    sim::DcFacts dc = sim::DeviceContextFacts((HDC)call.args[1].value);
    if (!dc.known || (dc.window && !sim::Facts(dc.window).exists)) return;
    if (dc.memory)
        Report(FREES_OBJECTS, h.where, TraceFormat(call) + " does not free a memory device context: DeleteDC does");
    else if (dc.window != window)
        Report(DRAWS_IN_TICKS, h.where,
               TraceFormat(call) + " names " + WindowName(window) + " for a device context of " + WindowName(dc.window) +
                   ": ReleaseDC must name the window that GetDC named, or Windows does not release it");
    else if (dc.opened == 0)
        Report(DRAWS_IN_TICKS, h.where, TraceFormat(call) + " releases a device context that is not held: released twice");
    else if (!h.devicesGot.empty())
        h.devicesGot.pop_back();
}

void CheckDeletion(const sim::Call &call, Handling &h) {
    HGDIOBJ object = (HGDIOBJ)call.args[0].value;
    if (call.name == "DeleteDC") {
        sim::DcFacts dc = sim::DeviceContextFacts((HDC)object);
        if (dc.known && !dc.memory)
            Report(DRAWS_IN_TICKS, h.where,
                   TraceFormat(call) + " deletes a device context that GetDC handed out: Windows refuses; ReleaseDC gives it back");
    }
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(object);
    if (facts.deleted)
        Report(FREES_OBJECTS, h.where,
               TraceFormat(call) + " deletes " + ObjectName(object) +
                   " a second time: on Windows its handle may be another object's by then");
    // Windows refuses to delete an object that a device context holds, and it stays for good;
    // Wine frees it later, which hides the leak.
    else if (facts.selections > 0)
        Report(FREES_OBJECTS, h.where,
               TraceFormat(call) + " deletes the " + facts.kind + " while a device context holds it: Windows refuses, "
               "and the " + facts.kind + " is never freed (select it out first)");
    bool madeBefore = facts.call != sim::NO_CALL ? facts.call < h.firstCall : watch.madeBy.count(object) > 0;
    if (h.message == WM_CLOSE && h.teardown.empty() && madeBefore) h.teardown = TraceFormat(call);
}

// The device context a call reads pixels from: a transfer's source, GetPixel's own; or 0.
HDC ReadFrom(const sim::Call &call) {
    const size_t BLIT_SOURCE = 5, BLIT_ROP = 8, STRETCH_ROP = 10;
    size_t rop = call.name == "BitBlt" ? BLIT_ROP : STRETCH_ROP;
    if (Named(call.name, {"BitBlt", "StretchBlt"}) && call.args.size() > rop) {
        DWORD code = (DWORD)call.args[rop].value;
        bool usesSource = ((code << 2) ^ code) & 0xCC0000;
        return usesSource ? (HDC)call.args[BLIT_SOURCE].value : 0;
    }
    return call.name == "GetPixel" && !call.args.empty() ? (HDC)call.args[0].value : 0;
}

// The screen shows the desktop only until the saver's window covers it: from then on a copy of
// it is a copy of the saver's own window (black, or its drawing), not of what the user left.
void CheckScreenRead(const sim::Call &call, const Handling &h) {
    HDC source = ReadFrom(call);
    if (!source) return;
    sim::DcFacts dc = sim::DeviceContextFacts(source);
    if (!dc.known || dc.memory || dc.window || (h.message == WM_CREATE && !h.inTimerProc)) return;
    Report(READS_THE_SCREEN_BEFORE_IT_SHOWS, h.where,
           "reads the screen's device context with " + TraceFormat(call) +
               " after its window covers the screen: that copies its own window, not the desktop; copy the screen "
               "into a bitmap of its own at WM_CREATE, before the window shows");
}

// ---------------------------------------------------------------------------------------------
// The Windows 95 family's limits: its GDI is 16-bit

const LONG_PTR SHORTEST = -32768, LONGEST = 32767;
const ULONG_PTR MOST_TEXT_95 = 8192;                    // characters a text call takes there
const unsigned long long MOST_BITMAP_BYTES_95 = 16u << 20;  // a compatible bitmap's size there

// The arguments of each call that are coordinates, by their place in the record (a rectangle
// passed by address is recorded as its four sides).
struct Coordinates {
    const char *call;
    std::vector<size_t> at;
    bool boundingBox;  // the first four are a bounding rectangle: left + right, top + bottom
};
const std::vector<Coordinates> &CoordinateArgs() {
    static const std::vector<Coordinates> table = {
        {"MoveToEx", {1, 2}, false}, {"LineTo", {1, 2}, false}, {"SetPixel", {1, 2}, false},
        {"Rectangle", {1, 2, 3, 4}, true}, {"Ellipse", {1, 2, 3, 4}, true},
        {"RoundRect", {1, 2, 3, 4}, true}, {"Arc", {1, 2, 3, 4, 5, 6, 7, 8}, true},
        {"Pie", {1, 2, 3, 4, 5, 6, 7, 8}, true}, {"Chord", {1, 2, 3, 4, 5, 6, 7, 8}, true},
        {"PatBlt", {1, 2, 3, 4}, false}, {"BitBlt", {1, 2, 3, 4, 6, 7}, false},
        {"StretchBlt", {1, 2, 3, 4, 6, 7, 8, 9}, false}, {"FillRect", {1, 2, 3, 4}, false},
        {"FrameRect", {1, 2, 3, 4}, false}, {"InvertRect", {1, 2, 3, 4}, false},
        {"TextOutA", {1, 2}, false}, {"ExtTextOutA", {1, 2, 4, 5, 6, 7}, false},
        {"DrawTextA", {3, 4, 5, 6}, false}, {"SetDIBitsToDevice", {1, 2, 3, 4, 5, 6}, false},
        {"StretchDIBits", {1, 2, 3, 4, 5, 6, 7, 8}, false}, {"CreateRectRgn", {0, 1, 2, 3}, false},
        {"CreateEllipticRgn", {0, 1, 2, 3}, false}, {"CreateRoundRectRgn", {0, 1, 2, 3}, false},
        {"CreateRectRgnIndirect", {0, 1, 2, 3}, false}, {"CreateEllipticRgnIndirect", {0, 1, 2, 3}, false},
        {"OffsetRgn", {1, 2}, false},
    };
    return table;
}

LONG_PTR Number(const sim::Arg &arg) { return (LONG_PTR)arg.value; }

// What the 95 family's GDI makes of a call that NT draws as asked: a coordinate beyond 16 bits
// wraps (40000 is -25536 there), a bounding rectangle whose sides add up beyond 32 767 is refused,
// a text beyond 8 192 characters and a compatible bitmap beyond 16 MB are refused. Empty: none.
std::string Limit95(const sim::Call &call) {
    for (const Coordinates &row : CoordinateArgs()) {
        if (call.name != row.call) continue;
        for (size_t at : row.at) {
            if (at >= call.args.size() || call.args[at].kind != sim::Arg::Value) continue;
            LONG_PTR value = Number(call.args[at]);
            if (value >= SHORTEST && value <= LONGEST) continue;
            return "takes a coordinate beyond 16 bits, " + std::to_string(value) +
                   ", which the 95 family's GDI wraps to " + std::to_string((SHORT)value);
        }
        if (row.boundingBox && call.args.size() > 4) {
            LONG_PTR across = Number(call.args[1]) + Number(call.args[3]);
            LONG_PTR down = Number(call.args[2]) + Number(call.args[4]);
            if (across > LONGEST || down > LONGEST)
                return "has a bounding rectangle whose " + std::string(across > LONGEST ? "left and right" : "top and bottom") +
                       " add up to " + std::to_string(across > LONGEST ? across : down) +
                       ", beyond the 32 767 the 95 family's GDI takes";
        }
    }
    const size_t TEXT_COUNT_AT = call.name == "TextOutA" ? 4 : call.name == "ExtTextOutA" ? 9 : 0;
    if (TEXT_COUNT_AT && call.args.size() > TEXT_COUNT_AT && call.args[TEXT_COUNT_AT].value > MOST_TEXT_95 &&
        Number(call.args[TEXT_COUNT_AT]) > 0)
        return "draws " + std::to_string(Number(call.args[TEXT_COUNT_AT])) +
               " characters, beyond the 8 192 a text call takes on the 95 family";
    if (call.name == "CreateCompatibleBitmap" && call.args.size() > 2) {
        // At the screen's 32 bits a pixel, the most a device of that family shows.
        unsigned long long bytes = (unsigned long long)llabs(Number(call.args[1])) * llabs(Number(call.args[2])) * 4;
        if (bytes > MOST_BITMAP_BYTES_95)
            return "asks for a bitmap of " + std::to_string(bytes >> 20) +
                   " MB at 32 bits a pixel, beyond the 16 MB a compatible bitmap may have on the 95 family";
    }
    return "";
}

void Check95Family(const sim::Call &call, const Handling &h) {
    std::string limit = Limit95(call);
    if (!limit.empty())
        Report(DRAWS_WHERE_SEEN, h.where,
               TraceFormat(call) + " " + limit + ": on Windows 95, 98 and Me it does not draw as on NT");
}

void CheckCall(const sim::Call &call, Handling &h) {
    if (watch.session->win9x) Check95Family(call, h);
    const NameTraits &traits = TraitsOf(call.name);
    if (const ForbiddenRow *row = traits.forbiddenRead)
        Report(READS_NOTHING_OF_ITS_OWN, h.where, ForbiddenStory(*row, TraceFormat(call)));
    if (call.name == "GetProcAddress") CheckFetched(call, h);
    const size_t LOAD_IMAGE_FLAGS = 5;
    if (call.name == "LoadImageA" && call.args.size() > LOAD_IMAGE_FLAGS &&
        (call.args[LOAD_IMAGE_FLAGS].value & LR_LOADFROMFILE))
        Report(READS_NOTHING_OF_ITS_OWN, h.where,
               "reads a file: " + TraceFormat(call) + " (a bitmap of its own goes in its resource script, and "
               "LoadImageA or LoadBitmapA takes it from the module)");
    CheckScreenRead(call, h);
    if (traits.mayEnd && call.name == "DefWindowProcA")
        Report(LEAVES_ENDING_TO_FRAMEWORK, h.where, "calls " + TraceFormat(call) + " itself");
    else if (traits.mayEnd && EndsTheSaver(call, h))
        Report(LEAVES_ENDING_TO_FRAMEWORK, h.where, "calls " + TraceFormat(call) + " while handling " + MessageName(h.message));
    if (IsDrawing(call) && !call.args.empty()) {
        CheckDrawing(call, h);
        if ((h.message == WM_TIMER || h.inTimerProc) && watch.lastDrawingTick != watch.ticks) {
            ++watch.drawingTicks;
            watch.lastDrawingTick = watch.ticks;
        }
    }
    if (!traits.handlesDevices) return;
    if (Named(call.name, {"DeleteObject", "DeleteDC"}) && !call.args.empty()) CheckDeletion(call, h);
    if (call.name == "KillTimer" && h.message == WM_CLOSE && h.teardown.empty()) h.teardown = TraceFormat(call);
    if (Named(call.name, {"GetDC", "GetWindowDC", "GetDCEx", "BeginPaint"})) h.devicesGot.push_back(TraceFormat(call));
    // Outside WM_PAINT the update region is empty: its device context draws nothing that shows.
    if (call.name == "BeginPaint" && h.message != WM_PAINT)
        Report(DRAWS_IN_TICKS, h.where,
               "calls " + TraceFormat(call) + " while handling " + MessageName(h.message) +
                   ": outside WM_PAINT its device context is clipped to an empty update region, so nothing "
                   "drawn with it shows; a tick draws with GetDC and ReleaseDC");
    if (call.name == "ReleaseDC" && call.args.size() > 1) CheckRelease(call, h);
    if (call.name == "EndPaint" && !h.devicesGot.empty()) h.devicesGot.pop_back();
}

void OnCall(const sim::Call &call) {
    Handling *h = EffectHandling();
    size_t index = sim::Calls().size() - 1;
    if (!h) return;
    if (watch.whereOfCall.size() <= index) {
        watch.whereOfCall.resize(index + 1);
        watch.tickOfCall.resize(index + 1);
    }
    watch.whereOfCall[index] = h->where;
    watch.tickOfCall[index] = watch.ticks;
    TraceLine(watch.ticks, h->where + ": " + TraceFormat(call));
    CheckCall(call, *h);
}

// ---------------------------------------------------------------------------------------------
// What the effect leaves behind when it returns

void CheckPassedOn(const Handling &h, LRESULT result) {
    std::string message = Describe(h.message, h.wParam, h.lParam);
    if (h.dismissCalls == 0)
        Report(PASSES_EVERY_MESSAGE_ON, h.where, message + " did not reach SaverDismissProc");
    else if (h.dismissCalls > 1)
        Report(PASSES_EVERY_MESSAGE_ON, h.where,
               message + " reached SaverDismissProc " + std::to_string(h.dismissCalls) + " times");
    else if (!h.dismissMismatch.empty())
        Report(PASSES_EVERY_MESSAGE_ON, h.where, message + " was passed on as " + h.dismissMismatch);
    else if (result != h.dismissResult)
        Report(PASSES_EVERY_MESSAGE_ON, h.where,
               message + ": returned " + Hex(result) + " where SaverDismissProc answered " + Hex(h.dismissResult));
}

void CheckDevicesReleased(const Handling &h) {
    if (h.devicesGot.empty()) return;
    std::string when = h.message == WM_TIMER ? "the tick's end" : "the end of " + std::string(MessageName(h.message));
    Report(DRAWS_IN_TICKS, h.where, h.devicesGot.front() + " is not released by " + when);
}

const char *Span(const Handling &h) { return h.message == WM_ERASEBKGND ? "WM_ERASEBKGND" : "the tick"; }

void CheckSelection(const char *kind, HGDIOBJ before, HGDIOBJ after, const Handling &h) {
    if (before == after) return;
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(after);
    if (facts.call < sim::Calls().size() && facts.call >= h.firstCall)
        Report(PUTS_SELECTIONS_BACK, h.where,
               ObjectName(after, kind) + " created in " + (h.message == WM_ERASEBKGND ? "WM_ERASEBKGND" : "this tick") +
                   " is still selected into the window's device context at the end of " + Span(h));
    else
        Report(PUTS_SELECTIONS_BACK, h.where,
               "the window's device context holds " + ObjectName(after, kind) + " at the end of " + Span(h) +
                   ", where it held " + ObjectName(before, kind) + " at its start");
}

int SavedStates(HWND window) { return sim::DeviceContextFacts(sim::OwnDc(window)).saved; }

// The effect's last SaveDC call in this handling, for the finding.
std::string LastSave(const Handling &h) {
    const std::vector<sim::Call> &calls = sim::Calls();
    for (size_t i = calls.size(); i-- > h.firstCall;)
        if (calls[i].name == "SaveDC") return TraceFormat(calls[i]);
    return "SaveDC";
}

// The window's device context keeps its saved states too: one left each tick is a stack that
// grows for as long as the saver runs.
void CheckSavedStates(const Handling &h) {
    int after = SavedStates(h.window);
    if (after <= h.savedBefore) return;
    Report(PUTS_SELECTIONS_BACK, h.where,
           LastSave(h) + " leaves a saved state on the window's device context at the end of " + Span(h) + " (" +
               std::to_string(after) + " where it had " + std::to_string(h.savedBefore) +
               " at its start): the device context keeps them from one tick to the next; RestoreDC puts the state "
               "back and drops it");
}

void CheckSelectionsPutBack(const Handling &h) {
    sim::DcSelection after = sim::OwnDcSelection(h.window);
    const sim::DcSelection &before = h.selectionBefore;
    CheckSelection("pen", before.pen, after.pen, h);
    CheckSelection("brush", before.brush, after.brush, h);
    CheckSelection("bitmap", before.bitmap, after.bitmap, h);
    CheckSelection("font", before.font, after.font, h);
    CheckSavedStates(h);
}

bool SetsTimer(size_t call, UINT_PTR *id) {
    const sim::Call &made = sim::Calls()[call];
    if (made.name != "SetTimer" || made.args.size() < 2 || call >= watch.whereOfCall.size() ||
        watch.whereOfCall[call].empty())
        return false;
    *id = made.args[1].value;
    return true;
}

std::string TimerSetBy(size_t call) {
    return " set by " + TraceFormat(sim::Calls()[call]) + " in " + watch.whereOfCall[call];
}

// The effect's call that set the timer id last, or "" when none did.
std::string TimerStory(UINT_PTR id) {
    UINT_PTR set;
    for (size_t i = std::min(sim::Calls().size(), watch.whereOfCall.size()); i-- > 0;)
        if (SetsTimer(i, &set) && set == id) return TimerSetBy(i);
    auto kept = watch.timerSetBy.find(id);
    return kept == watch.timerSetBy.end() ? "" : kept->second;
}

void NoteDrawingSeen() {
    if (!watch.created || watch.drawingSeen) return;
    for (const sim::DrawOp &op : sim::Drawing(watch.saverWindow))
        if (sim::Touches(op, watch.client)) watch.drawingSeen = true;
}

// A long session of an effect of thousands of calls a tick would keep tens of millions of calls
// and drawing operations: between two messages, once the record is long, only what a finding
// may still name is kept (the calls that made the objects alive now, the last that set each
// timer, whether the drawing was seen), and the rest let go of.
void ForgetOldCalls() {
    const size_t MOST_CALLS_KEPT = 1 << 16;
    if (!watch.stack.empty() || sim::Calls().size() < MOST_CALLS_KEPT) return;
    UINT_PTR id;
    for (size_t i = 0; i < sim::Calls().size(); ++i)
        if (SetsTimer(i, &id)) watch.timerSetBy[id] = TimerSetBy(i);
    std::map<HGDIOBJ, Made> kept;
    for (const sim::GdiObjectFacts &facts : sim::LiveGdiObjectFacts()) {
        Made made;
        if (MadeBy(facts.handle, &made)) kept[facts.handle] = made;
    }
    watch.madeBy.swap(kept);
    NoteDrawingSeen();
    watch.callsForgotten += sim::Calls().size();
    sim::ClearCalls();
    sim::ForgetDrawing();
    watch.whereOfCall.clear();
    watch.tickOfCall.clear();
}

// A timer added after the start ticks with the others, for good: the effect runs faster and
// faster, and a saver runs for hours. The first tick that ends with more than it started with
// is the finding.
void CheckTimersKept(HWND window) {
    std::vector<UINT_PTR> ids = sim::Timers(window);
    if ((int)ids.size() <= watch.timersAtStart) return;
    Report(FREES_OBJECTS, "tick " + std::to_string(watch.ticks),
           "its window has " + std::to_string(ids.size()) + " timers, where it started with " +
               std::to_string(watch.timersAtStart) + ": the newest, id " + std::to_string(ids.back()) + "," +
               TimerStory(ids.back()) + " (SetTimer with a new id adds a timer; the same id again replaces it)");
}

void BeginCounts(HWND window) {
    if (watch.counting) return;
    watch.counting = true;
    watch.objects.Begin(sim::LiveGdiObjects());
    watch.timersAtStart = (int)sim::Timers(window).size();
}

void SampleCounts(HWND window) {
    watch.objects.Sample(sim::LiveGdiObjects(), watch.ticks);
    CheckTimersKept(window);
}

// A window destroyed in the tick has no device context left to compare: the destruction is the
// finding (rule 2), not what the device context held.
void CheckTickEnd(const Handling &h) {
    if (!sim::Facts(h.window).exists) return;
    CheckSelectionsPutBack(h);
    SampleCounts(h.window);
}

const char *TransferName(sim::DrawOp::Kind kind) {
    switch (kind) {
    case sim::DrawOp::BitBlt: return "BitBlt";
    case sim::DrawOp::StretchBlt: return "StretchBlt";
    case sim::DrawOp::SetDIBitsToDevice: return "SetDIBitsToDevice";
    case sim::DrawOp::StretchDIBits: return "StretchDIBits";
    default: return "a transfer";
    }
}

// The calls alone do not show a picture the effect computes into pixels of its own (a DIB section
// blitted, bits transferred): their digests go into the trace after the message's calls, so that
// two runs compare the pixels too.
void TracePixels(const Handling &h, size_t drawnBefore) {
    if (!sim::Facts(h.window).exists) return;
    const std::vector<sim::DrawOp> &drawing = sim::Drawing(h.window);
    for (size_t i = drawnBefore; i < drawing.size(); ++i)
        if (drawing[i].pixels)
            TraceLine(watch.ticks, h.where + ": " + PIXELS_TRACED + TransferName(drawing[i].kind) + " " +
                                       Hex(drawing[i].pixels));
}

// WM_CLOSE asks; the framework decides. A close that a password refused leaves the saver up, and
// an effect that stopped at WM_CLOSE shows a frozen picture from then on.
void CheckCloseRefused(const Handling &h) {
    if (h.teardown.empty() || !sim::Facts(h.window).exists) return;
    Report(LEAVES_ENDING_TO_FRAMEWORK, h.where,
           "calls " + h.teardown + " while handling WM_CLOSE, but the close was refused (the password) and the "
           "saver stays: WM_CLOSE only asks, the end is WM_DESTROY");
}

LRESULT CALLBACK CheckedEffectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Handling h(window, message, wParam, lParam, false);
    if (message == WM_TIMER) ++watch.ticks;
    h.where = Where(message, false);
    if (message == WM_CREATE && !watch.created) {
        watch.created = true;
        watch.saverWindow = window;
        RECT place = sim::Facts(window).rect;
        watch.client = {0, 0, place.right - place.left, place.bottom - place.top};
        watch.liveBeforeCreate = LiveObjects();
    }
    if (message == WM_TIMER || message == WM_ERASEBKGND) {
        h.selectionBefore = sim::OwnDcSelection(window);
        h.savedBefore = SavedStates(window);
    }
    if (message == WM_TIMER) BeginCounts(window);
    if (message == WM_DESTROY) watch.destroyed = true;

    size_t drawnBefore = sim::Drawing(window).size();
    watch.stack.push_back({Layer::Effect, &h});
    LRESULT result = __real_SaverEffectProc(window, message, wParam, lParam);
    watch.stack.pop_back();
    TracePixels(h, drawnBefore);

    CheckPassedOn(h, result);
    CheckDevicesReleased(h);
    if (message == WM_TIMER) CheckTickEnd(h);
    if (message == WM_ERASEBKGND && sim::Facts(window).exists) CheckSelectionsPutBack(h);
    if (message == WM_CLOSE) CheckCloseRefused(h);
    return result;
}

// A timer procedure of the effect's is called by the message loop's dispatch, not through the
// window procedure. Its calls are ticks too: the session counts them to its length.
Handling timerProcHandling;

void OnDelivery(const sim::Delivery &delivery, bool entering) {
    if (!entering) {
        if (!watch.stack.empty()) watch.stack.pop_back();
        if (delivery.timerProc && sim::Facts(delivery.window).exists) SampleCounts(delivery.window);
        ForgetOldCalls();
        return;
    }
    if (!delivery.timerProc) {
        watch.stack.push_back({Layer::Framework, nullptr});
        return;
    }
    ++watch.ticks;
    BeginCounts(delivery.window);
    timerProcHandling = Handling(delivery.window, WM_TIMER, delivery.wParam, delivery.lParam, true);
    timerProcHandling.where = Where(WM_TIMER, true);
    watch.stack.push_back({Layer::Effect, &timerProcHandling});
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The session's view

void StartWatching(const Session &session) {
    watch = Watch();
    watch.session = &session;
    sim::ObserveCalls(OnCall);
    sim::ObserveDeliveries(OnDelivery);
}

int TicksSoFar() { return watch.ticks; }
int DrawingTicksSoFar() { return watch.drawingTicks; }

void WorldActs(bool acting) {
    if (acting)
        watch.stack.push_back({Layer::World, nullptr});
    else if (!watch.stack.empty() && watch.stack.back().layer == Layer::World)
        watch.stack.pop_back();
}

void FrameworkActs(bool acting) {
    if (acting)
        watch.stack.push_back({Layer::Framework, nullptr});
    else if (!watch.stack.empty() && watch.stack.back().layer == Layer::Framework)
        watch.stack.pop_back();
}

std::string WhereNow() {
    Handling *h = EffectHandling();
    return h ? h->where : "tick " + std::to_string(watch.ticks);
}

void Report(int rule, const std::string &where, const std::string &seen) {
    if (!watch.reported.insert(rule).second) return;
    SendLine('F', std::to_string(rule) + "\t" + where + "\t" + seen);
}

namespace {

// The effect's objects made after the middle of the session and alive now, oldest first.
std::vector<HGDIOBJ> MadeLateAndAlive(int middle) {
    std::vector<std::pair<size_t, HGDIOBJ>> late;
    for (const sim::GdiObjectFacts &facts : sim::LiveGdiObjectFacts()) {
        Made made;
        if (MadeBy(facts.handle, &made) && !made.where.empty() && made.tick > middle)
            late.push_back({made.order, facts.handle});
    }
    std::sort(late.begin(), late.end());
    std::vector<HGDIOBJ> handles;
    for (const auto &object : late) handles.push_back(object.second);
    return handles;
}

std::string HowLong(int length) {
    std::string ran = "after " + std::to_string(watch.ticks) + " ticks";
    if (watch.ticks > length) ran += " (the session went on from " + std::to_string(length) + " to see whether they stop)";
    return ran;
}

std::string Counts(const Growth &growth, int now) {
    return std::to_string(growth.start) + " at the first tick, " + std::to_string(now) + " after tick " +
           std::to_string(watch.ticks) + ", a new highest last in tick " + std::to_string(growth.peakTick);
}

void ReportObjectsRise(int length) {
    std::string seen = "live GDI objects still rise " + HowLong(length) + ": " + Counts(watch.objects, sim::LiveGdiObjects());
    std::vector<HGDIOBJ> late = MadeLateAndAlive(watch.ticks / 2);
    if (late.empty()) {
        Report(FREES_OBJECTS, "tick " + std::to_string(watch.objects.peakTick), seen);
        return;
    }
    HGDIOBJ first = late.front();
    seen += "; alive of those it made since tick " + std::to_string(watch.ticks / 2) + ": " + std::to_string(late.size()) +
            ", the first " + ObjectStory(first);
    if (late.size() > 1) seen += ", the last " + ObjectStory(late.back());
    Made made;
    MadeBy(first, &made);
    Report(FREES_OBJECTS, made.where, seen);
}

// Only after WM_DESTROY: a saver whose loop ended without it never had its chance to free them.
void CheckObjectsFreedAtTheEnd() {
    if (!watch.destroyed) return;
    std::vector<HGDIOBJ> left;
    for (const sim::GdiObjectFacts &facts : sim::LiveGdiObjectFacts())
        if (!watch.liveBeforeCreate.count(facts.handle)) left.push_back(facts.handle);
    if (left.empty()) return;
    Report(FREES_OBJECTS, "after WM_DESTROY",
           ObjectStory(left.front()) + " is still alive: " + std::to_string(left.size()) +
               " GDI object(s) more than before WM_CREATE");
}

void CheckDrawingSeen() {
    if (!watch.session->isLong || !watch.created) return;
    NoteDrawingSeen();
    if (watch.drawingSeen) return;
    std::string area = "the client area (0, 0)-(" + std::to_string(watch.client.right) + ", " +
                       std::to_string(watch.client.bottom) + ")";
    if (watch.screenDrawings > 0)
        area += " (it drew " + std::to_string(watch.screenDrawings) + " times on the screen's device context instead)";
    if (watch.ticks == 0)
        Report(DRAWS_WHERE_SEEN, "the whole session", "no WM_TIMER reached it (is its timer set at WM_CREATE?), and nothing it drew landed inside " + area);
    else
        Report(DRAWS_WHERE_SEEN, "the whole session",
               "in " + std::to_string(watch.ticks) + " ticks nothing it drew landed inside " + area);
}

}  // namespace

bool CountsSettled() { return watch.objects.Settled(watch.ticks); }

void CheckCountsSettled(int length) {
    if (!watch.objects.Settled(watch.ticks)) ReportObjectsRise(length);
}

void FinishWatching(bool ended) {
    FinishTrace();
    if (ended) CheckObjectsFreedAtTheEnd();
    CheckDrawingSeen();
    sim::ObserveCalls(nullptr);
    sim::ObserveDeliveries(nullptr);
}

}  // namespace effect_check

using namespace effect_check;

extern "C" const WNDPROC __wrap_SaverEffectProc = CheckedEffectProc;

LRESULT CALLBACK __wrap_SaverDismissProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Handling *h = EffectHandling();
    if (h) {
        ++h->dismissCalls;
        bool same = window == h->window && message == h->message && wParam == h->wParam && lParam == h->lParam;
        if (!same && h->dismissMismatch.empty())
            h->dismissMismatch = "SaverDismissProc(" + sim::HandleName(window) + ", " + Describe(message, wParam, lParam) + ")";
    }
    watch.stack.push_back({Layer::Policy, nullptr});
    LRESULT result = __real_SaverDismissProc(window, message, wParam, lParam);
    watch.stack.pop_back();
    if (h) h->dismissResult = result;
    return result;
}
