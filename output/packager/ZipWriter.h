#pragma once

// Zip archives through libzip: Deflate at maximum compression, an archive
// comment, and entries that are stored again only when their file changed.
// Each added file is compressed on a thread of its own from the moment it is
// added; closing waits for them and copies the compressed data as it is.
// The archive is written to a temporary file beside it and renamed into
// place when it is closed, so a failure never leaves half an archive.

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct zip;

class TZipWriter {
 public:
  TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;
  ~TZipWriter();  // an archive still open is discarded

  // Opens FileName as a zip archive, keeping its entries, or starts a new one
  // when there is no such file or it is empty. Fails with EMorvoError when the file exists
  // but is no zip archive, or cannot be opened.
  void Open(const std::string& FileName);
  void SetComment(const std::string& Comment);
  // Stores the file DiskPath as EntryName ("/" between folders). An entry of
  // that name whose size and modification time (to the two seconds of the
  // zip format) match the file stays as it was: false. Fails with
  // EMorvoError when the file cannot be read.
  bool AddFile(const std::string& DiskPath, const std::string& EntryName);
  // Called while the archive is written, with 0 to 100.
  void SetProgress(std::function<void(int Percent)> Progress);
  // Writes the archive and closes it; an archive without entries is written
  // as an empty zip file with its comment. Fails with EMorvoError.
  void Close();
  // Closes without writing anything.
  void Discard();

  bool IsOpen() const { return FArchive != nullptr; }

 private:
  struct TAddedFile;
  class TCompressor;

  const TAddedFile* FindAdded(const std::string& EntryName) const;
  void CopyCompressedEntries();

  zip* FArchive = nullptr;
  std::vector<std::unique_ptr<TAddedFile>> FAdded;  // in the order they were added
  std::unique_ptr<TCompressor> FCompressor;
  std::string FFileName;
  std::string FTarget;  // FFileName with links followed
  std::string FComment;
  std::function<void(int)> FProgress;
};
