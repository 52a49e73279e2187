// Whole runs of the saver window on the simulated machine, from the start to the exit code, with
// the user's input scripted on the clock.
#include "tests/unit/fixture.h"

#include "framework/saver_window.h"

namespace {

const HCURSOR DIALOG_CURSOR = (HCURSOR)(ULONG_PTR)0x50001;

// What the password module saw and what it does: it shows the cursor for its dialog, the user
// leaves the mouse at a new place, and the password is accepted or not.
struct Check {
    HWND window;
    bool runningFlag;
    size_t linesBefore;
};
std::vector<Check> checks;
BOOL verdict;
POINT mouseAfterCheck;

BOOL WINAPI ScriptedVerifier(HWND window) {
    checks.push_back({window, sim::ScreenSaverRunning(), sim::Lines(window).size()});
    SetCursor(DIALOG_CURSOR);
    sim::PlaceCursor(mouseAfterCheck.x, mouseAfterCheck.y);
    return verdict;
}

class SaverSessionTest : public SaverTest {
protected:
    HMODULE passwordModule = 0;

    void SetUp() override {
        SaverTest::SetUp();
        checks.clear();
        verdict = TRUE;
        mouseAfterCheck = {410, 305};
        SaverState.instance = sim::ProgramInstance();
        passwordModule = ProtectWithPassword(ScriptedVerifier);
        sim::PlaceCursor(400, 300);
        sim::StopAfter(60000);
    }

    static void OnWin9x() {
        sim::SetFamily(sim::Family::Win9x);
        SaverState.isWin9xFamily = TRUE;
    }

    // The messages delivered to the saver window from delivery number from on, sent or
    // dispatched alike.
    static std::vector<UINT> DeliveredSince(size_t from) {
        std::vector<UINT> found;
        for (size_t i = from; i < sim::Deliveries().size(); ++i)
            if (sim::Deliveries()[i].window == SaverState.mainWindow) found.push_back(sim::Deliveries()[i].message);
        return found;
    }

