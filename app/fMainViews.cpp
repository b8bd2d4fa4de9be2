// Views and exports named in the configuration file, and the About and
// Config commands.
#include <QAction>
#include <QMenu>

#include "Accessors.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "FormatPattern.h"
#include "MessageBox.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "StringUtil.h"
#include "fAbout.h"
#include "fConfig.h"
#include "fMain.h"
#include "ui_fMain.h"

namespace {
QString FromSystem(const std::string& Bytes) { return QString::fromStdString(SystemToUtf8(Bytes)); }

// A template that does not take one text is shown as written.
QString FormatHint(const std::string& Template, const std::string& Name) {
  try {
    return FromSystem(FormatPattern(Template, {Name}));
  } catch (const EMorvoError&) {
    return FromSystem(Template);
  }
}
}  // namespace

QAction* TFrmMorvoReader::FindActionByName(const QString& Name) const {
  for (QAction* action : findChildren<QAction*>(Name, Qt::FindDirectChildrenOnly))
    if (action->objectName() == Name) return action;
  return nullptr;
}

void TFrmMorvoReader::BuildActionMenu(QMenu* ParentMenu, const std::string& List, TMenuKind Kind) {
  const bool views = Kind == TMenuKind::Views;
  const std::string hintTemplate = ReadCfgString("Translations", views ? "SetFilterTo" : "ExportToFile");
  std::string list = List;
  QAction* defaultView = nullptr;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string nameBytes = comma == std::string::npos ? list : list.substr(0, comma);
    const QString name = FromSystem(nameBytes);
    const QString hint = FormatHint(hintTemplate, nameBytes);
    ++FMenuCounter;
    QAction* item = nullptr;
    if (FMenuCounter <= 5)
      item = FindActionByName((views ? QStringLiteral("ActFilter") : QStringLiteral("ActExport")) +
                              QString::number(FMenuCounter));
    if (item) {
      // The menu item, its shortcut and the tool button follow the action.
      item->setStatusTip(hint);
      item->setToolTip(hint);
      item->setText(name);
      item->setIconText(name);
      item->setVisible(true);
    } else {
      item = new QAction(name, this);
      item->setStatusTip(hint);
      item->setToolTip(hint);
      if (views)
        connect(item, &QAction::triggered, this,
                [this, item] { RunReportingFailure([this, item] { FilterViewClick(item); }); });
      else
        connect(item, &QAction::triggered, this,
                [this, item] { RunReportingFailure([this, item] { OutputClick(item); }); });
    }
    ParentMenu->addAction(item);
    if (views) {
      if ((!defaultView && FRegDefaultView.isEmpty()) || FRegDefaultView == item->text()) defaultView = item;
    } else {
      if ((FDefaultExport.isEmpty() && FRegDefaultExport.isEmpty()) || FRegDefaultExport == item->text())
        FDefaultExport = item->text();
    }
    if (comma == std::string::npos) break;
    list.erase(0, comma + 1);
  }
  // Chosen once: a default view that cannot be applied leaves the start
  // without a view rather than with the next one in the list.
  if (defaultView) {
    // The panel keeps its designed text until the first selection.
    const QString designed = PanelText(3);
    FilterViewClick(defaultView);
    SetPanelText(3, designed);
  }
}

void TFrmMorvoReader::ApplyView(const QString& View) {
  const std::string section = Utf8ToSystem(View.toStdString());
  const QString hideChildrenOf = FromSystem(ReadCfgString(section, "HideChildrenOf"));
  const QString hideObjects = FromSystem(ReadCfgString(section, "HideObjects"));
  SetViewFields(section);
  SetViewMode(StrToIntDef(ReadCfgString(section, "Info"), 0));
  FHideChildrenOf = hideChildrenOf;
  FHideObjects = hideObjects;
}

void TFrmMorvoReader::FilterViewClick(QObject* Sender) {
  TObjectTreeNode* selected = SelectedNode();
  const std::string guid = selected && selected->Object ? selected->Object->FGUID : std::string();
  const QString previous = FCurrentView;
  if (auto* action = qobject_cast<QAction*>(Sender)) FCurrentView = StripAccelerator(action->text());

  const TProfileCommand command;
  try {
    ApplyView(FCurrentView);
  } catch (const EMorvoError& e) {
    // The model may hold half of the new view: the one shown before is put
    // back whole (at the start that is no view at all).
    FCurrentView = Sender ? previous : QString();
    try {
      ApplyView(FCurrentView);
    } catch (const EMorvoError&) {
      FCurrentView.clear();
      ApplyView(FCurrentView);
    }
    // Only a start left without any view keeps the failure for the default export.
    if (FCurrentView.isEmpty()) FViewFailure = QString::fromLocal8Bit(e.what());
    SetPanelText(3, StripAccelerator(FCurrentView));
    ShowApplicationError(e.what());
    return;
  }
  // Applying no view (the open's renewal after a failed start) cures nothing.
  if (!FCurrentView.isEmpty()) FViewFailure.clear();
  SetPanelText(3, StripAccelerator(FCurrentView));

  if (!Sender) return;
  MnuSemanticorderClick();
  if (!guid.empty()) FindNextObject("G", guid, true, false, false);
}

void TFrmMorvoReader::MnuAboutClick() {
  if (FrmAbout) dialogs::ExecDialog(FrmAbout);
}

void TFrmMorvoReader::MnuConfigClick() {
  if (FrmConfig) dialogs::ExecDialog(FrmConfig);
  // Whatever the result: fonts, row heights and sorting show at once.
  ObjectTreeChange();
}
