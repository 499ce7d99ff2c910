#!/usr/bin/env bash
# Installs the built Debian package with apt and smoke-tests the installed
# binary under Xvfb: it starts and shows its window with its vector artwork
# (Qt's SVG plugins, which the package must pull in, read it), and a second
# start hands over to the first and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls "${BUILD_DIR:-build}"/vantrelvpn_*.deb | head -n 1)
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
dpkg -s vantrelvpn | grep -E '^(Version|Depends):'
desktop-file-validate /usr/share/applications/vantrelvpn.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.vantrel.VantrelVPN.metainfo.xml >/dev/null
test -f /usr/share/icons/hicolor/32x32/apps/vantrelvpn.png

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime HOME=$runtime
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    set -u
    /usr/bin/vantrelvpn >"$HOME/app.log" 2>&1 & app=$!
    trap "kill $app 2>/dev/null; wait $app 2>/dev/null" EXIT
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "^VantrelVPN$" >/dev/null 2>&1 && break
        sleep 0.1
    done
    xdotool search --onlyvisible --name "^VantrelVPN$" >/dev/null || { echo "smoke: no window shown"; exit 1; }
    timeout 10 /usr/bin/vantrelvpn; rc=$?
    [ "$rc" -eq 0 ] || { echo "smoke: second start exited $rc"; exit 1; }
    kill -0 $app || { echo "smoke: first instance died"; exit 1; }
    # A missing image plugin or a broken document shows in the log only.
    if grep -E "qrc:/|Unsupported image format" "$HOME/app.log"; then echo "smoke: the window did not load whole"; exit 1; fi
    echo "smoke: window shown with its artwork, second start exited 0"
'
