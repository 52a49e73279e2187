// The saver window's class procedure, driven message by message: what the framework answers
// itself, what it passes on, and the input-method detach and restore.
#include "tests/unit/fixture.h"

#include "framework/saver_window.h"

namespace {

const char *Mode(bool preview) { return preview ? "preview" : "full screen"; }

class FrameProcTest : public SaverTest {
protected:
    HWND parent = 0;

    void SetUp() override {
        SaverTest::SetUp();
        SaverState.instance = sim::ProgramInstance();
        sim::SetFamily(sim::Family::Win9x);
        SaverState.isWin9xFamily = TRUE;
        parent = sim::CreateForeignWindow("SSDemoParent", "", {300, 200, 452, 312});
    }

    HWND CreateSaver(bool preview) {
        SaverState.isPreview = preview;
        HWND window = CreateWindowWithProc(SaverFrameProc, preview ? parent : 0);
        EXPECT_TRUE(window);
        return window;
    }
};

// Creation and paint: the anchor is taken in both modes; only full screen hides the cursor (the
// second hide at creation is the policy's, as the window is shown). A child's first paint draws
// its frame and background first.
TEST_F(FrameProcTest, TheCursorIsAnchoredAtCreationAndHiddenOnlyFullScreen) {
    struct {
        bool preview;
        std::vector<ExpectedCall> creation, paint;
    } cases[] = {
        {false,
         {{"GetCursorPos", {}}, {"SetCursor", {nullptr}}, {"SetCursor", {nullptr}}},
         {{"SetCursor", {nullptr}}, {"DefWindowProcA", {sim::ANY, WM_PAINT}}}},
        {true,
         {{"GetCursorPos", {}}},
         {{"DefWindowProcA", {sim::ANY, WM_PAINT}},
          {"DefWindowProcA", {sim::ANY, WM_NCPAINT}},
          {"DefWindowProcA", {sim::ANY, WM_ERASEBKGND}}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Mode(c.preview));
        SetUp();
        sim::PlaceCursor(321, 123);
        sim::ClearCalls();
        HWND window = CreateSaver(c.preview);
        EXPECT_CALLS(sim::CallsNamed({"GetCursorPos", "SetCursor"}), c.creation);
        EXPECT_EQ(321, SaverState.cursorAnchor.x);
        EXPECT_EQ(123, SaverState.cursorAnchor.y);

        sim::ClearCalls();
        SendMessageA(window, WM_PAINT, 0, 0);
        EXPECT_CALLS(sim::CallsNamed({"SetCursor", "DefWindowProcA"}), c.paint);
    }
}

TEST_F(FrameProcTest, SetTextIsAnsweredZeroAndNeverReachesTheEffect) {
    for (bool preview : {false, true}) {
        SCOPED_TRACE(Mode(preview));
        SetUp();
        HWND window = CreateSaver(preview);
        sim::ClearCalls();
        EXPECT_EQ(0, SendMessageA(window, WM_SETTEXT, 0, (LPARAM) "Renamed"));
        EXPECT_CALLS(sim::Calls(), {{"SendMessageA", {window, WM_SETTEXT}}});
        EXPECT_EQ("", sim::Facts(window).title);
    }
}

TEST_F(FrameProcTest, WindowSwitchingAndSaverStartCommandsAreSwallowedOnlyFullScreen) {
    struct {
        bool preview;
        WPARAM command;
        bool swallowed;
    } cases[] = {
        {false, SC_NEXTWINDOW, true}, {false, SC_PREVWINDOW, true}, {false, SC_SCREENSAVE, true},
        {false, SC_CLOSE, false},     {false, SC_MONITORPOWER, false}, {true, SC_NEXTWINDOW, false},
        {true, SC_PREVWINDOW, false}, {true, SC_SCREENSAVE, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << Mode(c.preview) << " " << std::hex << c.command);
        SetUp();
        HWND window = CreateSaver(c.preview);
        sim::SetDefWindowProcAnswer(WM_SYSCOMMAND, 0x5A);
        sim::ClearCalls();
        EXPECT_EQ(c.swallowed ? 0 : 0x5A, SendMessageA(window, WM_SYSCOMMAND, c.command, 0));
        EXPECT_EQ(c.swallowed ? 0 : 1, sim::CountCalls("DefWindowProcA"));
    }
}

// A tick: the processor is given up before the effect draws.
TEST_F(FrameProcTest, ATimerTickYieldsBeforeDrawing) {
    for (bool preview : {false, true}) {
        SCOPED_TRACE(Mode(preview));
        SetUp();
        HWND window = CreateSaver(preview);
        sim::ClearCalls();
        SendMessageA(window, WM_TIMER, LINE_TIMER_ID, 0);
        EXPECT_CALLS(sim::CallsNamed({"Sleep", "GetDC", "LineTo", "ReleaseDC"}),
                     {{"Sleep", {0}}, {"GetDC", {window}}, {"LineTo", {}}, {"ReleaseDC", {window}}});
    }
}

// Once the saver may close: a tick is answered with no work at all; input and paint go straight
// to the default, so the mouse far from its anchor wakes nothing.
TEST_F(FrameProcTest, AfterClosingTicksAreDroppedAndInputGoesToTheDefault) {
    HWND window = CreateSaver(false);
    SaverState.isClosing = TRUE;
    sim::PlaceCursor(900, 900);
    sim::ClearCalls();
    EXPECT_EQ(0, SendMessageA(window, WM_TIMER, LINE_TIMER_ID, 0));
    EXPECT_CALLS(sim::Calls(), {{"SendMessageA", {window, WM_TIMER}}});

    for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN,
                         WM_MBUTTONDOWN, WM_PAINT}) {
        SCOPED_TRACE(message);
        sim::SetDefWindowProcAnswer(message, 0x33);
        sim::ClearCalls();
        EXPECT_EQ(0x33, SendMessageA(window, message, 0x20, 0x00100010));
        EXPECT_CALLS(sim::Calls(), {{"SendMessageA", {window, message}},
                                    {"DefWindowProcA", {window, message, 0x20, 0x00100010}}});
    }
}

