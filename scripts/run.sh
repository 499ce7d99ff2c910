#!/usr/bin/env bash
# Installs what the app needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then
    ./scripts/install-deps.sh
fi
./scripts/build.sh
exec "${BUILD_DIR:-build}"/src/app/vantrelvpn "$@"
