// The whole program from the command line to the exit code: each mode run from the real entry.
#include "tests/unit/fixture.h"

#include "startup/modes.h"

namespace {

// Windows of other programs that a command line can name.
struct World {
    HWND foreground = 0;  // the application in front
    HWND live = 0;        // a window that exists
    HWND dead = 0;        // a window that existed and is gone
};

std::string Handle(HWND window) { return std::to_string((ULONG_PTR)window); }

const UINT REFUSED = (UINT)INVALID_MODE_EXIT_CODE;
const void *const DIALOG_PROC = (const void *)ConfigDialogProc;

struct ChangeRequest {
    std::string provider;
    HWND parent;
    DWORD reserved1, reserved2;
};
std::vector<ChangeRequest> changes;

DWORD WINAPI RecordingChanger(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2) {
    changes.push_back({provider, parent, reserved1, reserved2});
    return 0;
}

class ModeExecutionTest : public SaverTest {
protected:
    World world;

    void SetUp() override {
        SaverTest::SetUp();
        changes.clear();
        world.foreground = sim::CreateForeignWindow("Shell", "Display settings", {0, 0, 400, 300});
        sim::SetForeground(world.foreground);
        world.live = sim::CreateForeignWindow("Props", "Screen saver", {10, 10, 310, 210});
        world.dead = sim::CreateForeignWindow("Gone", "", {0, 0, 10, 10});
        sim::DestroyForeignWindow(world.dead);
    }

    // A fresh machine for the next row of a table. Handles are handed out in creation order, so
    // the same world comes back under the same handles.
    void Renew() {
        World before = world;
        SetUp();
        ASSERT_EQ(before.live, world.live);
        ASSERT_EQ(before.dead, world.dead);
    }

    static UINT Run(const std::string &tail, sim::Family family = sim::Family::Nt) {
        sim::SetFamily(family);
        sim::SetCommandLine(("\"C:\\WINDOWS\\saver.scr\" " + tail).c_str());
        sim::ClearCalls();
        return sim::RunProgram(SaverMain);
    }

    static HMODULE InstallChanger(bool withEntry) {
        if (!withEntry) return sim::InstallModule("MPR.DLL", {});
        return sim::InstallModule("MPR.DLL",
                                  {{"PwdChangePasswordA", (FARPROC)(void *)RecordingChanger}});
    }
};

TEST_F(ModeExecutionTest, ALetterThatNamesNoModeEndsWithMinusOneAfterTheStartUpCallsAlone) {
    // A letter that names no mode, from the real entry: the whole record apart from the
    // character stepping. No window, device-context, registry or module call.
    const std::vector<ExpectedCall> invalidMode = {
        {"GetCommandLineA", {}},
        {"GetModuleHandleA", {nullptr}},
        {"GetVersionExA", {148}},
        {"ExitProcess", {REFUSED}},
    };
    struct Row {
        const char *tail;
        sim::Family family;
    } rows[] = {
        {"/x", sim::Family::Nt},          {"/1", sim::Family::Win9x},
        {"/a 1234", sim::Family::Nt},     {"/a", sim::Family::VersionFails},
        {"-\t/s", sim::Family::Win9x},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.tail);
        Renew();
        EXPECT_EQ(REFUSED, Run(row.tail, row.family));
        std::vector<sim::Call> calls;
        for (const sim::Call &call : sim::Calls())
            if (call.name != "CharNextA") calls.push_back(call);
        EXPECT_CALLS(calls, invalidMode);
        EXPECT_TRUE(sim::ProgramWindows().empty());
    }
}

