// Simulated windows and the one thread's message queue: classes, windows of the program and of
// other programs, posting, sending, retrieval in the platform's order, timers, painting requests,
// input and the cursor.
#include "sim/machine.h"

#include <algorithm>
#include <cstring>

namespace sim {

static const ULONG_PTR FIRST_WINDOW = 0x10010;
// Another variation's windows start further on (handles stay even, below the stock objects).
static const ULONG_PTR WINDOW_VARIATION = 0x8246;
// The input context's user interface, shown with the focus (ISC_SHOWUIALL).
static const LPARAM ALL_INPUT_CONTEXT_UI = (LPARAM)0xC000000Fu;
static bool inputWindowNamed = false;

static ULONG_PTR FirstWindow() { return FIRST_WINDOW + M.variation * WINDOW_VARIATION; }

Window *AnyWindowRecord(HWND window, size_t *number) {
    ULONG_PTR value = (ULONG_PTR)window;
    if (value < FirstWindow() || (value - FirstWindow()) % 2) return nullptr;
    size_t index = (value - FirstWindow()) / 2;
    if (index >= M.windows.size()) return nullptr;
    if (number) *number = index;
    return M.windows[index].get();
}

Window *FindWindowRecord(HWND window) {
    Window *record = AnyWindowRecord(window);
    return record && record->alive ? record : nullptr;
}

Window *OurWindow(HWND window) {
    Window *record = FindWindowRecord(window);
    return record && record->ours ? record : nullptr;
}

static Window *NewWindow(bool ours, const char *className, const char *title, RECT rect,
                         HWND parent, DWORD style, DWORD exStyle) {
    auto window = std::make_unique<Window>();
    window->handle = (HWND)(FirstWindow() + 2 * M.windows.size());
    window->ours = ours;
    window->alive = true;
    window->className = className ? className : "";
    window->title = title ? title : "";
    window->parent = parent;
    window->style = style;
    window->exStyle = exStyle;
    window->rect = rect;
    window->classStyle = 0;
    window->proc = nullptr;
    window->needsPaint = false;
    window->needsErase = false;
    window->needsNcPaint = false;
    window->ownDc = nullptr;
    M.windows.push_back(std::move(window));
    return M.windows.back().get();
}

Window *NewPlatformWindow(const char *className, const char *title, RECT rect, HWND parent,
                          DWORD style, DWORD exStyle, WNDPROC proc) {
    Window *window = NewWindow(true, className, title, rect, parent, style, exStyle);
    window->proc = proc;
    return window;
}

void CreateDesktop() {
    inputWindowNamed = false;
    M.foreground = NewWindow(false, "#32769", "", M.screen, 0, WS_VISIBLE, 0)->handle;
}

static bool IsTopLevel(const Window *window) { return !(window->style & WS_CHILD); }
static LONG Width(const Window *window) { return window->rect.right - window->rect.left; }
static LONG Height(const Window *window) { return window->rect.bottom - window->rect.top; }

static HWND TopLevelOf(HWND window) {
    Window *record = FindWindowRecord(window);
    while (record && !IsTopLevel(record) && FindWindowRecord(record->parent)) record = FindWindowRecord(record->parent);
    return record ? record->handle : 0;
}

static bool IsDescendant(HWND window, HWND ancestor) {
    for (Window *record = FindWindowRecord(window); record; record = FindWindowRecord(record->parent))
        if (record->handle == ancestor) return true;
    return false;
}

static POINT ClientOrigin(const Window *window) {
    POINT origin = {window->rect.left, window->rect.top};
    for (Window *up = FindWindowRecord(window->parent); up && (window->style & WS_CHILD);
         window = up, up = FindWindowRecord(up->parent)) {
        origin.x += up->rect.left;
        origin.y += up->rect.top;
        if (!(up->style & WS_CHILD)) break;
    }
    return origin;
}

static bool Contains(const Window *window, POINT point) {
    POINT origin = ClientOrigin(window);
    return point.x >= origin.x && point.x < origin.x + Width(window) && point.y >= origin.y &&
           point.y < origin.y + Height(window);
}

// The observer sees a copy: the record may grow, and move, while the procedure runs.
template <typename Procedure> static LRESULT Observed(const Delivery &delivery, Procedure procedure) {
    M.deliveries.push_back(delivery);
    if (M.deliveryObserver) M.deliveryObserver(delivery, true);
    LRESULT result = procedure();
    if (M.deliveryObserver) M.deliveryObserver(delivery, false);
    return result;
}

LRESULT Deliver(Window *window, UINT message, WPARAM wParam, LPARAM lParam, bool sent) {
    return Observed({window->handle, message, wParam, lParam, sent, false},
                    [&] { return window->proc(window->handle, message, wParam, lParam); });
}

// A message the platform itself sends: to the program's procedure while the window lives, or
// into another program's inbox (answered 0).
static LRESULT SendByPlatform(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *record = FindWindowRecord(window);
    if (!record) return 0;
    if (!record->ours) {
        record->inbox.push_back({window, message, wParam, lParam});
        return 0;
    }
    return Deliver(record, message, wParam, lParam, true);
}

static void SendWindowPos(Window *window, UINT message, UINT flags) {
    WINDOWPOS pos = {window->handle, 0, window->rect.left, window->rect.top, Width(window), Height(window), flags};
    SendByPlatform(window->handle, message, 0, (LPARAM)&pos);
}

// ---------------------------------------------------------------------------------------------
// Activation and the keyboard focus, in the order Wine sends their messages.

static void ActivateProgram(bool active);

// The window losing the focus hears so first; each window's input context follows the focus.
static void MoveFocus(HWND to) {
    HWND from = M.focusWindow;
    if (from == to) return;
    M.focusWindow = to;
    if (OurWindow(from)) {
        SendByPlatform(from, WM_KILLFOCUS, (WPARAM)to, 0);
        SendByPlatform(from, WM_IME_SETCONTEXT, FALSE, ALL_INPUT_CONTEXT_UI);
    }
    if (OurWindow(to)) {
        SendByPlatform(to, WM_IME_SETCONTEXT, TRUE, ALL_INPUT_CONTEXT_UI);
        SendByPlatform(to, WM_SETFOCUS, (WPARAM)from, 0);
    }
}

// One of the program's top-level windows becomes the foreground window. DefWindowProcA gives it
// the focus when it hears WM_ACTIVATE.
static void ActivateWindow(Window *window) {
    HWND handle = window->handle, previous = M.activeWindow;
    M.foreground = handle;
    if (previous == handle && M.programActive) return;
    M.activeWindow = handle;
    if (previous != handle && OurWindow(previous)) {
        SendByPlatform(previous, WM_NCACTIVATE, FALSE, (LPARAM)handle);
        SendByPlatform(previous, WM_ACTIVATE, WA_INACTIVE, (LPARAM)handle);
    }
    SendByPlatform(handle, WM_QUERYNEWPALETTE, 0, 0);
    ActivateProgram(true);
    SendByPlatform(handle, WM_NCACTIVATE, TRUE, (LPARAM)previous);
    SendByPlatform(handle, WM_ACTIVATE, WA_ACTIVE, (LPARAM)previous);
}

// Another program's window takes the foreground.
static void DeactivateProgram(HWND foreground) {
    HWND previous = M.activeWindow;
    M.foreground = foreground;
    M.activeWindow = 0;
    if (OurWindow(previous)) {
        SendByPlatform(previous, WM_NCACTIVATE, FALSE, 0);
        SendByPlatform(previous, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    ActivateProgram(false);
    MoveFocus(0);
}

static void DropQueued(HWND window) {
    for (std::deque<MSG> *queue : {&M.posted, &M.input})
        for (auto it = queue->begin(); it != queue->end();)
            it = it->hwnd == window ? queue->erase(it) : it + 1;
}

// A window destroyed by itself is hidden first; one destroyed with its parent goes unseen.
static void HideForDestruction(Window *window) {
    if (!window->ours || !(window->style & WS_VISIBLE)) return;
    UINT flags = SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER;
    if (!IsTopLevel(window)) SendByPlatform(window->handle, WM_SHOWWINDOW, FALSE, 0);
    SendWindowPos(window, WM_WINDOWPOSCHANGING, flags);
    SendWindowPos(window, WM_WINDOWPOSCHANGED, flags);
}

// The platform hands the activation on before it destroys the active window: the program hears
// that it lost the foreground while its window still exists.
static void HandOnActivation(Window *window) {
    if (!window->ours || !IsTopLevel(window) || M.activeWindow != window->handle) return;
    DeactivateProgram(M.windows.front()->handle);
}

static void DestroyTree(Window *window, bool withParent) {
    if (!window->alive) return;
    HWND handle = window->handle;
    if (!withParent) HideForDestruction(window);
    HandOnActivation(window);
    if (window->ours) Deliver(window, WM_DESTROY, 0, 0, true);
    for (auto &child : M.windows)
        if (child->alive && child->parent == handle && (child->style & WS_CHILD))
            DestroyTree(child.get(), true);
    if (window->ours) Deliver(window, WM_NCDESTROY, 0, 0, true);
    window->timers.clear();
    ReleaseWindowDc(window);
    DropQueued(handle);
    window->alive = false;
    if (M.foreground == handle) M.foreground = 0;
    if (M.activeWindow == handle) M.activeWindow = 0;
    if (M.focusWindow == handle) M.focusWindow = 0;
    if (M.inputWindow == handle) M.inputWindow = 0;
}

void DestroyWindowTree(Window *window) { DestroyTree(window, false); }

static void ActivateProgram(bool active) {
    if (M.programActive == active) return;
    M.programActive = active;
    for (size_t i = 0; i < M.windows.size(); ++i) {
        Window *window = M.windows[i].get();
        if (window->alive && window->ours && IsTopLevel(window))
            Deliver(window, WM_ACTIVATEAPP, active, 0, true);
    }
}

// A message as the queue holds it: stamped with the time and the cursor position of its arrival.
MSG QueuedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg = {};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = M.now;
    msg.pt = M.cursor;
    return msg;
}

void QueueInput(UINT message, WPARAM wParam, LPARAM lParam) {
    Window *target = OurWindow(M.inputWindow);
    if (!target) return;
    M.input.push_back(QueuedMessage(target->handle, message, wParam, lParam));
}

// ---------------------------------------------------------------------------------------------
// Retrieval, in the platform's order: posted messages, the quit request, input, paint, timers.
// (Messages sent by other threads would come first; here another program's actions run as
// scripted events instead.)

static bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

static bool ForWindow(HWND target, HWND filter) {
    return !filter || target == filter || IsDescendant(target, filter);
}

static bool IsButtonDown(UINT message) {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
           message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK || message == WM_MBUTTONDBLCLK;
}

// Before it hands the program a mouse message, the platform asks the window what lies under the
// cursor, lets a click in a window that is not the active one activate it (or swallow the click),
// and has the cursor set. False: the message is not to be handed on.
static bool MouseMessageArrives(const MSG &msg) {
    HWND window = msg.hwnd;
    if (!OurWindow(window)) return true;
    LRESULT hit = SendByPlatform(window, WM_NCHITTEST, 0, MAKELPARAM(msg.pt.x, msg.pt.y));
    if (IsButtonDown(msg.message) && window != M.activeWindow) {
        HWND top = TopLevelOf(window);
        LRESULT answer = SendByPlatform(window, WM_MOUSEACTIVATE, (WPARAM)top, MAKELPARAM(hit, msg.message));
        Window *topRecord = FindWindowRecord(top);
        if ((answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) && topRecord && top != M.foreground) {
            if (topRecord->ours) ActivateWindow(topRecord);
            else DeactivateProgram(top);
        }
        if (answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT) return false;
    }
    SendByPlatform(window, WM_SETCURSOR, (WPARAM)window, MAKELPARAM(hit, msg.message));
    return OurWindow(window) != nullptr;
}

static bool Take(std::deque<MSG> &queue, HWND filter, UINT first, UINT last, bool remove, MSG *out) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!ForWindow(it->hwnd, filter) || !InRange(it->message, first, last)) continue;
        *out = *it;
        if (remove) queue.erase(it);
        return true;
    }
    return false;
}

