# A saver of your own: the framework and one effect.
#
#   add_screen_saver(NAME SOURCES file... [GOLDEN file.trace] [MAX_SIZE bytes]
#                    [WARNINGS_ARE_NOT_ERRORS])
#
# For Windows (presets win32 and win64) it builds NAME.scr exactly as the product is built: no C
# runtime, the framework's own entry and exception guard, imports from the four system DLLs only,
# and a test that checks the image (format, imports, no static constructors; the size it prints,
# and holds to MAX_SIZE when one is given). A resource script (.rc) among the sources is compiled
# in: an icon SAVER_ICON_ID, a dialog CONFIG_DIALOG_ID (framework/saver_effect.h), a version block
# with the description.
#
# Warnings are errors in this tree (-Wall -Wextra -Werror); WARNINGS_ARE_NOT_ERRORS leaves the
# effect's own sources with the warnings but without the errors. The framework keeps them.
#
# On the host (presets host and host-asan) it builds the effect with the framework against the
# simulated Win32 and checks the effect's contract there, as a test (add_effect_check below).
#
# Sources are taken relative to the folder of the CMakeLists.txt that names them.
#
# The build records where each saver's image is, by name, in savers/NAME.path of the build folder
# (scripts/show-effect.sh and bench/run.sh take savers by name). add_saver_image(NAME file...),
# for Windows only, builds the image without its test, as the benchmark's fixtures need.

function(_saver_absolute_sources out)
    set(absolute)
    foreach(source IN LISTS ARGN)
        get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        list(APPEND absolute "${source}")
    endforeach()
    set(${out} "${absolute}" PARENT_SCOPE)
endfunction()

function(_saver_parse_sources function name)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "WARNINGS_ARE_NOT_ERRORS" "GOLDEN;MAX_SIZE" "SOURCES")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${function}(${name}): unexpected ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "${function}(${name}): no SOURCES given")
    endif()
    if(DEFINED ARG_MAX_SIZE AND NOT ARG_MAX_SIZE MATCHES "^[1-9][0-9]*$")
        message(FATAL_ERROR "${function}(${name}): MAX_SIZE takes a number of bytes, not \"${ARG_MAX_SIZE}\"")
    endif()
    _saver_absolute_sources(sources ${ARG_SOURCES})
    set(SAVER_ARG_SOURCES "${sources}" PARENT_SCOPE)
    set(SAVER_ARG_GOLDEN "${ARG_GOLDEN}" PARENT_SCOPE)
    set(SAVER_ARG_MAX_SIZE "${ARG_MAX_SIZE}" PARENT_SCOPE)
    set(SAVER_ARG_WARNINGS_ARE_NOT_ERRORS "${ARG_WARNINGS_ARE_NOT_ERRORS}" PARENT_SCOPE)
endfunction()

# The effect's own sources keep their warnings but stop failing the build on them.
function(_saver_warnings target)
    if(SAVER_ARG_WARNINGS_ARE_NOT_ERRORS)
        target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-Wno-error>")
    endif()
endfunction()

# An effect's settings live under HKEY_CURRENT_USER\Software\NAME (SAVER_SETTINGS).
function(_saver_name_effect target name)
    target_compile_definitions(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:SAVER_NAME=\"${name}\">")
endfunction()

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")

