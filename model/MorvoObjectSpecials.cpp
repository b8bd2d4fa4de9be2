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
    FLines[static_cast<size_t>(k)] += Value;
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

int TisMorvoObject_DC_ExtFiles::ReadPropertyBlock(TStringList& Lines, int Start) {
  return specials::ReadBlockCounted(*this, Lines, Start, FParseDepth);
}

int TisMorvoObject_DC_ExtFiles::FillSpecialProperties(TLongIntArray& Ids) {
  int count = 0;
  for (const std::string& line : FLines) {
    if (count == kPropArraySize - 1) break;
    const std::string delim = Copy(line, 6, 1);
    std::string text;
    // Every enclosed part, up to and including the first empty one; the
    // bound only guards against a delimiter that never closes.
    for (size_t k = 1; !delim.empty() && k <= line.size(); ++k) {
      const std::string part = ExtractQuoted(line, delim, static_cast<int>(k));
      text += "\r\n" + part;
      if (part.empty()) break;
    }
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
  TisMorvoObject::AddProperty(10, " '" + specials::DoubleDelimiter("Connected" + Value, '\'') + "'");
}

int TisMorvoObject_PFC::ParseLine(const std::string& S) {
  return specials::ParseFlaggingTail(*this, S, FParseDepth, FTailReparse);
}

int TisMorvoObject_PFC::ReadPropertyBlock(TStringList& Lines, int Start) {
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

// The word before E's first blank as a number; -1 when there is no blank or no number.
int64_t LeadingNumber(const std::string& E) {
  const size_t p = Pos(" ", E);
  if (p == 0) return -1;
  return StrToIntDef(Copy(E, 1, static_cast<int64_t>(p) - 1), -1);
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

int TisMorvoObject_Base_Document::ReadObject(TStringList& Lines, int Index) {
  const int r = TisMorvoObject::ReadObject(Lines, Index);
  if (Lines.empty()) return r;
  const std::string& first = Lines[0];
  const size_t p = Pos("Version", first);
  if (p >= 2) {
    AddProperty(1103, HeadedValue("Version : ", Copy(first, static_cast<int64_t>(p) + 8, 10)));
    SortPropertyLines();
  }
  return r;
}
