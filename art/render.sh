#!/bin/sh
# Renders the application artwork from its vector source; needs rsvg-convert (Debian: librsvg2-bin).
set -eu
cd "$(dirname "$0")/.."
rsvg-convert --width 256 --height 256 art/icon.svg --output icon.png
rsvg-convert --width 128 --height 128 art/logo.svg --output logo.png
