// The least a saver must do, to measure the saver against: the window and the timer, and nothing
// on a tick.
#include "bench/fixture.h"

void FixtureCreated(HWND) {}

void FixtureTick(HWND) {}
