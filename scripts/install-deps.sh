#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need.
# Run as root on Debian 12 (bookworm) or Debian 13 (trixie).
set -euo pipefail

# The names that differ between the two releases.
release=$(. /etc/os-release && echo "${ID:-}:${VERSION_ID:-}")
case $release in
debian:12)
    # The SVG image and icon-engine plugins come with the library.
    svg_plugins=libqt6svg6
    llvm=14
    ;;
debian:13)
    svg_plugins=qt6-svg-plugins
    llvm=19
    ;;
*)
    echo "install-deps.sh: this is \"$release\" (from /etc/os-release); it knows Debian 12 (bookworm)" \
        "and Debian 13 (trixie)" >&2
    exit 1
    ;;
esac

packages=(
    # toolchain and Qt 6
    cmake make g++ pkg-config
    qt6-base-dev qt6-declarative-dev libqt6sql6-sqlite
    qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtqml-models qml6-module-qtquick
    qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-dialogs qml6-module-qtquick-shapes
    qml6-module-qt5compat-graphicaleffects qml6-module-qttest
    # fonts: the bundled face comes from fonts-inter, symbol glyphs from Noto and DejaVu
    fonts-inter fonts-noto-core fonts-dejavu-core
    # artwork
    librsvg2-bin
    # the simulated VPN service: sign-in page server and diagnostics archives
    qt6-httpserver-dev qt6-websockets-dev zip unzip
    # the Debian package, its manual page and its checks
    dpkg-dev desktop-file-utils appstream file scdoc lintian
    # the named time zones the statistics and UI tests run in
    tzdata
    # headless display, tray host and window tooling for tests and the screenshot tour
    xvfb xauth trayer xdotool x11-utils imagemagick
    # the start-up benchmark watches the display through xcb
    libxcb1-dev
    # the artwork's vector sources at run time (Qt's SVG image and icon plugins)
    "$svg_plugins"
    # end-to-end desktops: a session bus with a StatusNotifierItem panel under X11, and
    # native Wayland on headless sway (its bar hosts the tray)
    dbus-daemon xfce4-panel qt6-wayland sway swaybg grim python3
    # libFuzzer targets (clang's fuzzer and sanitizer runtimes are only recommended, so named)
    clang "libclang-rt-$llvm-dev"
    # the browser that finishes sign-ins in the end-to-end tests
    chromium chromium-driver curl
    # keyboard and screen-reader walks: session bus, accessibility bus and its Python client
    dbus at-spi2-core python3-pyatspi
    # the screen reader the walk listens to, and the speech service it talks through (it logs
    # what it would say without a synthesizer)
    orca speech-dispatcher
)

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps.sh: run as root (sudo $0)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}"
