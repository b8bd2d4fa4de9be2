#!/bin/sh
# Installs what is missing, builds, and runs every test; then builds and runs
# every test again with the address and undefined-behaviour sanitizers
# (build-asan), where a read or write outside a buffer, a leak or undefined
# behaviour fails instead of passing unseen.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
# Warnings stay warnings there: the sanitizers make the compiler see false
# out-of-bounds accesses in Qt's headers.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DMORVO_BUILD_BENCH=OFF -DMORVO_WERROR=OFF -DMORVO_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
cd build-asan
ctest --output-on-failure -j"$(nproc)"
