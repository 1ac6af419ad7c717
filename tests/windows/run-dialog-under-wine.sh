#!/bin/sh
# The dialog STM32_Korvane.exe under Wine on a virtual X display (Xvfb), driven
# as a person would drive it: keys sent to its windows, window names and
# geometry read from the X server, the pixels read from Xvfb's frame buffer, and
# the texts and states of its controls read by tests/bin/window_texts.exe.
# First the framework's own suite (framework_dialog_tests.exe) runs on the display.
#
# usage: run-dialog-under-wine.sh WINE BUILD_DIR SOURCE_DIR [SCREENSHOT_DIR]
#   WINE is the loader for the build's programs (wine or wine64); the prefix is
#   $WINEPREFIX when set (an initialised one), else a throw-away one.
#   SCREENSHOT_DIR receives windows-precautions.png, windows-main-window.png and
#   windows-service-window.png (the window of STM32_Korvane.exe --service).
# Every failure prints a line starting "test-windows: FAIL:"; exit status 1 then.
set -u

wine=${1:?wine loader}
build=$(cd "${2:?build dir}" && pwd)
src=$(cd "${3:?source dir}" && pwd)
shots=${4:-}

WAIT=${KORVANE_WINE_DIALOG_WAIT:-60}  # seconds to wait for any one window or answer
RUN_TIMEOUT=300                       # seconds the program may live in all
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
xwd="python3 $src/tests/windows/xwd_tool.py"
texts_exe=$build/tests/bin/window_texts.exe

failures=0
say() { printf 'test-windows: %s\n' "$*"; }
fail() { echo "test-windows: FAIL: $*" >&2; failures=$((failures + 1)); }
die() {
    echo "test-windows: FAIL: $*" >&2
    exit 1
}

for tool in Xvfb xdotool python3; do
    command -v "$tool" >/dev/null 2>&1 || die "the dialog run needs $tool (scripts/install-wine.sh wine installs it)"
done
for file in "$build/bin/STM32_Korvane.exe" "$texts_exe" "$build/tests/bin/framework_dialog_tests.exe"; do
    [ -f "$file" ] || die "$file is missing: build the Windows programs first"
done

scratch=$(mktemp -d /tmp/korvane-dialog.XXXXXX)
xvfb_pid=""
program_pid=""
own_prefix=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$own_prefix" ] && "$wineserver" -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- A virtual display whose frame buffer is a file (XWD) we can read. Xvfb
# picks a free display number itself and writes it to fd 3.
mkdir -p "$scratch/fb"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -fbdir "$scratch/fb" -nolisten tcp \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 300); do
    display=$(head -n 1 "$scratch/display" 2>/dev/null)
    [ -n "$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$display" ] || die "Xvfb did not start: $(cat "$scratch/xvfb.log")"
export DISPLAY=:$display
xdotool getdisplaygeometry >/dev/null 2>&1 || die "no X server answers on $DISPLAY: $(cat "$scratch/xvfb.log")"
screen=$scratch/fb/Xvfb_screen0

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$scratch/prefix
    own_prefix=yes
    say "creating a Wine prefix for the dialog"
    timeout 300 "$wine" wineboot -i >"$scratch/wineboot.log" 2>&1 ||
        { cat "$scratch/wineboot.log" >&2; die "wineboot could not create the prefix"; }
fi
# Wine draws the windows' frames itself (there is no window manager on the
# display), and links a face with the Chinese glyphs to the dialog font, as
# Windows links its CJK faces to its UI fonts.
timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    die "could not set Wine's X11 driver to draw the frames"
timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f /reg:64 >/dev/null 2>&1 ||
    timeout 60 "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 ||
    die "could not link the Chinese face to the dialog font"
# A 64-bit prefix is a 64-bit Windows, whichever word size the program has.
if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then word=64; other=32; else word=32; other=64; fi

