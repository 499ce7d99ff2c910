#!/usr/bin/env bash
# Installs what the app needs, builds it, starts the simulated VPN service on
# /run/vantrelvpn (as the real service would, so that part runs as root) and
# the app against it.
#
# With a display the app runs in the foreground as the invoking user; quit it
# from the tray. Without one, both run under Xvfb and a screenshot tour of the
# main screens is written to $TOUR_DIR (default ./tour); with QT_SCALE_FACTOR
# set (e.g. 2) the tour is drawn at that device pixel ratio on a screen as many
# times larger.
#
# While it runs, lines written to $SIM_CONTROL (default
# /run/vantrelvpn-sim.control) inject faults into the simulated service, e.g.
#   echo "fail-next-connect server unreachable" | sudo tee /run/vantrelvpn-sim.control
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ "${SKIP_DEPS:-0}" != 1 ]; then
    as_root ./scripts/install-deps.sh
fi
./scripts/build.sh
build=$(cd "${BUILD_DIR:-build}" && pwd)
service=$build/tools/simservice/vantrelvpn-simservice
control=${SIM_CONTROL:-/run/vantrelvpn-sim.control}

as_root rm -f "$control"
as_root mkfifo -m 600 "$control"
# Opened read-write, the control pipe never reports end of input.
as_root bash -c "exec '$service' ${SIM_ARGS:-} <>'$control'" &
service_pid=$!
cleanup() {
    as_root pkill -TERM -f "^$service" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    as_root rm -f "$control"
}
trap cleanup EXIT
for _ in $(seq 1 100); do
    [ -S /run/vantrelvpn/daemon.sock ] && break
    sleep 0.1
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "run: simulated service running; fault injection through $control"
    "$build"/src/app/vantrelvpn "$@"
    exit
fi

out=$(mkdir -p "${TOUR_DIR:-tour}" && cd "${TOUR_DIR:-tour}" && pwd)
scratch=$(mktemp -d)
chmod 700 "$scratch"
export XDG_RUNTIME_DIR=$scratch/runtime XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
# The tour confirms the sign-in page itself; no browser needs to open.
export BROWSER=true
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
# The same logical screen at every scale: 1280 by 800 device-independent pixels.
scale=${QT_SCALE_FACTOR:-1}
screen=$(awk -v s="$scale" 'BEGIN { printf "%dx%d", 1280 * s, 800 * s }')
xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType false \
        --expand true --transparent false --tint 0x333333 >/dev/null 2>&1 &
    tray=$!
    "$1"/tools/tour/vantrelvpn-tour "$2"
    rc=$?
    kill $tray 2>/dev/null
    exit $rc
' tour "$build" "$out"
rm -rf "$scratch"
echo "run: screenshot tour written to $out"
