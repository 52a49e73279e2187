// The sessions every effect is put through, each in a process of its own: full screen and
// preview, both platform families, with and without a password, thousands of ticks, then every
// input that ends a saver, in turn.
#include "effect_check/effect_check.h"
#include "framework/saver_state.h"
#include "settings/settings.h"
#include "startup/modes.h"

#include <alloca.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace effect_check {

#define SCREEN_WIDTH 1024
#define SCREEN_HEIGHT 768
#define PREVIEW_WIDTH 152
#define PREVIEW_HEIGHT 112
#define INPUT_TICKS 20              // ticks before an input, in the sessions of one input
#define DRIVE_INTERVAL 50           // ms between the script's looks at the session
#define NO_TICKS_DEADLINE 600000    // ms without a tick: an effect without a timer gets its input anyway
#define MAX_LENGTH_FACTOR 4         // a long session goes on to at most this many times its length,
#define MIN_MAX_LENGTH 1000         // and to this many ticks at least: a cache takes its time to fill
#define MOST_TICKS_FACTOR 16        // and its ticks in all to this many times that, drawn in or not
#define RETRY_AFTER_REFUSAL 300     // ms: the password module refused; the user tries again
#define INPUT_TO_END 10000          // ms a saver may take to end after its input
#define MONITOR_OFF 2               // SC_MONITORPOWER's lParam
#define MONITOR_ON -1
// What another variation of a run takes before the saver starts, per variation: bytes of stack,
// and blocks from the heap's small ones and from its large (mapped) ones.
#define CURSOR_X (SCREEN_WIDTH / 3)
#define CURSOR_Y (SCREEN_HEIGHT / 3)
#define CURSOR_VARIATION 37  // pixels right and down, per variation
#define STACK_VARIATION 1360
#define SMALL_BLOCK_VARIATION 3000
#define LARGE_BLOCK_VARIATION (1 << 20)

namespace {

// Every input that ends a full-screen saver, as the sessions name it.
struct InputRow {
    Input input;
    const char *name;
    bool win9xOnly;       // the shell asks only the 95 family's saver
    bool fullScreenOnly;  // a preview child never gets it: Alt+F4 closes the top-level window
};
const InputRow INPUTS[] = {
    {Input::Key, "a key", false, false},
    {Input::SystemKey, "a system key", false, false},
    {Input::LeftButton, "the left button", false, false},
    {Input::RightButton, "the right button", false, false},
    {Input::MiddleButton, "the middle button", false, false},
    {Input::MouseMove, "a mouse move of 5 pixels", false, false},
    {Input::OtherApplication, "another application activated", false, false},
    {Input::PowerBroadcast, "WM_POWERBROADCAST", false, false},
    {Input::CriticalResume, "WM_POWER (critical resume)", false, false},
    {Input::AutoPlayQuery, "QueryCancelAutoPlay", true, false},
    {Input::CloseCommand, "Alt+F4 (WM_SYSCOMMAND SC_CLOSE)", false, true},
};
const size_t INPUT_COUNT = sizeof INPUTS / sizeof INPUTS[0];

const char *InputName(Input input) {
    for (const InputRow &row : INPUTS)
        if (row.input == input) return row.name;
    return "its inputs";
}

}  // namespace

namespace {

struct SettingsRow {
    Settings settings;
    const char *name;
};
const SettingsRow SETTINGS_CONFIGURATIONS[] = {
    {Settings::Minimum, "every setting at its minimum"},
    {Settings::Maximum, "every setting at its maximum"},
    {Settings::Wrong, "every stored setting wrong"},
};

// An effect with settings: each long session again in every other configuration, right after it.
std::vector<Session> WithEverySettingsConfiguration(const std::vector<Session> &sessions) {
    if (SettingCount(&SaverEffectSettings) == 0) return sessions;
    std::vector<Session> configured;
    for (const Session &session : sessions) {
        configured.push_back(session);
        if (!session.isLong) continue;
        for (const SettingsRow &row : SETTINGS_CONFIGURATIONS) {
            configured.push_back(session);
            configured.back().settings = row.settings;
            configured.back().name += std::string(", ") + row.name;
        }
    }
    return configured;
}

// The world of the sessions: the long ones start two seconds before midnight (and the new
// year), noon, and the hour that a 12-hour clock writes 1 after 12, at two seeds that differ in
// every bit; the others at the first of them.
#define SEED_ONE 0x2F6B1D35u
#define SEED_TWO 0xD094E2CAu
const char *const LONG_SESSION_TIMES[] = {"1999-12-31T23:59:58", "1999-12-31T12:59:58", "1999-12-31T11:59:58",
                                          "1999-12-31T23:59:58", "1999-12-31T12:59:58"};
const DWORD LONG_SESSION_SEEDS[] = {SEED_ONE, SEED_TWO, SEED_TWO, SEED_ONE, SEED_ONE};

SessionWorld WorldAt(const char *time, DWORD seed) {
    SessionWorld world = {0, seed};
    ParseSessionTime(time, &world.startTime);
    return world;
}

}  // namespace

