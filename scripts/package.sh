#!/usr/bin/env bash
# Builds the Debian package of the app into ./build (or $BUILD_DIR) and
# prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then
    ./scripts/install-deps.sh
fi
build_dir=${BUILD_DIR:-build}
BUILD_DIR=$build_dir ./scripts/build.sh
(cd "$build_dir" && cpack -G DEB >/dev/null)
ls "$build_dir"/vantrelvpn_*.deb
