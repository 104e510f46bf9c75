#!/bin/sh
# Makes the installer Tessera-<version>-setup.exe (NSIS, Modern UI 2) and the portable zip
# Tessera-<version>-portable.zip of the same files from a Windows build.
#
#   tools/package.sh                          installs what is missing, builds build/win and
#                                             leaves both in build/win/dist
#   tools/package.sh BIN_DIR OUT_DIR VERSION  packages the programs in BIN_DIR (the build runs
#                                             this whenever makensis is installed)
#
# What ships: Tessera.exe, language.ini, libraw.dll, libjpeg-62.dll and Ember\embsrv.exe always; update\update.exe
# and the help folder when the build made them. Every program is linked statically, so no
# runtime DLL goes with them (tests/installer/program_imports_test.sh checks the imports).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -eq 0 ]; then
    "$root/tools/setup.sh"
    "$root/tools/build.sh" --win-only
    ls -l "$root"/build/win/dist/Tessera-*
    exit 0
fi
bin=$(cd "${1:?}" && pwd)
mkdir -p "${2:?}"
out=$(cd "$2" && pwd)
version=${3:?usage: package.sh BIN_DIR OUT_DIR VERSION}

required="Tessera.exe language.ini libraw.dll libjpeg-62.dll Ember/embsrv.exe"
optional="update/update.exe"
files=""
for f in $required; do
    [ -f "$bin/$f" ] || { echo "package.sh: $bin/$f is missing" >&2; exit 1; }
    files="$files $f"
done
for f in $optional; do
    [ -f "$bin/$f" ] && files="$files $f"
done
if [ -d "$bin/help" ]; then
    if (cd "$bin" && find help -type f | grep -q '[[:space:]"$]'); then
        echo "package.sh: a file name in $bin/help has a space, quote or dollar sign" >&2
        exit 1
    fi
    files="$files $(cd "$bin" && find help -type f | LC_ALL=C sort | tr '\n' ' ')"
fi

# The files as they ship, in a folder named like the zip's top folder.
work="$out/package-work"
name="Tessera-$version"
rm -rf "$work"
mkdir -p "$work/$name"
for f in $files; do
    mkdir -p "$work/$name/$(dirname "$f")"
    cp "$bin/$f" "$work/$name/$f"
done

# The installer's two lists, written from the same file list: what it copies, and what its
# uninstaller deletes (the folders last, deepest first, and only when empty).
nsis_text() { printf '%s' "$1" | sed 's/\$/$$/g'; }
nsis_path() { nsis_text "$1" | sed 's|/|\\|g'; }
{
    for f in $files; do
        d=$(dirname "$f")
        if [ "$d" = . ]; then echo 'SetOutPath "$INSTDIR"'; else printf 'SetOutPath "$INSTDIR\\%s"\n' "$(nsis_path "$d")"; fi
        printf 'File "%s"\n' "$(nsis_text "$work/$name/$f")"
    done
    printf 'SetOutPath "$INSTDIR"\n'
} >"$work/install_files.nsh"
{
    for f in $files; do printf 'Delete "$INSTDIR\\%s"\n' "$(nsis_path "$f")"; done
    for f in $files; do
        d=$(dirname "$f")
        while [ "$d" != . ]; do echo "$d"; d=$(dirname "$d"); done
    done | LC_ALL=C sort -ru | while read -r d; do printf 'RMDir "$INSTDIR\\%s"\n' "$(nsis_path "$d")"; done
} >"$work/uninstall_files.nsh"

setup="$out/$name-setup.exe"
zip="$out/$name-portable.zip"
makensis -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DLISTS="$work" -DRES="$root/res" \
    -DOUTFILE="$setup.tmp" "$root/tools/installer/tessera.nsi"
mv "$setup.tmp" "$setup"
(cd "$work" && cmake -E tar cf "$zip.tmp" --format=zip --mtime=2026-01-01 "$name")
mv "$zip.tmp" "$zip"
rm -rf "$work"
echo "packaged $version: $setup ($(stat -c %s "$setup") bytes), $zip ($(stat -c %s "$zip") bytes)"
