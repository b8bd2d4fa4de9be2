#include "MessageBox.h"
#include "MorvoObject.h"
#include "ProfileFile.h"
#include "StringUtil.h"
#include "fFind.h"
#include "fMain.h"

namespace {
// Only a to z change: other letters compare as stored.
std::string AsciiUpper(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return S;
}
}  // namespace

bool NodeMatches(TObjectTreeNode* Node, const std::string& Kind, const std::string& Text, bool MatchCase) {
  if (!Node || !Node->Object) return false;
  TisMorvoObject* obj = Node->Object;
  const char kind = Kind.empty() ? '\0' : Kind[0];
  switch (kind) {
    case 'G':
      return obj->FGUID == Text;  // always with case: GUIDs are stored as written
    case 'N':
      if (Text.empty()) return false;
      if (MatchCase) return obj->FName.find(Text) != std::string::npos;
      return AsciiUpper(obj->FName).find(AsciiUpper(Text)) != std::string::npos;
    case 'P':
      return obj->ContainsText(Text, MatchCase);
    case 'f':
      obj->LoadPropertyArrays();
      return StrToIntDef(gPropNames[0], 0) > 0;
    default:
      return true;
  }
}

TObjectTreeNode* FindNodeFrom(TObjectTreeNode* Start, const std::string& Kind, const std::string& Text,
                              bool MatchCase) {
  for (TObjectTreeNode* node = Start; node; node = TObjectTree::NextNode(node))
    if (NodeMatches(node, Kind, Text, MatchCase)) return node;
  return nullptr;
}

void TFrmMorvoReader::FindNextObject(const std::string& Kind, const std::string& Text, bool FromTop, bool MatchCase,
                                     bool ShowMessage) {
  const TProfileCommand command;  // the walk decodes values through one look at the configuration
  TObjectTree& tree = TreeData();
  if (tree.Empty()) return;
  TObjectTreeNode* start = nullptr;
  if (FromTop) {
    SelectNode(tree.FirstNode());
    start = tree.FirstNode();
  } else {
    TObjectTreeNode* selected = SelectedNode();
    start = selected ? TObjectTree::NextNode(selected) : tree.FirstNode();
  }
  if (TObjectTreeNode* found = FindNodeFrom(start, Kind, Text, MatchCase)) {
    SelectNode(found);
    return;
  }
  if (ShowMessage)
    ShowMessageBoxW("Unable to find " + Kind + " \"" + Text + "\"", windowTitle().toStdString(), MB_ICONINFORMATION);
}

void TFrmMorvoReader::MnuFindbyGUIDClick() {
  if (!FrmFind) return;
  FrmFind->SetItemIndex(1);
  FrmFind->ShowFind();
}

void TFrmMorvoReader::MnuFindbyNameClick() {
  if (!FrmFind) return;
  FrmFind->SetItemIndex(0);
  FrmFind->ShowFind();
}

void TFrmMorvoReader::FindbyProperty1Click() {
  if (!FrmFind) return;
  FrmFind->SetItemIndex(2);
  FrmFind->ShowFind();
}

// Also while the find window is hidden: its last kind, text and case apply.
void TFrmMorvoReader::MnuFindAgainClick() {
  if (FrmFind) FrmFind->BtnNextClick();
}

void TFrmMorvoReader::ActNextExecute() { FindNextObject("filled", "object", false, false, true); }
