#!/usr/bin/env bash
# Starts Kalvenor under a private Xvfb display and saves a picture of its main window.
#   scripts/screenshot.sh [build-dir] [output.png]    (defaults: build, docs/screenshot.png)
# Needs the --x11 packages of scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshot.png}
mkdir -p "$(dirname "$out")"

if [[ ! -x $build/ui/kalvenor ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target kalvenor
fi

# A display number nobody uses yet.
display=99
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do
    display=$((display + 1))
done
runtime=$(mktemp -d)
chmod 700 "$runtime"

Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp &
xvfb=$!
kalvenor=
cleanup() {
    [[ -n $kalvenor ]] && kill "$kalvenor" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT

export DISPLAY=":$display" XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb
up=
for _ in $(seq 150); do
    if xdpyinfo >/dev/null 2>&1; then
        up=1
        break
    fi
    sleep 0.1
done
[[ -n $up ]] || { echo "Xvfb did not start" >&2; exit 1; }

"$build/ui/kalvenor" &
kalvenor=$!
window=
for _ in $(seq 100); do
    window=$(xdotool search --name '^Kalvenor$' 2>/dev/null | head -1 || true)
    [[ -n $window ]] && break
    sleep 0.1
done
[[ -n $window ]] || { echo "the window did not appear" >&2; exit 1; }
# Bare Xvfb has no window manager: the window has to be made active by hand.
xdotool windowactivate "$window" 2>/dev/null || xdotool windowfocus "$window" || true
sleep 1
xwd -silent -id "$window" | convert xwd:- "$out"
echo "saved $out"
