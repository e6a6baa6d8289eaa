#!/usr/bin/env bash
# Installs every Debian package that building and testing Kavrel needs.
# Idempotent: packages already present are left alone, so a second run is quick.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git lld lld-16
    clang clang-format libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev libspdlog-dev
    libsqlite3-dev libpugixml-dev duktape-dev libpcre2-dev
    tzdata procps iproute2 pci.ids usb.ids
    libcups2-dev cups-daemon
    util-linux ccache python3
    dpkg-dev file libedit-dev
    g++-mingw-w64-x86-64-posix wine64
    locales
)

# The system group whose members may add records to the agent log besides root
# (docs/platform/security.md); the Debian package makes it the same way (cmake/debian/postinst).
ensure_log_writers_group() {
    getent group kavrel-log >/dev/null && return 0
    if [ "$(id -u)" -ne 0 ]; then
        sudo groupadd --system kavrel-log
    else
        groupadd --system kavrel-log
    fi
}
ensure_log_writers_group

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi

# The locales whose number, currency and date texts the script engines produce (the tests
# of the others skip with a reason when one is absent).
generate_locales() {
    local wanted=(en_US de_DE fr_FR en_GB ja_JP ru_RU pt_BR) add=()
    for l in "${wanted[@]}"; do
        locale -a 2>/dev/null | grep -qi "^$l\.utf-\?8$" || add+=("$l")
    done
    [ ${#add[@]} -eq 0 ] && return 0
    for l in "${add[@]}"; do
        grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "$l.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    done
    $SUDO locale-gen >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
    generate_locales
    exit 0
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
generate_locales
