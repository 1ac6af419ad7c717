#!/bin/sh
# Checks the release archives of `make dist`: each holds exactly its files in one
# folder, the programs are for the right system (32-bit Windows PE, x86_64 ELF),
# the .bat files keep CRLF line ends, no Sys.dat travels along, and the command
# line, unpacked into a folder with a blank in its path, runs from there and
# keeps its Sys.dat there (the Windows one under Wine, where Wine is installed).
#
# usage: check-dist.sh DIST_DIR
set -u

src=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:?dist dir}" && pwd)
version=$(sed -n 's/^project(Korvane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
failures=0
fail() { echo "check-dist: FAIL: $*" >&2; failures=$((failures + 1)); }
say() { printf 'check-dist: %s\n' "$*"; }

scratch=$(mktemp -d /tmp/korvane-check-dist.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

drivers="K305M32bit/K305M 32bit
K305M64bit/K305M 64bit
QX-8 32bit/QX-8 32bit
QX-8 64bit/QX-8 64bit"
expected_list() { # folder, extension, files...
    folder=$1 extension=$2
    shift 2
    {
        for file in "$@" README.txt; do echo "$folder/$file"; done
        echo "$drivers" | while IFS= read -r script; do echo "$folder/$script$extension"; done
    } | LC_ALL=C sort
}
compare_lists() { # what, expected, got
    if [ "$2" != "$3" ]; then
        printf 'expected:\n%s\ngot:\n%s\n' "$2" "$3" >&2
        fail "$1 does not hold exactly the expected files"
    fi
}
# Prints the PE machine of a Windows executable (14c: i386, 8664: x86_64).
pe_machine() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0"
print("%x" % struct.unpack_from("<H", data, pe + 4)[0])
PY
}

# --- Windows zip
name=korvane-$version-windows-x86
zip=$dist/$name.zip
if [ -f "$zip" ]; then
    got=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
    compare_lists "$zip" "$(expected_list "$name" .bat STM32_Korvane.exe korvane.exe Txt.ini)" "$got"
    unzip -q "$zip" -d "$scratch/win dist"
    folder=$scratch/win\ dist/$name
    for exe in STM32_Korvane.exe korvane.exe; do
        machine=$(pe_machine "$folder/$exe" 2>/dev/null)
        [ "$machine" = 14c ] || fail "$exe is not a 32-bit (i386) Windows program (machine '$machine')"
    done
    echo "$drivers" | while IFS= read -r script; do
        bat=$folder/$script.bat
        lines=$(wc -l <"$bat")
        crlf=$(grep -c "$(printf '\r')\$" "$bat")
        [ "$lines" -eq "$crlf" ] || echo "$script.bat" >>"$scratch/lf"
        grep -q 'pnputil' "$bat" || echo "$script.bat" >>"$scratch/nopnp"
    done
    [ -f "$scratch/lf" ] && fail "batch files without CRLF line ends: $(cat "$scratch/lf")"
    [ -f "$scratch/nopnp" ] && fail "batch files that do not run pnputil: $(cat "$scratch/nopnp")"
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        (cd "$folder" && timeout 300 /usr/lib/wine/wine ./korvane.exe counter --clear >"$scratch/win.log" 2>&1) ||
            { cat "$scratch/win.log" >&2; fail "korvane.exe counter --clear failed under Wine"; }
        [ -f "$folder/Sys.dat" ] || fail "korvane.exe did not keep Sys.dat in its own folder"
        timeout 60 /usr/lib/wine/wineserver -k >/dev/null 2>&1
        say "ok   $zip (korvane.exe ran under Wine from its folder)"
    else
        say "ok   $zip (not run: no 32-bit Wine here)"
    fi
else
    fail "$zip is missing"
fi

# --- Linux tar.gz
name=korvane-$version-linux-x86_64
tgz=$dist/$name.tar.gz
if [ -f "$tgz" ]; then
    got=$(tar tzf "$tgz" | grep -v '/$' | LC_ALL=C sort)
    compare_lists "$tgz" "$(expected_list "$name" .sh STM32_Korvane korvane korvane-radio-sim Txt.ini install-usb-serial.sh)" "$got"
    mkdir -p "$scratch/linux dist"
    tar xzf "$tgz" -C "$scratch/linux dist"
    folder=$scratch/linux\ dist/$name
    for program in STM32_Korvane korvane korvane-radio-sim; do
        [ -x "$folder/$program" ] || fail "$program is not executable"
        head -c 20 "$folder/$program" | od -An -tx1 | tr -d ' \n' | grep -q '^7f454c4602' ||
            fail "$program is not a 64-bit ELF program"
    done
    grep -q "libqt6widgets6" "$folder/README.txt" || fail "the README does not name the Qt packages"
    (cd / && "$folder/korvane" counter --clear >"$scratch/linux.log" 2>&1) ||
        { cat "$scratch/linux.log" >&2; fail "korvane counter --clear failed from the unpacked folder"; }
    [ -f "$folder/Sys.dat" ] || fail "korvane did not keep Sys.dat in its own folder"
    say "ok   $tgz (korvane ran from its folder)"
else
    fail "$tgz is missing"
fi

[ "$failures" -eq 0 ] || exit 1
