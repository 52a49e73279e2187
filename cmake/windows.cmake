# saver.scr for Windows. No C++ runtime features are used, so nothing of libstdc++ is linked in;
# the compiler's own support code is linked statically so that no MinGW DLL is needed.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(SAVER_GUARD startup/exception_guard_i686.cpp)
else()
    set(SAVER_GUARD startup/exception_guard_x86_64.cpp)
endif()

set(SAVER_WINDOWS_COMPILE -fno-exceptions -fno-rtti -fno-threadsafe-statics)
set(SAVER_WINDOWS_LINK -mwindows -static-libgcc -static-libstdc++ -s)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # Subsystem 4.0, or the Windows 95 family refuses to load the program.
    list(APPEND SAVER_WINDOWS_LINK
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
endif()

add_executable(saver WIN32 ${SAVER_GUARD} ${SAVER_SOURCES})
target_include_directories(saver PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(saver PRIVATE ${SAVER_WINDOWS_COMPILE})
target_link_options(saver PRIVATE ${SAVER_WINDOWS_LINK})
target_link_libraries(saver PRIVATE kernel32 user32 gdi32 advapi32)
set_target_properties(saver PROPERTIES OUTPUT_NAME saver SUFFIX ".scr")

enable_testing()
add_test(NAME saver_image_is_a_win95_gui_program
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-image.sh $<TARGET_FILE:saver>
            ${CMAKE_SYSTEM_PROCESSOR})

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS ${PROJECT_SOURCE_DIR}/tests/wine/CMakeLists.txt)
    add_subdirectory(tests/wine)
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    add_subdirectory(bench)
endif()

include(cmake/package.cmake OPTIONAL)
