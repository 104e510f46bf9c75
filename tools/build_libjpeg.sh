#!/bin/sh
# Builds the JPEG decoder DLL (libjpeg-62.dll, the libjpeg 6b interface) from Debian's
# libjpeg-turbo source package with mingw-w64 and copies it to the folder given as the first
# argument. As with LibRaw (tools/build_libraw.sh): the source package is fetched once through
# apt, which checks it against the signed archive, its upstream tarball is checked against the
# checksum pinned here, dpkg-source applies the Debian patches, and the build is cached outside
# the build trees. The SIMD parts need nasm, which is not installed; the decoder's reduced-scale
# path (what the thumbnails use) spends its time in Huffman decoding, which has no SIMD code.
#   tools/build_libjpeg.sh OUT_DIR         builds (if needed) and copies libjpeg-62.dll to OUT_DIR
#   tools/build_libjpeg.sh --include-dirs  prints the header folders (source, then generated)
set -eu
upstream=2.1.5
orig=libjpeg-turbo_${upstream}.orig.tar.gz
orig_sha256=254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c
suite=bookworm
cache=${TESSERA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessera}/libjpeg-turbo-$upstream
src=$cache/src
build=$cache/build
root=$(cd "$(dirname "$0")/.." && pwd)
dll=libjpeg-62.dll

if [ "${1:-}" = "--include-dirs" ]; then
    echo "$src;$build"
    exit 0
fi
out=${1:?usage: build_libjpeg.sh OUT_DIR}
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9   # one build at a time per cache; others wait and then reuse its result

fetch() {
    apt_dir=$cache/apt
    rm -rf "$apt_dir" "$src" "$build"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/pkg"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" >"$apt_dir/src.sources"
    set -- -o Dir::Etc::sourcelist="$apt_dir/src.sources" -o Dir::Etc::sourceparts=/nonexistent \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir" -o APT::Sandbox::User=root
    apt-get "$@" -qq update
    (cd "$apt_dir/pkg" && apt-get "$@" -qq source --download-only libjpeg-turbo)
    echo "$orig_sha256  $apt_dir/pkg/$orig" | sha256sum -c --quiet
    dsc=$(ls "$apt_dir"/pkg/libjpeg-turbo_*.dsc)
    dpkg-source --no-check -x "$dsc" "$src" >/dev/null
    rm -rf "$apt_dir/lists"
}

[ -f "$src/jpeglib.h" ] || fetch

if [ ! -f "$build/$dll" ]; then
    # The C compiler only: the launcher (ccache) and the project's flags stay out of it.
    env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER \
        cmake -Wno-dev -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        --toolchain "$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_CROSSCOMPILING_EMULATOR= \
        -DENABLE_SHARED=1 -DENABLE_STATIC=0 -DWITH_SIMD=0 -DWITH_TURBOJPEG=0 -DWITH_JAVA=0 \
        -DWITH_ARITH_DEC=1 -DWITH_ARITH_ENC=0 -DWITH_MEM_SRCDST=1 -DCMAKE_INSTALL_PREFIX="$build/unused" \
        -DCMAKE_SHARED_LINKER_FLAGS="-s -static-libgcc" >/dev/null
    cmake --build "$build" --target jpeg -j 2 >/dev/null
    [ -f "$build/$dll" ] || { echo "build_libjpeg.sh: no $dll was made" >&2; exit 1; }
fi
mkdir -p "$out"
cmp -s "$build/$dll" "$out/$dll" 2>/dev/null || cp "$build/$dll" "$out/$dll"
