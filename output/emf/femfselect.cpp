#include "femfselect.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <algorithm>

#include "EmfPageList.h"
#include "EmfPlayer.h"
#include "ui_femfselect.h"

TfrmEMFSelect* frmEMFSelect = nullptr;

namespace {
TEMFSelectHost gHost;

const QString kErrorCaption = QStringLiteral("Morvo Object Reader");

bool Headless() {
  const QString platform = QGuiApplication::platformName();
  return platform == "offscreen" || platform == "minimal";
}

bool RunPrintDialog(QWidget* Parent, QPrinter* Printer, int MinPage, int MaxPage) {
  if (gHost.PrintDialog) return gHost.PrintDialog(Parent, Printer, MinPage, MaxPage);
  if (Headless()) return false;  // nobody could answer it
  QPrintDialog dialog(Printer, Parent);
  dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintSelection |
                    QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  dialog.setMinMax(MinPage, MaxPage);
  return dialog.exec() == QDialog::Accepted;
}

void ShowError(QWidget* Parent, const QString& Text) {
  if (gHost.ShowError) {
    gHost.ShowError(Parent, Text, kErrorCaption);
    return;
  }
  if (Headless()) {
    qWarning("%s", qPrintable(Text));
    return;
  }
  QMessageBox::critical(Parent, kErrorCaption, Text);
}

// The page sizes sort as numbers, the names as text.
class TPageItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& Other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == 1) return text(1).toLongLong() < Other.text(1).toLongLong();
    return QTreeWidgetItem::operator<(Other);
  }
  QTreeWidgetItem* clone() const override { return new TPageItem(*this); }
};

QTreeWidgetItem* NewPageItem(const QString& Caption, qint64 Size) {
  auto* item = new TPageItem(QStringList{Caption, QString::number(Size)});
  item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

// A menu caption as the menu shows it: its accelerator mark removed and a
// doubled mark shown once, so a version named with a "&" keeps it.
QString StripFirstAmpersand(const QString& S) {
  QString shown;
  bool marked = false;
  for (qsizetype i = 0; i < S.size(); ++i) {
    if (S[i] == u'&' && i + 1 < S.size() && S[i + 1] == u'&') {
      shown += u'&';
      ++i;
    } else if (S[i] == u'&' && !marked) {
      marked = true;
    } else {
      shown += S[i];
    }
  }
  return shown;
}

// The caption that shows Name as it is.
QString MenuCaption(QString Name) { return Name.replace(u'&', QStringLiteral("&&")); }

// The menu pictures, by their places in the application's command pictures
// (when it has registered them).
constexpr int kImageVersion = 33;
constexpr int kImagePrint = 28;
constexpr int kImageToRight = 31;
constexpr int kImageToLeft = 32;
constexpr int kImageSelectAll = 34;
QIcon GuiImage(int Index) {
  const QString path = QStringLiteral(":/icons/gui/%1.svg").arg(Index, 2, 10, QLatin1Char('0'));
  return QFile::exists(path) ? QIcon(path) : QIcon();
}
}  // namespace

void SetEMFSelectHost(const TEMFSelectHost& Host) { gHost = Host; }

