#!/usr/bin/env bash
# Installs every Debian package that building and testing Kavrel needs.
# Idempotent: packages already present are left alone, so a second run is quick.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang clang-format libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev libspdlog-dev
    libsqlite3-dev libpugixml-dev duktape-dev
    tzdata procps iproute2
    libcups2-dev cups-daemon
    util-linux ccache pci.ids usb.ids
    dpkg-dev file libedit-dev
    g++-mingw-w64-x86-64-posix wine64
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
