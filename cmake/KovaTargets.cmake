# Shared settings of every kova target.

# Warnings on and fatal; a static C++ runtime so the binaries need nothing
# but system DLLs.
function(kova_target_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wpedantic -Werror -Wno-cast-function-type>)
  target_compile_definitions(${target} PRIVATE
    WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00 STRICT)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY")
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Copies built programs and libraries into the prefix's program folder, where
# the program expects itself and its companions. kova_stage() registers a
# target; kova_finish_stage() (once, at the end of the top-level list) makes
# the "stage" target, which copies on every build so a fresh prefix is filled
# even when nothing was rebuilt.
function(kova_stage target)
  set_property(GLOBAL APPEND PROPERTY KOVA_STAGED_TARGETS ${target})
endfunction()

function(kova_finish_stage)
  get_property(targets GLOBAL PROPERTY KOVA_STAGED_TARGETS)
  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory "${KOVA_STAGE_DIR}")
  foreach(target IN LISTS targets)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${KOVA_STAGE_DIR}/")
  endforeach()
  add_custom_target(stage ALL ${commands} DEPENDS ${targets} VERBATIM)
endfunction()
