#!/bin/sh
# Runs the README's worked example ("Try it without a radio") exactly as a
# newcomer pastes it, from the top of a project whose build/bin holds this
# build's programs, and checks what that person would check: every command
# succeeded, the last status text before the closing line is the completed
# download, the radio received the boot image whose CRC-32 korvane printed,
# and the counter reads 1.
set -eu
readme=$1
bindir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -p "$work/build/bin"
cp "$bindir/korvane" "$bindir/korvane-radio-sim" "$bindir/Txt.ini" "$work/build/bin/"

awk '/^### Try it without a radio/ { found = 1 }
     found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$readme" >"$work/example.sh"
[ -s "$work/example.sh" ] || { echo "FAIL: no worked example found in $readme"; exit 1; }

fail() { echo "FAIL: $1"; echo "--- output"; cat "$work/out"; echo "--- errors"; cat "$work/err"; exit 1; }
(cd "$work" && timeout 180 sh -e example.sh >"$work/out" 2>"$work/err") ||
    fail "the example stopped with exit status $?"

# Lines before the closing line "Upgrade completed ..." (in the catalogue's language).
closing=$(grep -n -E '^(Upgrade completed|升级完成|升級完成)' "$work/out" | head -n 1 | cut -d: -f1)
[ -n "$closing" ] || fail "no closing line"
last_status=$(head -n $((closing - 1)) "$work/out" | grep -v '^progress: ' | grep -v '^CRC32:' | tail -n 1)
[ "$last_status" = "用户程序下载完成！" ] || fail "last status text is '$last_status'"
boot_crc=$(grep ' boot.bin$' "$work/out" | cut -d' ' -f1)
grep -q "^flash written: 16384 bytes in 64 frames, $boot_crc\$" "$work/out" ||
    fail "the radio's flash does not hold boot.bin ($boot_crc)"
[ "$(tail -n 1 "$work/out")" = "1" ] || fail "the counter does not read 1"
echo "the worked example completed: last status $last_status, boot image $boot_crc, counter 1"