static bool IsDue(DWORD due) { return (DWORD)(M.now - due) < 0x80000000u; }

static bool Retrieve(HWND filter, UINT first, UINT last, bool remove, MSG *out) {
    if (Take(M.posted, filter, first, last, remove, out)) return true;
    if (M.quitPending && InRange(WM_QUIT, first, last)) {
        memset(out, 0, sizeof *out);
        out->message = WM_QUIT;
        out->wParam = M.quitCode;
        if (remove) M.quitPending = false;
        return true;
    }
    while (Take(M.input, filter, first, last, remove, out))
        if (!remove || out->message < WM_MOUSEFIRST || out->message > WM_MOUSELAST || MouseMessageArrives(*out))
            return true;
    for (auto &window : M.windows) {
        if (!window->alive || !window->ours || !window->needsPaint) continue;
        if (!ForWindow(window->handle, filter) || !InRange(WM_PAINT, first, last)) continue;
        memset(out, 0, sizeof *out);
        out->hwnd = window->handle;
        out->message = WM_PAINT;
        return true;  // stays pending until the window is validated
    }
    for (auto &window : M.windows) {
        if (!window->alive || !window->ours || !ForWindow(window->handle, filter)) continue;
        if (!InRange(WM_TIMER, first, last)) break;
        for (Timer &timer : window->timers) {
            if (!IsDue(timer.due)) continue;
            memset(out, 0, sizeof *out);
            out->hwnd = window->handle;
            out->message = WM_TIMER;
            out->wParam = timer.id;
            out->lParam = (LPARAM)timer.proc;
            out->time = M.now;
            // One WM_TIMER however many intervals have passed, as on the platform.
            if (remove) timer.due = M.now + timer.interval;
            return true;
        }
    }
    return false;
}

