#pragma once
// Files that the program writes whole (exports, archives, the settings
// store, desktop files) and the files it reads whole. Both go through here so
// that a failed write never replaces a file, every writer follows the same
// rules at its target, and no read waits on a pipe or a device.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

// The system calls the write and read paths make. Tests swap in calls that
// fail where a real system fails only rarely (a sync, a close, a read).
struct TFileOps {
  int (*Open)(const char* Path, int Flags, mode_t Mode);
  ssize_t (*Read)(int Fd, void* Buffer, size_t Count);
  ssize_t (*Write)(int Fd, const void* Buffer, size_t Count);
  int (*Fsync)(int Fd);
  int (*Close)(int Fd);
  int (*Rename)(const char* From, const char* To);
  int (*Link)(const char* From, const char* To);
};
TFileOps& FileOps();
// The system's own calls.
TFileOps SystemFileOps();

// Where a write to Path lands. A symbolic link is followed to the file it
// leads to, unless the kernel's protected-links rule would refuse to follow
// it (a link in a sticky, world-writable folder owned neither by the
// folder's owner nor by the user). Something there that is no regular file
// (a folder, pipe, socket or device) is refused, and so is a file that is
// read-only by its mode bits (for root too: root passes every access check,
// but a file someone made read-only is not to be replaced).
struct TWriteTarget {
  std::string Path;  // links resolved
  bool Exists = false;
  struct stat Stat {};
};
bool ResolveWriteTarget(const std::string& Path, TWriteTarget& Target, std::string& Reason);

// A temporary file in the folder of a target that Commit makes the target's
// new content: synced, given the replaced file's mode (and, where allowed,
// its owner; a new file gets NewFileMode less the umask), renamed over the
// target, and the folder synced. Until Commit succeeds the target is as it
// was, byte for byte; Abandon, or dropping the object without Commit, removes
// the temporary. Path() is for a writer that writes the file itself by name
// (a library that writes and renames files of its own): whatever file is
// found under Path() at Commit is the one committed. The target is refused
// as ResolveWriteTarget refuses it.
//
// A temporary's name tells the target by a hash of its name, and the process
// and boot that made it; the maker holds a lock on it while it writes. Open
// removes the temporaries in the target's folder whose makers have ended (a
// killed run, a power cut), whatever their age, and with them the files a
// library made under a temporary's name followed by a dot and letters of its
// own; a living writer's temporary is never touched. Names have a fixed short
// length, so a target name as long as the file system allows can be written.
class TWholeFileTemporary {
 public:
  TWholeFileTemporary() = default;
  ~TWholeFileTemporary() { Abandon(); }
  TWholeFileTemporary(const TWholeFileTemporary&) = delete;
  TWholeFileTemporary& operator=(const TWholeFileTemporary&) = delete;

  bool Open(const std::string& Path, mode_t NewFileMode = 0666);
  // The temporary file, empty when none is open.
  const std::string& Path() const { return FTemp; }
  // The file the temporary replaces (links resolved).
  const TWriteTarget& Target() const { return FTarget; }
  bool Commit();
  void Abandon();
  // The system's reason of the first failure.
  const std::string& Reason() const { return FReason; }

 private:
  friend class TWholeFileWriter;
  bool Fail(int Err);

  TWriteTarget FTarget;
  std::string FTemp;
  int FFd = -1;  // open on the temporary from its creation; holds the lock
  mode_t FMode = 0;
  std::string FReason;
};

// Writes the whole new content of a file, taken in pieces of any size,
// through a TWholeFileTemporary: the pieces are gathered into a buffer and
// written out block by block, each step checked; nothing reaches the target
// before Commit.
class TWholeFileWriter {
 public:
  TWholeFileWriter() = default;
  ~TWholeFileWriter() { Abandon(); }
  TWholeFileWriter(const TWholeFileWriter&) = delete;
  TWholeFileWriter& operator=(const TWholeFileWriter&) = delete;

  bool Open(const std::string& Path, mode_t NewFileMode = 0666);
  bool Write(std::string_view Bytes);
  bool Commit();
  void Abandon();
  // The system's reason of the first failure.
  const std::string& Reason() const { return FTemporary.Reason(); }

 private:
  bool Fail(int Err);
  bool Flush();
  // Writes Bytes out: what it can past the page cache, the rest through it.
  bool WriteOut(std::string_view Bytes);
  // Writes what it can of Bytes past the page cache and drops it from Bytes;
  // false (the writer failed) only on a write error.
  bool WriteDirect(std::string_view& Bytes);

  TWholeFileTemporary FTemporary;
  std::unique_ptr<char, void (*)(char*)> FBuffer{nullptr, [](char* P) { std::free(P); }};
  size_t FBuffered = 0;
  uint64_t FWritten = 0;
};

// What the user is told of a file that could not be written.
std::string CannotWriteFile(const std::string& Path, const std::string& Reason);

// Writes Bytes as the whole new content of Path through TWholeFileWriter.
// Returns false with the system's reason in Reason.
bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason,
                         mode_t NewFileMode = 0666);

inline constexpr time_t kLeftoverAge = 24 * 60 * 60;

// Opens Path for reading and writing, created with NewFileMode (less the
// umask) when missing, for a file that is kept and used in place (a lock
// file): links are followed and refused as ResolveWriteTarget does, and
// nothing but a regular file is opened. Returns the descriptor, or -1 with
// errno and the reason in Reason.
int OpenFileInPlace(const std::string& Path, mode_t NewFileMode, std::string& Reason);

// Opens Path (links followed) for reading when it is a regular file. A pipe,
// socket, device or folder is refused at once, before anything could wait on
// its open or read from it without end. Returns the descriptor, or -1 with
// errno kept from the system (ENOENT for a missing file) and the reason in
// *Reason when given.
int OpenRegularFileForReading(const std::string& Path, std::string* Reason = nullptr);

// Reads the whole of Path, opened as OpenRegularFileForReading does, into
// Bytes. Sizes are not trusted: the bytes are read until the end. Returns
// false with errno kept from the system and the reason in *Reason when the
// file cannot be opened or a read fails; Bytes is then empty.
bool ReadRegularFile(const std::string& Path, std::string& Bytes, std::string* Reason = nullptr);
