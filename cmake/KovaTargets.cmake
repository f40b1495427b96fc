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
    # The debug information goes to <file>.debug beside the binary, which
    # names it for the debugger. Wine reads a whole image into memory when it
    # starts it, debug sections included: kept inside, they cost kova.exe
    # some 3.5 MB of private memory and a part of its start-up.
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
              $<TARGET_FILE_NAME:${target}>
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      VERBATIM)
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

# One static library per layer of the program. A layer sees the folders and
# single headers it is given, plus those of the layers it links, through a
# view of symbolic links in the build tree (build/layers/<target>); the
# source tree itself is on no layer's include path. So an include that points
# upward names a file the compiler cannot find, and the build stops there.
#
#   kova_layer(<target> [FOLDERS <folder>...] [HEADERS <header>...]
#              [LINKS <library>...])
function(kova_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;HEADERS;LINKS")
  add_library(${target} STATIC)
  kova_target_defaults(${target})
  set(view "${CMAKE_BINARY_DIR}/layers/${target}")
  foreach(path IN LISTS arg_FOLDERS arg_HEADERS)
    get_filename_component(parent "${view}/${path}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${path}" "${view}/${path}" SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC "${view}")
  target_link_libraries(${target} PUBLIC ${arg_LINKS})
  set_property(GLOBAL APPEND PROPERTY KOVA_LAYERS ${target})
endfunction()

# A layer whose subsystem has no code yet still has to exist for the layers
# above to link it; CMake refuses a library without sources, so such a layer
# gets an empty one. Called once, after every folder has added its sources.
function(kova_finish_layers)
  get_property(layers GLOBAL PROPERTY KOVA_LAYERS)
  set(empty "${CMAKE_BINARY_DIR}/layers/empty_layer.cpp")
  file(CONFIGURE OUTPUT "${empty}" CONTENT "// A layer without code of its own yet.\n")
  foreach(layer IN LISTS layers)
    get_target_property(sources ${layer} SOURCES)
    if(NOT sources)
      target_sources(${layer} PRIVATE "${empty}")
    endif()
  endforeach()
endfunction()
