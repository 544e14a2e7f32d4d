#!/usr/bin/env bash
# Builds Kalvenor and its demo device, starts the device in the background and the window in
# the foreground; the device stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target kalvenor kalvenor-demo-device

build/demo/kalvenor-demo-device &
device=$!
trap 'kill $device 2>/dev/null || true' EXIT
sleep 0.3
build/ui/kalvenor
