#!/usr/bin/env bash
# The main job: installs and builds what it needs, then runs Kavrel's tool against a
# fresh state root and shows what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
log="$(mktemp /tmp/kavrel-build.XXXXXX.log)"
if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build build -j "$(nproc)"; } >"$log" 2>&1; then
    tail -40 "$log" >&2
    echo "run: the build failed; the whole log is in $log" >&2
    exit 1
fi

root="$(mktemp -d /tmp/kavrel-root.XXXXXX)"
export KAVREL_ROOT="$root"
build/bin/kavrel-reg --where
build/bin/kavrel-reg query "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
