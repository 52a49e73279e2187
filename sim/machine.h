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
    bool needsErase;    // the next paint erases the background first (WM_ERASEBKGND)
    bool needsNcPaint;  // the next paint draws the frame first (WM_NCPAINT)
    std::vector<Timer> timers;
    std::vector<Message> inbox;      // a foreign window's received messages
    DeviceContext *ownDc;            // CS_OWNDC
    std::vector<DrawOp> drawing;
};

// Pens, brushes, bitmaps (DIB sections among them), fonts and regions share one table; memory
// device contexts live with the other device contexts. A handle is its kind's base plus its
// index, so the handle alone says what it is.
enum GdiKind { GDI_PEN, GDI_BRUSH, GDI_BITMAP, GDI_FONT, GDI_REGION, GDI_KINDS };

// GdiObject::style of a bitmap that CreateDIBSection made.
constexpr UINT DIB_SECTION = 1;

struct GdiObject {
    UINT style;          // pen or brush style; DIB_SECTION or 0 for a bitmap
    int width, height;   // pen width; bitmap size (a DIB section's height as given: negative is
                         // top-down)
    COLORREF color;
    size_t call;         // the creating call, counted from the first call ever recorded
    int selected;        // device contexts that hold it
    bool live;
    bool deletePending;  // deleted while selected: freed when selected out everywhere
    int depth = 32;      // a bitmap's bits a pixel: the display's, or 1 for a monochrome one
    DWORD picture = 0;   // a bitmap's (a pattern brush's) picture, as PictureOf tells it
};

// A region as the platform keeps one: bands of rows, top to bottom, each with the spans of columns
// it covers, left to right. Bands do not overlap, spans neither; none is empty.
struct Span {
    LONG left, right;
};
struct Band {
    LONG top, bottom;
    std::vector<Span> spans;
};
using Region = std::vector<Band>;

RECT RegionBox(const Region &region);
int RegionComplexity(const Region &region);  // NULLREGION, SIMPLEREGION or COMPLEXREGION
bool RegionContains(const Region &region, LONG x, LONG y);
Region RectRegion(RECT rect);
Region Combine(const Region &a, const Region &b, int mode);  // RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF

// What SaveDC keeps of a device context, for RestoreDC to put back.
struct SavedDc {
    DcSelection selection;
    POINT position;
    int bkMode;
    COLORREF bkColor, textColor;
    int rop2;
    UINT textAlign;
    int stretchMode;
    bool clipped;
    Region clip;
};

struct DeviceContext {
    HDC handle;
    size_t number;  // in the order device contexts were made, from 1
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
    UINT textAlign;
    int stretchMode;
    bool clipped;                 // a clip region is selected: clip
    Region clip;
    size_t call;                  // the call that made it, counted as GdiObject::call
    std::vector<DrawOp> drawing;  // a memory device context's
    std::vector<SavedDc> saved;   // SaveDC's states, the latest last
};

// A DIB section's pixels when their digest was last taken, and the digest's state at the start of
// each chunk of them (DibSectionDigest).
struct DibDigestMemo {
    std::vector<BYTE> seen;
    std::vector<unsigned long long> states;
};

struct Module {
    std::string name;
    HMODULE handle;
    std::vector<Export> exports;
    int references;
};

// A resource of the program's module. Type and name are "#123" for an integer, else the string
// in capitals: the platform compares names case aside, and takes "#123" for 123.
struct Resource {
    std::string type, name;
    std::vector<BYTE> data;
};
std::string ResourceKey(LPCSTR name);
// The program's resource of that type and name (an integer or a string), or null.
const Resource *FindProgramResource(HMODULE module, LPCSTR name, LPCSTR type);

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
    // Another variation gives handles other values (Reset).
    unsigned variation = 0;

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
    HWND activeWindow = 0;  // the program's active top-level window
    HWND focusWindow = 0;   // the program's window with the keyboard focus
    bool altAlone = false;  // Alt is down and no other key went down since
    std::map<UINT, LRESULT> defWindowProcAnswers;
    std::vector<Delivery> deliveries;
    std::function<void(const Delivery &, bool)> deliveryObserver;
    std::map<std::string, UINT> registeredMessages;

    // cursor
    POINT cursor = {0, 0};
    HCURSOR cursorHandle = (HCURSOR)(ULONG_PTR)0x50001;

    // GDI
    RECT screen = {0, 0, 1024, 768};   // the screen device context's clip box
    SIZE primary = {1024, 768};        // the primary monitor's size
    std::vector<GdiObject> gdiObjects[GDI_KINDS];
    int liveGdiObjects[GDI_KINDS] = {};  // counted as they come and go: a long run makes millions
    // What only some live objects have, kept while they live.
    std::map<HGDIOBJ, LOGFONTA> fonts;
    std::map<HGDIOBJ, Region> regions;
    std::map<HGDIOBJ, std::vector<BYTE>> dibBits;  // a DIB section's pixels, the effect's memory
    std::map<HGDIOBJ, DibDigestMemo> dibDigests;   // and what their digest was last taken of
    int liveMemoryDcs = 0;
    std::vector<std::unique_ptr<DeviceContext>> dcs;
    std::vector<DrawOp> screenDrawing;

    // registry
    std::map<std::string, RegistryKey> registry;  // "root\\key", lower-cased
    std::map<ULONG_PTR, std::string> openKeys;
    ULONG_PTR nextKey = 0x60010;

    // modules
    std::vector<Module> modules;

    // resources of the program's module (a deque: LockResource hands out their data's address)
    std::deque<Resource> resources;
    DWORD screenPicture = 0;  // the desktop's, as a digest

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
// The local time the clock shows now (GetLocalTime's).
SYSTEMTIME ClockTime();

