// The time of day and the time since the saver started.
#include "framework/saver_effect.h"
#include "framework/saver_state.h"

void SaverGetLocalTime(SYSTEMTIME *time) { GetLocalTime(time); }

// The difference of two tick counts is right across the count's wrap.
DWORD SaverGetTickCount(void) { return GetTickCount() - SaverState.startTick; }
