# Each target installs only the Debian packages of its own purpose (tools/install-deps.sh
# --print PURPOSE lists them):
# make run   installs what is missing to build the show, builds (Release with debug info), starts it
# make test  installs what is missing for every test, builds and runs the whole CTest suite
# make capture  writes the whole show, picture and sound, to show.mp4 (faster than real time)
# make assets  reruns the generators in tools/ and rewrites the content in assets/
# make package  builds the Debian packages of the show and of its tools (build/driftlight*_*.deb)
# make web   builds the show as a web page into build/web/page (see README)
# make i386  builds the core for 32-bit x86 in build-i386/ (g++-multilib; the SDL program too where
#            libsdl2-dev:i386 installs and the kernel runs 32-bit programs)
# make test-i386  its unit and conformance tests, the same samples and frames as build/, one e2e
#            where it has SDL. Where the kernel runs no 32-bit process, the tests and the
#            comparison run the 32-bit programs under qemu-i386 (cmake/i386.cmake)
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build run test asan clean capture assets web i386 test-i386 package

all: build

# The purpose whose packages a target installs first; the build tree is configured after it, so
# that it finds what that purpose brought (a tree first made by make run finds the test
# libraries when make test configures it again).
PURPOSE ?= test
deps:
	@tools/install-deps.sh $(PURPOSE)

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo; \
	else cmake $(BUILD) >/dev/null; fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the program itself is needed to watch the show. make run ARGS=--gentle: the gentle show.
run: PURPOSE = show
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target driftlight
	@tools/run-show.sh $(BUILD) $(ARGS)

# The show through the offline host into a video file (1280 x 960, 4:4:4, 50 frames a second);
# CAPTURE_OPTIONS=--web for browsers and video sites. See driftlight-capture --help.
CAPTURE ?= show.mp4
CAPTURE_OPTIONS ?=
capture: PURPOSE = capture
capture: configure
	cmake --build $(BUILD) -j $(JOBS) --target driftlight-capture
	$(BUILD)/tools/capture/driftlight-capture -o $(CAPTURE) $(CAPTURE_OPTIONS)

# The two .deb files: driftlight (the show, its manual page, desktop entry, icons and metainfo)
# and driftlight-tools (the capture, modrender and scenerender with their manual pages); see
# README, "Install". Only what goes into them is built, and only what that needs is installed.
package: PURPOSE = package
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target driftlight driftlight-capture modrender scenerender manpages
	cmake --build $(BUILD) --target package

test: build web
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DDRIFTLIGHT_SANITIZE=ON -DDRIFTLIGHT_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(CURDIR)/.ci/lsan.supp \
	  ctest --test-dir build-asan -L unit --output-on-failure -j $(JOBS)

# The same show compiled to WebAssembly: driftlight.html (the page in one file), index.html and
# driftlight.js.
web:
	@tools/install-deps.sh $(if $(filter test,$(MAKECMDGOALS)),test,web)
	@web/build.sh $(BUILD)/web

# 32-bit x86 (-m32, SSE2 maths; cmake/i386.cmake says why), beside the main build. The SDL
# program only where SDL2's 32-bit development files are installed and the kernel runs it.
# I386_NATIVE=OFF runs the 32-bit programs under qemu-i386 even where the kernel could run them
# (the path of a kernel without IA-32 emulation, tried on one that has it).
I386 ?= build-i386
I386_SDL = $(shell PKG_CONFIG_LIBDIR=/usr/lib/i386-linux-gnu/pkgconfig pkg-config --exists sdl2 \
  2>/dev/null && echo ON || echo OFF)
i386:
	@tools/install-deps.sh i386
	cmake -S . -B $(I386) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake -DDRIFTLIGHT_BENCH=OFF \
	  -DDRIFTLIGHT_SDL=$(I386_SDL) $(if $(I386_NATIVE),-DDRIFTLIGHT_I386_NATIVE=$(I386_NATIVE)) \
	  >/dev/null
	cmake --build $(I386) -j $(JOBS)

# The comparison needs modrender and show_frames from the main build as the reference.
test-i386: i386 configure
	cmake --build $(BUILD) -j $(JOBS) --target modrender show_frames close_window
	@if grep -q '^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=.' $(I386)/CMakeCache.txt; then \
	  echo "32-bit x86: the tests run the 32-bit programs under qemu-i386"; \
	else echo "32-bit x86: the tests run natively"; fi
	ctest --test-dir $(I386) -L 'unit|conformance' --output-on-failure -j $(JOBS)
	tools/compare-builds.sh $(BUILD) $(I386)
	@if [ -x $(I386)/driver/driftlight ]; then \
	  tests/e2e/window.sh wm $(I386)/driver/driftlight $(BUILD)/tests/e2e/close_window; \
	elif grep -q '^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=.' $(I386)/CMakeCache.txt; then \
	  echo "32-bit x86: no SDL program (the 32-bit programs run only under qemu-i386 here), so no end-to-end run"; \
	else echo "32-bit x86: no SDL program (libsdl2-dev:i386 is not installed), so no end-to-end run"; fi

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-tsan $(I386)

# make assets  rebuilds the generators and rewrites the content in assets/ (the module, the scene
#              file, the portraits from the photograph in PHOTO, the text strips set in FONT, and
#              the icon files drawn from the portrait and the title)
PHOTO ?= /usr/lib/python3/dist-packages/skimage/data/astronaut.png
FONT  ?= /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
assets: configure
	cmake --build $(BUILD) -j $(JOBS) --target modgen scenegen imagegen
	$(BUILD)/tools/modgen/modgen assets/soundtrack.mod
	$(BUILD)/tools/scenegen/scenegen assets/scene.3ds
	@mkdir -p assets/icons
	$(BUILD)/tools/imagegen/imagegen $(PHOTO) $(FONT) assets
