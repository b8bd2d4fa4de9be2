#!/bin/sh
# Starts the program on a file on the current X display, a virtual one whose
# screen Xvfb keeps in SCREEN_FILE (its -fbdir); waits until the main window
# is drawn and looks the same twice in a row; writes that part of the screen
# to PICTURE as PNG and ends the program. tools/run.sh uses it without a
# display.
#
#   tools/window-picture.sh SCREEN_FILE PICTURE PROGRAM FILE
set -eu
if [ $# -ne 4 ]; then
  echo "usage: $0 SCREEN_FILE PICTURE PROGRAM FILE" >&2
  exit 2
fi
screen_file=$1 picture=$2 program=$3 file=$4
me=$(basename "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/morvo-picture.XXXXXX")
"$program" "$file" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# The main window's title ends in the program's name and it carries the
# program's class; the wait window and Qt's helper windows do not.
main_window() {
  xwininfo -root -children 2>/dev/null |
    sed -n 's/^ *\(0x[0-9a-f]*\) "[^"]*Morvo Object Reader": ("morvo-reader".*/\1/p' | head -n 1
}
field() { printf '%s\n' "$info" | sed -n "s/^ *$1: *\([-0-9]*\).*/\1/p"; }

looks=0
while :; do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "$me: the program ended before it showed its main window" >&2
    exit 1
  fi
  # Two minutes leave room for a loaded machine and a large file.
  looks=$((looks + 1))
  if [ "$looks" -gt 240 ]; then
    echo "$me: the main window was not drawn within two minutes" >&2
    exit 1
  fi
  sleep 0.5
  win=$(main_window)
  [ -n "$win" ] || continue
  info=$(xwininfo -id "$win" 2>/dev/null) || continue
  case $info in *IsViewable*) ;; *) continue ;; esac
  # A window reaching past the screen's edge is padded, not refused.
  xwdtopnm "$screen_file" 2>/dev/null |
    pamcut -pad -left "$(field 'Absolute upper-left X')" -top "$(field 'Absolute upper-left Y')" \
      -width "$(field Width)" -height "$(field Height)" >"$work/now.pnm" 2>/dev/null || continue
  # A window not drawn yet is one or two plain colours.
  [ "$(ppmhist -noheader "$work/now.pnm" | wc -l)" -gt 8 ] || continue
  if [ -f "$work/before.pnm" ] && cmp -s "$work/now.pnm" "$work/before.pnm"; then
    break
  fi
  mv "$work/now.pnm" "$work/before.pnm"
done
pnmtopng <"$work/now.pnm" >"$picture"
