#!/usr/bin/env bash
# The main job: installs and builds what it needs, then runs Kavrel's tool against a
# fresh state root and shows what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" >/dev/null

root="$(mktemp -d /tmp/kavrel-root.XXXXXX)"
export KAVREL_ROOT="$root"
build/bin/kavrel-reg --where
build/bin/kavrel-reg query "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
