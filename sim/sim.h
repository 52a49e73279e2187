// The simulated Win32: the platform functions the saver calls, defined with the headers' own
// prototypes, over one simulated machine and process that a test controls and inspects.
//
// Single-threaded like the saver. Everything a test can set or read is in namespace sim; the
// platform functions themselves are the ordinary Win32 names. Where the simulation is knowingly
// simpler than the platform, the definition says so.
#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace sim {

// ---------------------------------------------------------------------------------------------
// The machine and the process

// A fresh machine: no windows but the desktop, an empty registry, no modules but the program's,
// the clock at 0, the NT family, an empty record. Call before each test. A machine of another
// variation hands out other values for the same windows, device contexts and GDI objects (stock
// objects too), as another run of the platform may: what a correct program depends on is the
// same on both.
void Reset(unsigned variation = 0);

// ExitProcess throws this; RunProgram catches it.
struct ProcessExit {
    UINT code;
};
// A wait that would take the clock past the stop tick throws this (see StopAt).
struct RunStopped {};
// A wait with no timer, no scripted event and no message that could ever arrive throws this.
struct WaitsForever {};

// Runs a whole program in-process: main must end with ExitProcess. Returns the exit code.
// A main that returns instead yields RETURNED_WITHOUT_EXIT.
constexpr UINT RETURNED_WITHOUT_EXIT = 0xDEADBEEF;
UINT RunProgram(void (*main)());

void SetCommandLine(const char *line);
HINSTANCE ProgramInstance();

enum class Family { Nt, Win9x, VersionFails };
void SetFamily(Family family);

// Bytes that the current code page treats as lead bytes of double-byte characters.
void SetLeadBytes(std::initializer_list<unsigned char> leadBytes);

// ---------------------------------------------------------------------------------------------
// The clock. GetTickCount reads it; it moves only when the program waits (GetMessageA with
// nothing to retrieve, Sleep) or when a test advances it.

void SetTickCount(DWORD tick);
DWORD Now();
// Advances the clock, running the scripted events that fall due on the way.
void Advance(DWORD milliseconds);
// Runs event when the clock reaches tick (modulo 2^32, within the next 2^31 ms). Events run
// while the program waits; they should act as the world does: move the cursor, deliver input,
// create or destroy another program's windows.
void At(DWORD tick, std::function<void()> event);
void After(DWORD milliseconds, std::function<void()> event);
// A wait that would pass tick throws RunStopped; the program is stopped where it waits.
void StopAt(DWORD tick);
void StopAfter(DWORD milliseconds);

// ---------------------------------------------------------------------------------------------
// Windows

// A window of another program: a preview parent, a running saver, the foreground application.
// Messages posted or sent to it are kept in its inbox. Rectangles are in screen coordinates for
// a top-level window, in the parent's client coordinates for a child.
HWND CreateForeignWindow(const char *className, const char *title, RECT rect, HWND parent = 0);
// Another program destroys its window; a child of ours inside it is destroyed too, as the
// platform does when the owner thread of the parent destroys it.
void DestroyForeignWindow(HWND window);

