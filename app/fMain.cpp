// The main window: creation and destruction, its components, and opening an
// object file.
#include "fMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <exception>
#include <functional>
#include <new>

#include "Accessors.h"
#include "CellEditorShortcuts.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "FixedRowHeader.h"
#include "MessageBox.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "ObjectTreeModel.h"
#include "RecentFiles.h"
#include "Settings.h"
#include "fConfig.h"
#include "fWait.h"
#include "fdmZIB.h"
#include "ui_fMain.h"

TFrmMorvoReader* FrmMorvoReader = nullptr;

namespace {
const QString kAppTitle = QStringLiteral("Morvo Object Reader");
}  // namespace

TFrmMorvoReader::TFrmMorvoReader(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TFrmMorvoReader>()) {
  ui->setupUi(this);
  setObjectName(QStringLiteral("FrmMorvoReader"));
  setWindowTitle(kAppTitle);
  CreateComponents();
  WireActions();
  // The reader and the export reach the blink through the window of the run.
  SetProgressHook([] {
    if (FrmMorvoReader) FrmMorvoReader->BlinkPatience();
  });

  FFileLoaded = false;
  FHideChildrenOf.clear();
  FHideObjects.clear();
  mlZIBFiles = std::make_unique<TRecentFiles>();

  // The defaults are read once: a change in the settings takes effect at the next start.
  // A value of the wrong type counts as none, each on its own.
  const auto readDefault = [](const TSetting<std::string>& Setting) {
    return QString::fromStdString(SystemToUtf8(ReadSettingOrDefault(Setting)));
  };
  FRegDefaultView = readDefault(settings::DefaultView);
  FRegDefaultExport = readDefault(settings::DefaultExport);
  FMenuCounter = 0;
  BuildActionMenu(ui->MnuView, ReadCfgString("Settings", "Views"), TMenuKind::Views);
  FDefaultExport.clear();
  FMenuCounter = 0;
  BuildActionMenu(ui->MnuExport, ReadCfgString("Settings", "OutPuts"), TMenuKind::Exports);
  // Ctrl+E belongs to the first export when there is one, else to the default export.
  if (ui->ActExport1->isVisible()) ui->ActExport->setShortcut(QKeySequence());

  BuildReopenMenu();
  // The designed place stands whenever no stored position applies; a stored
  // value that cannot be read is reported and leaves the window where it is.
  move(191, 219);
  LoadDlgPosReporting(this, QStringLiteral("FrmMorvoReader"));
  ApplyFonts();
}

TFrmMorvoReader::~TFrmMorvoReader() {
  // The view must let go of the model before the nodes it shows are gone.
  ui->ObjectTree->setModel(nullptr);
  delete FTreeModel;
  FTreeModel = nullptr;
  FTree.Clear();
  if (!gLoading) FreeAllObjects();
  // A store that cannot be written is reported; a destructor must not raise.
  SaveDlgPosReporting(this, QStringLiteral("FrmMorvoReader"));
  if (FrmMorvoReader == this) FrmMorvoReader = nullptr;
}

