# A GoogleTest executable registered with CTest (tests discovered at test time).
function(lk_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  lk_target_warnings(${name})
  if(LK_SANITIZE MATCHES "thread")
    # Tests that render with OpenGL run Mesa's rasterizer threads, whose own
    # synchronisation ThreadSanitizer cannot see (also in the runner child
    # processes, which inherit TSAN_OPTIONS).
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT_MODIFICATION
        "TSAN_OPTIONS=string_append::suppressions=${PROJECT_SOURCE_DIR}/tests/mesa_tsan.supp")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
