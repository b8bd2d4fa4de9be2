#pragma once

// Zip archives through libzip: Deflate at maximum compression, an archive
// comment, and entries that are stored again only when their file changed.
// Each added file is compressed on a worker thread from the moment it is
// added; closing waits for them and copies the compressed data as it is.
// The archive is built in memory and committed through the whole-file
// writer (a synced temporary beside it, renamed), so a failure never leaves
// half an archive and a power cut leaves the older one or the new one.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct zip;
struct zip_source;

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
  // Writes the archive and closes it. Nothing is written when nothing was
  // added (and the comment is as it was), nor for a new archive without
  // entries. Fails with EMorvoError.
  void Close();
  // Closes without writing anything.
  void Discard();

  bool IsOpen() const { return FArchive != nullptr; }

 private:
  struct TAddedFile;
  class TCompressor;

  void CopyCompressedEntries();
  std::string CannotWrite(const std::string& Reason) const;

  zip* FArchive = nullptr;
  zip_source* FSource = nullptr;                              // the archive's bytes: the older ones, then the new
  std::unordered_map<std::string, uint64_t> FEntries;         // the older archive's entries by stored name
  std::vector<std::unique_ptr<TAddedFile>> FAdded;            // in the order they were added
  std::unordered_map<std::string, TAddedFile*> FAddedByName;  // the last added of each name
  std::unique_ptr<TCompressor> FCompressor;
  std::string FFileName;
  std::string FComment;
  std::string FOlderComment;
  std::function<void(int)> FProgress;
};
