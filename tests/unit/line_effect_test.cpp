// The random line effect: what each tick draws, when the window is cleared, what a tick leaves
// behind, and that every message still reaches the dismissal policy.
#include "tests/unit/fixture.h"

#include <cstdio>
#include <string>

namespace {

struct Line {
    int x, y, red, green, blue, width;
};

// The opening of every run.
const Line firstLines[] = {{41, 467, 190, 132, 225, 1}, {978, 858, 82, 144, 73, 2}, {781, 327, 233, 235, 179, 2}};

// One text per drawing operation, so that whole runs compare at once and a difference reads.
std::vector<std::string> Trace(HWND window) {
    std::vector<std::string> trace;
    char text[96];
    for (const sim::DrawOp &op : sim::Drawing(window)) {
        if (op.kind == sim::DrawOp::Line)
            snprintf(text, sizeof text, "line %ld,%ld-%ld,%ld style %u width %d colour %06lx", (long)op.from.x,
                     (long)op.from.y, (long)op.to.x, (long)op.to.y, op.penStyle, op.penWidth, (unsigned long)op.penColor);
        else
            snprintf(text, sizeof text, "fill %ld,%ld,%ld,%ld rop %lx", (long)op.rect.left, (long)op.rect.top,
                     (long)op.rect.right, (long)op.rect.bottom, (unsigned long)op.rop);
        trace.push_back(text);
    }
    return trace;
}

class LineEffectTest : public SaverTest {
protected:
    HWND window = 0;
    HDC dc = 0;
    HPEN ownPen = 0;  // what the window's own device context holds before the effect draws

    void SetUp() override {
        SaverTest::SetUp();
        window = CreateWindowWithProc(LineEffectProc);
        ASSERT_TRUE(window);
        ownPen = CreatePen(PS_DASH, 3, RGB(1, 2, 3));
        dc = GetDC(window);
        SelectObject(dc, ownPen);
        ReleaseDC(window, dc);
        sim::ClearCalls();
    }

    static void Tick(HWND target, int ticks = 1) {
        for (int i = 0; i < ticks; ++i) LineEffectProc(target, WM_TIMER, LINE_TIMER_ID, 0);
    }

    // A child of the size of the platform's preview box.
    static HWND CreatePreviewWindow() {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
        windowClass.lpfnWndProc = LineEffectProc;
        windowClass.lpszClassName = "PreviewProbe";
        if (!RegisterClassA(&windowClass)) return 0;
        HWND parent = sim::CreateForeignWindow("PreviewParent", "", {0, 0, 152, 112});
        return CreateWindowExA(0, "PreviewProbe", "", WS_CHILD | WS_VISIBLE, 0, 0, 152, 112, parent, 0,
                               sim::ProgramInstance(), 0);
    }
};

TEST_F(LineEffectTest, GeneratorOpensWithTheKnownSequence) {
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724}) EXPECT_EQ(expected, NextRandom());
}

TEST_F(LineEffectTest, FirstLinesRunFromTheFixedPointWithTheirColourAndWidth) {
    Tick(window, 3);
    std::vector<sim::DrawOp> lines = sim::Lines(window);
    ASSERT_EQ(3u, lines.size());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Line &want = firstLines[i];
        EXPECT_EQ(500, lines[i].from.x);
        EXPECT_EQ(400, lines[i].from.y);
        EXPECT_EQ(want.x, lines[i].to.x);
        EXPECT_EQ(want.y, lines[i].to.y);
        EXPECT_EQ((UINT)PS_SOLID, lines[i].penStyle);
        EXPECT_EQ(want.width, lines[i].penWidth);
        EXPECT_EQ(RGB(want.red, want.green, want.blue), lines[i].penColor);
    }
    EXPECT_EQ(0xE184BEu, lines[0].penColor);
}

TEST_F(LineEffectTest, CreationStartsTheTimerAndCapturesTheClientArea) {
    sim::ClearCalls();
    HWND second = CreateWindowWithProc(LineEffectProc);
    // Creating the window
    EXPECT_CALLS(sim::CallsNamed({"SetTimer", "GetClientRect"}),
                 {{"SetTimer", {second, LINE_TIMER_ID, 0, nullptr}}, {"GetClientRect", {second}}});
    EXPECT_EQ(0, EffectState.clientRect.left);
    EXPECT_EQ(0, EffectState.clientRect.top);
    EXPECT_EQ(640, EffectState.clientRect.right);
    EXPECT_EQ(480, EffectState.clientRect.bottom);
}

