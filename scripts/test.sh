#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${SKIP_DEPS:-0}" != 1 ]; then
    ./scripts/install-deps.sh
fi
./scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure --timeout 300 -j2
