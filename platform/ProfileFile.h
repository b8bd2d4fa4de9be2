#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "FileStamp.h"

// Reads values of an INI file by the rules of the classic profile API:
// section and key names match without regard to case, blanks around the
// value are removed, then one pair of enclosing quotes (single or double),
// and at most 2047 bytes come back. A missing file, section or key gives the
// default. A file that is not well-formed UTF-8 was written on Windows: it is
// decoded from the code page that codePage names when asked (windows-1252
// without one), so that a name read from it finds its own section again.
//
// Reads give what reading the file each time would give: the parsed file is
// kept and parsed again when the file's stamp (inode, size, time) changes.
// Within a command (TProfileCommand) the stamp is looked at once, on the first
// read, since one command makes hundreds of thousands of reads.
class TProfileFile {
 public:
  explicit TProfileFile(std::string fileName, std::function<std::string()> codePage = {});
  const std::string& FileName() const { return FFileName; }
  std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback = {}) const;
  // A number that changes whenever the values read may have changed; lets a
  // caller keep what it derived from them.
  uint64_t Generation() const;

 private:
  using TSection = std::unordered_map<std::string, std::string>;  // folded key -> value
  void Check() const;
  void Parse(const std::string& text) const;
  std::string FFileName;
  std::function<std::string()> FCodePage;
  mutable std::unordered_map<std::string, TSection> FSections;  // folded name -> its first occurrence
  mutable TFileStamp FStamp;
  mutable bool FParsed = false;
  mutable bool FRacy = false;  // parsed while the file was fresh: its stamp may not show a rewrite yet
  mutable uint64_t FCheckedIn = 0;
  mutable uint64_t FGeneration = 0;
};

// One command of the user (an open, a view change, an export, a grid fill):
// while one runs, each profile file looks at its file on disk at most once.
// Commands nest; the outermost one counts.
class TProfileCommand {
 public:
  TProfileCommand();
  ~TProfileCommand();
  TProfileCommand(const TProfileCommand&) = delete;
  TProfileCommand& operator=(const TProfileCommand&) = delete;
};
