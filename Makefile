# The two entry points of the README, and the pieces they are made of.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CLI = $(BUILD_DIR)/src/app/zoomreel-cli
DEMO_DIR ?= demo
PACKAGE_BUILD_DIR ?= build-package
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30
# WERROR=ON turns warnings in our own code into errors, as continuous integration does.
WERROR ?= OFF

.PHONY: all setup configure build demo test bench fuzz package clean

all: build

setup:
	@tools/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR_WERROR=$(WERROR) \
		> /dev/null

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

# Every fuzz target (fuzz/) for FUZZ_SECONDS seconds, built with clang's libFuzzer and both
# sanitizers; fails on any finding.
fuzz: setup
	@tools/fuzz.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS)

# The Debian package zoomreel_<version>_<architecture>.deb, from a Release build of the two
# programs alone.
package: setup
	@cmake -S . -B $(PACKAGE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON > /dev/null
	@cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS) --target zoomreel zoomreel-cli zr_manuals
	@cd $(PACKAGE_BUILD_DIR) && cpack -G DEB
	@echo "package: install it with sudo apt-get install ./$$(ls $(PACKAGE_BUILD_DIR)/zoomreel_*.deb | tail -1)"

clean:
	rm -rf $(BUILD_DIR) $(PACKAGE_BUILD_DIR) $(FUZZ_BUILD_DIR)
