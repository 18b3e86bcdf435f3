#!/usr/bin/env bash
# The installer under Wine, silently: both programs, the read-me and the
# licence in Program Files\Kestrix, a Start menu entry for all users, the
# installed kestrix-convert.exe runs; the uninstaller takes all of it away.
# Usage: installer-under-wine.sh SETUP.EXE
set -u
setup=$1
[ -f "$setup" ] || { echo "SKIP: no installer at $setup (makensis missing?)"; exit 77; }
drive=$WINEPREFIX/drive_c
folder="$drive/Program Files/Kestrix"
link="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrix.lnk"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
wine "$setup" /S || fail "the installer failed"
for file in kestrix.exe kestrix-convert.exe readme.txt LICENSE.txt uninstall.exe; do
    [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ -f "$link" ] || fail "no Start menu entry"
# "Open with" for the images and patches, and no default taken.
openwith() {
    wine reg query "HKLM\\Software\\Classes\\$1\\OpenWithList\\kestrix.exe" >/dev/null 2>&1
}
for extension in .smd .md .gen .bin .ips .bps .ups .dat .xdelta; do
    openwith "$extension" || fail "no Open with entry for $extension"
    wine reg query "HKLM\\Software\\Classes\\$extension" /ve 2>/dev/null | grep -qi kestrix &&
        fail "$extension is made Kestrix's by default"
done
version=$(wine "$folder/kestrix-convert.exe" --version | head -1)
[ "$version" = "kestrix-convert 2.0.0~rc2" ] || fail "the installed program says: $version"
# The uninstaller copies itself aside and returns at once: its work is
# waited for, up to two minutes (the folder goes last, and Wine is slow to
# get to it while other Windows tests run beside this one).
wine "$folder/uninstall.exe" /S || fail "the uninstaller failed"
for _ in $(seq 1 240); do
    [ -e "$folder" ] || break
    sleep 0.5
done
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder")"
[ ! -e "$link" ] || fail "the Start menu entry is left"
openwith .ips && fail "the Open with entry for .ips is left"
openwith .smd && fail "the Open with entry for .smd is left"
[ $status = 0 ] && echo "installed, ran and uninstalled"
exit $status
