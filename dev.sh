#!/usr/bin/env bash
# Kestrix developer commands. Each one installs what it is missing (Debian
# packages, through apt-get), configures, builds and then does its job.
#
#   ./dev.sh run      build the desktop program alone and start it
#   ./dev.sh test     check the sources' format, build everything with warnings
#                     as errors and run the whole test suite, then again built
#                     with AddressSanitizer and UBSan, and with ThreadSanitizer
#   ./dev.sh install  build and install stripped (PREFIX=/usr/local, DESTDIR kept)
#   ./dev.sh uninstall  remove what install put there (its own record), never a
#                     file that a package owns
#   ./dev.sh package  build the Debian package kestrix_VERSION_ARCH.deb
#   ./dev.sh coverage build with coverage instrumentation, run the suite once,
#                     and report line and branch coverage of engine/ and tools/
#   ./dev.sh bench    build and run the benchmarks
#   ./dev.sh fuzz [SECONDS]  build the patch readers' fuzz target with clang,
#                     AddressSanitizer and UBSan, and run it (default 600 s)
#   ./dev.sh windows  cross-build both programs for 64-bit Windows with MinGW-w64
#                     and pack build-windows/kestrix-VERSION-win64.zip (and the
#                     NSIS installer beside it)
#   ./dev.sh format   apply the project's clang-format style
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

BUILD_DIR=${KESTRIX_BUILD_DIR:-build}
# What ./dev.sh install put where, for ./dev.sh uninstall.
INSTALL_RECORD=kestrix-install-record.txt
SANITIZE_DIR=${KESTRIX_SANITIZE_DIR:-build-sanitize}
TSAN_DIR=${KESTRIX_TSAN_DIR:-build-tsan}
BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev qt6-l10n-tools qt6-tools-dev libgl-dev libbenchmark-dev
    zlib1g-dev libarchive-dev nettle-dev liblzma-dev pkgconf)
RUN_PACKAGES=(fonts-noto-cjk qt6-translations-l10n)
TEST_PACKAGES=(e2fsprogs xfsprogs btrfs-progs dosfstools exfatprogs exfat-fuse fusefat ntfs-3g acl attr
    mount fonts-dejavu-core qt6-translations-l10n desktop-file-utils
    appstream lintian dpkg-dev file xvfb xauth x11-utils libarchive-tools
    python3 xz-utils bzip2 zstd dbus-daemon at-spi2-core python3-pyatspi gir1.2-atspi-2.0 xdelta3)
PACKAGE_PACKAGES=(dpkg-dev file)
BENCH_PACKAGES=(rhash time zip unzip xdelta3)
# The window's test under Wine clicks its menus where they are drawn in the
# Chinese font: without one the captions shrink to boxes and the clicks miss.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 qt6-base-dev-tools qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
    wine wine64 nsis xz-utils xdotool xvfb xauth xdelta3
    python3 fonts-noto-cjk)
WINDOWS_DIR=${KESTRIX_WINDOWS_BUILD_DIR:-build-windows}
# The Windows libraries (Qt, zlib, libarchive...), built once for every clone.
WINDOWS_DEPS=${KESTRIX_WINDOWS_DEPS:-/opt/kx-qt6-mingw}
# A cached static Qt for MinGW, where one is there.
WINDOWS_QT_CACHE=../shared/windows/qt6-base-6.4.2-mingw-w64-static.tar.xz

install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Missing packages: ${missing[*]}" >&2
            echo "As root, run: apt-get install ${missing[*]}" >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# configure DIR [CMAKE OPTIONS...]: once per build folder, and again when
# options are given (they stay in the folder's cache).
configure() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    elif [ $# -gt 0 ]; then
        cmake -S . -B "$dir" "$@" >/dev/null
    fi
}

