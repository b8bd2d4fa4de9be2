// Property value decoding: turns a stored property line into the text a user
// sees, and the searches and collections run over those texts.
//
// A stored line is "NNNN D<value field>D..." where D is its sixth character.
// Inside the value field, positions 1 to 10 are a head that nothing reads;
// from position 11 on comes the design part in one of four layouts (plain,
// coded, integer, multi-line), and behind the plain design value the runtime
// part.

#include <algorithm>
#include <deque>
#include <random>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "Accessors.h"
#include "FactoryClasses.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"

namespace {

// Where the design value sits: the plain layout opens it at position 11.
constexpr int kDesignPos = 11;
// The runtime part starts this many characters after the stored design
// value's length: head (10), opening and closing delimiter and one separator.
constexpr int kRuntimeOffset = 14;

// ContainsSorted: every decoded line asks up to four of these lists, which
// hold a few ids each; a short one is walked up to the first id not below id.
[[gnu::always_inline]] inline bool Listed(const std::unique_ptr<TLongIntArray>& ids, int id) {
  if (!ids) return false;
  const std::vector<int32_t>& items = ids->Items();
  if (items.size() > 8) return ids->ContainsSorted(id);
  for (const int32_t item : items)
    if (item >= id) return item == id;
  return false;
}

std::string LookupSpecialIn(int Id, std::string_view CodeField);

// Whether an object takes its quoted texts the base way, so that the
// decoding may take them without the virtual ExtractQuoted: a class of the
// factory that keeps the base member does; any other class is asked.
template <class C>
constexpr bool kQuotesTheBaseWay =
    std::is_same_v<decltype(&C::ExtractQuoted), decltype(&TisMorvoObject::ExtractQuoted)>;

bool QuotesTheBaseWay(const TisMorvoObject& Obj) {
  bool base = false;
  VisitExactClass(TFactoryClasses{}, typeid(Obj), [&base]<class C>() { base = kQuotesTheBaseWay<C>; });
  return base;
}

// The first text of S quoted by Delim, as Obj's ExtractQuoted gives it.
void FirstQuotedInto(TisMorvoObject& Obj, bool BaseWay, std::string_view S, std::string_view Delim, std::string& Out) {
  if (BaseWay)
    NthQuotedInto(S, Delim, 1, Out);
  else
    Out = Obj.ExtractQuoted(std::string(S), std::string(Delim), 1);
}

// Copy(S, Index, Count) without the copy: the part of S from the 1-based
// Index on, at most Count characters.
std::string_view ViewCopy(std::string_view S, int64_t Index, int64_t Count = INT32_MAX) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || Index > static_cast<int64_t>(S.size())) return {};
  return S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

// Length of the first quoted text of S as it is stored, that is counting a
// doubled delimiter as the two characters it takes in S. 0 when S holds no
// complete quoted text (the decoded value is then empty too).
size_t StoredQuotedLength(std::string_view S, char Delim) {
  const size_t open = S.find(Delim);
  if (open == std::string_view::npos) return 0;
  size_t i = open + 1;
  while (i < S.size()) {
    if (S[i] == Delim) {
      if (i + 1 < S.size() && S[i + 1] == Delim) {
        i += 2;
        continue;
      }
      return i - open - 1;
    }
    ++i;
  }
  return 0;
}

// Two objects without a GUID must never share a synthetic one, so every key
// handed out in this run is remembered and a repeat is drawn again.
std::string NewSyntheticGUID() {
  static std::mt19937 generator{std::random_device{}()};
  static std::unordered_set<std::string> issued;
  std::uniform_int_distribution<int32_t> draw(0, 2147483646);
  for (;;) {
    std::string guid = "0:" + std::to_string(draw(generator)) + std::to_string(draw(generator));
    if (issued.insert(guid).second) return guid;
  }
}

// A buffer per nesting level of DecodeLine: the first level, which nearly
// every call is on, has one of its own; the deeper ones live in a deque,
// which never moves the ones still in use when it grows.
class TValueFieldBuffer {
 public:
  TValueFieldBuffer() : FText(FDepth == 0 ? FFirst : Deeper(FDepth)) { ++FDepth; }
  ~TValueFieldBuffer() {
    --FDepth;
    if (FText.capacity() > kKeptRoom) ReleaseLargeBuffer(FText);
  }
  TValueFieldBuffer(const TValueFieldBuffer&) = delete;
  TValueFieldBuffer& operator=(const TValueFieldBuffer&) = delete;
  std::string& Text() { return FText; }

 private:
  static constexpr size_t kKeptRoom = 4096;  // below what ReleaseLargeBuffer lets go
  static std::string& Deeper(size_t Depth) {
    while (FBuffers.size() < Depth) FBuffers.emplace_back();
    return FBuffers[Depth - 1];
  }
  static inline std::string FFirst;
  static inline std::deque<std::string> FBuffers;
  static inline size_t FDepth = 0;
  std::string& FText;
};

std::string InvalidIntegerText(const std::string& item) { return "'" + item + "' is not a valid integer value"; }

}  // namespace

// ---------------------------------------------------------------------------
// Finding and decoding one property.

