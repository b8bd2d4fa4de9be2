#pragma once

// Small helpers shared by the special design objects (flow tools, refining
// classes, external files, connectors, tables, documents).

#include <string>

#include "MorvoObject.h"
#include "StringUtil.h"

namespace specials {

// The current field filter is the all-fields filter: its text, trimmed, is "*".
inline bool IsAllFieldsView() {
  if (!gFieldFilter) return false;
  std::string text;
  for (const std::string& line : *gFieldFilter) text += line + "\r\n";
  return Trim(text) == "*";
}

// The loaded object whose key equals Key without regard to case; none for an
// empty key (only objects of an unfinished read carry one).
inline TisMorvoObject* FindLoadedObject(const std::string& Key) {
  if (!gAllObjects || Key.empty()) return nullptr;
  const int i = gAllObjects->IndexOfKey(Key);
  return i < 0 ? nullptr : gAllObjects->Object(i);
}

// The id of a stored line: its first four characters; -1 when they are no number.
inline int StoredLineId(std::string_view Line) { return TryStrToInt(Copy(Line, 1, 4)).value_or(-1); }

inline void DeleteLine(TisMorvoObject& Object, int Index) {
  Object.FLines.erase(Object.FLines.begin() + Index);
  if (Index < Object.FPropIds.Count()) Object.FPropIds.Delete(Index);
}

// Lines joined as a line list's text: each followed by CR LF.
inline std::string LinesText(const TStringList& Lines) {
  std::string text;
  for (const std::string& line : Lines) text += line + "\r\n";
  return text;
}

// Doubles every occurrence of Delim, so that a text enclosed in Delim reads
// back as it was written.
inline std::string DoubleDelimiter(const std::string& S, char Delim) {
  std::string r;
  for (char c : S) {
    r += c;
    if (c == Delim) r += c;
  }
  return r;
}

// ParseLine for objects whose lines must not be stored a second time when the
// reader re-parses a block's last line (the ":"-prefixed call it makes after
// the body). That re-parse still reads a link list; only its fall-back to the
// plain form is skipped. Property collections and content lines run with
// Depth above 0, so a ":" line among them is parsed as usual.
// Whether S is the reader's second parse of a block's last line: a ":" line
// reaching an object's own ParseLine while no other call of it runs.
inline bool IsTailReparse(const std::string& S, int Depth) {
  const std::string_view t = TrimView(S);
  return Depth == 0 && !t.empty() && t[0] == ':';
}

template <class Parse>
int ParseStoringOnce(TisMorvoObject& Self, const std::string& S, int& Depth, bool& SkipPlainStore, Parse OwnParse) {
  if (SkipPlainStore) return -1;
  const bool tail = IsTailReparse(S, Depth);
  struct TScope {
    int& depth;
    bool& skip;
    bool tail;
    ~TScope() {
      --depth;
      if (tail) skip = false;
    }
  } scope{Depth, SkipPlainStore, tail};
  ++Depth;
  if (tail) {
    SkipPlainStore = true;
    return Self.TisMorvoObject::ParseLine(S);
  }
  return OwnParse(S);
}

// The inherited ParseLine, with Tail set while the call is the reader's second
// parse of the block's last line (see ParseStoringOnce).
inline int ParseFlaggingTail(TisMorvoObject& Self, const std::string& S, int& Depth, bool& Tail) {
  const bool tail = IsTailReparse(S, Depth);
  struct TScope {
    int& depth;
    bool& flag;
    bool tail;
    ~TScope() {
      --depth;
      if (tail) flag = false;
    }
  } scope{Depth, Tail, tail};
  ++Depth;
  if (tail) Tail = true;
  return Self.TisMorvoObject::ParseLine(S);
}

// Runs the inherited ReadPropertyBlock with Depth raised (see ParseStoringOnce).
inline int ReadBlockCounted(TisMorvoObject& Self, TLineList& Lines, int Start, int& Depth) {
  struct TScope {
    int& depth;
    ~TScope() { --depth; }
  } scope{Depth};
  ++Depth;
  return Self.TisMorvoObject::ReadPropertyBlock(Lines, Start);
}

}  // namespace specials
