// The unlock gate: one password check per close request, throttled, and safe against the
// password dialog dispatching the saver window's own messages.
#include "framework/dismiss.h"
#include "password/password.h"
#include "tests/unit/fixture.h"

#include <functional>
#include <string>

namespace {

// The password module as the gate meets it: a verdict, time spent asking, and whatever the
// dialog does meanwhile.
struct Verifier {
    BOOL verdict = FALSE;
    DWORD askingTime = 0;
    std::function<void(HWND)> whileAsking;
    int calls = 0;
    size_t callsRecordedBefore = 0;
    std::vector<DWORD> startTicks;
} verifier;

BOOL WINAPI ScriptedVerifier(HWND window) {
    static bool asking;
    ++verifier.calls;
    if (asking) return verifier.verdict;  // a second dialog over the first: the gate failed
    verifier.callsRecordedBefore = sim::Calls().size();
    verifier.startTicks.push_back(sim::Now());
    asking = true;
    if (verifier.whileAsking) verifier.whileAsking(window);
    asking = false;
    sim::Advance(verifier.askingTime);
    return verifier.verdict;
}

class UnlockGateTest : public SaverTest {
protected:
    HWND window = 0;

    void SetUp() override {
        SaverTest::SetUp();
        verifier = Verifier();
        window = CreateWindowWithProc(SaverDismissProc);
        ASSERT_TRUE(window);
        SaverState.isWin9xFamily = TRUE;
        SaverState.verifyEntry = ScriptedVerifier;
        // The window appeared under the cursor; that mouse move is not this test's input.
        MSG arrival;
        while (PeekMessageA(&arrival, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {}
        sim::ClearCalls();
    }

    // One password check, refused or accepted
    std::vector<ExpectedCall> OneCheck(bool refused) const {
        std::vector<ExpectedCall> calls = {
            {"GetTickCount", {}},
            {"PeekMessageA", {window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD}},
            {"PeekMessageA", {window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD}},
            {"SendMessageA", {window, WM_APP, 0, 0}},
        };
        if (refused) calls.push_back({"SetCursor", {0}});
        calls.push_back({"GetTickCount", {}});
        return calls;
    }
};

TEST_F(UnlockGateTest, WithoutProviderClosesAtOnceWithoutReadingTheClock) {
    SaverState.verifyEntry = nullptr;
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(SaverState.isClosing);
    EXPECT_EQ(NO_CHECK_YET, SaverState.lastVerifyTick);
    EXPECT_EQ(0, sim::CountCalls("GetTickCount"));
    EXPECT_EQ(1, sim::CountCalls("SendMessageA"));  // the close itself
    EXPECT_FALSE(ConfirmUnlock(window));              // nothing more to decide once closing
}

// After the check, the same message posted by another program is not a verify request.
TEST_F(UnlockGateTest, CallSequenceOfOneCheckAndAVerifyRequestPostedAfterIt) {
    for (BOOL verdict : {FALSE, TRUE, 2}) {
        SCOPED_TRACE(verdict);
        SaverState.isClosing = FALSE;
        SaverState.lastVerifyTick = NO_CHECK_YET;
        verifier.verdict = verdict;
        verifier.calls = 0;
        sim::ClearCalls();
        EXPECT_EQ(verdict != FALSE, ConfirmUnlock(window) != FALSE);
        EXPECT_CALLS(sim::Calls(), OneCheck(!verdict));
        EXPECT_EQ(4u, verifier.callsRecordedBefore);  // asked right after the verify request
        EXPECT_EQ(verdict != FALSE, SaverState.isClosing != FALSE);
        EXPECT_FALSE(SaverState.isVerifying);
        EXPECT_FALSE(SaverState.isVerifyRequested);

        const SAVERSTATE before = SaverState;
        sim::Advance(1000);
        sim::ClearCalls();
        PostMessageA(window, WM_APP, 0, 0);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, window, WM_APP, WM_APP, PM_REMOVE));
        DispatchMessageA(&msg);
        EXPECT_EQ(1, verifier.calls);
        EXPECT_CALLS(sim::CallsNamed({"DefWindowProcA"}), {{"DefWindowProcA", {window, WM_APP, 0, 0}}});
        EXPECT_EQ(0, sim::CountCalls("GetTickCount"));
        EXPECT_EQ(before.isVerifyRequested, SaverState.isVerifyRequested);
        EXPECT_EQ(before.isVerifying, SaverState.isVerifying);
        EXPECT_EQ(before.isClosing, SaverState.isClosing);
        EXPECT_EQ(before.lastVerifyTick, SaverState.lastVerifyTick);
    }
}

TEST_F(UnlockGateTest, RefusedCloseKeepsTheWindowHidesTheCursorAndReanchors) {
    SaverState.cursorAnchor = {10, 10};
    sim::PlaceCursor(300, 200);
    SetCursor((HCURSOR)0x77);
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0, sim::CountCalls("DefWindowProcA"));
    EXPECT_EQ(nullptr, (void *)sim::CurrentCursor());
    EXPECT_EQ(300, SaverState.cursorAnchor.x);
    EXPECT_EQ(200, SaverState.cursorAnchor.y);
}