int TisMorvoObject::IndexOfPropertyId(int Id) const {
  // The ids are sorted once a block is read; the ordered search gives the
  // first of equal ids. Lines appended later by a subclass may stand out of
  // order, so a miss is confirmed by a plain scan.
  const int i = FPropIds.IndexOfSorted(Id);
  return i >= 0 ? i : FPropIds.PosNext(Id);
}

std::string TisMorvoObject::GetPropertyText(int Id) {
  if (Id < 0) return {};
  if (Id == 0) {
    std::string text = FName;
    if (text.empty()) {
      text = FGUID;
      FName = text;
    }
    if (text.empty()) {
      text = FTypeName;
      FName = text;
    }
    if (FGUID.empty()) FGUID = NewSyntheticGUID();
    return text;
  }
  const int i = IndexOfPropertyId(Id % 10000);
  if (i < 0 || i >= static_cast<int>(FLines.size())) return {};
  return DecodeLine(Id, FLines[static_cast<size_t>(i)]);
}

std::string TisMorvoObject::DecodeLine(int Id, std::string_view Line) {
  std::string text;
  DecodeLineInto(Id, Line, text, nullptr);
  return text;
}

namespace {
inline void ReplaceLineBreakMarks(std::string& Text) {
  if (Text.find('\x02') != std::string::npos) [[unlikely]]  // nearly no value has one
    Text = ReplaceAll(std::move(Text), std::string_view("\x02\x01", 2), "\r\n");
}
}  // namespace

bool TisMorvoObject::DecodeLineInto(int Id, std::string_view Line, std::string& Text, std::string* Design,
                                    bool SpecialSeesDesign) {
  const int n = Id % 10000;
  // The value field only lives for this call: it is built in a buffer that
  // keeps its capacity from line to line (one per nesting level, should a
  // special text decode another line on the way).
  TValueFieldBuffer buffer;
  std::string& valueField = buffer.Text();
  // The delimiter is the sixth character, taken without a copy: a large
  // export decodes millions of lines.
  const bool baseWay = QuotesTheBaseWay(*this);
  if (Line.size() >= 6)
    FirstQuotedInto(*this, baseWay, Line, Line.substr(5, 1), valueField);
  else
    valueField.clear();
  const std::string_view field = valueField;
  // The design value is the first text quoted by the field's eleventh
  // character, taken as the base ExtractQuoted takes it. It goes straight
  // into Text, the text of the plain layout that nearly every line has; the
  // other layouts need it only for the special text, if at all.
  auto takeDesignValue = [&] {
    if (field.size() >= kDesignPos)
      FirstQuotedInto(*this, baseWay, field, field.substr(kDesignPos - 1, 1), Text);
    else
      Text.clear();
  };
  Text.clear();
  if (SpecialSeesDesign) takeDesignValue();

  int id = Id;
  std::string special = GetSpecialText(id, valueField, Text);
  if (!special.empty()) {
    Text = std::move(special);
  } else {
    const int group = n / 100;
    if (Listed(gMultiLineIds, n) || group == 12 || group == 13) {
      Text = GetMultiLineText(valueField, Copy(field, kDesignPos, 4));
    } else if (Listed(gSpecialIds, n)) {
      Text = LookupSpecialIn(n, ViewCopy(field, kDesignPos, 4));
    } else if (Listed(gIntValueIds, n)) {
      // The number in front of the first blank of the twelve characters from
      // the design position on.
      const std::string_view number = ViewCopy(field, kDesignPos, 12);
      const size_t blank = number.find(' ');
      Text.assign(blank == std::string_view::npos ? std::string_view() : number.substr(0, blank));
    } else if (!SpecialSeesDesign) {
      takeDesignValue();
    }  // else the plain layout: Text holds the design value already
  }

  const bool runtime = id > 9999 && Listed(gRuntimeIds, n);
  if (runtime) {
    if (Design) {
      Design->swap(Text);
      ReplaceLineBreakMarks(*Design);
    }
    // The runtime part starts behind the design value as it is stored.
    const size_t storedLength =
        field.size() >= kDesignPos ? StoredQuotedLength(field.substr(kDesignPos - 1), field[kDesignPos - 1]) : 0;
    const std::string_view runtimePart = ViewCopy(field, static_cast<int64_t>(storedLength) + kRuntimeOffset);
    if (runtimePart.empty())
      Text.clear();
    else
      FirstQuotedInto(*this, baseWay, runtimePart, runtimePart.substr(0, 1), Text);
  }
  ReplaceLineBreakMarks(Text);
  return runtime;
}

std::string TisMorvoObject::GetSpecialText(int&, const std::string&, const std::string&) { return {}; }

std::string TisMorvoObject::GetMultiLineText(const std::string& Raw, const std::string& Head) {
  const size_t blank = Pos(" ", Head);
  const int count = blank == 0 ? 0 : StrToIntDef(Copy(Head, 1, static_cast<int64_t>(blank) - 1), 0);
  const std::string rest = Copy(Raw, static_cast<int64_t>(blank) + kDesignPos, INT32_MAX);
  std::string text;
  const std::string delim = rest.substr(0, std::min<size_t>(rest.size(), 1));
  for (int k = 1; k <= count; ++k) {
    if (!delim.empty()) text += ExtractQuoted(rest, delim, k);
    text += "\r\n";
  }
  return text;
}

