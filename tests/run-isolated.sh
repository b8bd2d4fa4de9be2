#!/bin/sh
# Runs one test program in a temporary home of its own and removes it after.
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/morvo-test.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/config" "$home/data" "$home/cache" "$home/work" "$home/runtime"
chmod 700 "$home/runtime"
cd "$home/work" || exit 1
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
XDG_RUNTIME_DIR="$home/runtime" HOME="$home" QT_QPA_PLATFORM=offscreen \
  "$@"
