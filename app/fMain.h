#pragma once

// The main window: object tree on the left, property grid on the right, menus,
// tool bar and status bar. The window itself stays thin: each command group
// lives in a file of its own (fMainTree.cpp, fMainViews.cpp, fMainGrid.cpp,
// fMainFind.cpp, fMainCommands.cpp, fMainExport.cpp).

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ObjectTree.h"

namespace Ui {
class TFrmMorvoReader;
}
class QAction;
class QMenu;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QModelIndex;
class QToolButton;
class TObjectTreeModel;
class TRecentFiles;

class TFrmMorvoReader : public QMainWindow {
  Q_OBJECT

 public:
  explicit TFrmMorvoReader(QWidget* parent = nullptr);  // FormCreate
  ~TFrmMorvoReader() override;                          // FormDestroy

  // The components of the form, by their names (ObjectTree, PropertyGrid,
  // StatusBar, the actions ActOpen ...).
  std::unique_ptr<Ui::TFrmMorvoReader> ui;

  // --- opening files and the tree (fMain.cpp, fMainTree.cpp)
  bool OpenObjectFile(const QString& FileName);
  // The same for commands: a failure is shown in a message box, a read
  // failure naming the file; the result is then true (the window stays).
  bool OpenObjectFileReporting(const QString& FileName);
  // The reader's words on a failed read, with the file they concern.
  static std::string ReadFailureText(const std::string& Path, const std::string& Failure);
  // The file given on the command line (or by the desktop's association),
  // with the wait window standing; false as OpenObjectFile.
  bool OpenFileArgument(const QString& Argument);
  static QString GetRealPathName(const QString& Path);
  static QString GetRealFileName(const QString& Path);
  static QString StripAccelerator(const QString& S);
  void MnuOpenClick();
  void MnuSemanticorderClick();
  void MnuFileOrderClick();
  void MnuExitClick();
  // The order the tree was last built in.
  TTreeOrder CurrentOrder() const { return FOrder; }

  // The tree as shown and its selection.
  TObjectTree& TreeData() { return FTree; }
  TObjectTreeNode* SelectedNode() const;
  void SelectNode(TObjectTreeNode* Node);  // none clears the selection
  QModelIndex IndexOfNode(TObjectTreeNode* Node) const;
  TObjectTreeModel* TreeModel() const { return FTreeModel; }

  // --- views and run-time menus (fMainViews.cpp)
  QAction* FindActionByName(const QString& Name) const;
  void FilterViewClick(QObject* Sender);
  void MnuAboutClick();
  void MnuConfigClick();

  // --- property grid and status bar (fMainGrid.cpp)
  void ObjectTreeChange();
  // The grid's one empty row and empty panels 0 to 2: nothing is loaded.
  void ShowNoObject();
  // The value column takes the viewport's width beside the name column.
  void FitValueColumn();
  QString GetNodePath(TObjectTreeNode* Node) const;
  static int CountLineBreaks(const QString& S);
  void BlinkPatience();
  void BlinkPatienceAt(uint32_t Now);  // BlinkPatience at a given tick count
  // The four status panels: 0 node path, 1 type name, 2 property count, 3 view.
  QString PanelText(int Panel) const;
  void SetPanelText(int Panel, const QString& Text);
  // Fonts of the tree and the grid, and the grid's header-row height, from
  // the settings; an empty face name leaves that control as designed.
  void ApplyFonts();
  // Binds the pictures of dmZIB to the tree, menus, tool bar and actions;
  // the start-up routine calls it once the data module exists.
  void BindImageLists();

  // Components made at run time: the tool button of the default export and
  // the tree's pop-up menu.
  QToolButton* tbtnExport = nullptr;
  QMenu* pmTreeMenu = nullptr;

  // --- find (fMainFind.cpp)
  void FindNextObject(const std::string& Kind, const std::string& Text, bool FromTop, bool MatchCase, bool ShowMessage);
  void MnuFindbyGUIDClick();
  void MnuFindbyNameClick();
  void FindbyProperty1Click();
  void MnuFindAgainClick();
  void ActNextExecute();

  // --- clipboard copies, recent files, drop, external editor (fMainCommands.cpp)
  void MnuCopyGUIDClick();
  void MnuCopyBarePopertylistClick();
  void ActCopyONameExecute();
  void ActCopyOPathExecute();
  void BuildReopenMenu();
  void mnuReopenClick(QAction* Item);
  void ddDragDropDrop(const QStringList& Files);
  void ActOpenTxtExecute();
  void MnuPackagerClick();
  void ActEMFPrintExecute();

  // --- export (fMainExport.cpp)
  void OutputClick(QObject* Sender);
  // Writes the default export beside the loaded object file; returns its
  // name (empty when no file is loaded), whatever became of the export;
  // *Written tells whether the file was written, *Failure why not.
  QString DoOutputExport(bool* Written = nullptr, QString* Failure = nullptr);
  // Builds and writes the export ExportName of the tree as shown; reports a
  // failure in a message box and never raises. True when the file was written;
  // else *Failure holds the reported message.
  bool SaveCurrentViewToFile(const QString& FileName, const QString& ExportName, QString* Failure = nullptr);

  // State shared with the other windows and commands.
  QString FHideChildrenOf;
  QString FHideObjects;
  QString FCurrentView;
  QString FLoadedFileName;
  QString FLastFileName;
  QString FDefaultExport;
  bool FFileLoaded = false;

  std::unique_ptr<TRecentFiles> mlZIBFiles;

 protected:
  void showEvent(QShowEvent* event) override;      // FormShow
  void resizeEvent(QResizeEvent* event) override;  // FormResize
  // The grid's own resizes (the window's, after the layout, and the splitter's).
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TObjectTree FTree;
  TObjectTreeModel* FTreeModel = nullptr;
  uint64_t FBlinkMark = 0;
  TTreeOrder FOrder = TTreeOrder::Semantic;
  bool FTreeChangeAttached = true;
  QLabel* FPanels[4] = {};
  QString FPanelTexts[4];
  // Shared by the two menu builds of the creation.
  int FMenuCounter = 0;
  QString FRegDefaultView;
  QString FRegDefaultExport;
  // Why no view could be applied (a field list that is no id list); empty
  // once one applied. The default export does not run meanwhile.
  QString FViewFailure;

  void CreateComponents();
  void WireActions();
  void BuildTree(TTreeOrder Order);
  enum class TMenuKind { Views, Exports };
  void BuildActionMenu(QMenu* ParentMenu, const std::string& List, TMenuKind Kind);
  void OnTreeCurrentChanged();
  // Reads the view's section and hands its lists to the model; a list that
  // is no id list raises EMorvoError.
  void ApplyView(const QString& View);
};

// The main window of the run (created by the start-up routine).
extern TFrmMorvoReader* FrmMorvoReader;