# --- The framework's own suite, now that there is a display.
log=$scratch/framework_dialog_tests.log
if (cd "$build/tests/bin" && timeout 120 "$wine" ./framework_dialog_tests.exe --gtest_brief=1 >"$log" 2>&1); then
    say "ok   framework_dialog_tests ($(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] //p' | tail -1))"
else
    cat "$log" >&2
    fail "framework_dialog_tests (the dialog framework on Win32)"
fi

# --- The program, from a copy of its folder, so a driver file can be put beside a script.
program=$scratch/program
mkdir -p "$program"
cp -R "$build/bin/." "$program/"
# As a fresh unpack: no Sys.dat from earlier runs (korvane.exe's flash counts in it).
rm -f "$program/Sys.dat"
to_windows() { printf 'Z:%s' "$1" | tr / '\\'; }
# Stands in for Windows' pnputil (Wine has none): records how it was called.
printf '@echo off\r\necho %%* in %%cd%%> "%%~dp0pnputil-call.txt"\r\necho Driver package added successfully.\r\nexit /b 0\r\n' \
    >"$scratch/pnputil.bat"
start_program() { # options of STM32_Korvane.exe; sets program_pid
    (cd "${program_cwd:-$program}" && KORVANE_PNPUTIL=$(to_windows "$scratch/pnputil.bat") \
        timeout "$RUN_TIMEOUT" "$wine" "$program/STM32_Korvane.exe" "$@" >"$scratch/program.log" 2>&1) &
    program_pid=$!
}
start_program

# Prints the ids of the program's visible windows whose name matches $1.
windows_named() {
    for id in $(xdotool search --onlyvisible --class 'stm32_korvane' 2>/dev/null); do
        name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
        printf '%s\n' "$name" | grep -Eq "$1" && echo "$id"
    done
}
# Waits for a visible window named $1 (a regular expression); prints its id.
wait_window() {
    for _ in $(seq $((WAIT * 5))); do
        found=$(windows_named "$1" | head -n 1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.2
    done
    return 1
}
# The controls of the visible window titled $1, as window_texts.exe lists them.
controls_of() {
    timeout 60 "$wine" "$texts_exe" "$1" 2>/dev/null | tr -d '\r'
}
# Waits until the "Prompt" box holds the text $1; prints its controls.
wait_prompt() {
    for _ in $(seq $((WAIT * 2))); do
        listing=$(controls_of Prompt)
        case "$listing" in *"$1"*)
            echo "$listing"
            return 0
            ;;
        esac
        sleep 0.5
    done
    return 1
}
# Types keys as a person would (XTEST), once the window named $1 is on screen;
# Wine gives the window it activates the X input focus.
keys_to() {
    wait_window "$1" >/dev/null || return 1
    shift
    sleep 0.3
    xdotool key "$@"
}
geometry_of() { # prints "X Y WIDTH HEIGHT"
    (eval "$(xdotool getwindowgeometry --shell "$1")" && echo "$X $Y $WIDTH $HEIGHT")
}
shoot() { # window name, file name
    [ -n "$shots" ] || return 0
    mkdir -p "$shots"
    xdotool mousemove 0 0  # the pointer out of the picture
    sleep 0.5              # the last paint reaches the frame buffer
    place=$(geometry_of "$(wait_window "$1")") || { fail "no window \"$1\" to take a picture of"; return; }
    # shellcheck disable=SC2086
    $xwd crop "$screen" $place "$shots/$2" && say "screenshot $shots/$2"
}
give_up() {
    cat "$scratch/program.log" >&2
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        echo "  visible window $id \"$(xdotool getwindowname "$id" 2>/dev/null)\" $(geometry_of "$id" 2>/dev/null)" >&2
    done
    die "$*"
}

