#include "FileChooser.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <memory>

#include "MessageBox.h"
#include "NativeNames.h"

namespace {
constexpr int kNameRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;

struct TEntry {
  QString Name;
  QString Shown;
  bool Folder = false;
  qint64 Size = 0;
  qint64 Modified = 0;
};

// "Description (*.a *.b)" or the classic "Description (*.a;*.b)": the masks
// as bytes; none for a text without them.
std::vector<std::string> MasksOf(const QString& Filter) {
  const qsizetype open = Filter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = Filter.lastIndexOf(QLatin1Char(')'));
  std::vector<std::string> masks;
  if (open < 0 || close < open) return masks;
  static const QRegularExpression separators(QStringLiteral("[ ;]+"));
  for (const QString& mask : Filter.mid(open + 1, close - open - 1).split(separators, Qt::SkipEmptyParts))
    masks.push_back(NativeFromName(mask));
  return masks;
}

// Masks match without regard to ASCII letter case: "*.dcl" finds "A.DCL" from a Windows share.
bool Matches(const std::string& Name, const std::vector<std::string>& Masks) {
  if (Masks.empty()) return true;
  return std::any_of(Masks.begin(), Masks.end(),
                     [&](const std::string& m) { return ::fnmatch(m.c_str(), Name.c_str(), FNM_CASEFOLD) == 0; });
}

// The folder's entries by their bytes, folders first; hidden names and
// links that lead nowhere are left out.
std::vector<TEntry> ReadFolder(const QString& Folder, bool FoldersOnly, const std::vector<std::string>& Masks) {
  std::vector<TEntry> entries;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(NativeFromName(Folder).c_str()), ::closedir);
  if (!dir) return entries;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir.get()), name.c_str(), &st, 0) != 0) continue;
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder && (FoldersOnly || !Matches(name, Masks))) continue;
    TEntry entry;
    entry.Name = NameFromNative(name);
    entry.Shown = ShownName(entry.Name);
    entry.Folder = folder;
    entry.Size = st.st_size;
    entry.Modified = st.st_mtim.tv_sec;
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), [](const TEntry& A, const TEntry& B) {
    if (A.Folder != B.Folder) return A.Folder;
    const int order = A.Shown.compare(B.Shown, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : A.Name < B.Name;
  });
  return entries;
}

QString BareName(const QString& Path) { return Path.mid(Path.lastIndexOf(QLatin1Char('/')) + 1); }

QString HomeFolder() { return NameFromNative(qgetenv("HOME").toStdString()); }
}  // namespace

