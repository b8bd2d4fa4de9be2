// The object-file reader: decoding the file into lines, finding the object
// section, reading the top-level blocks, resolving links and the root list.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "Accessors.h"
#include "CodePage.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "Settings.h"
#include "StringUtil.h"
#include "TextCompare.h"
#include "WholeFile.h"

// The decoding steps and the passes of the read; declared here because only
// the reader and its tests use them.
bool IsUnicodeFile(const std::string& FileName);
void LoadUnicodeFile(TLineList& Lines, const std::string& FileName);
void LoadCodePageFile(TLineList& Lines, const std::string& FileName);
int ReadTopObject(TLineList& Lines, int Index);
void BuildRootList();

namespace {

const char* const kMarker = "!!EndOfControl";

// A pipe, socket or device fails at once, as a folder does: its open could
// wait for a writer and its read never end.
int OpenForReading(const std::string& FileName) {
  std::string reason;
  const int fd = OpenRegularFileForReading(FileName, &reason);
  if (fd < 0) throw EMorvoError("Cannot open file \"" + FileName + "\". " + reason);
  return fd;
}

// Reads the whole file; what cannot be read as a file fails like a file that
// cannot be opened.
std::string ReadWholeFile(const std::string& FileName) {
  std::string bytes, reason;
  if (!ReadRegularFile(FileName, bytes, &reason)) throw EMorvoError("Cannot open file \"" + FileName + "\". " + reason);
  return bytes;
}

bool IsMarkerLine(std::string_view line) { return line.size() == 14 && SameTextAscii(line, kMarker); }

// Lines from From on that begin with "OBJECT" after their leading blanks: at
// least as many as the blocks that become objects.
size_t CountHeaderLines(const TLineList& lines, size_t From) {
  size_t count = 0;
  for (size_t k = From; k < lines.size(); ++k) {
    const std::string_view line = lines[k];
    size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    if (line.size() - p >= 6 && line[p] == 'O' && line.compare(p, 6, "OBJECT") == 0) ++count;
  }
  return count;
}

// gLoading is set for exactly as long as a read runs, however it ends.
struct TLoadingGuard {
  TLoadingGuard() { gLoading = true; }
  ~TLoadingGuard() { gLoading = false; }
  TLoadingGuard(const TLoadingGuard&) = delete;
  TLoadingGuard& operator=(const TLoadingGuard&) = delete;
};

void CreateLoadLists() {
  if (!gAllObjects) gAllObjects = std::make_unique<TAllObjectList>();
  if (!gTypeNumTable) gTypeNumTable = std::make_unique<TStringList>();
  if (!gPropNameTable) gPropNameTable = std::make_unique<TTaggedLineList>();
  if (!gRootObjects) gRootObjects = std::make_unique<TObjectList>();
  if (!gTopObjects) gTopObjects = std::make_unique<TObjectList>();
}

void LoadIdList(std::unique_ptr<TLongIntArray>& list, const char* key) {
  if (!list) list = std::make_unique<TLongIntArray>();
  UseCfgString("Settings", key, [&list](const std::string& value) { *list = ParseIdList(value); });
  list->Sort();
}

// The names that link lists and children point at, compared without regard
// to case. A name only ever enters when it is the key of an object of the
// load (a link that was found, a child), and only keys are asked for later,
// so the set is kept as a mark on the first object of each key: no string is
// copied or hashed twice.
class TLinkedNames {
 public:
  explicit TLinkedNames(const TAllObjectList& all) : FAll(all), FMarked(static_cast<size_t>(all.Count()), kNone) {}

