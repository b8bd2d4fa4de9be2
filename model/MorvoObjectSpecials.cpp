// External-files objects, connectors, translation tables and base documents:
// four kinds of object that are read or shown apart from the generic rules.

#include "Accessors.h"
#include "FormatPattern.h"
#include "MorvoObject.h"
#include "MorvoObjectSpecialsUtil.h"
#include "StringUtil.h"

namespace {

// A stored line "id 'Head...' " whose value is Text enclosed in double
// quotes. Quotes and apostrophes inside Text are doubled so that a name like
// O'Neil or a "quoted" version reads back whole instead of being cut short.
std::string HeadedValue(const std::string& Head, const std::string& Text) {
  return " '" + specials::DoubleDelimiter(Head + "\"" + specials::DoubleDelimiter(Text, '"') + "\"", '\'') + "'";
}

constexpr int kExtFileNameOffset = 2000;
constexpr const char* kDefaultTransTableFormat = "%3d_$%0:2x_->_%3d_$%1:2x";

}  // namespace

// ---------------------------------------------------------------------------
// External files: repeated lines of one id are merged into one line, and every
// line is shown in every view, one enclosed value per row line.

void TisMorvoObject_DC_ExtFiles::AddProperty(int Id, const std::string& Value) {
  if (FName.empty()) FName = GetPropertyName(0);
  const int k = FPropIds.PosNext(Id);
  if (k >= 0) {
    FLines.AppendTo(static_cast<size_t>(k), Value);
    return;
  }
  FLines.push_back(FormatId4(Id) + Value);
  FPropIds.Append(Id);
}

// The reader parses a block's last line a second time; merged here, its value
// would be listed twice, so that second parse stores nothing.
int TisMorvoObject_DC_ExtFiles::ParseLine(const std::string& S) {
  return specials::ParseStoringOnce(*this, S, FParseDepth, FSkipPlainStore,
                                    [this](const std::string& s) { return TisMorvoObject::ParseLine(s); });
}

int TisMorvoObject_DC_ExtFiles::ReadPropertyBlock(TLineList& Lines, int Start) {
  return specials::ReadBlockCounted(*this, Lines, Start, FParseDepth);
}

namespace {

// The parts of Line enclosed by Delim, in order, as ExtractQuoted(Line, Delim,
// 1, 2, ...) gives them (a doubled delimiter inside stands for one), each
// preceded by CR LF, up to and including the first empty or missing part. One
// pass over the line: a merged line may list thousands of files.
std::string EnclosedParts(std::string_view Line, char Delim) {
  std::string text;
  std::string part;
  size_t from = 0;
  for (;;) {
    part.clear();
    const size_t open = Line.find(Delim, from);
    bool closed = false;
    if (open != std::string::npos) {
      size_t p = open + 1;
      for (;;) {
        const size_t q = Line.find(Delim, p);
        if (q == std::string::npos) break;
        part.append(Line, p, q - p);
        if (q + 1 < Line.size() && Line[q + 1] == Delim) {
          part += Delim;
          p = q + 2;
          continue;
        }
        from = q + 1;
        closed = true;
        break;
      }
    }
    if (!closed) part.clear();
    text += "\r\n";
    text += part;
    if (part.empty()) return text;
  }
}

}  // namespace

int TisMorvoObject_DC_ExtFiles::FillSpecialProperties(TLongIntArray& Ids) {
  int count = 0;
  for (const std::string_view line : FLines) {
    if (count == kPropArraySize - 1) break;
    const std::string text = line.size() >= 6 ? EnclosedParts(line, line[5]) : std::string();
    ++count;
    gPropNames[static_cast<size_t>(count)] = GetPropertyName(specials::StoredLineId(line) + kExtFileNameOffset);
    gPropValues[static_cast<size_t>(count)] = Trim(text);
  }
  return count;
}

// ---------------------------------------------------------------------------
// Connectors stand for another object of the load: they take its name, and
// their further properties go to it as well.

TisMorvoObject_PFC::TisMorvoObject_PFC() { fConnectedObj = nullptr; }

void TisMorvoObject_PFC::AddProperty(int Id, const std::string& Value) {
  if (Id <= 0) return;
  if (Id > 1) {
    TisMorvoObject::AddProperty(Id, Value);
    // The second parse of the block's last line is not passed on: the
    // connected object may merge repeated lines (external files) and would
    // list that line twice.
    if (fConnectedObj && !FTailReparse) fConnectedObj->AddProperty(Id, Value);
    return;
  }
  std::string shown;
  if (FName.empty()) {
    FName = GetPropertyName(0);
    shown = FName;
  } else if (TisMorvoObject* target = specials::FindLoadedObject(FName)) {
    fConnectedObj = target;
    FName = target->GetPropertyName(0) + " : " + target->FName;
    shown = target->FName;
  } else {
    shown = FName;
  }
  TisMorvoObject::AddProperty(1, HeadedValue("Connected ", shown));
  // The property-1 line's value as read, quotes and all: its nested quotes
  // leave the decoded value empty, so no view shows the raw text.
  TisMorvoObject::AddProperty(10, " 'Connected" + Value + "'");
}

