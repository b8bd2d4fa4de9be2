#include "ExportEngine.h"

#include <array>
#include <charconv>
#include <exception>
#include <iterator>
#include <new>

#include "Accessors.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "PathNames.h"
#include "ProfileFile.h"
#include "Settings.h"
#include "StringUtil.h"
#include "XMLTrans.h"

namespace {
const std::string kCrLf = "\r\n";

// A value template is nearly always one plain "%s" or "%d" between fixed
// texts: where it stands, so the value is put in place without the
// formatter; npos for any other template.
size_t PlainDirective(const std::string& Pattern, char Conversion) {
  const size_t p = Pattern.find('%');
  if (p != std::string::npos && p + 1 < Pattern.size() && Pattern[p + 1] == Conversion &&
      Pattern.find('%', p + 2) == std::string::npos)
    return p;
  return std::string::npos;
}

// An object's start line is nearly always its name, its type and its image
// as plain "%s", "%s" and "%d" in that order between fixed texts: the
// template is cut once into those texts ("%%" made "%"), so each object's
// line is put together without the formatter. False for any other template.
bool SplitPlainStartLine(std::string_view Pattern, std::array<std::string, 4>& Parts) {
  static constexpr char kOrder[] = {'s', 's', 'd'};
  for (std::string& part : Parts) part.clear();
  size_t directives = 0;
  for (size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] != '%') {
      Parts[directives] += Pattern[i];
      continue;
    }
    if (i + 1 >= Pattern.size()) return false;
    const char next = Pattern[++i];
    if (next == '%') {
      Parts[directives] += '%';
      continue;
    }
    if (directives == std::size(kOrder) || next != kOrder[directives]) return false;
    ++directives;
  }
  return directives == std::size(kOrder);
}

// The decimal text of Number, without a string of its own.
std::string_view DecimalText(int64_t Number, std::array<char, 24>& Room) {
  const auto end = std::to_chars(Room.data(), Room.data() + Room.size(), Number).ptr;
  return {Room.data(), static_cast<size_t>(end - Room.data())};
}
}  // namespace

TExportEngine::TExportEngine(const TExportSource& Source, std::string ExportName)
    : FSource(Source), FExportName(std::move(ExportName)) {}

// Every template is looked up once per export: a tree of 100,000 objects
// asks for its templates a million times.
const std::string& TExportEngine::Template(const std::string& Key) {
  auto found = FTemplates.find(Key);
  if (found != FTemplates.end()) return found->second;
  std::string value = FSource.ReadTemplate ? FSource.ReadTemplate(FExportName, Key) : ReadCfgString(FExportName, Key);
  return FTemplates.emplace(Key, std::move(value)).first->second;
}

const std::string& TExportEngine::LevelTemplate(const char* Key, int n) { return Template(Key + std::to_string(n)); }

const std::string& TExportEngine::LevelLine(bool Start, int n) {
  TLevel& level = Level(n);
  std::optional<std::string>& line = Start ? level.StartLine : level.EndLine;
  if (!line) line = GetLevelLine(Start ? "Start" : "End", n);
  return *line;
}

TExportEngine::TLevel& TExportEngine::Level(int n) {
  auto [it, added] = FLevels.try_emplace(n);
  if (added) {
    it->second.Name = &LevelTemplate("LevelName", n);
    it->second.ValueInt = &LevelTemplate("LevelValueInt", n);
    it->second.ValueStr = &LevelTemplate("LevelValueStr", n);
    TLevel& level = it->second;
    level.ValueIntAt = PlainDirective(*level.ValueInt, 'd');
    level.ValueStrAt = PlainDirective(*level.ValueStr, 's');
    if (level.ValueIntAt != std::string::npos) level.IntTail = level.ValueInt->substr(level.ValueIntAt + 2) + kCrLf;
    if (level.ValueStrAt != std::string::npos) level.StrTail = level.ValueStr->substr(level.ValueStrAt + 2) + kCrLf;
  }
  return it->second;
}

std::string TExportEngine::Format(const std::string& Pattern, const std::vector<TFormatArg>& Args) {
  return FormatPattern(Pattern, Args);
}

std::string TExportEngine::T(const std::string& S) const { return FTranslate ? TranslateXMLString(S) : S; }

std::string TExportEngine::GetLevelLine(const std::string& Which, int n) {
  return Format(Template(Which + "Level" + std::to_string(n)), {int64_t{n}}) + kCrLf;
}