void TFrmMorvoReader::CreateComponents() {
  FTreeModel = new TObjectTreeModel(FTree, this);
  ui->ObjectTree->setModel(FTreeModel);
  ui->ObjectTree->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(ui->ObjectTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { OnTreeCurrentChanged(); });
  ui->Splitter1->setSizes({225, 494});
  ui->Splitter1->setStretchFactor(0, 0);
  ui->Splitter1->setStretchFactor(1, 1);

  pmTreeMenu = new QMenu(this);
  pmTreeMenu->setObjectName(QStringLiteral("pmTreeMenu"));
  pmTreeMenu->addActions({ui->ActCopyOName, ui->ActCopyOPath, ui->ActCopyGUID, ui->ActCopyBare});
  connect(ui->ObjectTree, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& Pos) { pmTreeMenu->popup(ui->ObjectTree->viewport()->mapToGlobal(Pos)); });

  tbtnExport = new QToolButton(this);
  tbtnExport->setObjectName(QStringLiteral("tbtnExport"));
  tbtnExport->setText(QStringLiteral("E&xport"));
  tbtnExport->setToolTip(QStringLiteral("Export using default export"));
  tbtnExport->setStatusTip(QStringLiteral("Export using default export"));
  tbtnExport->setAutoRaise(true);
  ui->tbButtons->insertWidget(ui->ActPackage, tbtnExport);
  ui->tbButtons->setToolButtonStyle(Qt::ToolButtonIconOnly);
  // The Export submenu's own entry in the File menu carries its hint.
  ui->MnuExport->menuAction()->setStatusTip(QStringLiteral("Selects Export type"));
  ui->MnuExport->menuAction()->setToolTip(QStringLiteral("Selects Export type"));
  ui->MnuFile->setDefaultAction(ui->ActOpen);
  ui->MnuView->setDefaultAction(ui->ActSemantic);

  static const char* const kPanelTexts[4] = {"ObjectName", "ObjectType", "ObjectCount", "CurrentView"};
  static const int kPanelWidths[4] = {300, 150, 50, 50};
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(QString::fromLatin1(kPanelTexts[i]), ui->StatusBar);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setMinimumWidth(kPanelWidths[i]);
    panel->setFrameShape(QFrame::StyledPanel);
    if (i == 2) panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ui->StatusBar->addWidget(panel, i == 3 ? 1 : 0);
    FPanels[i] = panel;
    FPanelTexts[i] = panel->text();
  }

  QTableWidget* grid = ui->PropertyGrid;
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid->setColumnWidth(0, 100);
  grid->viewport()->installEventFilter(this);
  connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int Logical) {
    if (Logical == 0) FitValueColumn();
  });
  new TFixedRowHeader(grid);
  grid->setItemDelegate(new TCellEditorShortcuts(this));

  // Views and exports without a name stay out of sight until the menus bind them.
  for (QAction* a : {ui->ActFilter1, ui->ActFilter2, ui->ActFilter3, ui->ActFilter4, ui->ActFilter5, ui->ActExport1,
                     ui->ActExport2, ui->ActExport3, ui->ActExport4, ui->ActExport5})
    a->setVisible(false);
  // Actions that sit in no menu still answer their shortcuts.
  addActions(findChildren<QAction*>(QRegularExpression(QStringLiteral("^Act"))));
  setAcceptDrops(true);
}

void TFrmMorvoReader::WireActions() {
  // A failure that reaches a command (a settings value of the wrong type,
  // say) goes to the application's error report instead of through the
  // event loop, which would end the program.
  auto on = [this](QAction* Action, void (TFrmMorvoReader::*Handler)()) {
    connect(Action, &QAction::triggered, this,
            [this, Handler] { RunReportingFailure([this, Handler] { (this->*Handler)(); }); });
  };
  on(ui->ActOpen, &TFrmMorvoReader::MnuOpenClick);
  on(ui->ActOpenTxt, &TFrmMorvoReader::ActOpenTxtExecute);
  on(ui->ActExit, &TFrmMorvoReader::MnuExitClick);
  on(ui->ActFndGUID, &TFrmMorvoReader::MnuFindbyGUIDClick);
  on(ui->ActFndName, &TFrmMorvoReader::MnuFindbyNameClick);
  on(ui->ActFndProp, &TFrmMorvoReader::FindbyProperty1Click);
  on(ui->ActFndAgain, &TFrmMorvoReader::MnuFindAgainClick);
  on(ui->ActCopyGUID, &TFrmMorvoReader::MnuCopyGUIDClick);
  on(ui->ActCopyBare, &TFrmMorvoReader::MnuCopyBarePopertylistClick);
  on(ui->ActCopyOName, &TFrmMorvoReader::ActCopyONameExecute);
  on(ui->ActCopyOPath, &TFrmMorvoReader::ActCopyOPathExecute);
  on(ui->ActSemantic, &TFrmMorvoReader::MnuSemanticorderClick);
  on(ui->ActFileOrder, &TFrmMorvoReader::MnuFileOrderClick);
  on(ui->ActNext, &TFrmMorvoReader::ActNextExecute);
  on(ui->ActConfig, &TFrmMorvoReader::MnuConfigClick);
  on(ui->ActPackage, &TFrmMorvoReader::MnuPackagerClick);
  on(ui->ActEMFPrint, &TFrmMorvoReader::ActEMFPrintExecute);
  on(ui->ActAbout, &TFrmMorvoReader::MnuAboutClick);
  for (QAction* a : {ui->ActFilter1, ui->ActFilter2, ui->ActFilter3, ui->ActFilter4, ui->ActFilter5})
    connect(a, &QAction::triggered, this, [this, a] { RunReportingFailure([this, a] { FilterViewClick(a); }); });
  for (QAction* a : {ui->ActExport, ui->ActExport1, ui->ActExport2, ui->ActExport3, ui->ActExport4, ui->ActExport5})
    connect(a, &QAction::triggered, this, [this, a] { RunReportingFailure([this, a] { OutputClick(a); }); });
  connect(tbtnExport, &QToolButton::clicked, this,
          [this] { RunReportingFailure([this] { OutputClick(tbtnExport); }); });
  connect(ui->mnuReopen, &QMenu::triggered, this, [this](QAction* Item) { mnuReopenClick(Item); });
}

