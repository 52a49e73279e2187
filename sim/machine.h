// The state of the simulated machine, shared by the simulator's own files only.
#pragma once
#include "sim/sim.h"

#include <deque>
#include <map>
#include <memory>

namespace sim {

struct WindowClass {
    WNDCLASSA record;
    std::string name;
};

struct Timer {
    UINT_PTR id;
    UINT interval;
    DWORD due;
    TIMERPROC proc;  // called by DispatchMessageA instead of the window procedure
};

struct DeviceContext;

struct Window {
    HWND handle;
    bool ours;
    bool alive;
    std::string className;
    std::string title;
    HWND parent;
    DWORD style;
    DWORD exStyle;
    RECT rect;
    UINT classStyle;
    WNDPROC proc;
    bool needsPaint;
    std::vector<Timer> timers;
    std::vector<Message> inbox;      // a foreign window's received messages
    DeviceContext *ownDc;            // CS_OWNDC
    std::vector<DrawOp> drawing;
};

// Pens, brushes and bitmaps share one table; memory device contexts live with the other device
// contexts. A handle is its kind's base plus its index, so the handle alone says what it is.
enum GdiKind { GDI_PEN, GDI_BRUSH, GDI_BITMAP, GDI_KINDS };

struct GdiObject {
    UINT style;          // pen or brush style
    int width, height;   // pen width; bitmap size
    COLORREF color;
    size_t call;         // the creating call, counted from the first call ever recorded
    int selected;        // device contexts that hold it
    bool live;
    bool deletePending;  // deleted while selected: freed when selected out everywhere
};

struct DeviceContext {
    HDC handle;
    HWND window;  // 0: the screen's, or a memory device context
    bool own;
    bool memory;
    bool live;    // a memory device context until DeleteDC
    int opened;   // GetDC calls not yet matched by ReleaseDC
    DcSelection selection;
    POINT position;
    int bkMode;
    COLORREF bkColor;
    COLORREF textColor;
    int rop2;
    size_t call;                  // the call that made it, counted as GdiObject::call
    std::vector<DrawOp> drawing;  // a memory device context's
};

struct Module {
    std::string name;
    HMODULE handle;
    std::vector<Export> exports;
    int references;
};

struct RegistryValue {
    DWORD type;
    std::vector<BYTE> data;
};

struct RegistryKey {
    std::map<std::string, RegistryValue> values;  // names lower-cased
};

// A control of a dialog box: what the platform's predefined classes keep for it.
struct ControlRecord {
    int id;
    std::string kind;  // "button", "static", "scrollbar", "combobox", ...: the class, lower-cased
    int check = BST_UNCHECKED;
    int minimum = 0, maximum = 0, position = 0;  // a scroll bar control's range starts empty
    std::vector<std::string> items;
    int selection = CB_ERR;
};

// A modal dialog box of DialogBoxIndirectParamA, until its loop ends.
struct ModalDialog {
    HWND window;
    DLGPROC proc;
    bool ended;
    INT_PTR result;
};

struct Event {
    DWORD due;
    unsigned long long order;
    std::function<void()> action;
};

struct FailureSwitch {
    int countdown;   // calls to let through before the one that fails; -1: every call
    bool fault;
    DWORD faultCode;
};

struct GuardFrame {
    LONG (*filter)(EXCEPTION_POINTERS *);
    int id;
};

// Thrown by RaiseStructuredException to unwind to the guard frame whose filter chose to handle.
struct StructuredUnwind {
    int frameId;
};

struct Machine {
    // process
    std::string commandLine;
    Family family = Family::Nt;
    bool leadBytes[256] = {};
    LONG unhandledVerdict = EXCEPTION_EXECUTE_HANDLER;
    std::vector<GuardFrame> guardFrames;
    int nextGuardId = 1;

    // clock and script
    DWORD now = 0;
    std::vector<Event> events;
    unsigned long long eventOrder = 0;
    bool hasStop = false;
    DWORD stopTick = 0;

