#include "fPackager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <algorithm>
#include <future>
#include <optional>
#include <set>

#include "Accessors.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "NativeNames.h"
#include "PackagerArchive.h"
#include "PathNames.h"
#include "Settings.h"
#include "StringUtil.h"
#include "ui_fPackager.h"

TFrmPackager* FrmPackager = nullptr;

namespace {
TPackagerHost gHost;

const char* const kFileTypeExtension[] = {".cab", ".zip"};

// Native paths as bytes and back (file names here are bytes, not always UTF-8).
std::string PathBytes(const QString& Path) { return NativeFromName(Path); }
QString PathText(const std::string& Path) { return NameFromNative(Path); }
// Names in the list come from object data, stored as UTF-8, and from the
// disk: the object file's own name keeps its bytes.
QString NameText(const std::string& Name) { return NameFromNative(Name); }
std::string NameBytes(const QString& Name) { return NativeFromName(Name); }

// An entry's text is the name itself; a name that is no UTF-8 shows readably.
class TShownNameDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& Value, const QLocale&) const override { return ShownName(Value.toString()); }
};

// Restores the normal cursor however the work ends.
class THourglass {
 public:
  THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~THourglass() { QApplication::restoreOverrideCursor(); }
  THourglass(const THourglass&) = delete;
  THourglass& operator=(const THourglass&) = delete;
};
}  // namespace

// The object file of "/p" is always packaged unless "Mandatories" is off, so
// its compressing starts while it is still being read: a writer is opened
// and given the file on a thread of its own. WritePackage goes on with that
// writer when the list still ticks the file and nothing else changed;
// otherwise it drops it and starts afresh, meeting any failure again.
struct TFrmPackager::TEarlyStart {
  std::unique_ptr<TArchiveWriter> Writer;  // before Found: outlives the thread
  std::string Archive, Base;
  int Type = 0;
  QString Name;
  std::vector<std::string> Processed;  // told by the writer's thread, replayed after
  std::future<size_t> Found;
};

void SetPackagerHost(const TPackagerHost& Host) { gHost = Host; }
const TPackagerHost& PackagerHost() { return gHost; }

