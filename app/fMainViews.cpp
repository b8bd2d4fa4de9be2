// Views and exports named in the configuration file, and the About and
// Config commands.
#include <QAction>
#include <QMenu>

#include "Accessors.h"
#include "CodePage.h"
#include "DialogFacade.h"
#include "FormatPattern.h"
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
        connect(item, &QAction::triggered, this, [this, item] { FilterViewClick(item); });
      else
        connect(item, &QAction::triggered, this, [this, item] { OutputClick(item); });
    }
    ParentMenu->addAction(item);
    if (views) {
      if ((FCurrentView.isEmpty() && FRegDefaultView.isEmpty()) || FRegDefaultView == item->text())
        FilterViewClick(item);
    } else {
      if ((FDefaultExport.isEmpty() && FRegDefaultExport.isEmpty()) || FRegDefaultExport == item->text())
        FDefaultExport = item->text();
    }
    if (comma == std::string::npos) break;
    list.erase(0, comma + 1);
  }
}

void TFrmMorvoReader::FilterViewClick(QObject* Sender) {
  TObjectTreeNode* selected = SelectedNode();
  const std::string guid = selected && selected->Object ? selected->Object->FGUID : std::string();
  if (auto* action = qobject_cast<QAction*>(Sender)) FCurrentView = StripAccelerator(action->text());

  const TProfileCommand command;
  const std::string section = Utf8ToSystem(FCurrentView.toStdString());
  FHideChildrenOf = FromSystem(ReadCfgString(section, "HideChildrenOf"));
  FHideObjects = FromSystem(ReadCfgString(section, "HideObjects"));
  SetExtraFields(ReadCfgString(section, "MandatoryFields"));
  SetFieldFilter(ReadCfgString(section, "Fields"));
  SetViewMode(StrToIntDef(ReadCfgString(section, "Info"), 0));

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