void TFrmMorvoReader::BindImageLists() {
  if (!dmZIB) return;
  const TImageList& il = dmZIB->ilGUIimages;
  const std::pair<QAction*, int> bindings[] = {
      {ui->ActOpen, TdmZIB::giOpen},           {ui->ActOpenTxt, TdmZIB::giOpenTxt},
      {ui->ActExport, TdmZIB::giExport},       {ui->ActExit, TdmZIB::giExit},
      {ui->ActFndGUID, TdmZIB::giFindGUID},    {ui->ActFndName, TdmZIB::giFindName},
      {ui->ActFndProp, TdmZIB::giFindProp},    {ui->ActFndAgain, TdmZIB::giFindAgain},
      {ui->ActCopyGUID, TdmZIB::giCopyGUID},   {ui->ActCopyBare, TdmZIB::giCopyBare},
      {ui->ActCopyOName, TdmZIB::giCopyName},  {ui->ActCopyOPath, TdmZIB::giCopyPath},
      {ui->ActSemantic, TdmZIB::giSemantic},   {ui->ActFileOrder, TdmZIB::giFileOrder},
      {ui->ActFilter1, TdmZIB::giFilter1},     {ui->ActFilter2, TdmZIB::giFilter1 + 1},
      {ui->ActFilter3, TdmZIB::giFilter1 + 2}, {ui->ActFilter4, TdmZIB::giFilter1 + 3},
      {ui->ActFilter5, TdmZIB::giFilter1 + 4}, {ui->ActNext, TdmZIB::giNextFilled},
      {ui->ActExport1, TdmZIB::giExport1},     {ui->ActExport2, TdmZIB::giExport1 + 1},
      {ui->ActExport3, TdmZIB::giExport1 + 2}, {ui->ActExport4, TdmZIB::giExport1 + 3},
      {ui->ActExport5, TdmZIB::giExport1 + 4}, {ui->ActConfig, TdmZIB::giConfig},
      {ui->ActPackage, TdmZIB::giPackage},     {ui->ActEMFPrint, TdmZIB::giEMFPrint},
      {ui->ActAbout, TdmZIB::giAbout},
  };
  for (const auto& [action, image] : bindings) action->setIcon(il.Icon(image));
  tbtnExport->setIcon(il.Icon(TdmZIB::giExport));
  ui->MnuExport->setIcon(il.Icon(TdmZIB::giExport));
  ui->mnuReopen->setIcon(il.Icon(TdmZIB::giReopen));
  ui->ObjectTree->viewport()->update();
}

void TFrmMorvoReader::ApplyFonts() { ApplyStoredFonts(ui->ObjectTree, ui->PropertyGrid); }

QString TFrmMorvoReader::StripAccelerator(const QString& S) {
  const qsizetype p = S.indexOf(QLatin1Char('&'));
  if (p < 0) return S;
  QString result = S;
  result.remove(p, 1);
  return result;
}

// --- paths with the names stored on disk

QString TFrmMorvoReader::GetRealFileName(const QString& Path) {
  const qsizetype slash = Path.lastIndexOf(QLatin1Char('/'));
  const QString name = Path.mid(slash + 1);
  const QString folder = slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : Path.left(slash));
  if (name.isEmpty()) return name;
  if (NameExists(Path)) return name;
  // Names here are exact; a name that matches only without regard to case
  // takes the stored name when exactly one entry of the folder matches.
  const QStringList entries =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  QString match;
  int matches = 0;
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) {
      match = entry;
      ++matches;
    }
  }
  return matches == 1 ? match : name;
}

QString TFrmMorvoReader::GetRealPathName(const QString& Path) {
  QString path = Path;
  if (path.endsWith(QLatin1Char('/'))) path.chop(1);
  if (path.size() < 3) return path;
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return GetRealFileName(path);
  // The folder is looked up with its stored names first, so a folder typed
  // in another case still finds the entry below it.
  const QString folder = GetRealPathName(path.left(slash + 1));
  return folder + QLatin1Char('/') + GetRealFileName(folder + QLatin1Char('/') + path.mid(slash + 1));
}

// --- opening files

