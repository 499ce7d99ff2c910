#!/usr/bin/env bash
# Builds the application, the simulated service and the benchmarks in Release,
# runs every benchmark, prints their figures and a summary against the
# targets, and writes all figures to <build>/bench/results.json.
#
# The start-up and idle benchmarks start the real application, whose service
# socket path is fixed (/run/vantrelvpn). They need root: they run in a
# private mount namespace with their own /run/vantrelvpn, so a service or
# another developer's simulator on this machine is neither used nor
# disturbed, and on a private Xvfb display with trayer as the tray host.
#
# Environment: BUILD_DIR (default build-release), IDLE_SECONDS (default 30),
# STARTUP_RUNS (default 5), SKIP_BUILD=1 to use what is built.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=$(realpath -m "${BUILD_DIR:-build-release}")
bench_dir=$build_dir/bench
results=$bench_dir/results.json
app=$build_dir/src/app/vantrelvpn
service=$build_dir/tools/simservice/vantrelvpn-simservice

# Second stage, inside the private mount namespace: the display, the tray
# host and a private home for the application, then the two GUI benchmarks.
if [ "${1:-}" = --in-namespace ]; then
    mkdir -p /run/vantrelvpn
    mount -t tmpfs -o mode=0755 tmpfs /run/vantrelvpn

    work=$(mktemp -d /tmp/vantrel-bench.XXXXXX)
    mkdir -p "$work"/{runtime,data,config,cache,tmp}
    chmod 700 "$work/runtime"
    pids=()
    cleanup() {
        for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
        wait 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanup EXIT

    display=90
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    export DISPLAY=:$display
    trayer --edge bottom --align right --widthtype request --height 32 --SetDockType false \
        --expand true --transparent false --tint 0x333333 >/dev/null 2>&1 &
    pids+=($!)

    export XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
        XDG_CACHE_HOME=$work/cache TMPDIR=$work/tmp
    "$bench_dir/bench_startup" --app "$app" --bare "$bench_dir/bench_bare_window" --service "$service" \
        --runs "${STARTUP_RUNS:-5}" --json "$results"
    echo
    "$bench_dir/bench_idle" --app "$app" --service "$service" --seconds "${IDLE_SECONDS:-30}" \
        --json "$results"
    exit 0
fi

mkdir -p "$build_dir"
if [ "${SKIP_BUILD:-0}" != 1 ]; then
    echo "Building in $build_dir (Release) ..."
    if ! { cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TOOLS=ON \
        -DVANTREL_BUILD_BENCH=ON -DVANTREL_BUILD_TESTS=OFF && cmake --build "$build_dir" -j2 --target vantrelvpn \
        vantrelvpn-simservice bench_stats bench_protocol bench_bare_window bench_startup bench_idle \
        bench_summary; } >"$build_dir/bench-build.log" 2>&1; then
        tail -n 40 "$build_dir/bench-build.log" >&2
        exit 1
    fi
fi
mkdir -p "$bench_dir"
rm -f "$results"

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
# On the build folder's disk, like the user's own data folder, not on a
# memory file system where commits cost nothing.
"$bench_dir/bench_stats" 200 "$bench_dir" --json "$results"
rm -f "$bench_dir/bench-stats.db"
echo
"$bench_dir/bench_protocol" 50000 --json "$results"
echo

if [ "$(id -u)" -eq 0 ] && unshare --mount --propagation private true 2>/dev/null; then
    # The mount point is made on the real /run; leave nothing behind.
    made_run_dir=0
    [ -d /run/vantrelvpn ] || made_run_dir=1
    BUILD_DIR=$build_dir unshare --mount --propagation private "$0" --in-namespace
    [ "$made_run_dir" = 0 ] || rmdir /run/vantrelvpn 2>/dev/null || true
else
    echo "start-up and idle benchmarks skipped: they need root and a private mount namespace" >&2
fi

echo
echo "== summary =="
"$bench_dir/bench_summary" "$results"
echo
echo "All figures: $results"