# The framework, compiled once for all the savers of the build.
add_library(saver_framework OBJECT ${SAVER_GUARD} ${SAVER_FRAMEWORK_SOURCES})
target_include_directories(saver_framework PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(saver_framework PRIVATE ${SAVER_WINDOWS_COMPILE})
# The settings code, a library: the image takes it only from an effect that binds a table.
add_library(saver_settings STATIC ${SAVER_SETTINGS_SOURCES})
target_include_directories(saver_settings PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(saver_settings PRIVATE ${SAVER_WINDOWS_COMPILE})
add_library(saver_world STATIC ${SAVER_WORLD_SOURCES})
target_include_directories(saver_world PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(saver_world PRIVATE ${SAVER_WINDOWS_COMPILE})

# The image alone, NAME.scr from the framework and the sources, without its test: what the
# benchmark's framework-alone saver is built with too. The link map goes to NAME.map.
function(add_saver_image NAME)
    add_executable(${NAME} WIN32 $<TARGET_OBJECTS:saver_framework> ${ARGN})
    target_include_directories(${NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${NAME} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${SAVER_WINDOWS_COMPILE}>")
    # The link map shows the image check what went into the image.
    target_link_options(${NAME} PRIVATE ${SAVER_WINDOWS_LINK} -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${NAME}.map)
    target_link_libraries(${NAME} PRIVATE saver_settings saver_world ${SAVER_WINDOWS_LIBRARIES})
    _saver_name_effect(${NAME} ${NAME})
    set_target_properties(${NAME} PROPERTIES OUTPUT_NAME ${NAME} SUFFIX ".scr")
endfunction()

function(add_screen_saver NAME)
    _saver_parse_sources(add_screen_saver ${NAME} ${ARGN})
    # check-effect.sh --wine's build: the checked sources' image only.
    if(SAVER_CHECK_SOURCES)
        return()
    endif()
    add_saver_image(${NAME} ${SAVER_ARG_SOURCES})
    _saver_warnings(${NAME})
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.map)
    # Where the image of each saver of the build is, by its name: scripts/show-effect.sh and
    # bench/run.sh take a saver by name.
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/savers/${NAME}.path CONTENT "$<TARGET_FILE:${NAME}>\n")

    set(options)
    if(SAVER_ARG_MAX_SIZE)
        list(APPEND options --max-size ${SAVER_ARG_MAX_SIZE})
    endif()
    list(FILTER SAVER_ARG_SOURCES INCLUDE REGEX "[.][rR][cC]$")
    if(SAVER_ARG_SOURCES)
        list(APPEND options --with-resources)
    endif()
    add_test(NAME ${NAME}_image_is_a_win95_gui_program
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-image.sh ${options} $<TARGET_FILE:${NAME}>
                ${CMAKE_SYSTEM_PROCESSOR} ${map})
endfunction()

# The contract check needs the simulator: it runs on the host build only.
function(add_effect_check NAME)
    _saver_parse_sources(add_effect_check ${NAME} ${ARGN})
endfunction()

else()

# add_effect_check(NAME SOURCES file... [GOLDEN file.trace] [WARNINGS_ARE_NOT_ERRORS])
#
# NAME_check: the effect with the framework on the simulated Win32, run through scripted
# sessions that check every rule of the effect contract; the test NAME_keeps_the_effect_contract
# runs it. With GOLDEN, the drawing of the first ticks must also match that file.
function(add_effect_check NAME)
    _saver_parse_sources(add_effect_check ${NAME} ${ARGN})
    add_effect_check_program(${NAME} ${SAVER_ARG_SOURCES})
    _saver_warnings(${NAME}_check)
    set(golden)
    if(SAVER_ARG_GOLDEN)
        _saver_absolute_sources(golden ${SAVER_ARG_GOLDEN})
        set(golden --golden ${golden})
    endif()
    add_test(NAME ${NAME}_keeps_the_effect_contract COMMAND ${NAME}_check ${golden})
endfunction()

# The resource compiler of either Windows toolchain: the checker's module carries the effect's
# resources (its bitmaps), compiled from its resource script as the saver's are.
find_program(SAVER_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres)

# A resource script as a source of the checker: compiled, its bytes written into a C++ source.
function(_saver_check_resources target script out)
    if(NOT SAVER_WINDRES)
        message(FATAL_ERROR "${target}: ${script} needs a resource compiler (i686-w64-mingw32-windres, "
                            "Debian package binutils-mingw-w64-i686)")
    endif()
    get_filename_component(folder "${script}" DIRECTORY)
    # What a script names beside it: windres finds it there, and a change to it compiles again.
    file(GLOB pictures ${folder}/*.bmp ${folder}/*.ico ${folder}/*.cur)
    set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
    set(cpp ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
    add_custom_command(OUTPUT ${cpp}
        COMMAND ${SAVER_WINDRES} -O res -I ${PROJECT_SOURCE_DIR} -I ${folder} ${script} -o ${res}
        COMMAND ${CMAKE_COMMAND} -DRES=${res} -DOUT=${cpp} -P ${PROJECT_SOURCE_DIR}/cmake/embed_resources.cmake
        DEPENDS ${script} ${pictures} ${PROJECT_SOURCE_DIR}/cmake/embed_resources.cmake
        COMMENT "Compiling the resources of ${target} for the checker"
        VERBATIM)
    set(${out} ${cpp} PARENT_SCOPE)
endfunction()

# NAME_check alone, without its test.
function(add_effect_check_program NAME)
    set(sources ${ARGN})
    set(scripts ${ARGN})
    list(FILTER sources EXCLUDE REGEX "[.][rR][cC]$")
    list(FILTER scripts INCLUDE REGEX "[.][rR][cC]$")
    list(LENGTH scripts count)
    if(count GREATER 1)
        message(FATAL_ERROR "add_effect_check(${NAME}): one resource script at most, not ${scripts}")
    elseif(count EQUAL 1)
        _saver_check_resources(${NAME}_check ${scripts} resources)
        list(APPEND sources ${resources})
    endif()
    add_executable(${NAME}_check ${sources})
    target_include_directories(${NAME}_check PRIVATE ${PROJECT_SOURCE_DIR})
    # The checker stands between the framework and the effect, both ways, and hands the effect
    # the session's world (effect_check/).
    target_link_options(${NAME}_check PRIVATE
        -Wl,--wrap=SaverEffectProc -Wl,--wrap=SaverDismissProc ${SAVER_WORLD_WRAPS})
    target_link_libraries(${NAME}_check PRIVATE
        -Wl,--start-group effect_checker saver_framework saver_settings saver_world win32_sim -Wl,--end-group)
    _saver_name_effect(${NAME}_check ${NAME})
endfunction()

# The sources as a set: real paths, sorted, without resource scripts.
function(_saver_source_set out)
    set(set)
    foreach(source IN LISTS ARGN)
        if(NOT source MATCHES "[.][rR][cC]$")
            file(REAL_PATH "${source}" source)
            list(APPEND set "${source}")
        endif()
    endforeach()
    list(SORT set)
    set(${out} "${set}" PARENT_SCOPE)
endfunction()

# scripts/check-effect.sh's build: the saver made of the checked sources names its golden trace
# in SAVER_CHECK_GOLDEN_FILE, and no saver is built.
set(SAVER_CHECK_GOLDEN_FILE ${CMAKE_BINARY_DIR}/golden-trace.txt)
function(_saver_name_golden_for_check)
    _saver_source_set(checked ${SAVER_CHECK_SOURCES})
    _saver_source_set(ours ${SAVER_ARG_SOURCES})
    if(SAVER_ARG_GOLDEN AND checked STREQUAL ours)
        _saver_absolute_sources(golden ${SAVER_ARG_GOLDEN})
        file(WRITE ${SAVER_CHECK_GOLDEN_FILE} "${golden}")
    endif()
endfunction()

function(add_screen_saver NAME)
    _saver_parse_sources(add_screen_saver ${NAME} ${ARGN})
    if(SAVER_CHECK_SOURCES)
        _saver_name_golden_for_check()
        return()
    endif()
    set(options)
    if(SAVER_ARG_GOLDEN)
        list(APPEND options GOLDEN ${SAVER_ARG_GOLDEN})
    endif()
    if(SAVER_ARG_WARNINGS_ARE_NOT_ERRORS)
        list(APPEND options WARNINGS_ARE_NOT_ERRORS)
    endif()
    add_effect_check(${NAME} SOURCES ${SAVER_ARG_SOURCES} ${options})
endfunction()

endif()
