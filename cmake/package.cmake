# The Windows download: saver.scr, and the example savers rings.scr, polarnight.scr, clock.scr,
# melt.scr and balloons.scr built on the same framework, for 32-bit and for 64-bit Windows with the install note, in one zip. The x86-64 build packs it and takes the 32-bit image from the win32 build folder, which it
# brings up to date first:
#   cmake --preset win32 && cmake --preset win64 && cmake --build --preset win64 --target package
# gives build/win64/saver-<version>.zip.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    return()
endif()

set(SAVER_WIN32_BUILD_DIR "${PROJECT_SOURCE_DIR}/build/win32" CACHE PATH
    "The 32-bit build whose saver.scr goes into the package")

# The note is read with Notepad, which before Windows 10 shows bare line feeds as one long line.
# A checkout on Windows may already have CRLF.
set(SAVER_INSTALL_NOTE "${CMAKE_BINARY_DIR}/package/README.txt")
file(READ "${PROJECT_SOURCE_DIR}/docs/windows.md" SAVER_NOTE_TEXT)
string(REPLACE "\r\n" "\n" SAVER_NOTE_TEXT "${SAVER_NOTE_TEXT}")
string(REPLACE "\n" "\r\n" SAVER_NOTE_TEXT "${SAVER_NOTE_TEXT}")
file(WRITE "${SAVER_INSTALL_NOTE}" "${SAVER_NOTE_TEXT}")
set_property(DIRECTORY APPEND PROPERTY
    CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/docs/windows.md")

# Runs when the package is assembled, not when this build is configured: the 32-bit build may be
# made, or remade, at any time in between. A 64-bit image under x86/ would not even load on the
# systems that need that folder, so the machine field of the image is checked too.
set(SAVER_CHECK_WIN32_BUILD [[
    set(dir "@SAVER_WIN32_BUILD_DIR@")
    set(howto "build it first with `cmake --preset win32 && cmake --build --preset win32`")
    string(APPEND howto ", or set SAVER_WIN32_BUILD_DIR to its folder")
    if(NOT EXISTS "${dir}/CMakeCache.txt")
        message(FATAL_ERROR "No 32-bit build in ${dir}: ${howto}.")
    endif()
    execute_process(COMMAND "@CMAKE_COMMAND@" --build "${dir}" RESULT_VARIABLE failed)
    foreach(image "${dir}/saver.scr" "${dir}/examples/rings.scr"
            "${dir}/examples/polarnight.scr" "${dir}/examples/clock.scr" "${dir}/examples/melt.scr"
            "${dir}/examples/balloons.scr")
        if(failed OR NOT EXISTS "${image}")
            message(FATAL_ERROR "The 32-bit build in ${dir} did not produce ${image}: ${howto}.")
        endif()
        file(READ "${image}" peOffset OFFSET 60 LIMIT 4 HEX)
        string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" peOffset "${peOffset}")
        math(EXPR machineOffset "0x${peOffset} + 4")
        file(READ "${image}" machine OFFSET ${machineOffset} LIMIT 2 HEX)
        if(NOT machine STREQUAL "4c01")
            message(FATAL_ERROR "${image} is not a 32-bit x86 image (machine ${machine}): ${howto}.")
        endif()
    endforeach()
]])
# Bracketed so that its own variables wait for install time; only the @...@ values are the build's.
string(CONFIGURE "${SAVER_CHECK_WIN32_BUILD}" SAVER_CHECK_WIN32_BUILD @ONLY)
install(CODE "${SAVER_CHECK_WIN32_BUILD}" COMPONENT download)
install(FILES "${SAVER_WIN32_BUILD_DIR}/saver.scr" "${SAVER_WIN32_BUILD_DIR}/examples/rings.scr"
    "${SAVER_WIN32_BUILD_DIR}/examples/polarnight.scr" "${SAVER_WIN32_BUILD_DIR}/examples/clock.scr"
    "${SAVER_WIN32_BUILD_DIR}/examples/melt.scr" "${SAVER_WIN32_BUILD_DIR}/examples/balloons.scr"
    DESTINATION x86 COMPONENT download)
install(TARGETS saver rings polarnight clock melt balloons RUNTIME DESTINATION x64 COMPONENT download)
install(FILES "${SAVER_INSTALL_NOTE}" DESTINATION . COMPONENT download)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME saver)
set(CPACK_PACKAGE_FILE_NAME saver-${PROJECT_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};saver;download;/")
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/[.]git/")
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
