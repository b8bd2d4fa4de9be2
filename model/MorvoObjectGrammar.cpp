// The block and property-line grammar of object files: header, nested blocks,
// property collections, content lines, link lists and the repeat rule.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "FactoryClasses.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "TextCompare.h"

namespace {

// Deeper nesting than this is no design anyone wrote; refusing it keeps a
// hostile file from exhausting the stack of the recursive block reader.
constexpr int kMaxObjectNesting = 1000;
// ParseLine re-enters itself once per prefix it strips (".", ":"). Past this
// many levels the remaining prefixes are stripped in a loop instead, so a line
// made of thousands of dots cannot exhaust the stack either.
constexpr int kMaxParseNesting = 64;
constexpr size_t kFirstLineRoom = 16;
constexpr size_t kLineBytesGuess = 24;
int gParseDepth = 0;
// Nesting depth of the block being read (guards the recursion of ReadObject).
int gReadDepth = 0;

// Texts handed on by ParseLine at the current nesting level. Each level has
// its own, so a text is never overwritten while a deeper level still reads
// it, and they keep their capacity from line to line.
std::string& Scratch(int which) {
  static std::vector<std::string> buffers(2 * (kMaxParseNesting + 1));
  return buffers[static_cast<size_t>(2 * gParseDepth + which)];
}

// The first position of a character in a text that is only ever cut at
// either end (ParseLine's passes over one line): found once, not rescanned on
// every pass, so even a line of a million prefixes is read in linear time.
class TFirstOf {
 public:
  explicit TFirstOf(char c) : FChar(c) {}
  size_t In(std::string_view v) {
    if (!FKnown || (FAt != nullptr && FAt < v.data())) {
      const size_t r = v.find(FChar);
      FAt = r == std::string_view::npos ? nullptr : v.data() + r;
      FKnown = true;
    }
    if (FAt == nullptr || FAt >= v.data() + v.size()) return std::string_view::npos;
    return static_cast<size_t>(FAt - v.data());
  }

 private:
  char FChar;
  const char* FAt = nullptr;
  bool FKnown = false;
};

// One level deeper for as long as it lives.
struct TDepthGuard {
  explicit TDepthGuard(int& Depth) : FDepth(Depth) { ++FDepth; }
  ~TDepthGuard() { --FDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
  int& FDepth;
};

bool IsClosingLine(std::string_view line) { return TrimView(line) == "}"; }

// Whether the line holds "OBJECT" anywhere (the test every body line gets).
// Lines are short and hold few capital O's: finding those and comparing the
// rest beats a general substring search.
bool HasObjectWord(std::string_view line) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (end - p >= 6) {
    p = static_cast<const char*>(std::memchr(p, 'O', static_cast<size_t>(end - p - 5)));
    if (!p) return false;
    if (std::memcmp(p + 1, "BJECT", 5) == 0) return true;
    ++p;
  }
  return false;
}

[[noreturn]] void ThrowListIndex(size_t index) {
  throw EMorvoError("List index out of bounds (" + std::to_string(index) + ")");
}

// A block that runs past the last line: the list index error, and which
// block it was, so the user knows where the "}" is missing.
[[noreturn]] void ThrowUnclosedBlock(size_t index, int headerIndex) {
  throw EMorvoError("List index out of bounds (" + std::to_string(index) + "): the block that begins on line " +
                    std::to_string(headerIndex + 1) + " has no closing \"}\"");
}

inline std::string_view LineAt(const TLineList& Lines, int i) {
  if (i < 0 || static_cast<size_t>(i) >= Lines.size()) ThrowListIndex(static_cast<size_t>(i));
  return Lines[static_cast<size_t>(i)];
}

// StrToIntDef, with the plain run of up to nine digits that nearly every id
// is read without the general conversion.
inline int ToIntDef(std::string_view s, int fallback) {
  if (!s.empty() && s.size() <= 9) {
    int v = 0;
    size_t i = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
    if (i == s.size()) return v;
  }
  return StrToIntDef(s, fallback);
}

// The number in front of the first blank; 0 when there is no blank or the
// text there is no number.
int NumberBeforeBlank(std::string_view s) {
  const size_t b = s.find(' ');
  if (b == std::string_view::npos) return 0;
  return ToIntDef(s.substr(0, b), 0);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Finds the next quoted text of s from position from on: the text between an
// opening delimiter and the next single one, doubled delimiters standing for
// one. Returns false when there is no opening delimiter or it is never
// closed; from then points behind the closing delimiter.
bool NextQuoted(std::string_view s, std::string_view delim, size_t& from, std::string* part) {
  const size_t d = delim.size();
  if (d == 1) {
    // Delimiters are nearly always one character: found and compared as one.
    // The text up to a doubled delimiter goes in with one of the pair, and a
    // run of doubled delimiters is walked without a search call per pair.
    const char c = delim[0];
    const size_t open = s.find(c, from);
    if (open == std::string_view::npos) return false;
    if (part) part->clear();
    const size_t n = s.size();
    size_t p = open + 1;
    while (true) {
      const size_t q = p < n && s[p] == c ? p : s.find(c, p);
      if (q == std::string_view::npos) return false;
      const bool doubled = q + 1 < n && s[q + 1] == c;
      const size_t length = q - p + (doubled ? 1 : 0);
      if (part && length > 0) part->append(s.data() + p, length);
      if (doubled) {
        p = q + 2;
        continue;
      }
      from = q + 1;
      return true;
    }
  }
  const size_t open = s.find(delim, from);
  if (open == std::string_view::npos) return false;
  if (part) part->clear();
  size_t p = open + d;
  while (true) {
    const size_t q = s.find(delim, p);
    if (q == std::string_view::npos) return false;
    if (part) part->append(s.substr(p, q - p));
    if (s.substr(q + d, d) == delim) {
      if (part) part->append(delim);
      p = q + 2 * d;
      continue;
    }
    from = q + d;
    return true;
  }
}

// The N-th quoted text of s (1-based), empty when s holds fewer.
std::string NthQuoted(std::string_view s, std::string_view delim, int n) {
  std::string part;
  NthQuotedInto(s, delim, n, part);
  return part;
}

// The first four characters of a stored line read as its id, -1 when they
// are no number.
int StoredLineId(std::string_view line) { return ToIntDef(line.substr(0, 4), -1); }

bool HasFourDigitPrefix(std::string_view s) {
  return s.size() >= 4 && IsDigit(s[0]) && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]);
}

