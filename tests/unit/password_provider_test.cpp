// Binding the password module for a full-screen run, the running-saver flag, and the password
// change: given what the registry and the installed modules hold, which calls are made and what
// stays bound.
#include "tests/unit/fixture.h"

#include "password/password.h"

namespace {

const char *const DESKTOP = "Control Panel\\Desktop";
const char *const USE_PASSWORD = "ScreenSaveUsePassword";

BOOL WINAPI NeverCalledVerifier(HWND) { return TRUE; }

enum class PasswordModule { Missing, WithoutEntry, WithEntry };

struct Setting {
    bool key;
    bool value;
    std::vector<BYTE> bytes;
};
const Setting NO_KEY = {false, false, {}};
const Setting NO_VALUE = {true, false, {}};
Setting Bytes(std::vector<BYTE> bytes) { return {true, true, bytes}; }
Setting Dword(DWORD value) {
    const BYTE *bytes = (const BYTE *)&value;
    return {true, true, std::vector<BYTE>(bytes, bytes + sizeof value)};
}

const ExpectedCall OPEN = {"RegOpenKeyA", {HKEY_CURRENT_USER, DESKTOP}};
const ExpectedCall QUERY = {"RegQueryValueExA", {sim::ANY, USE_PASSWORD, nullptr, nullptr, sim::ANY, 4}};
const ExpectedCall CLOSE = {"RegCloseKey", {}};
const ExpectedCall LOAD = {"LoadLibraryA", {"PASSWORD.CPL"}};
const ExpectedCall ENTRY = {"GetProcAddress", {sim::ANY, "VerifyScreenSavePwd"}};
const ExpectedCall UNLOAD = {"FreeLibrary", {}};
const ExpectedCall FLAG_ON = {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 1, sim::ANY, 0}};
const ExpectedCall FLAG_OFF = {"SystemParametersInfoA", {SPI_SETSCREENSAVERRUNNING, 0, sim::ANY, 0}};

// Reading the setting, and what follows from it.
const std::vector<ExpectedCall> NOT_WANTED = {OPEN, QUERY, CLOSE};
const std::vector<ExpectedCall> PROTECTED = {OPEN, QUERY, LOAD, ENTRY, FLAG_ON, CLOSE};

struct BindCase {
    const char *what;
    Setting setting;
    PasswordModule module;
    std::vector<ExpectedCall> bind;
    bool binds;
};

const BindCase BIND_CASES[] = {
    {"no key", NO_KEY, PasswordModule::WithEntry, {OPEN}, false},
    {"no value", NO_VALUE, PasswordModule::WithEntry, NOT_WANTED, false},
    {"value 0", Dword(0), PasswordModule::WithEntry, NOT_WANTED, false},
    {"8-byte value fails the query", Bytes({1, 0, 0, 0, 1, 0, 0, 0}), PasswordModule::WithEntry, NOT_WANTED, false},
    {"1 zero byte", Bytes({0}), PasswordModule::WithEntry, NOT_WANTED, false},
    {"3 zero bytes", Bytes({0, 0, 0}), PasswordModule::WithEntry, NOT_WANTED, false},
    {"value 1, no module", Dword(1), PasswordModule::Missing, {OPEN, QUERY, LOAD, CLOSE}, false},
    {"value 1, module without the entry", Dword(1), PasswordModule::WithoutEntry,
     {OPEN, QUERY, LOAD, ENTRY, UNLOAD, CLOSE}, false},
    {"value 1", Dword(1), PasswordModule::WithEntry, PROTECTED, true},
    {"high bit only", Dword(0x80000000u), PasswordModule::WithEntry, PROTECTED, true},
    {"1 byte of 1", Bytes({1}), PasswordModule::WithEntry, PROTECTED, true},
    {"3 bytes, last one set", Bytes({0, 0, 1}), PasswordModule::WithEntry, PROTECTED, true},
};

