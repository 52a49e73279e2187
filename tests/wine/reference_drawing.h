// The expected drawing in a bitmap, to hold against a capture of the screen: what the end-to-end
// driver and the benchmark count the saver's lines with. The lines themselves are in
// expected_lines.h, which the benchmark's floor fixture draws too.
#pragma once
#include "expected_lines.h"
#include "harness.h"

struct ReferenceDrawing : Surface, ExpectedLines {
    using Surface::Surface;

    void DrawLine() { DrawNext(dc, width, height); }

    // Advances until the drawing equals the capture outside `covered`; the line count then is the
    // saver's. The count goes on across clears: the generator never restarts, so no two counts
    // give the same picture, except the empty screens right after each clear, which a caller that
    // needs the total must refuse. -1 when no count up to `limit` further lines matches.
    // `closest`, when asked for, gets the fewest differing pixels seen, which costs a full count
    // per line.
    int MatchCapture(const Surface &capture, int limit, const RECT *covered = nullptr, long *closest = nullptr)
    {
        bool count = closest != nullptr;
        long best = Mismatch(capture, covered, count);
        for (int i = 0; best != 0 && i < limit; i++) {
            DrawLine();
            long d = Mismatch(capture, covered, count);
            if (d < best)
                best = d;
        }
        if (closest)
            *closest = best;
        return best == 0 ? lines : -1;
    }

private:
    // Differing pixels, or without `count` 0 or 1. Every line passes through the start point, so
    // it shows the colour of the latest line: where it differs, one pixel tells what the whole
    // screen would.
    long Mismatch(const Surface &capture, const RECT *covered, bool count) const
    {
        if (count)
            return Differences(capture, covered);
        POINT start = {EXPECTED_START_X, EXPECTED_START_Y};
        bool startShown = start.x < width && start.y < height && !(covered && PtInRect(covered, start));
        if (startShown && At(start.x, start.y) != capture.At(start.x, start.y))
            return 1;
        return Differences(capture, covered, 1);
    }
};