// The four digits a stored line begins with, as a number; -1 when it does
// not begin with four digits.
int FourDigitPrefix(std::string_view s) {
  if (!HasFourDigitPrefix(s)) return -1;
  return (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
}

// Hands prefix + text (no prefix when it is NUL) to the object's ParseLine.
// Every body line of a file passes here, so the text is built in one buffer
// that keeps its capacity instead of a new string per line (a fresh one only
// if ParseLine should ever come back here while the buffer is in use).
void ParseLinePrefixed(TisMorvoObject& obj, char prefix, std::string_view text) {
  static std::string buffer;
  static bool busy = false;
  if (busy) {
    std::string s(prefix ? 1 : 0, prefix);
    s += text;
    obj.ParseLine(s);
    return;
  }
  busy = true;
  struct TRelease {
    ~TRelease() { busy = false; }
  } release;
  buffer.assign(prefix ? 1 : 0, prefix);
  buffer += text;
  obj.ParseLine(buffer);
  ReleaseLargeBuffer(buffer);
}

// Whether T reads its lines, or stores its properties, as the base class
// does: a member T inherits is named with the base's member type.
template <class T>
constexpr bool kBaseParseLine = std::is_same_v<decltype(&T::ParseLine), decltype(&TisMorvoObject::ParseLine)>;
template <class T>
constexpr bool kBaseAddProperty = std::is_same_v<decltype(&T::AddProperty), decltype(&TisMorvoObject::AddProperty)>;

// How an object's body lines can be read: through its own ParseLine, by
// the base rules directly, or by those rules with the line stored directly.
enum class TBodyRoute { General, BaseParse, BaseParseAndAdd };

TBodyRoute BodyRouteOf(const TisMorvoObject& Obj) {
  TBodyRoute route = TBodyRoute::General;
  VisitExactClass(TFactoryClasses{}, typeid(Obj), [&route]<class C>() {
    route = !kBaseParseLine<C>    ? TBodyRoute::General
            : kBaseAddProperty<C> ? TBodyRoute::BaseParseAndAdd
                                  : TBodyRoute::BaseParse;
  });
  return route;
}

// The base AddProperty on a view of the value.
void AddPropertyText(TisMorvoObject& Obj, int Id, std::string_view Value) {
  const std::vector<int32_t>& ids = Obj.FPropIds.Items();
  const auto found = std::find(ids.begin(), ids.end(), Id);
  int k = found == ids.end() ? -1 : static_cast<int>(found - ids.begin());
  // The ids are still in reading order here, so the line found is decoded
  // directly rather than looked up again by id.
  if (k >= 0 && Id > 99) {
    const std::string text = Obj.DecodeLine(Id, Obj.FLines[static_cast<size_t>(k)]);
    if (text.empty()) {
      Obj.FLines.erase(Obj.FLines.begin() + k);
      Obj.FPropIds.Delete(k);
      k = -1;
    }
  }
  if (k >= 0) return;
  // Objects carry a dozen or more lines: room for them at once rather than
  // growing through 1, 2, 4 and 8.
  if (Obj.FLines.empty()) {
    Obj.FLines.reserve(kFirstLineRoom, kFirstLineRoom * kLineBytesGuess);
    Obj.FPropIds.Items().reserve(kFirstLineRoom);
  }
  std::string wide;
  char digits[4];
  std::string_view id;
  if (Id >= 0 && Id <= 9999) {
    digits[0] = static_cast<char>('0' + Id / 1000);
    digits[1] = static_cast<char>('0' + Id / 100 % 10);
    digits[2] = static_cast<char>('0' + Id / 10 % 10);
    digits[3] = static_cast<char>('0' + Id % 10);
    id = std::string_view(digits, 4);
  } else {
    wide = FormatId4(Id);
    id = wide;
  }
  Obj.FLines.push_back(id, Value);
  Obj.FPropIds.Items().push_back(Id);
}

// What the base ParseLine does with Text one level below a prefix it
// stripped (at the depth of that level), without copying Text: a plain
// "id value" line is stored from here, anything with a prefix of its own
// goes to ParseLine as before.
void ParseRest(TisMorvoObject& Obj, std::string_view Text, TBodyRoute Route) {
  const std::string_view s = TrimView(Text);
  if (s.size() >= 2 && (s[0] == ':' || s[0] == '.')) {
    Obj.ParseLine(Scratch(0).assign(Text));
    ReleaseLargeBuffer(Scratch(0));
    return;
  }
  const TDepthGuard plain(gParseDepth);
  if (s.size() < 2) return;
  const size_t blank = s.find(' ');
  const int id = blank == std::string_view::npos ? 0 : ToIntDef(s.substr(0, blank), 0);
  if (id == 1 && Obj.FName.empty()) Obj.FName = Obj.ExtractQuoted(std::string(s), "\"", 1);
  if (id == 10 && Obj.FGUID.empty()) Obj.FGUID = Obj.ExtractQuoted(std::string(s), "\"", 1);
  const std::string_view value = blank == std::string_view::npos ? s : s.substr(blank);
  if (Route == TBodyRoute::BaseParseAndAdd) {
    AddPropertyText(Obj, id, value);
  } else {
    std::string& text = Scratch(1);
    Obj.AddProperty(id, text.assign(value));
    ReleaseLargeBuffer(text);
  }
}

// What ParseLine does with "." followed by Line, for an object whose
// ParseLine is the base one, without building the text or handing its rest
// on as a new text.
void ParseBodyLine(TisMorvoObject& Obj, std::string_view Line, TBodyRoute Route) {
  if (Route == TBodyRoute::General || gParseDepth + 1 >= kMaxParseNesting) {
    ParseLinePrefixed(Obj, '.', Line);
    return;
  }
  const TDepthGuard prefixed(gParseDepth);
  // "." + Line trimmed is shorter than two exactly when Line trims to nothing.
  std::string_view s = TrimView(Line);
  if (s.empty()) return;
  if (s.size() >= 2 && !Obj.FDelim.empty() && s[0] == Obj.FDelim[0]) s = TrimView(s.substr(1));
  if (s.size() <= 3) return;
  const size_t b = s.find(' ');
  const int prefixId = b == std::string_view::npos ? 0 : ToIntDef(s.substr(0, b), 0);
  const int type = Obj.GetTypeNumber();
  if (prefixId == 5 && type / 100 == 4) s = s.substr(b);  // segment: the rest is a line of its own
  if (type / 100 == 10) return;                           // documents keep their properties in collections
  ParseRest(Obj, s, Route);
}

// What ParseLine does with ":" followed by Tail (a trimmed line), for an
// object whose ParseLine is the base one.
void ParseTailLine(TisMorvoObject& Obj, std::string_view Tail, TBodyRoute Route) {
  if (Route == TBodyRoute::General || gParseDepth + 1 >= kMaxParseNesting || Tail.size() < 2 ||
      TrimView(Tail).size() != Tail.size()) {
    ParseLinePrefixed(Obj, ':', Tail);
    return;
  }
  const TDepthGuard prefixed(gParseDepth);
  const size_t p = Obj.FDelim.empty() ? std::string_view::npos : Tail.find(Obj.FDelim[0]);
  const size_t pos1 = p == std::string_view::npos ? 0 : p + 1;
  if (pos1 + 1 >= Tail.size()) {
    std::string& text = Scratch(0);
    Obj.ParseLinkList(text.assign(Tail));
    ReleaseLargeBuffer(text);
    return;
  }
  ParseRest(Obj, Tail, Route);
}

// The first quoted text from key on in a trimmed header line (from its
// start when the key is missing).
std::string QuotedAfter(std::string_view header, std::string_view key) {
  const size_t p = header.find(key);
  const std::string_view s = p == std::string_view::npos ? header : header.substr(p);
  return NthQuoted(s, "\"", 1);
}

}  // namespace

