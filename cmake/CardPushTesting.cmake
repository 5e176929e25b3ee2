# The test executables, their CTest labels, and the checks of the sanitizer
# builds.
#
# Labels say what a test needs and exercises; a test may carry several:
#   unit     pure logic in one process: no device, no thread, no window
#   fake     against the recording fake device layer
#   pty      the device layer or the serial port on real pseudo-terminals
#   gui      windows on Qt's offscreen platform, without the simulator
#   e2e      against the controller simulator (the link, the windows, the
#            built executable)
#   threads  starts threads of the tool: run under ThreadSanitizer too
#   fuzz     libFuzzer targets, run for a short time
#   wine     the Windows build under Wine (every test of a cross build)
# The edit-test loop runs unit, fake and gui; ThreadSanitizer runs threads,
# pty and e2e. For every label there is a target, tests-<label>, that builds
# the executables carrying it.
set(CARDPUSH_TEST_LABELS unit fake pty gui e2e threads fuzz wine)

# Tests of a sanitizer build: ASan, LSan and TSan write their reports to
# files, so that those of the simulator (a child of the tests) are seen too,
# and a report fails the run even when its test passed (see the fixture
# below). UBSan stops the program at its first report, which goes to the
# output; scripts/test.sh looks for it in the log as well.
set(CARDPUSH_TEST_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
if(CARDPUSH_SANITIZE)
  set(CARDPUSH_SANITIZER_REPORTS ${PROJECT_BINARY_DIR}/sanitizer-reports)
  set(_supp ${PROJECT_SOURCE_DIR}/scripts)
  list(APPEND CARDPUSH_TEST_ENVIRONMENT
    "ASAN_OPTIONS=log_path=${CARDPUSH_SANITIZER_REPORTS}/asan:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1"
    "LSAN_OPTIONS=suppressions=${_supp}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=log_path=${CARDPUSH_SANITIZER_REPORTS}/tsan:halt_on_error=1:second_deadlock_stack=1:suppressions=${_supp}/tsan.supp")
  # The reports folder is emptied before the first test and checked after
  # the last; CTest adds both to any selection of the tests that need them.
  set(_reports_script ${PROJECT_SOURCE_DIR}/cmake/SanitizerReports.cmake)
  add_test(NAME sanitizer_reports_clear
    COMMAND ${CMAKE_COMMAND} -D DIR=${CARDPUSH_SANITIZER_REPORTS} -D MODE=clear -P ${_reports_script})
  add_test(NAME sanitizer_reports_check
    COMMAND ${CMAKE_COMMAND} -D DIR=${CARDPUSH_SANITIZER_REPORTS} -D MODE=check -P ${_reports_script})
  set_tests_properties(sanitizer_reports_clear PROPERTIES FIXTURES_SETUP sanitizer_reports)
  set_tests_properties(sanitizer_reports_check PROPERTIES FIXTURES_CLEANUP sanitizer_reports)
  file(MAKE_DIRECTORY ${CARDPUSH_SANITIZER_REPORTS})
endif()

# cardpush_check_labels(name labels...): every test has one label at least,
# and only known ones.
function(cardpush_check_labels name)
  if(NOT ARGN)
    message(FATAL_ERROR "test ${name}: give it LABELS (${CARDPUSH_TEST_LABELS})")
  endif()
  foreach(label IN LISTS ARGN)
    if(NOT label IN_LIST CARDPUSH_TEST_LABELS)
      message(FATAL_ERROR "test ${name}: unknown label '${label}' (${CARDPUSH_TEST_LABELS})")
    endif()
    set_property(GLOBAL APPEND PROPERTY CARDPUSH_TESTS_LABELLED_${label} ${name})
  endforeach()
endfunction()

# cardpush_add_test(name SOURCES a.cpp... LIBS lib... LABELS label...
#                   [TIMEOUT s])
# One GoogleTest executable, its tests registered with CTest one by one, each
# carrying the executable's labels.
function(cardpush_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "cardpush_add_test(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(CMAKE_CROSSCOMPILING)
    list(APPEND ARG_LABELS wine)
    list(REMOVE_DUPLICATES ARG_LABELS)
  endif()
  cardpush_check_labels(${name} ${ARG_LABELS})

  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(CMAKE_CROSSCOMPILING)
    # The cross-compiled suite is run by its own script, not discovered at build time.
    add_test(NAME ${name} COMMAND ${name})
    # A crash in one of Wine's own threads ends the program through its
    # debugger, which need not leave a failing exit code.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
      FAIL_REGULAR_EXPRESSION "Unhandled (exception|page fault)")
    return()
  endif()

  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # gtest_discover_tests loses list values among its PROPERTIES: the labels
  # and the environment are set by a file of our own, read by CTest right
  # after the list of discovered tests. An executable that was not built
  # stands as one test, <name>_NOT_BUILT, which fails: it carries the labels
  # too, so that a run of a label never passes over an executable in silence.
  # Each list is quoted whole, so that it stays one value.
  set(args " LABELS [==[${ARG_LABELS}]==] ENVIRONMENT [==[${CARDPUSH_TEST_ENVIRONMENT}]==]")
  if(CARDPUSH_SANITIZE)
    string(APPEND args " FIXTURES_REQUIRED sanitizer_reports")
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${file}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES${args})\n"
    "else()\n"
    "  set_tests_properties(${name}_NOT_BUILT PROPERTIES${args})\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# cardpush_label_targets(): the tests-<label> targets; called once all tests
# are declared.
function(cardpush_label_targets)
  foreach(label IN LISTS CARDPUSH_TEST_LABELS)
    get_property(targets GLOBAL PROPERTY CARDPUSH_TESTS_LABELLED_${label})
    add_custom_target(tests-${label})
    if(targets)
      add_dependencies(tests-${label} ${targets})
    endif()
  endforeach()
endfunction()
