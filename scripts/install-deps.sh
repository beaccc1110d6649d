#!/bin/sh
# Installs every Debian package Tavistel needs to build, run and test.
# Idempotent: when everything is present it only checks and returns.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config ccache
qt6-base-dev qt6-base-dev-tools
libgl-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev
libmobi-dev libmobi-tools
libtidy-dev zlib1g-dev
weasyprint fonts-dejavu-core fonts-droid-fallback poppler-utils p7zip-full unzip zip
default-jre-headless epubcheck
clang libclang-rt-14-dev
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing packages:$missing (run as root)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
fi
