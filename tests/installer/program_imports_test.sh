#!/bin/sh
# The portable zip holds exactly the files that ship, and every program and library in it imports
# only DLLs that come with Windows (and libraw.dll and libjpeg-62.dll, which ship; the program
# loads them at run time): no runtime DLL is missing.
#   program_imports_test.sh ZIP BIN_DIR
set -eu
zip=$(cd "$(dirname "${1:?usage: program_imports_test.sh ZIP BIN_DIR}")" && pwd)/$(basename "$1")
bin=${2:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
top=$(ls "$work")
[ "$(echo "$top" | wc -l)" -eq 1 ] || { echo "FAIL: the zip should hold one folder, not: $top"; exit 1; }

expected="Ember/embsrv.exe
Tessera.exe
language.ini
libjpeg-62.dll
libraw.dll"
[ -f "$bin/update/update.exe" ] && expected="$expected
update/update.exe"
[ -d "$bin/help" ] && expected="$expected
$(cd "$bin" && find help -type f)"
expected=$(echo "$expected" | LC_ALL=C sort)
actual=$(cd "$work/$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    printf 'FAIL: the zip holds\n%s\nbut should hold\n%s\n' "$actual" "$expected"
    exit 1
fi
for f in $expected; do
    cmp -s "$bin/$f" "$work/$top/$f" || { echo "FAIL: $f in the zip differs from the build's"; exit 1; }
done

system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll gdi32.dll
 gdiplus.dll imm32.dll kernel32.dll msimg32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll
 rpcrt4.dll secur32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll
 version.dll winhttp.dll wininet.dll winmm.dll wintrust.dll ws2_32.dll "
system_dlls=$(echo "$system_dlls" | tr '\n' ' ')
status=0
for f in $expected; do
    case "$f" in *.exe|*.dll) ;; *) continue ;; esac
    imports=$(x86_64-w64-mingw32-objdump -p "$work/$top/$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    [ -n "$imports" ] || { echo "FAIL: $f imports nothing, which no program does"; status=1; }
    echo "$f imports:" $imports
    for dll in $imports; do
        case "$system_dlls" in *" $dll "*) continue ;; esac
        case "$dll" in api-ms-win-*) continue ;; esac
        case "$dll" in libraw.dll|libjpeg-62.dll) [ "$dll" != "$f" ] && continue ;; esac
        echo "FAIL: $f needs $dll, which neither Windows nor the package provides"
        status=1
    done
done
[ "$status" -eq 0 ] && echo "all shipped programs import only system DLLs and the DLLs that ship"
exit "$status"
