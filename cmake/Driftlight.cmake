# Small helpers shared by every folder's CMakeLists.txt.

include(GoogleTest)

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
                             DRIFTLIGHT_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                       DISCOVERY_TIMEOUT 60)
endfunction()

# driftlight_bench(name SOURCES ... LIBS ...): a Google Benchmark program (not run by CTest).
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