    static void ExpectNothingLeft() {
        EXPECT_TRUE(sim::ProgramWindows().empty());
        EXPECT_EQ(0, sim::ModuleReferences("PASSWORD.CPL"));
        EXPECT_FALSE(sim::ScreenSaverRunning());
        EXPECT_EQ(0, sim::OpenDeviceContexts());
        EXPECT_EQ(0, sim::LivePens());
        EXPECT_EQ(0, sim::OpenRegistryKeys());
    }
};

// The mouse moves 4 + 3 = 7 pixels: the move (after the platform's hit test and cursor), the close
// request, the verify request, then the window's end.
const std::vector<UINT> ROAD_TO_CHECK = {WM_NCHITTEST, WM_SETCURSOR, WM_MOUSEMOVE, WM_CLOSE, WM_APP};
// The platform hides the window and takes the foreground and the focus away from it before it
// destroys it.
const std::vector<UINT> WINDOW_ENDS = {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCACTIVATE,
                                       WM_ACTIVATE,          WM_ACTIVATEAPP,      WM_KILLFOCUS,
                                       WM_IME_SETCONTEXT,    WM_DESTROY,          WM_NCDESTROY};

std::vector<UINT> Then(std::vector<UINT> first, const std::vector<UINT> &second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(SaverSessionTest, OnWin9xAMouseMoveAsksForThePasswordAndAcceptanceEndsTheRun) {
    OnWin9x();
    size_t fromMove = 0;
    sim::After(100, [&] {
        fromMove = sim::Deliveries().size();
        sim::ClearCalls();
        sim::MoveMouseBy(4, 3);
    });

    EXPECT_EQ(0, RunSaverWindow(0));
    HWND window = SaverState.mainWindow;
    EXPECT_EQ(Then(ROAD_TO_CHECK, WINDOW_ENDS), DeliveredSince(fromMove));
    // From the move to the exit: close request, pending ticks dropped, verify request, the
    // quit request, the provider released.
    EXPECT_CALLS(sim::CallsNamed({"PostMessageA", "PeekMessageA", "SendMessageA", "PostQuitMessage",
                                  "FreeLibrary", "SystemParametersInfoA"}),
                 {{"PostMessageA", {window, WM_CLOSE, 0, 0}},
                  {"PeekMessageA", {window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD}},
                  {"PeekMessageA", {window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD}},
                  {"SendMessageA", {window, WM_APP, 0, 0}},
                  {"PostQuitMessage", {0}},
                  {"PostQuitMessage", {0}},
                  {"FreeLibrary", {passwordModule}},
                  {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 0}}});
    ASSERT_EQ(1u, checks.size());
    EXPECT_EQ(window, checks[0].window);
    EXPECT_TRUE(checks[0].runningFlag);
    EXPECT_TRUE(SaverState.isClosing);
    ExpectNothingLeft();
}

// Refused: the saver stays, draws on, hides the cursor again and measures from where the mouse
// was left. A key 300 ms later starts a new check, which is accepted.
TEST_F(SaverSessionTest, OnWin9xARefusedPasswordKeepsTheSaverRunningUntilAnAcceptedOne) {
    OnWin9x();
    verdict = FALSE;
    size_t fromMove = 0;
    sim::After(100, [&] {
        fromMove = sim::Deliveries().size();
        sim::MoveMouseBy(4, 3);
    });
    std::vector<UINT> road;
    size_t linesAfterCheck = 0;
    sim::After(400, [&] {
        road = DeliveredSince(fromMove);
        road.resize(std::min(road.size(), ROAD_TO_CHECK.size()));
        EXPECT_TRUE(sim::Facts(SaverState.mainWindow).exists);
        EXPECT_FALSE(SaverState.isClosing);
        EXPECT_EQ(nullptr, sim::CurrentCursor());
        EXPECT_EQ(410, SaverState.cursorAnchor.x);
        EXPECT_EQ(305, SaverState.cursorAnchor.y);
        EXPECT_TRUE(sim::ScreenSaverRunning());
        linesAfterCheck = sim::Lines(SaverState.mainWindow).size();
        verdict = TRUE;
        sim::PressKey(VK_SPACE);
    });

    EXPECT_EQ(0, RunSaverWindow(0));
    EXPECT_EQ(ROAD_TO_CHECK, road);
    ASSERT_EQ(2u, checks.size());
    EXPECT_GT(linesAfterCheck, checks[0].linesBefore + 20) << "drawing goes on after a refusal";
    EXPECT_TRUE(checks[1].runningFlag);
    ExpectNothingLeft();
}

// A preview on the Win9x family, with a password set: the user's input does not end it, its
// parent's destruction does; no password work is done.
TEST_F(SaverSessionTest, APreviewEndsWithItsParentAndLeavesNothingBehind) {
    OnWin9x();
    HWND parent = sim::CreateForeignWindow("SSDemoParent", "", {300, 200, 452, 312});
    sim::After(50, [] {
        sim::PressKey(VK_SPACE);
        sim::MoveMouseBy(40, 40);
        sim::Click(WM_LBUTTONDOWN);
    });
    size_t linesBeforeEnd = 0;
    sim::After(200, [&] {
        linesBeforeEnd = sim::Lines(SaverWindow()).size();
        sim::DestroyForeignWindow(parent);
    });

    EXPECT_EQ(0, RunSaverWindow(parent));
    EXPECT_GT(linesBeforeEnd, 10u);
    EXPECT_EQ(200u, sim::Now()) << "ended at the parent's destruction";
    EXPECT_TRUE(checks.empty());
    EXPECT_EQ(0, sim::CountCalls("LoadLibraryA"));
    EXPECT_EQ(0, sim::CountCalls("RegOpenKeyA"));
    EXPECT_EQ(0, sim::CountCalls("SystemParametersInfoA"));
    ExpectNothingLeft();
}

// On the NT family the saver checks no password of its own: a key closes it at once.
TEST_F(SaverSessionTest, OnNtAKeyEndsTheRunWithoutAnyPasswordWork) {
    size_t fromKey = 0;
    sim::After(100, [&] {
        fromKey = sim::Deliveries().size();
        sim::PressKey('Q');
    });

    EXPECT_EQ(0, RunSaverWindow(0));
    EXPECT_EQ(Then({WM_KEYDOWN, WM_CHAR, WM_CLOSE}, WINDOW_ENDS), DeliveredSince(fromKey));
    EXPECT_GT(sim::Lines(SaverState.mainWindow).size(), 5u);
    EXPECT_TRUE(checks.empty());
    EXPECT_FALSE(SaverState.isClosing);
    for (const char *name : {"RegOpenKeyA", "LoadLibraryA", "SystemParametersInfoA", "PeekMessageA",
                             "RegisterWindowMessageA"})
        EXPECT_EQ(0, sim::CountCalls(name)) << name;
    ExpectNothingLeft();
}

}  // namespace