void NthQuotedInto(std::string_view S, std::string_view Delim, int N, std::string& Out) {
  if (N == 1 && Delim.size() == 1) {
    // Nearly always the first text, quoted by one character and holding no
    // doubled delimiter: found with two searches and copied at once.
    const char d = Delim[0];
    const size_t open = S.find(d);
    if (open == std::string_view::npos) {
      Out.clear();
      return;
    }
    const size_t close = S.find(d, open + 1);
    if (close != std::string_view::npos && (close + 1 == S.size() || S[close + 1] != d)) {
      Out.assign(S.data() + open + 1, close - open - 1);
      return;
    }
  }
  Out.clear();
  if (Delim.empty() || N < 1) return;
  size_t from = 0;
  for (int k = 1; k <= N; ++k)
    if (!NextQuoted(S, Delim, from, k == N ? &Out : nullptr)) {
      Out.clear();
      return;
    }
}

std::string HeaderTypeName(std::string_view Line) {
  const std::string_view s = TrimView(Line);
  return s.find("OBJECT") == std::string_view::npos ? std::string() : QuotedAfter(s, "TYPE=");
}

bool TisMorvoObject::ParseHeader(std::string_view Line) {
  const std::string_view s = TrimView(Line);
  if (s.find("OBJECT") == std::string_view::npos) return true;
  FTypeName = QuotedAfter(s, "TYPE=");
  FName = QuotedAfter(s, "NAME=");
  // Without "DELIM=" the sixth character stands in (the "T" of a header that
  // begins with "OBJECT"), as older writers of the format expect.
  const size_t d = s.find("DELIM=");
  const size_t at = d == std::string_view::npos ? 5 : d + 6;
  FDelim = at < s.size() ? std::string(1, s[at]) : std::string();
  return true;
}

