#include "FileStamp.h"

#include <sys/stat.h>

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