# 1. The precautions form comes first, alone, without a title.
form=$(wait_window '.*') || give_up "no window of STM32_Korvane.exe appeared within $WAIT s"
form_name=$(xdotool getwindowname "$form")
[ -z "$form_name" ] || fail "the first window is \"$form_name\", not the precautions form without a title"
[ -z "$(windows_named '^Driver$')" ] || fail "the \"Driver\" window is shown before the precautions form was closed"
set -- $(geometry_of "$form")
form_x=$1 form_y=$2 form_w=$3 form_h=$4
say "precautions form: no title, ${form_w}x${form_h} at $form_x,$form_y"
# Both pictures, pixel for pixel at their own sizes, inside the form.
sleep 1
for picture in 131 1044; do
    if where=$($xwd find "$screen" "$src/res/bitmaps/$picture.bmp"); then
        set -- $where
        if [ "$1" -ge "$form_x" ] && [ "$2" -ge "$form_y" ] &&
            [ "$1" -lt $((form_x + form_w)) ] && [ "$2" -lt $((form_y + form_h)) ]; then
            say "picture $picture shown whole at its own size at $1,$2"
        else
            fail "picture $picture is on screen at $1,$2 but outside the form"
        fi
    else
        fail "picture $picture is not on screen at its own size (bitmap $picture of the form)"
    fi
done
shoot '^$' windows-precautions.png

# 2. Closing it (Escape) brings the "Driver" window, with only the button for
# this system's word size enabled.
keys_to '^$' Escape
main=$(wait_window '^Driver$') || give_up "the \"Driver\" window did not appear after the precautions form was closed"
[ -z "$(windows_named '^$')" ] || fail "the precautions form stayed on screen"
set -- $(geometry_of "$main")
say "\"Driver\" window: ${3}x${4} at $1,$2; this Windows is $word-bit"
controls=$(controls_of Driver)
echo "$controls" | grep -q "^Button	10[34][01]	shown	enabled	$word bit\$" ||
    fail "the visible \"$word bit\" button is not enabled on a $word-bit Windows"
echo "$controls" | grep -q "^Button	10[34][01]	shown	disabled	$other bit\$" ||
    fail "the visible \"$other bit\" button is not disabled on a $word-bit Windows"
echo "$controls" | grep -Eq "^Button	(1004|1023)	shown" &&
    fail "the firmware-upgrade or APN controls are shown without --service"
shoot '^Driver$' windows-main-window.png

# 3. The button asks; the script runs through cmd.exe; without the vendor's
# driver file beside it, the script fails and so does the message.
press_driver_button() { # keys, then the question must come
    keys_to '^Driver$' "$@"
    wait_prompt "Whether to install QX-8 $word bit Write Frequency Driver" >/dev/null ||
        give_up "the $word-bit driver button did not ask \"Whether to install QX-8 $word bit Write Frequency Driver\""
    # OK; the outcome's box comes next, with the same caption.
    sleep 0.3
    xdotool key Return
}
wait_no_prompt() {
    for _ in $(seq $((WAIT * 5))); do
        [ -z "$(windows_named '^Prompt$')" ] && return 0
        sleep 0.2
    done
    return 1
}
dismiss_prompt() {
    xdotool key Return && wait_no_prompt
}
# Tab goes from the first control with a tab stop to the first enabled driver button.
press_driver_button Tab space
if outcome=$(wait_prompt "failed to install"); then
    echo "$outcome" | grep -q "QX-8 $word bit Driver failed to install,please reinstall" ||
        fail "the failure message is not the $word-bit row's"
    # Our own sentence, in the language Sys.dat names (Simplified Chinese by default).
    echo "$outcome" | grep -Eq "QX-8 ${word}bit\.bat (failed with exit status 2|失败，退出状态为 2)" ||
        fail "the message does not give the script's exit status 2: $outcome"
    echo "$outcome" | grep -q "there is no driver .inf file" ||
        fail "the message does not give the script's own words (no .inf file)"
    say "without a driver file: the script exited 2 and the failure was reported with its words"
else
    fail "no failure message after the script ran without a driver file: $(controls_of Prompt)"
fi
dismiss_prompt || fail "the outcome box did not close"

