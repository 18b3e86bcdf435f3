#!/usr/bin/env bash
# kestrix.exe under Wine on a virtual display: the main window shows with
# its caption, each of the four buttons opens its conversion window, whose
# Cancel gives the main window back; the Help menu's read-me item opens
# readme.txt in the system's editor (ShellExecuteW); the Help menu's read-me item opens
# then two files chosen in the file dialog are converted to SMD images, the
# bytes the Linux build's kestrix-convert (KESTRIX_LINUX_CONVERT) gives.
# Then an image and a patch given to it open the patch window, whose Return
# writes what kestrix-convert patch writes.
# It runs in English (an English Windows locale); before it, a start in a
# Chinese locale shows the About box as 关于, and in English as About.
# KESTRIX_WINDOW_SHOT, where set, names a screenshot of the last conversion
# window.
# Usage: window-under-wine.sh KESTRIX.EXE
set -u
exe=$(realpath "$1")
for tool in xvfb-run xdotool wine; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if [ -z "${KESTRIX_IN_XVFB:-}" ]; then
    KESTRIX_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

# wait_for NAME [SECONDS]: the id of the visible window of that caption,
# within 60 s or the time given.
wait_for() {
    local id
    for _ in $(seq 1 $((${2:-60} * 2))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    return 1
}
# click WINDOW X Y: a click at a place of the window's client area.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.5
}

# Two 1 MiB plain images in a folder of their own, where the file dialog
# opens.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
python3 - <<'PY'
import random
for name, seed in (('a.bin', 1), ('b.bin', 2)):
    r = random.Random(seed)
    b = bytearray(r.getrandbits(8) for _ in range(1 << 20))
    b[0x100:0x110] = b'SEGA MEGA DRIVE '
    open(name, 'wb').write(b)
