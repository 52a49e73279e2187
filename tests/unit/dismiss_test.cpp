// Which messages end the saver, how much mouse drift it tolerates, and what it answers.
#include "framework/dismiss.h"
#include "startup/modes.h"
#include "tests/unit/fixture.h"

#include <climits>
#include <string>

namespace {

int verifierCalls;
BOOL WINAPI VerifierAnsweringSeven(HWND) {
    ++verifierCalls;
    return 7;
}

enum class Mode { FullScreen, Preview, Closing, Verifying };
const char *const MODE_NAMES[] = {"full screen", "preview", "closing", "verifying"};

const LRESULT DEFAULT_ANSWER = 0x5A;

class DismissTest : public SaverTest {
protected:
    HWND window = 0;

    void SetUp() override {
        SaverTest::SetUp();
        verifierCalls = 0;
        window = CreateWindowWithProc(SaverDismissProc);
        ASSERT_TRUE(window);
        sim::ClearCalls();
    }

    void EnterWin9xFamily(bool withVerifier) {
        SaverState.isWin9xFamily = TRUE;
        SaverState.autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
        SaverState.verifyEntry = withVerifier ? VerifierAnsweringSeven : nullptr;
        sim::ClearCalls();
    }

    void EnterMode(Mode mode) {
        SaverState.isPreview = mode == Mode::Preview;
        SaverState.isClosing = mode == Mode::Closing;
        SaverState.isVerifying = mode == Mode::Verifying;
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SaverDismissProc(window, message, wParam, lParam);
    }