TEST_F(LineEffectTest, DestructionAsksForTheEndOfTheLoop) {
    DestroyWindow(window);
    EXPECT_CALLS(sim::CallsNamed({"PostQuitMessage"}), {{"PostQuitMessage", {0}}});
}

TEST_F(LineEffectTest, TickUsesOnePenAndHandsTheDeviceContextBackAsFound) {
    Tick(window);
    ASSERT_GE(sim::CallsNamed({"SelectObject"}).size(), 1u);
    HGDIOBJ pen = (HGDIOBJ)sim::CallsNamed({"SelectObject"})[0].args[1].value;
    EXPECT_NE((HGDIOBJ)ownPen, pen);
    // The first tick
    EXPECT_CALLS(sim::Calls(), {{"GetDC", {window}},
                                {"CreatePen", {PS_SOLID, 1, RGB(190, 132, 225)}},
                                {"SelectObject", {dc, pen}},
                                {"MoveToEx", {dc, 500, 400}},
                                {"LineTo", {dc, 41, 467}},
                                {"SelectObject", {dc, ownPen}},
                                {"DeleteObject", {pen}},
                                {"ReleaseDC", {window, dc}},
                                {"DefWindowProcA", {window, WM_TIMER, LINE_TIMER_ID, 0}}});
    // The previous position is asked for, though never used.
    EXPECT_NE(0u, sim::CallsNamed({"MoveToEx"})[0].args[3].value);

    Tick(window, 499);
    sim::ClearCalls();
    Tick(window);
    // The 501st tick since the last clear: the line it draws is wiped with the rest
    EXPECT_CALLS(sim::Calls(), {{"GetDC", {window}},
                                {"CreatePen", {PS_SOLID}},
                                {"SelectObject", {dc}},
                                {"MoveToEx", {dc, 500, 400}},
                                {"LineTo", {dc}},
                                {"PatBlt", {dc, 0, 0, 640, 480, BLACKNESS}},
                                {"SelectObject", {dc, ownPen}},
                                {"DeleteObject", {}},
                                {"ReleaseDC", {window, dc}},
                                {"DefWindowProcA", {window, WM_TIMER, LINE_TIMER_ID, 0}}});
}

TEST_F(LineEffectTest, EveryFiveHundredAndFirstLineClearsAndTheCountStartsAgain) {
    Tick(window, 500);
    EXPECT_EQ(500u, sim::Drawing(window).size());
    EXPECT_EQ(500, EffectState.linesSinceClear);

    Tick(window);
    std::vector<sim::DrawOp> drawing = sim::Drawing(window);
    ASSERT_EQ(502u, drawing.size());
    EXPECT_EQ(sim::DrawOp::Line, drawing[500].kind);
    EXPECT_EQ(sim::DrawOp::Fill, drawing[501].kind);
    EXPECT_EQ(0, drawing[501].rect.left);
    EXPECT_EQ(0, drawing[501].rect.top);
    EXPECT_EQ(640, drawing[501].rect.right);
    EXPECT_EQ(480, drawing[501].rect.bottom);
    EXPECT_EQ((DWORD)BLACKNESS, drawing[501].rop);
    EXPECT_EQ(0, EffectState.linesSinceClear);

    Tick(window, 500);
    EXPECT_EQ(1002u, sim::Drawing(window).size());
    Tick(window);
    EXPECT_EQ(1004u, sim::Drawing(window).size());
    EXPECT_EQ(sim::DrawOp::Fill, sim::Drawing(window).back().kind);
}

TEST_F(LineEffectTest, EveryRunDrawsTheSameLinesWhateverTheClock) {
    Tick(window, 600);
    std::vector<std::string> firstRun = Trace(window);

    // A second run of the program, started at another time.
    sim::Reset();
    EffectState = EFFECTSTATE();
    sim::SetTickCount(0x7654321);
    HWND again = CreateWindowWithProc(LineEffectProc);
    Tick(again, 600);
    EXPECT_EQ(firstRun, Trace(again));
    EXPECT_EQ("line 500,400-41,467 style 0 width 1 colour e184be", Trace(again)[0]);
}

TEST_F(LineEffectTest, SecondWindowContinuesTheSequenceAndTheCount) {
    Tick(window, 501);
    std::vector<std::string> oneWindow = Trace(window);

    sim::Reset();
    EffectState = EFFECTSTATE();
    HWND first = CreateWindowWithProc(LineEffectProc);
    Tick(first, 300);
    DestroyWindow(first);
    HWND second = CreateWindowWithProc(LineEffectProc);
    Tick(second, 201);
    std::vector<std::string> twoWindows = Trace(first);
    for (const std::string &op : Trace(second)) twoWindows.push_back(op);
    EXPECT_EQ(oneWindow, twoWindows);
}

