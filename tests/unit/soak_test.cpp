// A long run: a million timer ticks in one full-screen session, with the drawing and the
// process's resources checked along the way. SAVER_SOAK_TICKS sets another length (valgrind runs
// a short one).
#include "tests/unit/fixture.h"

#include "startup/modes.h"

#include <cstdlib>
#include <functional>

namespace {

BOOL WINAPI AcceptingVerifier(HWND) { return TRUE; }

long SoakTicks() {
    const char *ticks = getenv("SAVER_SOAK_TICKS");
    return ticks && atol(ticks) > 0 ? atol(ticks) : 1000000;
}

// The lines of a run, computed here from the generator's definition.
struct ExpectedLines {
    DWORD state = 1;
    int Next() {
        state = state * 214013u + 2531011u;
        return (int)((state >> 16) & 0x7FFF);
    }
};

class SoakTest : public SaverTest {};

// Resources between two ticks: no pen, no device context open, the password module bound.
struct Snapshot {
    int gdi, dcs, modules;
    bool running;
    bool operator==(const Snapshot &o) const {
        return gdi == o.gdi && dcs == o.dcs && modules == o.modules && running == o.running;
    }
};
Snapshot Take() {
    return {sim::LiveGdiObjects(), sim::OpenDeviceContexts(), sim::LoadedModules(), sim::ScreenSaverRunning()};
}

TEST_F(SoakTest, AMillionTicksDrawTheSameSequenceAndHoldNoMoreResources) {
    const long ticks = SoakTicks();
    const DWORD TIMER_MS = USER_TIMER_MINIMUM;
    // A check every 10 000 ticks is plenty, and each one drops the record of calls.
    const DWORD CHECK_EVERY_MS = 100000;
    sim::SetFamily(sim::Family::Win9x);
    ProtectWithPassword(AcceptingVerifier);
    sim::SetCommandLine("saver.scr /s");

    const Snapshot during = {0, 0, 1, true};
    int mismatches = 0, checks = 0;
    // Checks fall between ticks; the record of calls is dropped each time, or it would grow for
    // ever. Each check schedules the next, so the script stays short.
    std::function<void()> check = [&] {
        checks++;
        if (!(Take() == during)) mismatches++;
        sim::ClearCalls();
        if (sim::Now() + CHECK_EVERY_MS < ticks * TIMER_MS) sim::After(CHECK_EVERY_MS, check);
    };
    if (CHECK_EVERY_MS < ticks * TIMER_MS) sim::At(CHECK_EVERY_MS + TIMER_MS / 2, check);
    sim::At(ticks * TIMER_MS + TIMER_MS / 2, [] { sim::PressKey(VK_SPACE); });
    sim::StopAt(ticks * TIMER_MS + 60000);

    ASSERT_EQ(0u, sim::RunProgram(SaverMain));
    EXPECT_EQ(0, mismatches) << "of " << checks << " checks";
    EXPECT_EQ((Snapshot{0, 0, 0, false}), Take());

    const std::vector<sim::DrawOp> &drawing = sim::Drawing(SaverState.mainWindow);
    ExpectedLines expected;
    size_t op = 0;
    long wrong = 0;
    for (long line = 1; line <= ticks && op < drawing.size(); line++) {
        int x = expected.Next() % 1500, y = expected.Next() % 1500;
        int red = expected.Next() % 256, green = expected.Next() % 256, blue = expected.Next() % 256;
        int width = expected.Next() % 3;
        const sim::DrawOp &d = drawing[op++];
        wrong += d.kind != sim::DrawOp::Line || d.from.x != 500 || d.from.y != 400 || d.to.x != x ||
                 d.to.y != y || d.penWidth != width || d.penColor != RGB(red, green, blue);
        if (line % 501 == 0 && op < drawing.size()) {
            const sim::DrawOp &f = drawing[op++];
            wrong += f.kind != sim::DrawOp::Fill || f.rop != BLACKNESS || f.rect.left != 0 ||
                     f.rect.top != 0 || f.rect.right != 1024 || f.rect.bottom != 768;
        }
    }
    EXPECT_EQ((size_t)(ticks + ticks / 501), drawing.size());
    EXPECT_EQ(0, wrong);
}

}  // namespace
