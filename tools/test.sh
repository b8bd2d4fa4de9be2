#!/bin/sh
# Installs what is missing, builds, and runs every test; then runs the tests
# of the EMF player, the cabinet writer and the fuzzing replays again in a
# build with the address and undefined-behaviour sanitizers (build-asan),
# where a read or write outside a buffer fails instead of passing unseen.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
# Warnings stay warnings there: the sanitizers make the compiler see false
# out-of-bounds accesses in Qt's headers.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DMORVO_BUILD_BENCH=OFF -DMORVO_WERROR=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake --build build-asan -j"$(nproc)" --target tst_emf tst_cab tst_reader_fuzz_corpus
cd build-asan
ctest --output-on-failure -j"$(nproc)" -R 'tst_emf|tst_cab|fuzz_corpus'