namespace {
// The names of the codes of property Id, split once while the configuration
// stays as it is: a grid or an export names thousands of coded values.
const TStringList& SpecialNames(int Id) {
  static uint64_t generation = 0;
  static std::unordered_map<int, TStringList> names;
  const uint64_t now = CfgGeneration();
  if (now != generation) {
    names.clear();
    generation = now;
  }
  const auto found = names.find(Id);
  if (found != names.end()) return found->second;
  return names.emplace(Id, SplitCommaText(ReadCfgString("Specials", FormatId4(Id)))).first->second;
}
}  // namespace

namespace {
// LookupSpecial on a view of the code field: a coded value is named without
// copies of its field or code.
std::string LookupSpecialIn(int Id, std::string_view CodeField) {
  const size_t blank = CodeField.find(' ');
  const std::string_view code = blank == std::string_view::npos ? std::string_view() : CodeField.substr(0, blank);
  const TStringList& names = SpecialNames(Id);
  const int k = StrToIntDef(code, 0);
  if (k >= 0 && k < static_cast<int>(names.size())) return names[static_cast<size_t>(k)];
  return "Code " + std::string(code) + " for property " + std::to_string(Id) + " is invalid";
}
}  // namespace

std::string LookupSpecial(int Id, const std::string& CodeField) { return LookupSpecialIn(Id, CodeField); }

// ---------------------------------------------------------------------------
// Searches and collections.

bool TisMorvoObject::ContainsText(const std::string& S, bool MatchCase) {
  if (S.empty()) return false;
  const std::string needle = MatchCase ? S : UpperAscii(S);
  for (const std::string_view line : FLines) {
    // The id and most of the value head are no text a user searches for.
    if (line.size() < 16) continue;
    const std::string_view tail = line.substr(15);
    if (MatchCase ? tail.find(needle) != std::string_view::npos : UpperAscii(tail).find(needle) != std::string::npos)
      return true;
  }
  return false;
}

std::string CollectPropertyValues(const std::vector<int>& Ids) {
  std::string text;
  if (!gAllObjects) return text;
  for (const TObjectEntry& entry : gAllObjects->Entries()) {
    if (!entry.Object) continue;
    for (int id : Ids) {
      const std::string value = entry.Object->GetPropertyText(id);
      if (!value.empty()) text += value + "\r\n";
    }
  }
  return text;
}

void AppendObjectValues(TisMorvoObject& Object, std::string& Text) {
  Object.LoadPropertyArrays();
  const int count = std::min(StrToIntDef(gPropNames[0], 0), kPropArraySize - 1);
  for (int i = 1; i <= count; ++i) {
    // Trim(text + CR + value), kept linear: a trimmed text that is not
    // empty starts with a printable byte, so only its end can change.
    const std::string& value = gPropValues[static_cast<size_t>(i)];
    if (Text.empty()) {
      Text = Trim(value);
      continue;
    }
    Text += '\r';
    Text += value;
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.pop_back();
  }
}

std::string CollectObjectValues(int TypeNr) {
  std::string text;
  if (!gAllObjects) return text;
  for (const TObjectEntry& entry : gAllObjects->Entries())
    if (entry.Object && entry.Object->GetTypeNumber() == TypeNr) AppendObjectValues(*entry.Object, text);
  return text;
}

// ---------------------------------------------------------------------------
// Configuration texts.

TLongIntArray ParseIdList(const std::string& Text) {
  TLongIntArray ids;
  size_t start = 0;
  while (start < Text.size()) {
    const size_t comma = Text.find(',', start);
    const size_t end = comma == std::string::npos ? Text.size() : comma;
    const std::string item = Text.substr(start, end - start);
    if (item.empty()) {
      ids.Append(0);
    } else {
      const auto value = TryStrToInt(item);
      if (!value) throw EMorvoError(InvalidIntegerText(item));
      ids.Append(*value);
    }
    if (comma == std::string::npos) break;
    start = comma + 1;  // a comma at the very end adds nothing
  }
  return ids;
}

TStringList SplitCommaText(const std::string& Text) {
  TStringList items;
  const size_t n = Text.size();
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t i = 0;
  while (i < n && isBlank(Text[i])) ++i;
  while (i < n) {
    std::string item;
    if (Text[i] == '"') {
      // Quoted item: a doubled quote stands for one; an unclosed quote runs
      // to the end of the text.
      ++i;
      while (i < n) {
        if (Text[i] == '"') {
          if (i + 1 < n && Text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Text[i++];
      }
    } else {
      const size_t first = i;
      while (i < n && !isBlank(Text[i]) && Text[i] != ',') ++i;
      item = Text.substr(first, i - first);
    }
    items.push_back(std::move(item));
    while (i < n && isBlank(Text[i])) ++i;
    if (i < n && Text[i] == ',') {
      if (i + 1 == n) items.emplace_back();
      ++i;
      while (i < n && isBlank(Text[i])) ++i;
    }
  }
  return items;
}
