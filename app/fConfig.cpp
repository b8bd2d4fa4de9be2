#include "fConfig.h"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QLocale>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTreeView>
#include <algorithm>
#include <cmath>
#include <exception>

#include "Accessors.h"
#include "AppPaths.h"
#include "CodePage.h"
#include "DesktopEntries.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "ExplorerAssociation.h"
#include "MessageBox.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "Registry.h"
#include "Settings.h"
#include "StringUtil.h"
#include "URLLbl.h"
#include "fMain.h"
#include "ui_fConfig.h"
#include "ui_fMain.h"

extern char** environ;

TFrmConfig* FrmConfig = nullptr;

namespace {

constexpr int kDefaultCharset = 1;
const char* const kCharsetProperty = "morvoCharset";
const QString kPosName = QStringLiteral("FrmConfig");

bool gArgumentsOverridden = false;
QStringList gArgumentsOverride;

QString FromSystem(const std::string& Bytes) { return QString::fromStdString(SystemToUtf8(Bytes)); }
std::string ToSystem(const QString& S) { return Utf8ToSystem(S.toStdString()); }

QString RowFactorText(double Value) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(Value, 'g', 15);
}

int PointSizeOf(const QFont& Font) {
  const int size = Font.pointSize();
  return size > 0 ? size : QFontInfo(Font).pointSize();
}

// Font sizes below one point are refused by the toolkit; they count as unset.
QFont StoredFont(QFont Font, const std::string& Face, const TSetting<int>& Size) {
  Font.setFamily(FromSystem(Face));
  const int points = ReadSettingOrDefault(Size);
  Font.setPointSize(points > 0 ? points : Size.Default);
  return Font;
}

// A default value that is no text (binary data) reads as empty, like a key
// that cannot be opened: the showing goes on instead of keeping the state of
// the previous one, which OK would then write.
std::string DefaultValue(TRegistry& Reg, const std::string& Key) {
  if (!Reg.OpenKey(Key, true)) return {};
  std::string value;
  try {
    value = Reg.ReadString("");
  } catch (const EMorvoError&) {
  }
  Reg.CloseKey();
  return value;
}

bool FindsVerb(TRegistry& Reg, const std::string& Key, const QString& Verb) {
  const QString caption = TFrmMorvoReader::StripAccelerator(FromSystem(DefaultValue(Reg, Key)));
  return caption.contains(Verb, Qt::CaseSensitive);
}

// An empty stored text is no choice at all, even where the list holds an
// empty item: the first item is taken then.
void SelectMatching(QComboBox* Combo, const QString& Text) {
  for (int i = 0; i < Combo->count() && !Text.isEmpty(); ++i) {
    if (Combo->itemText(i).compare(Text, Qt::CaseInsensitive) == 0) {
      Combo->setCurrentIndex(i);
      return;
    }
  }
  if (Combo->count() > 0) Combo->setCurrentIndex(0);
}

}  // namespace

// --- unit routines

void FillComboFromList(const std::string& List, QComboBox* Combo) {
  Combo->clear();
  std::string list = List;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    Combo->addItem(FromSystem(comma == std::string::npos ? list : list.substr(0, comma)));
    if (comma == std::string::npos) break;
    list.erase(0, comma + 1);
  }
  if (Combo->count() > 0) Combo->setCurrentIndex(0);
}

std::string GetUserNameString() {
  if (const passwd* user = getpwuid(geteuid())) return user->pw_name ? std::string(user->pw_name) : std::string();
  return {};
}