# build [TARGET...]: everything, or just the targets named.
build() {
    configure "$BUILD_DIR"
    if [ $# -eq 0 ]; then
        cmake --build "$BUILD_DIR"
    else
        cmake --build "$BUILD_DIR" --target "$@"
    fi
}

# The Windows libraries in WINDOWS_DEPS: Qt from the cache where it is there,
# then whatever is missing built from Debian's source packages.
windows_deps() {
    # The set's version, which tools/windows/build-deps.sh writes: 2 added
    # Zstandard.
    [ "$(cat "$WINDOWS_DEPS/.kestrix-deps" 2>/dev/null)" = 2 ] && return 0
    if [ ! -e "$WINDOWS_DEPS/lib/cmake/Qt6/qt.toolchain.cmake" ] && [ -f "$WINDOWS_QT_CACHE" ]; then
        echo "Unpacking the cached Qt for Windows into $WINDOWS_DEPS"
        local unpack
        unpack=$(mktemp -d)
        tar -C "$unpack" -xJf "$WINDOWS_QT_CACHE"
        as_root mkdir -p "$WINDOWS_DEPS"
        as_root cp -a "$unpack"/*/. "$WINDOWS_DEPS/"
        rm -rf "$unpack"
    fi
    echo "Building the Windows libraries into $WINDOWS_DEPS (once; Qt alone takes about an hour" \
        "where no cached one is there)"
    as_root tools/windows/build-deps.sh "$WINDOWS_DEPS"
}

# The Windows build in WINDOWS_DIR, its tests among it, and its zip and
# installer.
windows_build() {
    install_packages "${WINDOWS_PACKAGES[@]}"
    windows_deps || exit 1
    if [ ! -f "$WINDOWS_DIR/build.ninja" ]; then
        cmake -S . -B "$WINDOWS_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$PWD/tools/windows/mingw-w64-x86_64.cmake" \
            -DKESTRIX_WINDOWS_DEPS="$WINDOWS_DEPS" -DCMAKE_PREFIX_PATH="$WINDOWS_DEPS" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DKESTRIX_BENCHMARKS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$@" >/dev/null
    fi
    cmake --build "$WINDOWS_DIR"
    # Both artefacts are promised: NSIS is among the packages above, so the
    # installer's target is there, and a build that cannot make either fails.
    cmake --build "$WINDOWS_DIR" --target windows-zip windows-installer
    local artefact
    for artefact in win64.zip win64-setup.exe; do
        if ! compgen -G "$WINDOWS_DIR/kestrix-*-$artefact" >/dev/null; then
            echo "error: the Windows build made no $WINDOWS_DIR/kestrix-*-$artefact" >&2
            exit 1
        fi
    done
}

as_root() {
    if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

case "${1:-}" in
run)
    install_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
    build kestrix
    exec "$BUILD_DIR/bin/kestrix"
    ;;
test)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" clang-format
    # Every source in the project's style, and no warning anywhere.
    configure "$BUILD_DIR" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    cmake --build "$BUILD_DIR" --target format-check
    build
    (cd "$BUILD_DIR" && ctest --output-on-failure --parallel 2)
    # The same suite built with the sanitizers: any report fails its test.
    echo "Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) in $SANITIZE_DIR"
    configure "$SANITIZE_DIR" -DKESTRIX_SANITIZE=ON -DKESTRIX_BENCHMARKS=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    cmake --build "$SANITIZE_DIR"
    (
        cd "$SANITIZE_DIR"
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        ctest --output-on-failure --parallel 2
    )
    # The Windows build, its tests run under Wine. Where its libraries
    # cannot be had (no network for the source packages), it is skipped and
    # says so; a Windows build or test that fails fails the run.
    linux_convert=$(realpath "$BUILD_DIR/bin/kestrix-convert")
    install_packages "${WINDOWS_PACKAGES[@]}"
    if (windows_deps); then
        echo "Windows build (MinGW-w64) in $WINDOWS_DIR, its tests under Wine"
        windows_build
        (cd "$WINDOWS_DIR" && KESTRIX_LINUX_CONVERT=$linux_convert ctest --output-on-failure \
            --parallel 2)
    else
        echo "SKIPPED: the Windows tests: the Windows libraries could not be built into" \
            "$WINDOWS_DEPS"
    fi
    # And with ThreadSanitizer: a data race or a lock taken in two orders
    # ends the program with an error, so the test that ran it fails.
    echo "Sanitizer build (ThreadSanitizer) in $TSAN_DIR"
    configure "$TSAN_DIR" -DKESTRIX_SANITIZE_THREAD=ON -DKESTRIX_BENCHMARKS=OFF \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    cmake --build "$TSAN_DIR"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:ignore_noninstrumented_modules=1:suppressions=$PWD/tests/support/tsan.supp"
    cd "$TSAN_DIR"
    exec ctest --output-on-failure --parallel 2
    ;;
coverage)
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" gcovr
    COVERAGE_DIR=${KESTRIX_COVERAGE_DIR:-build-coverage}
    configure "$COVERAGE_DIR" -DCMAKE_BUILD_TYPE=Debug -DKESTRIX_COVERAGE=ON \
        -DKESTRIX_BENCHMARKS=OFF
    cmake --build "$COVERAGE_DIR"
    # Objects of sources since moved or removed, and their notes, would be
    # merged with the current ones.
    (cd "$COVERAGE_DIR" && ninja -t cleandead >/dev/null)
    find "$COVERAGE_DIR" -name '*.gcno' | while IFS= read -r note; do
        [ -e "${note%.gcno}.o" ] || rm -f -- "$note"
    done
    find "$COVERAGE_DIR" -name '*.gcda' -delete
    status=0
    (cd "$COVERAGE_DIR" && ctest --output-on-failure --parallel 2) || status=$?
    mkdir -p "$COVERAGE_DIR/coverage"
    # Branches the compiler adds for exceptions and for code it proves
    # unreachable are not the program's own decisions.
    # make-art draws the committed icon and logo: a developer's tool no test runs.
    gcovr --root . --object-directory "$COVERAGE_DIR" --filter 'engine/' --filter 'tools/' \
        --exclude 'tools/make-art/' \
        --exclude-throw-branches --exclude-unreachable-branches \
        --html-details "$COVERAGE_DIR/coverage/index.html" --txt "$COVERAGE_DIR/coverage/summary.txt" \
        --print-summary
    echo "Report: $COVERAGE_DIR/coverage/index.html"
    exit "$status"
    ;;
install)
    install_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
    build kestrix kestrix-convert
    # sudo resets the environment: DESTDIR goes through explicitly.
    as_root env DESTDIR="${DESTDIR:-}" \
        cmake --install "$BUILD_DIR" --prefix "${PREFIX:-/usr/local}" --strip
    # install's own record of what it put where, DESTDIR included: CMake's
    # install_manifest.txt is rewritten by cpack and by the install test.
    sed "s|^|${DESTDIR:-}|" "$BUILD_DIR/install_manifest.txt" >"$BUILD_DIR/$INSTALL_RECORD"
    ;;
uninstall)
    record="$BUILD_DIR/$INSTALL_RECORD"
    if [ ! -f "$record" ]; then
        echo "nothing to uninstall: $record is missing (run ./dev.sh install first)" >&2
        exit 1
    fi
    # Exactly what install recorded, and never a file a package owns (the
    # same paths as the Debian package's, when install went to /usr).
    while IFS= read -r file || [ -n "$file" ]; do
        if dpkg-query -S "$file" >/dev/null 2>&1; then
            echo "kept $file: a package owns it ($(dpkg-query -S "$file" 2>/dev/null | cut -d: -f1))"
            continue
        fi
        if [ -e "$file" ] || [ -L "$file" ]; then
            as_root rm -f -- "$file"
            echo "removed $file"
        fi
        # The program's own folders go once they are empty.
        case "$file" in
        */kestrix/*) as_root rmdir --ignore-fail-on-non-empty -- "$(dirname -- "$file")" ;;
        esac
    done <"$record"
    rm -f -- "$record"
    ;;
package)
    install_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    build kestrix kestrix-convert
    cd "$BUILD_DIR"
    exec cpack -G DEB
    ;;
fuzz)
    install_packages "${BUILD_PACKAGES[@]}" clang
    FUZZ_DIR=${KESTRIX_FUZZ_DIR:-build-fuzz}
    configure "$FUZZ_DIR" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DKESTRIX_FUZZ=ON -DKESTRIX_SANITIZE=ON -DKESTRIX_BENCHMARKS=OFF
    cmake --build "$FUZZ_DIR" --target fuzz_patch
    # What the run finds beyond the seeds stays in the build folder.
    mkdir -p "$FUZZ_DIR/corpus"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    exec "$FUZZ_DIR/tests/fuzz/fuzz_patch" -max_total_time="${2:-600}" -rss_limit_mb=4096 \
        -timeout=30 -print_final_stats=1 "$FUZZ_DIR/corpus" tests/fuzz/seeds
    ;;
bench)
    install_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    build
    "$BUILD_DIR/bin/kestrix-bench"
    "$BUILD_DIR/bin/kestrix-bench-progressbar"
    "$BUILD_DIR/bin/kestrix-bench-batch"
    bench/library.sh "$BUILD_DIR"
    bench/archives.sh "$BUILD_DIR"
    bench/patches.sh "$BUILD_DIR"
    bench/make-patch.sh "$BUILD_DIR"
    bench/audit.sh "$BUILD_DIR"
    bench/export.sh "$BUILD_DIR"
    bench/info-memory.sh "$BUILD_DIR"
    bench/window-memory.sh "$BUILD_DIR"
    bench/stream-memory.sh "$BUILD_DIR"
    exec bench/info-vs-rhash.sh "$BUILD_DIR"
    ;;
windows)
    windows_build
    ls "$WINDOWS_DIR"/kestrix-*-win64.zip "$WINDOWS_DIR"/kestrix-*-win64-setup.exe
    ;;
format)
    install_packages "${BUILD_PACKAGES[@]}" clang-format
    configure "$BUILD_DIR"
    exec cmake --build "$BUILD_DIR" --target format
    ;;
*)
    echo "usage: ./dev.sh run|test|coverage|install|uninstall|package|bench|fuzz|windows|format" >&2
    exit 2
    ;;
esac
