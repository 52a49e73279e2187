// An effect without settings binds no table: this empty one stands in. It is alone in its file,
// so the linker takes it from the settings library only when the effect defines no
// SaverEffectSettings, and then takes nothing else of that library: the framework's entries are
// null and nothing of the settings code is in the image.
#include "framework/saver_effect.h"

const SAVERSETTINGS SaverEffectSettings = {NULL, NULL, 0, NULL, NULL};
