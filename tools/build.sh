#!/bin/sh
# Configures and builds both trees: build/native (portable core and its tests, sanitizers on)
# and build/win (the Windows programs and their tests, cross-compiled with mingw-w64).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

if [ "${1:-}" != "--win-only" ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native -j "$jobs"
fi
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    --toolchain "$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build/win -j "$jobs"
