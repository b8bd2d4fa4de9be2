#pragma once

// The export engine: writes the tree as shown (the current view's objects
// and properties, in the order shown) into a text file whose every line comes
// from a template of one export section of "MorvoObject.cfg". The engine
// knows no export by name; it only fills templates.
//
// It is free of widgets: the main window hands it the tree and the few texts
// it needs (TExportSource) and does the window work around it (commands,
// status panel, message box).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ExportDocument.h"
#include "FormatPattern.h"
#include "ObjectTree.h"
#include "PropertyOrder.h"
#include "WholeFile.h"

// What one export reads from the main window and the system.
struct TExportSource {
  const TObjectTree* Tree = nullptr;
  std::string Caption;         // the main window's caption
  std::string AppTitle;        // the application title
  std::string ProgramFile;     // the program's own file (its version goes into "TitleLine")
  std::string LoadedFileName;  // full path of the loaded object file
  std::string CurrentView;     // name of the current view
  std::string Today;           // today's date in the short date format
  // Reads one template; ReadCfgString when not set.
  std::function<std::string(const std::string& Section, const std::string& Ident)> ReadTemplate;
};

enum class TExportOutcome { Written, Stopped, Failed };

struct TExportResult {
  TExportOutcome Outcome = TExportOutcome::Failed;
  std::string Message;  // the failure's text, for the message box
};

class TExportEngine {
 public:
  TExportEngine(const TExportSource& Source, std::string ExportName);

  // Builds the whole document: its entries, each followed by CR LF. False
  // when the walk was stopped because the application is terminating.
  // Failures raise EMorvoError.
  bool BuildDocument(TExportDocument& Output);

  // Walks the run of siblings that starts at FirstNode at depth n. Text gets
  // their joined text; at depth 1 each node's text goes to the document
  // instead and Text stays empty. False when stopped.
  bool ExportLevel(TObjectTreeNode* FirstNode, int n, std::string& Text);
  // Appends one object's block at depth n; false when the view shows none
  // of its properties (nothing appended).
  bool AppendObjectPropertyLines(std::string& Out, TisMorvoObject* Object, int n);
  // Which is "Start" or "End": the formatted Which + "Level" + n line with its CR LF.
  std::string GetLevelLine(const std::string& Which, int n);

 private:
  // Text built from pieces that are linked, not copied, so that a deep tree
  // costs time in proportion to its text and not to depth times text.
  struct TChain {
    int Head = -1;
    int Tail = -1;
    bool Empty() const { return Head < 0; }
  };
  struct TFrame {
    const std::vector<std::unique_ptr<TObjectTreeNode>>* Siblings;
    size_t Index;
    int n;
    TChain Text;  // the run's text so far (depth 2 and deeper)
  };

  // A property name's line with CR LF, and that line followed by the text of
  // each value template in front of its plain directive (when it has one).
  struct TNameLines {
    std::string Name, IntHead, StrHead;
  };
  // The templates of one depth, and its name lines: the same few hundred
  // property names come on every object, each formatted once per export.
  struct TLevel {
    const std::string* Name = nullptr;
    const std::string* ValueInt = nullptr;
    const std::string* ValueStr = nullptr;
    // Where the one plain "%d" or "%s" of a value template stands (npos: the
    // template goes to the formatter), and its text behind it with CR LF.
    size_t ValueIntAt = std::string::npos, ValueStrAt = std::string::npos;
    std::string IntTail, StrTail;
    std::unordered_map<std::string, TNameLines> NameLines;  // by property name
    std::optional<std::string> StartLine, EndLine;          // formatted, with CR LF
    // "LevelObjectStart": read when first needed; when PlainStart, the fixed
    // texts around its name, type and image.
    const std::string* ObjectStart = nullptr;
    bool PlainStart = false;
    std::array<std::string, 4> StartParts;
    std::optional<std::string> ObjectEnd;  // "LevelObjectEnd" with CR LF
  };

  const std::string& Template(const std::string& Key);
  const std::string& LevelTemplate(const char* Key, int n);
  TLevel& Level(int n);
  // GetLevelLine, formatted once per depth.
  const std::string& LevelLine(bool Start, int n);
  std::string Format(const std::string& Pattern, const std::vector<TFormatArg>& Args);
  std::string T(const std::string& S) const;
  // Appends T(S).
  void AppendTranslated(std::string& Out, const std::string& S) const;
  // Appends the formatted "LevelObjectStart" + n line with its CR LF.
  void AppendObjectStartLine(std::string& Out, TisMorvoObject* Object, TLevel& Level, int n);
  const std::string& ObjectEndLine(TLevel& Level, int n);
  const TNameLines& NameLines(TLevel& Level, const std::string& Name);
  // Appends a property's name line and value line.
  void AppendProperty(std::string& Out, const std::string& Name, const std::string& Value, TLevel& Level);

  TChain Piece(std::string S);
  TChain Join(TChain A, TChain B);
  std::string Flatten(TChain C);
  // Appends the chain's text and CR LF to the document.
  void AppendEntry(TChain C);
  void ClearPieces();
  TChain LeafText(TisMorvoObject* Object, int n);
  bool Walk(const std::vector<std::unique_ptr<TObjectTreeNode>>& Siblings, size_t First, int n, std::string& Text);

  const TExportSource& FSource;
  std::string FExportName;
  bool FTranslate = true;
  bool FSortProperties = true;
  TPropertyOrder FPropertyOrder;
  TExportDocument* FOutput = nullptr;
  std::unordered_map<std::string, std::string> FTemplates;  // node-based: references stay valid
  std::unordered_map<int, TLevel> FLevels;
  std::vector<std::string> FPieces;
  std::vector<int> FNext;
  std::string FOwnLines;  // a leaf's lines, in room kept from leaf to leaf
};

// Builds the export ExportName of the tree in Source and writes it to
// FileName (CR LF line ends, no byte-order mark, bytes unchanged). Never
// raises: a failure comes back with its message. Nothing is written when the
// export stops or fails, and an existing file is then left as it was. A
// FileName that is the loaded object file itself is refused: an object file
// is never replaced by its export.
TExportResult SaveCurrentViewToFile(const std::string& FileName, const std::string& ExportName,
                                    const TExportSource& Source);

// The export file of an object file: its last extension (a "." in the last
// path component) replaced by "." + ExportName, or "." + ExportName appended.
std::string ExportFileName(const std::string& ObjectFileName, const std::string& ExportName);


// The export file while its document is built: the bytes go into a
// temporary file in the same folder, which replaces FileName on Commit. A
// failure to open or write is kept until Commit, which raises EMorvoError
// naming the file; dropped without Commit, nothing of it stays.
class TExportFile {
 public:
  explicit TExportFile(std::string FileName);
  bool Write(std::string_view Bytes);
  // Written: every byte reached Write without a failure.
  void Commit(bool Written);

 private:
  std::string FFileName;
  TWholeFileWriter FWriter;
  bool FOpen = false;
};

// True when both names lead to one existing file.
bool IsSameExistingFile(const std::string& A, const std::string& B);
