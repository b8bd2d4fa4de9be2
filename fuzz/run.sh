#!/bin/sh
# Builds a libFuzzer harness against the project's sources and runs it for a
# bounded time: the object-file reader unless another harness is named
# ("cab": the cabinet writer, round trip through cabextract; "emf": the EMF
# player, every input drawn as a preview and as a printed sheet).
#
#   fuzz/run.sh [harness] [seconds] [extra libFuzzer options...]
#
# New inputs that add coverage are merged into fuzz/corpus; inputs that fail
# are written to fuzz/crashes (commit both). Other harnesses than the reader
# keep theirs in fuzz/corpus-<harness> and fuzz/crashes-<harness>; the EMF
# corpus grows large and is not committed.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
harness=reader suffix=""
case "${1:-}" in [a-z]*) harness=$1 suffix="-$1" && shift ;; esac
[ "$harness" = reader ] && suffix=""
seconds=${1:-60}
[ $# -gt 0 ] && shift

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! command -v clang++-14 >/dev/null 2>&1 || ! ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "Installing clang-14 and its runtime libraries"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends clang-14 libclang-rt-14-dev
fi
"$root/tools/install-deps.sh"

build="$root/build-fuzz"
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORVO_BUILD_TESTS=OFF -DMORVO_BUILD_BENCH=OFF -DMORVO_WERROR=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link $sanitize -fno-omit-frame-pointer" >/dev/null
corpus="$root/fuzz/corpus$suffix" crashes="$root/fuzz/crashes$suffix"
max_len=4096

case "$harness" in
cab)
  cmake --build "$build" --target morvo_platform -j"$(nproc)"
  p="$root/output/packager"
  # shellcheck disable=SC2046
  clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer $sanitize -fno-omit-frame-pointer -I"$p" -I"$root/platform" \
    "$root/fuzz/fuzz_cab.cpp" "$p/CabWriter.cpp" "$p/CabChecksum.cpp" "$p/LzxEncoder.cpp" "$p/UsableCpus.cpp" \
    "$build/platform/libmorvo_platform.a" $(pkg-config --libs icu-i18n icu-uc) -o "$build/fuzz_cab"
  ;;
emf)
  # Pages are larger than object files; the committed test pages seed the run.
  cmake --build "$build" --target morvo_emf -j"$(nproc)"
  # shellcheck disable=SC2046
  clang++-14 -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer $sanitize -fno-omit-frame-pointer -I"$root/output/emf" \
    $(pkg-config --cflags Qt6Gui) "$root/fuzz/fuzz_emf.cpp" "$build/output/emf/libmorvo_emf.a" \
    $(pkg-config --libs Qt6Widgets Qt6PrintSupport) -o "$build/fuzz_emf"
  max_len=262144
  mkdir -p "$corpus"
  [ -n "$(ls "$corpus")" ] || cp "$root"/tests/data/emf/*.emf "$corpus"/
  ;;
*)
  cmake --build "$build" --target morvo_model -j"$(nproc)"
  # shellcheck disable=SC2046
  clang++-14 -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer $sanitize -fno-omit-frame-pointer \
    -DFUZZ_DEFS_DIR="\"$root/fuzz/defs\"" \
    -I"$root/model" -I"$root/platform" -I"$build/platform/generated" \
    $(pkg-config --cflags Qt6Core) \
    "$root/fuzz/fuzz_reader.cpp" \
    "$build/model/libmorvo_model.a" "$build/platform/libmorvo_platform.a" \
    $(pkg-config --libs Qt6Core icu-i18n icu-uc) \
    -o "$build/fuzz_reader"
  ;;
esac

# The reader looks the code page up in the settings store: keep that, and the
# harnesses' temporary files, in a folder of the run's own.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/morvo-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$scratch/config" "$scratch/new" "$scratch/tmp" "$corpus" "$crashes"
export XDG_CONFIG_HOME="$scratch/config" HOME="$scratch" TMPDIR="$scratch/tmp" QT_QPA_PLATFORM=offscreen

status=0
"$build/fuzz_$harness" "$scratch/new" "$corpus" \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix="$crashes/" -print_final_stats=1 "$@" || status=$?

# Keep only what adds coverage to the saved corpus.
"$build/fuzz_$harness" -merge=1 "$corpus" "$scratch/new" >/dev/null 2>&1 || true
echo "corpus: $(ls "$corpus" | wc -l) inputs; crashes: $(ls "$crashes" | wc -l) inputs"
exit $status
