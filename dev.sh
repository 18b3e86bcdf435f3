#!/usr/bin/env bash
# Kestrix developer commands. Each one installs what it is missing (Debian
# packages, through apt-get), configures, builds and then does its job.
#
#   ./dev.sh run     build and start the program
#   ./dev.sh test    build and run the whole test suite
#   ./dev.sh bench   build and run the benchmarks
#   ./dev.sh format  apply the project's clang-format style
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

BUILD_DIR=${KESTRIX_BUILD_DIR:-build}
BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libbenchmark-dev zlib1g-dev)
RUN_PACKAGES=(fonts-noto-cjk)
TEST_PACKAGES=(e2fsprogs mount fonts-dejavu-core)

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
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

build() {
    install_packages "${BUILD_PACKAGES[@]}" "$@"
    if [ ! -f "$BUILD_DIR/build.ninja" ]; then
        cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    cmake --build "$BUILD_DIR"
}

case "${1:-}" in
run)
    build "${RUN_PACKAGES[@]}"
    exec "$BUILD_DIR/bin/kestrix"
    ;;
test)
    build "${TEST_PACKAGES[@]}"
    cd "$BUILD_DIR"
    exec ctest --output-on-failure --parallel 2
    ;;
bench)
    build
    "$BUILD_DIR/bin/kestrix-bench"
    "$BUILD_DIR/bin/kestrix-bench-progressbar"
    exec "$BUILD_DIR/bin/kestrix-bench-batch"
    ;;
format)
    build clang-format
    exec cmake --build "$BUILD_DIR" --target format
    ;;
*)
    echo "usage: ./dev.sh run|test|bench|format" >&2
    exit 2
    ;;
esac
