#!/bin/sh
# Gives the programming cable's USB serial adapter to the dialout group and keeps
# ModemManager from probing it (its probing bytes break the radio's transfers).
# Called by the four model scripts: install-usb-serial.sh MODEL WORD-SIZE SCRIPT.
#
# Environment, for tests and unusual systems:
#   KORVANE_UDEV_RULES_DIR   where to write the rule (default /etc/udev/rules.d)
#   KORVANE_DRIVER_SKIP_SYSTEM=1
#                            write the rule only: no udev reload, no group change
#   KORVANE_DRIVER_UID       user id to check for root instead of the real one

set -u

model=${1:-radio}
word_size=${2:-}
script=${3:-$0}
rules_dir=${KORVANE_UDEV_RULES_DIR:-/etc/udev/rules.d}
rules_file="$rules_dir/99-korvane-radio.rules"
group=dialout

say() { printf '%s\n' "$*"; }
fail() {
    printf 'Driver installation failed: %s\n' "$*" >&2
    exit 1
}

say "Installing access to the $model programming cable${word_size:+ ($word_size driver)}."

uid=${KORVANE_DRIVER_UID:-$(id -u)}
if [ "$uid" != 0 ]; then
    fail "this installer needs root rights to write $rules_file and to change group
membership. Run it as root, for example: sudo sh '$script'"
fi

# --- the udev rule --------------------------------------------------------
mkdir -p "$rules_dir" || fail "cannot create the folder $rules_dir"
tmp_file="$rules_file.tmp.$$"
trap 'rm -f "$tmp_file"' EXIT
cat >"$tmp_file" <<RULES || fail "cannot write $tmp_file"
# Written by the Korvane driver installer for the $model radio.
# USB serial adapters (programming cables) belong to group $group, read and
# write for its members, and ModemManager leaves them alone: it would send AT
# commands to every new serial port and so break the transfers to the radio.
SUBSYSTEM=="tty", KERNEL=="ttyUSB[0-9]*|ttyACM[0-9]*", GROUP="$group", MODE="0660", ENV{ID_MM_DEVICE_IGNORE}="1"
# Common USB-serial chips, whatever name their port gets: FTDI, Prolific,
# Silicon Labs CP210x, WCH CH340/CH341.
SUBSYSTEM=="tty", ATTRS{idVendor}=="0403|067b|10c4|1a86", GROUP="$group", MODE="0660", ENV{ID_MM_DEVICE_IGNORE}="1"
SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="0403|067b|10c4|1a86", GROUP="$group", MODE="0660", ENV{ID_MM_DEVICE_IGNORE}="1"
RULES
chmod 0644 "$tmp_file" || fail "cannot set the permissions of $tmp_file"
mv -f "$tmp_file" "$rules_file" || fail "cannot install $rules_file"
say "Installed the udev rule $rules_file (group $group, mode 0660, ignored by ModemManager)."

if [ "${KORVANE_DRIVER_SKIP_SYSTEM:-0}" = 1 ]; then
    say "Skipped reloading udev and changing group membership (KORVANE_DRIVER_SKIP_SYSTEM=1)."
    say "Done."
    exit 0
fi

# --- udev reload ----------------------------------------------------------
if command -v udevadm >/dev/null 2>&1; then
    if udevadm control --reload-rules && udevadm trigger --subsystem-match=tty --subsystem-match=usb; then
        say "Reloaded the udev rules; cables plugged in now get the new permissions."
    else
        say "Warning: udev did not reload its rules (is udev running?); the rule takes effect after a restart."
    fi
else
    say "Warning: udevadm was not found, so this system does not seem to run udev; the rule takes effect once udev runs."
fi

# --- group membership -----------------------------------------------------
if ! getent group "$group" >/dev/null 2>&1; then
    groupadd --system "$group" || fail "the group $group does not exist and could not be created"
    say "Created the group $group."
fi

user=${SUDO_USER:-}
if [ -z "$user" ] && [ -n "${PKEXEC_UID:-}" ]; then
    user=$(getent passwd "$PKEXEC_UID" | cut -d: -f1)
fi
if [ -z "$user" ] || [ "$user" = root ]; then
    say "No user to add to $group was found (run this through sudo or pkexec to add yours);"
    say "add a user yourself with: usermod -a -G $group USER"
elif id -nG "$user" 2>/dev/null | tr ' ' '\n' | grep -qx "$group"; then
    say "The user $user is already a member of $group."
else
    usermod -a -G "$group" "$user" || fail "cannot add the user $user to the group $group"
    say "Added the user $user to the group $group; this takes effect at the next log-in."
fi
say "Done. Plug the programming cable in again."
exit 0