struct Message {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Message> Inbox(HWND foreignWindow);

void SetForeground(HWND window);
HWND Foreground();

struct WindowFacts {
    bool exists;
    bool ours;
    std::string className;
    std::string title;
    HWND parent;
    DWORD style;
    DWORD exStyle;
    RECT rect;  // as created: screen coordinates, or the parent's client coordinates
    UINT classStyle;
};
WindowFacts Facts(HWND window);
// The program's windows that exist now, in creation order.
std::vector<HWND> ProgramWindows();
int RegisteredClasses();

// Answer that DefWindowProcA gives for a message it otherwise answers 0 for.
void SetDefWindowProcAnswer(UINT message, LRESULT answer);

// Messages delivered to the program's window procedures, in order, sent and dispatched alike, and
// the calls of its timer procedures.
struct Delivery {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool sent;               // sent (a direct call) rather than dispatched from the queue
    bool timerProc = false;  // a TIMERPROC called by DispatchMessageA (lParam), not the window's
};
const std::vector<Delivery> &Deliveries();
// Called right before each delivery reaches the procedure (entering) and right after it returns.
// A delivery left by unwinding (ExitProcess, a structured exception, a stopped run) has no second
// call. Reset removes it.
void ObserveDeliveries(std::function<void(const Delivery &delivery, bool entering)> observer);

// Something that covered the window has gone: it is to be painted again, its background erased
// first, as on a platform that keeps no copy of covered windows (Windows 95, NT 4.0).
void Expose(HWND window);

// Messages waiting in the program's queues (posted and input), oldest first.
std::vector<Message> PendingMessages();

// The ids of a window's live timers, in the order they were first set.
std::vector<UINT_PTR> Timers(HWND window);

// ---------------------------------------------------------------------------------------------
// The cursor and input. Input goes to the input window: the program's most recently created
// window unless a test names another.

void SetInputWindow(HWND window);
// Moves the cursor without any message, as a position the system already had.
void PlaceCursor(int x, int y);
// The user moves the mouse: the cursor moves and WM_MOUSEMOVE is queued.
void MoveMouse(int x, int y);
void MoveMouseBy(int dx, int dy);
POINT CursorPos();
// The cursor handle last given to SetCursor (0 = hidden over the window).
HCURSOR CurrentCursor();
void PressKey(WPARAM virtualKey);     // WM_KEYDOWN then WM_KEYUP
void PressSysKey(WPARAM virtualKey);  // WM_SYSKEYDOWN then WM_SYSKEYUP
void Click(UINT buttonDownMessage);   // WM_LBUTTONDOWN, WM_RBUTTONDOWN or WM_MBUTTONDOWN
// Another application takes the foreground: WM_ACTIVATEAPP (FALSE) to the program's top-level
// windows.
void ActivateOtherApplication();

// ---------------------------------------------------------------------------------------------
// Registry

void SetRegistryValue(HKEY root, const char *key, const char *name, DWORD type, const void *data,
                      DWORD size);
void SetRegistryDword(HKEY root, const char *key, const char *name, DWORD value);
void CreateRegistryKey(HKEY root, const char *key);
int OpenRegistryKeys();

struct StoredRegistryValue {
    bool exists;
    DWORD type;
    std::vector<BYTE> data;
};
StoredRegistryValue RegistryValueOf(HKEY root, const char *key, const char *name);
bool RegistryKeyExists(HKEY root, const char *key);

// ---------------------------------------------------------------------------------------------
// Resources. The program's module has none but those a test or the checker adds, by type and
// name (an integer, or a string compared case aside), with their data.

void AddResource(int type, int id, std::vector<BYTE> data = {});
void AddResource(LPCSTR type, LPCSTR name, std::vector<BYTE> data);
// Every resource of a compiled resource file (.res, as the resource compiler writes it); false
// when the bytes are not one (those read before the fault are added).
bool AddCompiledResources(const BYTE *bytes, size_t size);

// ---------------------------------------------------------------------------------------------
// Dialog boxes made from a template in memory (DialogBoxIndirectParamA), with their controls:
// buttons, check boxes, static texts, scroll bars and drop-down lists. The template is read as
// the platform reads it (DWORD-aligned items, UTF-16 strings). The user acts on a dialog from
// scripted events, while its modal loop waits; each action reaches the dialog procedure as the
// control's notification. Nothing is painted: an owner-drawn control gets no WM_DRAWITEM.

// The innermost dialog box open now, or 0.
HWND ShownDialog();
HWND DialogItem(HWND dialog, int id);
struct ControlFacts {
    bool exists;
    std::string kind;  // the class, lower-cased: "button", "static", "scrollbar", "combobox"
    DWORD style;
    std::string text;
    RECT rect;  // in dialog units, as the template placed it: left, top, right, bottom
    int check;
    int minimum, maximum, position;
    std::vector<std::string> items;
    int selection;
};
ControlFacts ControlFactsOf(HWND control);
// A click on a button or check box (an automatic check box changes its state first).
void ClickButton(HWND dialog, int id);
// The close box of the dialog's caption.
void CloseDialogBox(HWND dialog);
// The user works a scroll bar control: code is SB_LINERIGHT, SB_THUMBPOSITION (with thumb)...;
// SB_ENDSCROLL follows. Where the thumb goes is the program's to set.
void WorkScrollBar(HWND dialog, int id, WORD code, int thumb = 0);
// The user picks an item of a drop-down list.
void ChooseListItem(HWND dialog, int id, int index);

// ---------------------------------------------------------------------------------------------
// Modules. A module is installed on the machine; it is loaded when its reference count is above
// zero. A module installed as already loaded holds one reference of the process's own.

struct Export {
    const char *name;
    FARPROC address;
};
HMODULE InstallModule(const char *name, std::initializer_list<Export> exports,
                      bool alreadyLoaded = false);
HMODULE InstallModule(const char *name, const std::vector<Export> &exports, bool alreadyLoaded);
int ModuleReferences(const char *name);
int LoadedModules();

// ---------------------------------------------------------------------------------------------
// Screen, device contexts and GDI

// One monitor: the screen device context's clip box, which is also the monitor's size.
void SetScreen(RECT clipBox);
// The picture the screen shows before the program's windows cover it (the desktop, other
// programs' windows), as a digest: a copy of the screen carries it, folded with the place and
// size copied, to whatever is drawn from the copy. Reset gives the screen one.
void SetScreenPicture(DWORD digest);
// Monitors, the primary first, in the virtual screen's coordinates (the primary's top left at 0, 0).
// Since Windows 98 the screen device context spans them all: its clip box is the rectangle that
// bounds them, while the screen's size the platform reports (HORZRES, VERTRES, SM_CXSCREEN,
// SM_CYSCREEN) is the primary's.
void SetMonitors(const std::vector<RECT> &monitors);

// One drawing call, with what was in effect for it. Coordinates are the device context's; nothing
// is clipped by the device context's clip region or its edges, only by a call's own rectangle
// (DrawTextA's, ExtTextOutA's with ETO_CLIPPED).
struct DrawOp {
    enum Kind {
        Line,  // LineTo
        Fill,  // PatBlt
        Polyline, PolyBezier, Polygon, Rectangle, Ellipse, RoundRect, Arc, Pie, Chord,
        FillRect, FrameRect, InvertRect, BitBlt, StretchBlt, SetPixel,
        Text,           // TextOutA
        ExtText,        // ExtTextOutA
        FormattedText,  // DrawTextA
        FillRgn, FrameRgn, PaintRgn, InvertRgn,
        SetDIBitsToDevice, StretchDIBits
    } kind;
    POINT from, to;  // Line: from the current position to the end point; Arc, Pie, Chord: the radial
                     // ends; SetPixel: the pixel, in to; the texts: where the text starts, in to
                     // (the reference point the alignment is taken from)
    RECT rect;       // Fill, the shapes, FillRect, FrameRect, InvertRect; BitBlt, StretchBlt and
                     // the DIB transfers: the destination; ExtText: its rectangle (opaque or
                     // clipping), FormattedText: the one it formats in; the region calls: the
                     // region's box. As given, not ordered.
    DWORD rop;       // Fill, BitBlt, StretchBlt, StretchDIBits
    UINT penStyle;   // the pen in effect for lines and shapes; PS_NULL for what draws with none
    int penWidth;
    COLORREF penColor;
    RECT bounds;          // the pixels it may touch; empty when it draws nothing
    COLORREF brushColor;  // the brush that fills: the one in effect, or FillRect's and FrameRect's
    bool hollowBrush;     // nothing filled: a NULL brush, or an operation that does not fill
    std::vector<POINT> points;  // Polyline, PolyBezier, Polygon
    HDC source;                 // BitBlt, StretchBlt: the source (0: none)
    RECT sourceRect;            // BitBlt, StretchBlt, the DIB transfers
    COLORREF color;             // SetPixel: the colour; the texts: the text colour
    std::string text;           // the texts
    // The program's own pixels a transfer took: a digest of the bits given to a DIB transfer, or
    // of the DIB section a blit's source holds (0: none, or a bitmap GDI drew into).
    DWORD pixels = 0;
};
// Everything drawn on a window (0: the screen), in order.
const std::vector<DrawOp> &Drawing(HWND window);
// Everything drawn on a memory device context, in order (also after DeleteDC).
const std::vector<DrawOp> &MemoryDcDrawing(HDC memoryDc);
// Lets go of everything drawn so far, on every window and device context: a checker that has
// looked at it keeps a long run's drawing from filling the memory.
void ForgetDrawing();
std::vector<DrawOp> Lines(HWND window);
// Whether op draws at least one pixel inside area. Lines, polylines and unfilled polygons are
// followed along their length; anything else counts as its bounds.
bool Touches(const DrawOp &op, RECT area);

// What a device context holds. A fresh one: BLACK_PEN, WHITE_BRUSH, SYSTEM_FONT, and no bitmap
// (a window's) or the platform's 1x1 default bitmap (a memory device context's).
struct DcSelection {
    HGDIOBJ pen, brush, bitmap, font;
};
// The selections of a window's own device context (CS_OWNDC), fresh until first used, or all 0
// for other windows.
DcSelection OwnDcSelection(HWND window);
HGDIOBJ OwnDcPen(HWND window);  // OwnDcSelection(window).pen
HDC OwnDc(HWND window);         // the window's own device context, 0 until first used

// A GDI object as a checker names it.
struct GdiObjectFacts {
    HGDIOBJ handle;
    std::string kind;  // "pen", "brush", "bitmap", "DIB section", "font", "region", "memory device
                       // context"; for stock objects also "palette"; "device context" for a
                       // window's; "": unknown
    size_t call;       // index into Calls() of the call that created it, or NO_CALL
    int selections = 0;  // device contexts that hold it now (created objects only)
    bool deleted = false;  // DeleteObject or DeleteDC was called (it may live on while selected)
};
// No call in the record: a stock object, or a call that ClearCalls dropped.
constexpr size_t NO_CALL = (size_t)-1;
// Created objects not yet freed (stock objects excluded), in creation order within each kind.
std::vector<GdiObjectFacts> LiveGdiObjectFacts();
// Facts of any object, alive, freed or stock.
GdiObjectFacts GdiObjectFactsOf(HGDIOBJ object);
int LiveGdiObjects();  // created and not yet freed, of every kind (stock objects excluded)
int LivePens();
int OpenDeviceContexts();  // GetDC without the matching ReleaseDC

// A handle by what it is and its place in the order of making, the same in every variation:
// "window#1" (the desktop is window#0), "dc#2", "memory dc#3", "pen#1", "brush#4", "bitmap#1",
// "module#0" (the program's own);
// a stock object by its name ("BLACK_PEN"). Empty for a value the simulator never handed out.
std::string HandleName(const void *handle);

// The GetStockObject index of a stock object, DEFAULT_BITMAP_STOCK for the 1x1 bitmap that a
// memory device context holds at first, NOT_STOCK for any other handle.
constexpr int NOT_STOCK = -1;
constexpr int DEFAULT_BITMAP_STOCK = -2;
int StockIndexOf(HGDIOBJ object);

// A device context as GetDC, BeginPaint or CreateCompatibleDC handed it out.
struct DcFacts {
    bool known;   // handed out at some time; the rest is false or 0 when not
    bool memory;  // CreateCompatibleDC's
    HWND window;  // the window it draws on; 0 for the screen's and for a memory one
    int opened;   // GetDC or BeginPaint calls not yet matched by a release
    int saved = 0;  // SaveDC's states not yet restored
};
DcFacts DeviceContextFacts(HDC dc);

// ---------------------------------------------------------------------------------------------
// System parameters, exceptions

bool ScreenSaverRunning();  // the flag set with SPI_SETSCREENSAVERRUNNING
void SetUnhandledExceptionVerdict(LONG verdict);

// Raises a structured exception at the point of the call, as a fault in the calling code would.
// Frames of RunGuarded see it first; with none, the process ends with the exception code.
void RaiseStructuredException(DWORD code);

// ---------------------------------------------------------------------------------------------
// The record of platform calls and the failure switches

struct Arg {
    enum Kind { Value, Text, Any } kind;
    ULONG_PTR value;
    std::string text;
    bool pointer = false;  // a handle or an address, not a number (not compared by Matches)