void TExportEngine::AppendTranslated(std::string& Out, const std::string& S) const {
  if (FTranslate && XMLTranslationChanges(S))
    Out += TranslateXMLString(S);
  else
    Out += S;
}

void TExportEngine::AppendObjectStartLine(std::string& Out, TisMorvoObject* Object, TLevel& Level, int n) {
  const std::string type = Object->GetPropertyName(0);
  const int64_t image = TypeNumberToImageIndex(Object->GetTypeNumber());
  if (!Level.ObjectStart) {
    Level.ObjectStart = &LevelTemplate("LevelObjectStart", n);
    Level.PlainStart = SplitPlainStartLine(*Level.ObjectStart, Level.StartParts);
  }
  if (Level.PlainStart) {
    std::array<char, 24> room;
    Out += Level.StartParts[0];
    AppendTranslated(Out, Object->FName);
    Out += Level.StartParts[1];
    AppendTranslated(Out, type);
    Out += Level.StartParts[2];
    Out += DecimalText(image, room);
    Out += Level.StartParts[3];
  } else {
    Out += Format(*Level.ObjectStart, {T(Object->FName), T(type), image});
  }
  Out += kCrLf;
}

const std::string& TExportEngine::ObjectEndLine(TLevel& Level, int n) {
  if (!Level.ObjectEnd) Level.ObjectEnd = LevelTemplate("LevelObjectEnd", n) + kCrLf;
  return *Level.ObjectEnd;
}

const TExportEngine::TNameLines& TExportEngine::NameLines(TLevel& Level, const std::string& Name) {
  auto found = Level.NameLines.find(Name);
  if (found != Level.NameLines.end()) return found->second;
  TNameLines lines;
  lines.Name = Format(*Level.Name, {T(Name)}) + kCrLf;
  if (Level.ValueIntAt != std::string::npos) lines.IntHead = lines.Name + Level.ValueInt->substr(0, Level.ValueIntAt);
  if (Level.ValueStrAt != std::string::npos) lines.StrHead = lines.Name + Level.ValueStr->substr(0, Level.ValueStrAt);
  return Level.NameLines.emplace(Name, std::move(lines)).first->second;
}

void TExportEngine::AppendProperty(std::string& Out, const std::string& Name, const std::string& Value, TLevel& Level) {
  const TNameLines& lines = NameLines(Level, Name);
  const std::optional<int32_t> number = TryStrToInt(Value);
  if (number && *number != -20000) {
    if (Level.ValueIntAt != std::string::npos) {
      std::array<char, 24> room;
      Out += lines.IntHead;
      Out += DecimalText(*number, room);
      Out += Level.IntTail;
    } else {
      Out += lines.Name;
      Out += Format(*Level.ValueInt, {int64_t{*number}});
      Out += kCrLf;
    }
    return;
  }
  // Translation first, so the "NewLine" text itself is never translated.
  // Most values need neither step and go in as they are.
  std::string_view text = Value;
  std::string changed;
  if (FTranslate && XMLTranslationChanges(Value)) {
    changed = TranslateXMLString(Value);
    text = changed;
  }
  if (text.find(kCrLf) != std::string_view::npos) {
    changed = ReplaceAll(std::string(text), kCrLf, Template("NewLine"));
    text = changed;
  }
  if (Level.ValueStrAt != std::string::npos) {
    Out += lines.StrHead;
    Out += text;
    Out += Level.StrTail;
  } else {
    Out += lines.Name;
    Out += Format(*Level.ValueStr, {std::string(text)});
    Out += kCrLf;
  }
}

bool TExportEngine::AppendObjectPropertyLines(std::string& Out, TisMorvoObject* Object, int n) {
  if (!Object) return false;
  Object->LoadPropertyArrays();
  const bool shown = gPropNames[0] != "0";
  TLevel& level = Level(n);
  const std::vector<int>& order = FPropertyOrder.Of(FSortProperties);
  const size_t before = Out.size();
  // Room for the block at once: the start line and about a name line and a
  // value line per property.
  size_t room = 256 + Object->FName.size();
  for (const int i : order)
    if (i >= 1 && i < kPropArraySize) room += 64 + level.ValueStr->size() + gPropValues[static_cast<size_t>(i)].size();
  Out.reserve(before + room);
  if (shown) AppendObjectStartLine(Out, Object, level, n);
  for (const int i : order) {
    if (i < 1 || i >= kPropArraySize) continue;
    AppendProperty(Out, gPropNames[static_cast<size_t>(i)], gPropValues[static_cast<size_t>(i)], level);
  }
  if (shown) Out += ObjectEndLine(level, n);
  return Out.size() != before;
}