  // index: where the name was found among the keys.
  void AddFound(const std::string& name, int index) {
    // The empty name never survives the cleaning below (it sorts first and is
    // blank); not marking it also keeps an object whose key is still empty,
    // and gets its caption later, from being taken for it.
    if (name.empty() || FMarked[static_cast<size_t>(index)] != kNone) return;
    // The name stands for the key (they differ at most in case); the two
    // ends of the sorted order are followed as names come in, while they are
    // at hand, rather than by another walk over every key.
    if (BlankOnly(name)) {
      FMarked[static_cast<size_t>(index)] = kBlank;
      return;
    }
    FMarked[static_cast<size_t>(index)] = kName;
    if (FFirst < 0 || CompareTextLocale(name, FAll.Key(FFirst)) < 0) FFirst = index;
    if (FLast < 0 || CompareTextLocale(name, FAll.Key(FLast)) > 0) FLast = index;
  }
  void Add(const std::string& name) {
    if (name.empty()) return;
    const int k = FAll.IndexOfKey(name);
    if (k >= 0) AddFound(name, k);
  }
  bool ContainsKeyOf(int i) const {
    if (FMarked[static_cast<size_t>(i)] != kNone) return true;
    const int k = FAll.FirstOfKey(i);
    return k >= 0 && FMarked[static_cast<size_t>(k)] != kNone;
  }

  // The names, written one per line in sorted order, are taken as one text,
  // trimmed at both ends and split again. So names of blanks only that sort
  // before every other name or after every other name drop out, the first
  // remaining name loses its leading blanks and the last its trailing ones;
  // names in between stay as they are.
  void Clean() {
    if (FFirst < 0) {  // nothing but blanks: the text trims to nothing
      std::fill(FMarked.begin(), FMarked.end(), kNone);
      return;
    }
    const std::string firstName = FAll.Key(FFirst), lastName = FAll.Key(FLast);
    for (size_t k = 0; k < FMarked.size(); ++k) {
      if (FMarked[k] != kBlank) continue;
      const std::string& key = FAll.Key(static_cast<int>(k));
      if (CompareTextLocale(key, firstName) < 0 || CompareTextLocale(key, lastName) > 0) FMarked[k] = kNone;
    }
    FMarked[static_cast<size_t>(FFirst)] = kNone;
    FMarked[static_cast<size_t>(FLast)] = kNone;
    FFirst = FLast = -1;
    if (firstName == lastName) {
      Add(Trim(firstName));
    } else {
      Add(TrimLeft(firstName));
      Add(TrimRight(lastName));
    }
  }

 private:
  static constexpr char kNone = 0, kName = 1, kBlank = 2;
  static bool BlankOnly(const std::string& s) {
    for (unsigned char c : s)
      if (c > ' ') return false;
    return true;
  }
  const TAllObjectList& FAll;
  std::vector<char> FMarked;
  int FFirst = -1, FLast = -1;
};

std::string LinkName(const TObjectEntry& entry) {
  if (entry.Key.empty() && entry.Object) return entry.Object->GetPropertyText(0);
  return entry.Key;
}

void ResolveLinks(TisMorvoObject& obj, TLinkedNames& linked) {
  std::string caption;
  for (auto& link : obj.FLinks) {
    const bool byCaption = link.Key.empty() && link.Object;
    if (byCaption) caption = link.Object->GetPropertyText(0);
    const std::string& name = byCaption ? caption : link.Key;
    // An empty name (a count promising more names than its line holds) would
    // find whichever later object is still waiting for its caption key; chains
    // of such links made the semantic tree grow exponentially.
    if (name.empty()) continue;
    const int found = gAllObjects->IndexOfKey(name);
    if (found < 0) continue;
    link.Object = gAllObjects->Object(found);
    linked.AddFound(name, found);
  }
}

void MergeChildrenIntoLinks(TisMorvoObject& obj, TLinkedNames& linked) {
  if (obj.FChildren.empty()) return;
  std::unordered_set<std::string> present;
  present.reserve(obj.FLinks.size() + obj.FChildren.size());
  for (const auto& link : obj.FLinks) present.insert(FoldCase(link.Key));
  for (const auto& child : obj.FChildren) {
    const std::string name = LinkName(child);
    if (!present.insert(FoldCase(name)).second) continue;
    obj.FLinks.push_back({name, child.Object});
    linked.Add(name);
  }
}

void LinkAllObjects(TLinkedNames& linked) {
  for (int i = 0; i < gAllObjects->Count(); ++i) {
    TisMorvoObject* obj = gAllObjects->Object(i);
    if (gAllObjects->Key(i).empty()) gAllObjects->SetKey(i, obj->GetPropertyText(0));
    ProcessMessagesSliced();
    if (ApplicationTerminating()) return;
    ResolveLinks(*obj, linked);
    MergeChildrenIntoLinks(*obj, linked);
  }
}

}  // namespace

