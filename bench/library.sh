#!/usr/bin/env bash
# Conversion's speed and memory, each figure against its yardstick in the
# same run, on a library of 200 plain images of 256 KiB to 4 MiB with real
# headers:
#   1. bin2smd --force into memory (tmpfs) against cp of the same files, and
#      against the bare work itself (bench/floor.cpp: pread, rearrange,
#      pwrite on every core, nothing else), in wall and in CPU time;
#   2. the same onto the disk of the temporary folder, each file flushed
#      before it is named, against cp followed by sync;
#   3. the guarded bin2smd against bin2smd --force (tmpfs);
#   4. one 256 MiB image and one 1 GiB image against cp and the bare work (tmpfs), with the
#      converter's peak memory (maximum resident set), and the peak memory
#      of fix-checksum and trim of a 1 GiB image;
#   5. the conversion window's run of the library (BIN to MD, the scripted
#      desktop answering) against kestrix-convert bin2md on the same files
#      and drive.
# Warm page cache; paired runs (the yardstick, then kestrix-convert, each
# into a new empty folder), 11 pairs, medians. Whole processes, but for the
# window, whose run alone is timed (kestrix-bench-batch).
# Usage: bench/library.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C # a decimal point in $EPOCHREALTIME and in awk
build=$(cd "${1:-build}" && pwd)
kx=$build/bin/kestrix-convert
runs=11

memory=/dev/shm
if [ "$(df --output=fstype "$memory" 2>/dev/null | tail -1)" != tmpfs ]; then
    echo "library.sh: $memory is not a tmpfs here; the in-memory figures are taken on the disk" >&2
    memory=${TMPDIR:-/tmp}
fi
mem=$(mktemp -d "$memory/kx-bench.XXXXXX")
disk=$(mktemp -d)
trap 'rm -rf "$mem" "$disk"' EXIT

# Every fourth image of the generator is plain; 800 give 200 of them.
"$build/bin/make-rom-library" "$mem/all" 800 >/dev/null
mkdir "$mem/library"
i=0
for f in "$mem"/all/rom*; do
    [ $((i % 4)) -eq 0 ] && mv "$f" "$mem/library/"
    i=$((i + 1))
done
# A source modified less than two seconds before it is opened is read again
# after its conversion (it may still have been being written): the library
# is older than that before anything is timed, as a user's would be.
sleep 2
rm -rf "$mem/all"
cp -r "$mem/library" "$disk/library"

# seconds DIR COMMAND...: one run, with an empty DIR/out to write to, as
# "WALL PEAK-KIB USER SYSTEM": the wall-clock seconds to the millisecond
# (time's own are to the hundredth, too coarse for runs of 0.15 s), the
# peak memory and the CPU seconds from time; a run that fails ends the
# benchmark.
seconds() {
    local dir=$1 start end
    shift
    rm -rf "$dir/out" && mkdir "$dir/out" && sync
    start=$EPOCHREALTIME
    if ! /usr/bin/time -f "%e %M %U %S" -o "$dir/time" "$@" >/dev/null 2>"$dir/err"; then
        echo "library.sh: failed: $* ($(head -3 "$dir/err"))" >&2
        exit 1
    fi
    end=$EPOCHREALTIME
    echo "$start $end $(tail -1 "$dir/time")" | awk '{printf "%.3f %s %s %s\n", $2 - $1, $4, $5, $6}'
}
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}
ratio() {
    echo "$1 $2" | awk '{printf "%.2f", $1 / $2}'
}
# cpu TIMES: the user and system seconds of a run's times, added.
cpu() {
    echo "$1" | awk '{printf "%.2f", $3 + $4}'
}
# pair NAME YARDSTICK-NAME DIR "YARDSTICK" "KESTRIX": runs both in turn and
# prints their medians and the ratio, in wall time, and in CPU time where
# CPU is set.
pair() {
    local name=$1 yname=$2 dir=$3 yard=$4 mine=$5 y=() k=() yc=() kc=() t
    cd "$dir/library"
    cat rom* >/dev/null
    for _ in $(seq "$runs"); do
        t=$(seconds "$dir" sh -c "$yard" "$dir/out" "$kx" "$build/bin/kestrix-floor")
        y+=("$(echo "$t" | cut -d' ' -f1)") yc+=("$(cpu "$t")")
        t=$(seconds "$dir" sh -c "$mine" "$dir/out" "$kx")
        k+=("$(echo "$t" | cut -d' ' -f1)") kc+=("$(cpu "$t")")
    done
    local ym km
    ym=$(median "${y[@]}")
    km=$(median "${k[@]}")
    printf '%-34s %6s s   (runs: %s)\n' "$yname" "$ym" "${y[*]}"
    printf '%-34s %6s s   (runs: %s) = %s x\n' "$name" "$km" "${k[*]}" "$(ratio "$km" "$ym")"
    if [ -n "${CPU:-}" ]; then
        ym=$(median "${yc[@]}")
        km=$(median "${kc[@]}")
        printf '%-34s %6s s CPU   (runs: %s)\n' "$yname" "$ym" "${yc[*]}"
        printf '%-34s %6s s CPU   (runs: %s) = %s x\n' "$name" "$km" "${kc[*]}" \
            "$(ratio "$km" "$ym")"
    fi
}