    // windows and messages
    std::vector<std::unique_ptr<Window>> windows;
    std::vector<WindowClass> classes;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quitPending = false;
    WPARAM quitCode = 0;
    HWND foreground = 0;
    HWND inputWindow = 0;
    bool programActive = false;
    std::map<UINT, LRESULT> defWindowProcAnswers;
    std::vector<Delivery> deliveries;
    std::function<void(const Delivery &, bool)> deliveryObserver;
    std::map<std::string, UINT> registeredMessages;

    // cursor
    POINT cursor = {0, 0};
    HCURSOR cursorHandle = (HCURSOR)(ULONG_PTR)0x50001;

    // GDI
    RECT screen = {0, 0, 1024, 768};
    std::vector<GdiObject> gdiObjects[GDI_KINDS];
    int liveGdiObjects[GDI_KINDS] = {};  // counted as they come and go: a long run makes millions
    int liveMemoryDcs = 0;
    std::vector<std::unique_ptr<DeviceContext>> dcs;
    std::vector<DrawOp> screenDrawing;

    // registry
    std::map<std::string, RegistryKey> registry;  // "root\\key", lower-cased
    std::map<ULONG_PTR, std::string> openKeys;
    ULONG_PTR nextKey = 0x60010;

    // modules
    std::vector<Module> modules;

    // resources of the program's module, by type and identifier (both as integers)
    std::vector<std::pair<ULONG_PTR, ULONG_PTR>> resources;

    // dialog boxes and their controls
    std::vector<ModalDialog> dialogs;  // open, innermost last
    std::map<HWND, ControlRecord> controls;

    // system parameters
    BOOL screenSaverRunning = FALSE;

    // record and failure switches
    std::vector<Call> calls;
    size_t droppedCalls = 0;  // calls removed by ClearCalls
    std::map<std::string, FailureSwitch> failures;
    std::function<void(const Call &)> callObserver;
};

extern Machine M;

// Records a platform call and reports whether it is to fail. A call switched to fault raises its
// structured exception here, before anything of the call happens.
bool Enter(const char *name, std::initializer_list<Arg> args);

Window *FindWindowRecord(HWND window);
Window *OurWindow(HWND window);
std::string Lower(const std::string &text);

// Clock: move to tick, running due events (a wait). Throws RunStopped past the stop tick.
void WaitUntil(DWORD tick);
bool HasEvents();
DWORD NextEventDue();

// A window of the program's that the platform makes itself (a dialog box and its controls):
// no class of the program's, no creation messages.
Window *NewPlatformWindow(const char *className, const char *title, RECT rect, HWND parent,
                          DWORD style, DWORD exStyle, WNDPROC proc);
// A modal loop of the platform's: retrieves and dispatches the program's messages, waiting when
// there are none, until done() holds.
void RunModalLoop(const std::function<bool()> &done);

// Delivery into a program window's procedure.
LRESULT Deliver(Window *window, UINT message, WPARAM wParam, LPARAM lParam, bool sent);
void DestroyWindowTree(Window *window);
void QueueInput(UINT message, WPARAM wParam, LPARAM lParam);

// Device contexts and GDI objects, for the drawing calls.
DeviceContext *FindDc(HDC dc);    // any device context ever made, or null
DeviceContext *UsableDc(HDC dc);  // null for a deleted memory device context too
void ReleaseWindowDc(Window *window);
DcSelection FreshSelection(bool memory);
void Deselect(DeviceContext *dc);  // back to a fresh device context's objects
SIZE BitmapSize(HGDIOBJ bitmap);   // the default bitmap's is 1x1
void PenFacts(HGDIOBJ pen, DrawOp *op);
bool BrushFacts(HGDIOBJ brush, DrawOp *op);  // false: not a brush
size_t CurrentCall();  // the call being made, counted from the first ever recorded

}  // namespace sim
