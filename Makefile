# The README's two commands: `make run` starts the program, `make test` runs
# every test. Each first installs what the machine lacks.
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
BUILD     ?= build
BUILD_ASAN = build-asan
BUILD_TSAN = build-tsan
CMAKE_GEN  = -G Ninja
PROGRAM    = $(BUILD)/bin/STM32_Korvane

.PHONY: all deps build run test test-main test-asan test-tsan screenshots clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ]; then \
	    echo "make run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); start it from a desktop session, or try: xvfb-run make run" >&2; \
	    exit 1; \
	fi
	@cd $(BUILD)/bin && ./STM32_Korvane

test: deps test-main test-asan test-tsan

test-main: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# AddressSanitizer and UndefinedBehaviorSanitizer over every suite.
test-asan: deps
	@cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DKORVANE_SANITIZE=address,undefined -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_ASAN) -j $(JOBS)
	@cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer over the threaded core (no Qt: its libraries are not instrumented).
test-tsan: deps
	@cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DKORVANE_SANITIZE=thread -DKORVANE_WITH_QT=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS)
	@cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# Renders the main window and the precautions form to PNG, offscreen, into docs/.
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD)/tests/bin/render_windows $(BUILD)/bin docs

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN)
