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

# Copies a built program or library into the prefix's program folder, where
# the program expects itself and its companions.
add_custom_target(stage ALL)
function(kova_stage target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${KOVA_STAGE_DIR}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${KOVA_STAGE_DIR}/"
    VERBATIM)
  add_dependencies(stage ${target})
endfunction()