static void WaitForSomething() {
    bool found = false;
    DWORD soonest = 0;
    auto consider = [&](DWORD tick) {
        if (!found || tick - M.now < soonest - M.now) soonest = tick;
        found = true;
    };
    for (auto &window : M.windows)
        if (window->alive && window->ours)
            for (const Timer &timer : window->timers) consider(timer.due);
    if (HasEvents()) consider(NextEventDue());
    if (!found) {
        if (M.hasStop) WaitUntil(M.stopTick);
        throw WaitsForever();
    }
    WaitUntil(soonest);
}

// WM_QUIT ends the modal loop and stays in the queue for the program's own loop, as on the
// platform.
void RunModalLoop(const std::function<bool()> &done) {
    while (!done()) {
        MSG msg;
        if (!Retrieve(0, 0, 0, false, &msg)) {
            WaitForSomething();
            continue;
        }
        if (msg.message == WM_QUIT) return;
        Retrieve(0, 0, 0, true, &msg);
        if (Window *record = OurWindow(msg.hwnd)) Deliver(record, msg.message, msg.wParam, msg.lParam, false);
    }
}

void SetInputWindow(HWND window) {
    M.inputWindow = window;
    inputWindowNamed = true;
}

}  // namespace sim

using namespace sim;

// ---------------------------------------------------------------------------------------------
// Test controls

