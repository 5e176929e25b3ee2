# cardpush_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [TIMEOUT s])
# One GoogleTest executable, its tests registered with CTest one by one.
# Window tests run on Qt's offscreen platform, so no display is needed.
function(cardpush_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CARDPUSH_SOURCE_ROOT})
  if(CMAKE_CROSSCOMPILING)
    # The cross-compiled suite is run by its own script, not discovered at build time.
    add_test(NAME ${name} COMMAND ${name})
    # A crash in one of Wine's own threads ends the program through its
    # debugger, which need not leave a failing exit code.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
      FAIL_REGULAR_EXPRESSION "Unhandled (exception|page fault)")
  else()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
