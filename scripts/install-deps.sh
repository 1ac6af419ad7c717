#!/bin/sh
# Installs, with apt, whatever the build, the program and its tests need and
# this machine lacks. Quiet and quick when everything is already there.
set -eu

exec sh "$(dirname "$0")/apt-install-missing.sh" install-deps \
    g++ cmake ninja-build make pkg-config ccache clang-format \
    clang libclang-rt-14-dev \
    libcli11-dev nlohmann-json3-dev \
    qt6-base-dev qt6-base-dev-tools libgl-dev \
    libgtest-dev libgmock-dev googletest libbenchmark-dev \
    xvfb xauth xdotool x11-utils fonts-wqy-microhei adb stm32flash
