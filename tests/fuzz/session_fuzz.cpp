// Whole saver sessions on the simulated machine, decoded from the input: the platform family, the
// mode, the password setting, the password module's verdicts, then a stream of messages, input,
// clock steps, cursor moves, close requests and AutoPlay queries from other programs. Between any
// two platform calls of the program the session's invariants are checked; at its end every
// resource must be back where it started.
//
// Input layout, every field optional (missing bytes read as 0):
//   setup byte   bits 0-1 family (0 NT, 1 and 3 the 95 family, 2 version unknown), bit 2 preview,
//                bits 3-4 password setting (no key, no value, 0, 1), bit 5 PASSWORD.CPL installed,
//                bit 6 it exports VerifyScreenSavePwd, bit 7 IMM32.DLL already loaded
//   4 bytes      the tick count at the start
//   count byte   verdicts that follow (at most 15); each verdict byte: bit 0 accept, bits 1-3
//                messages the password dialog pumps, bits 4-7 its pause between them (x10 ms)
//   operations   an opcode byte (bit 7: its delay byte counts 8 ms a unit), a delay byte, arguments
#include "framework/saver_state.h"
#include "effect/effect.h"
#include "startup/modes.h"
#include "sim/sim.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t Byte() { return n ? (n--, *p++) : 0; }
    uint32_t Word() { return Byte() | (uint32_t)Byte() << 8 | (uint32_t)Byte() << 16 | (uint32_t)Byte() << 24; }
    bool Empty() const { return n == 0; }
};

struct Verdict {
    bool accept;
    int pumped;
    DWORD pause;
};

// The messages a window of this kind receives from the platform and from other programs. The
// platform's own lifecycle messages (creation, destruction, quit) are not among them.
const UINT MESSAGES[] = {
    WM_CLOSE,       WM_APP,          WM_TIMER,       WM_MOUSEMOVE,    WM_KEYDOWN,
    WM_SYSKEYDOWN,  WM_LBUTTONDOWN,  WM_RBUTTONDOWN, WM_MBUTTONDOWN,  WM_ACTIVATEAPP,
    WM_POWER,       WM_POWERBROADCAST, WM_SETCURSOR, WM_SHOWWINDOW,   WM_SYSCOMMAND,
    WM_HELP,        WM_CONTEXTMENU,  WM_SETTEXT,     WM_PAINT,        WM_CHAR,
    WM_KEYUP,       WM_ERASEBKGND,   WM_ACTIVATE,    WM_SETFOCUS,     WM_KILLFOCUS,
};
const size_t MESSAGE_KINDS = sizeof MESSAGES / sizeof MESSAGES[0];

// The session under test, as the observer and the verifier see it.
struct Session {
    bool protectedRun;  // full screen on the 95 family with a verifier bound
    std::vector<Verdict> verdicts;
    size_t nextVerdict;
    bool ending;  // the final phase: the user wants out and knows the password
    bool inCheck;
    bool gateAsking;  // the gate's own verify request is on its way and not yet answered
    bool checkEnded;
    DWORD lastCheckEnd;
    bool acceptedByGate;
    bool sawClosing;
    int checks;
    HWND parent;
} S;

Verdict NextVerdict() {
    if (S.ending) return {true, 0, 0};
    if (S.nextVerdict < S.verdicts.size()) return S.verdicts[S.nextVerdict++];
    return {false, 1, 10};
}

