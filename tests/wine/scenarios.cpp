// Every scenario of the end-to-end run, in the order the driver runs them. A group runs as a
// whole when the driver's command line names it; without names, all of them run, and the
// version matrix wherever the work folder has its copies of the saver.
#include "scenarios.h"

// Where no copy is named, the saver as built (the NT family).
const Scenario scenarios[] = {
    // Modes that open no window.
    {"exit", "configure '/c' ends with -1", EndsWithMinusOne, {.args = "/c"}},
    {"exit", "configure '/c:1234' ends with -1", EndsWithMinusOne, {.args = "/c:1234"}},
    {"exit", "empty command line ends with -1 (configure)", EndsWithMinusOne, {}},
    {"exit", "'/x' is invalid", EndsWithMinusOne, {.args = "/x"}},
    {"exit", "'/1' is invalid", EndsWithMinusOne, {.args = "/1"}},
    {"exit", "'/p' without a handle is refused", EndsWithMinusOne, {.args = "/p"}},
    {"exit", "'/p 0' is refused", EndsWithMinusOne, {.args = "/p 0"}},
    {"exit", "'/p' with a handle that names no window is refused", EndsWithMinusOne,
     {.args = "/p %lu", .handle = Handle::NoWindow}},
    {"exit", "'/a 1234' on the NT family is invalid", EndsWithMinusOne, {.args = "/a 1234"}},
    {"exit", "95 family: '/x' is invalid", EndsWithMinusOne, {.copy = Copy::W95, .args = "/x"}},
    {"exit", "95 family: '/p 0' is refused", EndsWithMinusOne, {.copy = Copy::W95, .args = "/p 0"}},
    {"exit", "95 family: '/c' ends with -1", EndsWithMinusOne, {.copy = Copy::W95, .args = "/c"}},

    // The preview, inside a window of the driver with the client area given.
    {"preview", "preview '/p N'", Preview,
     {.args = "/p %lu", .handle = Handle::PreviewParent, .ending = Ending::ParentDestroyed, .client = {152, 112}}},
    {"preview", "preview '/p    N' (several blanks)", Preview,
     {.args = "/p    %lu", .handle = Handle::PreviewParent, .ending = Ending::ParentDestroyed, .client = {300, 200}}},
    {"preview", "preview '/pN'", Preview,
     {.args = "/p%lu", .handle = Handle::PreviewParent, .ending = Ending::ParentDestroyed, .client = {640, 480}}},
    {"preview", "preview '/l N'", Preview,
     {.args = "/l %lu", .handle = Handle::PreviewParent, .ending = Ending::ParentDestroyed, .client = {200, 150}}},
    {"preview", "95 family: preview ends on QueryCancelAutoPlay, answering 0", Preview,
     {.copy = Copy::W95, .args = "/p %lu", .handle = Handle::PreviewParent, .ending = Ending::AutoPlayQuery,
      .answer = 0, .client = {152, 112}}},

    // Full screen, each scenario with the window's facts first. The drawing is a group of its own,
    // which scripts/run.sh runs to show the saver.
    {"drawing", "full screen '/s': window, drawing pixel for pixel before and after the clear", FullScreen,
     {.args = "/s", .ending = Ending::KeyAfterTheClear}},
    {"fullscreen", "full screen '-S': a key ends it", FullScreen, {.args = "-S", .ending = Ending::Key}},
    {"fullscreen", "full screen '/ -/s': a left button ends it", FullScreen,
     {.args = "/ -/s", .ending = Ending::LeftButton}},
    {"fullscreen", "full screen '/s': a right button ends it", FullScreen,
     {.args = "/s", .ending = Ending::RightButton}},
    {"fullscreen", "full screen '/s': 4 pixels of drift keep it, 5 end it", FullScreen,
     {.args = "/s", .ending = Ending::MouseDrift}},
    {"fullscreen", "full screen '/s': WM_POWERBROADCAST ends it", FullScreen,
     {.args = "/s", .ending = Ending::PowerBroadcast}},
    {"fullscreen", "full screen '/s': a second '/s' ends at once, the first comes to the front", FullScreen,
     {.args = "/s", .ending = Ending::SecondInstance}},

    // Two monitors side by side (run-e2e.sh starts them): the window covers the screen's device
    // context, which spans both.
    {"monitors", "two monitors: full screen '/s' covers both, drawing across both", FullScreen,
     {.args = "/s", .ending = Ending::KeyAfterDrawing, .monitors = 2}},
    {"monitors", "two monitors: a second '/s' ends at once, the first comes to the front", FullScreen,
     {.args = "/s", .ending = Ending::SecondInstance, .monitors = 2}},

    // The 95 family's password change, through the MPR stand-in.
    {"change", "95 family: '/a N' calls PwdChangePasswordA(\"SCRSAVE\", N, 0, 0)", ChangePassword,
     {.copy = Copy::W95, .args = "/a %lu", .handle = Handle::NamedWindow}},
    {"change", "95 family: '/a' with a handle that names no window passes the foreground window", ChangePassword,
     {.copy = Copy::W95, .args = "/a %lu", .handle = Handle::NoWindow}},

    // The 95 family's password check, through the PASSWORD.CPL stand-in.
    {"password",
     "95 family, password: one check per key, drawing goes on, refusal keeps it, a burst of closes is throttled, "
     "acceptance ends it",
     PasswordCheck, {.copy = Copy::W95}},

    {"autoplay", "95 family: QueryCancelAutoPlay answers 1 with a provider and ends the saver", AutoPlay,
     {.copy = Copy::W95, .ending = Ending::AutoPlayQuery, .usePassword = 1, .answer = 1}},
    {"autoplay", "95 family: QueryCancelAutoPlay answers 0 without a provider and ends the saver", AutoPlay,
     {.copy = Copy::W95, .ending = Ending::AutoPlayQuery, .usePassword = 0, .answer = 0}},
    {"autoplay", "NT family: QueryCancelAutoPlay is not the saver's, it answers 0 and keeps running", AutoPlay,
     {.copy = Copy::NtPassword, .ending = Ending::Key, .usePassword = 1, .answer = 0}},

    // How the saver ends with ScreenSaveUsePassword set or not, on either family.
    {"endings95", "95 family, ScreenSaveUsePassword = 0: a key ends it at once", KeyEndsWithoutCheck,
     {.copy = Copy::W95, .usePassword = 0, .windowFacts = true}},
    {"endings95", "NT family, ScreenSaveUsePassword = 1, PASSWORD.CPL beside it: a key ends it, no check",
     KeyEndsWithoutCheck, {.copy = Copy::NtPassword, .usePassword = 1}},
    {"endings95",
     "95 family: a fault in VerifyScreenSavePwd ends the saver through the guard, the running flag cleared",
     FaultInCheck, {.copy = Copy::W95Fault, .usePassword = 1}},

    // The example saver (examples/rings.cpp) on the same framework: the same modes and endings,
    // its drawing its own.
    {"example", "example rings: full screen '/s' draws and a key ends it", FullScreen,
     {.copy = Copy::Example, .args = "/s", .ending = Ending::KeyAfterChange}},
    {"example", "example rings: full screen '/s': 4 pixels of drift keep it, 5 end it", FullScreen,
     {.copy = Copy::Example, .args = "/s", .ending = Ending::MouseDrift}},
    {"example", "example rings: preview '/p N' ends when its parent is destroyed", Preview,
     {.copy = Copy::Example, .args = "/p %lu", .handle = Handle::PreviewParent, .ending = Ending::ParentDestroyed,
      .client = {152, 112}}},
    {"example", "example rings: full screen '/s': a second '/s' ends at once, the first comes to the front",
     FullScreen, {.copy = Copy::Example, .args = "/s", .ending = Ending::SecondInstance}},

    // The pixel example (examples/polarnight.cpp): a picture computed into a DIB section each tick,
    // on the same framework, under the same modes and endings.
    {"example", "example polarnight: full screen '/s' draws and a key ends it", FullScreen,
     {.copy = Copy::PixelExample, .args = "/s", .ending = Ending::KeyAfterChange}},
    {"example", "example polarnight: full screen '/s': 4 pixels of drift keep it, 5 end it", FullScreen,
     {.copy = Copy::PixelExample, .args = "/s", .ending = Ending::MouseDrift}},
    {"example", "example polarnight: preview '/p N' ends when its parent is destroyed", Preview,
     {.copy = Copy::PixelExample, .args = "/p %lu", .handle = Handle::PreviewParent,
      .ending = Ending::ParentDestroyed, .client = {152, 112}}},
    {"example", "example polarnight: full screen '/s': a second '/s' ends at once, the first comes to the front",
     FullScreen, {.copy = Copy::PixelExample, .args = "/s", .ending = Ending::SecondInstance}},

    // The clock example (examples/clock.cpp): the time of day, a seed and the user's formats from
    // the framework, under the same modes and endings.
    {"example", "example clock: full screen '/s' draws and a key ends it", FullScreen,
     {.copy = Copy::ClockExample, .args = "/s", .ending = Ending::KeyAfterChange}},
    {"example", "example clock: full screen '/s': 4 pixels of drift keep it, 5 end it", FullScreen,
     {.copy = Copy::ClockExample, .args = "/s", .ending = Ending::MouseDrift}},
    {"example", "example clock: preview '/p N' ends when its parent is destroyed", Preview,
     {.copy = Copy::ClockExample, .args = "/p %lu", .handle = Handle::PreviewParent,
      .ending = Ending::ParentDestroyed, .client = {152, 112}}},
    {"example", "example clock: full screen '/s': a second '/s' ends at once, the first comes to the front",
     FullScreen, {.copy = Copy::ClockExample, .args = "/s", .ending = Ending::SecondInstance}},
    // The desktop example (examples/melt.cpp): the desktop copied as its window is made, melting.
    {"example", "example melt: full screen '/s' over a desktop melts it and a key ends it", FullScreen,
     {.copy = Copy::DesktopExample, .args = "/s", .ending = Ending::KeyAfterChange}},
    {"example", "example melt: full screen '/s': 4 pixels of drift keep it, 5 end it", FullScreen,
     {.copy = Copy::DesktopExample, .args = "/s", .ending = Ending::MouseDrift}},
    {"example", "example melt: preview '/p N' ends when its parent is destroyed", Preview,
     {.copy = Copy::DesktopExample, .args = "/p %lu", .handle = Handle::PreviewParent,
      .ending = Ending::ParentDestroyed, .client = {152, 112}}},
    {"example", "example melt: full screen '/s': a second '/s' ends at once, the first comes to the front",
     FullScreen, {.copy = Copy::DesktopExample, .args = "/s", .ending = Ending::SecondInstance}},

    // The example's settings: its "/c" dialog, built from its table, and what "/s" draws with.
    {"settings", "example rings: '/c' shows the stored settings; a check box changed and OK stores it, ending with 1",
     SettingsDialog, {.copy = Copy::Example, .args = "/c", .ending = Ending::OkAfterChange, .stored = Stored::Chosen}},
    {"settings", "example rings: '/c': a check box changed and Cancel stores nothing, ending with 2", SettingsDialog,
     {.copy = Copy::Example, .args = "/c", .ending = Ending::CancelAfterChange, .stored = Stored::Chosen}},
    {"settings", "example rings: '/s' fills the pool with the stored colour; a key ends it with 0", PoolColour,
     {.copy = Copy::Example, .args = "/s", .stored = Stored::Chosen}},
    {"settings", "example rings: every stored value wrong, '/s' draws with the defaults; a key ends it with 0",
     PoolColour, {.copy = Copy::Example, .args = "/s", .stored = Stored::AllWrong}},
    {"settings", "95 family: example rings: '/c' shows the stored settings; a check box changed and OK stores it",
     SettingsDialog,
     {.copy = Copy::Example95, .args = "/c", .ending = Ending::OkAfterChange, .stored = Stored::Chosen}},
    {"settings", "95 family: example rings: '/c': a check box changed and Cancel stores nothing", SettingsDialog,
     {.copy = Copy::Example95, .args = "/c", .ending = Ending::CancelAfterChange, .stored = Stored::Chosen}},
    {"settings", "95 family: example rings: '/s' fills the pool with the stored colour", PoolColour,
     {.copy = Copy::Example95, .args = "/s", .stored = Stored::Chosen}},
    {"settings", "95 family: example rings: every stored value wrong, '/s' draws with the defaults", PoolColour,
     {.copy = Copy::Example95, .args = "/s", .stored = Stored::AllWrong}},
};
const size_t scenarioCount = sizeof scenarios / sizeof scenarios[0];

