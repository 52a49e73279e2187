// The trace of a session, in its process: each call of the effect as the traces show it, in the
// tick it was made in. Every tick goes to the checker as a digest of its lines, which is all that
// two runs of a session need to be compared by; only the ticks the run asks for go as text (a
// golden trace's, or the tick where two runs were seen to differ). A long session of an effect of
// thousands of calls a tick makes tens of millions of lines: kept or sent, they cost gigabytes.
#include "effect_check/effect_check.h"

#include <cstdio>

namespace effect_check {

namespace {

// FNV-1a, 64 bits: equal lines give equal digests in every run; a line changed changes it.
const ULONGLONG DIGEST_START = 14695981039346656037ull;
const ULONGLONG DIGEST_PRIME = 1099511628211ull;

struct Trace {
    int textFrom = 0, textTo = 0;
    bool endAfterText = false;
    int tick = -1;  // of the digest under way; -1: none yet
    ULONGLONG digest = DIGEST_START;
};
Trace trace;

ULONGLONG Digested(ULONGLONG digest, const std::string &line) {
    for (unsigned char c : line) digest = (digest ^ c) * DIGEST_PRIME;
    return (digest ^ '\n') * DIGEST_PRIME;
}

void SendDigest() {
    if (trace.tick < 0) return;
    char line[64];
    snprintf(line, sizeof line, "%d\t%llx", trace.tick, (unsigned long long)trace.digest);
    SendLine('D', line);
}

}  // namespace

void TraceTicks(int from, int to, bool endAfter) {
    trace = Trace();
    trace.textFrom = from;
    trace.textTo = to;
    trace.endAfterText = endAfter;
}

void TraceLine(int tick, const std::string &line) {
    if (tick != trace.tick) {
        SendDigest();
        if (trace.endAfterText && tick > trace.textTo) EndSessionHere();
        trace.tick = tick;
        trace.digest = DIGEST_START;
    }
    trace.digest = Digested(trace.digest, line);
    if (tick >= trace.textFrom && tick <= trace.textTo) SendLine('T', std::to_string(tick) + "\t" + line);
}

void FinishTrace() {
    SendDigest();
    trace.tick = -1;
}

}  // namespace effect_check