    ExpectedCall CloseRequest() const { return {"PostMessageA", {window, WM_CLOSE, 0, 0}}; }
};

struct MessageRow {
    UINT message;
    WPARAM wParam;
    bool closes;
    bool hidesCursor;
    bool consumed;  // answered 1 without DefWindowProcA
};

// The saver rules, message by message; with the cursor 20 pixels from its anchor for the mouse.
const MessageRow MESSAGE_TABLE[] = {
    {WM_SHOWWINDOW, TRUE, false, true, false},
    {WM_SHOWWINDOW, FALSE, false, false, false},
    {WM_ACTIVATEAPP, 0, true, false, false},
    {WM_ACTIVATEAPP, 1, false, false, false},
    {WM_SETCURSOR, 0, false, true, true},
    {WM_POWER, 1, false, false, false},
    {WM_POWER, 2, false, false, false},
    {WM_POWER, PWR_CRITICALRESUME, true, false, false},
    {WM_POWERBROADCAST, 0, true, false, false},
    {WM_POWERBROADCAST, 7, true, false, false},
    {WM_POWERBROADCAST, 0x12, true, false, false},
    {WM_POWERBROADCAST, (WPARAM)-1, true, false, false},
    {WM_KEYDOWN, 'A', true, false, false},
    {WM_SYSKEYDOWN, VK_MENU, true, false, false},
    {WM_LBUTTONDOWN, 0, true, false, false},
    {WM_RBUTTONDOWN, 0, true, false, false},
    {WM_MBUTTONDOWN, 0, true, false, false},
    {WM_MOUSEMOVE, 0, true, false, false},
    {WM_KEYUP, 'A', false, false, false},
    {WM_SYSKEYUP, VK_MENU, false, false, false},
    {WM_LBUTTONUP, 0, false, false, false},
    {WM_CHAR, 'a', false, false, false},
    {WM_TIMER, 1, false, false, false},
    {WM_PAINT, 0, false, false, false},
    {WM_NULL, 0, false, false, false},
    {WM_USER, 3, false, false, false},
};

TEST_F(DismissTest, MessageTableOnBothFamiliesAndInEveryState) {
    for (bool win9x : {false, true}) {
        if (win9x) EnterWin9xFamily(false);
        for (Mode mode : {Mode::FullScreen, Mode::Preview, Mode::Closing, Mode::Verifying}) {
            EnterMode(mode);
            for (const MessageRow &row : MESSAGE_TABLE) {
                SCOPED_TRACE(std::string(win9x ? "95 family, " : "NT family, ") +
                             MODE_NAMES[(int)mode] + ", message " + std::to_string(row.message) +
                             ", wParam " + std::to_string(row.wParam));
                SaverState.cursorAnchor = {100, 100};
                sim::PlaceCursor(110, 90);
                sim::SetDefWindowProcAnswer(row.message, DEFAULT_ANSWER);
                sim::ClearCalls();
                LRESULT answer = Send(row.message, row.wParam, MAKELPARAM(100, 100));

                std::vector<ExpectedCall> expected;
                bool rulesApply = mode == Mode::FullScreen;
                if (rulesApply && row.message == WM_MOUSEMOVE) expected.push_back({"GetCursorPos", {}});
                if (rulesApply && row.hidesCursor) expected.push_back({"SetCursor", {0}});
                if (rulesApply && row.closes) expected.push_back(CloseRequest());
                if (!(rulesApply && row.consumed))
                    expected.push_back({"DefWindowProcA", {window, row.message, row.wParam}});
                EXPECT_CALLS(sim::Calls(), expected);
                EXPECT_EQ(rulesApply && row.consumed ? 1 : DEFAULT_ANSWER, answer);
                EXPECT_TRUE(IsWindow(window));
            }
        }
    }
}

struct WakePath {
    const char *name;
    POINT anchor;
    std::vector<POINT> offsets;  // cursor positions, relative to the first anchor
    const char *fires;           // one letter per move: x posts a close request
    POINT finalAnchor;           // relative to the first anchor
};

const WakePath WAKE_PATHS[] = {
    {"creeping right", {100, 100}, {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}, "....x", {5, 0}},
    {"creeping up", {100, 100}, {{0, -1}, {0, -2}, {0, -3}, {0, -4}, {0, -5}}, "....x", {0, -5}},
    {"three right and back", {100, 100}, {{1, 0}, {2, 0}, {3, 0}, {2, 0}, {1, 0}, {0, 0}}, "......",
     {0, 0}},
    {"four in one jump", {100, 100}, {{-4, 0}, {-2, -2}, {1, 3}}, "...", {0, 0}},
    {"diagonal", {100, 100}, {{2, 2}, {3, 2}}, ".x", {3, 2}},
    {"measured from the new anchor", {100, 100}, {{5, 0}, {9, 0}, {10, 0}, {5, 0}}, "x.xx", {5, 0}},
    {"across the screen origin", {-3, -3}, {{4, 0}, {5, 0}}, ".x", {5, 0}},
    // A distance of 2^32 or more must not wrap to a small one.
    {"across the whole coordinate range", {INT_MIN, 0}, {{-1, 2}}, "x", {-1, 2}},
    {"2^32 - 1 across the range", {INT_MIN, 0}, {{-1, 0}}, "x", {-1, 0}},
    {"exactly 2^32 across the range", {INT_MIN, 0}, {{-1, 1}}, "x", {-1, 1}},
    {"exactly 2^32 across the range, leftwards", {INT_MAX, 0}, {{1, -1}}, "x", {1, -1}},
};

TEST_F(DismissTest, WakeRuleMeasuresTheCursorFromItsAnchor) {
    for (bool win9x : {false, true}) {
        if (win9x) EnterWin9xFamily(true);
        for (const WakePath &path : WAKE_PATHS) {
            SCOPED_TRACE(std::string(win9x ? "95 family, " : "NT family, ") + path.name);
            SaverState.cursorAnchor = path.anchor;
            for (size_t i = 0; i < path.offsets.size(); ++i) {
                sim::PlaceCursor((int)((unsigned)path.anchor.x + (unsigned)path.offsets[i].x),
                                 path.anchor.y + path.offsets[i].y);
                sim::ClearCalls();
                // The message's own coordinates say the mouse went far; only the cursor counts.
                Send(WM_MOUSEMOVE, 0, MAKELPARAM(600, 600));
                EXPECT_EQ(path.fires[i] == 'x' ? 1 : 0, sim::CountCalls("PostMessageA")) << "move " << i;
            }
            POINT expected = {(int)((unsigned)path.anchor.x + (unsigned)path.finalAnchor.x),
                              path.anchor.y + path.finalAnchor.y};
            EXPECT_EQ(expected.x, SaverState.cursorAnchor.x);
            EXPECT_EQ(expected.y, SaverState.cursorAnchor.y);
        }
    }
    EXPECT_EQ(0, verifierCalls);
    EXPECT_EQ(4u, SaverState.wakeDistance);
}

TEST_F(DismissTest, UnreadableCursorCountsAsNotMoved) {
    SaverState.cursorAnchor = {100, 100};
    sim::PlaceCursor(900, 900);
    sim::FailCall("GetCursorPos");
    Send(WM_MOUSEMOVE, 0, MAKELPARAM(900, 900));
    EXPECT_EQ(0, sim::CountCalls("PostMessageA"));
    EXPECT_EQ(100, SaverState.cursorAnchor.x);
    EXPECT_EQ(100, SaverState.cursorAnchor.y);
}

TEST_F(DismissTest, CloseRequestOnTheNtFamilyDestroysTheWindowWithoutACheck) {
    sim::ClearCalls();
    EXPECT_EQ(0, Send(WM_CLOSE));
    EXPECT_FALSE(IsWindow(window));
    // The close goes straight on; what follows is the window's end (hidden, deactivated, destroyed).
    EXPECT_CALLS(sim::CallsNamed({"GetTickCount", "SendMessageA", "PeekMessageA"}), {});
    std::vector<sim::Call> defaults = sim::CallsNamed({"DefWindowProcA"});
    ASSERT_FALSE(defaults.empty());
    std::vector<sim::Call> firstAndLast = {defaults.front(), defaults.back()};
    EXPECT_CALLS(firstAndLast,
                 {{"DefWindowProcA", {window, WM_CLOSE, 0, 0}}, {"DefWindowProcA", {window, WM_NCDESTROY}}});
    EXPECT_FALSE(SaverState.isClosing);
    EXPECT_EQ(NO_CHECK_YET, SaverState.lastVerifyTick);
}

struct VerifyRequestRow {
    const char *name;
    bool win9x;
    bool verifier;
    Mode mode;
    LRESULT answer;
    int verifierCalls;
    bool reachesDefault;
    bool requested = true;  // sent by the unlock gate rather than by anybody else
};

// The verify request, answered by the verifier only where a check can run.
const VerifyRequestRow VERIFY_REQUEST_TABLE[] = {
    {"NT family", false, false, Mode::FullScreen, 0x1234, 0, true},
    {"NT family with an entry", false, true, Mode::FullScreen, 0x1234, 0, true},
    {"95 family without a verifier", true, false, Mode::FullScreen, 1, 0, false},
    {"95 family with a verifier", true, true, Mode::FullScreen, 7, 1, false},
    {"95 family during a check", true, true, Mode::Verifying, 7, 1, false},
    {"95 family in preview", true, false, Mode::Preview, 0x1234, 0, true},
    {"95 family while closing", true, true, Mode::Closing, 0x1234, 0, true},
    {"95 family, not the gate's request", true, true, Mode::FullScreen, 0x1234, 0, true, false},
    {"95 family, not the gate's, during a check", true, true, Mode::Verifying, 0x1234, 0, true, false},
};

TEST_F(DismissTest, VerifyRequestAnswers) {
    sim::SetDefWindowProcAnswer(WM_APP, 0x1234);
    for (const VerifyRequestRow &row : VERIFY_REQUEST_TABLE) {
        SCOPED_TRACE(row.name);
        SaverState = SAVERSTATE();
        if (row.win9x) EnterWin9xFamily(row.verifier);
        SaverState.verifyEntry = row.verifier ? VerifierAnsweringSeven : nullptr;
        EnterMode(row.mode);
        SaverState.isVerifyRequested = row.requested;
        verifierCalls = 0;
        sim::ClearCalls();
        EXPECT_EQ(row.answer, Send(WM_APP));
        EXPECT_FALSE(SaverState.isVerifyRequested && row.verifierCalls);
        EXPECT_EQ(row.verifierCalls, verifierCalls);
        EXPECT_EQ(row.reachesDefault ? 1 : 0, sim::CountCalls("DefWindowProcA"));
        EXPECT_EQ(0, sim::CountCalls("PostMessageA"));
    }
}

TEST_F(DismissTest, AutoPlayQueryClosesAndCancelsAutoPlayOnlyBehindAPassword) {
    for (bool verifier : {false, true}) {
        EnterWin9xFamily(verifier);
        for (Mode mode : {Mode::FullScreen, Mode::Preview, Mode::Closing, Mode::Verifying}) {
            SCOPED_TRACE(std::string(verifier ? "verifier, " : "no verifier, ") + MODE_NAMES[(int)mode]);
            EnterMode(mode);
            sim::ClearCalls();
            EXPECT_EQ(verifier ? 1 : 0, Send(SaverState.autoPlayMessage, 1, 0));
            EXPECT_CALLS(sim::Calls(), {CloseRequest()});
        }
    }
    EXPECT_EQ(0, verifierCalls);
}

TEST_F(DismissTest, WithoutAnAutoPlayNumberNoMessageIsTakenForTheQuery) {
    UINT query = RegisterWindowMessageA("QueryCancelAutoPlay");
    for (UINT message : {query, 0u}) {
        sim::ClearCalls();
        EXPECT_EQ(0, Send(message));
        EXPECT_CALLS(sim::Calls(), {{"DefWindowProcA", {window, message}}});
    }
}

// The record as the whole program leaves it: the mouse moves 7 pixels after 1.5 s.
class SaverStateRunTest : public SaverTest {
protected:
    SAVERSTATE during;

