#!/usr/bin/env bash
# Checks the built Debian package with lintian: any error or warning fails,
# unless an override in packaging/lintian-overrides (shipped in the package)
# covers it, and every override there carries its reason in the comment
# line right above it.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls "${BUILD_DIR:-build}"/vantrelvpn_*.deb | head -n 1)
overrides=packaging/lintian-overrides
if [ -f "$overrides" ]; then
    awk '/^#/ { reason = 1; next }
         /^[[:space:]]*$/ { reason = 0; next }
         !reason { print FILENAME ":" FNR ": override without a reason above it"; bad = 1 }
         { reason = 0 }
         END { exit bad }' "$overrides"
fi
# lintian objects to running as root, so root checks a copy as nobody.
if [ "$(id -u)" -eq 0 ]; then
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    cp "$deb" "$copy/"
    chmod -R a+rX "$copy"
    runuser -u nobody -- lintian --fail-on error,warning "$copy/${deb##*/}"
else
    lintian --fail-on error,warning "$deb"
fi