std::string ExpandPathVariables(const std::string& S) {
  auto lookup = [](const std::string& Name, std::string& Value) {
    if (Name.empty()) return false;
    if (const char* exact = getenv(Name.c_str())) {
      Value = exact;
      return true;
    }
    // Names were written for a system that ignores their case.
    for (char** e = environ; e && *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos && SameTextAscii(entry.substr(0, eq), Name)) {
        Value = entry.substr(eq + 1);
        return true;
      }
    }
    return false;
  };

  // An unknown name stays as written, and its closing "%" may open the next one.
  std::string out;
  size_t i = 0;
  while (i < S.size()) {
    if (S[i] != '%') {
      out += S[i++];
      continue;
    }
    const size_t close = S.find('%', i + 1);
    if (close == std::string::npos) {
      out += S.substr(i);
      break;
    }
    std::string value;
    if (lookup(S.substr(i + 1, close - i - 1), value)) {
      out += value;
      i = close + 1;
    } else {
      out += S.substr(i, close - i);
      i = close;
    }
  }

  const std::string key = "%username%";
  std::string result;
  for (size_t p = 0; p < out.size();) {
    if (p + key.size() <= out.size() && SameTextAscii(out.substr(p, key.size()), key)) {
      result += GetUserNameString();
      p += key.size();
    } else {
      result += out[p++];
    }
  }
  return result;
}

std::string ProposedEditor() {
  const QFileInfo self(QString::fromStdString(ExecutablePath()));
  auto acceptable = [&self](const QString& Program) {
    const QFileInfo info(Program);
    if (Program.isEmpty() || !info.isFile() || !info.isExecutable()) return false;
    // Neither this program, a launcher of the same name, nor one that hands
    // the file to the desktop's choice for it (this program again) edits text.
    return info.canonicalFilePath() != self.canonicalFilePath() && info.fileName() != self.fileName() &&
           !IsFileLauncher(Program);
  };
  // Started with a file and no terminal, a terminal editor shows nothing.
  const QString id = TURLLabel::DefaultHandlerFor("text/plain");
  if (!id.isEmpty() && id != QLatin1String(kDesktopEntryName)) {
    const TDesktopEntry entry = ReadDesktopEntry(id);
    if (!entry.Terminal && acceptable(entry.Program)) return entry.Program.toStdString();
  }
  for (const char* name : {"gedit", "kate", "mousepad", "xed", "pluma", "gnome-text-editor", "geany"}) {
    const QString program = QStandardPaths::findExecutable(name);
    if (acceptable(program) && !ProgramRunsInTerminal(program)) return program.toStdString();
  }
  return {};
}

int FontCharset(const QWidget* Widget) {
  const QVariant value = Widget ? Widget->property(kCharsetProperty) : QVariant();
  return value.isValid() ? value.toInt() : kDefaultCharset;
}

void SetFontCharset(QWidget* Widget, int Charset) {
  if (Widget) Widget->setProperty(kCharsetProperty, Charset);
}

void ApplyStoredFonts(QWidget* Tree, QTableWidget* Grid) {
  const std::string gridFace = ReadSettingOrDefault(settings::PropertyListFont);
  if (Grid && !gridFace.empty()) {
    SetFontCharset(Grid, ReadSettingOrDefault(settings::PropertyListCharset));
    Grid->setFont(StoredFont(Grid->font(), gridFace, settings::PropertyListSize));
    const double factor = ReadSettingOrDefault(settings::PropertyRowHeigth);
    // The header row sets the height every other row is derived from.
    if (Grid->rowCount() < 1) Grid->setRowCount(1);
    const int height = static_cast<int>(std::clamp(std::floor(PointSizeOf(Grid->font()) * factor), 0.0, 100000.0));
    // Rows as low as the factor asks for, below what the style would allow.
    if (height < Grid->verticalHeader()->minimumSectionSize()) Grid->verticalHeader()->setMinimumSectionSize(height);
    Grid->setRowHeight(0, height);
  }
  const std::string treeFace = ReadSettingOrDefault(settings::ObjectListFont);
  if (Tree && !treeFace.empty()) {
    SetFontCharset(Tree, ReadSettingOrDefault(settings::ObjectListCharset));
    Tree->setFont(StoredFont(Tree->font(), treeFace, settings::ObjectListSize));
  }
}

// --- the window