TFileChooser::TFileChooser(QWidget* Parent, TMode Mode, const dialogs::TFileDialogRequest& Request)
    : QDialog(Parent),
      FMode(Mode),
      FTitle(Request.Title),
      FDefaultSuffix(Request.DefaultSuffix),
      FMustExist(Mode != TMode::Open || Request.MustExist),
      FConfirmOverwrite(Request.ConfirmOverwrite) {
  setWindowTitle(Request.Title);
  setSizeGripEnabled(true);
  resize(640, 420);
  auto* grid = new QGridLayout(this);
  FLookIn = new QLineEdit(this);
  FLookIn->setObjectName("lookInEdit");
  auto* up = new QToolButton(this);
  up->setObjectName("toParentButton");
  up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  up->setToolTip(tr("Parent folder"));
  grid->addWidget(new QLabel(tr("Look in:"), this), 0, 0);
  grid->addWidget(FLookIn, 0, 1);
  grid->addWidget(up, 0, 2);

  FModel = new QStandardItemModel(this);
  FList = new QTreeView(this);
  FList->setObjectName("listView");
  FList->setModel(FModel);
  FList->setRootIsDecorated(false);
  FList->setItemsExpandable(false);
  FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FList->setSelectionBehavior(QAbstractItemView::SelectRows);
  FList->setSelectionMode(Mode == TMode::OpenMany ? QAbstractItemView::ExtendedSelection
                                                  : QAbstractItemView::SingleSelection);
  grid->addWidget(FList, 1, 0, 1, 3);

  FName = new QLineEdit(this);
  FName->setObjectName("fileNameEdit");
  grid->addWidget(new QLabel(Mode == TMode::Folder ? tr("Folder:") : tr("File name:"), this), 2, 0);
  grid->addWidget(FName, 2, 1, 1, 2);
  FTypes = new QComboBox(this);
  FTypes->setObjectName("fileTypeCombo");
  for (const QString& filter : Request.Filters) FTypes->addItem(QString(filter).replace(';', ' '));
  if (Mode != TMode::Folder && !Request.Filters.isEmpty()) {
    grid->addWidget(new QLabel(tr("Files of type:"), this), 3, 0);
    grid->addWidget(FTypes, 3, 1, 1, 2);
    FTypes->setCurrentIndex(std::clamp(static_cast<int>(Request.FilterIndex), 0, FTypes->count() - 1));
  } else {
    FTypes->hide();
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->addButton(Mode == TMode::Save     ? QDialogButtonBox::Save
                                       : Mode == TMode::Folder ? QDialogButtonBox::Ok
                                                               : QDialogButtonBox::Open);
  if (Mode == TMode::Folder) ok->setText(tr("&Choose"));
  grid->addWidget(buttons, 4, 0, 1, 3);

  connect(buttons, &QDialogButtonBox::accepted, this, &TFileChooser::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TFileChooser::reject);
  connect(up, &QToolButton::clicked, this, [this] { ShowFolder(QDir::cleanPath(FFolder + QStringLiteral("/.."))); });
  connect(FLookIn, &QLineEdit::returnPressed, this, [this] {
    const QString folder = FullName(FLookIn->text());
    ShowFolder(KindOfName(folder) == TNameKind::Folder ? folder : FFolder);
  });
  connect(FList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TFileChooser::TakeSelection);
  connect(FList, &QTreeView::activated, this, [this](const QModelIndex& Index) { Activate(Index.row()); });
  connect(FName, &QLineEdit::textEdited, this, [this] { FPicked.clear(); });
  connect(FTypes, &QComboBox::activated, this, &TFileChooser::FilterChosen);

  // A proposed name with a folder opens that folder.
  QString folder = Request.Directory.isEmpty() ? AbsoluteName(QStringLiteral(".")) : Request.Directory;
  QString name = Request.FileName;
  if (name.contains(QLatin1Char('/'))) {
    const QString full = FullName(name);
    folder = full.left(full.lastIndexOf(QLatin1Char('/')) + 1);
    name = BareName(full);
  }
  ShowFolder(FullName(folder));
  if (!name.isEmpty()) SetNameText(ShownName(name), {name});
}

int TFileChooser::ChosenFilter() const { return FTypes->count() ? FTypes->currentIndex() : -1; }

void TFileChooser::ShowFolder(const QString& Folder) {
  FFolder = QDir::cleanPath(Folder);
  FLookIn->setText(ShownName(FFolder));
  FillList();
}

void TFileChooser::FillList() {
  FModel->clear();
  FModel->setHorizontalHeaderLabels({tr("Name"), tr("Size"), tr("Date Modified")});
  const QLocale locale;
  const QStyle* s = style();
  for (const TEntry& e : ReadFolder(FFolder, FMode == TMode::Folder, MasksOf(FTypes->currentText()))) {
    auto* name = new QStandardItem(s->standardIcon(e.Folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon), e.Shown);
    name->setData(e.Name, kNameRole);
    name->setData(e.Folder, kFolderRole);
    auto* size = new QStandardItem(e.Folder ? QString() : locale.formattedDataSize(e.Size));
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* modified =
        new QStandardItem(locale.toString(QDateTime::fromSecsSinceEpoch(e.Modified), QLocale::ShortFormat));
    FModel->appendRow({name, size, modified});
  }
  FList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void TFileChooser::TakeSelection() {
  QModelIndexList rows = FList->selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end());
  QStringList names, shown;
  for (const QModelIndex& row : rows) {
    // Where files are chosen a folder is opened, never taken as the name:
    // a proposed file name stays while the user looks through folders.
    if (FMode != TMode::Folder && row.data(kFolderRole).toBool()) continue;
    names << row.data(kNameRole).toString();
    shown << row.data(Qt::DisplayRole).toString();
  }
  if (names.isEmpty()) return;
  SetNameText(
      names.size() == 1 ? shown.front() : QLatin1Char('"') + shown.join(QStringLiteral("\" \"")) + QLatin1Char('"'),
      names);
}

void TFileChooser::Activate(int Row) {
  const QStandardItem* item = FModel->item(Row, 0);
  if (!item) return;
  const QString name = item->data(kNameRole).toString();
  if (item->data(kFolderRole).toBool()) {
    ShowFolder(FullName(name));
    // Choosing a folder now means the one that is open.
    if (FMode == TMode::Folder) SetNameText({}, {});
    return;
  }
  SetNameText(item->text(), {name});
  accept();
}

void TFileChooser::FilterChosen(int Index) {
  // A name typed without extension takes the one of the filter the user
  // picks, so the question before replacing a file names the file written.
  if (FMode == TMode::Save) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(FTypes->itemText(Index));
    if (match.hasMatch()) FDefaultSuffix = match.captured(1);
  }
  if (!FFolder.isEmpty()) FillList();
}

