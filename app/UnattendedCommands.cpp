// The command-line switches that run one job without the main window.
#include "UnattendedCommands.h"

#include <QApplication>

#include "MorvoObjRead.h"
#include "fMain.h"
#include "fWait.h"

namespace {
// Only ASCII letters change: the switches are ASCII, and a file name that
// merely looks like one in another script stays a file name.
QString LowerAscii(const QString& S) {
  QString r = S;
  for (QChar& c : r)
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
  return r;
}

// "/e": the default export of the file of argument 2, written beside it.
void RunExport(const QStringList& Args) {
  if (FrmWait) FrmWait->ShowWait();
  try {
    // A file that cannot be read is simply not loaded; the export then writes nothing.
    if (FrmMorvoReader) FrmMorvoReader->OpenObjectFile(Args.value(2));
  } catch (...) {
  }
  if (FrmMorvoReader) FrmMorvoReader->DoOutputExport();
  if (FrmWait) FrmWait->close();
  FreeAllForms();
  QApplication::beep();
}
}  // namespace

bool RunUnattendedCommand(const QStringList& Args) {
  if (Args.size() < 2) return false;
  const QString command = LowerAscii(Args[1]);
  if (command == "/e") {
    RunExport(Args);
    return true;
  }
  return false;
}
