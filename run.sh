#!/usr/bin/env bash
# Installs what is missing, builds MeterLink, and starts it on a simulated meter behind COM1.
# MODEL=IFOR250 ./run.sh picks another meter model (meterlink --model; no rebuild).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

model=${MODEL:-IFOR210}
extra=()
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || extra=(xvfb xauth)
ensure_packages "${METERLINK_PACKAGES[@]}" "${extra[@]}"
build_meterlink build -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The simulator prints the pseudo-terminal it sends on as its first line.
fifo=$(mktemp -u)
mkfifo "$fifo"
./build/tools/meterlink-cli simulate --model "$model" >"$fifo" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r device <"$fifo"
cat "$fifo" >/dev/null &
export METERLINK_COM1=$device
echo "Simulated $model meter on COM1 ($device). Press Connect in the window."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    ./build/src/app/meterlink --model "$model"
else
    echo "No display found: running on a virtual X server (xvfb-run)."
    xvfb-run -a -s "-screen 0 1024x768x24" ./build/src/app/meterlink --model "$model"
fi