TFrmConfig::TFrmConfig(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmConfig>()) {
  ui->setupUi(this);
  setObjectName(kPosName);
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  for (QAbstractButton* b :
       {static_cast<QAbstractButton*>(ui->cxConnectMorvoFiles), static_cast<QAbstractButton*>(ui->cxImediateExport),
        static_cast<QAbstractButton*>(ui->cxImediatePackage), static_cast<QAbstractButton*>(ui->cxOpenWithEditor),
        static_cast<QAbstractButton*>(ui->rbOpen), static_cast<QAbstractButton*>(ui->rbExport),
        static_cast<QAbstractButton*>(ui->rbPackage), static_cast<QAbstractButton*>(ui->rbOpenEditor)})
    connect(b, &QAbstractButton::clicked, this, [this, b] { cxConnectMorvoFilesClick(b); });
  connect(ui->BtnOK, &QPushButton::clicked, this, &TFrmConfig::BtnOKClick);
  connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->btResPos, &QPushButton::clicked, this, &TFrmConfig::btResPosClick);
  connect(ui->btnObjTreeFont, &QPushButton::clicked, this, &TFrmConfig::btnObjTreeFontClick);
  connect(ui->btnPropTreeFont, &QPushButton::clicked, this, &TFrmConfig::btnPropTreeFontClick);
}

TFrmConfig::~TFrmConfig() {
  try {
    SaveDlgPos(this, kPosName);
  } catch (const std::exception&) {
    // Nothing can be reported any more while the window goes away.
  }
  if (FrmConfig == this) FrmConfig = nullptr;
}

void TFrmConfig::SetArgumentsOverride(const QStringList& Args) {
  gArgumentsOverridden = !Args.isEmpty();
  gArgumentsOverride = Args;
}

void TFrmConfig::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (Event->spontaneous()) return;
  RunReportingFailure([this] { FormShow(); });
}

bool TFrmConfig::event(QEvent* Event) {
  if (Event->type() == QEvent::WindowActivate) LoadDlgPosReporting(this, kPosName);
  return QDialog::event(Event);
}

void TFrmConfig::done(int Result) {
  SaveDlgPosReporting(this, kPosName);
  QDialog::done(Result);
}

void TFrmConfig::FormShow() {
  FillComboFromList(ReadCfgString("Settings", "Views"), ui->cbViewType);
  FillComboFromList(ReadCfgString("Settings", "OutPuts"), ui->cbExportType);
  FillComboFromList(ReadCfgString("Settings", "QS1xCodePages"), ui->cbQS1xCodePage);

  if (FrmMorvoReader) {
    FrmMorvoReader->ApplyFonts();
    ui->laObjTreeFontEx->setFont(FrmMorvoReader->ui->ObjectTree->font());
    SetFontCharset(ui->laObjTreeFontEx, FontCharset(FrmMorvoReader->ui->ObjectTree));
    ui->laPropTreeFontEx->setFont(FrmMorvoReader->ui->PropertyGrid->font());
    SetFontCharset(ui->laPropTreeFontEx, FontCharset(FrmMorvoReader->ui->PropertyGrid));
  }

  // One registry object for all the settings read by this showing.
  TRegistry store(TRegRoot::CurrentUser);
  const bool opened = store.OpenKey(kSettingsKey, true);
  // A value that is no text counts as absent, as everywhere else.
  auto text = [&](const char* Name) {
    try {
      return opened ? store.ReadString(Name) : std::string();
    } catch (const EMorvoError&) {
      return std::string();
    }
  };
  auto setting = [&text]<class T>(const TSetting<T>& Setting) { return Setting.From(text(Setting.Name)); };
  ui->cxExternalNonQS->setChecked(setting(settings::OpenNonQSFiles));
  ui->cxSortProperties->setChecked(setting(settings::SortProperties));
  ui->seRowheight->setValue(setting(settings::PropertyRowHeigth));

  {
    // Only the first extension is read back; OK rewrites all seven alike.
    TRegistry classes(TRegRoot::ClassesRoot);
    const std::string progId = ProgIdOf("dcl");
    const bool connected = DefaultValue(classes, progId) == "Morvo DCL File";
    ui->cxConnectMorvoFiles->setChecked(connected);
    struct {
      const char* Verb;
      QCheckBox* Box;
    } verbs[3] = {{"Export", ui->cxImediateExport}, {"Package", ui->cxImediatePackage}, {"Edit", ui->cxOpenWithEditor}};
    for (const auto& v : verbs) {
      v.Box->setChecked(FindsVerb(classes, progId + "\\shell\\" + v.Verb, QString::fromLatin1(v.Verb)));
      v.Box->setEnabled(connected);
    }
    const std::string action = DefaultValue(classes, progId + "\\shell");
    ui->rbOpen->setChecked(action == "Open");
    ui->rbExport->setChecked(action == "Export");
    ui->rbOpenEditor->setChecked(action == "Edit");
    ui->rbPackage->setChecked(action == "Package");
  }

  SelectMatching(ui->cbViewType, FromSystem(setting(settings::DefaultView)));
  SelectMatching(ui->cbExportType, FromSystem(setting(settings::DefaultExport)));
  // As stored: none selects the list's first item.
  SelectMatching(ui->cbQS1xCodePage, FromSystem(text(settings::Quillset1xCodePage.Name)));

  const std::string editor = setting(settings::ExternalEditor);
  const bool exists = !editor.empty() && QFileInfo(QFile::decodeName(QByteArray::fromStdString(editor))).isFile();
  ui->edEditor->setText(exists ? FromSystem(editor) : QString::fromStdString(ProposedEditor()));

  const QStringList args = gArgumentsOverridden ? gArgumentsOverride : QCoreApplication::arguments();
  if (args.size() > 1 && args[1].toLower() == QLatin1String("/c")) {
    // Asked for by a first run: offer the whole association.
    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(ui->cxConnectMorvoFiles), static_cast<QAbstractButton*>(ui->cxImediateExport),
          static_cast<QAbstractButton*>(ui->cxOpenWithEditor), static_cast<QAbstractButton*>(ui->cxImediatePackage),
          static_cast<QAbstractButton*>(ui->cxSortProperties)})
      b->setChecked(true);
    ui->rbOpen->setChecked(true);
    ui->rbExport->setChecked(false);
    ui->rbOpenEditor->setChecked(false);
    ui->rbPackage->setChecked(false);
  }
  cxConnectMorvoFilesClick(nullptr);
}

