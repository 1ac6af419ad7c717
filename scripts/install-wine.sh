#!/bin/sh
# Installs what the Windows cross build and its Wine test run need: the MinGW-w64
# i686 compiler (POSIX threads variant) and GoogleTest's sources; with "wine",
# also Wine with its 32-bit and 64-bit sides and the x86_64 compiler, for
# kernels that cannot run Wine's 32-bit loader (see tests/windows/run-under-wine.sh),
# what the dialog's run on a virtual display needs, and the Chinese locale
# (zh_CN.UTF-8) the technician's checks run Wine in.
# Quiet and quick when everything is already there.
set -eu

packages="g++-mingw-w64-i686-posix googletest cmake ninja-build make"
if [ "${1:-}" = "wine" ]; then
    # wine32 is an i386 package: the helper adds that architecture to dpkg first.
    packages="$packages wine wine32:i386 wine64 g++-mingw-w64-x86-64-posix"
    # The dialog's run: a virtual display, keys, its frame buffer read by Python,
    # and a face with the Chinese glyphs.
    packages="$packages xvfb xdotool python3 fonts-wqy-microhei"
    # A Chinese Windows under Wine: LANG=zh_CN.UTF-8 gives code page 936.
    packages="$packages locales"
fi

# shellcheck disable=SC2086
sh "$(dirname "$0")/apt-install-missing.sh" install-wine $packages

if [ "${1:-}" = "wine" ] && ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=""; fi
    echo "install-wine: generating the locale zh_CN.UTF-8"
    $SUDO localedef -i zh_CN -c -f UTF-8 zh_CN.UTF-8 ||
        { echo "install-wine: could not generate zh_CN.UTF-8" >&2; exit 1; }
fi
