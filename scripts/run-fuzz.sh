#!/bin/sh
# usage: run-fuzz.sh BUILD_DIR SECONDS [TARGET...]
# Runs each libFuzzer target of BUILD_DIR/fuzz for SECONDS on its seed corpus
# (tests/fuzz/corpus/<target>, read only; what the run finds goes to
# BUILD_DIR/fuzz-corpus/<target>). Any crash, leak, sanitizer report, timeout
# or memory blow-up fails the run; the input that caused it is kept as
# BUILD_DIR/fuzz-artifacts/<target>-crash-... and named on stderr.
set -eu
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2
targets=${*:-"txt_ini sysdat port_list command_line json rom_stage loader_stage"}

mkdir -p "$build/fuzz-artifacts"
failed=""
for t in $targets; do
    corpus="$build/fuzz-corpus/$t"
    mkdir -p "$corpus"
    echo "fuzz: $t for ${seconds} s"
    # -timeout: no single input may take long (the protocol targets run whole
    # jobs on the virtual clock, in milliseconds); -rss_limit_mb: no blow-up.
    if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
            "$corpus" "tests/fuzz/corpus/$t" >"$build/fuzz-artifacts/$t.log" 2>&1; then
        tail -n 60 "$build/fuzz-artifacts/$t.log" >&2
        echo "fuzz: $t failed; the input is in $build/fuzz-artifacts/ (log: $build/fuzz-artifacts/$t.log)" >&2
        failed="$failed $t"
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/fuzz-artifacts/$t.log" |
            tr '\n' ' ' | sed 's/^/fuzz:   /; s/$/\n/'
    fi
done
if [ -n "$failed" ]; then
    echo "fuzz: failed:$failed" >&2
    exit 1
fi
