#!/bin/sh
# `make dist`: the release archives, from the program folders the builds lay out.
#   dist/korvane-VERSION-windows-x86.zip      STM32_Korvane.exe, korvane.exe (32-bit,
#                                             static), Txt.ini, the driver folders (.bat)
#   dist/korvane-VERSION-linux-x86_64.tar.gz  the portable folder of `make run` with the
#                                             Linux driver scripts and the simulated radio
# Each unpacks into one folder of the same name, with a short README.txt; the
# program keeps its Sys.dat in that folder. scripts/check-dist.sh checks them.
#
# usage: make-dist.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR DIST_DIR
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
linux_bin=$(cd "${1:?Linux build dir}/bin" && pwd)
windows_bin=$(cd "${2:?Windows build dir}/bin" && pwd)
dist=$(mkdir -p "${3:?dist dir}" && cd "$3" && pwd)
version=$(sed -n 's/^project(Korvane VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ -n "$version" ] || { echo "make dist: no version in CMakeLists.txt" >&2; exit 1; }

# The driver folders and their scripts, as the build lays them out.
drivers="K305M32bit/K305M 32bit
K305M64bit/K305M 64bit
QX-8 32bit/QX-8 32bit
QX-8 64bit/QX-8 64bit"

stage=$(mktemp -d /tmp/korvane-dist.XXXXXX)
trap 'rm -rf "$stage"' EXIT

copy() { # from, to: one file, which must exist
    [ -f "$1" ] || { echo "make dist: $1 is missing; build it first" >&2; exit 1; }
    mkdir -p "$(dirname "$2")"
    cp "$1" "$2"
}
copy_drivers() { # bin dir, folder, extension
    echo "$drivers" | while IFS= read -r script; do
        copy "$1/$script$3" "$2/$script$3"
    done
}

# --- Windows
name=korvane-$version-windows-x86
folder=$stage/$name
for file in STM32_Korvane.exe korvane.exe Txt.ini; do copy "$windows_bin/$file" "$folder/$file"; done
copy_drivers "$windows_bin" "$folder" .bat
# Without their symbols the static programs are a third of their size.
if command -v i686-w64-mingw32-strip >/dev/null 2>&1; then
    i686-w64-mingw32-strip "$folder/STM32_Korvane.exe" "$folder/korvane.exe"
fi
cat >"$folder/README.txt" <<TEXT
Korvane $version for Windows (32-bit programs; they run on 32- and 64-bit Windows)

STM32_Korvane.exe  the dialog: the precautions, then the USB driver installation
korvane.exe        the service command line (firmware upgrade, APN, counter);
                   run "korvane help" in a command prompt

Keep the folder together: Txt.ini holds the texts, and the program writes its
settings (Sys.dat) here, so put the folder where you may write.

Driver installation: put the USB driver package from the radio's vendor (its
.inf file with the .sys and .cat files) into the folder of your radio model and
word size, e.g. "QX-8 64bit", then run STM32_Korvane.exe as administrator
(right-click, "Run as administrator") and press the button. The folder's .bat
installs the .inf with pnputil and reports what happened.
TEXT
sed -i 's/$/\r/' "$folder/README.txt"  # Notepad's line ends
rm -f "$dist/$name.zip"
(cd "$stage" && zip -q -r -X "$dist/$name.zip" "$name")
echo "make dist: $dist/$name.zip"

# --- Linux
name=korvane-$version-linux-x86_64
folder=$stage/$name
for file in STM32_Korvane korvane korvane-radio-sim Txt.ini install-usb-serial.sh; do
    copy "$linux_bin/$file" "$folder/$file"
done
copy_drivers "$linux_bin" "$folder" .sh
strip "$folder/STM32_Korvane" "$folder/korvane" "$folder/korvane-radio-sim"
cat >"$folder/README.txt" <<TEXT
Korvane $version for Linux (x86_64)

STM32_Korvane      the dialog: the precautions, then the USB driver installation
korvane            the service command line (firmware upgrade, APN, counter);
                   run "./korvane help"
korvane-radio-sim  a simulated radio on a pseudo-terminal, to try an upgrade
                   without a radio: "./korvane-radio-sim", then
                   "./korvane flash --port PTY --boot B.bin --user U.bin"

The dialog needs Qt 6 Widgets and a face with Chinese glyphs; on Debian 12:
    sudo apt install libqt6widgets6 qt6-qpa-plugins fonts-wqy-microhei
Keep the folder together: Txt.ini holds the texts, and the programs write their
settings (Sys.dat) here, so put the folder where you may write.

The driver buttons run the scripts in "QX-8 64bit/" and the other driver
folders: they give the dialout group the programming cable's USB serial port
(a udev rule) and need root, e.g. "sudo ./STM32_Korvane", or run the script.
TEXT
rm -f "$dist/$name.tar.gz"
tar -C "$stage" --owner=0 --group=0 --numeric-owner -czf "$dist/$name.tar.gz" "$name"
echo "make dist: $dist/$name.tar.gz"
