#!/bin/sh
# usage: apt-install-missing.sh WHO PACKAGE...
# Installs with apt those of the packages that are not installed yet; quiet and
# quick when all are. WHO names the caller in its messages. A package of a foreign
# architecture (name:i386) has that architecture added to dpkg first.
set -eu

who=$1
shift

missing=""
for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=sudo
    else
        echo "$who: missing packages:$missing; run this as root to install them" >&2
        exit 1
    fi
else
    SUDO=""
fi

export DEBIAN_FRONTEND=noninteractive
for p in $missing; do
    case "$p" in
    *:*)
        arch=${p#*:}
        if ! dpkg --print-foreign-architectures | grep -qx "$arch" &&
            [ "$(dpkg --print-architecture)" != "$arch" ]; then
            $SUDO dpkg --add-architecture "$arch"
        fi
        ;;
    esac
done

echo "$who: installing$missing"
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
