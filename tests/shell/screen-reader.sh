#!/usr/bin/env bash
# kestrix on a virtual display with an accessibility bus, read in one
# language by screen_reader.py. Usage: screen-reader.sh KESTRIX LANGUAGE
set -u
for tool in xvfb-run dbus-run-session /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
if [ -z "${KESTRIX_IN_XVFB:-}" ]; then
    KESTRIX_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" \
        dbus-run-session -- bash "$0" "$@" 2> >(grep -v 'fd limit\|dbus-daemon' >&2)
fi
kestrix=$1
language=$2
config=$(mktemp -d)
export XDG_RUNTIME_DIR=$config
trap 'kill $program $bus 2>/dev/null; rm -rf "$config"' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
bus=$!
sleep 1
# The system's language decides; nothing kept from another run.
[ "$language" = en ] && locale=en_US.UTF-8 || locale=zh_CN.UTF-8
env -u QT_QPA_PLATFORM LANG=$locale LANGUAGE= LC_ALL= XDG_CONFIG_HOME="$config" \
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$kestrix" &
program=$!
/usr/bin/python3 "$(dirname "$0")/screen_reader.py" "$language"