TEST_F(UnlockGateTest, AcceptedCloseDestroysTheWindowAndEndsChecking) {
    verifier.verdict = TRUE;
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(SaverState.isClosing);
    sim::ClearCalls();
    EXPECT_FALSE(ConfirmUnlock(window));
    EXPECT_EQ(1, verifier.calls);
    EXPECT_TRUE(sim::Calls().empty());
}

struct ThrottleRow {
    const char *name;
    DWORD start;       // tick at the first close request
    DWORD askingTime;  // how long the refused first check takes
    DWORD pause;       // from the end of the first check to the second close request
    bool checksAgain;
};

// Two close requests, the first one refused.
const ThrottleRow THROTTLE_TABLE[] = {
    {"199 ms after a long check", 1000, 5000, 199, false},
    {"200 ms after a long check", 1000, 5000, 200, true},
    {"at once", 1000, 0, 0, false},
    {"a minute later", 1000, 0, 60000, true},
    {"199 ms across the wrap", 0xFFFFFF00u, 0xF0, 199, false},
    {"200 ms across the wrap", 0xFFFFFF00u, 0xF0, 200, true},
    {"check started before the wrap, ended after it", 0xFFFFFFF0u, 0x20, 100, false},
    // 0xFFFFFFFF also means "no check yet".
    {"check that ended at 0xFFFFFFFF", 0xFFFFFFF0u, 0x0F, 0, true},
    {"check that ended at 0xFFFFFFFF, 1 ms later", 0xFFFFFFF0u, 0x0F, 1, true},
    {"check that ended at 0", 0xFFFFFFF0u, 0x10, 199, false},
};

TEST_F(UnlockGateTest, ThrottleCountsFromTheEndOfTheLastCheck) {
    for (const ThrottleRow &row : THROTTLE_TABLE) {
        SCOPED_TRACE(row.name);
        SaverState.lastVerifyTick = NO_CHECK_YET;
        verifier = Verifier();
        verifier.askingTime = row.askingTime;
        sim::SetTickCount(row.start);
        EXPECT_FALSE(ConfirmUnlock(window));
        EXPECT_EQ(row.start + row.askingTime, SaverState.lastVerifyTick);
        verifier.askingTime = 0;
        sim::Advance(row.pause);
        sim::ClearCalls();

        EXPECT_FALSE(ConfirmUnlock(window));
        EXPECT_EQ(row.checksAgain ? 2 : 1, verifier.calls);
        if (row.checksAgain) {
            EXPECT_CALLS(sim::Calls(), OneCheck(true));
            EXPECT_EQ(sim::Now(), SaverState.lastVerifyTick);
        } else {
            // A throttled close request
            EXPECT_CALLS(sim::Calls(), {{"GetTickCount", {}}});
            EXPECT_EQ(row.start + row.askingTime, SaverState.lastVerifyTick);
        }
        EXPECT_FALSE(SaverState.isVerifying || SaverState.isClosing);
    }
}

