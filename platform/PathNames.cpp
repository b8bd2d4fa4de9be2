#include "PathNames.h"

std::string BareNativeName(std::string_view Path) {
  const size_t cut = Path.rfind('/');
  return std::string(cut == std::string_view::npos ? Path : Path.substr(cut + 1));
}

std::string NativeFolderPart(std::string_view Path) {
  const size_t cut = Path.rfind('/');
  return cut == std::string_view::npos ? std::string() : std::string(Path.substr(0, cut + 1));
}

std::string NativeWithoutExtension(std::string_view Path) {
  const size_t slash = Path.rfind('/');
  const size_t dot = Path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return std::string(Path);
  return std::string(Path.substr(0, dot));
}