    UINT RunFullScreen(sim::Family family, bool passwordWanted) {
        verifierCalls = 0;
        sim::SetFamily(family);
        sim::SetRegistryDword(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword",
                              passwordWanted);
        sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)VerifierAnsweringSeven}});
        sim::SetCommandLine("saver.scr /s");
        sim::After(1000, [this] { during = SaverState; });
        sim::After(1500, [] { sim::MoveMouseBy(7, 0); });
        sim::StopAfter(60000);
        return sim::RunProgram(SaverMain);
    }
};

TEST_F(SaverStateRunTest, WithoutPasswordNoCheckRunsAndNoClockIsRead) {
    for (sim::Family family : {sim::Family::Nt, sim::Family::Win9x}) {
        bool nt = family == sim::Family::Nt;
        SCOPED_TRACE(nt ? "NT family, password wanted" : "95 family, no password wanted");
        SetUp();
        EXPECT_EQ(0u, RunFullScreen(family, nt));
        for (const SAVERSTATE &state : {during, SaverState}) {
            EXPECT_EQ(nt, state.autoPlayMessage == 0);
            EXPECT_EQ(nullptr, (void *)state.passwordModule);
            EXPECT_EQ(nullptr, (void *)state.verifyEntry);
            EXPECT_EQ(4u, state.wakeDistance);
            EXPECT_EQ(0xFFFFFFFFu, state.lastVerifyTick);
        }
        EXPECT_EQ(!nt, SaverState.isClosing != FALSE);
        EXPECT_EQ(0, verifierCalls);
        // The only reading is the start's, for SaverGetTickCount: the gate reads none.
        EXPECT_EQ(1, sim::CountCalls("GetTickCount"));
    }
}

TEST_F(SaverStateRunTest, Win9xFamilyChecksThePasswordOnceAndKeepsTheWakeDistance) {
    EXPECT_EQ(0u, RunFullScreen(sim::Family::Win9x, true));
    EXPECT_NE(0u, during.autoPlayMessage);
    EXPECT_EQ((void *)VerifierAnsweringSeven, (void *)during.verifyEntry);
    EXPECT_EQ(1, verifierCalls);
    EXPECT_TRUE(SaverState.isClosing);
    EXPECT_EQ(4u, SaverState.wakeDistance);
    EXPECT_EQ(1500u, SaverState.lastVerifyTick);
}

}  // namespace
