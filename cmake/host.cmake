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

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
add_library(win32_sim STATIC ${SIM_SOURCES})
target_include_directories(win32_sim PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(win32_sim PUBLIC win32_headers)

# The simulated program: the product with the platform under it. The entry point is the real one.
add_library(saver_on_sim INTERFACE)
target_link_libraries(saver_on_sim INTERFACE
    -Wl,--start-group saver_product saver_framework saver_settings win32_sim -Wl,--end-group)

# The effect checker: any effect with the framework on the simulated platform, run through
# scripted sessions (add_effect_check).
file(GLOB EFFECT_CHECK_SOURCES CONFIGURE_DEPENDS effect_check/*.cpp)
add_library(effect_checker STATIC ${EFFECT_CHECK_SOURCES})
target_link_libraries(effect_checker PUBLIC saver_framework win32_sim)

# A check records and compares every call of the effect, millions in a long session: the
# simulator and the checker are optimised even in a debug build, or a check of an effect of many
# calls a tick takes minutes. The sanitizers' builds keep them as they are.
if(NOT SAVER_SANITIZE AND NOT SAVER_FUZZ)
    target_compile_options(win32_sim PRIVATE -O2)
    target_compile_options(effect_checker PRIVATE -O2)
endif()
