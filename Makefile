# Thin wrapper over CMake. `make test` and `make demo` work on a fresh machine.
BUILD ?= build
JOBS ?= $(shell nproc)
# Tests need a display; without one they run under Xvfb (the demo sees to its own).
XRUN := $(if $(DISPLAY),,xvfb-run -a -s "-screen 0 1280x1024x24")
# The sanitizer and fuzz builds test this tree, not the packed players.
NO_PLAYERS := -DQH_PORTABLE_PLAYER=OFF -DQH_WINDOWS_PLAYER=OFF
# Every build compiles through the machine's compiler cache, shared by every
# clone (scripts/ccache.sh); QH_CCACHE=0 builds without it, to the same result.
QH_CCACHE ?= 1
export QH_CCACHE
CONFIGURE := -DQH_CCACHE=$(if $(filter 0,$(QH_CCACHE)),OFF,ON)
CCACHE_MARK := $(BUILD)/ccache-at-start

.PHONY: deps configure build test test-sanitize test-tsan test-unit test-windows demo bench fuzz clean check-portable

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CONFIGURE) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every tier runs as many tests at once as there are cores, and none needs
# to run alone: a unit test touches only its own scratch folder; a GL test
# draws into a framebuffer of its own in a hidden window, so any number share
# one display; an end-to-end test that looks at a window or sends keys starts
# an Xvfb of its own, the farm's cluster takes free ports, and every check
# waits for what it looks for (a frame, a colour, a position in the sound)
# with deadlines far beyond what a loaded machine needs.
test: deps
	@bash scripts/ccache.sh --mark $(CCACHE_MARK)
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && $(XRUN) ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitize
	@$(MAKE) --no-print-directory test-tsan
	@bash scripts/ccache.sh --report $(CCACHE_MARK)

# The unit and GL tiers again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (undefined behaviour is fatal). Leak reports are
# off: the GL driver and SDL keep allocations to the end of the process; the
# fuzz targets run with leak detection on (fuzz/README.md). One allocation
# of over 1 GiB aborts the run: no test needs one, and a decoder asking for
# it on a small input is a fault.
test-sanitize: deps
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQH_SANITIZE=ON -DQH_BENCH=OFF $(NO_PLAYERS) $(CONFIGURE) >/dev/null
	@cmake --build build-sanitize -j $(JOBS) --target unit_tests gl_tests
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=0:max_allocation_size_mb=1024 $(XRUN) ctest --output-on-failure -L "unit|gl" -j $(JOBS)

# The tests whose threads share data (tsan_tests in tests/CMakeLists.txt)
# built with ThreadSanitizer; a race ends the test with a report.
test-tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQH_TSAN=ON -DQH_BENCH=OFF $(NO_PLAYERS) $(CONFIGURE) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target tsan_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -L tsan -j $(JOBS)

test-unit: build
	cd $(BUILD) && ctest --output-on-failure -L unit

# The Windows player under Wine (scripts/check-windows.sh; make test runs it
# too). Skipped, with the reason, where the build has no Windows player or
# the machine no Wine.
test-windows: build
	cd $(BUILD) && ctest --output-on-failure -L windows

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

fuzz: deps
	@cmake -S . -B build-fuzz -DQH_FUZZ=ON -DQH_TESTS=OFF -DQH_BENCH=OFF $(NO_PLAYERS) $(CONFIGURE) \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-fuzz -j $(JOBS)

clean:
	rm -rf $(BUILD) build-fuzz build-sanitize build-tsan

# Builds, packs the showcase into $(BUILD)/showcase and plays it; without a
# display under Xvfb, with screenshots in $(BUILD)/showcase-shots/.
demo:
	@BUILD=$(BUILD) bash scripts/demo.sh

# Packs the showcase and plays it in a fresh Debian 12 root that has only the
# system's libraries (scripts/check-portable.sh; skipped, status 77, where it
# cannot run).
check-portable: build
	@BUILD=$(BUILD) bash scripts/check-portable.sh
