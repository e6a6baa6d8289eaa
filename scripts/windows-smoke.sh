#!/usr/bin/env bash
# Cross-builds kavrel.dll with MinGW-w64, checks that it exports exactly its two functions,
# and runs the smoke test program under Wine in a fresh prefix under the build folder.
# Headless: no display, no mono/gecko installer prompts, time-boxed.
#   bash scripts/windows-smoke.sh [build folder]      (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build-windows}"
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"

echo "== cross-building kavrel.dll in $build"
cmake -S windows -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j "$(nproc)"

echo "== checking the exports"
exports="$(x86_64-w64-mingw32-objdump -p "$build/bin/kavrel.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')"
if [ "$exports" != "GetInventoryInformation GetInventoryInformationInternal " ]; then
    echo "kavrel.dll exports: $exports (expected exactly the two functions)" >&2
    exit 1
fi
echo "exports: $exports"

echo "== running the smoke test under Wine"
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true
fi
status=0
(cd "$build/bin" && timeout 300 "$wine" kavrel_smoke.exe) || status=$?
timeout 60 "${wine%wine64}wineserver" -k 2>/dev/null || true
if [ "$status" -ne 0 ]; then
    echo "the Windows smoke test failed (exit $status)" >&2
    exit 1
fi
