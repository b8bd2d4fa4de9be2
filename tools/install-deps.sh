#!/bin/sh
# Installs the Debian 12 packages the build, the tests, the benchmarks and the
# program need, only those that are missing. Run as root (or through sudo).
#
#   build-essential cmake      compiler, make and CMake
#   qt6-base-dev               Qt Core, Gui, Widgets and Test (with their OpenGL
#                              and Vulkan headers, which Qt's CMake files ask for)
#   qt6-base-dev-tools         moc, uic and rcc
#   qt6-svg-dev libqt6svg6     Qt Svg, and the svg image and icon plugins that
#                              draw the program's icons
#   libicu-dev                 code pages and collation
#   libzip-dev pkg-config      zip archives of the packager (found through pkg-config)
#   libbenchmark-dev           the benchmarks in bench/
#   fonts-dejavu-core          a font, so text is drawn also off screen (tests)
#   xvfb xauth                 xvfb-run, for tools/run.sh without a display; the
#                              window tests start an X server of their own
#   netpbm                     tools/run.sh without a display cuts the main window
#                              (found with xwininfo) out of the virtual screen
#                              and writes it as PNG
#   openbox x11-utils          a window manager for those tests, and xprop, through
#                              which they read what it made of each window
#   libxcb1-dev                the wait window states its title-bar functions on X
#   xdg-utils                  xdg-open, through which the program opens links
#   unzip cabextract gcab      the tests check the archives the packager writes
#   p7zip-full                 with other readers than the program's own
#   zip                        the cab benchmark measures the zip writer against zip -9
#   poppler-utils              pdfinfo and pdftoppm: the tests look at printed pages
#   mount                      the full-disk tests mount a small tmpfs
set -eu
packages="build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 \
libicu-dev libzip-dev pkg-config libbenchmark-dev fonts-dejavu-core xvfb xauth netpbm openbox x11-utils \
libxcb1-dev xdg-utils \
unzip cabextract gcab p7zip-full zip poppler-utils mount"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