namespace sim {

HWND CreateForeignWindow(const char *className, const char *title, RECT rect, HWND parent) {
    DWORD style = WS_VISIBLE | (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW);
    return NewWindow(false, className, title, rect, parent, style, 0)->handle;
}

void Expose(HWND window) {
    Window *record = OurWindow(window);
    if (!record) return;
    record->needsPaint = true;
    record->needsErase = true;
}

void DestroyForeignWindow(HWND window) {
    if (Window *record = FindWindowRecord(window)) DestroyWindowTree(record);
}

std::vector<Message> Inbox(HWND foreignWindow) {
    Window *record = AnyWindowRecord(foreignWindow);
    return record ? record->inbox : std::vector<Message>();
}

void SetForeground(HWND window) { M.foreground = window; }
HWND Foreground() { return M.foreground; }

WindowFacts Facts(HWND window) {
    Window *record = FindWindowRecord(window);
    if (!record) return WindowFacts{false, false, "", "", 0, 0, 0, {0, 0, 0, 0}, 0};
    return WindowFacts{true,           record->ours,  record->className,
                       record->title,  record->parent, record->style,
                       record->exStyle, record->rect,  record->classStyle};
}

std::vector<HWND> ProgramWindows() {
    std::vector<HWND> found;
    for (auto &window : M.windows)
        if (window->alive && window->ours) found.push_back(window->handle);
    return found;
}

int RegisteredClasses() { return (int)M.classes.size(); }

void SetDefWindowProcAnswer(UINT message, LRESULT answer) {
    M.defWindowProcAnswers[message] = answer;
}

const std::vector<Delivery> &Deliveries() { return M.deliveries; }

void ObserveDeliveries(std::function<void(const Delivery &delivery, bool entering)> observer) {
    M.deliveryObserver = std::move(observer);
}

std::vector<Message> PendingMessages() {
    std::vector<Message> pending;
    for (const std::deque<MSG> *queue : {&M.posted, &M.input})
        for (const MSG &msg : *queue) pending.push_back({msg.hwnd, msg.message, msg.wParam, msg.lParam});
    return pending;
}

std::vector<UINT_PTR> Timers(HWND window) {
    std::vector<UINT_PTR> ids;
    if (Window *record = OurWindow(window))
        for (const Timer &timer : record->timers) ids.push_back(timer.id);
    return ids;
}

void PlaceCursor(int x, int y) { M.cursor = {x, y}; }

void MoveMouse(int x, int y) {
    M.cursor = {x, y};
    Window *target = OurWindow(M.inputWindow);
    if (!target) return;
    POINT origin = ClientOrigin(target);
    QueueInput(WM_MOUSEMOVE, 0, MAKELPARAM(x - origin.x, y - origin.y));
}

void MoveMouseBy(int dx, int dy) { MoveMouse(M.cursor.x + dx, M.cursor.y + dy); }
POINT CursorPos() { return M.cursor; }
HCURSOR CurrentCursor() { return M.cursorHandle; }

static void PressWith(UINT down, UINT up, WPARAM key) {
    QueueInput(down, key, 0x00000001);
    QueueInput(up, key, (LPARAM)0xC0000001u);
}

void PressKey(WPARAM virtualKey) { PressWith(WM_KEYDOWN, WM_KEYUP, virtualKey); }
void PressSysKey(WPARAM virtualKey) { PressWith(WM_SYSKEYDOWN, WM_SYSKEYUP, virtualKey); }

void Click(UINT buttonDownMessage) {
    Window *target = OurWindow(M.inputWindow);
    if (!target) return;
    POINT origin = ClientOrigin(target);
    LPARAM where = MAKELPARAM(M.cursor.x - origin.x, M.cursor.y - origin.y);
    QueueInput(buttonDownMessage, 0, where);
    QueueInput(buttonDownMessage + 1, 0, where);  // the matching button-up
}

void ActivateOtherApplication() { DeactivateProgram(M.windows.front()->handle); }

}  // namespace sim

