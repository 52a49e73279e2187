// Starting the saver window: the class, the place and styles in each mode, the single full-screen
// instance, failures to register or create, and the message loop.
#include "tests/unit/fixture.h"

#include "framework/saver_window.h"
#include "password/password.h"

namespace {

const char *const SAVER_CLASS = "WindowsScreenSaverClass";
const DWORD FULL_SCREEN_STYLE = 0x96000000;
const DWORD PREVIEW_STYLE = 0x52000000;

BOOL WINAPI AcceptingVerifier(HWND) { return TRUE; }

class SaverWindowTest : public SaverTest {
protected:
    void SetUp() override {
        SaverTest::SetUp();
        SaverState.instance = sim::ProgramInstance();
    }

    static void OnWin9x() {
        sim::SetFamily(sim::Family::Win9x);
        SaverState.isWin9xFamily = TRUE;
    }

    // Runs until the window has been painted once and the first timer tick is due; the saver is
    // stopped where it waits.
    static void RunUntilFirstTick(HWND parent) {
        sim::StopAfter(5);
        EXPECT_THROW(RunSaverWindow(parent), sim::RunStopped);
    }

    static std::vector<sim::Call> StartUpCalls() {
        return sim::CallsNamed({"LoadIconA", "GetStockObject", "GetDC", "GetClipBox", "ReleaseDC",
                                "GetClientRect", "FindWindowA", "IsWindow", "RegOpenKeyA",
                                "RegisterWindowMessageA", "RegisterClassA", "CreateWindowExA",
                                "SetForegroundWindow"});
    }
};

// A full-screen start: class record, the screen's clip box (its DC released at once), no running
// saver, class and window, then the window to the front. With two monitors the clip box bounds
// both, while the primary's size is what the screen's size reads.
TEST_F(SaverWindowTest, FullScreenCoversTheScreenClipBoxExactlyAsReported) {
    struct Machine {
        std::vector<RECT> monitors;  // the primary first
        RECT screen;                 // the clip box, which the window covers
    };
    const Machine machines[] = {{{{0, 0, 1024, 768}}, {0, 0, 1024, 768}},
                                {{{-1280, 0, 1280, 1024}}, {-1280, 0, 1280, 1024}},
                                {{{0, -200, 1920, 1080}}, {0, -200, 1920, 1080}},
                                {{{100, 50, 900, 650}}, {100, 50, 900, 650}},
                                {{{0, 0, 1024, 768}, {1024, 0, 1664, 480}}, {0, 0, 1664, 768}},
                                {{{0, 0, 1280, 1024}, {-1024, 256, 0, 1024}}, {-1024, 0, 1280, 1024}}};
    for (const Machine &machine : machines) {
        const RECT &screen = machine.screen;
        SCOPED_TRACE(::testing::Message() << machine.monitors.size() << " monitors, screen at " << screen.left
                                          << ", " << screen.top);
        SetUp();
        sim::SetMonitors(machine.monitors);
        HGDIOBJ blackBrush = GetStockObject(BLACK_BRUSH);
        sim::ClearCalls();

        RunUntilFirstTick(0);
        HWND window = SaverWindow();
        ASSERT_TRUE(window);
        EXPECT_CALLS(StartUpCalls(),
                     {{"LoadIconA", {sim::ProgramInstance(), 100}},
                      {"GetStockObject", {BLACK_BRUSH}},
                      {"GetDC", {nullptr}},
                      {"GetClipBox", {sim::ANY}},
                      {"ReleaseDC", {nullptr, sim::ANY}},
                      {"FindWindowA", {SAVER_CLASS, "Screen Saver"}},
                      {"RegisterClassA", {SAVER_CLASS, 0x2B, (const void *)SaverFrameProc,
                                          sim::ProgramInstance(), nullptr, nullptr, blackBrush}},
                      {"CreateWindowExA", {WS_EX_TOPMOST, SAVER_CLASS, "Screen Saver", FULL_SCREEN_STYLE,
                                           screen.left, screen.top, screen.right - screen.left,
                                           screen.bottom - screen.top, nullptr, nullptr,
                                           sim::ProgramInstance(), nullptr}},
                      {"GetClientRect", {window}},  // the effect's own, at creation
                      {"SetForegroundWindow", {window}}});
        std::vector<sim::Call> dc = sim::CallsNamed({"GetDC", "GetClipBox", "ReleaseDC"});
        ASSERT_EQ(3u, dc.size());
        EXPECT_EQ(dc[1].args[0].value, dc[2].args[1].value) << "the screen DC is the one released";
        EXPECT_EQ(0, sim::OpenDeviceContexts());
        EXPECT_FALSE(SaverState.isPreview);
        EXPECT_EQ(window, SaverState.mainWindow);
        EXPECT_EQ(window, sim::Foreground());
        EXPECT_EQ(0x2Bu, sim::Facts(window).classStyle);
    }
}

// A preview start: class, the parent's client size; no search for a running saver, no
// password, no foreground change.
TEST_F(SaverWindowTest, PreviewFillsTheParentsClientAreaAndNeverLooksForARunningSaver) {
    OnWin9x();
    ProtectWithPassword(AcceptingVerifier);
    sim::CreateForeignWindow(SAVER_CLASS, "Screen Saver", {0, 0, 1024, 768});
    HWND parent = sim::CreateForeignWindow("SSDemoParent", "", {300, 200, 452, 312});
    sim::ClearCalls();

    RunUntilFirstTick(parent);
    HWND window = SaverWindow();
    ASSERT_TRUE(window);
    EXPECT_CALLS(StartUpCalls(),
                 {{"LoadIconA", {sim::ProgramInstance(), 100}},
                  {"GetStockObject", {BLACK_BRUSH}},
                  {"GetClientRect", {parent}},
                  {"RegisterWindowMessageA", {"QueryCancelAutoPlay"}},
                  {"RegisterClassA", {SAVER_CLASS, 0x2B, (const void *)SaverFrameProc}},
                  {"CreateWindowExA", {0, SAVER_CLASS, "Preview", PREVIEW_STYLE, 0, 0, 152, 112, parent,
                                       nullptr, sim::ProgramInstance(), nullptr}},
                  {"GetClientRect", {window}}});
    EXPECT_TRUE(SaverState.isPreview);
    EXPECT_EQ(parent, sim::Facts(window).parent);
    EXPECT_EQ(0, sim::CountCalls("LoadLibraryA"));
    EXPECT_EQ(nullptr, SaverState.verifyEntry);
}

TEST_F(SaverWindowTest, TheAutoPlayQueryIsRegisteredOnlyOnTheWin9xFamily) {
    RunUntilFirstTick(0);
    EXPECT_EQ(0, sim::CountCalls("RegisterWindowMessageA"));
    EXPECT_EQ(0u, SaverState.autoPlayMessage);

    SetUp();
    OnWin9x();
    RunUntilFirstTick(0);
    EXPECT_EQ(RegisterWindowMessageA("QueryCancelAutoPlay"), SaverState.autoPlayMessage);
    EXPECT_NE(0u, SaverState.autoPlayMessage);
}

// A second full-screen start while one runs: found, brought to the front, nothing else.
TEST_F(SaverWindowTest, ASecondFullScreenStartBringsTheRunningSaverToTheFront) {
    OnWin9x();
    ProtectWithPassword(AcceptingVerifier);
    HWND running = sim::CreateForeignWindow(SAVER_CLASS, "Screen Saver", {0, 0, 1024, 768});
    sim::ClearCalls();

    EXPECT_EQ(0, RunSaverWindow(0));
    EXPECT_CALLS(sim::Calls(), {{"LoadIconA", {}},
                                {"GetStockObject", {}},
                                {"GetDC", {}},
                                {"GetClipBox", {}},
                                {"ReleaseDC", {}},
                                {"FindWindowA", {SAVER_CLASS, "Screen Saver"}},
                                {"IsWindow", {running}},
                                {"SetForegroundWindow", {running}}});
    EXPECT_EQ(running, sim::Foreground());
    EXPECT_EQ(0, sim::RegisteredClasses());
    EXPECT_TRUE(sim::ProgramWindows().empty());
    EXPECT_FALSE(sim::ScreenSaverRunning());
}

TEST_F(SaverWindowTest, AFullScreenStartGoesOnWhenNoFullScreenSaverIsConfirmed) {
    struct {
        const char *what;
        std::function<void()> arrange;
    } cases[] = {
        {"a running preview", [] { sim::CreateForeignWindow(SAVER_CLASS, "Preview", {0, 0, 152, 112}); }},
        {"a saver that vanished before IsWindow",
         [] {
             sim::CreateForeignWindow(SAVER_CLASS, "Screen Saver", {0, 0, 1024, 768});
             sim::FailCall("IsWindow");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        c.arrange();
        RunUntilFirstTick(0);
        HWND window = SaverWindow();
        ASSERT_TRUE(window);
        EXPECT_EQ("Screen Saver", sim::Facts(window).title);
        EXPECT_EQ(window, sim::Foreground());
    }
}

// Registration or creation failing: no window, no loop, the provider still released.
TEST_F(SaverWindowTest, AWindowThatCannotBeMadeEndsWithMinusOneAndReleasesTheProvider) {
    for (const char *failing : {"RegisterClassA", "CreateWindowExA"}) {
        SCOPED_TRACE(failing);
        SetUp();
        OnWin9x();
        ProtectWithPassword(AcceptingVerifier);
        sim::FailCall(failing);
        sim::ClearCalls();

        EXPECT_EQ(NO_WINDOW_EXIT_CODE, RunSaverWindow(0));
        EXPECT_CALLS(sim::CallsNamed({"LoadLibraryA", "SystemParametersInfoA", "RegisterClassA",
                                      "CreateWindowExA", "SetForegroundWindow", "GetMessageA",
                                      "FreeLibrary"}),
                     {{"LoadLibraryA", {"PASSWORD.CPL"}},
                      {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 1}},
                      {"RegisterClassA", {}},
                      {"CreateWindowExA", {}, optional},
                      {"FreeLibrary", {}},
                      {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 0}}});
        EXPECT_EQ(std::string(failing) == "CreateWindowExA" ? 1 : 0, sim::CountCalls("CreateWindowExA"));
        EXPECT_TRUE(sim::ProgramWindows().empty());
        EXPECT_EQ(0, sim::ModuleReferences("PASSWORD.CPL"));
        EXPECT_FALSE(sim::ScreenSaverRunning());
        EXPECT_EQ(0, SaverState.mainWindow);
    }
}

TEST_F(SaverWindowTest, APreviewThatCannotBeCreatedEndsWithMinusOne) {
    HWND parent = sim::CreateForeignWindow("SSDemoParent", "", {0, 0, 152, 112});
    sim::FailCall("CreateWindowExA");
    EXPECT_EQ(NO_WINDOW_EXIT_CODE, RunSaverWindow(parent));
    EXPECT_EQ(0, sim::CountCalls("GetMessageA"));
}

// A failed retrieval holds no message: nothing is translated or dispatched, and the loop waits on
// until the quit request ends it.
TEST_F(SaverWindowTest, AFailedRetrievalDispatchesNothingAndTheLoopGoesOn) {
    sim::After(50, [] { sim::PressKey('A'); });
    sim::StopAfter(10000);
    sim::FailCall("GetMessageA", 3);  // after two dispatched messages, the record holds the last

    EXPECT_EQ(0, RunSaverWindow(0));
    std::vector<sim::Call> loop = sim::CallsNamed({"GetMessageA", "TranslateMessage", "DispatchMessageA"});
    ASSERT_GE(loop.size(), 8u);
    EXPECT_CALLS(std::vector<sim::Call>(loop.begin(), loop.begin() + 8),
                 {{"GetMessageA", {nullptr, 0, 0}},
                  {"TranslateMessage", {}},
                  {"DispatchMessageA", {}},
                  {"GetMessageA", {}},
                  {"TranslateMessage", {}},
                  {"DispatchMessageA", {}},
                  {"GetMessageA", {}},  // fails
                  {"GetMessageA", {}}});
    EXPECT_TRUE(sim::ProgramWindows().empty());
}

TEST_F(SaverWindowTest, TheExitCodeIsTheQuitRequestsCode) {
    sim::After(50, [] { PostQuitMessage(7); });
    sim::StopAfter(10000);
    EXPECT_EQ(7, RunSaverWindow(0));
}

}  // namespace