int TisMorvoObject::ReadObject(TLineList& Lines, int Index) {
  ParseHeader(LineAt(Lines, Index));
  const TBodyRoute route = BodyRouteOf(*this);
  int i = Index + 1;
  for (;;) {
    if (static_cast<size_t>(i) >= Lines.size()) ThrowUnclosedBlock(static_cast<size_t>(i), Index);
    const std::string_view line = Lines[static_cast<size_t>(i)];
    if (IsClosingLine(line)) break;
    if (HasObjectWord(line)) {
      const std::string typeName = HeaderTypeName(line);
      std::unique_ptr<TisMorvoObject> child = CreateObjectForTypeName(typeName);
      // The child parses its whole header when it reads its block.
      if (typeName == "PropertyCollection") {
        child.reset();
        i = ReadPropertyBlock(Lines, i + 2);
      } else {
        if (gReadDepth + 1 >= kMaxObjectNesting)
          throw EMorvoError("Objects nested too deeply (line " + std::to_string(i + 1) + ")");
        const TDepthGuard depth(gReadDepth);
        int next;
        try {
          next = child->ReadObject(Lines, i);
        } catch (...) {
          // Once the child completed its block the object list owns it.
          if (gAllObjects && gAllObjects->Count() > 0 && gAllObjects->Object(gAllObjects->Count() - 1) == child.get())
            child.release();
          throw;
        }
        TisMorvoObject* c = child.release();
        FChildren.push_back({c->FGUID, c});
        i = next - 1;
      }
    } else {
      ParseBodyLine(*this, line, route);
    }
    ++i;
  }

  // Tail rule: the last body line may be the block's link list.
  const std::string_view tail = TrimView(Lines[static_cast<size_t>(i - 1)]);
  if (tail.size() > 3) {
    const bool endsWithDelim = !FDelim.empty() && tail.back() == FDelim[0];
    const bool hasDelim = !FDelim.empty() && tail.find(FDelim[0]) != std::string_view::npos;
    if (endsWithDelim || !hasDelim) ParseTailLine(*this, tail, route);
  }

  if (!gAllObjects) gAllObjects = std::make_unique<TAllObjectList>();
  gAllObjects->Append(FGUID, this);
  SortPropertyLines();
  // The room taken for the lines while reading is given back: a file holds
  // hundreds of thousands of objects, most with fewer lines than that room.
  FLines.shrink_to_fit();
  if (FPropIds.Items().capacity() > FPropIds.Items().size()) FPropIds.Items().shrink_to_fit();
  return i + 1;
}

