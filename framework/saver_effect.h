// What an effect supplies to the framework, and the contract it keeps. Read this first.
//
// A saver is the framework (the modes, the one window, the dismissal rules, the password gate,
// the exception guard) and one effect. An effect supplies three things, in one source file if it
// likes:
//   - its window procedure, bound to the framework once:
//         const WNDPROC SaverEffectProc = MyEffectProc;
//   - BOOL RegisterConfigClasses(HINSTANCE): registers the window classes its configuration
//     dialog needs; returns TRUE to go on to the dialog;
//   - INT_PTR CALLBACK ConfigDialogProc(HWND, UINT, WPARAM, LPARAM): the procedure of dialog
//     CONFIG_DIALOG_ID, shown for "/c". A module without that dialog ends "/c" with -1.
// If it likes, it supplies a fourth: a table of its settings (at the end of this header), from
// which the framework reads the user's values into its record and builds the dialog of "/c".
//
// The window procedure is called by the framework's frame procedure with every message the
// framework did not consume. It
//   1. hands every message it receives, handled or not, to SaverDismissProc with the same
//      arguments, and returns SaverDismissProc's result unchanged: the dismissal policy decides
//      when the saver ends and must see every keystroke, click and mouse move;
//   2. never calls DefWindowProcA itself, never posts WM_CLOSE, never destroys the window, and
//      calls PostQuitMessage only from WM_DESTROY (it need not: the framework posts the quit
//      there itself); WM_CLOSE only asks (a password may refuse it), so it stops its timer and
//      frees what it keeps at WM_DESTROY, not at WM_CLOSE;
//   3. draws only on WM_TIMER (its own timer, set at WM_CREATE), on its own window, with a device
//      context it gets and releases within the tick (ReleaseDC naming the window GetDC named);
//      and, if it likes, at WM_ERASEBKGND, after SaverDismissProc has erased the window black,
//      with the device context wParam hands it (not released): to show its first picture (the
//      desktop it copied) at once, where the window would show black until the first tick;
//   4. puts back, before the tick ends, whatever a tick selects into the window's device
//      context: the window's device context is its own (CS_OWNDC) and keeps its selections from
//      one tick to the next;
//   5. frees every GDI object it creates, in the tick or at WM_DESTROY, and keeps as many timers
//      as it started with (SetTimer with the same id replaces a timer, a new id adds one): the
//      saver runs for hours;
//   6. keeps its state in one process-wide record and reads no clock, cursor, keyboard,
//      registry, file or system setting of its own, directly or through GetProcAddress: the same
//      session draws the same picture. What it may know of the world the framework hands it:
//      its settings into that record, and the time, a seed, its place on the screen and the
//      user's formats through the calls below ("The world");
//   7. draws something a window sees, full screen and in a preview child as small as 152 x 112,
//      which may not contain the effect's fixed coordinates; and draws there on the Windows 95
//      family too, whose GDI takes coordinates in 16 bits (-32 768..32 767, a bounding
//      rectangle's left and right added within 32 767, and its top and bottom), texts of at most
//      8 192 characters and compatible bitmaps of at most 16 MB;
//   8. reads the screen, if it wants the desktop as the user left it, only at WM_CREATE, before
//      its window shows and covers it: GetDC(NULL), a BitBlt or StretchBlt from it into a bitmap
//      of its own (CreateCompatibleBitmap of that device context), ReleaseDC before WM_CREATE
//      returns; it never draws on the screen. Once the window shows, the screen is the saver's
//      own window, and a copy of it is black. The screen's clip box (GetClipBox) is where the
//      full-screen window lies; a preview may shrink the whole of it into its window.
// Bitmaps of its own come from its resource script (LoadBitmapA, LoadImageA of the module,
// FindResourceA, LoadResource, LockResource, SizeofResource for other data); what a tick saves of
// the window's device context (SaveDC) it restores (RestoreDC) within the tick.
// The framework stops passing WM_TIMER once the saver may close, and yields the processor before
// every tick it passes on.
//
// This header is also read by resource scripts (RC_INVOKED), for the identifiers of the
// resources the framework asks the module for.
#pragma once

// The dialog of "/c" and the icon of the saver's window class, if the module has them.
#define CONFIG_DIALOG_ID 2003
#define SAVER_ICON_ID 100

#ifndef RC_INVOKED
#include <windows.h>

#include "framework/dismiss.h"

// C linkage: the names an effect supplies are the same whatever compiler builds it.
extern "C" {
extern const WNDPROC SaverEffectProc;
BOOL RegisterConfigClasses(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
}

// ---------------------------------------------------------------------------------------------
// The world, for an effect that wants to know it (rule 6): the time of day, the time since the
// saver started, a seed that differs at every start, where its window lies, and the user's time
// and date formats. On Windows they are the real values. Under the effect checker they come
// from the session's simulated clock and script, the same in both runs of a session, while
// GetLocalTime, GetTickCount, the cursor and the rest that these stand for differ between them.
// Each call has its own object file in a library: a saver whose effect calls none links none.
extern "C" {
// The local time now, as GetLocalTime gives it.
void SaverGetLocalTime(SYSTEMTIME *time);
// Milliseconds since the saver started (its window was about to be created); wraps after 49.7
// days, as GetTickCount does.
DWORD SaverGetTickCount(void);
// A seed for the effect's own generator: the same for the whole run, another at every start.
DWORD SaverGetSeed(void);
// Where a window lies on the screen, in screen coordinates (the virtual screen's: negative
// left of or above the primary monitor). For the saver's own window, full screen or preview.
BOOL SaverGetWindowRect(HWND window, RECT *rect);
// The virtual screen: the rectangle that holds every monitor.
void SaverGetVirtualScreen(RECT *screen);
// Each monitor's rectangle in screen coordinates, the primary (left and top at 0) first: up to
// count of them into monitors. Returns how many monitors there are (1 on Windows 95 and NT 4.0).
int SaverGetMonitorRects(RECT *monitors, int count);
// The time or date of time written as the user's settings write them: GetTimeFormatA and
// GetDateFormatA for the user's locale, with their flags (TIME_NOSECONDS,
// TIME_FORCE24HOURFORMAT, DATE_LONGDATE...) and their format pictures ("hh':'mm", NULL: the
// user's own). Returns the characters written with the closing zero, 0 when text is too small.
int SaverGetTimeFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size);
int SaverGetDateFormat(DWORD flags, const SYSTEMTIME *time, LPCSTR format, LPSTR text, int size);
}

