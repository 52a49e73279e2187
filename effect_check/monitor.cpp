// The checker between the framework and the effect: every message the effect gets and every
// platform call it makes, checked against the contract as it happens.
#include "effect_check/effect_check.h"
#include "framework/saver_effect.h"

#include <algorithm>
#include <climits>
#include <set>

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
};

// Who is running: the framework, the effect, the dismissal policy, or the session's script acting
// as the world does. Each delivery and each call into the effect or the policy is a level.
enum class Layer { Framework, Effect, Policy, World };

struct Level {
    Layer layer;
    Handling *handling;  // Effect only
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
    std::vector<int> liveAfterTick;  // live GDI objects at the end of each tick
    std::vector<std::string> whereOfCall;  // the effect's calls: where each was made, by index
};
Watch watch;

Handling *EffectHandling() {
    if (watch.stack.empty() || watch.stack.back().layer != Layer::Effect) return nullptr;
    return watch.stack.back().handling;
}

std::string Describe(UINT message, WPARAM wParam, LPARAM lParam) {
    return std::string(MessageName(message)) + " (wParam " + Hex(wParam) + ", lParam " + Hex(lParam) + ")";
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

// "the pen 0x31005 created by CreatePen(0, 1, 0xe184be) in tick 3"
std::string ObjectStory(HGDIOBJ object) {
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(object);
    std::string story = "the " + (facts.kind.empty() ? std::string("object") : facts.kind) + " " + Hex((ULONG_PTR)object);
    if (facts.call < sim::Calls().size()) {
        story += " created by " + sim::Calls()[facts.call].Format();
        if (facts.call < watch.whereOfCall.size() && !watch.whereOfCall[facts.call].empty())
            story += " in " + watch.whereOfCall[facts.call];
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

// What the effect may not read: each call names what it reads.
const char *ForbiddenRead(const std::string &name) {
    if (Named(name, {"GetTickCount", "GetLocalTime", "GetSystemTime", "GetSystemTimeAsFileTime",
                     "QueryPerformanceCounter", "QueryPerformanceFrequency", "GetMessageTime"}))
        return "the clock";
    if (name.rfind("Reg", 0) == 0 && name.rfind("Register", 0) != 0) return "the registry";
    if (Named(name, {"CreateFileA", "ReadFile", "OpenFile", "GetPrivateProfileIntA",
                     "GetPrivateProfileStringA", "GetProfileIntA", "GetProfileStringA"}))
        return "a file";
    if (Named(name, {"SystemParametersInfoA", "GetSystemMetrics"})) return "a system setting";
    return nullptr;
}

// DrawTextA with DT_CALCRECT only measures.
bool IsDrawing(const sim::Call &call) {
    const size_t DRAW_TEXT_FORMAT = 7;
    if (call.name == "DrawTextA")
        return call.args.size() > DRAW_TEXT_FORMAT && !(call.args[DRAW_TEXT_FORMAT].value & DT_CALCRECT);
    return Named(call.name, {"LineTo", "Polyline", "PolylineTo", "PolyBezier", "Polygon", "Rectangle", "Ellipse",
                             "RoundRect", "Arc", "Pie", "Chord", "PatBlt", "BitBlt", "StretchBlt", "FillRect",
                             "FrameRect", "InvertRect", "SetPixel", "TextOutA", "ExtTextOutA", "FillRgn",
                             "FrameRgn", "PaintRgn", "InvertRgn", "SetDIBitsToDevice", "StretchDIBits"});
}

bool IsMemoryDc(const sim::Arg &dc) {
    return sim::GdiObjectFactsOf((HGDIOBJ)dc.value).kind == "memory device context";
}

bool EndsTheSaver(const sim::Call &call, const Handling &h) {
    if (Named(call.name, {"PostMessageA", "SendMessageA"}))
        return call.args.size() > 1 && call.args[1].value == WM_CLOSE;
    if (call.name == "PostQuitMessage") return h.message != WM_DESTROY || h.inTimerProc;
    return Named(call.name, {"DefWindowProcA", "DestroyWindow", "ExitProcess"});
}

void CheckCall(const sim::Call &call, Handling &h) {
    if (const char *what = ForbiddenRead(call.name))
        Report(READS_NOTHING_OF_ITS_OWN, h.where, "reads " + std::string(what) + ": " + call.Format());
    if (call.name == "DefWindowProcA")
        Report(LEAVES_ENDING_TO_FRAMEWORK, h.where, "calls " + call.Format() + " itself");
    else if (EndsTheSaver(call, h))
        Report(LEAVES_ENDING_TO_FRAMEWORK, h.where, "calls " + call.Format() + " while handling " + MessageName(h.message));
    if (IsDrawing(call) && !call.args.empty() && !IsMemoryDc(call.args[0])) {
        if (h.inTimerProc)
            Report(DRAWS_IN_TICKS, h.where, "draws in a timer procedure, which the framework cannot stop: " + call.Format());
        else if (h.message != WM_TIMER)
            Report(DRAWS_IN_TICKS, h.where, "draws outside WM_TIMER: " + call.Format());
    }
    // Windows refuses to delete an object that a device context holds, and it stays for good;
    // Wine frees it later, which hides the leak.
    if (call.name == "DeleteObject" && !call.args.empty()) {
        sim::GdiObjectFacts facts = sim::GdiObjectFactsOf((HGDIOBJ)call.args[0].value);
        if (facts.selections > 0)
            Report(FREES_OBJECTS, h.where,
                   call.Format() + " deletes the " + facts.kind + " while a device context holds it: Windows refuses, "
                   "and the " + facts.kind + " is never freed (select it out first)");
    }
    if (Named(call.name, {"GetDC", "GetWindowDC", "GetDCEx", "BeginPaint"})) h.devicesGot.push_back(call.Format());
    if (Named(call.name, {"ReleaseDC", "EndPaint"}) && !h.devicesGot.empty()) h.devicesGot.pop_back();
}

void OnCall(const sim::Call &call) {
    Handling *h = EffectHandling();
    size_t index = sim::Calls().size() - 1;
    if (!h) return;
    if (watch.whereOfCall.size() <= index) watch.whereOfCall.resize(index + 1);
    watch.whereOfCall[index] = h->where;
    SendLine('T', std::to_string(watch.ticks) + "\t" + h->where + ": " + TraceFormat(call));
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

void CheckSelection(const char *kind, HGDIOBJ before, HGDIOBJ after, const Handling &h) {
    if (before == after) return;
    sim::GdiObjectFacts facts = sim::GdiObjectFactsOf(after);
    if (facts.call < sim::Calls().size() && facts.call >= h.firstCall)
        Report(PUTS_SELECTIONS_BACK, h.where,
               "the " + std::string(kind) + " " + Hex((ULONG_PTR)after) +
                   " created in this tick is still selected into the window's device context at the end of the tick");
    else
        Report(PUTS_SELECTIONS_BACK, h.where,
               "the window's device context holds the " + std::string(kind) + " " + Hex((ULONG_PTR)after) +
                   " at the end of the tick, where it held " + Hex((ULONG_PTR)before) + " at its start");
}

void CheckTickEnd(const Handling &h) {
    sim::DcSelection after = sim::OwnDcSelection(h.window);
    const sim::DcSelection &before = h.selectionBefore;
    CheckSelection("pen", before.pen, after.pen, h);
    CheckSelection("brush", before.brush, after.brush, h);
    CheckSelection("bitmap", before.bitmap, after.bitmap, h);
    CheckSelection("font", before.font, after.font, h);
    watch.liveAfterTick.push_back((int)sim::LiveGdiObjects());
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
    if (message == WM_TIMER) h.selectionBefore = sim::OwnDcSelection(window);
    if (message == WM_DESTROY) watch.destroyed = true;

    watch.stack.push_back({Layer::Effect, &h});
    LRESULT result = __real_SaverEffectProc(window, message, wParam, lParam);
    watch.stack.pop_back();

    CheckPassedOn(h, result);
    CheckDevicesReleased(h);
    if (message == WM_TIMER) CheckTickEnd(h);
    return result;
}

// A timer procedure of the effect's is called by the message loop's dispatch, not through the
// window procedure.
Handling timerProcHandling;

void OnDelivery(const sim::Delivery &delivery, bool entering) {
    if (!entering) {
        if (!watch.stack.empty()) watch.stack.pop_back();
        return;
    }
    if (!delivery.timerProc) {
        watch.stack.push_back({Layer::Framework, nullptr});
        return;
    }
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

void WorldActs(bool acting) {
    if (acting)
        watch.stack.push_back({Layer::World, nullptr});
    else if (!watch.stack.empty() && watch.stack.back().layer == Layer::World)
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

// A count that grows in the second half of a long session grows for ever: a leak, not an object
// made once when first needed.
void CheckObjectsDoNotGrow() {
    const std::vector<int> &live = watch.liveAfterTick;
    if (!watch.session->isLong || live.size() < 100) return;
    int first = live.front(), middle = live[live.size() / 2], last = live.back();
    if (last <= middle) return;
    std::string counts = "; live GDI objects went from " + std::to_string(first) + " after tick 1 to " +
                         std::to_string(last) + " after tick " + std::to_string(live.size());
    std::vector<sim::GdiObjectFacts> alive = sim::LiveGdiObjectFacts();
    for (const sim::GdiObjectFacts &facts : alive) {
        if (facts.call >= watch.whereOfCall.size() || watch.whereOfCall[facts.call].rfind("tick ", 0) != 0) continue;
        Report(FREES_OBJECTS, watch.whereOfCall[facts.call], ObjectStory(facts.handle) + " is never deleted" + counts);
        return;
    }
    Report(FREES_OBJECTS, "tick " + std::to_string(live.size()), "GDI objects are never deleted" + counts);
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
    for (const sim::DrawOp &op : sim::Drawing(watch.saverWindow))
        if (sim::Touches(op, watch.client)) return;
    std::string area = "the client area (0, 0)-(" + std::to_string(watch.client.right) + ", " +
                       std::to_string(watch.client.bottom) + ")";
    if (watch.ticks == 0)
        Report(DRAWS_WHERE_SEEN, "the whole session", "no WM_TIMER reached it (is its timer set at WM_CREATE?), and nothing it drew landed inside " + area);
    else
        Report(DRAWS_WHERE_SEEN, "the whole session",
               "in " + std::to_string(watch.ticks) + " ticks nothing it drew landed inside " + area);
}

}  // namespace

void FinishWatching(bool ended) {
    CheckObjectsDoNotGrow();
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
            h->dismissMismatch = "SaverDismissProc(" + Hex((ULONG_PTR)window) + ", " + Describe(message, wParam, lParam) + ")";
    }
    watch.stack.push_back({Layer::Policy, nullptr});
    LRESULT result = __real_SaverDismissProc(window, message, wParam, lParam);
    watch.stack.pop_back();
    if (h) h->dismissResult = result;
    return result;
}
