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

void CALLBACK RecordingTimerProc(HWND, UINT, UINT_PTR, DWORD) { seen.push_back(WM_TIMER); }

TEST_F(SimulatorTest, DeliveriesAreObservedRightAroundTheProcedureThatRuns) {
    std::vector<std::string> observed;
    sim::ObserveDeliveries([&](const sim::Delivery &delivery, bool entering) {
        observed.push_back(std::string(entering ? "enter " : "leave ") +
                           (delivery.timerProc ? "timer procedure" : "window procedure") + " " +
                           std::to_string(delivery.wParam) + ", " + std::to_string(seen.size()) + " seen");
    });
    SendMessageA(window, WM_USER, 2, 0);
    ASSERT_TRUE(SetTimer(window, 7, 10, RecordingTimerProc));
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, 0, 0, 0));
    DispatchMessageA(&msg);
    const std::vector<std::string> expected = {
        "enter window procedure 2, 0 seen", "enter window procedure 3, 1 seen",
        "leave window procedure 3, 2 seen", "leave window procedure 2, 2 seen",
        "enter timer procedure 7, 2 seen",  "leave timer procedure 7, 3 seen",
    };
    EXPECT_EQ(expected, observed);
}

TEST_F(SimulatorTest, AnObjectDeletedWhileSelectedLivesUntilSelectedOut) {
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    const struct {
        const char *kind;
        HDC dc;
        HGDIOBJ object;
    } cases[] = {
        {"pen", screen, CreatePen(PS_DOT, 1, RGB(1, 2, 3))},
        {"brush", screen, CreateHatchBrush(HS_CROSS, RGB(1, 2, 3))},
        {"bitmap", memory, CreateCompatibleBitmap(screen, 8, 8)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.kind);
        int live = sim::LiveGdiObjects();
        HGDIOBJ before = SelectObject(c.dc, c.object);
        ASSERT_TRUE(before);
        EXPECT_TRUE(DeleteObject(c.object));
        EXPECT_EQ(live, sim::LiveGdiObjects());
        EXPECT_EQ(c.object, SelectObject(c.dc, before));
        EXPECT_EQ(live - 1, sim::LiveGdiObjects());
        EXPECT_EQ(c.kind, sim::GdiObjectFactsOf(c.object).kind);
    }
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_EQ(0, sim::LiveGdiObjects());
}

void Line(HDC dc, int width, POINT from, POINT to) {
    HGDIOBJ kept = SelectObject(dc, CreatePen(PS_SOLID, width, 0));
    MoveToEx(dc, from.x, from.y, NULL);
    LineTo(dc, to.x, to.y);
    DeleteObject(SelectObject(dc, kept));
}

TEST_F(SimulatorTest, ALineTouchesAnAreaWhereItCrossesItNotWhereItsBoxDoes) {
    HDC dc = GetDC(window);
    const struct {
        const char *drawn;
        void (*draw)(HDC);
        RECT area;
        bool touches;
    } cases[] = {
        {"a line that passes below the area", [](HDC dc) { Line(dc, 1, {500, 400}, {41, 467}); },
         {0, 0, 152, 112}, false},
        {"a line across the area's corner", [](HDC dc) { Line(dc, 1, {0, 200}, {200, 0}); },
         {90, 90, 110, 110}, true},
        {"a thin line 4 pixels off", [](HDC dc) { Line(dc, 1, {0, 20}, {100, 20}); }, {0, 0, 100, 17}, false},
        {"a 9 pixels wide line 4 pixels off", [](HDC dc) { Line(dc, 9, {0, 20}, {100, 20}); },
         {0, 0, 100, 17}, true},
        {"a polyline round the area",
         [](HDC dc) {
             POINT points[] = {{0, 0}, {100, 0}, {100, 100}};
             Polyline(dc, points, 3);
         },
         {10, 60, 40, 90}, false},
        {"a rectangle with a null pen and a hollow brush",
         [](HDC dc) {
             SelectObject(dc, GetStockObject(NULL_PEN));
             SelectObject(dc, GetStockObject(NULL_BRUSH));
             Rectangle(dc, 0, 0, 10, 10);
         },
         {0, 0, 10, 10}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.drawn);
        c.draw(dc);
        EXPECT_EQ(c.touches, sim::Touches(sim::Drawing(window).back(), c.area));
    }
}

// What a window hears from its creation to its first paint, and at a click, in the order Wine
// sends it: a top-level window is activated and painted as it is shown; a child waits for its
// first paint, and a click asks it first whether it may be activated.
TEST_F(SimulatorTest, AWindowHearsThePlatformFromItsCreationToItsFirstPaintAndAtAClick) {
    struct {
        bool child;
        std::vector<UINT> created, clicked;
    } cases[] = {
        {false,
         {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_GETICON,
          WM_GETICON, WM_QUERYNEWPALETTE, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE, WM_IME_SETCONTEXT, WM_SETFOCUS,
          WM_NCPAINT, WM_ERASEBKGND, WM_WINDOWPOSCHANGED, WM_PAINT},
         {WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONDOWN, WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP}},
        {true,
         {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING,
          WM_WINDOWPOSCHANGED, WM_PAINT, WM_NCPAINT, WM_ERASEBKGND},
         {WM_NCHITTEST, WM_MOUSEACTIVATE, WM_SETCURSOR, WM_LBUTTONDOWN, WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP}},
    };
    auto dispatchAll = [] {
        MSG msg;
        while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.child ? "child" : "top-level");
        SetUp();
        DestroyWindow(window);  // alone: every top-level window of the program hears WM_ACTIVATEAPP
        seen.clear();
        HWND parent = c.child ? sim::CreateForeignWindow("Parent", "", {100, 100, 300, 300}) : 0;
        sim::PlaceCursor(500, 500);
        HWND shown = CreateWindowExA(0, "Probe", "", (c.child ? WS_CHILD : WS_POPUP) | WS_VISIBLE, 0, 0, 50, 50,
                                     parent, 0, 0, 0);
        dispatchAll();
        EXPECT_EQ(c.created, seen);
        seen.clear();
        sim::PlaceCursor(c.child ? 120 : 20, c.child ? 120 : 20);
        sim::Click(WM_LBUTTONDOWN);
        dispatchAll();
        EXPECT_EQ(c.clicked, seen);
        EXPECT_EQ(shown, sim::Deliveries().back().window);
    }
}

void ExitWithSeven() { ExitProcess(7); }

TEST_F(SimulatorTest, AWholeProgramRunsToItsExitCode) {
    EXPECT_EQ(7u, sim::RunProgram(ExitWithSeven));
}

}  // namespace
