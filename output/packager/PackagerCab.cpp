// The cabinet side of the packager: a new cabinet every time, every file in
// one folder (one compressed stream compresses best). A package of no files
// removes the cabinet it replaces.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "CabWriter.h"
#include "MorvoError.h"
#include "PackagerArchive.h"

namespace {
class TCabArchiveWriter : public TArchiveWriter {
 public:
  void Open(const std::string& BaseFolder, const std::string& FileName, const std::string&) override {
    SetBaseFolder(BaseFolder);
    FArchiveName = FileName;
    FMaxStoredName = TCabWriter::kMaxNameLength;
    FCab.OnFileProgress = [this](const std::string&, int Percent) {
      if (OnItemProgress) OnItemProgress(Percent);
    };
    if (!FCab.Create(FileName, TCabCompression::Lzx, 0)) throw EMorvoError(FCab.ErrorText());
  }
  size_t AddFiles(const std::string& Mask) override {
    for (auto [relative, stored] : FilesFor(Mask)) {
      std::replace(stored.begin(), stored.end(), '/', '\\');
      if (!FCab.AddFile(FBaseFolder + relative, stored)) throw EMorvoError(FCab.ErrorText());
      if (OnProcessItem) OnProcessItem(stored);
    }
    return FFound;
  }
  void Close() override {
    if (!FCab.FlushCabinet()) throw EMorvoError(FCab.ErrorText());
    if (FCab.FilesWritten() != 0) return;
    // Cabinet readers reject a cabinet without files, so none is written;
    // the file the user chose to replace goes all the same, and the result
    // says so. A folder of that name is left alone.
    FNote = "No cabinet was written: a cabinet cannot be empty.";
    if (::unlink(FArchiveName.c_str()) == 0)
      FNote += " The older \"" + FArchiveName + "\" was removed.";
    else if (errno != ENOENT)
      throw EMorvoError("Cannot delete file \"" + FArchiveName + "\". " + std::strerror(errno));
  }

 private:
  TCabWriter FCab;
};
}  // namespace

std::unique_ptr<TArchiveWriter> CreateCabArchiveWriter() { return std::make_unique<TCabArchiveWriter>(); }
