# make run   installs what is missing, builds (Release with debug info) and starts the show
# make test  installs what is missing, builds and runs the whole CTest suite
# make capture  writes the whole show, picture and sound, to show.mp4 (faster than real time)
# make assets  reruns the generators in tools/ and rewrites the content in assets/
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build run test asan clean capture assets

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the program itself is needed to watch the show. make run ARGS=--gentle: the gentle show.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target driftlight
	@tools/run-show.sh $(BUILD) $(ARGS)

# The show through the offline host into a video file; see driftlight-capture --help.
CAPTURE ?= show.mp4
capture: configure
	cmake --build $(BUILD) -j $(JOBS) --target driftlight-capture
	$(BUILD)/tools/capture/driftlight-capture -o $(CAPTURE)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DDRIFTLIGHT_SANITIZE=ON -DDRIFTLIGHT_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(CURDIR)/.ci/lsan.supp \
	  ctest --test-dir build-asan -L unit --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-tsan

# make assets  rebuilds the generators and rewrites the content in assets/ (the module, the scene
#              file, the portraits from the photograph in PHOTO and the text strips set in FONT)
PHOTO ?= /usr/lib/python3/dist-packages/skimage/data/astronaut.png
FONT  ?= /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
assets: configure
	cmake --build $(BUILD) -j $(JOBS) --target modgen scenegen imagegen
	$(BUILD)/tools/modgen/modgen assets/soundtrack.mod
	$(BUILD)/tools/scenegen/scenegen assets/scene.3ds
	$(BUILD)/tools/imagegen/imagegen $(PHOTO) $(FONT) assets