int TisMorvoObject::ReadPropertyBlock(TLineList& Lines, int Start) {
  int i = Start;
  while (!IsClosingLine(LineAt(Lines, i))) {
    ParseLinePrefixed(*this, '\0', Lines[static_cast<size_t>(i)]);
    ++i;
    if (static_cast<size_t>(i) >= Lines.size()) {
      // A collection that runs to the end of the file is closed for it.
      Lines.push_back("}");
      break;
    }
  }
  return i;
}

int TisMorvoObject::ParseLine(const std::string& S) {
  const TDepthGuard depth(gParseDepth);
  // Hands the rest of the line to the object's ParseLine one level deeper.
  auto ParseLineScratch = [this](std::string_view rest) {
    const int r = ParseLine(Scratch(0).assign(rest));
    ReleaseLargeBuffer(Scratch(0));
    return r;
  };
  std::string_view s = TrimView(S);
  TFirstOf delim(FDelim.empty() ? '\0' : FDelim[0]), blank(' ');
  for (;;) {
    if (s.size() < 2) return -1;

    if (s[0] == ':') {
      s.remove_prefix(1);
      const size_t p = FDelim.empty() ? std::string_view::npos : delim.In(s);
      const size_t pos1 = p == std::string_view::npos ? 0 : p + 1;
      if (static_cast<int64_t>(pos1) >= static_cast<int64_t>(s.size()) - 1) {
        ParseLinkList(Scratch(0).assign(s));
        ReleaseLargeBuffer(Scratch(0));
        return -1;
      }
      if (gParseDepth < kMaxParseNesting) return ParseLineScratch(s);
      s = TrimView(s);
      continue;
    }

    if (s[0] == '.') {
      s = TrimView(s.substr(1));
      if (s.size() >= 2 && !FDelim.empty() && s[0] == FDelim[0]) s = TrimView(s.substr(1));
      if (s.size() <= 3) return -1;
      const size_t b = blank.In(s);
      const int id = b == std::string_view::npos ? 0 : ToIntDef(s.substr(0, b), 0);
      const int type = GetTypeNumber();
      if (id == 5 && type / 100 == 4) s = s.substr(b);  // segment: the rest is a line of its own
      if (type / 100 == 10) return -1;                  // documents keep their properties in collections
      if (gParseDepth < kMaxParseNesting) return ParseLineScratch(s);
      s = TrimView(s);
      continue;
    }

    const size_t blank = s.find(' ');
    const int id = blank == std::string_view::npos ? 0 : ToIntDef(s.substr(0, blank), 0);
    if (id == 1 && FName.empty()) FName = ExtractQuoted(std::string(s), "\"", 1);
    if (id == 10 && FGUID.empty()) FGUID = ExtractQuoted(std::string(s), "\"", 1);
    AddProperty(id, Scratch(1).assign(blank == std::string_view::npos ? s : s.substr(blank)));
    ReleaseLargeBuffer(Scratch(1));
    return id;
  }
}

void TisMorvoObject::AddProperty(int Id, const std::string& Value) { AddPropertyText(*this, Id, Value); }

