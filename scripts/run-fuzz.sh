#!/bin/sh
# usage: run-fuzz.sh BUILD_DIR SECONDS [TARGET...]
# Runs each libFuzzer target of BUILD_DIR/fuzz for SECONDS on its seed corpus
# (tests/fuzz/corpus/<target>, read only; what the run finds goes to
# BUILD_DIR/fuzz-corpus/<target>), FUZZ_JOBS targets at a time (default 1): each
# target is one process on one core, so a 2-core machine runs two side by side.
# Any crash, leak, sanitizer report, timeout or memory blow-up fails the run; the
# input that caused it is kept as BUILD_DIR/fuzz-artifacts/<target>-crash-...
# and named on stderr.
set -eu
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2
targets=${*:-"txt_ini sysdat port_list command_line json rom_stage loader_stage"}
jobs=${FUZZ_JOBS:-1}

artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"

fuzz_one() { # target: runs it, leaves its status in $artifacts/<target>.status
    t=$1
    corpus="$build/fuzz-corpus/$t"
    mkdir -p "$corpus"
    # -timeout: no single input may take long (the protocol targets run whole
    # jobs on the virtual clock, in milliseconds); -rss_limit_mb: no blow-up.
    status=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
        "$corpus" "tests/fuzz/corpus/$t" >"$artifacts/$t.log" 2>&1 || status=$?
    echo "$status" >"$artifacts/$t.status"
}

report() { # target
    t=$1
    if [ "$(cat "$artifacts/$t.status")" != 0 ]; then
        tail -n 60 "$artifacts/$t.log" >&2
        echo "fuzz: $t failed; the input is in $artifacts/ (log: $artifacts/$t.log)" >&2
        failed="$failed $t"
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$artifacts/$t.log" |
            tr '\n' ' ' | sed "s/^/fuzz:   $t: /; s/\$/\\n/"
    fi
}

failed=""
batch=""
for t in $targets; do
    echo "fuzz: $t for ${seconds} s"
    rm -f "$artifacts/$t.status"
    fuzz_one "$t" &
    batch="$batch $t"
    if [ "$(echo $batch | wc -w)" -ge "$jobs" ]; then
        wait
        for b in $batch; do report "$b"; done
        batch=""
    fi
done
wait
for b in $batch; do report "$b"; done
if [ -n "$failed" ]; then
    echo "fuzz: failed:$failed" >&2
    exit 1
fi
