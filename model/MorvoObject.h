#pragma once

// The design objects of an object file, the factory that picks their class,
// the reader and the module state that one load leaves behind.
//
// Strings are bytes: UTF-8 for object data (names, GUIDs, property lines),
// system code page for the texts of the definition files.

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "LineList.h"
#include "LongIntArray.h"
#include "ProfileFile.h"
#include "PropertyLines.h"

class TisMorvoObject;

using TStringList = std::vector<std::string>;

// An entry of an object list: a key (GUID, caption or link text) and the
// object it stands for, or none (an unresolved link). Never owning.
struct TObjectEntry {
  std::string Key;
  TisMorvoObject* Object = nullptr;
};
using TObjectList = std::vector<TObjectEntry>;

// A line of "ObjectProperties.txt" with the id read from its first four
// characters (-1 when they are no number).
struct TTaggedLine {
  std::string Text;
  int Tag = -1;
};
using TTaggedLineList = std::vector<TTaggedLine>;

// The owning list of every object of a load, in the order their blocks were
// completed (children before parents). Keys are looked up as whole keys
// without regard to case, the first match in list order winning; an index
// keeps that fast on files of 100,000 objects.
class TAllObjectList {
 public:
  TAllObjectList() = default;
  ~TAllObjectList();  // destroys the objects in list order
  TAllObjectList(const TAllObjectList&) = delete;
  TAllObjectList& operator=(const TAllObjectList&) = delete;

  int Count() const { return static_cast<int>(FEntries.size()); }
  const std::string& Key(int i) const { return FEntries[static_cast<size_t>(i)].Key; }
  TisMorvoObject* Object(int i) const { return FEntries[static_cast<size_t>(i)].Object; }
  const TObjectList& Entries() const { return FEntries; }

  // Room for count entries, so a large load is not indexed again at every doubling.
  void Reserve(size_t count);
  // Takes ownership of object.
  void Append(const std::string& key, TisMorvoObject* object);
  void SetKey(int i, const std::string& key);
  // Index of the first entry whose key equals key without regard to case; -1 when none.
  int IndexOfKey(const std::string& key) const;
  // IndexOfKey(Key(i)), found from entry i's place among the entries of its key.
  int FirstOfKey(int i) const;
  // Destroys every object, in list order, and empties the list.
  void Clear();

 private:
  // One slot of the open-addressing table: the first and last entry of the
  // ascending chain of entries carrying one folded key (FHead < 0: a slot
  // whose key left the list, skipped by look-ups). The hash of the key is
  // that of its first entry.
  struct TSlot {
    int FHead = -2;  // -2: never used
    int FTail = -1;
  };
  static uint32_t HashKey(const std::string& key);
  static size_t SlotsFor(size_t count);
  size_t FindSlot(const std::string& key, uint32_t hash) const;  // a slot with FHead == -2 when absent
  void IndexAdd(int i);
  void IndexRemove(int i);
  void Rehash(size_t capacity);
  TObjectList FEntries;
  // Per entry, the previous and next entry of the same key (-1: none) and
  // the hash of its key.
  std::vector<int> FPrev, FNext;
  std::vector<uint32_t> FHashes;
  std::vector<TSlot> FSlots;  // capacity a power of two, at most half used
  size_t FUsedSlots = 0;      // slots ever taken since the last rehash
};

// ---------------------------------------------------------------------------
// The design object.

// The list delimiter of an object: one character or none, read like a
// string of at most one character, in two bytes rather than a string's 32.
class TListDelimiter {
 public:
  TListDelimiter() = default;
  TListDelimiter(const std::string& S)
      : FChar(S.empty() ? '\0' : S[0]), FSet(!S.empty()) {}  // NOLINT: read as a string
  bool empty() const { return !FSet; }
  size_t size() const { return FSet ? 1 : 0; }
  char operator[](size_t) const { return FChar; }
  operator std::string() const { return FSet ? std::string(1, FChar) : std::string(); }  // NOLINT
  friend bool operator==(const TListDelimiter& A, const std::string& B) { return std::string(A) == B; }

 private:
  char FChar = '\0';
  bool FSet = false;
};

class TisMorvoObject {
 public:
  TisMorvoObject();  // the constructor of the design ("Create" with no owner)
  virtual ~TisMorvoObject();
  TisMorvoObject(const TisMorvoObject&) = delete;
  TisMorvoObject& operator=(const TisMorvoObject&) = delete;

  // The virtual operations, in the order of their slots.
  virtual void LoadPropertyArrays();
  virtual int FillSpecialProperties(TLongIntArray& Ids);
  virtual std::string GetPropertyText(int Id);
  virtual std::string GetSpecialText(int& Id, const std::string& ValueField, const std::string& DesignValue);
  virtual std::string GetMultiLineText(const std::string& Raw, const std::string& Head);
  virtual std::string ExtractQuoted(const std::string& S, const std::string& Delim, int N);
  virtual int ReadPropertyBlock(TLineList& Lines, int Start);
  virtual int ParseLine(const std::string& S);
  virtual void AddProperty(int Id, const std::string& Value);
  virtual int ParseLinkList(const std::string& S);
  virtual std::string GetPropertyName(int Id);
  virtual int GetTypeNumber();
  virtual std::string EncodeDelimiters(const std::string& S);
  virtual void RenumberDuplicates();
  virtual void SortPropertyLines();
  virtual bool ParseHeader(std::string_view Line);
  virtual int ReadObject(TLineList& Lines, int Index);
  virtual std::string GetTypeNumberText();

