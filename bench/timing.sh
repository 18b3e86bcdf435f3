# Shared by the benchmark scripts; sourced, with $work set to their folder.

# once COMMAND...: wall-clock seconds of one run of a command, started with
# an empty $work/out (and $work/loose) and a quiet disk.
once() {
    rm -rf "$work/out" "$work/loose" && mkdir "$work/out" "$work/loose" && sync
    /usr/bin/time -f %e -o "$work/time" "$@" >/dev/null 2>&1
    tail -1 "$work/time"
}

# median TIME...: the middle one.
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}
