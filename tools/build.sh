#!/bin/sh
# Configures and builds into build/ (warnings are errors).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVO_WERROR=ON
cmake --build build -j"$(nproc)"
