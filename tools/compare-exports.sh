#!/bin/bash
# Runs "/e" with two builds of the program on many object files and lists
# every file whose exit status, standard error or export differs between
# them: the check that a change meant to be invisible (a faster path, say) is.
#
#   tools/compare-exports.sh OLD_PROGRAM NEW_PROGRAM [INPUT ...]
#
# Without inputs it takes the reader's fuzzing corpus and the samples. Each
# input runs under three start views and default exports (Design/html,
# Runtime/xml, Full/txt) made from data/. Objects without name or GUID get a
# random GUID per run ("0:" and digits); such GUIDs are masked before the
# comparison. Exits 1 when anything differs.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
old=$(realpath "$1") new=$(realpath "$2")
shift 2
if [ $# -eq 0 ]; then set -- "$root"/fuzz/corpus/* "$root"/fuzz/crashes/* "$root"/samples/*; fi
work=$(mktemp -d /tmp/compare-exports.XXXXXX)
trap 'rm -rf "$work"' EXIT

# One folder per build and variant, with the definitions beside the program.
variant=0
for settings in "Design,Full,Runtime html,xml,txt" "Runtime,Full,Design xml,html,txt" "Full,Design,Runtime txt,html,xml"; do
  read -r views outputs <<<"$settings"
  for build in old new; do
    dir=$work/$variant/$build
    mkdir -p "$dir/config"
    cp "$root"/data/* "$dir/"
    sed -i "s/^Views=.*/Views=$views/; s/^OutPuts=.*/OutPuts=$outputs/" "$dir/MorvoObject.cfg"
    cp "${!build}" "$dir/morvo-reader"
  done
  variant=$((variant + 1))
done

one() {
  local input=$1 work=$2 key status=0
  key=$(printf '%s' "$input" | md5sum | cut -c1-12)
  for variant in "$work"/*/; do
    for build in old new; do
      local dir=$variant$build/w$key
      mkdir -p "$dir" && cp "$input" "$dir/in.obj"
      (cd "$dir" && XDG_CONFIG_HOME=$variant$build/config QT_QPA_PLATFORM=offscreen \
        timeout 60 ../morvo-reader /e in.obj >/dev/null 2>err.txt; echo $? >rc.txt)
      sed -i "s|$variant$build||g" "$dir/err.txt"
      for f in "$dir"/in.*; do [ "$f" = "$dir/in.obj" ] || sed -i 's/0:[0-9]\{6,\}/0:G/g' "$f"; done
    done
    if diff -r "${variant}old/w$key" "${variant}new/w$key" >/dev/null; then
      rm -rf "${variant}old/w$key" "${variant}new/w$key"
    else
      echo "differs: $input ($(basename "$variant"))"
      status=1
    fi
  done
  return $status
}
export -f one
printf '%s\n' "$@" | xargs -P "$(nproc)" -I{} bash -c 'one "$1" "$2"' _ {} "$work"
status=$?
[ $status -eq 0 ] && echo "no differences in $# inputs"
exit $((status != 0))
