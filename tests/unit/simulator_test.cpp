// The simulator's own semantics that the saver's behaviour depends on.
#include "tests/unit/fixture.h"

namespace {

int nestedDepth;
std::vector<UINT> seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_USER && wParam < 3) {
        ++nestedDepth;
        SendMessageA(window, WM_USER, wParam + 1, 0);  // re-enters this procedure at once
    }
    if (message == WM_USER + 1) return (LRESULT)wParam * 2;
    return DefWindowProcA(window, message, wParam, lParam);
}

class SimulatorTest : public SaverTest {
protected:
    HWND window = 0;
    void SetUp() override {
        SaverTest::SetUp();
        nestedDepth = 0;
        seen.clear();
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "Probe";
        ASSERT_TRUE(RegisterClassA(&windowClass));
        window = CreateWindowExA(0, "Probe", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
        ASSERT_TRUE(window);
        seen.clear();
    }
};

TEST_F(SimulatorTest, SendMessageCallsTheProcedureAtOnceAndReEntrantly) {
    EXPECT_EQ(8, SendMessageA(window, WM_USER + 1, 4, 0));
    SendMessageA(window, WM_USER, 0, 0);
    EXPECT_EQ(3, nestedDepth);
    EXPECT_EQ(5u, seen.size());
}

TEST_F(SimulatorTest, PeekMessageFilterTakesOnlyTheMessagesInRange) {
    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(window, WM_TIMER, 7, 0);
    PostMessageA(window, WM_TIMER, 8, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD));
    EXPECT_EQ(7u, msg.wParam);
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_EQ(8u, msg.wParam);
    std::vector<sim::Message> pending = sim::PendingMessages();
    ASSERT_EQ(2u, pending.size());
    EXPECT_EQ((UINT)WM_USER, pending[0].message);
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_PAINT, WM_PAINT, PM_REMOVE));
}

TEST_F(SimulatorTest, TimersFireOnlyWhenNothingElseWaits) {
    ASSERT_TRUE(SetTimer(window, 1, 0, NULL));  // raised to the platform's minimum, 10 ms
    sim::Advance(25);
    PostMessageA(window, WM_USER + 2, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_USER + 2, msg.message);
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, msg.message);  // one tick however many intervals passed
    DWORD before = sim::Now();
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, msg.message);
    EXPECT_EQ(before + USER_TIMER_MINIMUM, sim::Now());
}

TEST_F(SimulatorTest, ClockAndScriptWorkAcrossTheWrap) {
    sim::SetTickCount(0xFFFFFFF0u);
    bool ran = false;
    sim::After(0x20, [&] { ran = true; });
    SetTimer(window, 1, 100, NULL);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));  // the event runs at the wrap, the timer after it
    EXPECT_TRUE(ran);
    EXPECT_EQ((UINT)WM_TIMER, msg.message);
    EXPECT_EQ(0xFFFFFFF0u + 100u, GetTickCount());
}

TEST_F(SimulatorTest, AWaitForNothingEndsTheRun) {
    MSG msg;
    EXPECT_THROW(GetMessageA(&msg, 0, 0, 0), sim::WaitsForever);
    SetTimer(window, 1, 10, NULL);
    sim::StopAfter(5);
    EXPECT_THROW(GetMessageA(&msg, 0, 0, 0), sim::RunStopped);
}

TEST_F(SimulatorTest, QuitComesAfterPostedMessagesAndBeforeInput) {
    sim::PressKey('K');
    PostQuitMessage(3);
    PostMessageA(window, WM_USER + 2, 0, 0);
    MSG msg;
    EXPECT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_USER + 2, msg.message);
    EXPECT_FALSE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_TRUE(GetMessageA(&msg, 0, 0, 0));
    EXPECT_EQ((UINT)WM_KEYDOWN, msg.message);
}

TEST_F(SimulatorTest, TheNthCallOfAnyFunctionCanBeMadeToFail) {
    sim::FailCall("IsWindow", 2);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindow(window));
}

void ExitWithSeven() { ExitProcess(7); }

TEST_F(SimulatorTest, AWholeProgramRunsToItsExitCode) {
    EXPECT_EQ(7u, sim::RunProgram(ExitWithSeven));
}

}  // namespace