TExportEngine::TChain TExportEngine::Piece(std::string S) {
  if (S.empty()) return {};
  FPieces.push_back(std::move(S));
  FNext.push_back(-1);
  const int index = static_cast<int>(FPieces.size()) - 1;
  return {index, index};
}

TExportEngine::TChain TExportEngine::Join(TChain A, TChain B) {
  if (A.Empty()) return B;
  if (B.Empty()) return A;
  FNext[static_cast<size_t>(A.Tail)] = B.Head;
  return {A.Head, B.Tail};
}

std::string TExportEngine::Flatten(TChain C) {
  size_t size = 0;
  for (int i = C.Head; i >= 0; i = FNext[static_cast<size_t>(i)]) size += FPieces[static_cast<size_t>(i)].size();
  std::string text;
  text.reserve(size);
  for (int i = C.Head; i >= 0; i = FNext[static_cast<size_t>(i)]) text += FPieces[static_cast<size_t>(i)];
  return text;
}

void TExportEngine::AppendEntry(TChain C) {
  for (int i = C.Head; i >= 0; i = FNext[static_cast<size_t>(i)]) FOutput->Append(FPieces[static_cast<size_t>(i)]);
  FOutput->Append(kCrLf);
}

void TExportEngine::ClearPieces() {
  FPieces.clear();
  FNext.clear();
}

// A node without children: its lines between the level's start and end
// lines, in one piece; nothing when it has no lines.
TExportEngine::TChain TExportEngine::LeafText(TisMorvoObject* Object, int n) {
  FOwnLines.clear();
  if (!AppendObjectPropertyLines(FOwnLines, Object, n)) return {};
  const std::string& start = LevelLine(true, n);
  const std::string& end = LevelLine(false, n);
  std::string text;
  text.reserve(start.size() + FOwnLines.size() + end.size());
  text += start;
  text += FOwnLines;
  text += end;
  ReleaseLargeBuffer(FOwnLines);
  return Piece(std::move(text));
}

bool TExportEngine::ExportLevel(TObjectTreeNode* FirstNode, int n, std::string& Text) {
  Text.clear();
  if (!FirstNode) return true;
  const auto& siblings = FirstNode->Parent ? FirstNode->Parent->Children : FSource.Tree->TopNodes;
  size_t first = 0;
  while (first < siblings.size() && siblings[first].get() != FirstNode) ++first;
  return Walk(siblings, first, n, Text);
}

// The tree is walked with a stack of its own: a chain of 100,000 nested
// objects must not exhaust the call stack.
bool TExportEngine::Walk(const std::vector<std::unique_ptr<TObjectTreeNode>>& Siblings, size_t First, int n,
                         std::string& Text) {
  std::vector<TFrame> stack;
  stack.push_back({&Siblings, First, n, {}});

  // A node's text goes to the output list at depth 1 and joins its run deeper down.
  auto emit = [&](TChain nodeText) {
    TFrame& frame = stack.back();
    if (frame.n == 1 && FOutput) {
      AppendEntry(nodeText);
      ClearPieces();
    } else {
      frame.Text = Join(frame.Text, nodeText);
    }
    ++frame.Index;
  };

  for (;;) {
    TFrame& frame = stack.back();
    if (frame.Index >= frame.Siblings->size()) {
      // The run is complete: it is the Sub of the node one level up.
      const TChain sub = frame.Text;
      stack.pop_back();
      if (stack.empty()) {
        Text = Flatten(sub);
        ClearPieces();
        return true;
      }
      const TFrame& parent = stack.back();
      const int depth = parent.n;
      TisMorvoObject* object = (*parent.Siblings)[parent.Index]->Object;
      TChain nodeText;
      if (sub.Empty()) {
        nodeText = LeafText(object, depth);
      } else {
        std::string own;
        AppendObjectPropertyLines(own, object, depth);
        nodeText = Piece(LevelLine(true, depth));
        if (!object) {
          // A node without an object has no lines of its own to put around its children.
          nodeText = Join(nodeText, sub);
        } else if (!own.empty()) {
          nodeText = Join(nodeText, Piece(std::move(own)));
          nodeText = Join(nodeText, sub);
        } else {
          // The view shows none of the object's own properties: its children
          // stand between its first and last line.
          std::string start;
          AppendObjectStartLine(start, object, Level(depth), depth);
          nodeText = Join(nodeText, Piece(std::move(start)));
          nodeText = Join(nodeText, sub);
          nodeText = Join(nodeText, Piece(ObjectEndLine(Level(depth), depth)));
        }
        nodeText = Join(nodeText, Piece(LevelLine(false, depth)));
      }
      emit(nodeText);
      continue;
    }

    ProcessMessagesSliced();
    if (ApplicationTerminating()) {
      ClearPieces();
      return false;
    }
    CallProgressHook();

    TObjectTreeNode* node = (*frame.Siblings)[frame.Index].get();
    if (!node->Children.empty()) {
      stack.push_back({&node->Children, 0, frame.n + 1, {}});
      continue;
    }
    emit(LeafText(node->Object, frame.n));
  }
}

