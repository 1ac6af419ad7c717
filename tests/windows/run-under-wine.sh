#!/bin/sh
# `make test-windows`: cross-builds the core, korvane.exe and the core test
# suites for Windows, runs the suites under Wine in a throw-away prefix, and
# flashes the simulated radio through korvane.exe and the Win32 serial backend,
# with the simulator's pseudo-terminal behind COM1. The result must equal a
# flash of the same images by the Linux build.
#
# Then the dialog STM32_Korvane.exe runs on a virtual display, driven by keys
# (run-dialog-under-wine.sh).
#
# usage: run-under-wine.sh SOURCE_DIR WORK_DIR [screenshots]
#   WORK_DIR holds the build directories (build-win, build-win64, build-win-sim).
#   "screenshots": only build the Windows programs and run the dialog, writing
#   its pictures into SOURCE_DIR/docs.
set -u

src=$(cd "${1:?source dir}" && pwd)
work=$(mkdir -p "${2:?work dir}" && cd "$2" && pwd)
mode=${3:-all}

TEST_TIMEOUT=${KORVANE_WINE_TEST_TIMEOUT:-300}   # seconds for one suite under Wine
FLASH_TIMEOUT=${KORVANE_WINE_FLASH_TIMEOUT:-300} # seconds for one full upgrade
BOOT_SIZE=20480   # 80 frames of 256 bytes
USER_SIZE=65536   # 16 blocks of 4,096 bytes

failures=0
say() { echo "test-windows: $*"; }
fail() { echo "test-windows: FAIL: $*" >&2; failures=$((failures + 1)); }
die() { echo "test-windows: FAIL: $*" >&2; exit 1; }

# --- Which Windows to run. Wine runs a 32-bit .exe through its 32-bit loader,
# a Linux i386 program; a kernel built without 32-bit support refuses it with
# "Exec format error". There the same sources are built and run as 64-bit
# Windows programs instead, and the 32-bit build is still compiled and linked.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arch=i686
    wine=/usr/lib/wine/wine
    winbuild=$work/build-win
else
    arch=x86_64
    wine=/usr/lib/wine/wine64
    winbuild=$work/build-win64
    say "SKIP running the 32-bit (i686) build: this kernel cannot execute 32-bit Linux programs," \
        "so Wine's 32-bit loader cannot start (Exec format error). The i686 build is still made;" \
        "the tests run the same sources built as 64-bit Windows programs (x86_64) under wine64."
fi
[ -x "$wine" ] || die "$wine is missing (scripts/install-wine.sh wine installs Wine)"
export WINELOADER=$wine
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

# What the Windows release holds (make windows builds the same).
WINDOWS_PROGRAMS="STM32_Korvane korvane program_folder"

configure_and_build() { # dir, extra cmake args...
    dir=$1
    shift
    cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKORVANE_WITH_QT=OFF -DKORVANE_BUILD_BENCHMARKS=OFF "$@" >"$dir.log" 2>&1 ||
        { cat "$dir.log" >&2; die "configuring $dir failed"; }
}
build() { # dir, what, cmake --build options...
    dir=$1
    what=$2
    shift 2
    cmake --build "$dir" -j "${JOBS:-2}" "$@" >"$dir.log" 2>&1 ||
        { grep -B2 -A8 -E "error|FAILED" "$dir.log" | head -60 >&2; die "$what failed (log: $dir.log)"; }
}

say "building for Windows ($arch) in $winbuild"
mkdir -p "$winbuild"
configure_and_build "$winbuild" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw-$arch.cmake"
build "$winbuild" "the Windows ($arch) build"
if [ "$arch" != i686 ]; then
    # Nothing runs it here, so only what ships: the two programs and their folder.
    say "building the shipped Windows (i686) programs in $work/build-win"
    mkdir -p "$work/build-win"
    configure_and_build "$work/build-win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw-i686.cmake"
    build "$work/build-win" "the Windows (i686) build" --target $WINDOWS_PROGRAMS
fi

if [ "$mode" = screenshots ]; then
    # The dialog brings its own display and a throw-away prefix.
    unset WINEPREFIX
    exec sh "$src/tests/windows/run-dialog-under-wine.sh" "$wine" "$winbuild" "$src" "$src/docs"