// ---------------------------------------------------------------------------------------------
// Platform functions

ATOM WINAPI RegisterClassA(const WNDCLASSA *record) {
    if (Enter("RegisterClassA", {record->lpszClassName, record->style, (const void *)record->lpfnWndProc,
                                 record->hInstance, record->hIcon, record->hCursor,
                                 record->hbrBackground}))
        return 0;
    for (const WindowClass &known : M.classes)
        if (Lower(known.name) == Lower(record->lpszClassName)) return 0;  // already registered
    M.classes.push_back({*record, record->lpszClassName});
    return (ATOM)(0xC000 + M.classes.size());
}

// What the platform sends a window that CreateWindowExA shows, in Wine's order: a top-level
// window is activated, and its frame and background painted at once; a child's wait for its
// first paint. A window appearing under the cursor gets a mouse move, though the mouse did not
// move.
static void ShowNewWindow(Window *window) {
    HWND handle = window->handle;
    UINT flags = SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE;
    SendByPlatform(handle, WM_SHOWWINDOW, TRUE, 0);
    if (!window->alive) return;
    window->needsPaint = true;
    SendWindowPos(window, WM_WINDOWPOSCHANGING, flags);
    if (IsTopLevel(window)) {
        SendByPlatform(handle, WM_GETICON, ICON_BIG, 0);
        SendByPlatform(handle, WM_GETICON, ICON_SMALL, 0);
        if (window->alive) ActivateWindow(window);
        SendByPlatform(handle, WM_NCPAINT, 1, 0);
        if (window->alive) EraseBackground(window);
    } else {
        window->needsNcPaint = true;
        window->needsErase = true;
    }
    if (window->alive) SendWindowPos(window, WM_WINDOWPOSCHANGED, flags);
    if (window->alive && Contains(window, M.cursor)) {
        POINT origin = ClientOrigin(window);
        M.input.push_back(
            QueuedMessage(handle, WM_MOUSEMOVE, 0, MAKELPARAM(M.cursor.x - origin.x, M.cursor.y - origin.y)));
    }
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, INT x, INT y,
                            INT width, INT height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    if (Enter("CreateWindowExA", {exStyle, className, title, style, x, y, width, height, parent, menu,
                                  instance, param}))
        return 0;
    const WindowClass *windowClass = nullptr;
    for (const WindowClass &known : M.classes)
        if (Lower(known.name) == Lower(className)) windowClass = &known;
    if (!windowClass) return 0;
    if ((style & WS_CHILD) && !FindWindowRecord(parent)) return 0;

    Window *window = NewWindow(true, windowClass->name.c_str(), title,
                               {x, y, x + width, y + height}, parent, style, exStyle);
    window->proc = windowClass->record.lpfnWndProc;
    window->classStyle = windowClass->record.style;
    HWND handle = window->handle;
    if (!inputWindowNamed) M.inputWindow = handle;

    CREATESTRUCTA create = {param, instance, menu, parent, height, width, y, x,
                            (LONG)style, title, className, exStyle};
    if (!Deliver(window, WM_NCCREATE, 0, (LPARAM)&create, true)) {
        DestroyWindowTree(window);
        return 0;
    }
    // A window without a frame keeps its whole rectangle as its client area. (WM_GETMINMAXINFO
    // comes first only for a window that can be sized or is overlapped.)
    RECT clientArea = window->rect;
    SendByPlatform(handle, WM_NCCALCSIZE, FALSE, (LPARAM)&clientArea);
    if (window->alive && Deliver(window, WM_CREATE, 0, (LPARAM)&create, true) == -1) {
        DestroyWindowTree(window);
        return 0;
    }
    SendByPlatform(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    SendByPlatform(handle, WM_MOVE, 0, MAKELPARAM(x, y));
    if (window->alive && !IsTopLevel(window) && !(exStyle & WS_EX_NOPARENTNOTIFY))
        SendByPlatform(parent, WM_PARENTNOTIFY, WM_CREATE, (LPARAM)handle);
    if (window->alive && (style & WS_VISIBLE)) ShowNewWindow(window);
    return FindWindowRecord(handle) ? handle : 0;
}

BOOL WINAPI DestroyWindow(HWND window) {
    if (Enter("DestroyWindow", {window})) return FALSE;
    Window *record = OurWindow(window);
    if (!record) return FALSE;
    DestroyWindowTree(record);
    return TRUE;
}

static HBRUSH ClassBackground(const Window *window) {
    for (const WindowClass &known : M.classes)
        if (known.name == window->className) return known.record.hbrBackground;
    return 0;
}

static bool IsChild(const Window *window) { return window && !IsTopLevel(window); }

// What the platform's default procedure does with a mouse message's cursor, a click's activation
// and the context menu in a child window: it asks the parent first.
static LRESULT AskParent(const Window *window, UINT message, WPARAM wParam, LPARAM lParam) {
    return IsChild(window) ? SendByPlatform(window->parent, message, wParam, lParam) : 0;
}

static LRESULT HitTest(const Window *window, LPARAM lParam) {
    POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    return Contains(window, point) ? HTCLIENT : HTNOWHERE;
}

// The keys the default procedure acts on: Alt pressed and released alone opens the window menu,
// Alt+F4 asks the top-level window to close.
static void DefaultKeyAction(Window *window, UINT message, WPARAM key, LPARAM lParam) {
    const LPARAM ALT_DOWN = 1 << 29;
    if (message == WM_SYSKEYDOWN && key == VK_F4 && (lParam & ALT_DOWN)) {
        HWND top = TopLevelOf(window->handle);
        if (OurWindow(top)) M.posted.push_back(QueuedMessage(top, WM_SYSCOMMAND, SC_CLOSE, 0));
        else SendByPlatform(top, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    bool menuKeyUp = message == WM_SYSKEYUP && key == VK_MENU && M.altAlone;
    M.altAlone = message == WM_SYSKEYDOWN && key == VK_MENU;
    if (menuKeyUp) SendByPlatform(window->handle, WM_SYSCOMMAND, SC_KEYMENU, 0);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Enter("DefWindowProcA", {window, message, wParam, lParam});
    Window *record = OurWindow(window);
    auto answer = M.defWindowProcAnswers.find(message);
    if (answer != M.defWindowProcAnswers.end()) return answer->second;
    if (!record) return 0;
    switch (message) {
    case WM_NCCREATE:
    case WM_NCACTIVATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindowTree(record);
        return 0;
    case WM_SETTEXT:
        record->title = lParam ? (const char *)lParam : "";
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = StartPaint(record, &paint)) FinishPaint(record, dc);
        return 0;
    }
    case WM_ERASEBKGND:
        return ClassBackground(record) ? 1 : 0;  // filled with it (not recorded as drawing)
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && IsTopLevel(record)) MoveFocus(window);
        return 0;
    case WM_NCHITTEST:
        return HitTest(record, lParam);
    case WM_SETCURSOR:
        // Then the class cursor would be set; the saver's class has none.
        return AskParent(record, message, wParam, lParam) ? TRUE : FALSE;
    case WM_MOUSEACTIVATE: {
        LRESULT parentAnswer = AskParent(record, message, wParam, lParam);
        return parentAnswer ? parentAnswer : MA_ACTIVATE;
    }
    case WM_RBUTTONUP: {
        POINT origin = ClientOrigin(record);
        SendByPlatform(window, WM_CONTEXTMENU, (WPARAM)window,
                       MAKELPARAM(origin.x + (short)LOWORD(lParam), origin.y + (short)HIWORD(lParam)));
        return 0;
    }
    case WM_CONTEXTMENU:
        AskParent(record, message, wParam, lParam);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        DefaultKeyAction(record, message, wParam, lParam);
        return 0;
    case WM_SYSCOMMAND:
        // The rest (the window menu, the monitor's power, starting the screen saver) changes
        // nothing the program sees.
        if ((wParam & 0xFFF0) == SC_CLOSE) SendByPlatform(window, WM_CLOSE, 0, 0);
        return 0;
    default:
        // The rest that the program passes here answers 0 on the platform too.
        return 0;
    }
}