TfrmEMFSelect::TfrmEMFSelect(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfrmEMFSelect>()) {
  ui->setupUi(this);
  setObjectName("frmEMFSelect");
  Panel1 = ui->Panel1;
  Panel2 = ui->Panel2;
  Panel3 = ui->Panel3;
  Panel4 = ui->Panel4;
  Panel5 = ui->Panel5;
  lbAvailable = ui->lbAvailable;
  lbSelected = ui->lbSelected;
  cbQSVersion = ui->cbQSVersion;
  lbVersion = ui->lbVersion;
  btnSelectOne = ui->btnSelectOne;
  btnSelectAll = ui->btnSelectAll;
  BtnUnselectOne = ui->BtnUnselectOne;
  btnUnselectAll = ui->btnUnselectAll;
  pPreview = ui->pPreview;
  btnPrint = ui->btnPrint;

  BuildMenus();

  for (QTreeWidget* list : {lbAvailable, lbSelected}) {
    list->setSortingEnabled(false);  // the listing order stands until a header is clicked
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 80);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, [this, list](int Column) { SortList(list, Column); });
    list->viewport()->installEventFilter(this);
  }
  connect(lbAvailable, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& At) { pmQSVersie->popup(lbAvailable->viewport()->mapToGlobal(At)); });
  connect(lbVersion, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& At) { pmQSVersie->popup(lbVersion->mapToGlobal(At)); });
  connect(cbQSVersion, &QComboBox::activated, this, [this] { cbQSVersionChange(); });
  connect(btnSelectOne, &QPushButton::clicked, this, &TfrmEMFSelect::btnSelectOneClick);
  connect(btnSelectAll, &QPushButton::clicked, this, &TfrmEMFSelect::btnSelectAllClick);
  connect(BtnUnselectOne, &QPushButton::clicked, this, &TfrmEMFSelect::BtnUnselectOneClick);
  connect(btnUnselectAll, &QPushButton::clicked, this, &TfrmEMFSelect::btnUnselectAllClick);
  connect(btnPrint, &QPushButton::clicked, this, &TfrmEMFSelect::btnPrintClick);
  btnPrint->setAutoDefault(false);
  for (QPushButton* b : {btnSelectOne, btnSelectAll, BtnUnselectOne, btnUnselectAll}) b->setAutoDefault(false);

  FPreview = QImage(pPreview->size(), QImage::Format_RGB32);
  FPreview.fill(Qt::white);
  ShowPreview();

  JvProgressDlg1 = new QProgressDialog(this);
  JvProgressDlg1->setObjectName("JvProgressDlg1");
  JvProgressDlg1->setWindowTitle(QStringLiteral("Progress"));
  JvProgressDlg1->setLabelText(QStringLiteral("Progress"));
  JvProgressDlg1->setCancelButton(nullptr);
  JvProgressDlg1->setAutoClose(false);
  JvProgressDlg1->setAutoReset(false);
  // Not modal: a modal progress window would pump messages at every step.
  JvProgressDlg1->setWindowModality(Qt::NonModal);
  // A new progress window shows itself after a few seconds unless reset.
  JvProgressDlg1->reset();
  JvProgressDlg1->hide();
  LayoutPanels();
}

TfrmEMFSelect::~TfrmEMFSelect() = default;

void TfrmEMFSelect::BuildMenus() {
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  QMenu* file = MainMenu1->addMenu(QStringLiteral("&File"));
  mnuVersion = file->addMenu(GuiImage(kImageVersion), QStringLiteral("Select &Morvo version"));
  mnuVersion->setObjectName("mnuVersion");
  mnuPrintfiles = file->addAction(GuiImage(kImagePrint), QStringLiteral("&Print files"));
  mnuPrintfiles->setObjectName("mnuPrintfiles");
  mnuPrintfiles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  connect(mnuPrintfiles, &QAction::triggered, this, &TfrmEMFSelect::btnPrintClick);
  file->addSeparator();
  Close1 = file->addAction(QStringLiteral("&Close"));
  Close1->setObjectName("Close1");
  connect(Close1, &QAction::triggered, this, &TfrmEMFSelect::Close1Click);

  QMenu* edit = MainMenu1->addMenu(QStringLiteral("&Edit"));
  oright1 = edit->addAction(GuiImage(kImageToRight), QStringLiteral("To &Right"));
  oright1->setObjectName("oright1");
  oright1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(oright1, &QAction::triggered, this, &TfrmEMFSelect::btnSelectOneClick);
  oLeft1 = edit->addAction(GuiImage(kImageToLeft), QStringLiteral("To &Left"));
  oLeft1->setObjectName("oLeft1");
  oLeft1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(oLeft1, &QAction::triggered, this, &TfrmEMFSelect::BtnUnselectOneClick);
  mnuSelectAll = edit->addAction(GuiImage(kImageSelectAll), QStringLiteral("Select All"));
  mnuSelectAll->setObjectName("mnuSelectAll");
  mnuSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  // The lists' own select-all must not take the key first.
  mnuSelectAll->setShortcutContext(Qt::WindowShortcut);
  connect(mnuSelectAll, &QAction::triggered, this, &TfrmEMFSelect::btnSelectAllClick);
  for (QAction* a : {mnuPrintfiles, Close1, oright1, oLeft1, mnuSelectAll}) addAction(a);

  pmQSVersie = new QMenu(this);
  pmQSVersie->setObjectName("pmQSVersie");
}

void TfrmEMFSelect::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous()) {
    FormShow();
    FormActivate();
  }
}

void TfrmEMFSelect::resizeEvent(QResizeEvent* Event) {
  QDialog::resizeEvent(Event);
  FormResize();
}