bool IsUnicodeFile(const std::string& FileName) {
  const int fd = OpenForReading(FileName);
  unsigned char bom[2] = {0, 0};
  ssize_t got;
  do {
    got = ::read(fd, bom, 2);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  return got == 2 && bom[0] == 0xFF && bom[1] == 0xFE;
}

void LoadUnicodeFile(TLineList& Lines, const std::string& FileName) {
  Lines.SetText(Utf16LeToUtf8(ReadWholeFile(FileName)));
}

void LoadCodePageFile(TLineList& Lines, const std::string& FileName) {
  const std::string codePage = ReadSetting(settings::Quillset1xCodePage);
  // An unknown name fails in the decoder, before a line is read.
  Lines.SetText(DecodeToUtf8(ReadWholeFile(FileName), codePage));
}

void LoadSettings() {
  LoadIdList(gRuntimeIds, "Runtimes");
  LoadIdList(gSpecialIds, "Specials");
  LoadIdList(gMultiLineIds, "MultiLine");
  LoadIdList(gIntValueIds, "IntValues");
}

int ReadTopObject(TLineList& Lines, int Index) {
  CreateLoadLists();
  std::unique_ptr<TisMorvoObject> obj = CreateObjectForHeader(Lines.at(static_cast<size_t>(Index)));
  int next;
  try {
    next = obj->ReadObject(Lines, Index);
  } catch (...) {
    // Once the block was complete the object list owns the object.
    if (gAllObjects->Count() > 0 && gAllObjects->Object(gAllObjects->Count() - 1) == obj.get()) obj.release();
    throw;
  }
  TisMorvoObject* top = obj.release();
  gTopObjects->push_back({top->FGUID, top});
  return next;
}

void BuildRootList() {
  CreateLoadLists();
  TLinkedNames linked(*gAllObjects);
  LinkAllObjects(linked);
  linked.Clean();
  gRootObjects->clear();
  for (int i = 0; i < gAllObjects->Count(); ++i)
    if (!linked.ContainsKeyOf(i)) gRootObjects->push_back(gAllObjects->Entries()[static_cast<size_t>(i)]);
  if (gRootObjects->size() > 1) std::rotate(gRootObjects->begin(), gRootObjects->end() - 1, gRootObjects->end());
}

int ReadObjectFile(const std::string& FileName) {
  TLoadingGuard loading;
  const TProfileCommand command;
  LoadSettings();

  TLineList lines;
  if (IsUnicodeFile(FileName))
    LoadUnicodeFile(lines, FileName);
  else
    LoadCodePageFile(lines, FileName);

  int marker = -1;
  for (size_t i = 0; i < lines.size(); ++i)
    if (IsMarkerLine(lines[i])) {
      marker = static_cast<int>(i);
      break;
    }

  ProcessMessages();
  if (ApplicationTerminating()) return 0;
  if (lines.size() < 2 || marker < 2) return -1;

  size_t i = static_cast<size_t>(marker);
  while (i < lines.size() && !StartsWith(lines[i], "OBJECT")) ++i;
  // Indexing the objects of a large file once beats indexing them again at
  // every doubling, and room for as many objects as there are headers wastes
  // none on files of small objects.
  CreateLoadLists();
  gAllObjects->Reserve(CountHeaderLines(lines, i));

  bool reached = false;
  while (i < lines.size()) {
    reached = true;
    ProcessMessagesSliced();
    if (ApplicationTerminating()) break;
    CallProgressHook();
    if (StartsWith(lines[i], "OBJECT"))
      i = static_cast<size_t>(ReadTopObject(lines, static_cast<int>(i)));
    else
      ++i;
  }
  if (!reached) return -1;
  gTopObjects->shrink_to_fit();  // kept for as long as the load
  lines.clear();                 // the link pass needs no lines
  // The text's pages go back to the system rather than stay with the heap
  // beside the objects for as long as they are loaded.
  malloc_trim(0);
  BuildRootList();
  return static_cast<int>(i);
}