TEST_F(ModeExecutionTest, ConfigureAsksForTheMissingTemplateWithTheResolvedOwner) {
    HINSTANCE instance = sim::ProgramInstance();
    struct Row {
        std::string tail;
        std::vector<ExpectedCall> calls;
    };
    const std::vector<Row> rows = {
        // Empty command line: no owner, and no window is tested or looked up.
        {"", {{"DialogBoxParamA", {instance, CONFIG_DIALOG_ID, nullptr, DIALOG_PROC, 0}}}},
        // Handle missing or 0: the foreground window owns the dialog.
        {"/c",
         {{"GetForegroundWindow", {}},
          {"DialogBoxParamA", {instance, CONFIG_DIALOG_ID, world.foreground, DIALOG_PROC, 0}}}},
        {"/c:0",
         {{"GetForegroundWindow", {}},
          {"DialogBoxParamA", {instance, CONFIG_DIALOG_ID, world.foreground, DIALOG_PROC, 0}}}},
        // A handle that names no window: tested, then the foreground window instead.
        {"/c:" + Handle(world.dead),
         {{"IsWindow", {world.dead}},
          {"GetForegroundWindow", {}},
          {"DialogBoxParamA", {instance, CONFIG_DIALOG_ID, world.foreground, DIALOG_PROC, 0}}}},
        // A live window of another program is the owner itself.
        {"/C:" + Handle(world.live),
         {{"IsWindow", {world.live}},
          {"DialogBoxParamA", {instance, CONFIG_DIALOG_ID, world.live, DIALOG_PROC, 0}}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("tail '" + row.tail + "'");
        Renew();
        // The module carries no dialog template: the dialog call's failure is the exit code.
        EXPECT_EQ(REFUSED, Run(row.tail));
        // The start-up calls first, the mode's in between, ExitProcess last.
        std::vector<ExpectedCall> calls = {
            {"GetCommandLineA", {}}, {"GetModuleHandleA", {nullptr}}, {"GetVersionExA", {}}};
        calls.insert(calls.end(), row.calls.begin(), row.calls.end());
        calls.push_back({"ExitProcess", {REFUSED}});
        EXPECT_CALLS(sim::CallsNamed({"GetCommandLineA", "GetModuleHandleA", "GetVersionExA",
                                      "IsWindow", "GetForegroundWindow", "DialogBoxParamA",
                                      "ExitProcess"}),
                     calls);
        EXPECT_EQ(0, sim::CountCalls("RegisterClassA") + sim::CountCalls("GetDC"));
    }
}

TEST_F(ModeExecutionTest, RefusedPreviewParentEndsWithoutAWindow) {
    struct Row {
        std::string tail;
        HWND tested;  // the handle put to IsWindow, if any
    };
    const std::vector<Row> rows = {
        {"/p", 0},
        {"/p 0", 0},
        {"/p " + Handle(world.dead), world.dead},
        {"/l" + Handle(world.dead), world.dead},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.tail);
        Renew();
        EXPECT_EQ(REFUSED, Run(row.tail));
        std::vector<ExpectedCall> calls;
        if (row.tested) calls.push_back({"IsWindow", {row.tested}});
        EXPECT_CALLS(sim::CallsNamed({"IsWindow", "RegisterClassA", "CreateWindowExA", "GetDC",
                                      "GetClientRect", "FindWindowA", "RegOpenKeyA"}),
                     calls);
    }
}

TEST_F(ModeExecutionTest, ChangePasswordPassesTheResolvedParentAndAlwaysEndsWithZero) {
    struct Row {
        std::string tail;
        HWND parent;
    };
    const std::vector<Row> rows = {
        {"/a", world.foreground},
        {"/a " + Handle(world.dead), world.foreground},
        {"/A   " + Handle(world.live), world.live},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.tail);
        Renew();
        HMODULE mpr = InstallChanger(true);
        EXPECT_EQ(0u, Run(row.tail, sim::Family::Win9x));
        // Change password: the changer is loaded, called once and freed again.
        EXPECT_CALLS(sim::CallsNamed({"LoadLibraryA", "GetProcAddress", "FreeLibrary",
                                      "ExitProcess"}),
                     {{"LoadLibraryA", {"MPR.DLL"}},
                      {"GetProcAddress", {mpr, "PwdChangePasswordA"}},
                      {"FreeLibrary", {mpr}},
                      {"ExitProcess", {0}}});
        ASSERT_EQ(1u, changes.size());
        EXPECT_EQ("SCRSAVE", changes[0].provider);
        EXPECT_EQ(row.parent, changes[0].parent);
        EXPECT_EQ(0u, changes[0].reserved1 | changes[0].reserved2);
        EXPECT_EQ(0, sim::ModuleReferences("MPR.DLL"));
    }

    // Without MPR.DLL, or with a module that lacks the entry, nothing is changed and still 0.
    for (bool installed : {false, true}) {
        SCOPED_TRACE(installed ? "entry missing" : "module missing");
        Renew();
        if (installed) InstallChanger(false);
        EXPECT_EQ(0u, Run("/a", sim::Family::Win9x));
        EXPECT_TRUE(changes.empty());
        EXPECT_EQ(installed ? 1 : 0, sim::CountCalls("FreeLibrary"));
        EXPECT_EQ(0, sim::ModuleReferences("MPR.DLL"));
    }
}

TEST_F(ModeExecutionTest, WindowModesEndWithTheLoopsCodeOrMinusOneWithoutAWindow) {
    struct Row {
        const char *what;
        bool preview;
        const char *failing;  // the platform call made to fail, or null
        bool windowAsked;     // CreateWindowExA was reached
        UINT exitCode;
    } rows[] = {
        // Full screen ends on a key; a preview when its parent goes away.
        {"full screen", false, nullptr, true, 0},
        {"preview", true, nullptr, true, 0},
        {"full screen, no class", false, "RegisterClassA", false, REFUSED},
        {"full screen, no window", false, "CreateWindowExA", true, REFUSED},
        {"preview, no window", true, "CreateWindowExA", true, REFUSED},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Renew();
        if (row.failing) sim::FailCall(row.failing);
        HWND parent = row.preview ? world.live : 0;
        sim::After(500, [parent] {
            if (parent)
                sim::DestroyForeignWindow(parent);
            else
                sim::PressKey(VK_SPACE);
        });
        sim::StopAfter(5000);
        EXPECT_EQ(row.exitCode, Run(parent ? "/p " + Handle(parent) : "/s"));
        EXPECT_EQ(!row.failing, sim::CountCalls("GetMessageA") > 0);
        std::vector<ExpectedCall> window;
        if (row.windowAsked)
            window.push_back({"CreateWindowExA",
                              {parent ? 0 : WS_EX_TOPMOST, "WindowsScreenSaverClass",
                               parent ? "Preview" : "Screen Saver", sim::ANY, sim::ANY, sim::ANY,
                               sim::ANY, sim::ANY, parent}});
        EXPECT_CALLS(sim::CallsNamed({"CreateWindowExA"}), window);
        EXPECT_CALLS(sim::CallsNamed({"ExitProcess"}), {{"ExitProcess", {row.exitCode}}});
    }
}

}  // namespace
