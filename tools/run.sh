#!/bin/sh
# Installs what is missing, builds, and starts the program on a bundled sample.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
sample="${1:-samples/Invoice.dcl}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a build/bin/morvo-reader "$sample"
fi
exec build/bin/morvo-reader "$sample"
