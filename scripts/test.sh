#!/usr/bin/env bash
# Builds Kavrel twice and runs the whole test suite in both builds:
#   build-ci     warnings as errors; then its Debian package is installed, run and removed
#   build-asan   warnings as errors, AddressSanitizer + UndefinedBehaviorSanitizer
#   build-windows  kavrel.dll cross-built with MinGW-w64, its smoke test run under Wine
# Installs what the build needs first (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/check-text-type.sh

jobs="$(nproc)"
export CTEST_OUTPUT_ON_FAILURE=1
# Texts that follow the user's locale (numbers, dates) are checked in the C locale (en-US).
export LC_ALL=C.UTF-8

run_build() {
    local dir="$1"
    shift
    echo "== configuring $dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_WERROR=ON "$@"
    echo "== building $dir"
    cmake --build "$dir" -j "$jobs"
    echo "== testing $dir"
    rm -rf "$dir/test-roots"
    (cd "$dir" && ctest -j "$jobs" --timeout 600) || rerun_sanitizer_crashes "$dir"
}

# LeakSanitizer's stop-the-world tracer now and then crashes at a process's exit on a loaded
# machine ("Tracer caught signal 11", a fault of the sanitizer runtime, not a leak report),
# after the test itself passed. When every failed test ended that way, they run once more and
# must pass then; any other failure fails the build.
rerun_sanitizer_crashes() {
    local dir="$1" failed crashes
    failed="$(wc -l < "$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || echo 0)"
    crashes="$(grep -c "LeakSanitizer has encountered a fatal error" \
        "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || echo 0)"
    if [ "$failed" -eq 0 ] || [ "$crashes" -lt "$failed" ]; then
        return 1
    fi
    echo "== $failed test(s) ended in a crash of the leak checker's tracer; running them again"
    (cd "$dir" && ctest --rerun-failed --timeout 600)
}

run_build build-ci
# The Debian package of that build: install, run the main job's tool, remove.
echo "== the Debian package"
timeout 900 bash scripts/test-package.sh build-ci
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_build build-asan -DKAVREL_SANITIZE=ON -DKAVREL_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
# The fuzz targets, built with clang, each run for at most a minute from its seed corpus.
# Warnings are the other builds' business; these are about crashes, leaks, unbounded
# recursion and statuses.
echo "== fuzzing"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKAVREL_FUZZ=ON -DKAVREL_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target query_document_fuzzer wql_fuzzer script_fuzzer \
    vbscript_compile_fuzzer vbscript_regexp_fuzzer
fuzz() {
    local target="$1" seeds="$2"
    shift 2
    echo "== fuzzing with $target"
    local corpus
    corpus="$(mktemp -d /tmp/kavrel-fuzz-corpus.XXXXXX)"
    KAVREL_ROOT="$(mktemp -d /tmp/kavrel-fuzz-root.XXXXXX)" \
        "build-fuzz/bin/$target" -max_total_time=60 -rss_limit_mb=4096 -print_final_stats=1 \
        "$@" "$corpus" "$seeds"
}
fuzz query_document_fuzzer entry/fuzz/corpus -timeout=60
fuzz wql_fuzzer components/wmi/fuzz/corpus -timeout=10
# A script is interrupted after 100 ms; a run that takes far longer has hung.
fuzz script_fuzzer components/jscript/fuzz/corpus -timeout=30 -max_len=4096
fuzz vbscript_compile_fuzzer components/vbscript/fuzz/corpus -timeout=60
# A search is bounded by a step limit: a run that takes far longer has hung.
fuzz vbscript_regexp_fuzzer components/vbscript/fuzz/regexp_corpus -timeout=30
# The same library sources as a Windows DLL, cross-built with MinGW-w64 and run under Wine.
timeout 1200 bash scripts/windows-smoke.sh build-windows
echo "== all tests passed in both builds; the fuzz targets ran clean; kavrel.dll ran under Wine"