TEST_F(LineEffectTest, LongRunLeavesNoPenNoDeviceContextAndTheOwnPenInPlace) {
    int objects = sim::LiveGdiObjects();
    int contexts = sim::OpenDeviceContexts();
    for (int i = 0; i < 100; ++i) {
        Tick(window, 1000);
        sim::ClearCalls();  // keeps the record, and the test, small
    }
    EXPECT_EQ(100000 % 501, EffectState.linesSinceClear);
    EXPECT_EQ(objects, sim::LiveGdiObjects());
    EXPECT_EQ(contexts, sim::OpenDeviceContexts());
    EXPECT_EQ((HGDIOBJ)ownPen, sim::OwnDcPen(window));
}

TEST_F(LineEffectTest, FailingCallStillAdvancesTheSequenceAndLeaksNothing) {
    const struct {
        const char *failing;
        const char *drawn;  // the first tick's drawing
    } cases[] = {
        // Without its own pen the line takes the one the device context holds.
        {"CreatePen", "line 500,400-41,467 style 1 width 3 colour 030201"},
        {"GetDC", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failing);
        SetUp();
        int objects = sim::LiveGdiObjects();
        int contexts = sim::OpenDeviceContexts();
        sim::FailCall(c.failing);
        Tick(window, 2);
        std::vector<std::string> trace = Trace(window);
        std::vector<std::string> expected;
        if (c.drawn) expected.push_back(c.drawn);
        expected.push_back("line 500,400-978,858 style 0 width 2 colour 499052");
        EXPECT_EQ(expected, trace);
        EXPECT_EQ(2, EffectState.linesSinceClear);
        EXPECT_EQ(objects, sim::LiveGdiObjects());
        EXPECT_EQ(contexts, sim::OpenDeviceContexts());
        EXPECT_EQ((HGDIOBJ)ownPen, sim::OwnDcPen(window));
    }
}

TEST_F(LineEffectTest, PreviewWindowDrawsTheSameLinesFromOutsideItself) {
    Tick(window, 501);
    std::vector<std::string> fullScreen = Trace(window);

    sim::Reset();
    EffectState = EFFECTSTATE();
    HWND preview = CreatePreviewWindow();
    ASSERT_TRUE(preview);
    Tick(preview, 501);
    std::vector<std::string> inPreview = Trace(preview);
    ASSERT_EQ(502u, inPreview.size());
    EXPECT_EQ("fill 0,0,152,112 rop 42", inPreview.back());
    inPreview.pop_back();
    fullScreen.pop_back();
    EXPECT_EQ(fullScreen, inPreview);
}

TEST_F(LineEffectTest, EveryMessageReachesTheDismissalPolicyAndItsAnswerIsReturned) {
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } messages[] = {
        {WM_CREATE, 0, 0x1234},      {WM_TIMER, LINE_TIMER_ID, 0}, {WM_TIMER, 7, 0x55},
        {WM_DESTROY, 0, 0},          {WM_PAINT, 0, 0},             {WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)},
        {WM_NCHITTEST, 0, 0x00100020}, {WM_KEYUP, 'A', 0x1},        {WM_USER + 7, 0xABCD, -2},
    };
    LRESULT answer = 0x600;
    for (const auto &m : messages) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << m.message);
        sim::SetDefWindowProcAnswer(m.message, ++answer);
        sim::ClearCalls();
        EXPECT_EQ(answer, LineEffectProc(window, m.message, m.wParam, m.lParam));
        EXPECT_CALLS(sim::CallsNamed({"DefWindowProcA"}), {{"DefWindowProcA", {window, m.message, m.wParam, m.lParam}}});
    }

    // Input that the policy turns into a close request
    sim::ClearCalls();
    LineEffectProc(window, WM_KEYDOWN, 'A', 0x1);
    EXPECT_CALLS(sim::CallsNamed({"PostMessageA", "DefWindowProcA"}),
                 {{"PostMessageA", {window, WM_CLOSE, 0, 0}}, {"DefWindowProcA", {window, WM_KEYDOWN, 'A', 0x1}}});

    // A message the policy answers itself
    sim::SetDefWindowProcAnswer(WM_SETCURSOR, 7);
    sim::ClearCalls();
    EXPECT_EQ(1, LineEffectProc(window, WM_SETCURSOR, (WPARAM)window, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(0, sim::CountCalls("DefWindowProcA"));
}

}  // namespace
