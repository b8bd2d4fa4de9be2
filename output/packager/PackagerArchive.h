#pragma once

// Writing a package: every file below a base folder whose name matches a
// mask goes into a zip or cab archive, stored under its path relative to the
// base folder. Free of widgets; the packager window drives it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// "*" any run of characters, "?" exactly one; without regard to letter case,
// since the names were written on a system that ignores it.
bool MatchesMask(std::string_view Name, std::string_view Mask);

// Regular files below Base (all subfolders) whose name matches Mask, as
// paths relative to Base with "/" between folders, sorted. A mask with
// folders ("data/*.txt", "data\x.txt") also matches that many trailing
// folders of the path. Hidden files and folders (a leading ".") are not
// searched, and symbolic links are not followed.
std::vector<std::string> FindFilesByMask(const std::string& Base, std::string_view Mask);
// The two halves of FindFilesByMask: every file below Base, and those of
// them that match Mask.
std::vector<std::string> ListFilesBelow(const std::string& Base);
std::vector<std::string> MatchFilesByMask(const std::vector<std::string>& Files, std::string_view Mask);

// A stored name that a Windows extractor would follow out of its target
// folder: one holding "\" (a separator there, a plain byte here) or starting
// with a drive ("C:").
bool IsUnsafeEntryName(std::string_view StoredName);

class TArchiveWriter {
 public:
  virtual ~TArchiveWriter() = default;

  // Told of every entry the writer adds or stores again, by its stored name.
  std::function<void(const std::string& StoredName)> OnProcessItem;
  // The writing's progress, 0 to 100.
  std::function<void(int Percent)> OnItemProgress;
  // Entries keep their path below the base folder; off stores bare names
  // (the first file of a name wins).
  bool PreservePath = true;

  // Fails with EMorvoError when the base folder does not exist or the
  // archive cannot be opened. An empty base folder is the working folder.
  virtual void Open(const std::string& BaseFolder, const std::string& FileName, const std::string& Comment) = 0;
  // Adds the files FindFilesByMask finds for Mask; how many it found (those
  // an earlier mask gave and those the archive holds unchanged included).
  virtual size_t AddFiles(const std::string& Mask) = 0;
  // Writes the archive (in a temporary file, renamed into place), unless
  // there is nothing new to write.
  virtual void Close() = 0;

  // Files found but left out because their names are no safe entry names
  // or too long for the archive (paths relative to the base folder), in the
  // order they were found.
  const std::vector<std::string>& Refused() const { return FRefused; }
  // What the writer did to the archive file beyond its entries; empty when
  // nothing worth telling.
  const std::string& Note() const { return FNote; }
  // The folder is read again at the next AddFiles: files were written below
  // it since (the documentation).
  void Rescan() { FFilesBelow.reset(); }
  // Files found that the archive already holds unchanged, so not stored again.
  size_t Unchanged() const { return FUnchanged; }

 protected:
  std::string FBaseFolder;                              // with a trailing "/"
  std::set<std::string> FFlatNames;                     // stored names without regard to case, when paths are not kept
  std::optional<std::vector<std::string>> FFilesBelow;  // read at the first AddFiles
  std::string FArchiveName;
  std::vector<std::string> FRefused;
  std::set<std::string> FTaken;  // files already handled, so each goes in once
  std::string FNote;
  size_t FUnchanged = 0;
  size_t FFound = 0;  // by the last FilesFor
  // Longer stored names (in bytes) are left out and listed in Refused().
  size_t FMaxStoredName = SIZE_MAX;
  void SetBaseFolder(const std::string& BaseFolder);
  // The files below the base folder for Mask with their stored names,
  // without the archive itself (an archive below its base folder must not
  // swallow its older self) and without files an earlier mask gave already.
  // Unsafe and too long names are left out and listed in Refused().
  std::vector<std::pair<std::string, std::string>> FilesFor(const std::string& Mask);
};

// A zip archive: an existing one keeps its entries; unchanged files are not
// stored again and not reported. Stored names use "/".
std::unique_ptr<TArchiveWriter> CreateZipArchiveWriter();
// A Microsoft Cabinet file, always new. Stored names use "\".
std::unique_ptr<TArchiveWriter> CreateCabArchiveWriter();