echo "machine: $(nproc) cores, $(uname -r), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "library: $(ls "$mem/library" | wc -l) plain images, $(du -sh "$mem/library" | cut -f1)"
echo
echo "1. in memory ($(df --output=fstype "$mem" | tail -1)):"
CPU=1 pair "bin2smd --force" "cp" "$mem" 'cp rom* "$0"' '"$1" bin2smd --force -q -o "$0" rom*'
pair "bin2smd --force -j 1" "cp" "$mem" 'cp rom* "$0"' '"$1" bin2smd --force -q -j 1 -o "$0" rom*'
CPU=1 pair "the bare work" "cp" "$mem" 'cp rom* "$0"' '"'"$build/bin/kestrix-floor"'" "$0" rom*'
CPU=1 pair "bin2smd --force" "the bare work" "$mem" '"$2" "$0" rom*' \
    '"$1" bin2smd --force -q -o "$0" rom*'
echo
echo "2. onto the disk ($(df --output=fstype "$disk" | tail -1)), durable:"
pair "bin2smd --force" "cp + sync" "$disk" 'cp rom* "$0" && sync' \
    '"$1" bin2smd --force -q -o "$0" rom*'
echo
echo "3. the guard, in memory:"
pair "bin2smd (guarded)" "bin2smd --force" "$mem" '"'"$kx"'" bin2smd --force -q -o "$0" rom*' \
    '"$1" bin2smd -q -o "$0" rom*'
echo
echo "4. one image, in memory:"
for size in 256 1024; do
    rm -rf "$mem/library"
    mkdir "$mem/library"
    head -c $((size << 20)) /dev/urandom >"$mem/library/rom.bin"
    pair "bin2smd --force, $size MiB" "cp, $size MiB" "$mem" 'cp rom* "$0"' \
        '"$1" bin2smd --force -q -o "$0" rom*'
    pair "bin2smd --force, $size MiB" "the bare work, $size MiB" "$mem" '"$2" "$0" rom*' \
        '"$1" bin2smd --force -q -o "$0" rom*'
    seconds "$mem" "$kx" bin2smd --force -q -o "$mem/out" "$mem/library/rom.bin" >"$mem/peak"
    echo "  peak memory of bin2smd, $size MiB: $(($(cut -d' ' -f2 "$mem/peak") / 1024)) MiB"
    seconds "$mem" "$kx" bin2md --force --verify -q -o "$mem/out" "$mem/library/rom.bin" >"$mem/peak"
    echo "  peak memory of bin2md --verify, $size MiB: $(($(cut -d' ' -f2 "$mem/peak") / 1024)) MiB"
done
# The repairs of a 1 GiB image whose header declares its first half, the
# second being padding: its checksum (over the declared half), and a trim.
{
    head -c 512M /dev/urandom
    head -c 512M /dev/zero | tr '\0' '\377'
} >"$mem/library/rom.bin"
printf 'SEGA MEGA DRIVE ' | dd of="$mem/library/rom.bin" bs=1 seek=256 conv=notrunc status=none
printf '\000\000\000\000\037\377\377\377' |
    dd of="$mem/library/rom.bin" bs=1 seek=416 conv=notrunc status=none
seconds "$mem" "$kx" fix-checksum -q -o "$mem/out" "$mem/library/rom.bin" >"$mem/peak"
echo "  fix-checksum, 1024 MiB: $(cut -d' ' -f1 "$mem/peak") s, peak memory $(($(cut -d' ' -f2 "$mem/peak") / 1024)) MiB"
seconds "$mem" "$kx" trim --verify -q -o "$mem/out" "$mem/library/rom.bin" >"$mem/peak"
echo "  trim --verify, 1024 MiB: $(cut -d' ' -f1 "$mem/peak") s, peak memory $(($(cut -d' ' -f2 "$mem/peak") / 1024)) MiB"
rm -rf "$mem/library" "$mem/out"
echo
echo "5. the window's run against kestrix-convert, in memory:"
cp -r "$disk/library" "$mem/library"
cd "$mem/library"
k=()
for _ in $(seq "$runs"); do
    k+=("$(seconds "$mem" "$kx" bin2md -q -o "$mem/out" rom* | cut -d' ' -f1)")
done
km=$(median "${k[@]}")
window=$(KESTRIX_BENCH_LIBRARY="$mem/library" KESTRIX_BENCH_OUT="$mem/out" \
    "$build/bin/kestrix-bench-batch" --benchmark_filter=BM_RunOfLibrary \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true 2>/dev/null |
    awk '/_median/ {print $2 / 1000}')
printf '%-34s %6s s   (runs: %s)\n' "kestrix-convert bin2md" "$km" "${k[*]}"
printf '%-34s %6s s   (median of %s runs) = %s x\n' "the window's run, BIN to MD" "$window" \
    "$runs" "$(ratio "$window" "$km")"
