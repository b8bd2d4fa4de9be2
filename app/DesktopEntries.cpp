#include "DesktopEntries.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "WholeFile.h"

namespace {

// The program of an Exec line: its first word, quotes and escapes taken off,
// looked up on the search path when it has no folder.
QString ProgramOfExec(QString Exec) {
  Exec.replace("\\\\", "\\");
  QString program;
  if (Exec.startsWith('"')) {
    for (qsizetype i = 1; i < Exec.size() && Exec[i] != '"'; ++i) {
      if (Exec[i] == '\\' && i + 1 < Exec.size()) ++i;
      program += Exec[i];
    }
  } else {
    program = Exec.section(' ', 0, 0);
  }
  if (program.isEmpty()) return {};
  return program.contains('/') ? program : QStandardPaths::findExecutable(program);
}

TDesktopEntry ReadEntryFile(const QString& File) {
  TDesktopEntry result;
  ForEachDesktopValue(File, "Desktop Entry", [&result](const QString& Key, const QString& Value) {
    if (Key == "Exec")
      result.Program = ProgramOfExec(Value);
    else if (Key == "Terminal")
      result.Terminal = Value == "true";
    return false;
  });
  return result;
}

QString Canonical(const QString& Program) {
  const QString canonical = QFileInfo(Program).canonicalFilePath();
  return canonical.isEmpty() ? Program : canonical;
}

}  // namespace

void ForEachDesktopValue(const QString& File, const QString& Section,
                         const std::function<bool(const QString& Key, const QString& Value)>& Take) {
  // Only a regular file is read: a pipe or device put in a list's place must
  // not hold up the program.
  std::string bytes;
  if (File.isEmpty() || !ReadRegularFile(QFile::encodeName(File).toStdString(), bytes)) return;
  bool inSection = false;
  for (const QString& raw : QString::fromUtf8(bytes).split('\n')) {
    const QString line = raw.trimmed();
    if (line.startsWith('[')) {
      inSection = line == "[" + Section + "]";
      continue;
    }
    if (!inSection || line.startsWith('#')) continue;
    const qsizetype eq = line.indexOf('=');
    if (eq >= 0 && Take(line.left(eq).trimmed(), line.mid(eq + 1).trimmed())) return;
  }
}

TDesktopEntry ReadDesktopEntry(const QString& Id) {
  return ReadEntryFile(QStandardPaths::locate(QStandardPaths::ApplicationsLocation, Id));
}

bool ProgramRunsInTerminal(const QString& Program) {
  if (Program.isEmpty()) return false;
  const QString wanted = Canonical(Program);
  bool inTerminal = false;
  for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
    QDirIterator it(folder, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const TDesktopEntry entry = ReadEntryFile(it.next());
      if (entry.Program.isEmpty() || Canonical(entry.Program) != wanted) continue;
      if (!entry.Terminal) return false;  // it also has a window of its own
      inTerminal = true;
    }
  }
  return inTerminal;
}

bool IsFileLauncher(const QString& Program) {
  static const QStringList kLaunchers = {"xdg-open",   "gio",       "gvfs-open", "exo-open",
                                         "kde-open",   "kde-open5", "kioclient", "kioclient5",
                                         "gnome-open", "mimeopen",  "see",       "run-mailcap"};
  return kLaunchers.contains(QFileInfo(Program).fileName());
}

QStringList EditorCommandLine(const QString& Editor) {
  if (ProgramRunsInTerminal(Editor)) {
    const QString terminal = QStandardPaths::findExecutable("x-terminal-emulator");
    if (!terminal.isEmpty()) return {terminal, "-e", Editor};
  }
  return {Editor};
}