// A password dialog: a modal loop that dispatches what arrives, then the verdict.
BOOL WINAPI FuzzVerifier(HWND window) {
    FUZZ_CHECK(S.gateAsking, "the password module was called outside the unlock gate's own request");
    S.gateAsking = false;  // answered once
    FUZZ_CHECK(!S.inCheck, "a password check started while another was running");
    // A check that ended at tick 0xFFFFFFFF leaves the next one unthrottled, as the gate's marker
    // for "no check yet" has that value.
    DWORD since = sim::Now() - S.lastCheckEnd;
    FUZZ_CHECK(!S.checkEnded || S.lastCheckEnd == 0xFFFFFFFFu || since >= 200,
               "a password check started %lu ms after the end of the last", (unsigned long)since);
    S.inCheck = true;
    S.checks++;
    Verdict verdict = NextVerdict();
    for (int i = 0; i < verdict.pumped; i++) {
        MSG msg;
        if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            Sleep(verdict.pause);
            continue;
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage((int)msg.wParam);  // a modal loop hands the quit request on
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    S.inCheck = false;
    S.checkEnded = true;
    S.lastCheckEnd = sim::Now();
    if (verdict.accept) S.acceptedByGate = true;
    (void)window;
    return verdict.accept;
}

HIMC fakeContext;
HIMC WINAPI FakeImmAssociateContext(HWND, HIMC context) {
    HIMC previous = fakeContext;
    fakeContext = context;
    return previous;
}

void Observe(const sim::Call &call) {
    // The gate raises its request flag just before it sends the request; no other sender finds
    // the flag raised during a check. A request not answered lapses with the check.
    if (!SaverState.isVerifying) S.gateAsking = false;
    if (call.name == "SendMessageA" && call.args.size() > 1 && SaverState.isVerifyRequested &&
        SaverState.isVerifying && call.args[0].value == (ULONG_PTR)SaverState.mainWindow &&
        call.args[1].value == WM_APP)
        S.gateAsking = true;
    if (SaverState.isClosing) S.sawClosing = true;
    FUZZ_CHECK(SaverState.isClosing || !S.sawClosing, "isClosing went back to false (at %s)",
               call.name.c_str());
    if (!S.protectedRun || !SaverState.mainWindow) return;
    bool closesWindow = call.name == "DefWindowProcA" && call.args.size() > 1 &&
                        call.args[0].value == (ULONG_PTR)SaverState.mainWindow &&
                        call.args[1].value == WM_CLOSE;
    bool endsLoop = call.name == "PostQuitMessage" || call.name == "DestroyWindow";
    FUZZ_CHECK(!(closesWindow || endsLoop) || S.acceptedByGate,
               "the protected saver is ending (%s) without an accepted password check",
               call.name.c_str());
}

HWND Saver() { return SaverState.mainWindow; }

void PutMessage(bool send, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!Saver()) return;
    // The platform would call a posted WM_TIMER's lParam as a timer procedure.
    if (message == WM_TIMER && !send) lParam = 0;
    if (send)
        SendMessageA(Saver(), message, wParam, lParam);
    else
        PostMessageA(Saver(), message, wParam, lParam);
}