bool TfrmEMFSelect::eventFilter(QObject* Watched, QEvent* Event) {
  // A double click anywhere in a list moves its selected pages, also one in
  // the free space below the items. The list itself does not see it, so it
  // cannot select again what now stands under the mouse.
  if (Event->type() == QEvent::MouseButtonDblClick && static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
    if (Watched == lbAvailable->viewport()) {
      lbAvailableDblClick();
      return true;
    }
    if (Watched == lbSelected->viewport()) {
      lbSelectedDblClick();
      return true;
    }
  }
  if (Event->type() == QEvent::MouseButtonRelease) {
    if (Watched == lbAvailable->viewport())
      lbAvailableClick();
    else if (Watched == lbSelected->viewport())
      lbSelectedClick();
  }
  return QDialog::eventFilter(Watched, Event);
}

void TfrmEMFSelect::FormShow() {
  mnuVersion->clear();
  pmQSVersie->clear();
  cbQSVersion->clear();
  FPreviewDir.clear();
  BuildVersionMenus();
}

void TfrmEMFSelect::BuildVersionMenus() {
  QAction* last = nullptr;
  for (const QString& version : FindVersionFolders(UserDataFolder())) {
    for (QMenu* menu : {mnuVersion, pmQSVersie}) {
      QAction* item = menu->addAction(MenuCaption(version));
      item->setCheckable(true);
      connect(item, &QAction::triggered, this, [this, item] { btnSelectClick(item); });
      last = item;
    }
    cbQSVersion->addItem(QStringLiteral("QS ") + version);
  }
  // The last version listed is the one chosen at first.
  if (last) last->trigger();
}

void TfrmEMFSelect::btnSelectClick(QAction* Sender) {
  if (Sender) {
    const QString v = StripFirstAmpersand(Sender->text());
    MarkVersionChecked(v);
    lbVersion->setText(QStringLiteral("QS ") + v);
    FPreviewDir = PreviewFolderOf(UserDataFolder(), v);
    int position = -1;
    for (QMenu* menu : {mnuVersion, pmQSVersie})
      if (menu->actions().contains(Sender)) position = int(menu->actions().indexOf(Sender));
    cbQSVersion->setCurrentIndex(position);
  }
  lbAvailable->clear();
  lbSelected->clear();
  ScanEMFFiles(lbAvailable, FPreviewDir);
}

void TfrmEMFSelect::MarkVersionChecked(const QString& Version) {
  const QList<QAction*> main = mnuVersion->actions();
  const QList<QAction*> popup = pmQSVersie->actions();
  for (qsizetype i = 0; i < main.size(); ++i) {
    const bool on = StripFirstAmpersand(main[i]->text()) == Version;
    main[i]->setChecked(on);
    if (i < popup.size()) popup[i]->setChecked(on);
  }
}

void TfrmEMFSelect::cbQSVersionChange() {
  const int i = cbQSVersion->currentIndex();
  const QList<QAction*> items = pmQSVersie->actions();
  if (i >= 0 && i < items.size()) items[i]->trigger();
}

void TfrmEMFSelect::ScanEMFFiles(QTreeWidget* List, const QString& Dir) {
  if (Dir.isEmpty()) return;  // no version chosen: nothing to list
  std::vector<TEmfPageEntry> pages;
  ::ScanEMFFiles(pages, Dir, FPreviewDir.size());
  for (const TEmfPageEntry& page : pages) List->addTopLevelItem(NewPageItem(page.Caption, page.Size));
}

void TfrmEMFSelect::MoveSelectedItems(QTreeWidget* Source, QTreeWidget* Dest) {
  int last = 0;
  const int count = Source->topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    QTreeWidgetItem* item = Source->topLevelItem(i);
    if (!item->isSelected()) continue;
    QTreeWidgetItem* copy = item->clone();
    copy->setSelected(false);
    Dest->addTopLevelItem(copy);
    last = i;
  }
  for (int i = count - 1; i >= 0; --i)
    if (Source->topLevelItem(i)->isSelected()) delete Source->takeTopLevelItem(i);
  const int remaining = Source->topLevelItemCount();
  if (last > remaining - 1) last = remaining - 1;
  if (last >= 0) {
    Source->clearSelection();
    QTreeWidgetItem* item = Source->topLevelItem(last);
    Source->setCurrentItem(item);
    item->setSelected(true);
  }
}

