# A saver of your own: the framework and one effect.
#
#   add_screen_saver(NAME SOURCES file...)
#
# For Windows (presets win32 and win64) it builds NAME.scr exactly as the product is built: no C
# runtime, the framework's own entry and exception guard, imports from the four system DLLs only,
# and a test that checks the image (format, imports, no static constructors, size). A resource
# script (.rc) among the sources is compiled in: an icon SAVER_ICON_ID, a dialog CONFIG_DIALOG_ID
# (framework/saver_effect.h), a version block with the description.
#
# On the host (presets host and host-asan) it builds the effect with the framework against the
# simulated Win32 and checks the effect's contract there, as a test (add_effect_check below).
#
# Sources are taken relative to the folder of the CMakeLists.txt that names them.

function(_saver_absolute_sources out)
    set(absolute)
    foreach(source IN LISTS ARGN)
        get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        list(APPEND absolute "${source}")
    endforeach()
    set(${out} "${absolute}" PARENT_SCOPE)
endfunction()

function(_saver_parse_sources function name)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "GOLDEN" "SOURCES")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${function}(${name}): unexpected ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "${function}(${name}): no SOURCES given")
    endif()
    _saver_absolute_sources(sources ${ARG_SOURCES})
    set(SAVER_ARG_SOURCES "${sources}" PARENT_SCOPE)
    set(SAVER_ARG_GOLDEN "${ARG_GOLDEN}" PARENT_SCOPE)
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

function(add_screen_saver NAME)
    _saver_parse_sources(add_screen_saver ${NAME} ${ARGN})
    add_executable(${NAME} WIN32 $<TARGET_OBJECTS:saver_framework> ${SAVER_ARG_SOURCES})
    target_include_directories(${NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${NAME} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${SAVER_WINDOWS_COMPILE}>")
    # The link map shows the image check what went into the image.
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.map)
    target_link_options(${NAME} PRIVATE ${SAVER_WINDOWS_LINK} -Wl,-Map=${map})
    target_link_libraries(${NAME} PRIVATE saver_settings ${SAVER_WINDOWS_LIBRARIES})
    _saver_name_effect(${NAME} ${NAME})
    set_target_properties(${NAME} PROPERTIES OUTPUT_NAME ${NAME} SUFFIX ".scr")

    set(resources)
    list(FILTER SAVER_ARG_SOURCES INCLUDE REGEX "[.][rR][cC]$")
    if(SAVER_ARG_SOURCES)
        set(resources --with-resources)
    endif()
    add_test(NAME ${NAME}_image_is_a_win95_gui_program
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-image.sh ${resources} $<TARGET_FILE:${NAME}>
                ${CMAKE_SYSTEM_PROCESSOR} ${map})
endfunction()

# The contract check needs the simulator: it runs on the host build only.
function(add_effect_check NAME)
    _saver_parse_sources(add_effect_check ${NAME} ${ARGN})
endfunction()

else()

# add_effect_check(NAME SOURCES file... [GOLDEN file.trace])
#
# NAME_check: the effect with the framework on the simulated Win32, run through scripted
# sessions that check every rule of the effect contract; the test NAME_keeps_the_effect_contract
# runs it. With GOLDEN, the drawing of the first ticks must also match that file.
function(add_effect_check NAME)
    _saver_parse_sources(add_effect_check ${NAME} ${ARGN})
    add_effect_check_program(${NAME} ${SAVER_ARG_SOURCES})
    set(golden)
    if(SAVER_ARG_GOLDEN)
        _saver_absolute_sources(golden ${SAVER_ARG_GOLDEN})
        set(golden --golden ${golden})
    endif()
    add_test(NAME ${NAME}_keeps_the_effect_contract COMMAND ${NAME}_check ${golden})
endfunction()

# NAME_check alone, without its test.
function(add_effect_check_program NAME)
    add_executable(${NAME}_check ${ARGN})
    target_include_directories(${NAME}_check PRIVATE ${PROJECT_SOURCE_DIR})
    # The checker stands between the framework and the effect, both ways (effect_check/).
    target_link_options(${NAME}_check PRIVATE
        -Wl,--wrap=SaverEffectProc -Wl,--wrap=SaverDismissProc)
    target_link_libraries(${NAME}_check PRIVATE
        -Wl,--start-group effect_checker saver_framework saver_settings win32_sim -Wl,--end-group)
    _saver_name_effect(${NAME}_check ${NAME})
endfunction()

function(add_screen_saver NAME)
    _saver_parse_sources(add_screen_saver ${NAME} ${ARGN})
    list(FILTER SAVER_ARG_SOURCES EXCLUDE REGEX "[.][rR][cC]$")
    set(golden)
    if(SAVER_ARG_GOLDEN)
        set(golden GOLDEN ${SAVER_ARG_GOLDEN})
    endif()
    add_effect_check(${NAME} SOURCES ${SAVER_ARG_SOURCES} ${golden})
endfunction()

endif()