class PasswordProviderTest : public SaverTest {
protected:
    void SetUp() override {
        SaverTest::SetUp();
        sim::SetFamily(sim::Family::Win9x);
        SaverState.isWin9xFamily = TRUE;
    }

    static void Arrange(const Setting &setting, PasswordModule module) {
        if (setting.key) sim::CreateRegistryKey(HKEY_CURRENT_USER, DESKTOP);
        if (setting.value)
            sim::SetRegistryValue(HKEY_CURRENT_USER, DESKTOP, USE_PASSWORD, REG_DWORD,
                                  setting.bytes.data(), (DWORD)setting.bytes.size());
        if (module == PasswordModule::WithEntry)
            sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)NeverCalledVerifier}});
        if (module == PasswordModule::WithoutEntry)
            sim::InstallModule("PASSWORD.CPL", {{"SomethingElse", (FARPROC)(void *)NeverCalledVerifier}});
    }

    static void ExpectBound(bool bound) {
        EXPECT_EQ(bound, SaverState.verifyEntry == NeverCalledVerifier);
        EXPECT_EQ(bound, SaverState.passwordModule != 0);
        EXPECT_EQ(bound, sim::ScreenSaverRunning());
        EXPECT_EQ(bound ? 1 : 0, sim::ModuleReferences("PASSWORD.CPL"));
    }
};

TEST_F(PasswordProviderTest, BindsOnlyWhenTheSettingAndTheModuleAllowItAndReleasesEverything) {
    for (const BindCase &c : BIND_CASES) {
        SCOPED_TRACE(c.what);
        SetUp();
        Arrange(c.setting, c.module);
        sim::ClearCalls();

        BindPasswordProvider();
        EXPECT_CALLS(sim::Calls(), c.bind);
        ExpectBound(c.binds);
        EXPECT_EQ(0, sim::OpenRegistryKeys());

        sim::ClearCalls();
        ReleasePasswordProvider();
        // Release of a binding: the module goes before the flag.
        EXPECT_CALLS(sim::Calls(), c.binds ? std::vector<ExpectedCall>{UNLOAD, FLAG_OFF}
                                           : std::vector<ExpectedCall>{});
        ExpectBound(false);
    }
}

TEST_F(PasswordProviderTest, AModuleWithoutTheEntryLeavesARunningFlagAsItWas) {
    Arrange(Dword(1), PasswordModule::WithoutEntry);
    SetSaverRunning(1);  // as another saver left it
    BindPasswordProvider();
    ReleasePasswordProvider();
    EXPECT_TRUE(sim::ScreenSaverRunning());
    EXPECT_EQ(0, sim::ModuleReferences("PASSWORD.CPL"));
}

