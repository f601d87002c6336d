if(LK_SANITIZE)
  message(STATUS "Sanitizers: ${LK_SANITIZE}")
  add_compile_options(-fsanitize=${LK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${LK_SANITIZE})
  # Instrumented builds run several times slower; tests that compare against
  # real-time figures only report them there.
  add_compile_definitions(LK_SANITIZED_BUILD=1)
endif()
