// Writing the export file: whole, through a temporary file in the target
// folder that replaces the target only when everything was written, so a
// failure at any point leaves an existing file as it was.
#include <sys/stat.h>

#include <QFile>
#include <QSaveFile>

#include "ExportEngine.h"
#include "MorvoError.h"

namespace {
QString NativePath(const std::string& Path) { return QFile::decodeName(QByteArray::fromStdString(Path)); }
}  // namespace

void WriteFileWhole(const std::string& FileName, const std::string& Bytes) {
  const QString path = NativePath(FileName);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    throw EMorvoError("Cannot create file \"" + FileName + "\". " + file.errorString().toStdString());
  if (file.write(Bytes.data(), static_cast<qint64>(Bytes.size())) != static_cast<qint64>(Bytes.size())) {
    const std::string reason = file.errorString().toStdString();
    file.cancelWriting();
    throw EMorvoError("Cannot write file \"" + FileName + "\". " + reason);
  }
  if (!file.commit()) throw EMorvoError("Cannot write file \"" + FileName + "\". " + file.errorString().toStdString());
}

// One file under two names too: a link or a second path to the same file.
bool IsSameExistingFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty()) return false;
  struct stat a {};
  struct stat b {};
  if (stat(A.c_str(), &a) != 0 || stat(B.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