TFrmPackager::TFrmPackager(QWidget* Parent)
    : QDialog(Parent), FResultList(true), ui(std::make_unique<Ui::TFrmPackager>()) {
  ui->setupUi(this);
  setObjectName("FrmPackager");
  gbFileSelect = ui->gbFileSelect;
  laBasePath = ui->laBasePath;
  edBasePath = ui->edBasePath;
  btnBasedirSelect = ui->btnBasedirSelect;
  clbFilenames = ui->clbFilenames;
  clbFilenames->setItemDelegate(new TShownNameDelegate(clbFilenames));
  gbDefaults = ui->gbDefaults;
  cbDocumentation = ui->cbDocumentation;
  cbDevices = ui->cbDevices;
  cbMandatories = ui->cbMandatories;
  cbSampleFiles = ui->cbSampleFiles;
  cbSpecials = ui->cbSpecials;
  btnAll = ui->btnAll;
  btnToggle = ui->btnToggle;
  btnAdd = ui->btnAdd;
  cbPreservePath = ui->cbPreservePath;
  cbGuessBasepath = ui->cbGuessBasepath;
  cbShowfiles = ui->cbShowfiles;
  cbFiletype = ui->cbFiletype;
  BtnPackage = ui->BtnPackage;
  btnClose = ui->btnClose;
  pbFiles = ui->pbFiles;
  pbFile = ui->pbFile;
  cbFiletype->setCurrentIndex(0);
  // The designed size, unless the fonts here need more room for the controls.
  setMinimumSize(QSize(320, 400).expandedTo(minimumSizeHint()));
  resize(QSize(485, 400).expandedTo(minimumSizeHint()));

  // A box set by program runs its handler too, as a click would.
  connect(cbMandatories, &QCheckBox::toggled, this, &TFrmPackager::cbMandatoriesClick);
  connect(cbSampleFiles, &QCheckBox::toggled, this, &TFrmPackager::cbSampleFilesClick);
  connect(cbDevices, &QCheckBox::toggled, this, &TFrmPackager::cbDevicesClick);
  connect(cbSpecials, &QCheckBox::toggled, this, &TFrmPackager::cbSpecialsClick);
  connect(btnAll, &QPushButton::clicked, this, &TFrmPackager::btnAllClick);
  connect(btnToggle, &QPushButton::clicked, this, &TFrmPackager::btnToggleClick);
  connect(btnAdd, &QPushButton::clicked, this, &TFrmPackager::btnAddClick);
  connect(btnBasedirSelect, &QToolButton::clicked, this, &TFrmPackager::btnBasedirSelectClick);
  connect(edBasePath, &QLineEdit::textChanged, this, &TFrmPackager::edBasePathChange);
  connect(BtnPackage, &QPushButton::clicked, this, &TFrmPackager::BtnPackageClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

TFrmPackager::~TFrmPackager() {
  if (FrmPackager == this) FrmPackager = nullptr;
}

// --- the list ---------------------------------------------------------------

QStringList TFrmPackager::ListNames() const {
  QStringList names;
  for (int i = 0; i < clbFilenames->count(); ++i) names << clbFilenames->item(i)->text();
  return names;
}

QStringList TFrmPackager::CheckedNames() const {
  QStringList names;
  for (int i = 0; i < clbFilenames->count(); ++i)
    if (clbFilenames->item(i)->checkState() == Qt::Checked) names << clbFilenames->item(i)->text();
  return names;
}

// Every entry takes its sorted place, so the list is searched by halving:
// a group of thousands of names stays quick to add and to tick.
int TFrmPackager::SortedPlace(const std::string& Name) const {
  int low = 0, high = clbFilenames->count();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (CompareNames(NameBytes(clbFilenames->item(middle)->text()), Name) < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

int TFrmPackager::IndexOfEntry(const QString& Name) const {
  const std::string name = NameBytes(Name);
  const int at = SortedPlace(name);
  return at < clbFilenames->count() && SameName(NameBytes(clbFilenames->item(at)->text()), name) ? at : -1;
}

// New names join unticked at their sorted places. The list is rebuilt in
// order instead of inserted into: the list widget finds an item's row at
// once only while no row was inserted before it, and every change of a tick
// asks for that row (inserting made ticking thousands of names quadratic).
void TFrmPackager::AddListEntries(std::vector<std::string> Names) {
  if (Names.empty()) return;
  const auto before = [](const std::string& A, const std::string& B) { return CompareNames(A, B) < 0; };
  std::stable_sort(Names.begin(), Names.end(), before);
  struct TEntry {
    std::string Name;
    QString Text;
    Qt::CheckState State;
  };
  std::vector<TEntry> entries;
  entries.reserve(static_cast<size_t>(clbFilenames->count()) + Names.size());
  size_t next = 0;
  for (int i = 0; i < clbFilenames->count(); ++i) {
    const QListWidgetItem* item = clbFilenames->item(i);
    std::string name = NameBytes(item->text());
    for (; next < Names.size() && before(Names[next], name); ++next)
      entries.push_back({Names[next], NameText(Names[next]), Qt::Unchecked});
    entries.push_back({std::move(name), item->text(), item->checkState()});
  }
  for (; next < Names.size(); ++next) entries.push_back({Names[next], NameText(Names[next]), Qt::Unchecked});

  const QString current = clbFilenames->currentItem() ? clbFilenames->currentItem()->text() : QString();
  clbFilenames->clear();
  for (const TEntry& entry : entries) {
    auto* item = new QListWidgetItem(entry.Text);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(entry.State);
    clbFilenames->addItem(item);
  }
  if (!current.isEmpty()) clbFilenames->setCurrentRow(IndexOfEntry(current));
}

void TFrmPackager::AddFilesToList(TNameList& List, bool State, bool Native) {
  // Reduce to bare names; a value starting with "=" is computed, not a file.
  std::vector<std::string> bare;
  for (const std::string& entry : List.Items()) {
    // The object file's own name is one of this system, where ":" may be
    // part of a name.
    const bool native = Native || (!FFileName.isEmpty() && entry == NameBytes(FFileName));
    std::string name = native ? BareNativeName(entry) : BareObjectName(entry);
    if (name.empty() || name[0] == '=') continue;
    bare.push_back(std::move(name));
  }
  List.Assign(std::move(bare));
  if (Native)
    for (const std::string& name : List.Items()) FChosenNames.insert(LowerAscii(name));

  std::vector<std::string> fresh;
  for (const std::string& name : List.Items())
    if (IndexOfEntry(NameText(name)) < 0) fresh.push_back(name);
  AddListEntries(std::move(fresh));
  CheckFilesInList(List, State);
}

void TFrmPackager::CheckFilesInList(const TNameList& List, bool State) {
  for (const std::string& name : List.Items()) {
    const int i = IndexOfEntry(NameText(name));
    if (i >= 0) clbFilenames->item(i)->setCheckState(State ? Qt::Checked : Qt::Unchecked);
  }
}

void TFrmPackager::GuessBasePath() { edBasePath->setText(PathText(::GuessBasePath(PathBytes(edBasePath->text())))); }

void TFrmPackager::SetFilesCaption(const QString& Text, bool Draw) {
  FFilesCaption = Text;
  // The bar reads "%" sequences in its format; the caption is plain text.
  QString format = Text;
  format.replace('%', QStringLiteral("%%"));
  pbFiles->setFormat(format);
  pbFiles->setTextVisible(true);
  // Packaging handles no input until it ends; the bar shows each step now.
  if (Draw && pbFiles->isVisible()) pbFiles->repaint();
}

void TFrmPackager::StepFiles() { pbFiles->setValue(std::min(pbFiles->value() + 1, pbFiles->maximum())); }

void TFrmPackager::PrepareFileList() {
  clbFilenames->clear();
  FResultNotes.clear();
  FChosenNames.clear();
  pbFiles->setMinimum(0);
  pbFiles->setValue(0);
  SetFilesCaption(QString());
  pbFile->setValue(0);

  LoadPackSettings();
  ProposeArchive(FFileName);

  TPackagerGroups groups;
  CollectPackagerGroups(groups);
  FMandatoryList = std::move(groups.Mandatory);
  FSampleList = std::move(groups.Sample);
  FDeviceList = std::move(groups.Device);
  FSpecialList = std::move(groups.Special);

  FFileName = PathText(BareNativeName(PathBytes(FFileName)));
  if (!FFileName.isEmpty()) FMandatoryList.Add(NameBytes(FFileName));

  AddFilesToList(FMandatoryList, cbMandatories->isChecked());
  AddFilesToList(FSampleList, cbSampleFiles->isChecked());
  AddFilesToList(FDeviceList, cbDevices->isChecked());
  AddFilesToList(FSpecialList, cbSpecials->isChecked());
}

// The archive beside the object file, named like it, and the base folder:
// the object file's, or the project folder above it.
void TFrmPackager::ProposeArchive(const QString& ObjectFile) {
  SaveFileName = PathText(NativeWithoutExtension(PathBytes(ObjectFile))) +
                 (cbFiletype->currentIndex() == 0 ? kFileTypeExtension[0] : kFileTypeExtension[1]);
  edBasePath->setText(PathText(NativeFolderPart(PathBytes(ObjectFile))));
  if (cbGuessBasepath->isChecked()) GuessBasePath();
}

// --- settings ---------------------------------------------------------------

namespace {
struct TPackBox {
  const TSetting<bool>& Setting;
  QCheckBox* TFrmPackager::*Box;
};
const TPackBox kPackBoxes[] = {
    {settings::PackDocumentation, &TFrmPackager::cbDocumentation},
    {settings::PackMandatorys, &TFrmPackager::cbMandatories},
    {settings::PackDevices, &TFrmPackager::cbDevices},
    {settings::PackSpecials, &TFrmPackager::cbSpecials},
    {settings::PackSampleFiles, &TFrmPackager::cbSampleFiles},
    {settings::PackPreservePath, &TFrmPackager::cbPreservePath},
    {settings::PackGuessBasepath, &TFrmPackager::cbGuessBasepath},
    {settings::PackShowResult, &TFrmPackager::cbShowfiles},
};
}  // namespace

void TFrmPackager::SavePackSettings() {
  for (const TPackBox& box : kPackBoxes) WriteRegString(box.Setting.Name, BoolToRegText((this->*box.Box)->isChecked()));
  WriteRegString(settings::PackMethod.Name, std::to_string(cbFiletype->currentIndex()));
}

void TFrmPackager::LoadPackSettings() {
  for (const TPackBox& box : kPackBoxes) (this->*box.Box)->setChecked(ReadSetting(box.Setting));
  // A number that names no item selects none; packaging then writes a zip.
  const int method = ReadSetting(settings::PackMethod);
  cbFiletype->setCurrentIndex(method >= 0 && method < cbFiletype->count() ? method : -1);
}

// --- packaging --------------------------------------------------------------

void TFrmPackager::ProcessItem(const std::string& StoredName) { FResultList.Add(StoredName); }

void TFrmPackager::ReportTo(TArchiveWriter& Writer) {
  Writer.OnProcessItem = [this](const std::string& Name) { ProcessItem(Name); };
  Writer.OnItemProgress = [this](int Percent) { pbFile->setValue(Percent); };
}

std::unique_ptr<TArchiveWriter> TFrmPackager::OpenWriter() {
  const bool cab = cbFiletype->currentIndex() == 0;
  std::unique_ptr<TArchiveWriter> writer = cab ? CreateCabArchiveWriter() : CreateZipArchiveWriter();
  writer->PreservePath = cbPreservePath->isChecked();
  ReportTo(*writer);
  std::string comment;
  if (!cab) {
    const QString version = gHost.ProgramVersionLabel ? gHost.ProgramVersionLabel() : QString();
    comment = "Created with " + version.toStdString();
  }
  writer->Open(PathBytes(edBasePath->text()), PathBytes(SaveFileName), comment);
  return writer;
}

void TFrmPackager::StartPackagingEarly(const QString& ObjectFile) {
  FEarly.reset();
  try {
    LoadPackSettings();
    if (!cbMandatories->isChecked()) return;
    ProposeArchive(ObjectFile);
    auto early = std::make_unique<TEarlyStart>();
    early->Writer = OpenWriter();
    early->Writer->OnProcessItem = [names = &early->Processed](const std::string& Name) { names->push_back(Name); };
    early->Writer->OnItemProgress = nullptr;  // no widget is touched from that thread
    early->Archive = PathBytes(SaveFileName);
    early->Base = PathBytes(edBasePath->text());
    early->Type = cbFiletype->currentIndex();
    early->Name = PathText(BareNativeName(PathBytes(ObjectFile)));
    early->Found = std::async(std::launch::async, [writer = early->Writer.get(), mask = NameBytes(early->Name)] {
      return writer->AddFiles(mask);
    });
    FEarly = std::move(early);
  } catch (const std::exception&) {
    FEarly.reset();  // the packaging proper meets it again and reports it
  }
}

// The early writer, when it can go on: Found then holds what it found for
// EarlyName. Rescan: files were written below the base folder since it
// started.
std::unique_ptr<TArchiveWriter> TFrmPackager::TakeEarlyWriter(QString& EarlyName, size_t& Found, bool Rescan) {
  std::unique_ptr<TEarlyStart> early = std::move(FEarly);
  if (!early) return nullptr;
  try {
    Found = early->Found.get();
  } catch (const std::exception&) {
    return nullptr;
  }
  const int entry = IndexOfEntry(early->Name);
  if (entry < 0 || clbFilenames->item(entry)->checkState() != Qt::Checked ||
      early->Archive != PathBytes(SaveFileName) || early->Base != PathBytes(edBasePath->text()) ||
      early->Type != cbFiletype->currentIndex())
    return nullptr;
  ReportTo(*early->Writer);
  if (Rescan) early->Writer->Rescan();
  for (const std::string& name : early->Processed) ProcessItem(name);
  EarlyName = early->Name;
  return std::move(early->Writer);
}

int TFrmPackager::CreatePackage() {
  try {
    return WritePackage();
  } catch (const std::exception& e) {
    // Reported here, so that every caller can tell a failure by the result.
    if (gHost.ShowError) gHost.ShowError(QString::fromStdString(e.what()));
    FResultNotes.clear();
    return -1;
  }
}

int TFrmPackager::WritePackage() {
  // The hourglass ends before the result box shows.
  std::optional<THourglass> hourglass;
  hourglass.emplace();
  FUpToDate = false;
  const bool documented = cbDocumentation->isChecked() && AddDocumentation();
  StepFiles();
  FResultList.Clear();

  int count = 0;
  for (int i = 0; i < clbFilenames->count(); ++i)
    if (clbFilenames->item(i)->checkState() == Qt::Checked) ++count;
  pbFiles->setMaximum(count + 4);
  ProcessMessages();
  StepFiles();

  // Nothing ticked: no archive is opened, so none is written, emptied or
  // replaced, and nothing is created where a link points.
  QString earlyName;
  size_t earlyFound = 0;
  std::unique_ptr<TArchiveWriter> writer = TakeEarlyWriter(earlyName, earlyFound, documented);
  if (count == 0) writer.reset();
  if (!writer && count > 0) writer = OpenWriter();
  const int entries = clbFilenames->count();
  // Missing are the files that must be there: the object file, the files its
  // external-files objects list, and those chosen by hand. A name guessed
  // from a script or a property is often a library's, found nowhere here.
  std::set<std::string> expected = FChosenNames;
  for (const std::string& name : FMandatoryList.Items()) expected.insert(LowerAscii(name));
  QStringList missing;
  // Each count is drawn at once, but not more often than anyone can read:
  // a list of many thousand names would otherwise spend its time drawing.
  QElapsedTimer clock;
  clock.start();
  qint64 drawnAt = 0;
  for (int i = 0; i < entries; ++i) {
    QListWidgetItem* item = clbFilenames->item(i);
    const bool draw = i == 0 || i + 1 == entries || clock.elapsed() - drawnAt >= 40;
    if (draw) drawnAt = clock.elapsed();
    SetFilesCaption(ShownName(item->text()), draw);
    if (gHost.SetWaitText) gHost.SetWaitText(QString("Packaging %1/%2").arg(i + 1).arg(entries), draw);
    StepFiles();
    if (writer && item->checkState() == Qt::Checked &&
        (item->text() == earlyName ? earlyFound : writer->AddFiles(NameBytes(item->text()))) == 0 &&
        expected.count(LowerAscii(NameBytes(item->text()))))
      missing << item->text();
  }
  SetFilesCaption("Finalize");
  if (gHost.SetWaitText) gHost.SetWaitText("Finalize", false);
  // Up to date: every file found is in the archive unchanged (at most its
  // comment was renewed).
  if (writer) writer->Close();
  FUpToDate = writer && FResultList.Count() == 0 && writer->Unchanged() > 0;
  StepFiles();

  // The ticks now show which names found at least one file. A stored name
  // ticks the entry of its file name, and an entry that names the file with
  // some of its folders ("data/sample.txt") too. Only the archive's folder
  // separators divide it: on this system ":" may be part of a file name.
  for (int i = 0; i < clbFilenames->count(); ++i) clbFilenames->item(i)->setCheckState(Qt::Unchecked);
  for (const std::string& stored : FResultList.Items()) {
    const std::string path = ReplaceAll(stored, "\\", "/");
    for (size_t from = 0;;) {
      const int i = IndexOfEntry(NameText(path.substr(from)));
      if (i >= 0) clbFilenames->item(i)->setCheckState(Qt::Checked);
      const size_t slash = path.find('/', from);
      if (slash == std::string::npos) break;
      from = slash + 1;
    }
  }
  hourglass.reset();

  if (cbShowfiles->isChecked() && gHost.ShowMessage) {
    QString text = "These files were added/replaced in the package :\r\n";
    for (const std::string& stored : FResultList.Items()) text += ShownName(NameText(stored)) + "\r\n";
    text += "\r\nTotal files into " + cbFiletype->currentText() + " : " + QString::number(FResultList.Count());
    if (FUpToDate) text += "\r\n\r\nThe package \"" + SaveFileName + "\" is up to date: it holds every file unchanged.";
    if (!missing.isEmpty()) {
      text += "\r\n\r\nMissing, no file of these names below \"" + edBasePath->text() + "\" :\r\n";
      for (const QString& name : missing) text += name + "\r\n";
    }
    if (writer && !writer->Refused().empty()) {
      text +=
          "\r\n\r\nNot packaged, their names are no safe names in the archive (a Windows extractor "
          "would take them out of its folder, or they are too long) :\r\n";
      for (const std::string& refused : writer->Refused()) text += ShownName(PathText(refused)) + "\r\n";
    }
    if (writer && !writer->Note().empty()) text += "\r\n\r\n" + PathText(writer->Note());
    for (const QString& note : FResultNotes) text += "\r\n\r\n" + note;
    gHost.ShowMessage(text, gHost.AppTitle ? gHost.AppTitle() : QCoreApplication::applicationName());
  }
  FResultNotes.clear();  // told once, by this packaging
  return count;
}

// The documentation joins the package only when this run wrote it: an
// older export lying beside the object file would pass for a current one.
// True when it was written.
bool TFrmPackager::AddDocumentation() {
  SetFilesCaption("Generate Documentation");
  bool written = false;
  QString failure;
  const QString documentation = gHost.DoOutputExport ? gHost.DoOutputExport(&written, &failure) : QString();
  TNameList names(false);
  names.Add(PathBytes(documentation));
  if (written) {
    AddFilesToList(names, true, true);
    return true;
  }
  // Ticked by an earlier packaging in this window, it stays out now.
  TNameList bare(false);
  bare.Add(BareNativeName(PathBytes(documentation)));
  CheckFilesInList(bare, false);
  QString note = "The documentation is missing from the package";
  if (!documentation.isEmpty())
    note += ": \"" + documentation + "\" was not written.";
  else
    note += failure.isEmpty() ? ": no object file is loaded." : ".";
  if (!failure.isEmpty()) note += " " + failure;
  if (!note.endsWith('.')) note += '.';
  FResultNotes << note;
  if (gHost.TellLeftOut) gHost.TellLeftOut(note);
  return false;
}

void TFrmPackager::BtnPackageClick() {
  BtnPackage->setEnabled(false);
  const int rememberedType = cbFiletype->currentIndex();
  try {
    SavePackSettings();
    if (cbGuessBasepath->isChecked()) GuessBasePath();
    pbFiles->setMinimum(0);
    pbFiles->setMaximum(std::max(clbFilenames->count(), 1));
    pbFiles->setValue(0);
    pbFile->setValue(0);
    FResultList.Clear();
    int result = 0;

    // No item chosen means a zip, as packaging treats it.
    int filterIndex = rememberedType == 0 ? 0 : 1;
    const QString proposed = PathText(NativeWithoutExtension(PathBytes(FFileName)));
    SetFilesCaption("Request filename");
    ProcessMessages();
    QString chosen;
    if (gHost.GetSaveFileName)
      chosen = gHost.GetSaveFileName(this, "Give the name of the Package", {"Cabinet file (*.cab)", "Zip file (*.zip)"},
                                     filterIndex, proposed, filterIndex == 0 ? "cab" : "zip");
    if (!chosen.isEmpty()) {
      // The archive type follows the chosen filter, not the typed extension.
      const int type = filterIndex == 0 ? 0 : 1;
      cbFiletype->setCurrentIndex(type);
      const QString extension = chosen.right(4).toLower();
      if (extension == ".zip" || extension == ".cab") chosen.chop(4);
      SaveFileName = chosen + kFileTypeExtension[type];
      result = CreatePackage();
      cbFiletype->setCurrentIndex(rememberedType);
      if (result < 0) {  // reported already
        SetFilesCaption(QString());
        BtnPackage->setEnabled(true);
        return;
      }
    }
    pbFiles->setValue(pbFiles->maximum());
    SetFilesCaption(QString("Done, Packaged %1 of %2").arg(FResultList.Count()).arg(result));
  } catch (const std::exception& e) {
    // The window stays usable after a failed packaging: the file type the
    // user had, the command enabled again, the error reported.
    cbFiletype->setCurrentIndex(rememberedType);
    SetFilesCaption(QString());
    if (gHost.ShowError) gHost.ShowError(QString::fromStdString(e.what()));
  }
  BtnPackage->setEnabled(true);
}

// --- handlers ---------------------------------------------------------------

void TFrmPackager::cbMandatoriesClick() { CheckFilesInList(FMandatoryList, cbMandatories->isChecked()); }
void TFrmPackager::cbSampleFilesClick() { CheckFilesInList(FSampleList, cbSampleFiles->isChecked()); }
void TFrmPackager::cbDevicesClick() { CheckFilesInList(FDeviceList, cbDevices->isChecked()); }
void TFrmPackager::cbSpecialsClick() { CheckFilesInList(FSpecialList, cbSpecials->isChecked()); }

void TFrmPackager::btnAllClick() {
  for (int i = 0; i < clbFilenames->count(); ++i) clbFilenames->item(i)->setCheckState(Qt::Checked);
}

void TFrmPackager::btnToggleClick() {
  for (int i = 0; i < clbFilenames->count(); ++i) {
    QListWidgetItem* item = clbFilenames->item(i);
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
}

void TFrmPackager::btnAddClick() {
  if (!gHost.GetOpenFileNames) return;
  const QStringList files = gHost.GetOpenFileNames(this, "Select files to include in this package", {"All Files (*)"});
  if (files.isEmpty()) return;
  TNameList chosen(false);
  for (const QString& file : files) chosen.Add(PathBytes(file));
  AddFilesToList(chosen, true, true);
}

void TFrmPackager::btnBasedirSelectClick() {
  if (!gHost.GetFolder) return;
  const QString folder = gHost.GetFolder(this, "Select Basedirectory for packaging, All files must be below this path.",
                                         edBasePath->text());
  if (!folder.isEmpty()) edBasePath->setText(folder.endsWith('/') ? folder : folder + '/');
}

void TFrmPackager::edBasePathChange() { edBasePath->setToolTip(edBasePath->text()); }

// --- life cycle -------------------------------------------------------------

void TFrmPackager::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (Event->spontaneous()) return;
  try {
    THourglass hourglass;
    PrepareFileList();
  } catch (const std::exception& e) {
    if (gHost.ShowError) gHost.ShowError(QString::fromStdString(e.what()));
  }
  // Grow to the contents when the buttons would not fit.
  const QRect close = btnClose->geometry();
  if (close.right() >= width() || close.bottom() >= height()) adjustSize();
}

void TFrmPackager::done(int Result) {
  if (isVisible() && gHost.SaveDlgPos) gHost.SaveDlgPos(this);
  QDialog::done(Result);
}
