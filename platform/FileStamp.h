#pragma once
// Identity of a file as it is on disk now. A rewrite changes its time stamp or
// size, an atomic replacement its inode; caches of parsed files compare stamps
// to know when to parse again.

#include <sys/types.h>

#include <cstdint>
#include <string>

struct TFileStamp {
  std::string Path;
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  int64_t Seconds = 0;
  int64_t Nanoseconds = 0;
  bool operator==(const TFileStamp&) const = default;
};

// The stamp of Path now; Exists is false when it cannot be looked at.
TFileStamp StampOf(const std::string& Path);

// File systems stamp times in steps (ext4 about 4 ms, many network mounts a
// second): two rewrites of one size within a step may leave the stamp as it
// was. True while Stamp's time is within such a step of now, when a cache
// must parse the file again rather than trust its stamp.
bool WrittenWithinTimeStep(const TFileStamp& Stamp);
