#include "WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>

namespace {

const char* const kNotRegular = "Not a regular file";
// A temporary is named ".wf-TTTTTTTT-PPPPPPPP-BBBBBBBB-RRRRRR": a hash of the
// target's name, the maker's process id, a hash of the maker's boot id (in
// hexadecimal), and random letters.
constexpr std::string_view kTempPrefix = ".wf-";
constexpr size_t kHexDigits = 8;
constexpr size_t kRandomLetters = 6;
constexpr size_t kTempNameLength = kTempPrefix.size() + 3 * (kHexDigits + 1) + kRandomLetters;
// The names of earlier versions, ".wf-TTTTTTTT-RRRRRR", say nothing of their
// maker: they go when they are a day old.
constexpr size_t kUntoldTempNameLength = kTempPrefix.size() + kHexDigits + 1 + kRandomLetters;
constexpr size_t kWriteBuffer = size_t{1} << 20;
constexpr size_t kBlock = 4096;

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

uint32_t HashOf(std::string_view Bytes) {
  uint32_t h = 2166136261u;
  for (const char c : Bytes) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

std::string Hex(uint32_t Value) {
  static const char kHex[] = "0123456789abcdef";
  std::string out(kHexDigits, '0');
  for (size_t i = 0; i < kHexDigits; ++i) out[i] = kHex[(Value >> (28 - 4 * i)) & 0xF];
  return out;
}

bool IsHex(std::string_view Text) {
  for (const char c : Text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool IsAlnum(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'); }

// The kernel's id of this boot: a process of an earlier boot has ended,
// whatever process now has its id.
const std::string& ThisBoot() {
  static const std::string boot = [] {
    char id[64] = {};
    ssize_t got = -1;
    const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      got = ::read(fd, id, sizeof id);
      ::close(fd);
    }
    return Hex(got > 0 ? HashOf(std::string_view(id, static_cast<size_t>(got))) : 0);
  }();
  return boot;
}

// What a temporary's name tells of it, or the name of a file that a writer
// by name made beside it (a library's own temporary: the name, a dot, more).
struct TTempName {
  std::string_view TargetHash;
  pid_t Maker = 0;  // 0 in the names of earlier versions
  std::string_view Boot;
};

bool ParseTemporaryName(std::string_view Name, TTempName& Parsed) {
  const size_t told = kTempNameLength, untold = kUntoldTempNameLength;
  if (Name.size() > told + 1 && Name[told] == '.') Name = Name.substr(0, told);
  if ((Name.size() != told && Name.size() != untold) || Name.substr(0, kTempPrefix.size()) != kTempPrefix) return false;
  std::string_view rest = Name.substr(kTempPrefix.size());
  // Fields of hexadecimal digits, each followed by a dash.
  auto field = [&rest](std::string_view& Value) {
    Value = rest.substr(0, kHexDigits);
    if (!IsHex(Value) || rest[kHexDigits] != '-') return false;
    rest.remove_prefix(kHexDigits + 1);
    return true;
  };
  std::string_view maker;
  if (!field(Parsed.TargetHash) || (Name.size() == told && !(field(maker) && field(Parsed.Boot)))) return false;
  for (const char c : rest)
    if (!IsAlnum(c)) return false;
  uint32_t id = 0;
  for (const char c : maker) id = id * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  Parsed.Maker = id <= INT_MAX ? static_cast<pid_t>(id) : 0;
  return Name.size() == untold || Parsed.Maker > 0;
}

// A maker has ended when its boot has, or its process is gone and nothing
// holds the lock it took (a maker in another process-id namespace is out of
// sight but holds its lock).
bool MakerHasEnded(const std::string& Path, const TTempName& Name) {
  if (Name.Boot == ThisBoot() && (::kill(Name.Maker, 0) == 0 || errno == EPERM)) return false;
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno != ENOENT;
  const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return !locked;
}

// Removes the regular files of the user in Folder that Ended picks.
void RemoveFilesOf(
    const std::string& Folder,
    const std::function<bool(const std::string& Name, const std::string& Path, const struct stat&)>& Ended) {
  DIR* dir = ::opendir(Folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const std::string path = InFolder(Folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (Ended(name, path, st)) ::unlink(path.c_str());
  }
  ::closedir(dir);
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

// The temporaries in the folder of Target whose makers have ended.
void RemoveEndedWritersTemporaries(const std::string& Target) {
  const time_t now = std::time(nullptr);
  RemoveFilesOf(FolderOf(Target), [now](const std::string& Name, const std::string& Path, const struct stat& St) {
    TTempName parsed;
    if (!ParseTemporaryName(Name, parsed)) return false;
    return parsed.Maker ? MakerHasEnded(Path, parsed) : now - St.st_mtime > kLeftoverAge;
  });
}

// A new file in the folder of Target, created exclusively with Mode (less
// the umask) and locked by its maker.
int CreateTemporary(const std::string& Target, mode_t Mode, std::string& Name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  const std::string stem =
      InFolder(FolderOf(Target), std::string(kTempPrefix) + Hex(HashOf(NameOf(Target))) + "-" +
                                     Hex(static_cast<uint32_t>(::getpid())) + "-" + ThisBoot() + "-");
  for (int attempt = 0; attempt < 100; ++attempt) {
    Name = stem;
    for (size_t i = 0; i < kRandomLetters; ++i) Name += kLetters[pick(random)];
    const int fd = FileOps().Open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
    if (fd >= 0) {
      // Where the file system has no locks, the process id alone tells.
      ::flock(fd, LOCK_EX);
      return fd;
    }
    if (errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

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

bool TWholeFileTemporary::Fail(int Err) {
  if (FReason.empty()) FReason = std::strerror(Err);
  Abandon();
  errno = Err;
  return false;
}

bool TWholeFileTemporary::Open(const std::string& Path, mode_t NewFileMode) {
  Abandon();
  FReason.clear();
  if (!ResolveWriteTarget(Path, FTarget, FReason)) return false;
  RemoveEndedWritersTemporaries(FTarget.Path);
  FFd = CreateTemporary(FTarget.Path, NewFileMode, FTemp);
  if (FFd < 0) {
    FTemp.clear();
    return Fail(errno);
  }
  struct stat st {};
  if (::fstat(FFd, &st) != 0) return Fail(errno);
  FMode = st.st_mode & 07777;
  if (FTarget.Exists) {
    // Owner first: a change of owner clears the set-id bits the mode then sets.
    if (::fchown(FFd, FTarget.Stat.st_uid, FTarget.Stat.st_gid) != 0) {
      // Only root may give a file away; the user's own file keeps its owner anyway.
    }
    FMode = FTarget.Stat.st_mode & 07777;
    if (::fchmod(FFd, FMode) != 0) return Fail(errno);
  }
  return true;
}

bool TWholeFileTemporary::Commit() {
  if (FFd < 0) return Fail(EBADF);
  // A writer that wrote by name may have put a file of its own there.
  struct stat named {
  }, held{};
  if (::lstat(FTemp.c_str(), &named) != 0 || ::fstat(FFd, &held) != 0) return Fail(errno);
  if (!S_ISREG(named.st_mode)) {
    FReason = kNotRegular;
    return Fail(EINVAL);
  }
  if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
    const int fd = FileOps().Open(FTemp.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0) return Fail(errno);
    ::close(FFd);
    FFd = fd;
    if (FTarget.Exists && ::fchown(FFd, FTarget.Stat.st_uid, FTarget.Stat.st_gid) != 0) {
      // As on Open.
    }
    if (::fchmod(FFd, FMode) != 0) return Fail(errno);
  }
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

void TWholeFileTemporary::Abandon() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  if (!FTemp.empty()) ::unlink(FTemp.c_str());
  FTemp.clear();
}

bool TWholeFileWriter::Fail(int Err) {
  FBuffered = 0;
  return FTemporary.Fail(Err);
}

bool TWholeFileWriter::Open(const std::string& Path, mode_t NewFileMode) {
  FBuffered = 0;
  FWritten = 0;
  return FTemporary.Open(Path, NewFileMode);
}

bool TWholeFileWriter::Write(std::string_view Bytes) {
  if (FTemporary.FFd < 0) return Fail(EBADF);
  if (FBuffered > 0 || Bytes.size() < kWriteBuffer) {
    if (!FBuffer) {
      FBuffer.reset(static_cast<char*>(std::aligned_alloc(kBlock, kWriteBuffer)));
      if (!FBuffer) return Fail(ENOMEM);
    }
    const size_t taken = std::min(Bytes.size(), kWriteBuffer - FBuffered);
    std::memcpy(FBuffer.get() + FBuffered, Bytes.data(), taken);
    FBuffered += taken;
    Bytes.remove_prefix(taken);
    if (FBuffered < kWriteBuffer) return true;
    if (!Flush()) return false;
    if (Bytes.size() < kWriteBuffer) return Write(Bytes);
  }
  // A large piece goes out from the caller's pages, not copied.
  return WriteOut(Bytes);
}

bool TWholeFileWriter::Flush() {
  const size_t count = FBuffered;
  FBuffered = 0;
  return WriteOut(std::string_view(FBuffer.get(), count));
}

bool TWholeFileWriter::WriteOut(std::string_view Bytes) {
  if (!WriteDirect(Bytes)) return false;
  while (!Bytes.empty()) {
    const ssize_t n = FileOps().Write(FTemporary.FFd, Bytes.data(), Bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : EIO);
    Bytes.remove_prefix(static_cast<size_t>(n));
    FWritten += static_cast<uint64_t>(n);
  }
  return true;
}

// A large file goes to the disk straight from memory, block by whole block:
// it is synced before it replaces the target anyway, and the copy through the
// page cache cost more than the disk itself (hundreds of megabytes of fresh
// cache pages). Only page-aligned bytes at a block-aligned offset go this
// way, once the file has grown large; the odd tail, small files and file
// systems that refuse direct writes take the ordinary path.
bool TWholeFileWriter::WriteDirect(std::string_view& Bytes) {
  constexpr uint64_t kLeast = uint64_t{8} << 20;
  const int fd = FTemporary.FFd;
  if (FWritten + Bytes.size() < kLeast || Bytes.size() < kBlock ||
      reinterpret_cast<uintptr_t>(Bytes.data()) % kBlock != 0 || FWritten % kBlock != 0)
    return true;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) return true;
  bool ok = true;
  while (Bytes.size() >= kBlock) {
    const size_t whole = Bytes.size() - Bytes.size() % kBlock;
    const ssize_t n = FileOps().Write(fd, Bytes.data(), whole);
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
  if (ok && ::fcntl(fd, F_SETFL, flags) != 0) return Fail(errno);
  return ok;
}

bool TWholeFileWriter::Commit() {
  if (FTemporary.FFd < 0) return Fail(EBADF);
  return Flush() && FTemporary.Commit();
}

void TWholeFileWriter::Abandon() {
  FBuffered = 0;
  FTemporary.Abandon();
}

std::string CannotWriteFile(const std::string& Path, const std::string& Reason) {
  return "Cannot write file \"" + Path + "\". " + Reason;
}

bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason, mode_t NewFileMode) {
  TWholeFileWriter writer;
  const bool ok = writer.Open(Path, NewFileMode) && writer.Write(Bytes) && writer.Commit();
  if (!ok) Reason = writer.Reason();
  return ok;
}

int OpenFileInPlace(const std::string& Path, mode_t NewFileMode, std::string& Reason) {
  TWriteTarget target;
  if (!ResolveWriteTarget(Path, target, Reason)) return -1;
  // Not waiting on, nor following, what the name may have become since.
  const int fd = ::open(target.Path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, NewFileMode);
  struct stat st {};
  const int err = fd < 0 || ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (err == 0) return fd;
  if (fd >= 0) ::close(fd);
  Refuse(Reason, err);
  if (err == EINVAL) Reason = kNotRegular;
  return -1;
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
