#include "AppPaths.h"

#include <unistd.h>

#include <climits>

namespace {
std::string& Override() {
  static std::string folder;
  return folder;
}
}  // namespace

std::string ExecutablePath() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  if (!Override().empty()) return Override();
  const std::string exe = ExecutablePath();
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

void SetExecutableFolderOverride(const std::string& folder) {
  Override() = folder;
  if (!folder.empty() && folder.back() != '/') Override() += '/';
}
