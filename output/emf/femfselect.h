#pragma once

// The EMF page window: lists the preview pages that an installed version of
// the design tool left behind, moves them between the available and the
// selected list, previews one, and prints the selected pages, one page per
// sheet, each stretched over the printable area. It is created for one modal
// run and freed after it. The print dialog and error reports go through the
// host hooks, which the application connects to its dialog facade.

#include <QDialog>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>

namespace Ui {
class TfrmEMFSelect;
}

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPrinter;
class QProgressDialog;
class QPushButton;
class QTreeWidget;
class TEmfPicture;

struct TEMFSelectHost {
  // The print dialog over Printer, offering all pages, the selection and a
  // range within MinPage..MaxPage; true when the user chose to print (the
  // choices are then in Printer: print range, from and to page).
  std::function<bool(QWidget* Parent, QPrinter* Printer, int MinPage, int MaxPage)> PrintDialog;
  // An error report with an OK button.
  std::function<void(QWidget* Parent, const QString& Text, const QString& Caption)> ShowError;
};
void SetEMFSelectHost(const TEMFSelectHost& Host);

class TfrmEMFSelect : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmEMFSelect(QWidget* Parent = nullptr);
  ~TfrmEMFSelect() override;

  // The components of the form, by their names.
  QMenuBar* MainMenu1 = nullptr;
  QMenu* mnuVersion = nullptr;
  QAction* mnuPrintfiles = nullptr;
  QAction* Close1 = nullptr;
  QAction* oright1 = nullptr;
  QAction* oLeft1 = nullptr;
  QAction* mnuSelectAll = nullptr;
  QMenu* pmQSVersie = nullptr;
  QFrame* Panel1 = nullptr;
  QFrame* Panel2 = nullptr;
  QFrame* Panel3 = nullptr;
  QFrame* Panel4 = nullptr;
  QFrame* Panel5 = nullptr;
  QTreeWidget* lbAvailable = nullptr;
  QTreeWidget* lbSelected = nullptr;
  QComboBox* cbQSVersion = nullptr;
  QLabel* lbVersion = nullptr;
  QPushButton* btnSelectOne = nullptr;
  QPushButton* btnSelectAll = nullptr;
  QPushButton* BtnUnselectOne = nullptr;
  QPushButton* btnUnselectAll = nullptr;
  QLabel* pPreview = nullptr;
  QPushButton* btnPrint = nullptr;
  QProgressDialog* JvProgressDlg1 = nullptr;

  // The preview folder of the chosen version, ending in '/'; empty before a
  // version is chosen.
  QString FPreviewDir;

  void FormShow();
  void FormActivate();
  void FormResize();
  void btnSelectClick(QAction* Sender);
  void cbQSVersionChange();
  void lbAvailableClick();
  void lbSelectedClick();
  void PreviewFirstSelect(QTreeWidget* List);
  void lbAvailableDblClick();
  void lbSelectedDblClick();
  void btnSelectOneClick();
  void BtnUnselectOneClick();
  void btnSelectAllClick();
  void btnUnselectAllClick();
  void btnPrintClick();
  void Close1Click();

  void ScanEMFFiles(QTreeWidget* List, const QString& Dir);
  static void MoveSelectedItems(QTreeWidget* Source, QTreeWidget* Dest);

  // What the preview shows.
  QImage PreviewImage() const { return FPreview; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  std::unique_ptr<Ui::TfrmEMFSelect> ui;
  QImage FPreview;

  void BuildMenus();
  void BuildVersionMenus();
  void MarkVersionChecked(const QString& Version);
  void LayoutPanels();
  void ShowPreview();
  void SortList(QTreeWidget* List, int Column);
  // Reads and trial-plays a page; false and Error set when it cannot be drawn whole.
  bool LoadPage(const QString& Caption, TEmfPicture& Picture, QString& Error) const;
};

extern TfrmEMFSelect* frmEMFSelect;
