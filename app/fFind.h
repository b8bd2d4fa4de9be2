#pragma once

// The find window: a search text with its history, the kind of search
// (Name, GUID, Property) and a case switch. Modeless; closing only hides it.
// Also the search rule that the main window's find walks the tree with.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

namespace Ui {
class TFrmFind;
}
class QComboBox;
class QCheckBox;
class QGroupBox;
class QRadioButton;
struct TObjectTreeNode;

class TFrmFind : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmFind(QWidget* Parent = nullptr);
  ~TFrmFind() override;  // FormDestroy

  QComboBox* cbFindStr = nullptr;
  QCheckBox* cbCaseSens = nullptr;
  QGroupBox* rgFType = nullptr;

  // The radio group: index of the chosen item (0 Name, 1 GUID, 2 Property)
  // and the chosen item's text.
  int ItemIndex() const;
  void SetItemIndex(int Index);
  QString KindText() const;

  // Shows the window; when it is visible already it only comes to the front.
  // Either way the search field takes the focus.
  void ShowFind();
  void setVisible(bool Visible) override;

  void BtnFindClick();
  void BtnNextClick();
  void BtnCloseClick();
  // Every way of closing stores the position (FormCloseQuery).
  void done(int Result) override;

 protected:
  void showEvent(QShowEvent* Event) override;  // FormShow

 private:
  void RunFind(bool FromTop);
  void FitFieldToGuid();
  QRadioButton* Item(int Index) const;
  std::unique_ptr<Ui::TFrmFind> ui;
};

extern TFrmFind* FrmFind;

// The clipboard's text; '' when it holds none. Text after a zero character is cut off.
QString GetClipboardWideText();

// The search rule: true when Node matches the kind (its first character:
// 'G' GUID, 'N' name, 'P' property text, 'f' shows properties in the current
// view, anything else every node with an object). Nodes without an object
// never match.
bool NodeMatches(TObjectTreeNode* Node, const std::string& Kind, const std::string& Text, bool MatchCase);
// The first matching node from Start on, in the tree's node order; none when none matches.
TObjectTreeNode* FindNodeFrom(TObjectTreeNode* Start, const std::string& Kind, const std::string& Text, bool MatchCase);
