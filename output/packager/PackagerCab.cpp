// The cabinet side of the packager: a new cabinet every time, every file in
// one folder (one compressed stream compresses best).
#include <algorithm>

#include "CabWriter.h"
#include "MorvoError.h"
#include "PackagerArchive.h"

namespace {
class TCabArchiveWriter : public TArchiveWriter {
 public:
  void Open(const std::string& BaseFolder, const std::string& FileName, const std::string&) override {
    SetBaseFolder(BaseFolder);
    FArchiveName = FileName;
    FCab.OnFileProgress = [this](const std::string&, int Percent) {
      if (OnItemProgress) OnItemProgress(Percent);
    };
    if (!FCab.Create(FileName, TCabCompression::Lzx, 0)) throw EMorvoError(FCab.ErrorText());
  }
  void AddFiles(const std::string& Mask) override {
    for (const std::string& relative : FilesFor(Mask)) {
      std::string stored = StoredNameOf(relative);
      if (stored.empty()) continue;
      std::replace(stored.begin(), stored.end(), '/', '\\');
      if (!FCab.AddFile(FBaseFolder + relative, stored)) throw EMorvoError(FCab.ErrorText());
      if (OnProcessItem) OnProcessItem(stored);
    }
  }
  void Close() override {
    if (!FCab.FlushCabinet()) throw EMorvoError(FCab.ErrorText());
    FCab.Destroy();
  }

 private:
  TCabWriter FCab;
};
}  // namespace

std::unique_ptr<TArchiveWriter> CreateCabArchiveWriter() { return std::make_unique<TCabArchiveWriter>(); }