void TFileChooser::SetNameText(const QString& Text, const QStringList& Names) {
  FName->setText(Text);
  FPicked = Names;
}

QStringList TFileChooser::NamesOfText() const {
  if (!FPicked.isEmpty()) return FPicked;
  const QString text = FName->text();
  if (text.isEmpty()) return {};
  if (FMode == TMode::OpenMany && text.contains(QLatin1Char('"')) && !NameExists(FullName(text))) {
    QStringList names;
    const QStringList parts = text.split(QLatin1Char('"'));
    for (qsizetype i = 1; i < parts.size(); i += 2)
      if (!parts[i].isEmpty()) names << parts[i];
    if (!names.isEmpty()) return names;
  }
  return {text};
}

QString TFileChooser::FullName(const QString& Name) const {
  if (Name == QLatin1String("~") || Name.startsWith(QLatin1String("~/")))
    return QDir::cleanPath(HomeFolder() + Name.mid(1));
  if (Name.startsWith(QLatin1Char('/'))) return QDir::cleanPath(Name);
  return QDir::cleanPath(FFolder + QLatin1Char('/') + Name);
}

bool TFileChooser::Confirmed(QStringList& Names) {
  for (QString& name : Names) {
    const TNameKind kind = KindOfName(name);
    const QString shown = ShownName(name);
    if (FMode == TMode::Folder) {
      if (kind == TNameKind::Folder) continue;
      dialogs::MessageBox(this, shown + tr("\nFolder not found."), FTitle, MB_OK | MB_ICONWARNING);
      return false;
    }
    if (FMustExist && FMode != TMode::Save) {
      if (kind != TNameKind::Missing) continue;
      dialogs::MessageBox(this, shown + tr("\nFile not found.\nPlease verify the correct file name was given."), FTitle,
                          MB_OK | MB_ICONWARNING);
      return false;
    }
    if (FMode != TMode::Save) continue;
    if (!FDefaultSuffix.isEmpty() && !BareName(name).contains(QLatin1Char('.')))
      name += QLatin1Char('.') + FDefaultSuffix;
    if (FConfirmOverwrite && NameExists(name) &&
        dialogs::MessageBox(this, ShownName(BareName(name)) + tr(" already exists.\nDo you want to replace it?"),
                            FTitle, MB_YESNO | MB_ICONWARNING) != IDYES)
      return false;
  }
  return true;
}

void TFileChooser::accept() {
  const QStringList names = NamesOfText();
  if (names.isEmpty()) {
    if (FMode != TMode::Folder) return;
    FChosen = {FFolder};
    QDialog::accept();
    return;
  }
  QStringList full;
  for (const QString& name : names) full << FullName(name);
  // A folder typed or picked where files are chosen is opened instead.
  if (FMode != TMode::Folder && full.size() == 1 && KindOfName(full.front()) == TNameKind::Folder) {
    ShowFolder(full.front());
    SetNameText({}, {});
    return;
  }
  if (!Confirmed(full)) return;
  FChosen = full;
  QDialog::accept();
}

QStringList RunFileChooser(QWidget* Parent, TFileChooser::TMode Mode, const dialogs::TFileDialogRequest& Request,
                           int* FilterIndex) {
  TFileChooser chooser(Parent, Mode, Request);
  if (chooser.exec() != QDialog::Accepted) return {};
  if (FilterIndex && chooser.ChosenFilter() >= 0) *FilterIndex = chooser.ChosenFilter();
  return chooser.Chosen();
}
