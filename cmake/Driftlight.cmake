# Small helpers shared by every folder's CMakeLists.txt.

include(GoogleTest)

# DRIFTLIGHT_RUN: what a test puts before a program of this build that it starts itself, as C
# string text: the emulator and a space for a 32-bit build on a kernel that runs no 32-bit
# process (cmake/i386.cmake), else nothing.
set(DRIFTLIGHT_RUN "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  string(JOIN " " DRIFTLIGHT_RUN ${CMAKE_CROSSCOMPILING_EMULATOR} "")
endif()

# driftlight_add_subdirs(): add every immediate subfolder that has a CMakeLists.txt,
# so tests/, bench/ and fuzz/ grow one folder per subsystem without touching this file.
function(driftlight_add_subdirs)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# driftlight_test(name LABEL label SOURCES ... LIBS ...): a GoogleTest executable registered
# with CTest. Labels: unit (fast, sanitizer-friendly), conformance (real peers), e2e (Xvfb).
function(driftlight_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE DRIFTLIGHT_TESTDATA="${DRIFTLIGHT_TESTDATA}"
                             DRIFTLIGHT_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                             DRIFTLIGHT_BINARY_DIR="${CMAKE_BINARY_DIR}" DRIFTLIGHT_RUN="${DRIFTLIGHT_RUN}")
  set(discovery_mode POST_BUILD)
  if(T_LABEL STREQUAL "conformance")
    # A conformance suite may name its cases after the files in ../shared/testdata, which can
    # appear (or go) after the build: it is listed again before a test run whenever the folder's
    # contents have changed since the last listing.
    set(discovery_mode PRE_TEST)
    set(listing ${CMAKE_CURRENT_BINARY_DIR}/${name}_testdata.txt)
    set(check ${CMAKE_CURRENT_BINARY_DIR}/${name}_testdata.cmake)
    file(WRITE ${check}
      "file(GLOB_RECURSE files \"${DRIFTLIGHT_TESTDATA}/*\")\n"
      "set(before \"\")\n"
      "if(EXISTS \"${listing}\")\n"
      "  file(READ \"${listing}\" before)\n"
      "endif()\n"
      "if(NOT \"\${files}\" STREQUAL \"\${before}\")\n"
      "  file(REMOVE \"${CMAKE_CURRENT_BINARY_DIR}/${name}[1]_tests.cmake\")\n"
      "  file(WRITE \"${listing}\" \"\${files}\")\n"
      "endif()\n")
    # Before the include that gtest_discover_tests adds, so that the listing is redone at once.
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${check})
  endif()
  # A CTest entry whose run selects no test would pass without running anything (a case listed
  # before the test data changed, which no longer exists): such an entry fails instead.
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                       FAIL_REGULAR_EXPRESSION "Running 0 tests from 0 test suites"
                       DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${discovery_mode})
endfunction()

# driftlight_program_test(name COMMAND ... [TIMEOUT seconds]): a unit-labelled test (a script)
# that starts this build's programs itself; DRIFTLIGHT_RUN in its environment is what runs them
# (the emulator of a 32-bit build on a kernel that runs no 32-bit process, else empty).
function(driftlight_program_test name)
  cmake_parse_arguments(P "" "TIMEOUT" "COMMAND" ${ARGN})
  if(NOT P_TIMEOUT)
    set(P_TIMEOUT 600)
  endif()
  add_test(NAME ${name} COMMAND ${P_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT ${P_TIMEOUT}
                       ENVIRONMENT "DRIFTLIGHT_RUN=${CMAKE_CROSSCOMPILING_EMULATOR}")
endfunction()

# driftlight_bench(name SOURCES ... LIBS ...): a Google Benchmark program (not run by CTest).
# driftlight_skipped_test(name LABEL label REASON text): stands in for a suite that cannot be
# built here (its peer library is missing), so that a run lists it as skipped, with the reason,
# instead of leaving it out without a word.
function(driftlight_skipped_test name)
  cmake_parse_arguments(S "" "LABEL;REASON" "" ${ARGN})
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: ${S_REASON}")
  set_tests_properties(${name} PROPERTIES LABELS ${S_LABEL} SKIP_REGULAR_EXPRESSION "SKIPPED: ")
  message(STATUS "${name}: ${S_REASON}")
endfunction()

function(driftlight_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  target_compile_definitions(${name} PRIVATE DRIFTLIGHT_TESTDATA="${DRIFTLIGHT_TESTDATA}"
                             DRIFTLIGHT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()

# driftlight_fuzz(name SOURCES ... LIBS ...): a libFuzzer harness (clang, -DDRIFTLIGHT_FUZZ=ON).
# .ci/run runs every target named fuzz_* for a fixed time.
function(driftlight_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_definitions(${name} PRIVATE DRIFTLIGHT_TESTDATA="${DRIFTLIGHT_TESTDATA}")
  set_property(GLOBAL APPEND PROPERTY DRIFTLIGHT_FUZZ_TARGETS ${name})
endfunction()
