// The effect's resources in the simulated module: what its resource script compiles to, as the
// saver's image carries it (add_effect_check compiles the script into the checker).
#include "effect_check/effect_check.h"

#include <cstddef>

// Defined only in a checker whose effect has a resource script: left undefined, they are null.
extern const unsigned char SaverCheckResources[] __attribute__((weak));
extern const size_t SaverCheckResourcesSize __attribute__((weak));

namespace effect_check {

bool AddEffectResources() {
    if (!&SaverCheckResourcesSize || !SaverCheckResources) return true;
    return sim::AddCompiledResources(SaverCheckResources, SaverCheckResourcesSize);
}

}  // namespace effect_check