void TFrmConfig::cxConnectMorvoFilesClick(QObject* Sender) {
  QRadioButton* const radios[4] = {ui->rbOpen, ui->rbExport, ui->rbOpenEditor, ui->rbPackage};
  auto tick = [&radios](QRadioButton* Chosen) {
    for (QRadioButton* r : radios) r->setChecked(r == Chosen);
  };
  // The radio buttons are not exclusive by themselves (all four may be
  // unticked after a read), so a click always ticks exactly the one clicked.
  for (QRadioButton* r : radios)
    if (Sender == r) tick(r);

  const bool connect = ui->cxConnectMorvoFiles->isChecked();
  ui->cxImediateExport->setEnabled(connect);
  ui->cxOpenWithEditor->setEnabled(connect);
  ui->cxImediatePackage->setEnabled(connect);
  for (QRadioButton* r : radios) r->setEnabled(connect);
  ui->edEditor->setEnabled(connect && ui->cxOpenWithEditor->isChecked());

  if (!ui->rbOpen->isChecked() && !ui->rbExport->isChecked() && !ui->rbOpenEditor->isChecked() &&
      !ui->rbPackage->isChecked())
    tick(ui->rbOpen);
  if (ui->rbExport->isChecked() && !ui->cxImediateExport->isChecked()) tick(ui->rbOpen);
  if (ui->rbOpenEditor->isChecked() && !ui->cxOpenWithEditor->isChecked()) tick(ui->rbOpen);
  if (ui->rbPackage->isChecked() && !ui->cxImediatePackage->isChecked()) tick(ui->rbOpen);

  if (!connect) {
    ui->laDefAction->setText(QStringLiteral("No connection from Explorer to ZIB, please select \"Connect\""));
    return;
  }
  QString action;
  if (ui->rbOpen->isChecked())
    action = QStringLiteral(": Open");
  else if (ui->rbExport->isChecked())
    action = QStringLiteral(": Export");
  else if (ui->rbOpenEditor->isChecked())
    action = QStringLiteral(": Open with Editor");
  else if (ui->rbPackage->isChecked())
    action = QStringLiteral(": Package");
  ui->laDefAction->setText(ui->laDefAction->toolTip() + action);
}

