# The effect that scripts/new-effect.sh starts a newcomer with, written by the script itself: it
# must build as it stands, pass the image check in the Windows builds and keep the contract on the
# host, so the skeleton cannot break unseen.
find_program(SAVER_BASH bash REQUIRED)
set(new_effect_source ${CMAKE_BINARY_DIR}/new_effect/new_effect.cpp)
execute_process(COMMAND ${SAVER_BASH} ${PROJECT_SOURCE_DIR}/scripts/new-effect.sh --print new_effect
                OUTPUT_VARIABLE new_effect_text RESULT_VARIABLE new_effect_result)
if(NOT new_effect_result EQUAL 0)
    message(FATAL_ERROR "scripts/new-effect.sh --print new_effect failed")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/scripts/new-effect.sh ${PROJECT_SOURCE_DIR}/scripts/new-effect.cpp.in)
# Written only when it changed, so that a configure alone rebuilds nothing.
set(new_effect_old "")
if(EXISTS ${new_effect_source})
    file(READ ${new_effect_source} new_effect_old)
endif()
if(NOT new_effect_old STREQUAL new_effect_text)
    file(WRITE ${new_effect_source} "${new_effect_text}")
endif()
add_screen_saver(new_effect SOURCES ${new_effect_source})
