#include "WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

namespace {

const char* const kNotRegular = "Not a regular file";
const char* const kTempPrefix = ".wf-";
constexpr size_t kHashDigits = 8;
constexpr size_t kRandomLetters = 6;

int SystemOpen(const char* Path, int Flags, mode_t Mode) { return ::open(Path, Flags, Mode); }

std::string FolderOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string NameOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string InFolder(const std::string& Folder, const std::string& Name) {
  return Folder == "/" ? "/" + Name : Folder + "/" + Name;
}

// Names the target in its temporaries without their length growing with it.
std::string HashOfName(const std::string& Name) {
  uint32_t h = 2166136261u;
  for (const char c : Name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  static const char kHex[] = "0123456789abcdef";
  std::string out(kHashDigits, '0');
  for (size_t i = 0; i < kHashDigits; ++i) out[i] = kHex[(h >> (28 - 4 * i)) & 0xF];
  return out;
}

bool Refuse(std::string& Reason, int Err) {
  Reason = std::strerror(Err);
  errno = Err;
  return false;
}

// The kernel's protected-links rule: a link in a sticky folder that anyone
// may write to is followed only by its owner or when the folder's owner made it.
bool ProtectedLink(const struct stat& Link, const std::string& Folder) {
  struct stat dir {};
  if (::stat(Folder.c_str(), &dir) != 0) return false;
  const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
  return shared && Link.st_uid != dir.st_uid && Link.st_uid != ::geteuid();
}

// Root passes every access check; the mode bits still say whether someone
// meant the file to stay as it is. 0 when it may be replaced, else the reason.
int WhyReadOnly(const std::string& Path, const struct stat& St) {
  if (::geteuid() == 0) return (St.st_mode & 0222) == 0 ? EACCES : 0;
  return ::faccessat(AT_FDCWD, Path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// A new file in Folder, created exclusively with Mode (less the umask).
int CreateTemporary(const std::string& Target, mode_t Mode, std::string& Name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  const std::string stem = InFolder(FolderOf(Target), kTempPrefix + HashOfName(NameOf(Target)) + "-");
  for (int attempt = 0; attempt < 100; ++attempt) {
    Name = stem;
    for (size_t i = 0; i < kRandomLetters; ++i) Name += kLetters[pick(random)];
    const int fd = FileOps().Open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool IsAlnum(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'); }

}  // namespace

TFileOps SystemFileOps() { return TFileOps{SystemOpen, ::read, ::write, ::fsync, ::close, ::rename, ::link}; }

TFileOps& FileOps() {
  static TFileOps ops = SystemFileOps();
  return ops;
}

bool ResolveWriteTarget(const std::string& Path, TWriteTarget& Target, std::string& Reason) {
  Target = TWriteTarget{};
  std::string path = Path;
  for (int hops = 0;; ++hops) {
    if (hops > 40) return Refuse(Reason, ELOOP);
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) {
      if (errno != ENOENT) return Refuse(Reason, errno);
      Target.Path = path;
      return true;
    }
    if (!S_ISLNK(link.st_mode)) break;
    const std::string folder = FolderOf(path);
    if (ProtectedLink(link, folder)) return Refuse(Reason, EACCES);
    std::string to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
    if (n < 0) return Refuse(Reason, errno);
    to.resize(static_cast<size_t>(n));
    path = !to.empty() && to[0] == '/' ? to : InFolder(folder, to);
  }
  Target.Path = path;
  if (::stat(path.c_str(), &Target.Stat) != 0) return Refuse(Reason, errno);
  Target.Exists = true;
  if (S_ISDIR(Target.Stat.st_mode)) return Refuse(Reason, EISDIR);
  if (!S_ISREG(Target.Stat.st_mode)) {
    Reason = kNotRegular;
    errno = EINVAL;
    return false;
  }
  if (const int err = WhyReadOnly(path, Target.Stat)) return Refuse(Reason, err);
  return true;
}

bool IsWriterTemporaryOf(const std::string& Target, const std::string& Name) {
  const std::string stem = kTempPrefix + HashOfName(NameOf(Target)) + "-";
  if (Name.size() != stem.size() + kRandomLetters || Name.compare(0, stem.size(), stem) != 0) return false;
  for (size_t i = stem.size(); i < Name.size(); ++i)
    if (!IsAlnum(Name[i])) return false;
  return true;
}

void RemoveLeftoverTemporaries(const std::string& Target, time_t MaxAgeSeconds,
                               bool (*IsOwnTemporary)(const std::string& Target, const std::string& Name)) {
  const std::string folder = FolderOf(Target);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsOwnTemporary(Target, name)) continue;
    const std::string path = InFolder(folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (now - st.st_mtime > MaxAgeSeconds) ::unlink(path.c_str());
  }
  ::closedir(dir);
}

bool TWholeFileWriter::Fail(int Err) {
  if (FReason.empty()) FReason = std::strerror(Err);
  Abandon();
  errno = Err;
  return false;
}

bool TWholeFileWriter::Open(const std::string& Path, mode_t NewFileMode) {
  Abandon();
  FReason.clear();
  if (!ResolveWriteTarget(Path, FTarget, FReason)) return false;
  RemoveLeftoverTemporaries(FTarget.Path, kLeftoverAge, IsWriterTemporaryOf);
  FWritten = 0;
  FFd = CreateTemporary(FTarget.Path, NewFileMode, FTemp);
  if (FFd < 0) {
    FTemp.clear();
    return Fail(errno);
  }
  if (FTarget.Exists) {
    // Owner first: a change of owner clears the set-id bits the mode then sets.
    if (::fchown(FFd, FTarget.Stat.st_uid, FTarget.Stat.st_gid) != 0) {
      // Only root may give a file away; the user's own file keeps its owner anyway.
    }
    if (::fchmod(FFd, FTarget.Stat.st_mode & 07777) != 0) return Fail(errno);
  }
  return true;
}

bool TWholeFileWriter::Write(std::string_view Bytes) {
  if (FFd < 0) return Fail(EBADF);
  if (!WriteDirect(Bytes)) return false;
  while (!Bytes.empty()) {
    const ssize_t n = FileOps().Write(FFd, Bytes.data(), Bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : EIO);
    Bytes.remove_prefix(static_cast<size_t>(n));
    FWritten += static_cast<uint64_t>(n);
  }
  return true;
}

// A large file goes to the disk straight from the caller's pages, block by
// whole block: it is synced before it replaces the target anyway, and the
// copy through the page cache cost more than the disk itself (hundreds of
// megabytes of fresh cache pages). Only page-aligned bytes at a block-aligned
// offset go this way; the odd tail, small files and file systems that refuse
// direct writes take the ordinary path.
bool TWholeFileWriter::WriteDirect(std::string_view& Bytes) {
  constexpr size_t kBlock = 4096;
  constexpr size_t kLeast = size_t{8} << 20;
  if (Bytes.size() < kLeast || reinterpret_cast<uintptr_t>(Bytes.data()) % kBlock != 0 || FWritten % kBlock != 0)
    return true;
  const int flags = ::fcntl(FFd, F_GETFL);
  if (flags < 0 || ::fcntl(FFd, F_SETFL, flags | O_DIRECT) != 0) return true;
  bool ok = true;
  while (Bytes.size() >= kBlock) {
    const size_t whole = Bytes.size() - Bytes.size() % kBlock;
    const ssize_t n = FileOps().Write(FFd, Bytes.data(), whole);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EINVAL) break;  // not for this file system: the ordinary path writes it
    if (n <= 0) {
      ok = Fail(n < 0 ? errno : EIO);
      break;
    }
    Bytes.remove_prefix(static_cast<size_t>(n));
    FWritten += static_cast<uint64_t>(n);
    if (FWritten % kBlock != 0) break;
  }
  if (ok && ::fcntl(FFd, F_SETFL, flags) != 0) return Fail(errno);
  return ok;
}

bool TWholeFileWriter::Commit() {
  if (FFd < 0) return Fail(EBADF);
  // A full disk may show only when the data is synced, and then the old
  // file must stay.
  if (FileOps().Fsync(FFd) != 0) return Fail(errno);
  const int fd = FFd;
  FFd = -1;
  if (FileOps().Close(fd) != 0) return Fail(errno);
  if (FileOps().Rename(FTemp.c_str(), FTarget.Path.c_str()) != 0) return Fail(errno);
  FTemp.clear();
  // The new name reaches the disk too; a folder that cannot be synced has
  // still taken the file.
  const int dir = FileOps().Open(FolderOf(FTarget.Path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (dir >= 0) {
    FileOps().Fsync(dir);
    FileOps().Close(dir);
  }
  return true;
}

void TWholeFileWriter::Abandon() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  if (!FTemp.empty()) ::unlink(FTemp.c_str());
  FTemp.clear();
}

bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason, mode_t NewFileMode) {
  TWholeFileWriter writer;
  const bool ok = writer.Open(Path, NewFileMode) && writer.Write(Bytes) && writer.Commit();
  if (!ok) Reason = writer.Reason();
  return ok;
}

int OpenRegularFileForReading(const std::string& Path, std::string* Reason) {
  auto refuse = [Reason](const struct stat& St) {
    if (Reason) *Reason = S_ISDIR(St.st_mode) ? std::strerror(EISDIR) : kNotRegular;
    errno = S_ISDIR(St.st_mode) ? EISDIR : EINVAL;
    return -1;
  };
  auto failed = [Reason]() {
    if (Reason) *Reason = std::strerror(errno);
    return -1;
  };
  // The type is looked at before the open: opening a device may already do
  // something, opening a pipe releases a writer waiting on it.
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return failed();
  if (!S_ISREG(st.st_mode)) return refuse(st);
  // Without waiting, should the name have become a pipe in the meantime.
  const int fd = FileOps().Open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return failed();
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = errno;
    ::close(fd);
    if (!S_ISREG(st.st_mode)) return refuse(st);
    errno = err;
    return failed();
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ReadRegularFile(const std::string& Path, std::string& Bytes, std::string* Reason) {
  Bytes.clear();
  const int fd = OpenRegularFileForReading(Path, Reason);
  if (fd < 0) return false;
  // Closed however the read ends, running out of memory included; the
  // read's errno is what the caller sees.
  const std::unique_ptr<const int, void (*)(const int*)> closer(&fd, [](const int* f) {
    const int err = errno;
    ::close(*f);
    errno = err;
  });
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) Bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = FileOps().Read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int err = errno;
      Bytes.clear();
      if (Reason) *Reason = std::strerror(err);
      errno = err;
      return false;
    }
    if (got == 0) break;
    Bytes.append(chunk, static_cast<size_t>(got));
  }
  return true;
}
