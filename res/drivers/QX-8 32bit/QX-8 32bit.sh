#!/bin/sh
# Linux driver installer for the QX-8 radio (32-bit): gives the programming
# cable's USB serial port to the dialout group through the shared installer.
here=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd) || exit 1
installer="$here/../install-usb-serial.sh"
if [ ! -f "$installer" ]; then
    printf 'Driver installation failed: %s is missing beside the program.\n' "$installer" >&2
    exit 1
fi
exec /bin/sh "$installer" "QX-8" "32-bit" "$0"
