#!/usr/bin/env bash
# kestrix-convert.exe under Wine against the Linux build's kestrix-convert:
# each conversion gives the same bytes, info the same report, the repairs
# the same files; an existing destination is kept without --overwrite and
# replaced whole with it; patterns in arguments are expanded as Windows
# programs do; every kind of archive is read; the exit statuses are the same.
# Usage: convert-under-wine.sh KESTRIX-CONVERT.EXE (KESTRIX_LINUX_CONVERT
# names the Linux program).
set -u
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
linux=${KESTRIX_LINUX_CONVERT:-}
if [ -z "$linux" ] || [ ! -x "$linux" ]; then
    echo "SKIP: KESTRIX_LINUX_CONVERT does not name the Linux kestrix-convert"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
win() { wine "$exe" "$@"; }
# Windows shows paths with its own separator: told with it turned back.
slashes() { sed -i '/ -> \|^kestrix-convert: /s,\\,/,g' "$@"; }

# A 1 MiB plain image with its header, its checksum right, then one whose
# checksum is wrong and one padded to 2 MiB.
python3 - <<'PY'
import random, struct
r = random.Random(5)
b = bytearray(r.getrandbits(8) for _ in range(1 << 20))
b[0x100:0x110] = b'SEGA MEGA DRIVE '
b[0x1a0:0x1a8] = struct.pack('>II', 0, (1 << 20) - 1)
def fix(image):
    words = struct.unpack('>%dH' % ((len(image) - 0x200) // 2), bytes(image[0x200:]))
    image[0x18e:0x190] = struct.pack('>H', sum(words) & 0xffff)
fix(b)
open('game.bin', 'wb').write(b)
bad = bytearray(b); bad[0x18e] ^= 0xff
open('badsum.bin', 'wb').write(bad)
open('padded.bin', 'wb').write(b + b'\xff' * (1 << 20))
# An IPS patch that writes eight bytes at 0x200.
open('hack.ips', 'wb').write(b'PATCH' + (0x200).to_bytes(3, 'big') + (8).to_bytes(2, 'big') +
                             b'KESTRIX!' + b'EOF')
# A hack of the image, for a patch to be made of it and an xdelta3 one.
hacked = bytearray(b); hacked[0x150:0x160] = b'KESTRIX HACKED!!'; hacked[0x8000:0x8010] = b'x' * 16
open('hacked.bin', 'wb').write(hacked)
PY
# xdelta3's VCDIFF, with its default LZMA sections.
xdelta3 -e -f -s game.bin hacked.bin hack.xdelta || fail "xdelta3 made no patch"

# run NAME ARGS...: the same command by both programs, each in a folder of
# its own holding the same sources; their outputs, statuses and files compared.
run() {
    local name=$1
    shift
    local side
    for side in lin win; do
        rm -rf "$side" && mkdir -p "$side/out" && cp ./*.bin ./*.ips ./*.xdelta "$side/"
    done
    (cd lin && "$linux" "$@" >../lin.out 2>../lin.err; echo "status $?" >>../lin.out)
    (cd win && win "$@" >../win.out 2>../win.err; echo "status $?" >>../win.out)
    slashes win.out win.err
    cmp -s lin.out win.out || fail "$name: standard output differs: $(diff lin.out win.out | head -5)"
    cmp -s lin.err win.err || fail "$name: standard error differs: $(diff lin.err win.err | head -5)"
    diff -r lin win >/dev/null || fail "$name: the files differ: $(diff -rq lin win | head -3)"
}

for mode in bin2smd bin2md; do
    run "$mode" "$mode" -o out game.bin
done
# Back from the other layouts, starting from the Linux build's images.
"$linux" bin2smd -q game.bin && "$linux" bin2md -q game.bin
for pair in smd2bin:game.smd md2bin:game.md to-bin:game.smd to-smd:game.md to-md:game.smd; do
    for side in lin win; do rm -rf "$side" && mkdir -p "$side/out" && cp game.smd game.md "$side/"; done
    (cd lin && "$linux" "${pair%%:*}" -o out "${pair#*:}" >../lin.out 2>&1; echo $? >>../lin.out)
    (cd win && win "${pair%%:*}" -o out "${pair#*:}" >../win.out 2>&1; echo $? >>../win.out)
    slashes win.out
    cmp -s lin.out win.out || fail "${pair%%:*}: the messages differ: $(diff lin.out win.out | head -4)"
    diff -r lin win >/dev/null || fail "${pair%%:*}: the files differ"
done
cmp -s win/out/game.md lin/out/game.md && [ -s win/out/game.md ] || fail "to-md wrote nothing"

# Every kind of archive the Linux build reads, read the same.
mkdir -p kinds && python3 "$here/../data/make_archives.py" --kinds kinds game.smd ||
    fail "no archives were made"
for archive in kinds/*.*; do
    for side in lin win; do rm -rf "$side" && mkdir -p "$side/out" && cp "$archive" "$side/"; done
    name=${archive#kinds/}
    (cd lin && "$linux" to-bin -o out "$name" >../lin.out 2>&1; echo $? >>../lin.out)
    (cd win && win to-bin -o out "$name" >../win.out 2>&1; echo $? >>../win.out)
    slashes win.out
    cmp -s lin.out win.out || fail "$name: the messages differ: $(diff lin.out win.out | head -4)"
    diff -r lin win >/dev/null && [ -s win/out/game.bin ] || fail "$name: the files differ"
done

run "info" info game.bin badsum.bin padded.bin
run "info --json" info --json game.bin padded.bin
run "fix-checksum" fix-checksum -o out badsum.bin game.bin
run "trim" trim -o out padded.bin
run "patch" patch -p hack.ips -o out game.bin
run "an xdelta3 patch" patch -p hack.xdelta -o out game.bin
run "make-patch" make-patch game.bin hacked.bin -o out/made.bps
run "export, a dry run" export -n --profile retroarch -o out game.bin hacked.bin
# An export: the same tree as Linux's (the manifests, named by the time,
# aside), then taken back whole.
for side in lin win; do rm -rf "$side" && mkdir -p "$side/out" && cp game.bin hacked.bin "$side/"; done
(cd lin && "$linux" export -q --profile mister -o out game.bin hacked.bin)
(cd win && win export -q --profile mister -o out game.bin hacked.bin) || fail "export: the run failed"
diff -r -x 'kestrix-export-*' lin win >/dev/null || fail "export: the files differ: $(diff -rq lin win | head -3)"
(cd win && win export -q --undo out/kestrix-export-mister-*.json) || fail "export --undo failed"
[ -z "$(ls -A win/out)" ] || fail "export --undo left $(ls -A win/out)"
run "a refused size" bin2smd -o out missing.bin

# An existing destination: kept, with status 1; then replaced whole.
rm -rf win && mkdir win && cp game.bin win/ && printf old >win/game.smd
(cd win && win bin2smd game.bin >/dev/null 2>err) && fail "kept: the run did not fail"
grep -q "already exists" win/err || fail "kept: no word of it: $(cat win/err)"
[ "$(cat win/game.smd)" = old ] || fail "kept: the old file changed"
(cd win && win bin2smd --overwrite game.bin >/dev/null 2>&1) || fail "replaced: the run failed"
mkdir -p lin && "$linux" bin2smd -q --overwrite -o lin game.bin
cmp -s win/game.smd lin/game.smd || fail "replaced: not the whole image"
[ -z "$(ls -A win | grep '^\.kx-')" ] || fail "replaced: a temporary file is left"

# Windows shells hand patterns over as they are: the program expands them.
rm -rf win && mkdir -p win/out && cp game.bin badsum.bin win/
(cd win && win bin2md --force -o out '*.bin' >../win.out 2>&1) || fail "pattern: the run failed: $(cat win.out)"
[ -f win/out/game.md ] && [ -f win/out/badsum.md ] || fail "pattern: not expanded: $(cat win.out)"

# Names beyond ASCII reach the file and come out as UTF-8 when redirected.
rm -rf win && mkdir -p win/out && cp game.bin "win/café.bin"
(cd win && win bin2smd -o out "café.bin" >../win.out 2>&1) || fail "a name beyond ASCII: $(cat win.out)"
grep -qF "café.bin -> out\\café.smd" win.out || fail "a name beyond ASCII told as: $(cat win.out)"
[ -f "win/out/café.smd" ] || fail "a name beyond ASCII: no café.smd"

# A name Windows refuses is told so, and nothing is written.
rm -rf win && mkdir -p win
(cd win && win bin2smd --name aux.bin - <../game.bin >../win.out 2>&1) && fail "a device name: the run did not fail"
grep -q "the name of a device on Windows" win.out || fail "a device name told as: $(cat win.out)"
[ -z "$(ls -A win)" ] || fail "a device name: something was written: $(ls -A win)"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "kestrix-convert.exe under Wine gives what the Linux build gives"
