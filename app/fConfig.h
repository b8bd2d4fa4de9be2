#pragma once

// The configuration window: the association of the object-file extensions
// with their default action and extra verbs, the view and export chosen at
// start-up, sorting, the code page of old object files, the external editor,
// the fonts of the tree and the grid with the grid's row-height factor, and a
// reset of positions, fonts and code page. Every showing reads its state
// afresh from the settings and "MorvoObject.cfg"; OK writes all of it back.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

namespace Ui {
class TFrmConfig;
}
class QComboBox;
class QFont;
class QTableWidget;
class QWidget;

class TFrmConfig : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmConfig(QWidget* Parent = nullptr);
  ~TFrmConfig() override;  // FormDestroy

  std::unique_ptr<Ui::TFrmConfig> ui;

  void FormShow();
  // Keeps the Explorer controls consistent; Sender is the control clicked (or none).
  void cxConnectMorvoFilesClick(QObject* Sender);
  void BtnOKClick();
  void btResPosClick();
  void btnObjTreeFontClick();
  void btnPropTreeFontClick();
  // Every way of closing stores the position (FormCloseQuery).
  void done(int Result) override;

  // The command line FormShow looks at for "/c"; tests stand in their own.
  static void SetArgumentsOverride(const QStringList& Args);

 protected:
  void showEvent(QShowEvent* Event) override;
  bool event(QEvent* Event) override;  // FormActivate

 private:
  void ChooseFont(QWidget* Sample);
};

extern TFrmConfig* FrmConfig;

// Fills Combo with the pieces of the comma-separated List (system code page
// bytes): untrimmed, an empty piece between commas an empty item, a trailing
// comma nothing. Item 0 is selected.
void FillComboFromList(const std::string& List, QComboBox* Combo);

// The login name of the effective user.
std::string GetUserNameString();
// S with every %NAME% of the environment expanded (unknown names stay as
// written), then every "%username%", in any case, replaced by the login name.
std::string ExpandPathVariables(const std::string& S);

// A graphical text editor of this system to propose: the desktop's default
// for plain text unless it runs in a terminal, else the first of the common
// editors on the search path; never this program nor a launcher that would
// hand the file back to it. Empty when there is none.
std::string ProposedEditor();

// The stored fonts of the tree and the grid applied to them (the main
// window's ApplyFonts). An empty face name leaves that control as it is;
// the grid's header row then also keeps its height.
void ApplyStoredFonts(QWidget* Tree, QTableWidget* Grid);

// The character-set number a widget's font was given from the settings
// (fonts here carry none of their own); 1 when it was never set.
int FontCharset(const QWidget* Widget);
void SetFontCharset(QWidget* Widget, int Charset);
