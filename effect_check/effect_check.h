// The effect checker: an effect, the framework and the simulated Win32 in one program, which runs
// the saver through scripted sessions and checks every rule of the effect contract
// (framework/saver_effect.h) between any two of the effect's platform calls.
//
// The checker stands between the framework and the effect both ways: the link routes the frame
// procedure's call of SaverEffectProc, and the effect's calls of SaverDismissProc, through the
// checker (add_effect_check's --wrap). Each session runs in a process of its own, so that it
// starts from the effect's state as the image has it, as a saver does.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace effect_check {

// The rules, numbered as the contract numbers them.
enum Rule {
    PASSES_EVERY_MESSAGE_ON = 1,
    LEAVES_ENDING_TO_FRAMEWORK = 2,
    DRAWS_IN_TICKS = 3,
    PUTS_SELECTIONS_BACK = 4,
    FREES_OBJECTS = 5,
    READS_NOTHING_OF_ITS_OWN = 6,
    DRAWS_WHERE_SEEN = 7,
    READS_THE_SCREEN_BEFORE_IT_SHOWS = 8,
    RULE_COUNT = 8,
};
const char *RuleTitle(int rule);

// What a session found amiss: the rule, where it first broke (a tick, a message), what was seen.
struct Finding {
    int rule;
    std::string where;
    std::string seen;
};

// ---------------------------------------------------------------------------------------------
// Sessions

enum class Input {
    None,
    Key,
    SystemKey,
    LeftButton,
    RightButton,
    MiddleButton,
    MouseMove,
    OtherApplication,
    PowerBroadcast,
    CriticalResume,
    AutoPlayQuery,
    CloseCommand,
};

// What the registry holds for an effect's settings when a session starts. An effect without
// settings runs at its defaults only.
enum class Settings {
    Defaults,  // nothing stored
    Minimum,   // every setting at its minimum: the first choice, no, black
    Maximum,   // every setting at its maximum: the last choice, yes, white
    Wrong,     // every value wrong: another type, out of range, too long
};

// The world a session hands the effect through the framework's calls (SaverGetLocalTime,
// SaverGetSeed...): the local time when the session starts, in milliseconds since 1 January
// 1601, and the seed. Both runs of a session get the same.
struct SessionWorld {
    ULONGLONG startTime;
    DWORD seed;
};
// "1999-12-31T23:59:58", as --time takes it; a time alone keeps the date of the default.
std::string FormatSessionTime(ULONGLONG time);
bool ParseSessionTime(const std::string &text, ULONGLONG *time);
// " (at 1999-12-31T23:59:58, seed 0x2f6b1d35: --time ... --seed ... replays it)"
std::string WorldStory(const SessionWorld &world);

struct Session {
    std::string name;
    bool preview;
    bool win9x;
    bool password;
    int ticks;          // ticks before the input
    Input input;        // Input::None: a preview gets every input in turn, then its parent goes
    bool isLong;        // run twice (the same calls each time), its drawing must be seen
    Settings settings = Settings::Defaults;
    SessionWorld world = {};
};

// The sessions every effect is put through, in the order their findings are reported.
std::vector<Session> Sessions(int longTicks);

// What a session sent back from its process.
// The digest of a tick's lines of the trace (TraceLine).
struct TickDigest {
    int tick;
    ULONGLONG digest;
};

struct SessionResult {
    std::vector<Finding> findings;
    // The effect's calls, "N\tWHERE: Call(...)", N the tick (0: before), of the run's text ticks;
    // every tick's in digests, in order.
    std::vector<std::string> trace;
    std::vector<TickDigest> digests;
    std::string ending;              // how the program ended
    bool crashed = false;
    bool hung = false;  // its simulated time stood still too long in its processor time, and it was stopped
    bool stopped = false;  // stopped, or never started, because another session hung
};

// One run of a session, with the simulated clock starting at startTick. Another variation
// changes what a correct effect must not depend on: the values of handles, and the addresses of
// the stack and the heap.
struct Run {
    const Session *session;
    DWORD startTick;
    unsigned variation;
    int textFrom = 0, textTo = 0;  // the ticks whose trace comes back as text
    bool endAfterText = false;     // the run ends once past them: only their text is wanted
};

// Runs each in a process of its own, as many at once as there are cores; the results in order.
// A session whose simulated time stands still for hangSeconds of its processor time has hung.
std::vector<SessionResult> RunSessions(const std::vector<Run> &runs, int hangSeconds);

// ---------------------------------------------------------------------------------------------
// Inside a session's process

