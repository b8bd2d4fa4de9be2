// Writing the export file: straight into a temporary file in the target
// folder while the document is built. The temporary file replaces the target
// only when everything was written and synced, so a failure at any point (a
// full disk included) or a stopped export leaves an existing file as it was.
#include <sys/stat.h>

#include "ExportEngine.h"
#include "MorvoError.h"

TExportFile::TExportFile(std::string FileName) : FFileName(std::move(FileName)) { FOpen = FWriter.Open(FFileName); }

bool TExportFile::Write(std::string_view Bytes) { return FOpen && FWriter.Write(Bytes); }

void TExportFile::Commit(bool Written) {
  if (!FOpen || !Written || !FWriter.Commit())
    throw EMorvoError(CannotWriteFile(FFileName, FWriter.Reason()));
}

// One file under two names too: a link or a second path to the same file.
bool IsSameExistingFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty()) return false;
  struct stat a {};
  struct stat b {};
  if (stat(A.c_str(), &a) != 0 || stat(B.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