  bool ContainsText(const std::string& S, bool MatchCase);

  // Decodes one stored line as GetPropertyText(Id) decodes the line it finds
  // for Id (Id + 10000 asking for the runtime value). The reader uses it on a
  // specific line while FPropIds is still in reading order.
  std::string DecodeLine(int Id, std::string_view Line);
  // DecodeLine into Text, whose room is kept. True when the runtime step
  // replaced the text; the text before that step then goes to Design when
  // given. SpecialSeesDesign false: GetSpecialText is known not to read its
  // DesignValue, which is then taken only where the layout shows it.
  bool DecodeLineInto(int Id, std::string_view Line, std::string& Text, std::string* Design,
                      bool SpecialSeesDesign = true);
  // Index in FLines of the first line carrying Id; -1 when there is none.
  int IndexOfPropertyId(int Id) const;

  // Fields, in declaration order of the design but for the numbers, kept
  // together so that no padding is paid on each of many objects.
  int FTypeNr = 0;             // cached type number; 0 = not yet computed
  int FBaseTypeNr = 0;         // the number the factory chose the class by
  TListDelimiter FDelim;       // the list delimiter (one character)
  std::string FGUID;           // the object's key; may be empty
  std::string FTypeName;       // "TYPE=" of the header
  std::string FName;           // "NAME=" of the header, else property 1
  TObjectList FChildren;       // nested blocks in file order
  TObjectList FLinks;          // link-list names, then children not named there
  TPropertyLines FLines;       // "%.4d" id + value as read
  TLongIntArrayStub FPropIds;  // the id of each line, same order
};

// The twelve classes the factory may create. Their behaviour lives in
// MorvoObjectFlowTools.cpp, MorvoObjectRefinement.cpp and MorvoObjectSpecials.cpp.

class TisMorvoObject_FlowTool : public TisMorvoObject {
 public:
  int FillSpecialProperties(TLongIntArray& Ids) override;
  std::string GetPropertyName(int Id) override;
  int ReadPropertyBlock(TLineList& Lines, int Start) override;

  int FCondBaseId = 0;
  int FCondFirstId = 0;
  int FCondGroup = 0;

 protected:
  void SetConditionGroup(int CondBaseId, const char* Marker);
  // Condition id of a source text: the first condition when it holds a quoted part.
  int ConditionId(const std::string& V);
  // The If and OoMD conversion; V is stored from position SourcePos on.
  int ParseConditionLine(const std::string& S, int SourcePos);
  // Runs Parse, but keeps the block's last line from being stored twice.
  int ParseOnce(const std::string& S, int (TisMorvoObject_FlowTool::*Parse)(const std::string&));
  int ParseIfLine(const std::string& S);
  int ParseOoMDLine(const std::string& S);
  int ParseOoMLLine(const std::string& S);

  std::string FMarker;  // written between delimiter and condition text
  int FParseDepth = 0;  // ParseLine calls in progress, property collections included
  bool FSkipPlainStore = false;
};

class TisMorvoObject_If : public TisMorvoObject_FlowTool {
 public:
  TisMorvoObject_If();
  int ParseLine(const std::string& S) override;
};

class TisMorvoObject_OoM : public TisMorvoObject_FlowTool {
 public:
  std::string GetSpecialText(int& Id, const std::string& ValueField, const std::string& DesignValue) override;
};

class TisMorvoObject_OoMD : public TisMorvoObject_OoM {
 public:
  TisMorvoObject_OoMD();
  int ParseLine(const std::string& S) override;
};

class TisMorvoObject_OoML : public TisMorvoObject_OoM {
 public:
  TisMorvoObject_OoML();
  int ParseLine(const std::string& S) override;
};

class TisMorvoObject_ODElement : public TisMorvoObject {
 public:
  std::string GetSpecialText(int& Id, const std::string& ValueField, const std::string& DesignValue) override;
  void AddProperty(int Id, const std::string& Value) override;
  int GetTypeNumber() override;
};

class TisMorvoObject_Segment : public TisMorvoObject {
 public:
  int GetTypeNumber() override;
};

class TisMorvoObject_Input_Struct : public TisMorvoObject {
 public:
  int GetTypeNumber() override;
};

class TisMorvoObject_DC_ExtFiles : public TisMorvoObject {
 public:
  int FillSpecialProperties(TLongIntArray& Ids) override;
  void AddProperty(int Id, const std::string& Value) override;
  int ParseLine(const std::string& S) override;
  int ReadPropertyBlock(TLineList& Lines, int Start) override;

