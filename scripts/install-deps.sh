#!/usr/bin/env bash
# Installs what Kalvenor needs to build, test and run, from Debian's packages only.
# Idempotent: packages already present are left alone, and apt is not touched at all
# when nothing is missing.
#   scripts/install-deps.sh          build, tests and the program
#   scripts/install-deps.sh --x11    also what the screenshot script needs (Xvfb, xdotool, ...)
#   scripts/install-deps.sh --fuzz   also clang and its libFuzzer runtime, for fuzz/
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev libjpeg62-turbo-dev fonts-dejavu-core
    libgtest-dev libgmock-dev
    libmodbus-dev
)
if [[ ${1:-} == --x11 ]]; then
    packages+=(xvfb xauth x11-apps imagemagick xdotool)
fi
if [[ " $* " == *" --fuzz "* ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