void ScheduleOperations(Reader &in, DWORD *at) {
    static const UINT BUTTONS[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    while (!in.Empty()) {
        uint8_t opcode = in.Byte();
        DWORD delay = in.Byte();
        *at += (opcode & 0x80) ? delay * 8 : delay;
        switch ((opcode & 0x7F) % 11) {
        case 0:
        case 1: {
            uint8_t kind = in.Byte();
            UINT message = kind < 200 ? MESSAGES[kind % MESSAGE_KINDS] : WM_USER + in.Byte() * 64u;
            WPARAM wParam = (WPARAM)(LONG_PTR)(LONG)in.Word();
            LPARAM lParam = (LPARAM)(LONG)in.Word();
            bool send = (opcode & 0x7F) % 11 == 1;
            sim::At(*at, [=] { PutMessage(send, message, wParam, lParam); });
            break;
        }
        case 2: {
            WPARAM key = in.Byte();
            bool system = key & 1;
            sim::At(*at, [=] { system ? sim::PressSysKey(key) : sim::PressKey(key); });
            break;
        }
        case 3: {
            UINT button = BUTTONS[in.Byte() % 3];
            sim::At(*at, [=] { sim::Click(button); });
            break;
        }
        case 4: {
            int dx = (int8_t)in.Byte(), dy = (int8_t)in.Byte();
            sim::At(*at, [=] { sim::MoveMouseBy(dx, dy); });
            break;
        }
        case 5: {
            int x = (int16_t)(in.Byte() | in.Byte() << 8), y = (int16_t)(in.Byte() | in.Byte() << 8);
            sim::At(*at, [=] { sim::PlaceCursor(x, y); });
            break;
        }
        case 6:
            sim::At(*at, [] { PutMessage(false, WM_CLOSE, 0, 0); });
            break;
        case 7:
            sim::At(*at, [] {
                if (Saver()) SendMessageA(Saver(), RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0);
            });
            break;
        case 8:
            sim::At(*at, [] { sim::ActivateOtherApplication(); });
            break;
        case 9:
            sim::At(*at, [] {
                if (S.parent) sim::DestroyForeignWindow(S.parent);
            });
            break;
        case 10: {
            int x = (int8_t)in.Byte(), y = (int8_t)in.Byte();
            sim::At(*at, [=] { sim::MoveMouse(x * 8, y * 8); });
            break;
        }
        }
    }
}

// The user wants the saver gone and knows the password: keys until it ends.
void ScheduleEnding(DWORD at) {
    sim::At(at, [] {
        S.ending = true;
        if (S.parent) sim::DestroyForeignWindow(S.parent);
    });
    for (int i = 0; i < 20; i++) sim::At(at + 20 + 250 * i, [] { sim::PressKey(VK_SPACE); });
    sim::StopAt(at + 6000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader in{data, size};
    sim::Reset();
    SaverState = SAVERSTATE();
    EffectState = EFFECTSTATE();
    S = Session();
    fakeContext = (HIMC)(ULONG_PTR)0x7700;

    uint8_t setup = in.Byte();
    int family = setup & 3;
    bool preview = setup & 4;
    int setting = (setup >> 3) & 3;
    bool installed = setup & 0x20, exported = setup & 0x40, imeLoaded = setup & 0x80;
    sim::SetFamily(family == 0 ? sim::Family::Nt
                   : family == 2 ? sim::Family::VersionFails : sim::Family::Win9x);
    const char *desktop = "Control Panel\\Desktop";
    if (setting == 1) sim::CreateRegistryKey(HKEY_CURRENT_USER, desktop);
    if (setting >= 2) sim::SetRegistryDword(HKEY_CURRENT_USER, desktop, "ScreenSaveUsePassword", setting - 2);
    if (installed) {
        if (exported)
            sim::InstallModule("PASSWORD.CPL", {{"VerifyScreenSavePwd", (FARPROC)(void *)FuzzVerifier}});
        else
            sim::InstallModule("PASSWORD.CPL", {});
    }
    if (imeLoaded)
        sim::InstallModule("IMM32.DLL", {{"ImmAssociateContext", (FARPROC)(void *)FakeImmAssociateContext}}, true);
    S.protectedRun = !preview && family % 2 == 1 && setting == 3 && installed && exported;

    DWORD start = in.Word();
    sim::SetTickCount(start);
    for (int i = 0, count = in.Byte() % 16; i < count; i++) {
        uint8_t v = in.Byte();
        S.verdicts.push_back({(v & 1) != 0, (v >> 1) & 7, (DWORD)(v >> 4) * 10});
    }

    char commandLine[64] = "saver.scr /s";
    if (preview) {
        S.parent = sim::CreateForeignWindow("Display", "Display Properties", {10, 10, 162, 122});
        snprintf(commandLine, sizeof commandLine, "saver.scr /p %lu", (unsigned long)(ULONG_PTR)S.parent);
    }
    sim::SetCommandLine(commandLine);
    sim::PlaceCursor(300, 200);

    DWORD at = start + 5;
    ScheduleOperations(in, &at);
    ScheduleEnding(at + 10);

    int liveGdi = sim::LiveGdiObjects(), openDcs = sim::OpenDeviceContexts();
    int loaded = sim::LoadedModules();
    sim::ObserveCalls(Observe);

    UINT code = 0;
    try {
        code = sim::RunProgram(SaverMain);
    } catch (const sim::RunStopped &) {
        FUZZ_CHECK(false, "the saver did not end although the user pressed keys and the password was accepted");
    } catch (const sim::WaitsForever &) {
        FUZZ_CHECK(false, "the saver waits for a message that can never arrive");
    }
    sim::ObserveCalls(nullptr);

    FUZZ_CHECK(code == 0, "exit code %u", code);
    FUZZ_CHECK(!S.protectedRun || S.acceptedByGate, "the protected saver ended without an accepted check");
    FUZZ_CHECK(sim::ProgramWindows().empty(), "a window of the saver outlived the session");
    FUZZ_CHECK(sim::LiveGdiObjects() == liveGdi, "GDI objects: %d, at the start %d", sim::LiveGdiObjects(), liveGdi);
    FUZZ_CHECK(sim::OpenDeviceContexts() == openDcs, "device contexts: %d, at the start %d",
               sim::OpenDeviceContexts(), openDcs);
    FUZZ_CHECK(sim::LoadedModules() == loaded, "loaded modules: %d, at the start %d", sim::LoadedModules(), loaded);
    FUZZ_CHECK(sim::OpenRegistryKeys() == 0, "registry keys left open: %d", sim::OpenRegistryKeys());
    FUZZ_CHECK(!sim::ScreenSaverRunning(), "the running-saver flag is still set");
    return 0;
}
