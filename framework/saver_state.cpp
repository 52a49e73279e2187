#include "framework/saver_state.h"

SAVERSTATE SaverState;
