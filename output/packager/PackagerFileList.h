#pragma once

// The packager's file list, free of widgets: which file names an object file
// refers to, in four groups, and where below the disk they are looked for.
//
// Names that come out of object files are Windows paths: they are cut at "\"
// and ":". Paths of this machine (the object file itself, files chosen in a
// dialog, the written documentation) are cut at "/".

#include <string>
#include <string_view>
#include <vector>

// A list of names kept sorted without regard to case, each name once (a name
// that differs from a listed one only in case counts as the same).
class TNameList {
 public:
  explicit TNameList(bool Sorted = true) : FSorted(Sorted) {}
  void Clear() { FItems.clear(); }
  // False when the name is already listed.
  bool Add(const std::string& Name);
  // The names, in this list's order and duplicate rule.
  void Assign(std::vector<std::string> Names);
  // Every line of Text (breaks at CR, LF or CR LF) becomes an entry; empty lines add nothing.
  void SetText(const std::string& Text);
  int IndexOf(std::string_view Name) const;
  const std::vector<std::string>& Items() const { return FItems; }
  std::vector<std::string>& Items() { return FItems; }
  size_t Count() const { return FItems.size(); }
  bool Sorted() const { return FSorted; }

 private:
  bool FSorted;
  std::vector<std::string> FItems;
};

// The order of the check list and of every group: alphabetical without regard to case.
int CompareNames(std::string_view A, std::string_view B);
bool SameName(std::string_view A, std::string_view B);

// The part after the last "\" or ":" (a value from an object file).
std::string BareObjectName(std::string_view Path);
// The part up to and including the last "\" or ":".
std::string ObjectFolderPart(std::string_view Path);

// The name unchanged when it ends in ".FUN" (any case), else the name + ".fun".
std::string EnsureFunExtension(const std::string& Name);
// The name when it ends in ".SEG" or ".FMT" (any case), else empty.
std::string KeepSegmentOrFormat(const std::string& Name);
// User function files called in Line from the "(" at 1-based position P on,
// one per line (CR between them).
std::string ExtractCalledFunctions(const std::string& Line, size_t P);
// The files that a script text refers to (loaded, called, drawn), separated by CR.
std::string ExtractScriptFileRefs(const std::string& Script);

// The property ids whose runtime values are scanned for script references:
// the "Runtimes" list of the configuration, the fixed script properties and
// the condition lines, every one asking for its runtime value. A piece of
// Runtimes that is no integer fails with EMorvoError.
std::vector<int> BuildScriptIds(const std::string& Runtimes);

// The four groups read from the loaded object model, as raw values.
struct TPackagerGroups {
  TNameList Mandatory;
  TNameList Sample;
  TNameList Device;
  TNameList Special;
};
// Fills the groups from the objects now loaded (the Runtimes key is read from
// the configuration). Fails with EMorvoError on a bad Runtimes list, before
// any group is filled.
void CollectPackagerGroups(TPackagerGroups& Groups);

// Moves a native base folder up to the nearest folder that has a doc, fun or
// dev subfolder (any letter case); the folder itself counts. Returns the
// folder with a trailing "/", or Base unchanged when no folder below the root
// qualifies.
std::string GuessBasePath(const std::string& Base);
