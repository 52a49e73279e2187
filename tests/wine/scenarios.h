// What a scenario of the end-to-end run is: a row of scenarios.cpp with its group, its name as the
// run reports it, the step that runs it (e2e_driver.cpp) and what that step is given.
#pragma once
#include <windows.h>
#include <stddef.h>

struct Outcome;

// Which copy of the saver a scenario starts. In the version matrix every scenario starts the copy
// named for its version instead.
enum class Copy {
    Nt,          // the saver as built
    W95,         // w95\saver95.scr: run as the 95 family, beside the password and MPR stand-ins
    W95Fault,    // w95fault\saver95.scr: the same, beside the PASSWORD.CPL whose check faults
    NtPassword,  // ntpw\saver.scr: the NT family, beside the password stand-in
    Example,     // example\example.scr: the example saver on the same framework (examples/)
    Example95,   // example95\saver95.scr: the example saver, run as the 95 family
    PixelExample,  // pixel\pixel.scr: the pixel example saver (examples/polarnight.cpp)
    ClockExample,  // clock\clock.scr: the clock example saver (examples/clock.cpp)
    DesktopExample,  // desktop\desktop.scr: the desktop example (examples/melt.cpp), started over a
                     // desktop the driver shows (tests/wine/desktop.cpp)
    Count
};

// What %lu in a scenario's command line stands for.
enum class Handle {
    None,           // the command line has no %lu
    NoWindow,       // a handle value that names no window on this run
    NamedWindow,    // a plain window of the driver
    PreviewParent,  // the window of the driver that the preview is to go in
};

// What ends the saver, or what the scenario sees it do before a key ends it.
enum class Ending {
    ByItself,
    Key,
    LeftButton,
    RightButton,
    MouseDrift,        // 4 pixels from where the pointer rested keep it running, 5 end it
    PowerBroadcast,
    SecondInstance,    // a second full-screen start, which ends at once; then a key the first
    KeyAfterTheClear,  // the drawing, matched before and after the clear; then a key
    KeyAfterDrawing,   // the drawing, matched at 20 lines; then a key
    KeyAfterChange,    // a drawing not the product's: the screen changes and is not all black; then a key
    ParentDestroyed,   // the preview's parent is destroyed
    AutoPlayQuery,     // QueryCancelAutoPlay
    OkAfterChange,     // "/c": the dialog shows the stored settings; a check box changed, then OK
    CancelAfterChange, // the same, then Cancel
};

// What the example saver's settings key holds before the start (the step empties it first).
enum class Stored {
    Nothing,
    Chosen,    // a valid value other than the default for every setting
    AllWrong,  // every value wrong: another type, out of range, too long, not a choice
};

// What a step is given besides the program. Each step reads the fields it needs; rows name only
// those (designated initializers, in this order).
struct Case {
    Copy copy = Copy::Nt;
    const char *args = nullptr;  // after the program's name; nullptr: the name alone
    Handle handle = Handle::None;
    Ending ending = Ending::ByItself;
    int usePassword = -1;     // ScreenSaveUsePassword set before the start; -1 leaves it as it is
    LRESULT answer = 0;       // what the saver answers to QueryCancelAutoPlay
    SIZE client = {};         // the preview parent's client area
    bool windowFacts = false;  // the full-screen window's class, title, styles and place checked too
    Stored stored = Stored::Nothing;
    int monitors = 0;  // the monitors Wine must see; rows with any run only when their group is named,
                       // on a display of that many monitors
};

// The version matrix runs a scenario on the versions of one family only, or on all.
enum class Family { Any, Win95, Nt };

struct Scenario {
    const char *group;  // what the driver's command line picks, e.g. "preview,password"
    const char *name;
    void (*run)(Outcome &o, const Case &c, const char *program);
    Case with;
    Family family = Family::Any;  // the version matrix only
};

// A Windows version the prefix reports to a copy of the saver named saver-<name>.scr.
struct Version {
    const char *name;
    bool win95;
    DWORD reported;  // major << 8 | minor, plus 0x10000 on the NT family
};

extern const Scenario scenarios[];
extern const size_t scenarioCount;
extern const Version versions[];
extern const size_t versionCount;
extern const Scenario matrixScenarios[];
extern const size_t matrixScenarioCount;

// The steps. Each starts `program` as the case says and records in `o` what it finds amiss.
void EndsWithMinusOne(Outcome &o, const Case &c, const char *program);
void Preview(Outcome &o, const Case &c, const char *program);
void FullScreen(Outcome &o, const Case &c, const char *program);
void ChangePassword(Outcome &o, const Case &c, const char *program);
void PasswordCheck(Outcome &o, const Case &c, const char *program);
void AutoPlay(Outcome &o, const Case &c, const char *program);
void KeyEndsWithoutCheck(Outcome &o, const Case &c, const char *program);
void FaultInCheck(Outcome &o, const Case &c, const char *program);
void SettingsDialog(Outcome &o, const Case &c, const char *program);
void PoolColour(Outcome &o, const Case &c, const char *program);