void TfrmEMFSelect::lbAvailableClick() { PreviewFirstSelect(lbAvailable); }
void TfrmEMFSelect::lbSelectedClick() { PreviewFirstSelect(lbSelected); }
void TfrmEMFSelect::lbAvailableDblClick() { MoveSelectedItems(lbAvailable, lbSelected); }
void TfrmEMFSelect::lbSelectedDblClick() { MoveSelectedItems(lbSelected, lbAvailable); }
void TfrmEMFSelect::btnSelectOneClick() { MoveSelectedItems(lbAvailable, lbSelected); }
void TfrmEMFSelect::BtnUnselectOneClick() { MoveSelectedItems(lbSelected, lbAvailable); }

void TfrmEMFSelect::btnSelectAllClick() {
  lbAvailable->selectAll();
  btnSelectOneClick();
}

void TfrmEMFSelect::btnUnselectAllClick() {
  lbSelected->selectAll();
  BtnUnselectOneClick();
}

void TfrmEMFSelect::Close1Click() { close(); }

void TfrmEMFSelect::SortList(QTreeWidget* List, int Column) {
  QHeaderView* header = List->header();
  const Qt::SortOrder order = (header->isSortIndicatorShown() && header->sortIndicatorSection() == Column &&
                               header->sortIndicatorOrder() == Qt::AscendingOrder)
                                  ? Qt::DescendingOrder
                                  : Qt::AscendingOrder;
  header->setSortIndicatorShown(true);
  header->setSortIndicator(Column, order);
  List->sortItems(Column, order);
}

bool TfrmEMFSelect::LoadPage(const QString& Caption, TEmfPicture& Picture, QString& Error) const {
  if (!Picture.LoadFromFile(FPreviewDir + Caption, &Error)) return false;
  // A trial run on a small canvas finds records whose contents are damaged,
  // so a broken page is reported instead of printed half.
  QImage trial(16, 16, QImage::Format_RGB32);
  QPainter painter(&trial);
  const int skipped = Picture.Draw(painter, QRectF(0, 0, 16, 16));
  if (skipped > 0) {
    Error = QStringLiteral("%1 of its drawing records are damaged.").arg(skipped);
    Picture.Clear();
    return false;
  }
  return true;
}

void TfrmEMFSelect::PreviewFirstSelect(QTreeWidget* List) {
  QTreeWidgetItem* first = nullptr;
  for (int i = 0; i < List->topLevelItemCount() && !first; ++i)
    if (List->topLevelItem(i)->isSelected()) first = List->topLevelItem(i);
  if (!first) return;
  const QRectF r(0, 0, pPreview->width(), pPreview->height());
  FPreview = QImage(r.size().toSize(), QImage::Format_RGB32);
  FPreview.fill(Qt::white);
  TEmfPicture picture;
  QString error;
  QPainter painter(&FPreview);
  if (LoadPage(first->text(0), picture, error)) {
    picture.Draw(painter, r);
    pPreview->setToolTip(QString());
  } else {
    // A crossed-out preview, and the reason where the mouse finds it.
    painter.setPen(QPen(Qt::red, 2));
    painter.drawLine(r.topLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomLeft());
    pPreview->setToolTip(QStringLiteral("The page \"%1\" cannot be shown: %2").arg(first->text(0), error));
  }
  painter.end();
  ShowPreview();
}

void TfrmEMFSelect::ShowPreview() { pPreview->setPixmap(QPixmap::fromImage(FPreview)); }

