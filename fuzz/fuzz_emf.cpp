// libFuzzer harness for the EMF player: every input is loaded as a page and,
// when it loads, drawn onto a small image and stretched over a large one
// (the preview and a printed sheet). A damaged page may be refused or have
// records skipped; a crash, a hang, a leak or a sanitizer report is a finding.
//
// Built and run by fuzz/run.sh emf [seconds]; by hand (from the repository root; clang-14 with its runtime, as for
// fuzz_reader):
//   cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
//     -DMORVO_BUILD_TESTS=OFF -DMORVO_BUILD_BENCH=OFF -DMORVO_WERROR=OFF \
//     -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fsanitize=address,undefined \
//       -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
//   cmake --build build-fuzz --target morvo_emf -j"$(nproc)"
//   clang++-14 -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
//     -fno-omit-frame-pointer -Ioutput/emf $(pkg-config --cflags Qt6Gui) fuzz/fuzz_emf.cpp \
//     build-fuzz/output/emf/libmorvo_emf.a $(pkg-config --libs Qt6Widgets Qt6PrintSupport) \
//     -o build-fuzz/fuzz_emf
//   mkdir -p fuzz/corpus-emf && cp tests/data/emf/*.emf fuzz/corpus-emf/
//   QT_QPA_PLATFORM=offscreen build-fuzz/fuzz_emf -max_total_time=600 -timeout=10 -rss_limit_mb=4096 \
//     fuzz/corpus-emf
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>

#include "EmfPlayer.h"

namespace {
QGuiApplication* gApp = nullptr;
}

// The font library keeps what it found about each font asked for till the
// program ends; that is no leak of the player's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gApp = new QGuiApplication(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TEmfPicture picture;
  if (!picture.LoadFromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)))) return 0;
  for (const QSize canvas : {QSize(40, 50), QSize(600, 800)}) {
    QImage image(canvas, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    picture.Draw(painter, QRectF(QPointF(0, 0), QSizeF(canvas)));
  }
  return 0;
}