std::vector<Session> Sessions(int longTicks) {
    std::vector<Session> sessions = {
        {"full screen 1024 x 768, NT family", false, false, false, longTicks, Input::Key, true},
        {"preview 152 x 112, NT family", true, false, false, longTicks, Input::None, true},
        {"full screen 1024 x 768, 95 family", false, true, false, longTicks, Input::Key, true},
        {"full screen 1024 x 768, 95 family, password", false, true, true, longTicks, Input::Key, true},
        {"preview 152 x 112, 95 family", true, true, false, longTicks, Input::None, true},
    };
    for (size_t i = 0; i < sessions.size(); ++i)
        sessions[i].world = WorldAt(LONG_SESSION_TIMES[i], LONG_SESSION_SEEDS[i]);
    struct Family {
        const char *name;
        bool win9x, password;
    };
    for (Family family : {Family{"NT family", false, false}, Family{"95 family", true, false},
                          Family{"95 family, password", true, true}})
        for (const InputRow &row : INPUTS) {
            if (row.win9xOnly && !family.win9x) continue;
            sessions.push_back({"full screen, " + std::string(family.name) + ", ended by " + row.name, false,
                                family.win9x, family.password, INPUT_TICKS, row.input, false});
            sessions.back().world = sessions.front().world;
        }
    return WithEverySettingsConfiguration(sessions);
}

