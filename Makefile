# The two commands for a fresh machine:
#   make run    installs what is missing, builds, writes the sample memory card and opens the viewer on it
#   make test   installs what is missing, builds with sanitizers and runs every test with ctest
# and, on demand:
#   make bench  builds without sanitizers and runs the benchmarks

SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
TSAN_BUILD := build/tsan
BENCH_BUILD := build/release
CLANG := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -G Ninja
CONFIG := $(CLANG) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=ON -DKV_FUZZ=ON
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
                 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# Tests never open a window on the developer's desktop nor play sound on its speakers, and real
# input never reaches them.
TEST_ENV := $(SANITIZER_ENV) PLATFORM_PRESENTER=headless PLATFORM_AUDIO=null

.PHONY: deps configure build run test test-main test-tsan bench format clean

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CONFIG) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The viewer runs on the sample card as a removable drive: in a window where a display exists,
# else headless for a few seconds, leaving a picture of its screen.
RUN_ENV := $(SANITIZER_ENV) PLATFORM_REMOVABLE_DRIVES=$(CURDIR)/$(BUILD)/sample-card
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target mkcard tessaly
	@$(SANITIZER_ENV) $(BUILD)/bin/mkcard card $(BUILD)/sample-card
	@$(SANITIZER_ENV) $(BUILD)/bin/mkcard info $(BUILD)/sample-card
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    $(RUN_ENV) PLATFORM_PRESENTER=sdl $(BUILD)/bin/tessaly; \
	else \
	    rm -f $(BUILD)/screenshot.png; \
	    $(RUN_ENV) PLATFORM_PRESENTER=headless PLATFORM_SCREENSHOT=$(CURDIR)/$(BUILD)/screenshot.png \
	        PLATFORM_EXIT_AFTER=6 $(BUILD)/bin/tessaly; \
	    if [ -f $(BUILD)/screenshot.png ]; then \
	        echo "make run: no display here, so the viewer ran headless; its screen after 6 s is $(BUILD)/screenshot.png"; \
	    else \
	        echo "make run: the viewer ended before its screen could be saved" >&2; exit 1; \
	    fi; \
	fi

test: deps
	@set -o pipefail; status=0; \
	$(MAKE) --no-print-directory test-main || status=1; \
	$(MAKE) --no-print-directory test-tsan || status=1; \
	exit $$status

test-main: configure
	@cmake --build $(BUILD) -j $(JOBS)
	@$(TEST_ENV) ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 900

test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) $(CLANG) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TSAN=ON \
	    -DKV_BENCH=OFF -DKV_FUZZ=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target threaded_tests mkcard
	@$(TEST_ENV) ctest --test-dir $(TSAN_BUILD) -L threaded -j $(JOBS) --output-on-failure --timeout 900

bench: deps
	@cmake -S . -B $(BENCH_BUILD) $(CLANG) -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@status=0; \
	for b in $(BENCH_BUILD)/bench/*_bench; do \
	    [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	    echo "== $$(basename "$$b")"; "$$b" || status=1; \
	done; exit $$status

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD)
