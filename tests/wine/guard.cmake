# The exception guard under Wine: guard_probe_O0.exe, guard_probe_Os.exe and guard_probe_O2.exe,
# each built as the saver is (no C runtime) with the product's guard compiled at the same level,
# for guard-cases.sh. The level after the build type's own flags wins.
foreach(level O0 Os O2)
    set(probe guard_probe_${level})
    add_executable(${probe} WIN32 guard_probe.cpp
        ${PROJECT_SOURCE_DIR}/startup/exception_guard_${CMAKE_SYSTEM_PROCESSOR}.cpp)
    target_include_directories(${probe} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${probe} PRIVATE ${SAVER_WINDOWS_COMPILE} -${level})
    target_link_options(${probe} PRIVATE ${SAVER_WINDOWS_LINK})
    target_link_libraries(${probe} PRIVATE ${SAVER_WINDOWS_LIBRARIES})
endforeach()