BOOL WINAPI IsWindow(HWND window) {
    if (Enter("IsWindow", {window})) return FALSE;
    return FindWindowRecord(window) != nullptr;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR title) {
    if (Enter("FindWindowA", {className, title})) return 0;
    for (auto &window : M.windows) {
        if (!window->alive || !IsTopLevel(window.get())) continue;
        if (className && Lower(window->className) != Lower(className)) continue;
        if (title && Lower(window->title) != Lower(title)) continue;
        return window->handle;
    }
    return 0;
}

HWND WINAPI GetParent(HWND window) {
    if (Enter("GetParent", {window})) return 0;
    Window *record = FindWindowRecord(window);
    return record && (record->style & WS_CHILD) ? record->parent : 0;
}

BOOL WINAPI GetClientRect(HWND window, RECT *rect) {
    if (Enter("GetClientRect", {window})) return FALSE;
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    *rect = {0, 0, record->rect.right - record->rect.left, record->rect.bottom - record->rect.top};
    return TRUE;
}

// A child's rectangle is in its parent's client coordinates; the windows here have no frame, so a
// client area starts where its window does.
BOOL WINAPI GetWindowRect(HWND window, RECT *rect) {
    if (Enter("GetWindowRect", {window, (const void *)rect})) return FALSE;
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    *rect = record->rect;
    for (Window *parent = record; (parent->style & WS_CHILD) && (parent = FindWindowRecord(parent->parent));) {
        rect->left += parent->rect.left;
        rect->right += parent->rect.left;
        rect->top += parent->rect.top;
        rect->bottom += parent->rect.top;
    }
    return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
    if (Enter("GetForegroundWindow", {})) return 0;
    return M.foreground;
}

