#include "WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

const char* const kNotRegular = "Not a regular file";

std::string FolderOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : Path.substr(0, slash);
}

bool Fail(std::string& Reason, int Err) {
  Reason = std::strerror(Err);
  return false;
}

bool WriteAll(int Fd, std::string_view Data) {
  while (!Data.empty()) {
    const ssize_t n = ::write(Fd, Data.data(), Data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    Data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A new file beside Target, created exclusively with Mode (less the umask).
int CreateTemporary(const std::string& Target, mode_t Mode, std::string& Name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    Name = Target + ".tmp-";
    for (int i = 0; i < 6; ++i) Name += kLetters[pick(random)];
    const int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason, mode_t NewFileMode) {
  std::string target = Path;
  struct stat st {};
  if (::lstat(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(Path.c_str(), resolved)) target = resolved;
  }
  const bool replacing = ::stat(target.c_str(), &st) == 0;
  if (replacing) {
    if (!S_ISREG(st.st_mode)) {
      Reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : kNotRegular;
      return false;
    }
    if (::access(target.c_str(), W_OK) != 0) return Fail(Reason, errno);
  } else if (errno != ENOENT) {
    return Fail(Reason, errno);
  }

  std::string temp;
  const int fd = CreateTemporary(target, NewFileMode, temp);
  if (fd < 0) return Fail(Reason, errno);
  // Every step is checked before the next: a full disk may show only when
  // the data is synced, and then the old file must stay.
  bool ok = (!replacing || ::fchmod(fd, st.st_mode & 07777) == 0) && WriteAll(fd, Bytes) && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return Fail(Reason, err);
  }
  // The new name reaches the disk too; a folder that cannot be synced has
  // still taken the file.
  const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
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
  // something, opening a pipe waits for a writer.
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return failed();
  if (!S_ISREG(st.st_mode)) return refuse(st);
  // Without waiting, should the name have become a pipe in the meantime.
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) Bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int err = errno;
      ::close(fd);
      Bytes.clear();
      if (Reason) *Reason = std::strerror(err);
      errno = err;
      return false;
    }
    if (got == 0) break;
    Bytes.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return true;
}
