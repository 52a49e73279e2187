# The effect author's guide's skeleton, as a newcomer copies it: it must build as it stands, pass the image check
# in the Windows builds and keep the contract on the host. Taken from the guide at configure
# time, so that the two cannot drift apart.
set(README_EFFECT_START "// My effect:")
file(READ ${PROJECT_SOURCE_DIR}/docs/effects.md readme)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/effects.md)
string(FIND "${readme}" "${README_EFFECT_START}" start)
if(start LESS 0)
    message(FATAL_ERROR "docs/effects.md: no effect starting with \"${README_EFFECT_START}\"")
endif()
string(SUBSTRING "${readme}" ${start} -1 effect)
string(FIND "${effect}" "```" end)
string(SUBSTRING "${effect}" 0 ${end} effect)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/readme_effect/myeffect.cpp CONTENT "${effect}" @ONLY)
add_screen_saver(readme_effect SOURCES ${CMAKE_BINARY_DIR}/readme_effect/myeffect.cpp)
