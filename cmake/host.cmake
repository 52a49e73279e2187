# The host build: the product's sources compiled against Wine's Win32 headers and linked with the
# simulated platform, plus the unit tests. None of Wine's libraries is linked.
set(WINE_WINDOWS_HEADERS /usr/include/wine/wine/windows)
if(NOT EXISTS ${WINE_WINDOWS_HEADERS}/windows.h)
    message(FATAL_ERROR "Win32 headers not found in ${WINE_WINDOWS_HEADERS} (Debian package libwine-dev)")
endif()

option(SAVER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SAVER_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# libFuzzer targets (clang only): everything is instrumented for coverage and checked by the
# sanitizers; only the fuzz targets link libFuzzer's driver.
option(SAVER_FUZZ "Build the libFuzzer targets in tests/fuzz" OFF)
if(SAVER_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(win32_headers INTERFACE)
target_include_directories(win32_headers SYSTEM INTERFACE ${WINE_WINDOWS_HEADERS})
target_compile_definitions(win32_headers INTERFACE NOMINMAX)

# The framework alone, and the product's effect on it (the unit tests' program).
add_library(saver_framework STATIC ${SAVER_FRAMEWORK_SOURCES})
target_include_directories(saver_framework PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(saver_framework PUBLIC win32_headers)
add_library(saver_product STATIC ${LINE_EFFECT_SOURCES})
target_link_libraries(saver_product PUBLIC saver_framework)

add_library(saver_settings STATIC ${SAVER_SETTINGS_SOURCES})
target_link_libraries(saver_settings PUBLIC saver_framework)

add_library(saver_world STATIC ${SAVER_WORLD_SOURCES})
target_link_libraries(saver_world PUBLIC saver_framework)
# The world's calls as the checker routes them to the session's world (effect_check/world.cpp).
set(SAVER_WORLD_WRAPS)
foreach(call SaverGetLocalTime SaverGetTickCount SaverGetSeed SaverGetWindowRect SaverGetVirtualScreen
             SaverGetMonitorRects SaverGetTimeFormat SaverGetDateFormat)
    list(APPEND SAVER_WORLD_WRAPS -Wl,--wrap=${call})
endforeach()

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
add_library(win32_sim STATIC ${SIM_SOURCES})
target_include_directories(win32_sim PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(win32_sim PUBLIC win32_headers)

# The simulated program: the product with the platform under it. The entry point is the real one.
add_library(saver_on_sim INTERFACE)
target_link_libraries(saver_on_sim INTERFACE
    -Wl,--start-group saver_product saver_framework saver_settings saver_world win32_sim -Wl,--end-group)

# The effect checker: any effect with the framework on the simulated platform, run through
# scripted sessions (add_effect_check).
file(GLOB EFFECT_CHECK_SOURCES CONFIGURE_DEPENDS effect_check/*.cpp)
# The functions the import list offers an effect, for the checker's look at what GetProcAddress
# fetches: a line "DLL:function", or with the one architecture it is for.
set(imports ${PROJECT_SOURCE_DIR}/scripts/allowed-imports.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${imports})
file(STRINGS ${imports} offered REGEX "^[A-Za-z0-9]+[.][A-Za-z]+:[A-Za-z0-9_]+( +(i686|x86_64))?$")
list(TRANSFORM offered REPLACE "^[^:]*:([A-Za-z0-9_]+).*$" "    \"\\1\",\n")
string(JOIN "" OFFERED_IMPORTS ${offered})
# The same functions by their modules, each the simulator's own; not those of one architecture,
# the exception guard's unwinding, which an effect does not fetch.
file(STRINGS ${imports} exported REGEX "^[A-Za-z0-9]+[.][A-Za-z]+:[A-Za-z0-9_]+$")
list(TRANSFORM exported REPLACE "^([^:]*):([A-Za-z0-9_]+).*$" "    {\"\\1\", {\"\\2\", (FARPROC)(void *)&\\2}},\n")
string(JOIN "" SYSTEM_EXPORTS ${exported})
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/offered_imports.cpp CONTENT [[
// Made by the build from scripts/allowed-imports.txt: the functions it offers.
#include "effect_check/effect_check.h"

#include <algorithm>

static const char *const OFFERED_IMPORTS[] = {
@OFFERED_IMPORTS@};

bool effect_check::IsOfferedImport(const std::string &name) {
    for (const char *offered : OFFERED_IMPORTS)
        if (name == offered) return true;
    return false;
}

struct SystemExport {
    const char *module;
    sim::Export entry;
};
static const SystemExport SYSTEM_EXPORTS[] = {
@SYSTEM_EXPORTS@};

void effect_check::InstallSystemModules() {
    std::vector<std::string> modules;
    for (const SystemExport &row : SYSTEM_EXPORTS)
        if (std::find(modules.begin(), modules.end(), row.module) == modules.end()) modules.push_back(row.module);
    for (const std::string &module : modules) {
        std::vector<sim::Export> exports;
        for (const SystemExport &row : SYSTEM_EXPORTS)
            if (module == row.module) exports.push_back(row.entry);
        sim::InstallModule(module.c_str(), exports, true);
    }
}
]] @ONLY)
add_library(effect_checker STATIC ${EFFECT_CHECK_SOURCES} ${CMAKE_BINARY_DIR}/offered_imports.cpp)
target_link_libraries(effect_checker PUBLIC saver_framework win32_sim)

# A check records and compares every call of the effect, millions in a long session: the
# simulator and the checker are optimised even in a debug build, or a check of an effect of many
# calls a tick takes minutes. The sanitizers' builds keep them as they are.
if(NOT SAVER_SANITIZE AND NOT SAVER_FUZZ)
    target_compile_options(win32_sim PRIVATE -O2)
    target_compile_options(effect_checker PRIVATE -O2)
endif()
