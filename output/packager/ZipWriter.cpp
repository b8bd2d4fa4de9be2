#include "ZipWriter.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CodePage.h"
#include "MorvoError.h"
#include "WholeFile.h"

namespace {
std::string ZipErrorText(int Code) {
  zip_error_t error;
  zip_error_init_with_code(&error, Code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

void ReportProgress(zip_t*, double Progress, void* Data) {
  auto* progress = static_cast<std::function<void(int)>*>(Data);
  if (progress && *progress) (*progress)(static_cast<int>(Progress * 100.0 + 0.5));
}

// An empty zip file is its end record alone (with the comment). libzip
// removes an archive that has no entries instead of writing one.
void WriteEmptyZip(const std::string& FileName, const std::string& Target, const std::string& Comment) {
  std::string bytes = std::string("PK\x05\x06", 4) + std::string(16, '\0');
  const size_t length = std::min<size_t>(Comment.size(), 0xFFFF);
  bytes += static_cast<char>(length & 0xFF);
  bytes += static_cast<char>(length >> 8);
  bytes += Comment.substr(0, length);
  std::string reason;
  if (!WriteFileAtomically(Target, bytes, reason))
    throw EMorvoError("Cannot write file \"" + FileName + "\". " + reason);
}

bool IsSmallLetterOrDigit(char C) { return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9'); }

// libzip writes "<archive>.XXXXXX" (small letters and digits) beside the
// archive and renames it when done; a killed run leaves it behind. Only
// such a name holding a zip in the making counts: nothing yet, or entries
// without the end record a finished archive has, so a user's own finished
// copy ("X.zip.backup") is never taken for one.
bool IsLibzipTemporaryOf(const std::string& Target, const std::string& Name) {
  const size_t slash = Target.rfind('/');
  const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
  if (Name.size() != base.size() + 7 || Name.compare(0, base.size(), base) != 0 || Name[base.size()] != '.')
    return false;
  if (!std::all_of(Name.begin() + static_cast<std::ptrdiff_t>(base.size()) + 1, Name.end(), IsSmallLetterOrDigit))
    return false;
  std::string bytes;
  if (!ReadRegularFile((slash == std::string::npos ? std::string() : Target.substr(0, slash + 1)) + Name, bytes))
    return false;
  if (bytes.empty()) return true;
  // The end record and its comment sit in the last 64 KiB and 22 bytes.
  const size_t tail = bytes.size() > 65557 ? bytes.size() - 65557 : 0;
  return bytes.compare(0, 4, "PK\x03\x04") == 0 && bytes.find("PK\x05\x06", tail) == std::string::npos;
}
}  // namespace

TZipWriter::~TZipWriter() { Discard(); }

void TZipWriter::Open(const std::string& FileName) {
  Discard();
  // libzip renames its new archive over the name it opened: opened through a
  // link, it would replace the link. It gets the file the link leads to, by
  // the rules every whole-file writer follows.
  TWriteTarget target;
  std::string reason;
  if (!ResolveWriteTarget(FileName, target, reason))
    throw EMorvoError("Cannot write file \"" + FileName + "\". " + reason);
  RemoveLeftoverTemporaries(target.Path, kLeftoverAge, IsLibzipTemporaryOf);
  int code = 0;
  // An empty file holds nothing to keep: it becomes a new archive.
  const bool empty = target.Exists && target.Stat.st_size == 0;
  FArchive = zip_open(target.Path.c_str(), ZIP_CREATE | (empty ? ZIP_TRUNCATE : 0), &code);
  if (!FArchive) throw EMorvoError("Cannot open archive \"" + FileName + "\". " + ZipErrorText(code));
  FFileName = FileName;
  FTarget = target.Path;
  const char* comment = zip_get_archive_comment(FArchive, nullptr, ZIP_FL_ENC_RAW);
  FComment = comment ? comment : "";
}

void TZipWriter::SetComment(const std::string& Comment) {
  FComment = Comment.substr(0, 0xFFFF);
  if (FArchive) zip_set_archive_comment(FArchive, FComment.data(), static_cast<zip_uint16_t>(FComment.size()));
}

bool TZipWriter::AddFile(const std::string& DiskPath, const std::string& EntryName) {
  if (!FArchive) throw EMorvoError("No archive is open");
  struct stat st {};
  if (::stat(DiskPath.c_str(), &st) != 0 || ::access(DiskPath.c_str(), R_OK) != 0)
    throw EMorvoError("Cannot open file \"" + DiskPath + "\". " + std::strerror(errno));

  const zip_int64_t existing = zip_name_locate(FArchive, EntryName.c_str(), ZIP_FL_ENC_RAW);
  if (existing >= 0) {
    zip_stat_t entry;
    zip_stat_init(&entry);
    if (zip_stat_index(FArchive, static_cast<zip_uint64_t>(existing), 0, &entry) == 0 &&
        (entry.valid & ZIP_STAT_SIZE) && (entry.valid & ZIP_STAT_MTIME) &&
        entry.size == static_cast<zip_uint64_t>(st.st_size)) {
      // The zip format keeps times to two seconds, rounded down.
      const long long delta = static_cast<long long>(st.st_mtime) - static_cast<long long>(entry.mtime);
      if (delta >= 0 && delta < 2) return false;
    }
  }

  zip_source_t* source = zip_source_file(FArchive, DiskPath.c_str(), 0, -1);
  if (!source) throw EMorvoError("Cannot open file \"" + DiskPath + "\". " + zip_strerror(FArchive));
  // A name that is no UTF-8 is stored as its bytes, without the UTF-8 mark.
  const zip_flags_t encoding = IsValidUtf8(EntryName) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW;
  const zip_int64_t index = zip_file_add(FArchive, EntryName.c_str(), source, ZIP_FL_OVERWRITE | encoding);
  if (index < 0) {
    zip_source_free(source);
    throw EMorvoError("Cannot add \"" + EntryName + "\" to the archive. " + zip_strerror(FArchive));
  }
  const auto i = static_cast<zip_uint64_t>(index);
  zip_set_file_compression(FArchive, i, ZIP_CM_DEFLATE, 9);
  zip_file_set_mtime(FArchive, i, st.st_mtime, 0);
  // Unix permissions in the upper half, as zip tools on this system expect.
  zip_file_set_external_attributes(FArchive, i, 0, ZIP_OPSYS_UNIX,
                                   static_cast<zip_uint32_t>(st.st_mode & 0xFFFF) << 16);
  return true;
}

void TZipWriter::SetProgress(std::function<void(int)> Progress) { FProgress = std::move(Progress); }

int TZipWriter::EntryCount() const { return FArchive ? static_cast<int>(zip_get_num_entries(FArchive, 0)) : 0; }

void TZipWriter::Close() {
  if (!FArchive) return;
  zip_set_archive_comment(FArchive, FComment.data(), static_cast<zip_uint16_t>(FComment.size()));
  if (zip_get_num_entries(FArchive, 0) == 0) {
    Discard();
    WriteEmptyZip(FFileName, FTarget, FComment);
    return;
  }
  zip_register_progress_callback_with_state(FArchive, 0.01, ReportProgress, nullptr, &FProgress);
  if (zip_close(FArchive) != 0) {
    const std::string reason = zip_strerror(FArchive);
    Discard();
    throw EMorvoError("Cannot write file \"" + FFileName + "\". " + reason);
  }
  FArchive = nullptr;
}

void TZipWriter::Discard() {
  if (FArchive) zip_discard(FArchive);
  FArchive = nullptr;
}
