# Warnings are errors for our own targets.
function(lk_target_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough)
  # g++ 12 at -O2/-O3 reports "may be used uninitialized" inside std::expected
  # and std::optional moves that are initialised on every path. The checked
  # builds (default, sanitizers) keep the warning; optimised builds skip it.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE
      $<$<CONFIG:Release,RelWithDebInfo>:-Wno-maybe-uninitialized>)
  endif()
endfunction()

# One library target per subsystem.
function(lk_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  lk_target_warnings(${name})
endfunction()