# 4. With the vendor's INF beside the script, pnputil installs it and the
# success message comes.
: >"$program/QX-8 ${word}bit/radio.inf"
press_driver_button space
if wait_prompt "The QX-8 $word bit Drive has been installed successfully" >/dev/null; then
    call=$(tr -d '\r' <"$scratch/pnputil-call.txt" 2>/dev/null)
    case "$call" in
    "/add-driver *.inf /install in "*"QX-8 ${word}bit")
        say "with a driver file: pnputil $call; success reported" ;;
    *) fail "pnputil was not called as \"/add-driver *.inf /install\" from the script's folder: \"$call\"" ;;
    esac
else
    fail "no success message after the script installed the driver: $(controls_of Prompt)"
fi
dismiss_prompt || fail "the success box did not close"

# 5. Escape ends the program.
escape_ends_program() {
    keys_to '^Driver$' Escape || fail "the \"Driver\" window is gone before Escape"
    ended=""
    for _ in $(seq $((WAIT * 5))); do
        kill -0 "$program_pid" 2>/dev/null || { ended=yes; break; }
        sleep 0.2
    done
    if [ -n "$ended" ]; then
        wait "$program_pid"
        status=$?
        program_pid=""
        [ "$status" -eq 0 ] || fail "STM32_Korvane.exe ended with status $status after Escape"
        say "Escape ended the program"
    else
        fail "STM32_Korvane.exe did not end within $WAIT s of Escape in the \"Driver\" window"
    fi
}
escape_ends_program

# 6. The service start: after the same precautions form, the window also shows
# the firmware-upgrade and APN groups. It runs as on a Chinese Windows
# (LANG=zh_CN.UTF-8: code page 936), from a folder with a Chinese name, where
# the file dialog opens.
cn_dir="$scratch/固件 测试"
mkdir -p "$cn_dir"
printf '123456789' >"$cn_dir/boot.bin"
program_cwd=$cn_dir LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 start_program --service
wait_window '^$' >/dev/null || give_up "no precautions form at the service start (--service)"
keys_to '^$' Escape
wait_window '^Driver$' >/dev/null || give_up "no \"Driver\" window at the service start (--service)"
controls=$(controls_of Driver)
echo "$controls" | grep -q "^Button	1004	shown	" ||
    fail "the full-upgrade button (1004) is not shown at the service start"
echo "$controls" | grep -q "^Button	1023	shown	" ||
    fail "the APN write button (1023) is not shown at the service start"
say "service start: the firmware-upgrade and APN groups are shown"
shoot '^Driver$' windows-service-window.png
# The boot image's Browse button (1000) opens the file dialog in the Chinese
# folder; its name typed and Enter: its CRC-32 comes back on the label.
if timeout 60 "$wine" "$texts_exe" Driver --click 1000 >/dev/null 2>&1 &&
    open_box=$(wait_window '^(Open|打开|開啟)$'); then
    # Wine gives the name box the focus, holding "*.bin": replaced by the name.
    sleep 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 50 boot.bin
    sleep 0.3
    xdotool key Return
    crc=""
    for _ in $(seq $((WAIT * 2))); do
        controls=$(controls_of Driver)
        crc=$(printf '%s\n' "$controls" | sed -n 's/^Static	1015	shown	[a-z]*	//p')
        [ -n "$crc" ] && break
        sleep 0.5
    done
    # The only boot.bin with these bytes lies in the Chinese folder: its CRC-32
    # on the label means the path came through the dialog and back whole.
    if [ "$crc" = "CRC32:CBF43926" ]; then
        say "file dialog in the folder 固件 测试: boot.bin shows $crc"
    else
        fail "the boot image from the folder 固件 测试 shows '$crc', not CRC32:CBF43926"
    fi
else
    fail "the boot image's Browse button did not open the file dialog"
fi
escape_ends_program

[ "$failures" -eq 0 ] || exit 1
say "ok   the dialog under Wine on Xvfb"
