# Two entry points on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, starts Tallyvine
#   make test   installs what is missing, builds, runs every test
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run clean format

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

run: build
	@scripts/run-tallyvine $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-fuzz

format:
	find regex net queries core exchange cli ui app tests bench fuzz \
	    -name '*.h' -o -name '*.cpp' | xargs clang-format -i
