#!/usr/bin/env bash
# Cross-builds the libraries the Windows programs link, static, from
# Debian's own source packages, with Debian's MinGW-w64 compiler, into
# PREFIX: zlib, bzip2, liblzma (xz-utils), Zstandard (libzstd), libarchive
# and, unless PREFIX already holds it, Qt (qt6-base: Core, Gui, Widgets,
# Test). PREFIX/.kestrix-deps holds the version of this set (DepsVersion),
# so that a set made by an earlier version is made again.
# Usage: tools/windows/build-deps.sh PREFIX
# Needs root for apt-get (a deb-src entry is added beside the machine's
# own Debian sources, for the same archive and suites). Qt alone takes
# about an hour on two cores; the rest a few minutes.
set -euo pipefail
prefix=${1:?usage: build-deps.sh PREFIX}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
toolchain=$here/mingw-w64-x86_64.cmake
host=x86_64-w64-mingw32
jobs=$(nproc)
work=${KESTRIX_DEPS_WORK:-$(mktemp -d)}
mkdir -p "$work"
# The libraries' own compiler warnings go to a log of their own.
exec 3>&2 2>>"$work/build.log"
trap 'echo "build-deps: failed; the end of $work/build.log:" >&3; tail -20 "$work/build.log" >&3' ERR

# The sources of the packages the machine installs from.
sources=/etc/apt/sources.list.d/kestrix-deb-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    sed -n '/^Types: deb$/,/^$/p' /etc/apt/sources.list.d/debian.sources |
        sed 's/^Types: deb$/Types: deb-src/' >"$sources"
    apt-get update -qq
fi
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    mingw-w64-tools cmake ninja-build make autoconf automake libtool qt6-base-dev-tools \
    >/dev/null

# fetch PACKAGE: the unpacked source folder of a Debian source package: the
# version the machine would install, else the release's own (a mirror may
# not serve the security archive's sources).
. /etc/os-release
fetch() {
    (cd "$work" && [ -n "$(ls -d "$1"-*/ 2>/dev/null)" ] ||
        apt-get source -qq "$1" >/dev/null 2>&1 ||
        apt-get source -qq "$1/$VERSION_CODENAME" >/dev/null 2>&1 ||
        apt-get source -qq "$1/$VERSION_CODENAME" >&2)
    ls -d "$work/$1"-*/ | head -1
}

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib

echo "build-deps: zlib"
src=$(fetch zlib)
cmake -S "$src" -B "$work/build-zlib" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
# The static library alone (Debian's source leaves out the DLL's resources).
cmake --build "$work/build-zlib" --target zlibstatic --parallel "$jobs" >/dev/null
install -D -m 644 "$work/build-zlib/libzlibstatic.a" "$prefix/lib/libz.a"
install -D -m 644 "$src/zlib.h" "$work/build-zlib/zconf.h" -t "$prefix/include"

echo "build-deps: bzip2"
src=$(fetch bzip2)
make -C "$src" -s CC="$CC" AR="$AR" RANLIB="$RANLIB" libbz2.a >/dev/null
install -D -m 644 "$src/libbz2.a" "$prefix/lib/libbz2.a"
install -D -m 644 "$src/bzlib.h" "$prefix/include/bzlib.h"

echo "build-deps: liblzma"
src=$(fetch xz-utils)
(cd "$src" && [ -x configure ] || autoreconf -fi >/dev/null 2>&1)
mkdir -p "$work/build-xz"
(cd "$work/build-xz" && "$src/configure" -q --host=$host --prefix="$prefix" --enable-static \
    --disable-shared --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
    --disable-lzma-links --disable-scripts --disable-doc --disable-nls >/dev/null &&
    make -s -j"$jobs" >/dev/null && make -s install >/dev/null)

echo "build-deps: zstd"
# The library's own makefile, static, without the legacy formats' decoders.
src=$(fetch libzstd)
make -C "$src/lib" -s CC="$CC" AR="$AR" RANLIB="$RANLIB" ZSTD_LEGACY_SUPPORT=0 libzstd.a \
    >/dev/null
install -D -m 644 "$src/lib/libzstd.a" "$prefix/lib/libzstd.a"
install -D -m 644 "$src/lib/zstd.h" "$src/lib/zstd_errors.h" "$src/lib/zdict.h" -t \
    "$prefix/include"

echo "build-deps: libarchive"
# With its autotools build: its CMake one runs test programs, which a cross
# build cannot.
src=$(fetch libarchive)
(cd "$src" && autoreconf -fi >/dev/null 2>&1)
mkdir -p "$work/build-libarchive"
(cd "$work/build-libarchive" && "$src/configure" -q --host=$host CC="$CC" --prefix="$prefix" \
    --enable-static --disable-shared --disable-bsdtar --disable-bsdcpio --disable-bsdcat \
    --disable-acl --disable-xattr --without-openssl --without-xml2 --without-expat \
    --without-lz4 --with-zstd --without-nettle --without-cng --without-iconv \
    --without-libb2 --without-lzo2 --without-mbedtls \
    CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" >/dev/null &&
    make -s -j"$jobs" libarchive.la >/dev/null &&
    make -s install-libLTLIBRARIES install-includeHEADERS >/dev/null)

if [ ! -e "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
    echo "build-deps: Qt (qt6-base): this takes about an hour on two cores"
    src=$(fetch qt6-base)
    cmake -S "$src" -B "$work/build-qt" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_system_zlib=OFF -DFEATURE_icu=OFF -DFEATURE_direct2d=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_directwrite3=OFF >/dev/null
    cmake --build "$work/build-qt" --parallel "$jobs" >/dev/null
    cmake --install "$work/build-qt" >/dev/null
fi
echo 2 >"$prefix/.kestrix-deps"
echo "build-deps: done: $prefix"
