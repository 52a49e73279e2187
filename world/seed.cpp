// A seed that differs at every start: what differs between two starts of a program on the same
// machine, mixed so that starts a moment apart give seeds far apart.
#include "framework/saver_effect.h"

// Taken once: the effect may ask again and gets the same seed for the whole run.
static DWORD runSeed;

// A bijective mix of 32 bits: every input bit reaches every output bit.
static DWORD Mix(DWORD value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    value ^= value >> 16;
    return value;
}

// The performance counter ticks far faster than the tick count, where the machine has one; the
// process id differs between two starts in the same millisecond.
static DWORD StartDifference(void) {
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    return Mix(GetTickCount()) ^ Mix(GetCurrentProcessId() + 0x9E3779B9u) ^ Mix(counter.LowPart) ^
           counter.HighPart;
}

DWORD SaverGetSeed(void) {
    if (!runSeed) runSeed = Mix(StartDifference()) | 1;
    return runSeed;
}