// Puts the effect's compiled resources into the simulated module (after each sim::Reset); false
// when they cannot be read.
bool AddEffectResources();
// The session itself: the world set up, the saver run, the effect watched throughout.
void RunSessionHere(const Run &run);
// Watches the effect from before the program starts; reports through Report().
void StartWatching(const Session &session);
// At the program's end: what only the whole session shows.
void FinishWatching(bool ended);
void Report(int rule, const std::string &where, const std::string &seen);
// The session's script acts as the world does (input, other programs): its calls are not the
// effect's, even when it acts while the effect waits.
void WorldActs(bool acting);
// The framework hands the effect the world (SaverGetTickCount...): the calls it makes for that
// are the framework's.
void FrameworkActs(bool acting);
// The session's world from the run's start on (startTick: the simulated clock's then).
void HandWorld(const SessionWorld &world, DWORD startTick);
// The effect's ticks so far: its WM_TIMER messages and its timer procedures' calls.
int TicksSoFar();
// Those of them in which it drew: an effect of many timers draws in few of its ticks.
int DrawingTicksSoFar();
// Whether the effect's live GDI objects have stayed below their highest over the later half of
// the ticks so far: a session that ends while they still rise cannot tell a cache that fills
// from a leak. (Timers are held to the count they started with, tick by tick.)
bool CountsSettled();
// At the most ticks a session runs: a count still rising is a leak (rule 5). length: the
// session's own.
void CheckCountsSettled(int length);
// The tick or message that the checker is in, as findings name it.
std::string WhereNow();

// Each line of the session's result as it is found, to the parent through the pipe.
void SendLine(char kind, const std::string &text);
// Sends what is pending and ends the session's process, its result complete.
[[noreturn]] void EndSessionHere();

// The trace of the effect's calls (trace.cpp): line is "WHERE: Call(...)", made in tick.
void TraceTicks(int from, int to, bool endAfter);
void TraceLine(int tick, const std::string &line);
void FinishTrace();
// The session's simulated time moves on: it counts as hung only after that many seconds of its
// processor time without this call (RunSessions' hangSeconds).
void SessionMovesOn();

// ---------------------------------------------------------------------------------------------
// Golden traces: the effect's calls in the first ticks of the long sessions.

std::vector<std::string> GoldenTrace(const std::vector<Session> &sessions,
                                     const std::vector<SessionResult> &results, int ticks);
bool WriteGolden(const std::string &path, const std::string &effect,
                 const std::vector<std::string> &trace, int ticks);
// How many ticks a golden file holds; 0 when it cannot be read or says none.
int GoldenTicks(const std::string &path);
// Empty when the file matches the sessions' calls over as many ticks as the file holds; else a
// message naming the first call that differs, both shown.
std::string CompareGolden(const std::string &path, const std::vector<Session> &sessions,
                          const std::vector<SessionResult> &results);

// One section of a golden file: its calls ("tick 3: LineTo(dc#2, 5, 7)") and their line numbers,
// and the ticks the file holds. False when the file cannot be read.
bool GoldenSection(const std::string &path, const std::string &section, std::vector<std::string> *lines,
                   std::vector<int> *numbers, int *ticks);

// ---------------------------------------------------------------------------------------------
// The effect under Wine: its calls in Wine's relay trace, compared with the simulated Win32's.

struct WineRun {
    std::string relay;    // the relay trace (WINEDEBUG=+relay) of the image run full screen
    std::string linkMap;  // the image's link map
    std::vector<std::string> effectObjects;  // the effect's own objects in it ("rings.cpp.obj")
};
// Empty when Wine's calls of the effect in its first ticks are the expected ones, one for one
// ("tick 3: LineTo(dc#2, 5, 7)", as golden traces hold them; "pixels of" lines are not compared);
// else a message naming the first call that differs, both shown. where: how the message names
// the expected side's place ("golden trace FILE:LINE: SESSION"), by index into expected; agreed:
// how many ticks agreed.
std::string CompareWithWine(const WineRun &wine, const std::vector<std::string> &expected, int ticks,
                            const std::function<std::string(size_t)> &where, int *agreed);

std::string Hex(ULONG_PTR value);
// Whether scripts/allowed-imports.txt offers the function (the build reads the list into the
// checker).
bool IsOfferedImport(const std::string &name);
// The system's modules as a saver finds them loaded, each exporting what the list offers from it,
// so that an effect that fetches an offered function by GetProcAddress gets it, as on Windows.
void InstallSystemModules();
// How a trace line about the pixels a transfer took begins, after its place: "pixels of".
#define PIXELS_TRACED "pixels of "
// "pen#5", "the DIB section bitmap#2", "the font ANSI_VAR_FONT", "no bitmap": a GDI object as
// findings name it.
std::string ObjectName(HGDIOBJ object, const char *kind = "object");
const char *MessageName(UINT message);

}  // namespace effect_check
