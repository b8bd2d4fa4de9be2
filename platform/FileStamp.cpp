#include "FileStamp.h"

#include <sys/stat.h>

#include <ctime>

TFileStamp StampOf(const std::string& Path) {
  TFileStamp stamp;
  stamp.Path = Path;
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return stamp;
  stamp.Exists = true;
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  stamp.Seconds = st.st_mtim.tv_sec;
  stamp.Nanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

bool WrittenWithinTimeStep(const TFileStamp& Stamp) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const int64_t ageNs = (static_cast<int64_t>(now.tv_sec) - Stamp.Seconds) * 1000000000 +
                        (static_cast<int64_t>(now.tv_nsec) - Stamp.Nanoseconds);
  return ageNs < 1000000000;
}
