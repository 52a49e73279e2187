#include "tests/unit/fixture.h"

#include <sstream>

static bool Matches(const ExpectedCall &expected, const sim::Call &actual) {
    if (actual.name != expected.name || expected.args.size() > actual.args.size()) return false;
    for (size_t i = 0; i < expected.args.size(); ++i)
        if (!expected.args[i].Matches(actual.args[i])) return false;
    return true;
}

static std::string Format(const ExpectedCall &expected) {
    sim::Call shown{expected.name, expected.args};
    return shown.Format() + (expected.flags & optional ? " [optional]" : "");
}

::testing::AssertionResult CallsMatch(const std::vector<sim::Call> &actual,
                                      const std::vector<ExpectedCall> &expected) {
    size_t a = 0, e = 0;
    while (e < expected.size()) {
        if (a < actual.size() && Matches(expected[e], actual[a])) {
            ++a, ++e;
        } else if (expected[e].flags & optional) {
            ++e;
        } else {
            break;
        }
    }
    if (a == actual.size() && e == expected.size()) return ::testing::AssertionSuccess();

    std::ostringstream report;
    report << "calls differ at expected entry " << e << ", actual entry " << a << "\n";
    size_t rows = std::max(actual.size(), expected.size());
    for (size_t i = 0; i < rows; ++i) {
        std::string want = i < expected.size() ? Format(expected[i]) : "-";
        std::string got = i < actual.size() ? actual[i].Format() : "-";
        report << "  " << i << ": expected " << want << "\n     actual   " << got << "\n";
    }
    return ::testing::AssertionFailure() << report.str();
}

HWND SaverTest::SaverWindow() {
    for (HWND window : sim::ProgramWindows())
        if (sim::Facts(window).className == "WindowsScreenSaverClass") return window;
    return 0;
}

HWND SaverTest::CreateWindowWithProc(WNDPROC proc, HWND parent) {
    static int classes;
    std::string name = "TestWindow" + std::to_string(++classes);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = proc;
    windowClass.lpszClassName = name.c_str();
    if (!RegisterClassA(&windowClass)) return 0;
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
    return CreateWindowExA(0, name.c_str(), "", style, 0, 0, 640, 480, parent, 0, sim::ProgramInstance(), 0);
}

HMODULE SaverTest::ProtectWithPassword(VERIFYSCREENSAVEPWD verifier) {
    sim::SetRegistryDword(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword", 1);
    return sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)verifier}});
}
