// A long random stream of messages, clock steps and cursor moves against the dismissal policy
// and its unlock gate, on the 95 family with a password.
#include "framework/dismiss.h"
#include "password/password.h"
#include "tests/unit/fixture.h"

#include <random>

namespace {

std::mt19937 rng(20261209);
unsigned Below(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); }

BOOL verdict;
int depth;
int verifierCalls;
struct Check {
    DWORD start, end;
};
std::vector<Check> checks;  // those the gate started

const UINT KNOWN_MESSAGES[] = {WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_SETCURSOR,  WM_POWER,
                               WM_POWERBROADCAST, WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN,
                               WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_MOUSEMOVE,  WM_CLOSE,
                               WM_APP,         WM_TIMER,     WM_KEYUP,       WM_CHAR,
                               WM_PAINT,       WM_NULL,      0 /* the AutoPlay query */};

UINT RandomMessage() {
    if (Below(4) == 0) return WM_USER + Below(0x7000);
    UINT message = KNOWN_MESSAGES[Below(sizeof KNOWN_MESSAGES / sizeof *KNOWN_MESSAGES)];
    return message ? message : SaverState.autoPlayMessage;
}

WPARAM RandomWParam() { return Below(2) ? Below(5) : (WPARAM)rng(); }

void DispatchPending() {
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// One step of the world: a message sent or posted, time passing, the cursor moving.
void RandomStep(HWND window) {
    switch (Below(5)) {
    case 0:
        sim::Advance(Below(3) ? Below(250) : Below(2000));
        break;
    case 1:
        sim::PlaceCursor(sim::CursorPos().x + (int)Below(13) - 6, sim::CursorPos().y + (int)Below(13) - 6);
        break;
    case 2:
        PostMessageA(window, RandomMessage(), RandomWParam(), 0);
        break;
    default:
        SendMessageA(window, RandomMessage(), RandomWParam(), (LPARAM)rng());
    }
}

// A dialog that sometimes lets the saver window's messages through and takes its time.
BOOL WINAPI RandomVerifier(HWND window) {
    ++verifierCalls;
    bool fromGate = depth == 0 && SaverState.isVerifying;
    ++depth;
    DWORD start = sim::Now();
    for (unsigned i = Below(4); i > 0; --i) {
        RandomStep(window);
        DispatchPending();
    }
    --depth;
    if (fromGate) checks.push_back({start, sim::Now()});
    return verdict;
}

class DismissPropertyTest : public SaverTest {};

TEST_F(DismissPropertyTest, RefusedPasswordNeverEndsTheSaverAndAcceptedOneEndsChecking) {
    HWND window = CreateWindowWithProc(SaverDismissProc);
    ASSERT_TRUE(window);
    SetTimer(window, 1, 10, NULL);
    SaverState.isWin9xFamily = TRUE;
    SaverState.autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
    SaverState.verifyEntry = RandomVerifier;
    sim::SetTickCount(0xFFF00000u);  // the stream crosses the wrap of the tick counter
    verdict = FALSE;

    for (int step = 0; step < 20000; ++step) {
        RandomStep(window);
        DispatchPending();
        ASSERT_TRUE(IsWindow(window)) << "step " << step;
        ASSERT_FALSE(SaverState.isClosing || SaverState.isVerifying) << "step " << step;
    }
    EXPECT_GT(checks.size(), 100u);
    for (size_t i = 1; i < checks.size(); ++i)
        EXPECT_GE(ElapsedTicks(checks[i - 1].end, checks[i].start), (DWORD)UNLOCK_REPEAT_WINDOW_MS) << i;
    EXPECT_EQ(4u, SaverState.wakeDistance);

    // Keep the window through the accepted close so the rest of the stream still reaches it.
    sim::SetDefWindowProcAnswer(WM_CLOSE, 0);
    verdict = TRUE;
    while (!SaverState.isClosing) {
        RandomStep(window);
        DispatchPending();
    }
    int callsWhenAccepted = verifierCalls;
    int tickReadsWhenAccepted = sim::CountCalls("GetTickCount");
    for (int step = 0; step < 5000; ++step) {
        RandomStep(window);
        DispatchPending();
        ASSERT_TRUE(SaverState.isClosing) << "step " << step;
    }
    EXPECT_EQ(callsWhenAccepted, verifierCalls);
    EXPECT_EQ(tickReadsWhenAccepted, sim::CountCalls("GetTickCount"));
}

}  // namespace