Window *FindWindowRecord(HWND window);
Window *OurWindow(HWND window);
// Any window ever made, alive or destroyed, or null; *number is its place in creation order
// (0: the desktop).
Window *AnyWindowRecord(HWND window, size_t *number = nullptr);
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
// What the platform does for a window inside BeginPaint and EndPaint, without recording a call:
// the frame and the background are painted first (WM_NCPAINT, WM_ERASEBKGND) where needed.
HDC StartPaint(Window *window, PAINTSTRUCT *paint);
void FinishPaint(Window *window, HDC dc);
// The background erased outside a paint, as the platform does when it shows a top-level window.
void EraseBackground(Window *window);
DcSelection FreshSelection(bool memory);
void Deselect(DeviceContext *dc);  // back to a fresh device context's objects
// Selects what a saved state held (RestoreDC); an object freed since, the fresh one of its slot.
void RestoreSelection(DeviceContext *dc, const DcSelection &selection);
SIZE BitmapSize(HGDIOBJ bitmap);   // the default bitmap's is 1x1
DWORD DibSectionDigest(HGDIOBJ bitmap);  // of its pixels; 0 for any other bitmap
// A digest of pixels: equal pixels, equal digests, from one run to the next; never 0.
DWORD Digest(const BYTE *bytes, unsigned long long count);
// A picture digest with the place and size it was taken at folded in; never 0.
DWORD FoldDigest(DWORD digest, std::initializer_list<LONG> values);
// The picture a device context shows a transfer that reads it: the screen's, a bitmap's that came
// from the program's resources or from the screen, a DIB section's pixels; 0: none the simulator
// knows (what GDI drew).
DWORD PictureOf(const DeviceContext *dc);
// A transfer's picture put on a memory device context: its bitmap's picture takes it in.
void TakePicture(DeviceContext *dc, const DrawOp &op);
// A new object of kind, alive, made by the call being recorded.
HGDIOBJ NewGdiObject(GdiKind kind, UINT style, int width, int height, COLORREF color);
Region *LiveRegion(HGDIOBJ region);  // null when it is not a live region
GdiObject *LiveGdiObject(HGDIOBJ object, GdiKind kind);
HGDIOBJ DefaultBitmapHandle();  // the 1x1 monochrome bitmap a memory device context holds at first
// The bits a pixel of a bitmap compatible with the device context (CreateCompatibleBitmap).
int CompatibleDepth(const DeviceContext *dc);  // null when it is not a live one of kind
// The font a device context holds as a LOGFONTA: a created font's, or the system font's.
LOGFONTA SelectedFont(const DeviceContext *dc);
// A device context's clip: the region's copy, or none. Returns the new clip's complexity.
int SetClip(DeviceContext *dc, const Region *region);
// A LONG of the platform: 32 bits, whatever the host's long is.
constexpr LONG LARGEST_LONG = 0x7FFFFFFF, SMALLEST_LONG = -LARGEST_LONG - 1;

// Rectangles as GDI takes them: the right and bottom edges outside.
bool IsEmpty(const RECT &rect);
RECT Ordered(RECT rect);                            // left <= right, top <= bottom
RECT Intersection(const RECT &a, const RECT &b);  // (0, 0, 0, 0) when they do not overlap
RECT Bounding(const RECT &a, const RECT &b);      // the smallest that holds both; empty ones add nothing
// One side of a rectangle as a call's argument; 0 for a null rectangle.
Arg RectArg(const RECT *rect, LONG RECT::*side);

// A drawing operation that draws with no pen and fills nothing, until told otherwise.
DrawOp NewOp(DrawOp::Kind kind);
// Records op as drawn on dc.
void AddDrawing(DeviceContext *dc, const DrawOp &op);
void PenFacts(HGDIOBJ pen, DrawOp *op);
bool BrushFacts(HGDIOBJ brush, DrawOp *op);  // false: not a brush
size_t CurrentCall();  // the call being made, counted from the first ever recorded

}  // namespace sim
