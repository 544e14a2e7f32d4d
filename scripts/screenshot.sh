#!/usr/bin/env bash
# Starts Kalvenor under a private Xvfb display and saves a picture of its main window.
#   scripts/screenshot.sh [build-dir] [output.png]    (defaults: build, docs/screenshot.png)
#   scripts/screenshot.sh --tcp-read [build-dir] [output.png]
#       (default output docs/screenshot-tcp-read.png): starts the demo device, then clicks
#       "TCP verbinden", the tab "TCP Lesen" and "Lesen" before taking the picture.
# Needs the --x11 packages of scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
tcp_read=
if [[ ${1:-} == --tcp-read ]]; then
    tcp_read=1
    shift
fi
build=${1:-build}
if [[ -n $tcp_read ]]; then
    out=${2:-docs/screenshot-tcp-read.png}
else
    out=${2:-docs/screenshot.png}
fi
mkdir -p "$(dirname "$out")"

targets=(kalvenor)
[[ -n $tcp_read ]] && targets+=(kalvenor-demo-device)
if [[ ! -x $build/ui/kalvenor || (-n $tcp_read && ! -x $build/demo/kalvenor-demo-device) ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target "${targets[@]}"
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
device=
cleanup() {
    [[ -n $kalvenor ]] && kill "$kalvenor" 2>/dev/null || true
    [[ -n $device ]] && kill "$device" 2>/dev/null || true
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

if [[ -n $tcp_read ]]; then
    # The device takes port 502 when it may, else 1502; it says which on its first line.
    device_out=$runtime/device.out
    "$build/demo/kalvenor-demo-device" >"$device_out" &
    device=$!
    port=
    for _ in $(seq 50); do
        port=$(sed -n 's/^Modbus TCP: 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$device_out")
        [[ -n $port ]] && break
        sleep 0.1
    done
    [[ -n $port ]] || { echo "the demo device did not start" >&2; exit 1; }

    # Window positions of the widgets (logical pixels, menu bar included), as laid out at the
    # opening size.
    click_at() {
        xdotool mousemove --window "$window" "$1" "$2" click 1
        sleep 0.3
    }
    if [[ $port != 502 ]]; then
        click_at 270 111 # TcpPortField
        xdotool key --window "$window" ctrl+a
        xdotool type --window "$window" "$port"
    fi
    click_at 460 111 # TcpConnectButton "TCP verbinden"
    click_at 210 162 # the tab "TCP Lesen"
    click_at 516 227 # TcpReadButton "Lesen"
    xdotool mousemove --window "$window" 900 600 # keep the pointer off the widgets shown
    sleep 0.5
fi
xwd -silent -id "$window" | convert xwd:- "$out"
echo "saved $out"
