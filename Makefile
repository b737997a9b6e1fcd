# The two entry points of the README, and the pieces they are made of.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CLI = $(BUILD_DIR)/src/app/zoomreel-cli
DEMO_DIR ?= demo

.PHONY: all setup configure build demo test bench clean

all: build

setup:
	@tools/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Makes demo key frames and renders a movie from them.
demo: build
	@tools/demo.sh $(CLI) $(DEMO_DIR)

# Every test: the engine's GoogleTest suites and the dialog's Qt Test suites (headless).
test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@tools/bench.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
