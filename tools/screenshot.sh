#!/bin/sh
# Takes a picture of the main window with samples/Invoice.dcl loaded and
# writes it to docs/screenshot.png. The window is drawn off screen, so no
# display is needed. Builds into build/ first when the test program is missing.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${MORVO_BUILD_DIR:-build}
if [ ! -x "$build/bin/tst_mainwindow_picture" ]; then
  cmake -S . -B "$build" -DMORVO_WERROR=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" --target tst_mainwindow_picture
fi
mkdir -p docs
MORVO_SCREENSHOT="$root/docs/screenshot.png" \
  tests/run-isolated.sh "$root/$build/bin/tst_mainwindow_picture" theWindowShowsASampleWithItsPictures >/dev/null
echo "wrote docs/screenshot.png"