PY
status=0
# help_item WINDOW Y: the Help menu's item at that height of its popup.
help_item() {
    local popup=
    for _ in 1 2 3; do
        click "$1" 117 10
        popup=$(wait_for "Kestrix" 2) && break
    done
    [ -n "$popup" ] || return 1
    xdotool mousemove --window "$popup" 60 "$2"
    sleep 0.5
    click "$popup" 65 "$(($2 + 1))"
}
# shown CAPTION: whether a visible window bears it within 10 s.
shown() {
    local id
    for _ in $(seq 1 20); do
        for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
            [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && return 0
        done
        sleep 0.5
    done
    return 1
}
# about_in LOCALE CAPTION: started in that locale, the About box is captioned so.
about_in() {
    LANG=$1 LC_ALL=$1 wine "$exe" >/dev/null 2>&1 &
    disown $!
    local main
    main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2") || { echo "FAIL: no main window in $1"; return 1; }
    help_item "$main" 120
    # By the name as the window manager shows it: a search by a Chinese
    # name does not find it.
    if shown "$2"; then
        echo "in $1 the About box reads: $2"
    else
        echo "FAIL: in $1 no About box captioned $2"
        status=1
    fi
    wineserver -k 2>/dev/null
    sleep 1
}
about_in zh_CN.UTF-8 "关于"
about_in en_US.UTF-8 "About"
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine "$exe" >/dev/null 2>&1 &
main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2") || { echo "FAIL: no main window"; exit 1; }
echo "the main window: $(xdotool getwindowname "$main")"
# open_form X CAPTION: the conversion window the main window's button at X
# opens. A window that is not the active one may take the first click only
# to become it.
open_form() {
    local form
    for _ in 1 2 3; do
        click "$main" "$1" 202
        form=$(wait_for "$2" 10) && { echo "$form"; return 0; }
    done
    return 1
}
# The buttons' centres, in the window's pixels.
x=36
for caption in "SMD to BIN" "BIN to SMD" "MD to BIN" "BIN to MD"; do
    form=$(open_form "$x" "$caption")
    x=$((x + 72))
    if [ -z "$form" ]; then
        echo "FAIL: no window $caption"
        status=1
        continue
    fi
    echo "opened: $caption"
    [ -n "${KESTRIX_WINDOW_SHOT:-}" ] && import -window root "$KESTRIX_WINDOW_SHOT"
    # Cancel, with no file in the list, goes straight back.
    click "$form" 324 212
    if ! main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2"); then
        echo "FAIL: $caption: Cancel did not give the main window back"
        status=1
        break
    fi
    xdotool search --onlyvisible --name "^$caption\$" >/dev/null 2>&1 &&
        { echo "FAIL: $caption is still shown"; status=1; }
done

# Two files through the file dialog (Add files, both names typed, Open),
# then Convert.
if [ $status = 0 ] && form=$(open_form 108 "BIN to SMD"); then
    click "$form" 308 28
    sleep 4
    xdotool type --delay 50 '"a.bin" "b.bin"'
    xdotool key Return
    sleep 3
    click "$form" 252 212
    for _ in $(seq 1 60); do
        [ -f a.smd ] && [ -f b.smd ] && break
        sleep 0.5
    done
    if [ -n "${KESTRIX_LINUX_CONVERT:-}" ]; then
        mkdir linux && "$KESTRIX_LINUX_CONVERT" bin2smd -q -o linux a.bin b.bin
        for name in a.smd b.smd; do
            cmp -s "$name" "linux/$name" || { echo "FAIL: $name is not the Linux build's"; status=1; }
        done
        [ $status = 0 ] && echo "converted through the file dialog: a.smd, b.smd"
    else
        [ -f a.smd ] && [ -f b.smd ] || { echo "FAIL: the batch wrote $(ls)"; status=1; }
    fi
    # "Conversion complete! ... remove all files from the list?": Yes; then
    # Cancel, with the list empty, goes back to the main window.
    sleep 2
    xdotool key Return
    sleep 1
    click "$form" 324 212
    main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2") ||
        { echo "FAIL: no main window after the batch"; status=1; }
else
    echo "FAIL: no window to convert in"
    status=1
fi
# An SMD image and an IPS patch given to the program, as "Open with" gives
# them: the patch window opens with both, and Return writes the patched
# image beside it, the bytes the Linux build's kestrix-convert patch gives.
python3 - <<'PY'
import random
r = random.Random(3)
plain = bytearray(r.getrandbits(8) for _ in range(1 << 20))
plain[0x100:0x110] = b'SEGA MEGA DRIVE '
smd = bytearray(512)
smd[0], smd[1] = 64, 3
smd[8], smd[9] = 0xAA, 0xBB
for block in range(len(plain) // 16384):
    part = plain[block * 16384:(block + 1) * 16384]
    smd += part[1::2] + part[0::2]
open('game.smd', 'wb').write(smd)
open('fix.ips', 'wb').write(b'PATCH' + (0x200).to_bytes(3, 'big') + (8).to_bytes(2, 'big') +
                             b'KESTRIX!' + b'EOF')
PY
wine "$exe" game.smd fix.ips >/dev/null 2>&1 &
disown $!
if shown "Apply patches"; then
    sleep 3
    xdotool key Return
    for _ in $(seq 1 40); do
        [ -f fix.smd ] && break
        sleep 0.5
    done
    if [ -n "${KESTRIX_LINUX_CONVERT:-}" ]; then
        mkdir -p linux-patch && "$KESTRIX_LINUX_CONVERT" patch -q -p fix.ips -o linux-patch game.smd
        if cmp -s fix.smd linux-patch/fix.smd; then
            echo "patched through the patch window: fix.smd, the command line's bytes"
        else
            echo "FAIL: the patch window wrote $(ls fix.* 2>/dev/null), not the command line's bytes"
            status=1
        fi
    else
        [ -f fix.smd ] || { echo "FAIL: the patch window wrote nothing"; status=1; }
    fi
else
    echo "FAIL: kestrix.exe game.smd fix.ips opened no patch window"
    status=1
fi
wineserver -k 2>/dev/null
sleep 1
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine "$exe" >/dev/null 2>&1 &
disown $!
main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2") || { echo "FAIL: no main window"; exit 1; }
# Last, since the editor covers the main window: Help, then its read-me
# item, and Wine's editor shows readme.txt (its first start in a new prefix
# can take half a minute on a busy machine).
help_item "$main" 100
if editor=$(wait_for "readme.txt - Notepad" 60); then
    echo "the read-me opened: $(xdotool getwindowname "$editor")"
else
    echo "FAIL: the read-me item opened no editor"
    status=1
fi
wineserver -k 2>/dev/null
exit $status
