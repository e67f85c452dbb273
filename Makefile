# make run   installs what is missing, builds (Release with debug info) and starts the show
# make test  installs what is missing, builds and runs the whole CTest suite
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps configure build run test asan clean assets

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD)/build.ninja ]; then \
	  cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo; fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-show.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-tsan