int TisMorvoObject_PFC::ParseLine(const std::string& S) {
  return specials::ParseFlaggingTail(*this, S, FParseDepth, FTailReparse);
}

int TisMorvoObject_PFC::ReadPropertyBlock(TLineList& Lines, int Start) {
  return specials::ReadBlockCounted(*this, Lines, Start, FParseDepth);
}

// The lines passed on to the connected object arrived after its own block
// was sorted; sort them into place with this block.
void TisMorvoObject_PFC::SortPropertyLines() {
  TisMorvoObject::SortPropertyLines();
  if (fConnectedObj) fConnectedObj->SortPropertyLines();
}

// ---------------------------------------------------------------------------
// Translation tables: the link list becomes property 1102, one formatted
// entry per line; the table itself keeps no links.

namespace {

// At most 50 characters of E after its first blank (from the start when it has none).
std::string AfterFirstBlank(const std::string& E) { return Copy(E, static_cast<int64_t>(Pos(" ", E)) + 1, 50); }

// The word before E's first blank as a signed decimal number; -1 when there
// is no blank or the word is no such number. Hexadecimal forms ("$41",
// "0x41") are no decimal numbers, so they read as -1 too.
int64_t LeadingNumber(const std::string& E) {
  const size_t p = Pos(" ", E);
  if (p == 0) return -1;
  const std::string word = Copy(E, 1, static_cast<int64_t>(p) - 1);
  const size_t digits = word.empty() || (word[0] != '+' && word[0] != '-') ? 0 : 1;
  if (word.size() == digits) return -1;
  for (size_t i = digits; i < word.size(); ++i)
    if (word[i] < '0' || word[i] > '9') return -1;
  return StrToIntDef(word, -1);
}

}  // namespace

std::string TisMorvoObject_Translate_Table::FormatTranslationEntry(const std::string& Entry, const std::string& Fmt) {
  std::string e = AfterFirstBlank(Trim(Entry));
  const int64_t a = LeadingNumber(e);
  e = AfterFirstBlank(e);
  const int64_t b = LeadingNumber(e);
  std::string r = FormatPattern(Fmt, {a, b});
  // The pattern pads with blanks; the table shows zeros there and writes its
  // own blanks as "_".
  r = ReplaceAll(r, " ", "0");
  return ReplaceAll(r, "_", " ");
}

int TisMorvoObject_Translate_Table::ParseLinkList(const std::string& S) {
  TisMorvoObject::ParseLinkList(S);
  // A list without entries adds no line: the reader reads a ":"-list that
  // ends a block a second time, and that second reading finds no count.
  // Its empty 1102 line would list the table's entries twice in the
  // all-fields view (or hide them, standing first).
  if (FLinks.empty()) return 0;
  std::string fmt = ReadCfgString("Translations", "TransTableFormat");
  if (fmt.empty()) fmt = kDefaultTransTableFormat;
  std::string line = "1102 @ TranList " + std::to_string(FLinks.size());
  for (const TObjectEntry& link : FLinks) {
    // Doubled so that a pattern writing "@" or a quote cannot cut the list short.
    const std::string entry = specials::DoubleDelimiter(FormatTranslationEntry(link.Key, fmt), '"');
    line += " \"" + specials::DoubleDelimiter(entry, '@') + "\"";
  }
  line += " @";
  FLinks.clear();
  FLines.push_back(line);
  FPropIds.Append(1102);
  return 0;
}

// ---------------------------------------------------------------------------
// Base documents: property 1103 holds the version text that the object file
// names in its first line.

namespace {

// At most Count characters of the UTF-8 text S, never ending inside a character.
std::string FirstChars(const std::string& S, size_t Count) {
  size_t seen = 0;
  for (size_t i = 0; i < S.size(); ++i)
    if ((static_cast<unsigned char>(S[i]) & 0xC0) != 0x80 && seen++ == Count) return S.substr(0, i);
  return S;
}

}  // namespace

int TisMorvoObject_Base_Document::ReadObject(TLineList& Lines, int Index) {
  const int r = TisMorvoObject::ReadObject(Lines, Index);
  if (Lines.empty()) return r;
  const std::string first(Lines[0]);
  const size_t p = Pos("Version", first);
  if (p >= 2) {
    AddProperty(1103,
                HeadedValue("Version : ", FirstChars(p + 7 < first.size() ? first.substr(p + 7) : std::string(), 10)));
    SortPropertyLines();
  }
  return r;
}
