#!/bin/sh
# usage: stm32flash-roundtrip.sh PROGRAM_DIR
# Checks the simulated radio's bootloader against stm32flash, a peer tool for
# the same ROM bootloader: an image written and verified with stm32flash, then
# read back with it, gives back the same bytes. For each personality of the
# radio in turn; a read-protected one must refuse the read until stm32flash
# unprotects it. Exits 77 (skipped) when stm32flash is not installed.
set -u

sim="$1/korvane-radio-sim"
command -v stm32flash >/dev/null 2>&1 || { echo "stm32flash is not installed: skipped"; exit 77; }
work=$(mktemp -d)
radio=""
trap '[ -n "$radio" ] && kill "$radio" 2>/dev/null; rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL [$case]: $1"
    sed 's/^/    /' "$work/log" | tr '\r' '\n' | tail -n 15
    failures=$((failures + 1))
}

# stm32flash on the radio's port. A pseudo-terminal takes no parity bit, so
# the line is 8N1 here; the simulated wire still gives every byte 11 bits.
flash() {
    stm32flash -b 115200 -m 8n1 "$@" "$port" >"$work/log" 2>&1
}

start_radio() {
    "$sim" "$@" >"$work/radio.txt" 2>/dev/null &
    radio=$!
    port=""
    for _ in $(seq 50); do
        port=$(head -n 1 "$work/radio.txt" 2>/dev/null)
        [ -n "$port" ] && return 0
        sleep 0.1
    done
    return 1
}

stop_radio() {
    kill "$radio" 2>/dev/null
    wait "$radio" 2>/dev/null
    radio=""
}

# An odd length: stm32flash pads the last frame to whole words, as a strict radio wants.
head -c 5001 /dev/urandom >"$work/image.bin"

# case | radio options | what Get ID and Get Version must show
while IFS='|' read -r case options shows; do
    [ -z "$case" ] && continue
    # shellcheck disable=SC2086
    if ! start_radio $options; then
        fail "the simulated radio did not start"
        continue
    fi
    if echo "$options" | grep -q -- --read-protected; then
        flash -r "$work/none.bin" -S 0x08000000:256 && fail "a read-protected radio let its flash be read"
        grep -q "Option 1     : 0x01" "$work/log" || fail "Get Version did not report the read protection"
        flash -k || fail "stm32flash could not remove the read protection"
    fi
    if ! flash -w "$work/image.bin" -v; then
        fail "stm32flash could not write and verify the image"
    elif ! grep -q "$shows" "$work/log"; then
        fail "stm32flash did not see '$shows'"
    elif ! flash -r "$work/back.bin" -S 0x08000000:5001; then
        fail "stm32flash could not read the image back"
    elif ! cmp -s "$work/image.bin" "$work/back.bin"; then
        fail "the image read back differs from the image written"
    else
        echo "ok [$case]"
    fi
    stop_radio
done <<'CASES'
STM32F1, bootloader 2.2, strict, 115200-baud wire|--strict --baud 115200 --stm32f1|Device ID    : 0x0410
STM32F4, bootloader 3.1: Extended Erase only|--strict --pid 0x413 --bootloader-version 3.1|Version      : 0x31
read-protected STM32F1, strict|--strict --read-protected|Device ID    : 0x0410
CASES

[ "$failures" -eq 0 ]