// ---------------------------------------------------------------------------------------------
// Settings, for an effect that has some.
//
// The effect lists them in its own source, one row per setting, each naming a DWORD of its
// record, and binds the table once:
//
//     static const SAVERSETTING MY_SETTINGS[] = {
//         SAVER_NUMBER(MyState.half, "Size", "Size of a square", 8, 2, 40, 2),
//     };
//     SAVER_SETTINGS(MY_SETTINGS);
//
// Before the saver window is created, full screen and in a preview, the framework puts into each
// of those DWORDs the value the current user stored (a REG_DWORD of the row's name in the key
// HKEY_CURRENT_USER\Software\<saver name>), or the row's default where the value is missing or is
// none the dialog could have stored: of another type or size, out of the range, off the step. So
// the effect reads only its record, and finds there only values its rows allow (rule 6 stands).
//
// "/c" shows a dialog built from the table, unless the module has a dialog CONFIG_DIALOG_ID of
// its own: a row per setting (a number: a slider showing its value; yes or no: a check box; a
// choice: a drop-down list; a colour: red, green and blue sliders beside a swatch), and the
// buttons OK (stores every setting), Cancel and Defaults. An effect without settings binds no
// table and links none of this.

// The most settings one effect may have.
#define SAVER_SETTINGS_MAX 16

enum SAVERSETTINGKIND { SETTING_NUMBER, SETTING_YES_NO, SETTING_CHOICE, SETTING_COLOR };

// One setting. Every kind is a whole number from minimum to maximum in steps of step: yes or no
// is 1 or 0, a choice the position of its name in the list, a colour an RGB() value.
struct SAVERSETTING {
    LPCSTR valueName;  // the registry value
    LPCSTR label;      // what the user reads beside the control
    SAVERSETTINGKIND kind;
    DWORD *value;      // the field of the effect's record that receives the value
    DWORD defaultValue;
    LONG minimum, maximum, step;  // a slider has at most 32 767 steps
    const LPCSTR *choices;        // a choice's names, maximum + 1 of them
};

// A row of each kind. field is a DWORD of the effect's record; the default must be one of the
// row's values.
#define SAVER_NUMBER(field, valueName, label, defaultValue, minimum, maximum, step)            \
    {valueName, label, SETTING_NUMBER, &(field), (DWORD)(defaultValue), minimum, maximum, step, \
     NULL}
#define SAVER_YES_NO(field, valueName, label, defaultValue) \
    {valueName, label, SETTING_YES_NO, &(field), (DWORD)(defaultValue), 0, 1, 1, NULL}
#define SAVER_CHOICE(field, valueName, label, defaultIndex, names)         \
    {valueName, label, SETTING_CHOICE, &(field), (DWORD)(defaultIndex), 0, \
     (LONG)(sizeof(names) / sizeof((names)[0])) - 1, 1, names}
#define SAVER_COLOR(field, valueName, label, defaultColor) \
    {valueName, label, SETTING_COLOR, &(field), (DWORD)(defaultColor), 0, 0xFFFFFF, 1, NULL}

// The table as the framework sees it. The framework reaches the settings code only through the
// two entries, so that an effect that binds no table links none of it.
struct SAVERSETTINGS {
    LPCSTR keyName;  // under HKEY_CURRENT_USER
    const SAVERSETTING *rows;
    int count;
    void (*load)(const SAVERSETTINGS *settings);
    INT_PTR (*configure)(const SAVERSETTINGS *settings, HWND owner);
};

// The key is named after the saver: add_screen_saver defines SAVER_NAME as its NAME.
#define SAVER_SETTINGS(table)                                                              \
    static_assert(sizeof(table) / sizeof((table)[0]) <= SAVER_SETTINGS_MAX,               \
                  "more settings than SAVER_SETTINGS_MAX");                                \
    const SAVERSETTINGS SaverEffectSettings = {"Software\\" SAVER_NAME, table,              \
                                               (int)(sizeof(table) / sizeof((table)[0])), \
                                               LoadSaverSettings, ShowSettingsDialog}

extern "C" const SAVERSETTINGS SaverEffectSettings;

// Puts each row's value, stored or default, into its field.
void LoadSaverSettings(const SAVERSETTINGS *settings);
// The dialog of "/c": the module's own CONFIG_DIALOG_ID if it has one, else one built from the
// table. IDOK once every setting is stored, IDCANCEL when the user stored nothing, -1 when the
// dialog cannot be shown.
INT_PTR ShowSettingsDialog(const SAVERSETTINGS *settings, HWND owner);
// For a dialog of the effect's own: each row's value, stored or default, into values; and values
// into the registry, FALSE when one of them could not be stored.
void ReadSaverSettings(const SAVERSETTINGS *settings, DWORD values[SAVER_SETTINGS_MAX]);
BOOL StoreSaverSettings(const SAVERSETTINGS *settings, const DWORD values[SAVER_SETTINGS_MAX]);
#endif