int TisMorvoObject::ParseLinkList(const std::string& S) {
  std::string_view s = TrimView(S);
  const int type = GetTypeNumber();
  if (!s.empty() && !IsDigit(s[0]) && type / 100 == 3) s = TrimView(s.size() >= 2 ? s.substr(2) : std::string_view());
  // A count beyond the length of its line is no real count; capping it keeps
  // a damaged line from asking for billions of empty names.
  int64_t n = std::clamp<int64_t>(NumberBeforeBlank(s), 0, static_cast<int64_t>(s.size()));
  std::string withBlank;
  if (FTypeName == "INPUT_STRUCT_DATA") {
    withBlank.reserve(s.size() + 1);
    withBlank += ' ';
    withBlank += s;
    s = withBlank;
    n = 1;
  }
  if (type / 100 == 10) n *= 3;

  const size_t blank = s.find(' ');
  s = blank == std::string_view::npos ? std::string_view() : s.substr(blank + 1);
  const size_t d = FDelim.empty() ? std::string_view::npos : s.find(FDelim[0]);
  s = d == std::string_view::npos ? std::string_view() : s.substr(0, d);

  if (n > 0) {
    // The names in line order, in front of the entries already there; past
    // the last quoted text (or an unclosed one) they are empty.
    TObjectList added;
    added.reserve(static_cast<size_t>(n) + FLinks.size());
    size_t from = 0;
    bool more = true;
    std::string name;
    for (int64_t k = 0; k < n; ++k) {
      more = more && NextQuoted(s, "\"", from, &name);
      added.push_back({more ? std::move(name) : std::string(), nullptr});
    }
    for (auto& e : FLinks) added.push_back(std::move(e));
    FLinks = std::move(added);
  }
  return static_cast<int>(FLinks.size());
}

std::string TisMorvoObject::ExtractQuoted(const std::string& S, const std::string& Delim, int N) {
  return NthQuoted(S, Delim, N);
}

void TisMorvoObject::SortPropertyLines() {
  // Orders the lines as the locale-aware comparison without regard to case
  // does. When both lines begin with four digits that differ, those digits
  // already decide that comparison (digits carry one weight each, in numeric
  // order), so the costly comparison runs only for lines of one id and for
  // the odd line that does not begin with four digits.
  const size_t n = FLines.size();
  constexpr size_t kFew = 32;
  std::array<int, kFew> fewIds;
  std::array<uint32_t, kFew> fewOrder;
  std::vector<int> manyIds(n <= kFew ? 0 : n);
  std::vector<uint32_t> manyOrder(n <= kFew ? 0 : n);
  int* const ids = n <= kFew ? fewIds.data() : manyIds.data();
  uint32_t* const order = n <= kFew ? fewOrder.data() : manyOrder.data();
  for (size_t k = 0; k < n; ++k) ids[k] = FourDigitPrefix(FLines[k]);
  FLines.StableSort(
      [&](uint32_t a, uint32_t b) {
        if (ids[a] >= 0 && ids[b] >= 0 && ids[a] != ids[b]) return ids[a] < ids[b];
        return CompareTextLocale(FLines[a], FLines[b]) < 0;
      },
      order);
  // The id of a line without four digits in front is what they read as.
  // A list of its own, of the exact size: the one grown while reading is
  // let go rather than copied again to give back its room.
  std::vector<int32_t> sorted(n);
  for (size_t k = 0; k < n; ++k) sorted[k] = ids[order[k]] >= 0 ? ids[order[k]] : StoredLineId(FLines[k]);
  FPropIds.Items().swap(sorted);
}

void TisMorvoObject::RenumberDuplicates() {
  if (FLines.empty()) return;
  // The flow tools append the condition line they just converted last, under
  // the first condition id of their group (1201, 1301, 1401). When an earlier
  // line already carries that id, the new line takes the lowest id of its
  // group that no line carries, so conditions are numbered in file order:
  // 1201, 1202, 1203, ... Earlier lines keep their ids whatever their text
  // (sorting orders lines of one id by text, which is not file order), and
  // so do base ids (1200, ...) and lines of other groups.
  const size_t last = FLines.size() - 1;
  const int id = StoredLineId(FLines[last]);
  if (id >= 1201 && id <= 1499 && id % 100 != 0) {
    const int group = id / 100;
    std::array<bool, 100> used{};
    for (size_t k = 0; k + 1 < FLines.size(); ++k) {
      const int other = StoredLineId(FLines[k]);
      if (other >= 0 && other / 100 == group) used[static_cast<size_t>(other % 100)] = true;
    }
    if (used[static_cast<size_t>(id % 100)]) {
      // With all 99 ids taken, the rest share the last one, still in the group.
      int free = 99;
      for (int k = 1; k < 99; ++k)
        if (!used[static_cast<size_t>(k)]) {
          free = k;
          break;
        }
      std::string added(FLines[last]);
      added.replace(0, 4, FormatId4(group * 100 + free));
      FLines.Replace(last, added);
    }
  }
  SortPropertyLines();
}
