#include "PackagerArchive.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "MorvoError.h"
#include "PackagerFileList.h"
#include "PathNames.h"
#include "StringUtil.h"
#include "ZipWriter.h"

namespace {
char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

std::vector<std::string> SplitAt(std::string_view Text, std::string_view Separators) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t cut = Text.find_first_of(Separators, start);
    parts.emplace_back(Text.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start));
    if (cut == std::string_view::npos) break;
    start = cut + 1;
  }
  return parts;
}

bool IsDirectory(const std::string& Path) {
  struct stat st {};
  return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Walks Folder without following symbolic links and without entering
// hidden folders; the entries of each folder in name order.
void CollectFiles(const std::string& Base, const std::string& Relative, std::vector<std::string>& Files) {
  const std::string folder = Base + Relative;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  std::vector<std::pair<std::string, bool>> entries;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    struct stat st {};
    if (::lstat((folder + name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      entries.emplace_back(name, true);
    else if (S_ISREG(st.st_mode))
      entries.emplace_back(name, false);
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end());
  for (const auto& [name, isDir] : entries) {
    if (isDir)
      CollectFiles(Base, Relative + name + "/", Files);
    else
      Files.push_back(Relative + name);
  }
}
}  // namespace

bool MatchesMask(std::string_view Name, std::string_view Mask) {
  // Iterative matching with one back-tracking point: linear in practice.
  size_t n = 0, m = 0, starM = std::string_view::npos, starN = 0;
  while (n < Name.size()) {
    if (m < Mask.size() && (Mask[m] == '?' || FoldAscii(Mask[m]) == FoldAscii(Name[n]))) {
      ++n;
      ++m;
    } else if (m < Mask.size() && Mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < Mask.size() && Mask[m] == '*') ++m;
  return m == Mask.size();
}

std::vector<std::string> FindFilesByMask(const std::string& Base, std::string_view Mask) {
  return MatchFilesByMask(ListFilesBelow(Base), Mask);
}

std::vector<std::string> ListFilesBelow(const std::string& Base) {
  std::string base = Base;
  if (!base.empty() && base.back() != '/') base += '/';
  std::vector<std::string> files;
  CollectFiles(base, "", files);
  return files;
}

std::vector<std::string> MatchFilesByMask(const std::vector<std::string>& Files, std::string_view Mask) {
  std::vector<std::string> found;
  const std::vector<std::string> maskParts = SplitAt(Mask, "/\\");
  if (maskParts.back().empty()) return found;
  for (const std::string& file : Files) {
    const std::vector<std::string> parts = SplitAt(file, "/");
    if (parts.size() < maskParts.size()) continue;
    bool match = true;
    for (size_t i = 0; i < maskParts.size() && match; ++i)
      match = MatchesMask(parts[parts.size() - maskParts.size() + i], maskParts[i]);
    if (match) found.push_back(file);
  }
  return found;
}

bool IsUnsafeEntryName(std::string_view StoredName) {
  if (StoredName.find('\\') != std::string_view::npos) return true;
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  return StoredName.size() >= 2 && letter(StoredName[0]) && StoredName[1] == ':';
}

void TArchiveWriter::SetBaseFolder(const std::string& BaseFolder) {
  if (!BaseFolder.empty() && !IsDirectory(BaseFolder))
    throw EMorvoError("The folder \"" + BaseFolder + "\" does not exist");
  FBaseFolder = BaseFolder;
  if (!FBaseFolder.empty() && FBaseFolder.back() != '/') FBaseFolder += '/';
  FFlatNames.clear();
  FFilesBelow.reset();
  FTaken.clear();
  FRefused.clear();
  FNote.clear();
  FUnchanged = 0;
}

std::vector<std::pair<std::string, std::string>> TArchiveWriter::FilesFor(const std::string& Mask) {
  // The folder tree is read once per archive, not once per name: a base
  // folder high up holds many files, and a package many names.
  if (!FFilesBelow) FFilesBelow = ListFilesBelow(FBaseFolder);
  struct stat archive {};
  const bool archiveExists = !FArchiveName.empty() && ::stat(FArchiveName.c_str(), &archive) == 0;
  std::vector<std::pair<std::string, std::string>> files;
  FFound = 0;
  for (std::string& relative : MatchFilesByMask(*FFilesBelow, Mask)) {
    struct stat st {};
    if (archiveExists && ::stat((FBaseFolder + relative).c_str(), &st) == 0 && st.st_dev == archive.st_dev &&
        st.st_ino == archive.st_ino)
      continue;
    ++FFound;
    // Two ticked names can match one file (a name and a mask); an archive
    // holds it once.
    if (!FTaken.insert(relative).second) continue;
    std::string stored = relative;
    if (!PreservePath) {
      stored = BareNativeName(relative);
      if (FFlatNames.count(LowerAscii(stored))) continue;
    }
    if (IsUnsafeEntryName(stored) || stored.size() > FMaxStoredName) {
      FRefused.push_back(std::move(relative));
      continue;
    }
    if (!PreservePath) FFlatNames.insert(LowerAscii(stored));
    files.emplace_back(std::move(relative), std::move(stored));
  }
  return files;
}

namespace {
class TZipArchiveWriter : public TArchiveWriter {
 public:
  void Open(const std::string& BaseFolder, const std::string& FileName, const std::string& Comment) override {
    SetBaseFolder(BaseFolder);
    FArchiveName = FileName;
    FZip.Open(FileName);
    FZip.SetComment(Comment);
  }
  size_t AddFiles(const std::string& Mask) override {
    for (const auto& [relative, stored] : FilesFor(Mask)) {
      if (!FZip.AddFile(FBaseFolder + relative, stored))
        ++FUnchanged;
      else if (OnProcessItem)
        OnProcessItem(stored);
    }
    return FFound;
  }
  void Close() override {
    FZip.SetProgress(OnItemProgress);
    FZip.Close();
  }

 private:
  TZipWriter FZip;
};
}  // namespace

std::unique_ptr<TArchiveWriter> CreateZipArchiveWriter() { return std::make_unique<TZipArchiveWriter>(); }
