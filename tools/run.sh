#!/bin/sh
# Installs what is missing, builds the program (not the tests) and starts it
# on a bundled sample, or on the object file named (relative to the folder it
# is called from).
#
# Without a display it shows nothing and ends by itself: it writes the file's
# default export and a picture of the main window into build/run/ and says
# where both are.
set -eu
sample="${1:-}"
case "$sample" in
  "" | /*) ;;
  *) sample="$(pwd)/$sample" ;;
esac
cd "$(dirname "$0")/.."
root=$(pwd)
sample="${sample:-$root/samples/Invoice.dcl}"
tools/install-deps.sh
tools/build.sh morvo-reader
program="$root/build/bin/morvo-reader"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$sample"
fi

if [ ! -f "$sample" ]; then
  echo "tools/run.sh: no such file: $sample" >&2
  exit 1
fi
# The export is written beside the object file: work on a copy, so neither
# the samples nor the user's folders gain files.
out="$root/build/run"
rm -rf "$out"
mkdir -p "$out"
copy="$out/$(basename "$sample")"
cp "$sample" "$copy"
echo "No display found: writing the export and a picture of the window instead."
"$program" /e "$copy"
written=""
for f in "$out"/*; do
  [ "$f" != "$copy" ] && written=$f
done
if [ -z "$written" ]; then
  echo "tools/run.sh: the program wrote no export of $copy" >&2
  exit 1
fi

picture="$out/screenshot.png"
screen=$(mktemp -d "${TMPDIR:-/tmp}/morvo-run.XXXXXX")
trap 'rm -rf "$screen"' EXIT
trap 'exit 1' INT TERM
# The window goes to the virtual X server whatever platform the caller's
# environment names. Qt wants a private runtime folder; a server's root
# session may have none.
unset WAYLAND_DISPLAY
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$screen} xvfb-run -a -s "-screen 0 1920x1200x24 -fbdir $screen" \
  tools/window-picture.sh "$screen/Xvfb_screen0" "$picture" "$program" "$copy"
echo "export: $written"
echo "picture of the main window: $picture"
