// Writing the export file: whole, through a temporary file in the target
// folder that replaces the target only when everything was written and
// synced, so a failure at any point (a full disk included) leaves an
// existing file as it was.
#include <sys/stat.h>

#include "ExportEngine.h"
#include "MorvoError.h"
#include "WholeFile.h"

void WriteFileWhole(const std::string& FileName, std::string_view Bytes) {
  std::string reason;
  if (!WriteFileAtomically(FileName, Bytes, reason)) throw EMorvoError(CannotWriteFile(FileName, reason));
}

// One file under two names too: a link or a second path to the same file.
bool IsSameExistingFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty()) return false;
  struct stat a {};
  struct stat b {};
  if (stat(A.c_str(), &a) != 0 || stat(B.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
