#!/bin/sh
# Runs the README's station example exactly as a newcomer pastes it, from the
# top of a project whose build/bin holds this build's programs, and checks what
# that person would check: every command succeeded, each radio was upgraded
# once (its end frame came), and the history holds one successful line per radio.
set -eu
readme=$1
bindir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/build/bin"
cp "$bindir/korvane" "$bindir/korvane-radio-sim" "$bindir/Txt.ini" "$work/build/bin/"

awk '/^To try the station without radios/ { found = 1 }
     found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$readme" >"$work/example.sh"
[ -s "$work/example.sh" ] || { echo "FAIL: no station example found in $readme"; exit 1; }

fail() { echo "FAIL: $1"; echo "--- output"; cat "$work/out"; echo "--- errors"; cat "$work/err"; exit 1; }
(cd "$work" && timeout 180 sh -e example.sh >"$work/out" 2>"$work/err") ||
    fail "the example stopped with exit status $?"

bin=$work/build/bin
for n in 1 2; do
    grep -q "boot image started: yes; end frame: yes" "$bin/radio-$n.txt" ||
        fail "radio $n was not upgraded: $(cat "$bin/radio-$n.txt")"
done
# The CSV: the byte-order mark and header, then one line per job.
rows=$(tail -n +2 "$bin/station.csv" | grep -c .)
[ "$rows" -eq 2 ] || fail "the history holds $rows lines, not one per radio"
for uid in 00000000000000000000000A 00000000000000000000000B; do
    [ "$(grep -c "$uid.*,success," "$bin/station.csv")" -eq 1 ] ||
        fail "the history has no single successful line for $uid"
done
tail -n 1 "$work/out" | grep -qx '作业：2。' || fail "korvane history does not end with 作业：2。"
echo "ok: the README's station example upgraded both radios once and recorded both jobs"
