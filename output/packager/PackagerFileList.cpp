#include "PackagerFileList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Accessors.h"
#include "MorvoObject.h"
#include "PathNames.h"
#include "StringUtil.h"
#include "TextCompare.h"

namespace fs = std::filesystem;

int CompareNames(std::string_view A, std::string_view B) { return CompareTextLocale(A, B); }
bool SameName(std::string_view A, std::string_view B) { return CompareTextLocale(A, B) == 0; }

bool TNameList::Add(const std::string& Name) {
  if (!FSorted) {
    if (IndexOf(Name) >= 0) return false;
    FItems.push_back(Name);
    return true;
  }
  auto at = std::lower_bound(FItems.begin(), FItems.end(), Name,
                             [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
  if (at != FItems.end() && SameName(*at, Name)) return false;
  FItems.insert(at, Name);
  return true;
}

void TNameList::Assign(std::vector<std::string> Names) {
  FItems.clear();
  if (!FSorted) {
    for (std::string& name : Names) Add(name);
    return;
  }
  // Sorted once instead of inserted one by one (a group can hold many
  // names); among equal names the first stays, as when adding in turn.
  std::stable_sort(Names.begin(), Names.end(),
                   [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
  for (std::string& name : Names)
    if (FItems.empty() || !SameName(FItems.back(), name)) FItems.push_back(std::move(name));
}

void TNameList::SetText(const std::string& Text) {
  std::vector<std::string> lines;
  for (std::string& line : SplitLines(Text))
    if (!line.empty()) lines.push_back(std::move(line));
  Assign(std::move(lines));
}

int TNameList::IndexOf(std::string_view Name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameName(FItems[i], Name)) return static_cast<int>(i);
  return -1;
}

std::string BareObjectName(std::string_view Path) {
  const size_t cut = Path.find_last_of("\\:");
  return std::string(cut == std::string_view::npos ? Path : Path.substr(cut + 1));
}

std::string ObjectFolderPart(std::string_view Path) {
  const size_t cut = Path.find_last_of("\\:");
  return cut == std::string_view::npos ? std::string() : std::string(Path.substr(0, cut + 1));
}

std::string EnsureFunExtension(const std::string& Name) {
  return EndsWith(UpperAscii(Name), ".FUN") ? Name : Name + ".fun";
}

std::string KeepSegmentOrFormat(const std::string& Name) {
  const std::string upper = UpperAscii(Name);
  return EndsWith(upper, ".SEG") || EndsWith(upper, ".FMT") ? Name : std::string();
}

namespace {
bool IsIdentifierDelimiter(char c) {
  switch (c) {
    case '\t':
    case '\n':
    case '\v':
    case '\r':
    case ' ':
    case ',':
    case '-':
    case '.':
    case '<':
    case '=':
      return true;
    default:
      return false;
  }
}

bool HasLowerAscii(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// The first double-quoted string of a line, as a bare file name: a line
// without quotes or with an unclosed quote gives nothing.
std::string QuotedName(const std::string& Line) {
  const size_t open = Line.find('"');
  std::string rest = open == std::string::npos ? Line : Line.substr(open + 1);
  std::replace(rest.begin(), rest.end(), '/', '\\');
  const size_t close = rest.find('"');
  rest = close == std::string::npos ? std::string() : rest.substr(0, close);
  return BareObjectName(rest);
}
}  // namespace

std::string ExtractCalledFunctions(const std::string& Line, size_t P) {
  std::string rest = Line;
  std::string result;
  while (P > 0) {
    // P is 1-based; the identifier ends just before the "(".
    size_t start = P - 1;
    while (start > 0 && !IsIdentifierDelimiter(rest[start - 1])) --start;
    const std::string identifier = rest.substr(start, P - 1 - start);
    // Built-in functions are written in capitals, and numbers or an empty
    // text are no calls; only names with a small letter are user functions.
    if (HasLowerAscii(identifier)) {
      if (!result.empty()) result += '\r';
      result += EnsureFunExtension(identifier);
    }
    rest = rest.substr(P);
    P = Pos("(", rest);
  }
  return Trim(result);
}

std::string ExtractScriptFileRefs(const std::string& Script) {
  std::string result;
  for (const std::string& line : SplitLines(Script)) {
    std::string names;
    if (line.find("LOAD") != std::string::npos)
      names = QuotedName(line);
    else if (line.find("CALL") != std::string::npos)
      names = EnsureFunExtension(QuotedName(line));
    else if (line.find("DRAW") != std::string::npos)
      names = KeepSegmentOrFormat(QuotedName(line));
    else if (const size_t p = Pos("(", line); p > 0)
      names = ExtractCalledFunctions(line, p);
    names = Trim(names);
    if (names.empty()) continue;
    if (!result.empty()) result += '\r';
    result += names;
  }
  return result;
}

std::vector<int> BuildScriptIds(const std::string& Runtimes) {
  std::vector<int> ids;
  if (!Runtimes.empty()) {
    const TLongIntArray configured = ParseIdList(Runtimes);
    for (int i = 0; i < configured.Count(); ++i) ids.push_back(configured[i]);
  }
  for (int id : {3, 4, 104, 139, 354}) ids.push_back(id);
  for (int k = 1; k <= 99; ++k) {
    ids.push_back(1200 + k);
    ids.push_back(1300 + k);
    ids.push_back(1400 + k);
  }
  for (int& id : ids) id += 10000;
  return ids;
}

namespace {
constexpr int kExtFilesType = 903;

// One value a group asks of every object: the id (plus 10000 for the
// runtime value) and its place in the group's list.
struct TRequest {
  int Id;
  int Group;
  int Place;
};

// The requests by the stored id they read (Id % 10000); id 0 reads no line.
class TRequestTable {
 public:
  TRequestTable() : FByStoredId(10000) {}
  void Add(const std::vector<int>& Ids, int Group) {
    for (size_t place = 0; place < Ids.size(); ++place) {
      const TRequest request{Ids[place], Group, static_cast<int>(place)};
      if (request.Id < 0) continue;  // never has a value
      if (request.Id == 0)
        FEveryObject.push_back(request);
      else
        FByStoredId[static_cast<size_t>(request.Id % 10000)].push_back(request);
    }
  }
  const std::vector<TRequest>& For(int StoredId) const {
    static const std::vector<TRequest> none;
    return StoredId >= 0 && StoredId < 10000 ? FByStoredId[static_cast<size_t>(StoredId)] : none;
  }
  const std::vector<TRequest>& EveryObject() const { return FEveryObject; }

 private:
  std::vector<std::vector<TRequest>> FByStoredId;
  std::vector<TRequest> FEveryObject;
};
}  // namespace

void CollectPackagerGroups(TPackagerGroups& Groups) {
  // The id list first: a bad Runtimes entry stops before any group is read.
  std::vector<int> scriptIds;
  UseCfgString("Settings", "Runtimes",
               [&scriptIds](const std::string& Runtimes) { scriptIds = BuildScriptIds(Runtimes); });
  enum { kDevice, kSample, kScript, kGroups };
  TRequestTable requests;
  requests.Add({10105, 105}, kDevice);
  requests.Add({10138, 317, 335, 10279, 10389}, kSample);
  requests.Add(scriptIds, kScript);

  // One walk: every object gives what each group asks of it, in the group's
  // order of ids, as one pass per group and id would. Only the ids an
  // object has are looked at; a script list asks for some 300 ids.
  std::string texts[kGroups];
  std::string mandatory;
  struct TFound {
    TRequest Request;
    std::string Value;
  };
  std::vector<TFound> found;
  std::vector<int> seen;
  if (gAllObjects)
    for (const TObjectEntry& entry : gAllObjects->Entries()) {
      TisMorvoObject* object = entry.Object;
      if (!object) continue;
      found.clear();
      seen.clear();
      const auto ask = [&](const std::vector<TRequest>& Asked) {
        for (const TRequest& request : Asked)
          if (std::string value = object->GetPropertyText(request.Id); !value.empty())
            found.push_back({request, std::move(value)});
      };
      ask(requests.EveryObject());
      const TLongIntArray& ids = object->FPropIds;
      for (int i = 0; i < ids.Count(); ++i) {
        const std::vector<TRequest>& asked = requests.For(ids[i]);
        // A repeated id reads its first line, once.
        if (asked.empty() || std::find(seen.begin(), seen.end(), ids[i]) != seen.end()) continue;
        seen.push_back(ids[i]);
        ask(asked);
      }
      std::sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
        return a.Request.Group != b.Request.Group ? a.Request.Group < b.Request.Group
                                                  : a.Request.Place < b.Request.Place;
      });
      for (const TFound& f : found) texts[f.Request.Group] += f.Value + "\r\n";
      // Refined types (elements, segments, input structures) are never the
      // external files' type: the base number spares refining every element.
      if (object->FBaseTypeNr == kExtFilesType && object->GetTypeNumber() == kExtFilesType)
        AppendObjectValues(*object, mandatory);
    }
  Groups.Device.SetText(texts[kDevice]);
  Groups.Sample.SetText(texts[kSample]);
  Groups.Mandatory.SetText(mandatory);
  Groups.Special.SetText(ExtractScriptFileRefs(texts[kScript]));
}

namespace {
bool HasProjectSubfolder(const fs::path& Folder) {
  std::error_code ec;
  for (const char* name : {"doc", "fun", "dev"})
    if (fs::is_directory(Folder / name, ec)) return true;
  // Folder names were written on a system that ignores letter case.
  fs::directory_iterator it(Folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string lower = LowerAscii(it->path().filename().string());
    if ((lower == "doc" || lower == "fun" || lower == "dev") && it->is_directory(ec)) return true;
  }
  return false;
}
}  // namespace

std::string GuessBasePath(const std::string& Base) {
  if (Base.empty()) return Base;
  std::error_code ec;
  std::string s = fs::absolute(fs::path(Base), ec).lexically_normal().string();
  if (ec) return Base;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  // The root is looked at but never taken: a package of the whole disk is no project.
  while (true) {
    if (HasProjectSubfolder(s.empty() ? fs::path("/") : fs::path(s))) break;
    if (s.empty() || s == "/") break;
    s = NativeFolderPart(s);
    while (!s.empty() && s.back() == '/') s.pop_back();
  }
  if (s.empty() || s == "/" || !fs::is_directory(s, ec)) return Base;
  return s + "/";
}
