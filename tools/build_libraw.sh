#!/bin/sh
# Builds libraw.dll from Debian's LibRaw source package with mingw-w64 and copies it to the
# folder given as the first argument. The source package is fetched once through apt (which
# verifies the .dsc and its files against the signed archive), its upstream tarball is checked
# against the checksum pinned here, and the Debian patches are applied by dpkg-source. Objects
# and the DLL are cached outside the build trees, so rebuilds and clean builds reuse them.
#   tools/build_libraw.sh OUT_DIR        builds (if needed) and copies libraw.dll to OUT_DIR
#   tools/build_libraw.sh --source-dir   prints the patched source tree (headers for the build)
set -eu
upstream=0.20.2
orig=libraw_${upstream}.orig.tar.gz
orig_sha256=02df7d403b34602b769bb38e5bf7d4258e075eeefbe980b6832e6e1491989d60
suite=bookworm
cache=${TESSERA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessera}/libraw-$upstream
src=$cache/src
cxx=x86_64-w64-mingw32-g++-posix
jobs=2

if [ "${1:-}" = "--source-dir" ]; then
    echo "$src"
    exit 0
fi
out=${1:?usage: build_libraw.sh OUT_DIR}
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9   # one build at a time per cache; others wait and then reuse its result

fetch() {
    apt_dir=$cache/apt
    rm -rf "$apt_dir" "$src"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/pkg"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" >"$apt_dir/src.sources"
    set -- -o Dir::Etc::sourcelist="$apt_dir/src.sources" -o Dir::Etc::sourceparts=/nonexistent \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir" -o APT::Sandbox::User=root
    apt-get "$@" -qq update
    (cd "$apt_dir/pkg" && apt-get "$@" -qq source --download-only libraw)
    echo "$orig_sha256  $apt_dir/pkg/$orig" | sha256sum -c --quiet
    dsc=$(ls "$apt_dir"/pkg/libraw_*.dsc)
    dpkg-source --no-check -x "$dsc" "$src" >/dev/null
    rm -rf "$apt_dir/lists"
}

[ -f "$src/libraw/libraw.h" ] || fetch

# The library sources as Makefile.am lists them for lib_libraw_a (libraw_cxx.cpp includes the
# others and is left out).
sources=$(sed -n '/^lib_libraw_a_SOURCES/,/^$/p' "$src/Makefile.am" | tr -d '\\' | tr ' \t' '\n\n' |
    grep '\.cpp$')
flags="-O2 -w -I$src -DLIBRAW_WIN32_DLLDEFS -DLIBRAW_BUILDLIB"
mkdir -p "$cache/obj"
need=""
for s in $sources; do
    o=$cache/obj/$(echo "$s" | tr '/' '_').o
    [ "$o" -nt "$src/$s" ] || need="$need $s"
done
if [ -n "$need" ]; then
    echo "Compiling LibRaw ($(echo $need | wc -w) sources)"
    # shellcheck disable=SC2086
    printf '%s\n' $need | xargs -P "$jobs" -I{} sh -c \
        'o="$1/obj/$(echo "$2" | tr / _).o"; '"$cxx"' '"$flags"' -c "$3/$2" -o "$o.tmp" && mv "$o.tmp" "$o"' \
        sh "$cache" {} "$src"
    rm -f "$cache/libraw.dll"
fi
if [ ! -f "$cache/libraw.dll" ]; then
    objs=""
    for s in $sources; do objs="$objs $cache/obj/$(echo "$s" | tr '/' '_').o"; done
    # shellcheck disable=SC2086
    $cxx -shared -s -o "$cache/libraw.dll.tmp" $objs -Wl,--out-implib,"$cache/libraw.dll.a" \
        -static -static-libgcc -static-libstdc++ -lws2_32
    mv "$cache/libraw.dll.tmp" "$cache/libraw.dll"
fi
mkdir -p "$out"
cmp -s "$cache/libraw.dll" "$out/libraw.dll" 2>/dev/null || cp "$cache/libraw.dll" "$out/libraw.dll"
