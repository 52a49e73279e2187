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

struct Pen {
    UINT style;
    int width;
    COLORREF color;
    bool stock;
    bool live;
    bool deletePending;  // deleted while selected: freed when deselected
};

struct DeviceContext {
    HDC handle;
    HWND window;  // 0: the screen
    bool own;
    int opened;   // GetDC calls not yet matched by ReleaseDC
    HGDIOBJ pen;
    POINT position;
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
    std::map<std::string, UINT> registeredMessages;

    // cursor
    POINT cursor = {0, 0};
    HCURSOR cursorHandle = (HCURSOR)(ULONG_PTR)0x50001;

    // GDI
    RECT screen = {0, 0, 1024, 768};
    std::vector<std::unique_ptr<Pen>> pens;  // index + base = handle
    std::vector<std::unique_ptr<DeviceContext>> dcs;
    std::vector<DrawOp> screenDrawing;
    std::map<ULONG_PTR, int> stockObjects;  // handle -> stock index

    // registry
    std::map<std::string, RegistryKey> registry;  // "root\\key", lower-cased
    std::map<ULONG_PTR, std::string> openKeys;
    ULONG_PTR nextKey = 0x60010;

    // modules
    std::vector<Module> modules;

    // system parameters
    BOOL screenSaverRunning = FALSE;

    // record and failure switches
    std::vector<Call> calls;
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

// Delivery into a program window's procedure.
LRESULT Deliver(Window *window, UINT message, WPARAM wParam, LPARAM lParam, bool sent);
void DestroyWindowTree(Window *window);
void QueueInput(UINT message, WPARAM wParam, LPARAM lParam);

void ResetGdi();
void ReleaseWindowDc(Window *window);

}  // namespace sim
