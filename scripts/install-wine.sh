#!/bin/sh
# Installs what the Windows cross build and its Wine test run need: the MinGW-w64
# i686 compiler (POSIX threads variant) and GoogleTest's sources; with "wine",
# also Wine with its 32-bit and 64-bit sides and the x86_64 compiler, for
# kernels that cannot run Wine's 32-bit loader (see tests/windows/run-under-wine.sh).
# Quiet and quick when everything is already there.
set -eu

want_wine=no
[ "${1:-}" = "wine" ] && want_wine=yes

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages="g++-mingw-w64-i686-posix googletest cmake ninja-build make"
if [ "$want_wine" = yes ]; then
    packages="$packages wine wine32:i386 wine64 g++-mingw-w64-x86-64-posix"
fi

missing=""
for p in $packages; do
    installed "$p" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=sudo
    else
        echo "install-wine: missing packages:$missing; run this script as root to install them" >&2
        exit 1
    fi
else
    SUDO=""
fi

export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package: the architecture must be known to dpkg before apt
# can see it.
case "$missing" in
*:i386*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    ;;
esac

echo "install-wine: installing$missing"
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
