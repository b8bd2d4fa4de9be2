#!/bin/sh
# Installs what is missing, builds, and starts the program on a bundled sample
# (or on the object file named, relative to the folder it is called from).
set -eu
sample="${1:-}"
case "$sample" in
  "" | /*) ;;
  *) sample="$(pwd)/$sample" ;;
esac
cd "$(dirname "$0")/.."
sample="${sample:-samples/Invoice.dcl}"
tools/install-deps.sh
tools/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a build/bin/morvo-reader "$sample"
fi
exec build/bin/morvo-reader "$sample"
