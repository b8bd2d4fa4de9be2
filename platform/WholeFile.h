#pragma once
// Files that the program writes whole (exports, archives, the settings
// store, desktop files) and the files it reads whole. Both go through here so
// that a failed write never replaces a file, every writer follows the same
// rules at its target, and no read waits on a pipe or a device.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
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

// Writes the whole new content of a file through a temporary file in the
// target's folder: written, synced and closed, each step checked, and only
// then renamed over the target, whose folder is synced too. Until Commit
// succeeds the target is as it was, byte for byte; a writer dropped without
// Commit removes its temporary file. A replaced file keeps its mode (and,
// where allowed, its owner); a new one gets NewFileMode less the umask.
// Temporary names have a fixed short length, so a target name as long as
// the file system allows can be written; the writer's own leftovers of the
// same target older than a day (killed runs) are removed on Open.
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
  const std::string& Reason() const { return FReason; }

 private:
  bool Fail(int Err);
  // Writes what it can of Bytes past the page cache and drops it from Bytes;
  // false (the writer failed) only on a write error.
  bool WriteDirect(std::string_view& Bytes);

  TWriteTarget FTarget;
  std::string FTemp;
  int FFd = -1;
  uint64_t FWritten = 0;
  std::string FReason;
};

// Writes Bytes as the whole new content of Path through TWholeFileWriter.
// Returns false with the system's reason in Reason.
bool WriteFileAtomically(const std::string& Path, std::string_view Bytes, std::string& Reason,
                         mode_t NewFileMode = 0666);

// The temporary name a writer uses for Target: in Target's folder, of fixed
// length, telling the target's name by a hash of it.
bool IsWriterTemporaryOf(const std::string& Target, const std::string& Name);

// Removes files in the folder of Target whose names IsOwnTemporary accepts,
// that belong to the user and were last changed more than MaxAgeSeconds ago.
void RemoveLeftoverTemporaries(const std::string& Target, time_t MaxAgeSeconds,
                               bool (*IsOwnTemporary)(const std::string& Target, const std::string& Name));
inline constexpr time_t kLeftoverAge = 24 * 60 * 60;

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
