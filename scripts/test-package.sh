#!/usr/bin/env bash
# The Debian package from a finished build: made with cpack, installed with dpkg -i, the main
# job's tool run from the installed files on an installed example, removed with dpkg -r,
# and nothing left behind but the state root.
#
#   bash scripts/test-package.sh [BUILD_DIR]      (default build-ci; run as root or with sudo)
#
# Reuses the build: cpack only stages and packs what it already holds. The test refuses to
# run over a kavrel package that is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-ci}"

if [ "$(id -u)" -ne 0 ]; then
    if ! sudo -n true 2>/dev/null; then
        echo "test-package: skipped, needs root (dpkg -i)" >&2
        exit 0
    fi
    SUDO=sudo
else
    SUDO=
fi
if dpkg-query -W -f='${Status}' kavrel 2>/dev/null | grep -q "ok installed"; then
    echo "test-package: a kavrel package is installed already; remove it first" >&2
    exit 1
fi

echo "== packing $build"
rm -f "$build"/kavrel_*.deb
(cd "$build" && timeout 600 cpack -G DEB >/dev/null)
deb="$(ls "$build"/kavrel_*.deb)"

root="$(mktemp -d /tmp/kavrel-package-root.XXXXXX)"
work="$(mktemp -d /tmp/kavrel-package-test.XXXXXX)"
cleanup() {
    $SUDO dpkg -r kavrel >/dev/null 2>&1 || true
    rm -rf "$root" "$work"
}
trap cleanup EXIT

# Another dpkg run (an apt-get elsewhere) holds the lock for a while at most.
dpkg_run() {
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        if $SUDO dpkg "$@" >"$work/dpkg.log" 2>&1; then
            return 0
        fi
        grep -q "lock" "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; return 1; }
        sleep 6
    done
    cat "$work/dpkg.log" >&2
    return 1
}

echo "== installing $deb"
dpkg_run -i "$deb"
dpkg-query -L kavrel | sort >"$work/files"

echo "== running the installed tools"
export KAVREL_ROOT="$root"
fail() { echo "test-package: $*" >&2; exit 1; }
[ "$(readlink -f /usr/bin/kavrel-query)" = "$(dirname "$(dirname "$(readlink -f /usr/bin/kavrel-query)")")/kavrel/kavrel-query" ] ||
    fail "kavrel-query is not a link into the library folder"
# Nothing from the build folder may help: no variable points there, and the tool is run
# from a folder of its own.
(cd "$work" && env -u LD_LIBRARY_PATH /usr/bin/kavrel-query \
    /usr/share/doc/kavrel/examples/operating-system.xml >"$work/result.xml") ||
    fail "the example failed: $(cat "$work/result.xml")"
grep -q '^<row>' "$work/result.xml" || fail "the example gave no row"
/usr/bin/kavrel-query --where | grep -q "^launcher: /usr/lib/.*/kavrel/Lumbrik.exe$" ||
    fail "the installed tool does not find the installed launcher"
/usr/bin/kavrel-query --classes --format csv | grep -q '^Win32_Service$' ||
    fail "--classes does not list Win32_Service"
# The components' classes are served from their registration files; nothing made for
# tests is installed.
[ "$(grep -c '/kavrel/kavrel-classes/libkavrel-.*\.so\.classes$' "$work/files")" -ge 7 ] ||
    fail "the components' registration files are not installed"
! grep -qi 'fixture' "$work/files" || fail "a test fixture is installed: $(grep -i fixture "$work/files")"
/usr/bin/kavrel-reg --where >/dev/null || fail "kavrel-reg does not run"
/usr/bin/kavrel-log --where >/dev/null || fail "kavrel-log does not run"
PKG_CONFIG_PATH= pkg-config --exists kavrel || fail "pkg-config does not know kavrel"
[ -d "$(pkg-config --variable=libdir kavrel)" ] || fail "the pkg-config libdir is not there"
# A host built against the installed header and library alone.
cat >"$work/host.cpp" <<'CPP'
#include <kavrel/kavrel.h>
#include <win/com.h>
#include <win/oleauto.h>
int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BSTR result = nullptr;
    const HRESULT hr = GetInventoryInformationInternal(
        u"<query namespace=\"root\\cimv2\" class=\"Win32_OperatingSystem\"><properties>"
        u"<property mapsTo=\"0\">Caption</property></properties></query>", &result);
    if (hr == S_OK)
        SysFreeString(result);
    CoUninitialize();
    return hr == S_OK ? 0 : 1;
}
CPP
c++ -std=c++20 "$work/host.cpp" -o "$work/host" $(pkg-config --cflags --libs kavrel) ||
    fail "a host does not build against the installed header"
"$work/host" || fail "a host built against the package does not gather"
man -w kavrel-query >/dev/null 2>&1 || [ ! -x /usr/bin/man ] || fail "no man page for kavrel-query"

echo "== removing"
dpkg_run -r kavrel
left=()
while read -r path; do
    [ -z "$path" ] && continue
    if [ -e "$path" ] || [ -L "$path" ]; then
        # Folders the package shares with the system stay.
        [ -d "$path" ] && [ -n "$(ls -A "$path" 2>/dev/null)" ] && continue
        left+=("$path")
    fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
[ -d "$root/registry" ] || fail "the state root went with the package"
echo "== the package installs, runs and leaves only the state root behind"
