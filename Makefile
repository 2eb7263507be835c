# Targets a newcomer types. Every target installs the missing Debian packages first.
BUILD       ?= build
SAN_BUILD   ?= build-sanitize
BENCH_BUILD ?= build-bench
WIN_BUILD   ?= build-windows
JOBS        ?= $(shell nproc)
CTEST_ARGS  ?=

.PHONY: all deps configure build run test test-sanitize test-windows bench demo-reset package screenshots clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Starts the program on the demo image: the window when there is a display and the GUI is
# built, otherwise the command-line overview.
run: build
	@bash scripts/run.sh $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS) $(CTEST_ARGS)

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS) $(CTEST_ARGS)

# Cross-builds the Windows program and its tests (mingw-w64) and runs the tests under Wine.
test-windows:
	JOBS=$(JOBS) bash scripts/test-windows.sh $(WIN_BUILD)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target benchmarks
	@for b in $(BENCH_BUILD)/bench-*; do echo "== $$b"; "$$b" || exit 1; done

# Writes the demo image afresh (cleaning and purging change it).
demo-reset: build
	cmake --build $(BUILD) --target demo-reset

# A Debian package of what `cmake --install` puts in place (build/quillon_VERSION_ARCH.deb).
package: build
	cmake --build $(BUILD) --target package

# The README's pictures in docs/, taken on a fresh demo image under a virtual display.
screenshots: build
	cmake --build $(BUILD) --target quillon-screenshots
	xvfb-run -a -s "-screen 0 1280x900x24" $(BUILD)/quillon-screenshots docs

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(BENCH_BUILD) $(WIN_BUILD)