fi

# The simulated radio and the Linux reference korvane, built natively: those of
# KORVANE_NATIVE_BUILD when given (make test-windows passes its Linux build),
# else a build of their own.
if [ -n "${KORVANE_NATIVE_BUILD:-}" ]; then
    native=$(cd "$KORVANE_NATIVE_BUILD" && pwd)
    say "the simulated radio and the Linux korvane from $native"
else
    native=$work/build-win-sim
    say "building the simulated radio and the Linux korvane in $native"
    mkdir -p "$native"
    configure_and_build "$native" -DKORVANE_BUILD_TESTS=OFF
fi
build "$native" "the native build of korvane-radio-sim" --target korvane korvane-radio-sim

# --- A throw-away Wine prefix, no display, no Mono or Gecko prompts.
scratch=$(mktemp -d /tmp/korvane-test-windows.XXXXXX)
export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
sims=""
cleanup() {
    for pid in $sims; do kill "$pid" 2>/dev/null; done
    "$wineserver" -k >/dev/null 2>&1
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say "creating the Wine prefix"
timeout 300 "$wine" wineboot -i >"$scratch/wineboot.log" 2>&1 ||
    { cat "$scratch/wineboot.log" >&2; die "wineboot could not create the prefix"; }

# Starts the simulated radio with its options; sets sim_pid and sim_pty; its
# report goes to the file $1.
start_sim() {
    report=$1
    shift
    "$native/bin/korvane-radio-sim" "$@" >"$report" 2>"$report.err" &
    sim_pid=$!
    sims="$sims $sim_pid"
    sim_pty=""
    for _ in $(seq 50); do
        sim_pty=$(head -n 1 "$report" 2>/dev/null)
        [ -n "$sim_pty" ] && return 0
        sleep 0.1
    done
    die "the simulated radio did not start: $(cat "$report.err")"
}

# COM1 of the prefix leads to a link of ours, which each run points at the
# pseudo-terminal of its simulated radio. Wine's mount manager rebuilds the
# dosdevices/comN links from HKLM\Software\Wine\Ports (else from /dev/ttyS*)
# when Wine starts, so the key names the link; the server is restarted once to
# apply it.
com1_link=$scratch/com1
timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$com1_link" /f >/dev/null 2>&1 ||
    die "could not set HKLM\\Software\\Wine\\Ports COM1"
"$wineserver" -k >/dev/null 2>&1
"$wineserver" -w >/dev/null 2>&1
"$wineserver" -p >/dev/null 2>&1
map_com1() {
    ln -sfn "$1" "$com1_link"
    ln -sfn "$com1_link" "$WINEPREFIX/dosdevices/com1"
}

# Waits up to $2 seconds for process $1 to end.
wait_for() {
    for _ in $(seq $(($2 * 10))); do
        kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null; return 0; }
        sleep 0.1
    done
    kill "$1" 2>/dev/null
    return 1
}

# --- The core suites, each one process under Wine with a time-out; the serial
# backend's own test talks to a simulated radio behind COM1.
start_sim "$scratch/sim-serial.txt"
map_com1 "$sim_pty"
# Cases left out on Windows, each for a reason of the platform, not of the program.
say "SKIP settings_tests FileBlockTest.WriteReplacesTheFileWholeAtLongAndUnusualPaths:" \
    "the write over 260 characters works, but MinGW's directory listing used by the test" \
    "cannot open a folder path that long"
