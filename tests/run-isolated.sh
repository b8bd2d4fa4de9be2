#!/bin/sh
# Runs one test program in a temporary home of its own and removes it after.
# Temporary files go into that home too, so whatever a test or a program it
# starts leaves behind goes with it.
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/morvo-test.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/config" "$home/data" "$home/cache" "$home/work" "$home/runtime" "$home/tmp"
chmod 700 "$home/runtime"
# Like /tmp: tests that hand a folder to another user (nobody) reach it.
chmod 711 "$home"
chmod 1777 "$home/tmp"
cd "$home/work" || exit 1
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
XDG_RUNTIME_DIR="$home/runtime" HOME="$home" TMPDIR="$home/tmp" QT_QPA_PLATFORM=offscreen \
  "$@"
