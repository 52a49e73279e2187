// What the benchmark's fixtures share with the saver: its window class, its full-screen or preview
// window, its zero-interval timer and its message loop, started from an entry of their own like
// the saver's, without a C runtime. A key ends a fixture full screen. Each fixture defines what it
// does on its window; the rest is fixture.cpp. Fixtures, never part of the product.
//
// Usage: <fixture>.exe /s | /p N
// A fixture counts its timer ticks in a shared 32-bit counter, the file mapping named by the
// environment variable BENCH_TICKS, so the benchmark can read the count over any interval while
// it runs.
#pragma once
#include <windows.h>

// WM_CREATE, before the timer is set.
void FixtureCreated(HWND window);
// Every WM_TIMER, after the count.
void FixtureTick(HWND window);