 private:
  int FParseDepth = 0;  // as in the flow tools: the last line is merged once
  bool FSkipPlainStore = false;
};

class TisMorvoObject_PFC : public TisMorvoObject {
 public:
  TisMorvoObject_PFC();
  void AddProperty(int Id, const std::string& Value) override;
  void SortPropertyLines() override;
  int ParseLine(const std::string& S) override;
  int ReadPropertyBlock(TLineList& Lines, int Start) override;

  TisMorvoObject* fConnectedObj = nullptr;  // not owned

 private:
  int FParseDepth = 0;
  bool FTailReparse = false;  // the reader's second parse of the block's last line
};

class TisMorvoObject_Translate_Table : public TisMorvoObject {
 public:
  int ParseLinkList(const std::string& S) override;
  // One entry of the table ("x 65 97 ...") through the configured format.
  static std::string FormatTranslationEntry(const std::string& Entry, const std::string& Fmt);
};

class TisMorvoObject_Base_Document : public TisMorvoObject {
 public:
  int ReadObject(TLineList& Lines, int Index) override;
};

// ---------------------------------------------------------------------------
// Factory and module routines.

// Creates the object for a block's header line; only FBaseTypeNr is set.
// ReadObject hands the object to gAllObjects once its block is complete, so a
// caller releases its unique_ptr after ReadObject returns, and lets it delete
// the object when ReadObject raises.
std::unique_ptr<TisMorvoObject> CreateObjectForHeader(std::string_view HeaderLine);
// The same for the type name HeaderTypeName gave.
std::unique_ptr<TisMorvoObject> CreateObjectForTypeName(const std::string& TypeName);
// The type name a header line gives (what ParseHeader sets FTypeName to);
// empty for a line that is no header.
std::string HeaderTypeName(std::string_view HeaderLine);

// Releases one load (object lists, definition tables, configuration handle,
// view filter). Must not run while gLoading is set.
void FreeAllObjects();

// Reads an object file into the object lists: > 0 read (the line index where
// reading ended), 0 terminating before parsing, -1 not an object file.
// Errors (EMorvoError) pass to the caller.
int ReadObjectFile(const std::string& FileName);
void LoadSettings();

// Property value decoding helpers of the module.
// The N-th text of S enclosed in Delim (1-based), a doubled Delim inside
// standing for one, written into Out (the base ExtractQuoted); empty when S
// holds fewer.
void NthQuotedInto(std::string_view S, std::string_view Delim, int N, std::string& Out);
std::string LookupSpecial(int Id, const std::string& CodeField);
// What the base GetPropertyName(Id) gives for 0 < Id < 10000, into Name.
void AssignBasePropertyName(std::string& Name, int Id);
// Parses a configuration id list ("12,3", ",7"); fails with
// EMorvoError("'x' is not a valid integer value").
TLongIntArray ParseIdList(const std::string& Text);
// Splits comma text: items separated by commas or unquoted blanks, double
// quotes allowed, a trailing comma adding an empty last item.
TStringList SplitCommaText(const std::string& Text);
std::string CollectPropertyValues(const std::vector<int>& Ids);
std::string CollectObjectValues(int TypeNr);
// One object's share of CollectObjectValues, appended to Text.
void AppendObjectValues(TisMorvoObject& Object, std::string& Text);

// Views.
void SetExtraFields(const std::string& MandatoryFields);
void SetFieldFilter(const std::string& Fields);
// Both of the above from the keys "MandatoryFields" and "Fields" of view
// section Section; a failure names the file, section and key.
void SetViewFields(const std::string& Section);
void SetViewMode(int Mode);
void SortUniqueIds(TLongIntArray& Ids);

// ---------------------------------------------------------------------------
// Module state of one load and of the current view.

extern std::unique_ptr<TAllObjectList> gAllObjects;
extern std::unique_ptr<TObjectList> gTopObjects;
extern std::unique_ptr<TObjectList> gRootObjects;
extern std::unique_ptr<TStringList> gTypeNumTable;
extern std::unique_ptr<TTaggedLineList> gPropNameTable;
extern std::unique_ptr<TLongIntArray> gRuntimeIds;
extern std::unique_ptr<TLongIntArray> gSpecialIds;
extern std::unique_ptr<TLongIntArray> gMultiLineIds;
extern std::unique_ptr<TLongIntArray> gIntValueIds;
extern std::unique_ptr<TProfileFile> gCfgIni;
extern std::unique_ptr<TStringList> gFieldFilter;  // "*" alone, or id texts
extern std::unique_ptr<TLongIntArray> gExtraFieldIds;
extern int gViewMode;

constexpr int kPropArraySize = 101;  // entry 0 + 100 properties
extern std::array<std::string, kPropArraySize> gPropNames;
extern std::array<std::string, kPropArraySize> gPropValues;
// Tells apart objects whose GUID is empty: the object the arrays were filled
// for last (never dereferenced).
extern const TisMorvoObject* gPropArraysObject;

extern bool gLoading;