// The version matrix (group "matrix"): per Windows version the prefix can report, first that it
// reports it, then the scenarios below, each name after "<version>: ".
const Version versions[] = {
    {"win95", true, 0x0400},   {"win98", true, 0x040A},    {"winme", true, 0x045A},
    {"nt40", false, 0x10400},  {"win2k", false, 0x10500},  {"winxp", false, 0x10501},
    // Windows 10 tells a program that declares no compatibility in a manifest that it is 6.2,
    // and so does Wine.
    {"win7", false, 0x10601},  {"win10", false, 0x10602},
};
const size_t versionCount = sizeof versions / sizeof versions[0];

const Scenario matrixScenarios[] = {
    {"matrix", "'/x' is invalid", EndsWithMinusOne, {.args = "/x"}},
    {"matrix", "'/c' ends with -1", EndsWithMinusOne, {.args = "/c"}},
    {"matrix", "'/p 0' is refused", EndsWithMinusOne, {.args = "/p 0"}},
    {"matrix", "'/a 1234' on the NT family is invalid", EndsWithMinusOne, {.args = "/a 1234"}, Family::Nt},
    {"matrix", "full screen '/s': drawing pixel for pixel, a key ends it", FullScreen,
     {.args = "/s", .ending = Ending::KeyAfterDrawing, .usePassword = 0}},
    {"matrix",
     "95 family, password: one check per key, drawing goes on, refusal keeps it, a burst of closes is throttled, "
     "acceptance ends it",
     PasswordCheck, {}, Family::Win95},
    {"matrix", "95 family: QueryCancelAutoPlay answers 1 with a provider and ends the saver", AutoPlay,
     {.ending = Ending::AutoPlayQuery, .usePassword = 1, .answer = 1}, Family::Win95},
    {"matrix", "95 family: QueryCancelAutoPlay answers 0 without a provider and ends the saver", AutoPlay,
     {.ending = Ending::AutoPlayQuery, .usePassword = 0, .answer = 0}, Family::Win95},
    {"matrix", "95 family: '/a N' calls PwdChangePasswordA(\"SCRSAVE\", N, 0, 0)", ChangePassword,
     {.args = "/a %lu", .handle = Handle::NamedWindow}, Family::Win95},
    {"matrix", "95 family: '/a' with a handle that names no window passes the foreground window", ChangePassword,
     {.args = "/a %lu", .handle = Handle::NoWindow}, Family::Win95},
};
const size_t matrixScenarioCount = sizeof matrixScenarios / sizeof matrixScenarios[0];