// The platform may refuse a program the foreground when the user is busy elsewhere; here it is
// always granted.
BOOL WINAPI SetForegroundWindow(HWND window) {
    if (Enter("SetForegroundWindow", {window})) return FALSE;
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    if (!record->ours) DeactivateProgram(window);
    else if (IsTopLevel(record)) ActivateWindow(record);
    else M.foreground = window;
    return TRUE;
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Enter("PostMessageA", {window, message, wParam, lParam})) return FALSE;
    Window *record = FindWindowRecord(window);
    if (window && !record) return FALSE;
    if (record && !record->ours) {
        record->inbox.push_back({window, message, wParam, lParam});
        return TRUE;
    }
    M.posted.push_back(QueuedMessage(window, message, wParam, lParam));
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Enter("SendMessageA", {window, message, wParam, lParam})) return 0;
    return SendByPlatform(window, message, wParam, lParam);
}

BOOL WINAPI GetMessageA(MSG *msg, HWND window, UINT first, UINT last) {
    if (Enter("GetMessageA", {window, first, last})) return -1;
    while (!Retrieve(window, first, last, true, msg)) WaitForSomething();
    return msg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(MSG *msg, HWND window, UINT first, UINT last, UINT flags) {
    if (Enter("PeekMessageA", {window, first, last, flags})) return FALSE;
    return Retrieve(window, first, last, (flags & PM_REMOVE) != 0, msg);
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
    Enter("TranslateMessage", {msg->hwnd, msg->message, msg->wParam});
    if (msg->message != WM_KEYDOWN) return FALSE;
    WPARAM key = msg->wParam;
    WPARAM character = 0;
    if (key >= 'A' && key <= 'Z') character = key - 'A' + 'a';
    else if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE)
        character = key;
    if (!character) return FALSE;
    MSG translated = *msg;
    translated.message = WM_CHAR;
    translated.wParam = character;
    M.posted.push_back(translated);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
    Enter("DispatchMessageA", {msg->hwnd, msg->message, msg->wParam, msg->lParam});
    Window *record = OurWindow(msg->hwnd);
    if (!record) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        return Observed({msg->hwnd, WM_TIMER, msg->wParam, msg->lParam, false, true}, [&] {
            ((TIMERPROC)msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, M.now);
            return (LRESULT)0;
        });
    }
    return Deliver(record, msg->message, msg->wParam, msg->lParam, false);
}