namespace {

// ---------------------------------------------------------------------------------------------
// The world around the saver in the session's process

const Session *current;
HWND previewParent;
int verifierCalls;
DWORD lastTickTime;  // when the script last saw a new tick
int lastTicks;
bool inputGiven;
bool worldWentOn;

// The password module refuses the first password and accepts the next. Its dialog covered part
// of the saver, which is painted again when it goes.
BOOL WINAPI Verifier(HWND window) {
    sim::Expose(window);
    return ++verifierCalls > 1;
}

void GiveAsTheWorld(Input input) {
    HWND saver = SaverState.mainWindow;
    switch (input) {
    case Input::None:
        break;
    case Input::Key:
        sim::PressKey(VK_SPACE);
        break;
    case Input::SystemKey:
        sim::PressSysKey(VK_MENU);
        break;
    case Input::LeftButton:
        sim::Click(WM_LBUTTONDOWN);
        break;
    case Input::RightButton:
        sim::Click(WM_RBUTTONDOWN);
        break;
    case Input::MiddleButton:
        sim::Click(WM_MBUTTONDOWN);
        break;
    case Input::MouseMove:
        sim::MoveMouseBy(3, 2);
        break;
    case Input::OtherApplication:
        // Given again after a refused password, the saver must have the foreground to lose it.
        if (saver) SetForegroundWindow(saver);
        sim::ActivateOtherApplication();
        break;
    case Input::PowerBroadcast:
        if (saver) SendMessageA(saver, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        break;
    case Input::CriticalResume:
        if (saver) SendMessageA(saver, WM_POWER, PWR_CRITICALRESUME, 0);
        break;
    case Input::AutoPlayQuery:
        if (saver) SendMessageA(saver, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0);
        break;
    case Input::CloseCommand:
        // What the default procedure posts for Alt+F4.
        if (saver) PostMessageA(saver, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

void Give(Input input) {
    WorldActs(true);
    GiveAsTheWorld(input);
    WorldActs(false);
}

// Halfway through a long session the world goes on around the saver, as it does on Windows: the
// mouse is nudged by less than wakes the saver; the system turns the monitor off and on again and
// asks the foreground window to start the screen saver; something that covered the saver goes.
void WorldGoesOn() {
    HWND saver = SaverState.mainWindow;
    WorldActs(true);
    sim::MoveMouseBy(1, 0);
    if (saver && !current->preview) {
        SendMessageA(saver, WM_SYSCOMMAND, SC_MONITORPOWER, MONITOR_OFF);
        SendMessageA(saver, WM_SYSCOMMAND, SC_MONITORPOWER, MONITOR_ON);
        SendMessageA(saver, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    }
    if (saver) sim::Expose(saver);
    WorldActs(false);
}

// The preview: every input in turn, which it must take without ending, then its parent goes.
void GiveEveryInputThenCloseParent(size_t next) {
    while (next < INPUT_COUNT && INPUTS[next].fullScreenOnly) ++next;
    if (next < INPUT_COUNT) {
        Give(INPUTS[next].input);
        sim::After(DRIVE_INTERVAL, [next] { GiveEveryInputThenCloseParent(next + 1); });
        return;
    }
    WorldActs(true);
    sim::DestroyForeignWindow(previewParent);
    WorldActs(false);
}

// A long session goes on past its length while the effect's live GDI objects still rise, until
// they have stayed below their highest for the later half of the session: an object made when
// first needed, late, or a cache that fills as it is used, settles; a leak never does.
int MostTicks() {
    return current->isLong ? std::max(MAX_LENGTH_FACTOR * current->ticks, MIN_MAX_LENGTH) : current->ticks;
}

// A long session's length counts the ticks the effect draws in: an effect of a timer per sprite
// draws in one tick of many, and is drawn as often as an effect of one timer. An effect that drew
// in none of its first ticks is measured in ticks, as one that draws too rarely ends in time.
int SessionLength() {
    int ticks = TicksSoFar(), drawn = DrawingTicksSoFar();
    if (!current->isLong || (drawn == 0 && ticks >= current->ticks)) return ticks;
    return ticks >= MOST_TICKS_FACTOR * MostTicks() ? MostTicks() : drawn;
}

bool LongEnough() {
    int length = SessionLength();
    return TicksSoFar() >= current->ticks && length >= current->ticks &&
           (!current->isLong || CountsSettled() || length >= MostTicks());
}

void GiveInput() {
    // Counts still rising after all those ticks are a leak; a session whose ticks stopped before
    // cannot tell.
    if (current->isLong && SessionLength() >= MostTicks()) CheckCountsSettled(current->ticks);
    inputGiven = true;
    sim::StopAfter(INPUT_TO_END);
    if (current->preview) {
        GiveEveryInputThenCloseParent(0);
        return;
    }
    Give(current->input);
    // Refused once, the password is given again after the module's pause.
    if (current->password) sim::After(RETRY_AFTER_REFUSAL, [] { Give(current->input); });
}

void Drive() {
    if (inputGiven) return;
    SessionMovesOn();
    if (current->isLong && !worldWentOn && TicksSoFar() >= current->ticks / 2) {
        worldWentOn = true;
        WorldGoesOn();
    }
    if (TicksSoFar() != lastTicks) {
        lastTicks = TicksSoFar();
        lastTickTime = sim::Now();
    }
    if (LongEnough() || sim::Now() - lastTickTime >= NO_TICKS_DEADLINE) {
        GiveInput();
        return;
    }
    sim::After(DRIVE_INTERVAL, Drive);
}

// The largest value a row allows: its maximum, or the last step before it.
DWORD LargestSetting(const SAVERSETTING &row) {
    DWORD steps = ((DWORD)row.maximum - (DWORD)row.minimum) / (DWORD)SettingStep(&row);
    return (DWORD)row.minimum + steps * (DWORD)SettingStep(&row);
}

void StoreSetting(const SAVERSETTING &row, DWORD type, const void *data, DWORD size) {
    sim::SetRegistryValue(HKEY_CURRENT_USER, SaverEffectSettings.keyName, row.valueName, type, data, size);
}

// Each row wrong in one of three ways, in turn: another type, out of range, too long.
void StoreWrongSetting(const SAVERSETTING &row, int index) {
    static const char TEXT[] = "1";
    DWORD outOfRange = row.maximum < 0x7FFFFFFF ? (DWORD)row.maximum + 1 : (DWORD)row.minimum - 1;
    DWORD tooLong[2] = {row.defaultValue, 0};
    switch (index % 3) {
    case 0:
        StoreSetting(row, REG_SZ, TEXT, sizeof TEXT);
        break;
    case 1:
        StoreSetting(row, REG_DWORD, &outOfRange, sizeof outOfRange);
        break;
    case 2:
        StoreSetting(row, REG_DWORD, tooLong, sizeof tooLong);
        break;
    }
}

// Where the framework reads the effect's settings, before the saver window exists.
void StoreSettings(Settings settings) {
    for (int i = 0; i < SettingCount(&SaverEffectSettings); ++i) {
        const SAVERSETTING &row = SaverEffectSettings.rows[i];
        DWORD value = settings == Settings::Minimum ? (DWORD)row.minimum : LargestSetting(row);
        if (settings == Settings::Wrong)
            StoreWrongSetting(row, i);
        else if (settings != Settings::Defaults)
            StoreSetting(row, REG_DWORD, &value, sizeof value);
    }
}

void SetUpWorld(const Session &session, DWORD startTick, unsigned variation) {
    current = &session;
    verifierCalls = 0;
    inputGiven = false;
    worldWentOn = false;
    sim::Reset(variation);
    InstallSystemModules();
    AddEffectResources();
    StoreSettings(session.settings);
    sim::SetTickCount(startTick);
    lastTickTime = startTick;
    lastTicks = 0;
    sim::SetFamily(session.win9x ? sim::Family::Win9x : sim::Family::Nt);
    sim::SetScreen({0, 0, SCREEN_WIDTH, SCREEN_HEIGHT});
    HandWorld(session.world, startTick);
    if (session.password) {
        sim::SetRegistryDword(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword", 1);
        sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)Verifier}});
    }
    // The cursor lies elsewhere in another variation: an effect that reads it cannot draw the same.
    sim::PlaceCursor(CURSOR_X + CURSOR_VARIATION * (int)variation, CURSOR_Y + CURSOR_VARIATION * (int)variation);
    char line[64];
    if (session.preview) {
        // Where the user's mouse went to look at the preview; the same in every variation.
        LONG left = CURSOR_X - PREVIEW_WIDTH / 2, top = CURSOR_Y - PREVIEW_HEIGHT / 2;
        RECT place = {left, top, left + PREVIEW_WIDTH, top + PREVIEW_HEIGHT};
        previewParent = sim::CreateForeignWindow("Preview", "", place);
        snprintf(line, sizeof line, "saver.scr /p %lu", (unsigned long)(ULONG_PTR)previewParent);
    } else {
        snprintf(line, sizeof line, "saver.scr /s");
    }
    sim::SetCommandLine(line);
    sim::After(DRIVE_INTERVAL, Drive);
}


// Runs the session; false when the program did not end.
bool RunWorld(const Session &session, LONG *exitCode) {
    try {
        UINT code = sim::RunProgram(SaverMain);
        *exitCode = (LONG)code;
        return code != sim::RETURNED_WITHOUT_EXIT;
    } catch (const sim::RunStopped &) {
    } catch (const sim::WaitsForever &) {
    }
    std::string after = inputGiven ? "still running " + std::to_string(INPUT_TO_END / 1000) + " s after " +
                                         InputName(session.input)
                                   : "waiting for nothing before its input";
    Report(PASSES_EVERY_MESSAGE_ON, WhereNow(), "the saver did not end: " + after);
    return false;
}

void RunSession(const Session &session, DWORD startTick, unsigned variation) {
    SetUpWorld(session, startTick, variation);
    StartWatching(session);
    LONG code = 0;
    bool ended = RunWorld(session, &code);
    if (ended && code != 0)
        Report(PASSES_EVERY_MESSAGE_ON, WhereNow(), "the saver ended with exit code " + std::to_string(code) + ", not 0");
    FinishWatching(ended);
    SendLine('E', ended ? "exit code " + std::to_string(code) : "did not end");
}

}  // namespace

// Another variation runs the session with more of the stack in use and other blocks taken from
// the heap first: the effect's local variables, and the memory handed to it, lie elsewhere.
void RunSessionHere(const Run &run) {
    std::unique_ptr<char[]> smallBlock(new char[SMALL_BLOCK_VARIATION * run.variation + 1]);
    std::unique_ptr<char[]> largeBlock(new char[LARGE_BLOCK_VARIATION * run.variation + 1]);
    size_t stackBytes = STACK_VARIATION * run.variation + 1;
    volatile char *stack = (volatile char *)alloca(stackBytes);
    // Written, so that none of the three is left out.
    ((volatile char *)smallBlock.get())[0] = ((volatile char *)largeBlock.get())[0] = stack[stackBytes - 1] = 0;
    TraceTicks(run.textFrom, run.textTo, run.endAfterText);
    RunSession(*run.session, run.startTick, run.variation);
}

}  // namespace effect_check