void TfrmEMFSelect::btnPrintClick() {
  const int n = lbSelected->topLevelItemCount();
  if (n == 0) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setFromTo(1, n);
  if (RunPrintDialog(this, &printer, 1, n)) {
    int first = 0, last = n - 1;
    const bool selectionOnly = printer.printRange() == QPrinter::Selection;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
      // A range reaching past the list ends at its last page.
      first = std::clamp(printer.fromPage(), 1, n) - 1;
      last = std::clamp(printer.toPage() > 0 ? printer.toPage() : n, 1, n) - 1;
    }
    const QRectF r(0, 0, printer.width(), printer.height());

    // Every page of the job is read before the job begins: a damaged page
    // stops the printing before anything reaches the printer.
    std::vector<std::unique_ptr<TEmfPicture>> pages;
    for (int i = first; i <= last; ++i) {
      QTreeWidgetItem* item = lbSelected->topLevelItem(i);
      if (selectionOnly && !item->isSelected()) {
        pages.emplace_back();
        continue;
      }
      auto picture = std::make_unique<TEmfPicture>();
      QString error;
      if (!LoadPage(item->text(0), *picture, error)) {
        ShowError(
            this,
            QStringLiteral("The page \"%1\" cannot be printed: %2\nNothing was printed.").arg(item->text(0), error));
        return;
      }
      pages.push_back(std::move(picture));
    }
    // A job of no pages would still give a blank sheet.
    if (std::none_of(pages.begin(), pages.end(), [](const auto& Page) { return Page != nullptr; })) {
      ShowError(this, QStringLiteral("No page is selected: nothing was printed."));
      return;
    }

    const QString target = printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()
                               ? printer.outputFileName()
                               : printer.printerName();
    JvProgressDlg1->setMaximum(3 * (last - first + 1));
    JvProgressDlg1->setValue(0);
    JvProgressDlg1->setLabelText(QStringLiteral("Printing pages to ") + target);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      JvProgressDlg1->move(screen->geometry().center() - JvProgressDlg1->rect().center());
    JvProgressDlg1->show();
    JvProgressDlg1->repaint();
    printer.setDocName(QStringLiteral("Quillset ") + lbVersion->text().mid(3, 4) + QStringLiteral(" preview"));

    QPainter painter;
    if (!painter.begin(&printer)) {
      JvProgressDlg1->hide();
      ShowError(this, QStringLiteral("The printer \"%1\" cannot start the print job.").arg(target));
      return;
    }
    bool printed = false;
    for (int i = first; i <= last; ++i) {
      auto step = [&](int Value) {
        JvProgressDlg1->setValue(Value);
        JvProgressDlg1->repaint();
      };
      step(3 * (i - first));
      const TEmfPicture* picture = pages[size_t(i - first)].get();
      if (!picture) continue;
      if (printed) printer.newPage();
      step(3 * (i - first) + 1);
      picture->Draw(painter, r);
      printed = true;
      step(3 * (i - first) + 2);
    }
    painter.end();
  }
  JvProgressDlg1->hide();
}

void TfrmEMFSelect::FormResize() {
  const int w = frameGeometry().width() > 0 ? frameGeometry().width() : width();
  Panel1->setFixedWidth(42 * w / 100);
  Panel3->setFixedWidth(42 * w / 100);
  Panel4->resize(13 * w / 100, Panel4->height());
  LayoutPanels();
}

// The panels stand as aligned: the menu bar on top, Panel2 along the bottom,
// Panel1 on the left, Panel5 then Panel3 on the right, Panel4 in between.
void TfrmEMFSelect::LayoutPanels() {
  const int menuHeight = MainMenu1 ? MainMenu1->sizeHint().height() : 0;
  if (MainMenu1) MainMenu1->setGeometry(0, 0, width(), menuHeight);
  const int h = std::max(0, height() - menuHeight - 33);
  Panel2->setGeometry(0, height() - 33, width(), 33);
  Panel1->setGeometry(0, menuHeight, Panel1->width(), h);
  Panel5->setGeometry(width() - 13, menuHeight, 13, h);
  Panel3->setGeometry(width() - 13 - Panel3->width(), menuHeight, Panel3->width(), h);
  const int middle = std::max(Panel4->minimumWidth(), Panel3->x() - Panel1->width());
  Panel4->setGeometry(Panel1->width(), menuHeight, middle, h);
  lbAvailable->setGeometry(0, 0, Panel1->width(), h);
  lbSelected->setGeometry(0, 0, Panel3->width(), h);

  const int pw = Panel4->width();
  cbQSVersion->setGeometry(2, 0, pw - 4, 22);
  lbVersion->setGeometry(2, 24, pw - 4, 16);
  const int tops[] = {24, 56, 104, 136};
  QPushButton* buttons[] = {btnSelectOne, btnSelectAll, BtnUnselectOne, btnUnselectAll};
  for (int i = 0; i < 4; ++i) buttons[i]->setGeometry(4, tops[i] + 20, pw - 8, 25);
  pPreview->setGeometry((pw - pPreview->width()) / 2, std::max(0, h - pPreview->height()), pPreview->width(),
                        pPreview->height());
  btnPrint->resize(btnPrint->sizeHint().width(), 25);
  btnPrint->move(Panel3->x() + Panel3->width() - btnPrint->width(), 4);
}

void TfrmEMFSelect::FormActivate() {
  // Too small a window grows to show its bottom panel whole.
  const QRect p = Panel2->geometry();
  if (p.right() >= width() || p.bottom() >= height() + 1) adjustSize();
}
