#pragma once

#include <string>

// Reads values of an INI file by the rules of the classic profile API:
// section and key names match without regard to case, blanks around the
// value are removed, then one pair of enclosing quotes (single or double),
// and at most 2047 bytes come back. A missing file, section or key gives the
// default. The object keeps no copy: every read goes to the file on disk.
class TProfileFile {
 public:
  explicit TProfileFile(std::string fileName);
  const std::string& FileName() const { return FFileName; }
  std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback = {}) const;

 private:
  std::string FFileName;
};
