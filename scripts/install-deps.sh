#!/bin/sh
# Installs, with apt, whatever the build, the program and its tests need and
# this machine lacks. Quiet and quick when everything is already there.
set -eu

packages="g++ cmake ninja-build make pkg-config
qt6-base-dev qt6-base-dev-tools libgl-dev
libgtest-dev libgmock-dev googletest libbenchmark-dev
xvfb xauth xdotool fonts-wqy-microhei adb"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=sudo
    else
        echo "install-deps: missing packages:$missing; run this script as root to install them" >&2
        exit 1
    fi
else
    SUDO=""
fi

echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
