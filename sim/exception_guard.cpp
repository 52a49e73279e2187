// The host's structured-exception frame. On Windows the frame is the platform's; here a raise
// (sim::RaiseStructuredException) asks the frames' filters in order and unwinds with a C++
// exception to the frame that chose to handle it.
#include "sim/machine.h"
#include "startup/exception_guard.h"

using namespace sim;

BOOL RunGuarded(GUARDED_BODY body, void *context, GUARD_FILTER filter, LONG *result) {
    int id = M.nextGuardId++;
    M.guardFrames.push_back({filter, id});
    try {
        LONG value = body(context);
        M.guardFrames.pop_back();
        *result = value;
        return TRUE;
    } catch (const StructuredUnwind &unwind) {
        M.guardFrames.pop_back();
        if (unwind.frameId != id) throw;
        return FALSE;
    } catch (...) {
        M.guardFrames.pop_back();
        throw;
    }
}
