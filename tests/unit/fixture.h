// What every unit test shares: a fresh simulated machine and process, and the comparison of the
// platform calls a test expects with those the program made.
#pragma once
#include <gtest/gtest.h>

#include "effect/effect.h"
#include "framework/saver_state.h"
#include "sim/sim.h"

#include <vector>

// One expected platform call. Only the arguments given are compared, from the first on; sim::ANY
// matches any value.
struct ExpectedCall {
    const char *name;
    std::vector<sim::Arg> args;
    unsigned flags = 0;
};
enum : unsigned {
    optional = 1,  // may be missing from the record
};

// Compares the record with the expected sequence entry by entry; a failure lists both.
::testing::AssertionResult CallsMatch(const std::vector<sim::Call> &actual,
                                      const std::vector<ExpectedCall> &expected);

class SaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SaverState = SAVERSTATE();
        EffectState = EFFECTSTATE();
    }

    // The window of class "WindowsScreenSaverClass" the program created, once it exists.
    static HWND SaverWindow();

    // A window of the program's own with the given procedure, for driving one procedure of the
    // chain directly. Its class has the saver's style (CS_OWNDC among it).
    static HWND CreateWindowWithProc(WNDPROC proc, HWND parent = 0);

    // The current user asks for a password ("ScreenSaveUsePassword" = 1) and PASSWORD.CPL is
    // installed with verifier as its VerifyScreenSavePwd. Returns the module.
    static HMODULE ProtectWithPassword(VERIFYSCREENSAVEPWD verifier);
};

#define EXPECT_CALLS(actual, ...) EXPECT_TRUE(CallsMatch((actual), __VA_ARGS__))
