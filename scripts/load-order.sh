#!/usr/bin/env bash
# Rewrites the lists of the functions that run when a process loads the library and ends
# (cmake/load-order/*.txt), from which the build places that code together at the start of
# each module's text. Run it after changing what the load steps or the layer's start do:
#   bash scripts/load-order.sh [build folder]          (default build; needs valgrind)
# A list that has gone stale only costs memory: a name that no longer exists is ignored, and
# code missing from the list stays where the link puts it.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
program="$build/bin/kavrel_bench_library_program"
[ -x "$program" ] || { echo "build the probe first: cmake --build $build --target kavrel_startup_bench" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/root"
# Every function that ran, by its symbol (not demangled) and the module it is in.
KAVREL_ROOT="$work/root" valgrind -q --tool=callgrind --demangle=no --compress-strings=no \
    --callgrind-out-file="$work/profile" "$program" >/dev/null 2>&1

write_list() {
    local module="$1" list="$2"
    {
        echo "# Functions of $module that run when a process loads the library and ends,"
        echo "# written by scripts/load-order.sh; one symbol a line."
        awk -v module="/$module" '
            /^ob=/ { ob = substr($0, 4) }
            /^fn=/ && substr(ob, length(ob) - length(module) + 1) == module { print substr($0, 4) }' \
            "$work/profile" | grep -v '^0x' | LC_ALL=C sort -u
    } >"$list"
    echo "$list: $(grep -vc '^#' "$list") functions"
}
write_list libkavrel-win.so cmake/load-order/kavrel-win.txt
write_list libkavrel.so cmake/load-order/kavrel.txt
