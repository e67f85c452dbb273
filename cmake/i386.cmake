# The show for 32-bit x86 Linux, built on an x86-64 Debian machine with g++-multilib and the
# :i386 packages of the libraries (tools/install-deps.sh i386 installs them). `make i386` uses it:
#   cmake -S . -B build-i386 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake
#
# It is set up as a cross build, so that what runs during the build (the asset embedder) is
# compiled for the build machine, whatever that machine can run. Whether the build machine runs
# the 32-bit programs themselves depends on its kernel: most x86-64 kernels do (IA-32
# emulation), some are built without it and refuse them with "Exec format error". This file finds
# out once, by running a tiny -m32 program. Where the kernel runs it, the tests run the 32-bit
# programs directly; where it does not, through qemu-i386's user-mode emulation (Debian's
# qemu-user), as CMAKE_CROSSCOMPILING_EMULATOR, which add_test and gtest_discover_tests put
# before every test program. tools/compare-builds.sh reads the same setting from the cache.
#
# -msse2 -mfpmath=sse: without them gcc's 32-bit code does its float and double maths on the x87
# unit, whose registers hold 80-bit values and round only when a value goes to memory. Where that
# happens depends on register allocation, so a result can differ from x86-64's in the last place,
# and even from itself computed twice: built that way, a face's lighting intensity did not equal
# the same intensity recomputed, and the ball scene's frames came out a pixel apart from x86-64's.
# With SSE2 scalar maths every float operation rounds to float and every double operation to
# double, as on x86-64, and the effects' SSE2 paths compile as they are. SSE2 is a Pentium 4 /
# Athlon 64 baseline; nothing wider is assumed, as for x86-64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DRIFTLIGHT_I386_FLAGS "-m32 -msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${DRIFTLIGHT_I386_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${DRIFTLIGHT_I386_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Libraries, CMake packages and pkg-config files of the i386 architecture only: a 64-bit one
# found by mistake would fail at link time, far from the cause.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The probe runs once per build tree (the answer is cached), and not in CMake's own compiler
# checks, which read this file again and run nothing.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT in_try_compile AND NOT DEFINED CACHE{DRIFTLIGHT_I386_NATIVE})
  set(probe_dir ${CMAKE_BINARY_DIR}/i386-probe)
  file(WRITE ${probe_dir}/probe.c "int main(void) { return 0; }\n")
  find_program(probe_cc NAMES cc gcc clang NO_CACHE)
  execute_process(COMMAND ${probe_cc} -m32 ${probe_dir}/probe.c -o ${probe_dir}/probe
                  RESULT_VARIABLE built OUTPUT_QUIET ERROR_QUIET)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "${probe_cc} -m32 cannot build a 32-bit x86 program here "
                        "(Debian: g++-multilib; tools/install-deps.sh i386 installs it)")
  endif()
  execute_process(COMMAND ${probe_dir}/probe RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
  if(ran EQUAL 0)
    set(native ON)
  else()
    set(native OFF)
  endif()
  set(DRIFTLIGHT_I386_NATIVE ${native} CACHE BOOL
      "This machine's kernel runs 32-bit x86 programs (else they run under qemu-i386)")
  file(REMOVE_RECURSE ${probe_dir})
endif()

if(NOT in_try_compile AND NOT DRIFTLIGHT_I386_NATIVE)
  find_program(DRIFTLIGHT_QEMU_I386 NAMES qemu-i386 qemu-i386-static)
  if(NOT DRIFTLIGHT_QEMU_I386)
    message(FATAL_ERROR "This machine's kernel runs no 32-bit x86 program, and qemu-i386 is "
                        "missing to run them under emulation (Debian: qemu-user; "
                        "tools/install-deps.sh i386 installs it)")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DRIFTLIGHT_QEMU_I386} CACHE FILEPATH
      "What runs this build's programs on the build machine" FORCE)
  set(how "the tests run the 32-bit programs under ${DRIFTLIGHT_QEMU_I386}")
elseif(NOT in_try_compile)
  unset(CMAKE_CROSSCOMPILING_EMULATOR CACHE)
  set(how "this kernel runs 32-bit programs; the tests run them directly")
endif()
get_property(reported GLOBAL PROPERTY DRIFTLIGHT_I386_REPORTED)
if(NOT in_try_compile AND NOT reported)
  message(STATUS "32-bit x86: ${how} (DRIFTLIGHT_I386_NATIVE=OFF forces the emulator)")
  set_property(GLOBAL PROPERTY DRIFTLIGHT_I386_REPORTED TRUE)
endif()