    Arg(int v) : kind(Value), value((ULONG_PTR)(LONG_PTR)v), text() {}
    Arg(unsigned v) : kind(Value), value(v), text() {}
    Arg(long v) : kind(Value), value((ULONG_PTR)v), text() {}
    Arg(unsigned long v) : kind(Value), value(v), text() {}
    Arg(long long v) : kind(Value), value((ULONG_PTR)v), text() {}
    Arg(unsigned long long v) : kind(Value), value((ULONG_PTR)v), text() {}
    Arg(const void *p) : kind(Value), value((ULONG_PTR)p), text(), pointer(true) {}
    Arg(const char *s) : kind(s ? Text : Value), value(0), text(s ? s : ""), pointer(!s) {}
    Arg(std::nullptr_t) : kind(Value), value(0), text(), pointer(true) {}
    static Arg Anything() {
        Arg a(0);
        a.kind = Any;
        return a;
    }
    bool Matches(const Arg &actual) const;
    std::string Format() const;
};
// Inline, so that it is initialized before any constant of a test file that uses it.
inline const Arg ANY = Arg::Anything();

struct Call {
    std::string name;
    std::vector<Arg> args;
    std::string Format() const;
};

const std::vector<Call> &Calls();
void ClearCalls();
std::vector<Call> CallsNamed(std::initializer_list<const char *> names);
int CountCalls(const char *name);

// The nth call of name from now on fails with the platform's failure result for that call.
void FailCall(const char *name, int nth = 1);
// Every call of name from now on fails.
void FailEveryCall(const char *name);
// The nth call of name from now on raises a structured exception instead of returning. Resumed
// (EXCEPTION_CONTINUE_EXECUTION), the call returns its failure result: simpler than the platform,
// where the faulting instruction runs again.
void FaultCall(const char *name, DWORD code = EXCEPTION_ACCESS_VIOLATION, int nth = 1);
// Called with every platform call as it is recorded, before the call acts, so that a check can
// watch the program's state between any two of its calls. Reset removes it.
void ObserveCalls(std::function<void(const Call &)> observer);

}  // namespace sim
