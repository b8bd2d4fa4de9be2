#!/bin/sh
# Configures and builds into build/ (warnings are errors): everything, or
# only the targets named (tools/build.sh morvo-reader).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVO_WERROR=ON
if [ $# -eq 0 ]; then
  cmake --build build -j"$(nproc)"
else
  cmake --build build -j"$(nproc)" --target "$@"
fi