void TFrmMorvoReader::MnuOpenClick() {
  ui->ActOpen->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  dialogs::TFileDialogRequest request;
  request.Title = QStringLiteral("Select Quillset file");
  request.Filters = {QStringLiteral("Morvo Quillset Document (*.dcl)"),
                     QStringLiteral("Morvo Quillset Segment (*.seg)"),
                     QStringLiteral("Morvo Quillset Format (*.fmt)"),
                     QStringLiteral("Morvo Quillset Function (*.fun)"),
                     QStringLiteral("Morvo Quillset Device (*.dev)"),
                     QStringLiteral("Morvo Quillset Map (*.map)"),
                     QStringLiteral("Morvo Quillset Channel (*.chn)"),
                     QStringLiteral("All Morvo Quillset Files (*.dcl *.seg *.fmt *.fun *.dev *.chn *.map)"),
                     QStringLiteral("Any file (*)")};
  request.FilterIndex = 7;
  request.DefaultSuffix = QStringLiteral("dcl");
  request.MustExist = true;
  const QString fileName = dialogs::GetOpenFileName(this, request);
  if (!fileName.isEmpty()) {
    if (FrmWait) FrmWait->ShowWait();
    OpenObjectFileReporting(fileName);
    if (FrmWait) FrmWait->close();
  }
  ui->ActOpen->setEnabled(true);
  QApplication::restoreOverrideCursor();
  SetPanelText(3, FCurrentView);
}

bool TFrmMorvoReader::OpenObjectFile(const QString& FileName) {
  const TNameKind kind = KindOfName(FileName);
  if (kind == TNameKind::Missing || kind == TNameKind::Folder) return true;
  // A read or a tree fill already running owns the object lists; pumping may
  // bring a drop or a reopen here while it runs.
  if (gLoading || FTreeModel->Rebuilding()) return true;

  const QString fileName = GetRealPathName(FileName);
  FLastFileName = fileName;
  FFileLoaded = false;
  setWindowTitle(ShownName(fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1)) + QStringLiteral(" - ") +
                 kAppTitle);
  // The nodes go before the objects they show, so nothing that runs while
  // messages are pumped reaches a freed object through the tree.
  FTreeChangeAttached = false;
  FTreeModel->BeginRebuild();
  FTree.Clear();
  FTreeModel->EndRebuild();
  // Until the new file has loaded, nothing of the old one shows.
  ShowNoObject();
  FreeAllObjects();
  ProcessMessages();

  int result;
  try {
    result = ReadObjectFile(NativeFromName(fileName));
  } catch (...) {
    FTreeChangeAttached = true;
    throw;
  }
  FTreeChangeAttached = true;
  bool ok = true;
  if (result > 0) {
    FLoadedFileName = fileName;
    FFileLoaded = true;
    FilterViewClick(nullptr);
    MnuSemanticorderClick();
  } else if (result == -1) {
    // Result 0 means the program is ending: no editor is started then.
    const bool openNonObjectFiles = ReadSettingOrDefault(settings::OpenNonQSFiles);
    if (openNonObjectFiles && ui->ActOpenTxt->isEnabled()) {
      ui->ActOpenTxt->trigger();
      ok = false;
    }
  }
  mlZIBFiles->Add(fileName);
  ui->ActExport->setEnabled(true);
  BuildReopenMenu();
  return ok;
}

bool TFrmMorvoReader::OpenObjectFileReporting(const QString& FileName) {
  std::string failure;
  try {
    return OpenObjectFile(FileName);
  } catch (const std::bad_alloc&) {
    failure = "Not enough memory";
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // The tree stays empty; the box must not stand behind the wait window.
  if (FrmWait) FrmWait->close();
  if (!FFileLoaded) failure = ReadFailureText(NativeFromName(FLastFileName), failure);
  ShowApplicationError(failure);
  return true;
}

std::string TFrmMorvoReader::ReadFailureText(const std::string& Path, const std::string& Failure) {
  // The reader's words say what is wrong, not with which file; words that
  // name the file already (it cannot be opened) need no second mention.
  if (Failure.find('"' + Path + '"') != std::string::npos) return Failure;
  return "Cannot read the object file \"" + Path + "\": " + Failure;
}

bool TFrmMorvoReader::OpenFileArgument(const QString& Argument) {
  if (FrmWait) FrmWait->ShowWait();
  // A full path, as the recent files keep it.
  const bool ok = OpenObjectFileReporting(Argument.isEmpty() ? Argument : AbsoluteName(Argument));
  if (FrmWait) FrmWait->close();
  return ok;
}

void TFrmMorvoReader::MnuExitClick() { close(); }

void TFrmMorvoReader::closeEvent(QCloseEvent* event) {
  // Long loops that pump messages see this and stop.
  SetApplicationTerminating(true);
  QMainWindow::closeEvent(event);
}

void TFrmMorvoReader::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFrmMorvoReader::dropEvent(QDropEvent* event) {
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files << NameFromUrl(url);
  event->acceptProposedAction();
  if (!files.isEmpty()) ddDragDropDrop(files);
}