TEST_F(PasswordProviderTest, BindingAgainReleasesTheFirstBindingBeforeReadingTheSetting) {
    struct {
        const char *what;
        DWORD secondValue;
        std::vector<ExpectedCall> second;
    } cases[] = {
        {"still wanted", 1, {UNLOAD, FLAG_OFF, OPEN, QUERY, LOAD, ENTRY, FLAG_ON, CLOSE}},
        {"turned off meanwhile", 0, {UNLOAD, FLAG_OFF, OPEN, QUERY, CLOSE}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Arrange(Dword(1), PasswordModule::WithEntry);
        BindPasswordProvider();
        sim::SetRegistryDword(HKEY_CURRENT_USER, DESKTOP, USE_PASSWORD, c.secondValue);
        sim::ClearCalls();

        BindPasswordProvider();
        EXPECT_CALLS(sim::Calls(), c.second);
        ExpectBound(c.secondValue != 0);
        ReleasePasswordProvider();
        ExpectBound(false);
    }
}

TEST_F(PasswordProviderTest, TheNtFamilyMakesNoRegistryModuleOrFlagCall) {
    const Setting settings[] = {Dword(1), Dword(0), Bytes({1, 0, 0, 0, 0, 0, 0, 0}), NO_VALUE};
    for (const Setting &setting : settings) {
        SetUp();
        sim::SetFamily(sim::Family::Nt);
        SaverState.isWin9xFamily = FALSE;
        Arrange(setting, PasswordModule::WithEntry);
        sim::ClearCalls();

        BindPasswordProvider();
        SetSaverRunning(1);
        ReleasePasswordProvider();
        SetSaverRunning(0);
        EXPECT_CALLS(sim::Calls(), {});
        EXPECT_EQ(nullptr, SaverState.verifyEntry);
        EXPECT_FALSE(sim::ScreenSaverRunning());
    }
}

TEST_F(PasswordProviderTest, TheRunningFlagIsSetWithAScratchForThePreviousState) {
    SetSaverRunning(1);
    EXPECT_TRUE(sim::ScreenSaverRunning());
    SetSaverRunning(0);
    EXPECT_FALSE(sim::ScreenSaverRunning());
    ASSERT_EQ(2, sim::CountCalls("SystemParametersInfoA"));
    for (const sim::Call &call : sim::CallsNamed({"SystemParametersInfoA"}))
        EXPECT_NE(0u, call.args[2].value) << call.Format();
}

// ---------------------------------------------------------------------------------------------
// Changing the password

struct ChangeRequest {
    std::string provider;
    HWND parent;
    DWORD reserved1, reserved2;
    int changerReferences;  // MPR.DLL's count while it ran
};
std::vector<ChangeRequest> changes;

DWORD WINAPI RecordingChanger(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2) {
    changes.push_back({provider, parent, reserved1, reserved2, sim::ModuleReferences("MPR.DLL")});
    return 0;
}

TEST_F(PasswordProviderTest, ChangingThePasswordCallsTheChangerOnceAndFreesWhatItLoaded) {
    enum Mpr { Missing, WithoutEntry, WithEntry, AlreadyLoaded };
    const ExpectedCall load = {"LoadLibraryA", {"MPR.DLL"}};
    const ExpectedCall entry = {"GetProcAddress", {sim::ANY, "PwdChangePasswordA"}};
    const ExpectedCall unload = {"FreeLibrary", {}};
    struct {
        const char *what;
        Mpr mpr;
        std::vector<ExpectedCall> calls;
        int referencesAfter;
    } cases[] = {
        {"no module", Missing, {load}, 0},
        {"module without the entry", WithoutEntry, {load, entry, unload}, 0},
        {"module with the entry", WithEntry, {load, entry, unload}, 0},
        {"module already loaded by someone else", AlreadyLoaded, {load, entry, unload}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        changes.clear();
        HWND parent = sim::CreateForeignWindow("Desk", "Display Properties", {0, 0, 400, 300});
        HMODULE mpr = 0;
        if (c.mpr == WithoutEntry) mpr = sim::InstallModule("MPR.DLL", {{"WNetAddConnectionA", nullptr}});
        if (c.mpr == WithEntry || c.mpr == AlreadyLoaded)
            mpr = sim::InstallModule("MPR.DLL", {{"PwdChangePasswordA", (FARPROC)(void *)RecordingChanger}},
                                     c.mpr == AlreadyLoaded);
        sim::ClearCalls();

        ChangeSaverPassword(parent);
        EXPECT_CALLS(sim::Calls(), c.calls);
        for (const sim::Call &call : sim::CallsNamed({"GetProcAddress", "FreeLibrary"}))
            EXPECT_EQ((ULONG_PTR)mpr, call.args[0].value) << call.Format();
        EXPECT_EQ(c.referencesAfter, sim::ModuleReferences("MPR.DLL"));
        bool called = c.mpr == WithEntry || c.mpr == AlreadyLoaded;
        ASSERT_EQ(called ? 1u : 0u, changes.size());
        if (!called) continue;
        EXPECT_EQ("SCRSAVE", changes[0].provider);
        EXPECT_EQ(parent, changes[0].parent);
        EXPECT_EQ(0u, changes[0].reserved1 | changes[0].reserved2);
        EXPECT_EQ(c.referencesAfter + 1, changes[0].changerReferences) << "called while loaded";
    }
}

}  // namespace
