#!/bin/sh
# Installs what battsim needs to build, run and test on Debian 12 (as root).
# Packages already present are left alone; apt runs only when one is missing.
set -eu
packages="g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
libqcustomplot-dev libgtest-dev ngspice fonts-liberation2 locales-all poppler-utils
clang-14 libclang-rt-14-dev $*"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Run this as root (or with sudo) to install the packages." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