void TFrmConfig::BtnOKClick() {
  try {
    TAssociationChoice choice;
    choice.Connect = ui->cxConnectMorvoFiles->isChecked();
    choice.Export = ui->cxImediateExport->isChecked();
    choice.Edit = ui->cxOpenWithEditor->isChecked();
    choice.Package = ui->cxImediatePackage->isChecked();
    choice.Default = ui->rbExport->isChecked()       ? TDefaultAction::Export
                     : ui->rbOpenEditor->isChecked() ? TDefaultAction::Edit
                     : ui->rbPackage->isChecked()    ? TDefaultAction::Package
                                                     : TDefaultAction::Open;
    choice.ExePath = ExecutablePath();
    choice.EditorPath = ExpandPathVariables(ToSystem(ui->edEditor->text()));
    {
      TRegistry classes(TRegRoot::ClassesRoot);
      for (const TMorvoExtension& e : kMorvoExtensions) RegisterFileType(classes, e.Ext, choice, e.IconIndex);
    }
    MirrorDesktopAssociation(choice);

    WriteRegString("DefaultView", ToSystem(ui->cbViewType->currentText()));
    WriteRegString("DefaultExport", ToSystem(ui->cbExportType->currentText()));
    WriteRegString("Quillset1xCodePage", ToSystem(ui->cbQS1xCodePage->currentText()));
    WriteRegString("ExternalEditor", choice.EditorPath);
    WriteRegString("OpenNonQSFiles", BoolToRegText(ui->cxExternalNonQS->isChecked()));
    WriteRegString("SortProperties", BoolToRegText(ui->cxSortProperties->isChecked()));
    const QFont gridFont = ui->laPropTreeFontEx->font();
    WriteRegString("PropertyListFont", ToSystem(gridFont.family()));
    WriteRegString("PropertyListCharset", std::to_string(FontCharset(ui->laPropTreeFontEx)));
    WriteRegString("PropertyListSize", std::to_string(PointSizeOf(gridFont)));
    WriteRegString("PropertyRowHeigth", RowFactorText(ui->seRowheight->value()).toStdString());
    const QFont treeFont = ui->laObjTreeFontEx->font();
    WriteRegString("ObjectListFont", ToSystem(treeFont.family()));
    WriteRegString("ObjectListCharset", std::to_string(FontCharset(ui->laObjTreeFontEx)));
    WriteRegString("ObjectListSize", std::to_string(PointSizeOf(treeFont)));

    if (FrmMorvoReader) FrmMorvoReader->ApplyFonts();
  } catch (const std::exception& e) {
    // The window still closes with OK; what was written before the failure stays.
    ShowApplicationError(e.what());
  }
  accept();
}

void TFrmConfig::btResPosClick() {
  if (ShowMessageBoxW("This will reset Font, Dialog and Codepage settings to default and close ZIB, are you sure ?",
                      "Morvo Object Reader - Reset dialog settings", MB_YESNO) != IDYES)
    return;
  // The program ends once this window has closed, whoever opened it.
  SetApplicationTerminating(true);
  QCoreApplication::exit(0);
  ProcessMessages();
  gSaveDlgPos = false;
  try {
    {
      TRegistry reg(TRegRoot::CurrentUser);
      reg.DeleteKey(kDlgPosKey);
    }
    for (const char* name : {"Quillset1xCodePage", "PropertyListFont", "PropertyListCharset", "PropertyListSize",
                             "PropertyRowHeigth", "ObjectListFont", "ObjectListCharset", "ObjectListSize"})
      WriteRegString(name, "");
  } catch (const std::exception& e) {
    ShowApplicationError(e.what());
  }
  reject();
}

void TFrmConfig::ChooseFont(QWidget* Sample) {
  QFont chosen;
  if (dialogs::GetFont(this, QStringLiteral("Font"), Sample->font(), chosen)) Sample->setFont(chosen);
}

void TFrmConfig::btnObjTreeFontClick() { ChooseFont(ui->laObjTreeFontEx); }
void TFrmConfig::btnPropTreeFontClick() { ChooseFont(ui->laPropTreeFontEx); }
