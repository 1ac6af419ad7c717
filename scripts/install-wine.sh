#!/bin/sh
# Installs what the Windows cross build and its Wine test run need: the MinGW-w64
# i686 compiler (POSIX threads variant) and GoogleTest's sources; with "wine",
# also Wine with its 32-bit and 64-bit sides and the x86_64 compiler, for
# kernels that cannot run Wine's 32-bit loader (see tests/windows/run-under-wine.sh),
# and what the dialog's run on a virtual display needs.
# Quiet and quick when everything is already there.
set -eu

packages="g++-mingw-w64-i686-posix googletest cmake ninja-build make"
if [ "${1:-}" = "wine" ]; then
    # wine32 is an i386 package: the helper adds that architecture to dpkg first.
    packages="$packages wine wine32:i386 wine64 g++-mingw-w64-x86-64-posix"
    # The dialog's run: a virtual display, keys, its frame buffer read by Python,
    # and a face with the Chinese glyphs.
    packages="$packages xvfb xdotool python3 fonts-wqy-microhei"
fi

# shellcheck disable=SC2086
exec sh "$(dirname "$0")/apt-install-missing.sh" install-wine $packages
