// Placeholder start-up: ends silently without "ObjectProperties.txt",
// otherwise shows an empty window.
#include "MorvoObjRead.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>

#include "AppPaths.h"

int MorvoObjReadMain(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Morvo Object Reader");
  if (!QFileInfo(QString::fromStdString(ExecutableFolder() + "ObjectProperties.txt")).isFile()) return 0;
  QMainWindow window;
  window.setWindowTitle("Morvo Object Reader");
  window.show();
  return app.exec();
}
