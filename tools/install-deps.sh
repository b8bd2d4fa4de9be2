#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the program need,
# only those that are missing. Run as root (or through sudo).
set -eu
packages="build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 \
libgl-dev libicu-dev libzip-dev libbenchmark-dev xvfb xauth xdg-utils"
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
