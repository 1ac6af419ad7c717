# The README's two commands: `make run` starts the program, `make test` runs
# every test. Each first installs what the machine lacks.
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
BUILD     ?= build
BUILD_ASAN = build-asan
BUILD_TSAN = build-tsan
BUILD_FUZZ = build-fuzz
# How long `make fuzz` runs each fuzz target, in seconds.
FUZZ_SECONDS ?= 30
# Every verdict holds the first time: timing is checked on the virtual clock, and
# the few real-time runs through a pseudo-terminal run alone (RUN_SERIAL) with
# margins a loaded machine keeps. No test gets a second chance.
CTEST      = ctest --output-on-failure -j $(JOBS)
CMAKE_GEN  = -G Ninja
PROGRAM    = $(BUILD)/bin/STM32_Korvane

.PHONY: all deps build run test test-main test-asan test-tsan fuzz format format-check screenshots clean windows test-windows screenshots-windows dist

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

test: deps format-check test-main test-asan test-tsan fuzz

# One code style (.clang-format) for every C++ file of the project.
FORMAT_FILES = git ls-files '*.cpp' '*.h'

format:
	@$(FORMAT_FILES) | xargs clang-format -i

format-check:
	@$(FORMAT_FILES) | xargs clang-format --dry-run --Werror 2>/dev/null || { \
	    echo "make test: some C++ files differ from .clang-format; 'make format' fixes them" >&2; exit 1; }

test-main: build
	@cd $(BUILD) && $(CTEST)

# AddressSanitizer and UndefinedBehaviorSanitizer over every suite.
test-asan: deps
	@cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DKORVANE_SANITIZE=address,undefined -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_ASAN) -j $(JOBS)
	@cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 $(CTEST)

# ThreadSanitizer over the threaded core (no Qt: its libraries are not instrumented).
test-tsan: deps
	@cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DKORVANE_SANITIZE=thread -DKORVANE_WITH_QT=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS)
	@cd $(BUILD_TSAN) && TSAN_OPTIONS=halt_on_error=1 $(CTEST)

# libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer)
# for the parsers of outside data and both protocol stages, each run for
# FUZZ_SECONDS on its seed corpus (tests/fuzz/corpus), as many at once as there
# are cores; any finding fails.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKORVANE_FUZZ=ON -DKORVANE_WITH_QT=OFF -DKORVANE_BUILD_TESTS=OFF \
	    -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_targets
	@FUZZ_JOBS=$(JOBS) sh scripts/run-fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Renders the main window, the precautions form and the service window (--service)
# to PNG, offscreen, into docs/.
screenshots: build
	@QT_QPA_PLATFORM=offscreen $(BUILD)/tests/bin/render_windows $(BUILD)/bin docs

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_FUZZ)

# Windows: the dialog STM32_Korvane.exe and korvane.exe cross-built for 32-bit
# Windows (MinGW-w64, linked statically) beside the program folder; test-windows
# also builds the suites, runs them under Wine, flashes the simulated radio
# through korvane.exe and drives the dialog on a virtual display (README, section
# Windows).
BUILD_WIN = build-win

windows:
	@sh scripts/install-wine.sh
	@cmake -S . -B $(BUILD_WIN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
	    -DKORVANE_WITH_QT=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
	@cmake --build $(BUILD_WIN) -j $(JOBS) --target STM32_Korvane korvane program_folder

# The simulated radio and the Linux korvane the Windows run is compared with come
# from the Linux build.
test-windows: build
	@sh scripts/install-wine.sh wine
	@JOBS=$(JOBS) KORVANE_NATIVE_BUILD=$(BUILD) sh tests/windows/run-under-wine.sh . .

# The dialog as Wine draws it, on a virtual display, into docs/windows-*.png.
screenshots-windows:
	@sh scripts/install-wine.sh wine
	@JOBS=$(JOBS) sh tests/windows/run-under-wine.sh . . screenshots

# Release archives of both systems into dist/, then their contents checked
# (scripts/check-dist.sh).
dist: build windows
	@sh scripts/apt-install-missing.sh dist zip unzip
	@sh scripts/make-dist.sh $(BUILD) $(BUILD_WIN) dist
	@sh scripts/check-dist.sh dist