TEST_F(UnlockGateTest, FirstCheckRunsAtAnyTick) {
    for (DWORD tick : {0u, 1u, 199u, 200u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFF38u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(tick);
        SaverState.lastVerifyTick = NO_CHECK_YET;
        verifier.calls = 0;
        sim::SetTickCount(tick);
        ConfirmUnlock(window);
        EXPECT_EQ(1, verifier.calls);
    }
}

// The password dialog runs a modal loop that dispatches the saver window's messages while the
// clock runs: timer ticks, mouse moves, a key, a click and another program's close request.
TEST_F(UnlockGateTest, NestedMessagesDuringACheckNeitherCloseNorCheckAgain) {
    for (BOOL verdict : {FALSE, TRUE}) {
        SCOPED_TRACE(verdict ? "accepted" : "refused");
        SetUp();
        std::vector<sim::Message> pendingWhenAsked;
        BOOL verifyingWhileAsked = FALSE;
        size_t nestedFrom = 0, nestedTo = 0;
        POINT anchorAfterNestedClose = {0, 0};
        verifier.verdict = verdict;
        verifier.whileAsking = [&](HWND owner) {
            pendingWhenAsked = sim::PendingMessages();
            verifyingWhileAsked = SaverState.isVerifying;
            nestedFrom = sim::Calls().size();
            bool done = false;
            sim::After(40, [] { sim::MoveMouseBy(30, 0); });
            sim::After(60, [] { sim::PressKey('P'); });
            sim::After(70, [owner] { PostMessageA(owner, WM_APP, 0, 0); });  // not the gate's
            sim::After(80, [owner] { PostMessageA(owner, WM_CLOSE, 0, 0); });
            sim::After(85, [&] { anchorAfterNestedClose = SaverState.cursorAnchor; });
            sim::After(90, [] { sim::MoveMouseBy(0, 40); });
            sim::After(100, [] { sim::Click(WM_LBUTTONDOWN); });
            sim::After(150, [&done] { done = true; });
            MSG msg;
            while (!done && GetMessageA(&msg, 0, 0, 0)) DispatchMessageA(&msg);
            nestedTo = sim::Calls().size();
        };
        for (WPARAM tick = 1; tick <= 3; ++tick) PostMessageA(window, WM_TIMER, tick, 0);
        SetTimer(window, 9, 25, NULL);
        sim::PlaceCursor(500, 500);
        SaverState.cursorAnchor = {500, 500};
        size_t deliveredBefore = sim::Deliveries().size();
        sim::ClearCalls();

        EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));

        EXPECT_EQ(1, verifier.calls);
        EXPECT_TRUE(verifyingWhileAsked);
        ASSERT_EQ(1u, pendingWhenAsked.size());  // two of the three ticks dropped, oldest first
        EXPECT_EQ((UINT)WM_TIMER, pendingWhenAsked[0].message);
        EXPECT_EQ(3u, pendingWhenAsked[0].wParam);

        int posts = 0, tickReads = 0;
        for (size_t i = nestedFrom; i < nestedTo; ++i) {
            const sim::Call &call = sim::Calls()[i];
            posts += call.name == "PostMessageA";
            tickReads += call.name == "GetTickCount";
            EXPECT_NE("SetCursor", call.name);
        }
        EXPECT_EQ(2, posts);      // the other program's verify and close requests, none of ours
        EXPECT_EQ(0, tickReads);  // the nested close was refused before the throttle

        int nestedCloses = 0, timerTicks = 0, inputs = 0;
        for (size_t i = deliveredBefore; i < sim::Deliveries().size(); ++i) {
            const sim::Delivery &delivery = sim::Deliveries()[i];
            nestedCloses += delivery.message == WM_CLOSE && !delivery.sent;
            timerTicks += delivery.message == WM_TIMER;
            inputs += delivery.message == WM_MOUSEMOVE || delivery.message == WM_KEYDOWN ||
                      delivery.message == WM_LBUTTONDOWN;
        }
        EXPECT_EQ(1, nestedCloses);
        EXPECT_GE(timerTicks, 3);
        EXPECT_EQ(4, inputs);
        EXPECT_EQ(530, anchorAfterNestedClose.x);
        EXPECT_EQ(500, anchorAfterNestedClose.y);

        EXPECT_FALSE(SaverState.isVerifying);
        EXPECT_EQ(verdict, SaverState.isClosing);
        EXPECT_EQ(verdict == FALSE, IsWindow(window) != FALSE);
        EXPECT_EQ(sim::Now(), SaverState.lastVerifyTick);
        EXPECT_EQ(150u, sim::Now() - verifier.startTicks[0]);
    }
}

}  // namespace
