// An exception that escapes the mode: what the guard around it does with each verdict of the
// platform's unhandled-exception filter.
#include "tests/unit/fixture.h"

#include "startup/modes.h"

namespace {

const DWORD FAULT = EXCEPTION_ACCESS_VIOLATION;

BOOL WINAPI AcceptingVerify(HWND) { return TRUE; }
BOOL WINAPI FaultingVerify(HWND) {
    sim::RaiseStructuredException(EXCEPTION_INT_DIVIDE_BY_ZERO);
    return TRUE;
}

class ExceptionGuardTest : public SaverTest {
protected:
    // The 95 family with a password set and PASSWORD.CPL at hand: the provider binds and sets
    // the running flag before the window opens.
    static void PasswordProtected(VERIFYSCREENSAVEPWD verify = AcceptingVerify) {
        sim::SetFamily(sim::Family::Win9x);
        sim::SetRegistryDword(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword",
                              1);
        sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)verify}});
    }

    static UINT Run(const char *tail) {
        sim::SetCommandLine((std::string("saver.scr ") + tail).c_str());
        sim::StopAfter(10000);
        return sim::RunProgram(SaverMain);
    }
};

TEST_F(ExceptionGuardTest, HandledFaultInATimerTickClearsTheRunningFlagAndKeepsTheModule) {
    PasswordProtected();
    sim::FaultCall("CreatePen", FAULT, 3);
    EXPECT_EQ((UINT)FAULT_EXIT_CODE, Run("/s"));
    // Full screen, faulting in the third tick, the filter answering "execute handler".
    EXPECT_CALLS(sim::CallsNamed({"SystemParametersInfoA", "CreatePen", "UnhandledExceptionFilter",
                                  "FreeLibrary", "ExitProcess"}),
                 {{"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 1}},
                  {"CreatePen", {}},
                  {"CreatePen", {}},
                  {"CreatePen", {}},
                  {"UnhandledExceptionFilter", {FAULT}},
                  {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 0, sim::ANY, 0}},
                  {"ExitProcess", {FAULT_EXIT_CODE}}});
    EXPECT_FALSE(sim::ScreenSaverRunning());
    EXPECT_EQ(1, sim::ModuleReferences("PASSWORD.CPL"));
}

TEST_F(ExceptionGuardTest, FaultInsideThePasswordCheckLeavesThePasswordModuleLoaded) {
    PasswordProtected(FaultingVerify);
    sim::After(100, [] { sim::PressKey(VK_SPACE); });
    EXPECT_EQ((UINT)FAULT_EXIT_CODE, Run("/s"));
    EXPECT_CALLS(sim::CallsNamed({"UnhandledExceptionFilter", "SystemParametersInfoA",
                                  "ExitProcess"}),
                 {{"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 1}},
                  {"UnhandledExceptionFilter", {EXCEPTION_INT_DIVIDE_BY_ZERO}},
                  {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 0}},
                  {"ExitProcess", {FAULT_EXIT_CODE}}});
    EXPECT_EQ(1, sim::ModuleReferences("PASSWORD.CPL"));
    EXPECT_EQ(0, sim::CountCalls("FreeLibrary"));
}

TEST_F(ExceptionGuardTest, GuardCoversEveryModeButNotTheStartUp) {
    // Where the fault is raised, and what the process ends with. The handler clears the running
    // flag on the 95 family whether or not a provider was bound.
    struct Row {
        const char *tail;
        const char *faulting;
        sim::Family family;
        UINT exitCode;
        int flagCalls;  // SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0)
    } rows[] = {
        {"/s", "CreatePen", sim::Family::Nt, FAULT_EXIT_CODE, 0},
        {"/s", "CreatePen", sim::Family::Win9x, FAULT_EXIT_CODE, 1},
        {"/p 1234", "IsWindow", sim::Family::Win9x, FAULT_EXIT_CODE, 1},
        {"/c", "DialogBoxParamA", sim::Family::Win9x, FAULT_EXIT_CODE, 1},
        {"/a", "LoadLibraryA", sim::Family::Win9x, FAULT_EXIT_CODE, 1},
        // Before the guard is entered the runtime's own handler ends the process.
        {"/s", "GetVersionExA", sim::Family::Win9x, FAULT, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.tail) + " faulting in " + row.faulting);
        SetUp();
        sim::SetFamily(row.family);
        sim::FaultCall(row.faulting);
        EXPECT_EQ(row.exitCode, Run(row.tail));
        EXPECT_EQ(row.exitCode == FAULT_EXIT_CODE ? 1 : 0,
                  sim::CountCalls("UnhandledExceptionFilter"));
        EXPECT_EQ(row.flagCalls, sim::CountCalls("SystemParametersInfoA"));
    }
}

TEST_F(ExceptionGuardTest, ContinueSearchEndsTheProcessWithTheExceptionCode) {
    PasswordProtected();
    sim::SetUnhandledExceptionVerdict(EXCEPTION_CONTINUE_SEARCH);
    sim::FaultCall("CreatePen");
    EXPECT_EQ(FAULT, Run("/s"));
    // The guard's handler does not run: the flag stays as the binding left it.
    EXPECT_CALLS(sim::CallsNamed({"SystemParametersInfoA", "UnhandledExceptionFilter",
                                  "ExitProcess"}),
                 {{"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 1}},
                  {"UnhandledExceptionFilter", {FAULT}}});
}

TEST_F(ExceptionGuardTest, ContinueExecutionResumesTheRun) {
    sim::SetUnhandledExceptionVerdict(EXCEPTION_CONTINUE_EXECUTION);
    sim::FaultCall("CreatePen", FAULT, 2);  // resumed, the second tick draws without its pen
    sim::After(1000, [] { sim::PressKey(VK_SPACE); });
    EXPECT_EQ(0u, Run("/s"));
    EXPECT_EQ(1, sim::CountCalls("UnhandledExceptionFilter"));
    EXPECT_GT(sim::CountCalls("LineTo"), 50);
    EXPECT_EQ(0, sim::OpenDeviceContexts());
}

}  // namespace