bool TExportEngine::BuildDocument(TExportDocument& Output) {
  FOutput = &Output;
  // The levels point into the templates and hold name lines made under the
  // last translation style: both go together.
  FTemplates.clear();
  FLevels.clear();
  ClearPieces();
  const std::string style = Template("TranslateXMLStyle");
  FTranslate = style.empty() || (style[0] != 'n' && style[0] != 'N');
  if (FTranslate) LoadXMLTranslations();
  // Ordered as the grid orders them: a setting that cannot be read sorts.
  FSortProperties = ReadSettingOrDefault(settings::SortProperties);

  // The root is the last top-level block of the file, whatever the tree shows.
  TisMorvoObject* root = nullptr;
  if (gTopObjects && !gTopObjects->empty()) root = gTopObjects->back().Object;
  const std::string rootName = root ? root->FName : std::string();
  const std::string fileName = BareNativeName(FSource.LoadedFileName);

  auto line = [&Output](std::string_view Entry) {
    Output.Append(Entry);
    Output.Append(kCrLf);
  };
  line(Template("StartDocLine"));
  line(Format(Template("TitleLine"),
              {T(FSource.Caption), FSource.AppTitle + "  V" + GetFileVersionString(FSource.ProgramFile), T(fileName),
               T(rootName)}));
  // The first empty one ends the list, and is written too.
  for (int i = 1;; ++i) {
    const std::string preBody = Format(Template("PreBody" + std::to_string(i)), {});
    line(preBody);
    if (preBody.empty()) break;
  }
  line(Format(Template("StartBody1"), {}));
  line(Format(Template("StartBody2"), {T(rootName), T(root ? root->GetPropertyText(338) : std::string()),
                                       T(root ? root->GetPropertyText(339) : std::string())}));
  line(Format(Template("StartBody3"), {T(fileName), T(FSource.Today), T(FSource.CurrentView)}));

  std::string ignored;
  if (FSource.Tree && !FSource.Tree->Empty() && !ExportLevel(FSource.Tree->FirstNode(), 1, ignored)) {
    FOutput = nullptr;
    return false;
  }
  line(Template("EndBody"));
  line(Template("EndDocLine"));
  FOutput = nullptr;
  return true;
}

TExportResult SaveCurrentViewToFile(const std::string& FileName, const std::string& ExportName,
                                    const TExportSource& Source) {
  // The object file is never replaced by its own export.
  if (IsSameExistingFile(FileName, Source.LoadedFileName))
    return {TExportOutcome::Failed,
            "The export file \"" + FileName + "\" is the loaded object file itself; nothing was written."};
  try {
    const TProfileCommand command;  // its templates and names come from one look at the configuration
    TExportFile file(FileName);
    TExportDocument document([&file](std::string_view Bytes) { return file.Write(Bytes); });
    TExportEngine engine(Source, ExportName);
    if (!engine.BuildDocument(document)) return {TExportOutcome::Stopped, {}};
    file.Commit(document.Finish());
    return {TExportOutcome::Written, {}};
  } catch (const std::bad_alloc&) {
    return {TExportOutcome::Failed, "Not enough memory to export \"" + FileName + "\"."};
  } catch (const std::exception& e) {
    return {TExportOutcome::Failed, e.what()};
  }
}

std::string ExportFileName(const std::string& ObjectFileName, const std::string& ExportName) {
  return NativeWithoutExtension(ObjectFileName) + "." + ExportName;
}