// In preview, help and the context menu belong to the control panel that owns the parent.
TEST_F(FrameProcTest, HelpAndContextMenuInPreviewArePostedToTheParentAndAnsweredOne) {
    enum Where { ToParent, NoParent, ParentRefused, FullScreen };
    const char *names[] = {"preview with its parent", "preview without a parent",
                           "preview whose parent IsWindow refuses", "full screen"};
    for (Where where : {ToParent, NoParent, ParentRefused, FullScreen})
        for (UINT message : {WM_HELP, WM_CONTEXTMENU}) {
            SCOPED_TRACE(::testing::Message() << names[where] << ", message " << message);
            SetUp();
            SaverState.isPreview = where != FullScreen;
            HWND window = CreateWindowWithProc(SaverFrameProc, where == ToParent || where == ParentRefused ? parent : 0);
            if (where == ParentRefused) sim::FailCall("IsWindow");
            sim::SetDefWindowProcAnswer(message, 0x44);
            sim::ClearCalls();
            size_t before = sim::Inbox(parent).size();  // the child's creation was announced

            EXPECT_EQ(where == FullScreen ? 0x44 : 1, SendMessageA(window, message, (WPARAM)window, 0x00640032));
            EXPECT_EQ(where == FullScreen ? 1 : 0, sim::CountCalls("DefWindowProcA"));
            std::vector<sim::Message> inbox = sim::Inbox(parent);
            inbox.erase(inbox.begin(), inbox.begin() + (long)before);
            ASSERT_EQ(where == ToParent ? 1u : 0u, inbox.size());
            if (inbox.empty()) continue;
            EXPECT_EQ(message, inbox[0].message);
            EXPECT_EQ((WPARAM)parent, inbox[0].wParam);
            EXPECT_EQ(0x00640032, inbox[0].lParam);
        }
}

TEST_F(FrameProcTest, DestructionAsksForTheEndOfTheLoop) {
    HWND window = CreateSaver(true);
    sim::ClearCalls();
    DestroyWindow(window);
    // The framework's own request, then the effect's.
    EXPECT_CALLS(sim::CallsNamed({"PostQuitMessage"}), {{"PostQuitMessage", {0}}, {"PostQuitMessage", {0}}});
}

// ---------------------------------------------------------------------------------------------
// The input method

std::vector<std::pair<HWND, HIMC>> associations;
HIMC previousContext;

HIMC WINAPI RecordingAssociate(HWND window, HIMC context) {
    associations.push_back({window, context});
    return previousContext;
}

TEST_F(FrameProcTest, TheInputMethodIsDetachedAtCreationAndRestoredOnlyWhenAllWasFound) {
    const HIMC CONTEXT = (HIMC)(ULONG_PTR)0x7710;
    enum Imm { NotInstalled, NotLoaded, LoadedWithoutEntry, Loaded };
    struct {
        const char *what;
        Imm imm;
        HIMC previous;
        bool detaches, restores;
    } cases[] = {
        {"not installed", NotInstalled, CONTEXT, false, false},
        {"installed but not loaded", NotLoaded, CONTEXT, false, false},
        {"loaded without the entry", LoadedWithoutEntry, CONTEXT, false, false},
        {"loaded, no previous context", Loaded, 0, true, false},
        {"loaded with a previous context", Loaded, CONTEXT, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        associations.clear();
        previousContext = c.previous;
        HMODULE imm = 0;
        if (c.imm == NotLoaded || c.imm == Loaded)
            imm = sim::InstallModule("IMM32.DLL", {{"ImmAssociateContext", (FARPROC)(void *)RecordingAssociate}},
                                     c.imm == Loaded);
        if (c.imm == LoadedWithoutEntry) imm = sim::InstallModule("IMM32.DLL", {{"ImmGetContext", nullptr}}, true);
        int references = sim::ModuleReferences("IMM32.DLL");
        sim::ClearCalls();

        HWND window = CreateSaver(false);
        std::vector<ExpectedCall> lookUp = {{"GetModuleHandleA", {"IMM32.DLL"}}};
        if (c.imm == LoadedWithoutEntry || c.imm == Loaded) lookUp.push_back({"GetProcAddress", {imm, "ImmAssociateContext"}});
        EXPECT_CALLS(sim::CallsNamed({"GetModuleHandleA", "GetProcAddress"}), lookUp);
        DestroyWindow(window);

        std::vector<std::pair<HWND, HIMC>> expected;
        if (c.detaches) expected.push_back({window, (HIMC)0});
        if (c.restores) expected.push_back({window, CONTEXT});
        EXPECT_EQ(expected, associations);
        EXPECT_EQ(0, sim::CountCalls("LoadLibraryA"));
        EXPECT_EQ(0, sim::CountCalls("FreeLibrary"));
        EXPECT_EQ(references, sim::ModuleReferences("IMM32.DLL"));
    }
}

}  // namespace
