#!/usr/bin/env bash
# Builds Kavrel twice and runs the whole test suite in both builds:
#   build-ci     warnings as errors
#   build-asan   warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer
# Installs what the build needs first (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs="$(nproc)"
export CTEST_OUTPUT_ON_FAILURE=1

run_build() {
    local dir="$1"
    shift
    echo "== configuring $dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_WERROR=ON "$@"
    echo "== building $dir"
    cmake --build "$dir" -j "$jobs"
    echo "== testing $dir"
    rm -rf "$dir/test-roots"
    (cd "$dir" && ctest -j "$jobs" --timeout 600)
}

run_build build-ci
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_build build-asan -DKAVREL_SANITIZE=ON -DKAVREL_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== all tests passed in both builds"