filter_of() {
    case "$1" in
    settings_tests)
        echo "-FileBlockTest.WriteReplacesTheFileWholeAtLongAndUnusualPaths"
        ;;
    *) echo "*" ;;
    esac
}
# Runs one suite under Wine, from the test's folder so that Unix paths compiled
# into it resolve on drive Z:.
run_suite() { # exe, log
    # The search for false successes runs the count its Windows build was
    # given (tests/property): under Wine a radio costs about forty times as much.
    (cd "$(dirname "$1")" && KORVANE_TEST_COM_PORT=1 timeout "$TEST_TIMEOUT" "$wine" "$1" \
        --gtest_brief=1 --gtest_filter="$(filter_of "$(basename "$1" .exe)")" >"$2" 2>&1)
}
suites_passed=0
for exe in "$winbuild"/tests/bin/*_tests.exe; do
    name=$(basename "$exe" .exe)
    # The dialog suites need a display; the dialog run below gives them one.
    case "$name" in *_dialog_tests) continue ;; esac
    log=$scratch/$name.log
    # One run: as on Linux, a verdict holds the first time.
    run_suite "$exe" "$log"
    status=$?
    if [ "$status" -eq 0 ]; then
        suites_passed=$((suites_passed + 1))
        say "ok   $name ($(sed -n 's/^\[  PASSED  \] //p' "$log" | tail -1))"
    else
        cat "$log" >&2
        [ "$status" -eq 124 ] && fail "$name timed out after $TEST_TIMEOUT s" || fail "$name (exit $status)"
    fi
done
kill "$sim_pid" 2>/dev/null

# --- A full upgrade through korvane.exe, compared with the Linux build's.
failures_before_upgrade=$failures
head -c $((BOOT_SIZE - 1)) /dev/urandom >"$scratch/boot.bin" && printf '\245' >>"$scratch/boot.bin"
head -c $((USER_SIZE - 1)) /dev/urandom >"$scratch/user.bin" && printf '\132' >>"$scratch/user.bin"
to_windows() { printf 'Z:%s' "$1" | tr / '\\'; }

flash_with() { # label, report, korvane command...
    label=$1
    report=$2
    shift 2
    if ! timeout "$FLASH_TIMEOUT" "$@" >"$scratch/$label.out" 2>&1; then
        cat "$scratch/$label.out" >&2
        fail "the $label upgrade failed"
    fi
    # The radio stays on the line until korvane is done (a radio that hung up
    # right after the end frame would fail the last poll), then reports.
    kill -TERM "$sim_pid" 2>/dev/null
    wait_for "$sim_pid" 10 || fail "the simulated radio did not end after the $label upgrade"
}

say "flashing through the Linux korvane (reference)"
start_sim "$scratch/sim-linux.txt"
flash_with linux "$scratch/sim-linux.txt" \
    "$native/bin/korvane" flash --port "$sim_pty" --boot "$scratch/boot.bin" --user "$scratch/user.bin"

say "flashing through korvane.exe --port 1 (Win32 serial backend on COM1)"
start_sim "$scratch/sim-windows.txt"
map_com1 "$sim_pty"
flash_with windows "$scratch/sim-windows.txt" \
    "$wine" "$winbuild/bin/korvane.exe" flash --port 1 \
    --boot "$(to_windows "$scratch/boot.bin")" --user "$(to_windows "$scratch/user.bin")"

# What the radio received: the same in both runs, and equal to the images.
linux_result=$(tail -n +2 "$scratch/sim-linux.txt")
windows_result=$(tail -n +2 "$scratch/sim-windows.txt")
boot_crc=$("$native/bin/korvane" crc "$scratch/boot.bin" | cut -d' ' -f1)
user_crc=$("$native/bin/korvane" crc "$scratch/user.bin" | cut -d' ' -f1)
echo "$windows_result" | sed 's/^/test-windows:   radio: /'
if [ "$windows_result" != "$linux_result" ]; then
    printf 'Linux run:\n%s\nWindows run:\n%s\n' "$linux_result" "$windows_result" >&2
    fail "the radio received something else through korvane.exe than through the Linux korvane"
fi
echo "$windows_result" | grep -q "^flash written: $BOOT_SIZE bytes .*$boot_crc" ||
    fail "the flash does not hold the boot image ($BOOT_SIZE bytes, $boot_crc)"
echo "$windows_result" | grep -q "without the trailing zero padding $USER_SIZE bytes, $user_crc" ||
    fail "the delivered user program is not the user image ($USER_SIZE bytes, $user_crc)"
echo "$windows_result" | grep -q "boot image started: yes; end frame: yes" ||
    fail "the boot image was not started or the end frame did not come"

# --- A technician's Chinese Windows: with LANG=zh_CN.UTF-8 Wine's ANSI and
# OEM code pages are 936, as on a Chinese Windows, so narrow arguments and a
# console's code page would both lose or garble the Chinese. The images lie in
# a folder with Chinese letters and a blank, given relative to the current
# folder, absolute (Z:\...) and from the root of the current drive (\...).
# What korvane.exe writes to a console is read back from the console's screen
# buffer (tests/bin/console_run.exe); redirected, it must be UTF-8.
failures_before_chinese=$failures
# Wine gives a console with a screen buffer only on a display: the prefix's
# processes start again on a virtual one for this part.
"$wineserver" -k >/dev/null 2>&1
timeout 60 "$wineserver" -w >/dev/null 2>&1
"$wineserver" -p >"$scratch/wineserver.log" 2>&1
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
sims="$sims $xvfb_pid"
for _ in $(seq 300); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(head -n 1 "$scratch/display")
zh() { LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$@"; }
console_run=$(to_windows "$winbuild/tests/bin/console_run.exe")
korvane_exe=$(to_windows "$winbuild/bin/korvane.exe")
cn_dir="$scratch/固件 测试"
mkdir -p "$cn_dir"
cp "$scratch/boot.bin" "$cn_dir/boot.bin"
cp "$scratch/user.bin" "$cn_dir/九.bin"
relative_boot='固件 测试\boot.bin'
relative_user='固件 测试\九.bin'
absolute_boot=$(to_windows "$cn_dir/boot.bin")
absolute_user=$(to_windows "$cn_dir/九.bin")
rooted_boot=$(printf '%s' "$cn_dir/boot.bin" | tr / '\\')
# Output goes to files, never through a pipe: a process the prefix starts on
# the way (its desktop, its services) may inherit the pipe and hold it open
# long after korvane.exe has ended.
in_scratch() { (cd "$scratch" && zh "$@"); }
check_radio() { # label: what the radio received must be both images
    received=$(tail -n +2 "$scratch/sim-$1.txt")
    echo "$received" | grep -q "^flash written: $BOOT_SIZE bytes .*$boot_crc" ||
        fail "$1: the flash does not hold the boot image from \"固件 测试\""
    echo "$received" | grep -q "without the trailing zero padding $USER_SIZE bytes, $user_crc" ||
        fail "$1: the delivered user program is not 九.bin"
}

say "Chinese locale: korvane.exe crc with relative, absolute and root-relative paths"
for path in "$relative_boot" "$absolute_boot" "$rooted_boot"; do
    in_scratch timeout 60 "$wine" "$korvane_exe" crc "$path" >"$scratch/zh-crc.out" 2>&1
    line=$(tr -d '\r' <"$scratch/zh-crc.out")
    [ "$line" = "$boot_crc  $path" ] ||
        fail "korvane.exe crc \"$path\" printed \"$line\", not \"$boot_crc  $path\" (UTF-8 when redirected)"
done
in_scratch timeout 60 "$wine" "$console_run" "$korvane_exe" crc "$relative_user" >"$scratch/zh-crc.out"
screen=$(tr -d '\r' <"$scratch/zh-crc.out")
case "$screen" in
*"$user_crc  $relative_user"*) say "the console shows: $user_crc  $relative_user" ;;
*) fail "the console does not show \"$user_crc  $relative_user\"; it shows: $screen" ;;
esac
# A missing file: the whole message in Chinese, the system's reason included.
in_scratch timeout 60 "$wine" "$console_run" "$korvane_exe" crc '固件 测试\没有.bin' >"$scratch/zh-crc.out"
screen=$(tr -d '\r' <"$scratch/zh-crc.out")
case "$screen" in
*'固件 测试\没有.bin'*) say "the console shows: $(echo "$screen" | grep -m1 没有)" ;;
*) fail "the message for a missing file does not name it as typed: $screen" ;;
esac
echo "$screen" | grep -q '没有\.bin.*[A-Za-z]\{4,\}' &&
    fail "the system's reason for a missing file is not in Chinese: $screen"

say "Chinese locale: korvane.exe flash in a console, boot relative, user absolute"
start_sim "$scratch/sim-zh-console.txt"
map_com1 "$sim_pty"
in_scratch timeout "$FLASH_TIMEOUT" "$wine" "$console_run" "$korvane_exe" flash --port 1 \
    --boot "$relative_boot" --user "$absolute_user" >"$scratch/zh-console.out"
status=$?
screen=$(tr -d '\r' <"$scratch/zh-console.out")
[ "$status" -eq 0 ] || fail "korvane.exe flash in the console ended with $status"
kill -TERM "$sim_pid" 2>/dev/null
wait_for "$sim_pid" 10 || fail "the simulated radio did not end after the console upgrade"
echo "$screen" | grep -v '^$' | sed 's/^/test-windows:   console: /'
echo "$screen" | grep -qx '用户程序下载完成！' || fail "the console does not show the line 用户程序下载完成！"
echo "$screen" | grep -q "^升级完成，用时 .*$boot_crc.*$user_crc" ||
    fail "the console does not show the closing line 升级完成，用时 ... with both CRCs"
check_radio zh-console

say "Chinese locale: korvane.exe flash redirected to a file, boot root-relative, user relative"
start_sim "$scratch/sim-zh-file.txt"
map_com1 "$sim_pty"
in_scratch timeout "$FLASH_TIMEOUT" "$wine" "$korvane_exe" flash --port 1 \
    --boot "$rooted_boot" --user "$relative_user" >"$scratch/zh-file.out" 2>&1 ||
    { cat "$scratch/zh-file.out" >&2; fail "the upgrade with root-relative and relative paths failed"; }
kill -TERM "$sim_pid" 2>/dev/null
wait_for "$sim_pid" 10 || fail "the simulated radio did not end after the redirected upgrade"
tr -d '\r' <"$scratch/zh-file.out" | grep -qx '用户程序下载完成！' ||
    fail "the redirected output is not UTF-8 (no line 用户程序下载完成！)"
check_radio zh-file

say "Chinese locale: Ctrl-C in the console during korvane.exe flash"
start_sim "$scratch/sim-zh-ctrl-c.txt"
map_com1 "$sim_pty"
in_scratch timeout "$FLASH_TIMEOUT" "$wine" "$console_run" --interrupt-after BOOT \
    "$korvane_exe" flash --port 1 --boot "$relative_boot" --user "$relative_user" >"$scratch/zh-ctrl-c.out"
status=$?
screen=$(tr -d '\r' <"$scratch/zh-ctrl-c.out")
kill -TERM "$sim_pid" 2>/dev/null
wait_for "$sim_pid" 10 || fail "the simulated radio did not end after the Ctrl-C"
[ "$status" -eq 130 ] || fail "korvane.exe flash ended with $status after Ctrl-C, not 130: $screen"
# The first status line stays on the screen (the live line's stage may pass
# between two reads of it), and the job stops wherever the Ctrl-C finds it.
if echo "$screen" | grep -q '被 Ctrl-C 停止；端口已关闭'; then
    say "Ctrl-C: exit 130, the console shows: $(echo "$screen" | grep -m1 'Ctrl-C')"
else
    fail "after Ctrl-C the console does not show the closing line: $screen"
fi
[ "$failures" -eq "$failures_before_chinese" ] && say "ok   the Chinese-locale checks of korvane.exe"
unset DISPLAY
kill "$xvfb_pid" 2>/dev/null

# --- The dialog on a virtual display, in the same prefix. The prefix's
# processes were started without a display: they end first, so that the
# dialog's start them again on it.
"$wineserver" -k >/dev/null 2>&1
timeout 60 "$wineserver" -w >/dev/null 2>&1
failures_before_dialog=$failures
if ! sh "$src/tests/windows/run-dialog-under-wine.sh" "$wine" "$winbuild" "$src" "$winbuild/screenshots"; then
    fail "the dialog STM32_Korvane.exe under Wine on Xvfb (lines above)"
fi

# The suites, the upgrade comparison and the dialog, counted in the form CI reads.
passed=$suites_passed
[ "$failures_before_chinese" -eq "$failures_before_upgrade" ] && passed=$((passed + 1))
[ "$failures_before_dialog" -eq "$failures_before_chinese" ] && passed=$((passed + 1))
[ "$failures" -eq "$failures_before_dialog" ] && passed=$((passed + 1))
echo "test-windows: $passed passed, $failures failed"
if [ "$failures" -ne 0 ]; then
    exit 1
fi
say "all green ($arch under $(basename "$wine"))"
