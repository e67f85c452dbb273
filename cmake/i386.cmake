# The show for 32-bit x86 Linux, built on an x86-64 Debian machine with g++-multilib and the
# :i386 packages of the libraries (tools/install-deps.sh i386 installs them). `make i386` uses it:
#   cmake -S . -B build-i386 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake
# The programs run on the build machine as they are (an x86-64 kernel runs 32-bit processes), so
# this is not set up as a cross build: tests and the build-time tools run directly.
#
# -msse2 -mfpmath=sse: without them gcc's 32-bit code does its float and double maths on the x87
# unit, whose registers hold 80-bit values and round only when a value goes to memory. Where that
# happens depends on register allocation, so a result can differ from x86-64's in the last place,
# and even from itself computed twice: built that way, a face's lighting intensity did not equal
# the same intensity recomputed, and the ball scene's frames came out a pixel apart from x86-64's.
# With SSE2 scalar maths every float operation rounds to float and every double operation to
# double, as on x86-64, and the effects' SSE2 paths compile as they are. SSE2 is a Pentium 4 /
# Athlon 64 baseline; nothing wider is assumed, as for x86-64.
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