void WINAPI PostQuitMessage(INT code) {
    Enter("PostQuitMessage", {code});
    M.quitPending = true;
    M.quitCode = (WPARAM)(LONG_PTR)code;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (Enter("SetTimer", {window, id, elapse, (const void *)proc})) return 0;
    Window *record = OurWindow(window);
    if (!record) return 0;
    UINT interval = elapse < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : elapse;
    if (interval > USER_TIMER_MAXIMUM) interval = USER_TIMER_MAXIMUM;
    for (Timer &timer : record->timers)
        if (timer.id == id) {
            timer = {id, interval, M.now + interval, proc};
            return id;
        }
    record->timers.push_back({id, interval, M.now + interval, proc});
    return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    if (Enter("KillTimer", {window, id})) return FALSE;
    Window *record = OurWindow(window);
    if (!record) return FALSE;
    for (auto it = record->timers.begin(); it != record->timers.end(); ++it)
        if (it->id == id) {
            record->timers.erase(it);
            return TRUE;
        }
    return FALSE;
}

BOOL WINAPI GetCursorPos(POINT *point) {
    if (Enter("GetCursorPos", {})) return FALSE;
    *point = M.cursor;
    return TRUE;
}

// The keyboard as the program might read it: no key is down (the user's keys come as messages).
SHORT WINAPI GetAsyncKeyState(INT key) {
    Enter("GetAsyncKeyState", {key});
    return 0;
}

SHORT WINAPI GetKeyState(INT key) {
    Enter("GetKeyState", {key});
    return 0;
}

BOOL WINAPI GetKeyboardState(BYTE *keys) {
    if (Enter("GetKeyboardState", {(const void *)keys})) return FALSE;
    for (int key = 0; key < 256; ++key) keys[key] = 0;
    return TRUE;
}

// The last message's time and the cursor then: the clock and the cursor now, near enough.
LONG WINAPI GetMessageTime(void) {
    Enter("GetMessageTime", {});
    return (LONG)M.now;
}

DWORD WINAPI GetMessagePos(void) {
    Enter("GetMessagePos", {});
    return MAKELONG((WORD)M.cursor.x, (WORD)M.cursor.y);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    Enter("SetCursor", {cursor});
    HCURSOR previous = M.cursorHandle;
    M.cursorHandle = cursor;
    return previous;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    if (Enter("RegisterWindowMessageA", {name})) return 0;
    std::string key = Lower(name);
    auto found = M.registeredMessages.find(key);
    if (found != M.registeredMessages.end()) return found->second;
    UINT number = 0xC100 + (UINT)M.registeredMessages.size();
    M.registeredMessages[key] = number;
    return number;
}

// A window is invalidated or validated whole: a rectangle that meets it invalidates all of it, and
// one that leaves some of it invalid validates none of it.
static bool Meets(const RECT *rect, const Window *window) {
    return !rect || (rect->left < std::min(rect->right, Width(window)) &&
                     rect->top < std::min(rect->bottom, Height(window)) && rect->right > 0 && rect->bottom > 0);
}

static bool Covers(const RECT *rect, const Window *window) {
    return !rect || (rect->left <= 0 && rect->top <= 0 && rect->right >= Width(window) &&
                     rect->bottom >= Height(window));
}

BOOL WINAPI InvalidateRect(HWND window, const RECT *rect, BOOL erase) {
    if (Enter("InvalidateRect", {window, (const void *)rect, erase})) return FALSE;
    if (!window) {
        // Every window of every program is to be redrawn.
        for (auto &each : M.windows)
            if (each->alive && each->ours) {
                each->needsPaint = true;
                each->needsErase = each->needsErase || erase;
            }
        return TRUE;
    }
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    if (record->ours && Meets(rect, record)) {
        record->needsPaint = true;
        record->needsErase = record->needsErase || erase;
    }
    return TRUE;
}

// A null window has every window redrawn, the documentation says; the program's pending paint
// is left as it is.
BOOL WINAPI ValidateRect(HWND window, const RECT *rect) {
    if (Enter("ValidateRect", {window, (const void *)rect})) return FALSE;
    if (!window) return TRUE;
    Window *record = FindWindowRecord(window);
    if (!record) return FALSE;
    if (record->ours && Covers(rect, record)) record->needsPaint = record->needsErase = false;
    return TRUE;
}
