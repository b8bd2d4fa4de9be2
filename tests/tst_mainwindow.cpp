// The main window driven through its actions and components: opening files,
// the tree in both orders, views, the grid and the status panels.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include "Accessors.h"
#include "AppPaths.h"
#include "DialogFacade.h"
#include "MessageBox.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "NativeNames.h"
#include "ObjectTreeModel.h"
#include "RecentFiles.h"
#include "Registry.h"
#include "ShownText.h"
#include "TestSupport.h"
#include "fMain.h"
#include "fdmZIB.h"

namespace {

const char* const kDefinitionFiles[] = {"ObjectProperties.txt", "ObjectTypNum.txt", "XMLCodes.txt"};

const std::string kBaseCfg =
    "[Settings]\r\n"
    "Views=Full,Short,Debug\r\n"
    "OutPuts=Html,Xml\r\n"
    "[Translations]\r\n"
    "Property=Property name\r\n"
    "Value=Its value\r\n"
    "SetFilterTo=Set the view to %s\r\n"
    "ExportToFile=Export to a %s file\r\n"
    "[Full]\r\n"
    "Fields=*\r\n"
    "[Short]\r\n"
    "HideObjects=0801\r\n"
    "HideChildrenOf=0002\r\n"
    "Fields=*\r\n"
    "[Debug]\r\n"
    "Fields=12\r\n";

QString Fixture(const char* Name) {
  return QString::fromStdString(testsupport::TestDataDir() + "/mainwindow/") + QLatin1String(Name);
}

QStringList Captions(const std::vector<std::unique_ptr<TObjectTreeNode>>& Nodes) {
  QStringList result;
  for (const auto& n : Nodes) result << QString::fromStdString(n->Text);
  return result;
}

TObjectTreeNode* Child(TObjectTreeNode* Node, const char* Text) {
  for (const auto& c : Node->Children)
    if (c->Text == Text) return c.get();
  return nullptr;
}

}  // namespace

class TstMainWindow : public QObject {
  Q_OBJECT

  QTemporaryDir FDefs;
  QTemporaryDir FWork;
  std::unique_ptr<TFrmMorvoReader> FWin;

  // A definition folder with the shipped tables and this test's own configuration.
  void UseConfig(const std::string& Cfg) {
    QVERIFY(testsupport::WriteFileBytes(FDefs.path().toStdString() + "/MorvoObject.cfg", Cfg));
    FreeAllObjects();  // lets go of the configuration file bound so far
  }
  TFrmMorvoReader* NewWindow() {
    FWin.reset();
    FrmMorvoReader = nullptr;
    FWin = std::make_unique<TFrmMorvoReader>();
    FrmMorvoReader = FWin.get();
    FWin->BindImageLists();
    return FWin.get();
  }
  QTableWidget* Grid() { return FWin->findChild<QTableWidget*>("PropertyGrid"); }
  QAction* Act(const char* Name) { return FWin->findChild<QAction*>(Name); }
  QString Cell(int Col, int Row) {
    QTableWidgetItem* item = Grid()->item(Row, Col);
    return item ? item->text() : QString();
  }
  QString CopyFixture(const char* Name, const QString& As = {}) {
    const QString target = FWork.path() + "/" + (As.isEmpty() ? QString::fromLatin1(Name) : As);
    QFile::remove(target);
    if (!QFile::copy(Fixture(Name), target)) return {};
    return target;
  }
  TObjectTreeNode* Top() { return FWin->TreeData().FirstNode(); }
  QString Selected() {
    TObjectTreeNode* n = FWin->SelectedNode();
    return n ? QString::fromStdString(n->Text) : QString("<none>");
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDefs.isValid() && FWork.isValid());
    for (const char* name : kDefinitionFiles)
      QVERIFY(QFile::copy(QString::fromStdString(testsupport::BinDir() + "/" + name), FDefs.path() + "/" + name));
    SetExecutableFolderOverride(FDefs.path().toStdString() + "/");
    dialogs::SetNonInteractive(true);
    dmZIB = new TdmZIB(this);
  }
  void init() {
    SetApplicationTerminating(false);
    WriteRegString("DefaultView", "");
    WriteRegString("DefaultExport", "");
    WriteRegString("SortProperties", "");
    WriteRegString("OpenNonQSFiles", "0");
    UseConfig(kBaseCfg);
    NewWindow();
  }
  void cleanup() {
    FWin.reset();
    FrmMorvoReader = nullptr;
    SetApplicationTerminating(false);
  }
  void cleanupTestCase() {
    SetExecutableFolderOverride("");
    std::filesystem::remove_all(FWork.path().toStdString());  // QTemporaryDir passes over names that are no UTF-8
  }

  // --- the window as created

  void componentsCarryTheirNamesCaptionsAndShortcuts() {
    QCOMPARE(FWin->objectName(), QString("FrmMorvoReader"));
    QCOMPARE(FWin->windowTitle(), QString("Morvo Object Reader"));
    QVERIFY(FWin->findChild<QTreeView*>("ObjectTree"));
    QVERIFY(Grid());
    QVERIFY(FWin->findChild<QStatusBar*>("StatusBar"));
    QVERIFY(FWin->findChild<QToolBar*>("tbButtons"));
    QVERIFY(FWin->findChild<QMenu*>("pmTreeMenu"));
    QVERIFY(FWin->findChild<QMenu*>("MnuExport"));
    QVERIFY(FWin->findChild<QMenu*>("mnuReopen"));
    QCOMPARE(FWin->tbtnExport->objectName(), QString("tbtnExport"));
    QCOMPARE(FWin->tbtnExport->toolTip(), QString("Export using default export"));

    struct Expected {
      const char *Name, *Caption, *Hint, *Shortcut;
    };
    const Expected actions[] = {
        {"ActOpen", "Open", "Open new Morvo file", "Ctrl+O"},
        {"ActOpenTxt", "Open in Textedit", "Open the current file in the default text editor", "Ctrl+T"},
        {"ActExit", "&Exit", "Exit the program", ""},
        {"ActFndGUID", "&Find by GUID", "Find an object by its GUID", "Ctrl+G"},
        {"ActFndName", "Find by &Name", "Find an object by its name", "Ctrl+F"},
        {"ActFndProp", "Find by &Property", "Find an object by one of its properties", "Ctrl+P"},
        {"ActFndAgain", "Find &Again", "Look further on last find", "F3"},
        {"ActCopyGUID", "Copy &GUID", "Copy the GUID of the currently selected object", "Ctrl+Alt+G"},
        {"ActCopyBare", "Copy &Bare Propertylist", "Copy the bare propertylist of the currently selected object",
         "Ctrl+Alt+B"},
        {"ActCopyOName", "Copy &Object name", "Copies the Object name path", "Ctrl+Alt+N"},
        {"ActCopyOPath", "Copy Obj&ect path", "", "Ctrl+Alt+P"},
        {"ActSemantic", "&Semantic Order", "Order the objects by meaning", ""},
        {"ActFileOrder", "&File Order", "Order the objects like in the file", ""},
        {"ActNext", "Next &filled", "Find the next object with properties", "F4"},
        {"ActConfig", "&Config", "Configure ZIB and connect to Morvo files", "F8"},
        {"ActPackage", "Packager", "Create a Package with the current file", "F10"},
        {"ActEMFPrint", "EMF Print", "Print the Quillset preview pages", "F5"},
        {"ActAbout", "&About", "Info about ZIB", ""},
        {"ActFilter4", "Filter1", "", "Ctrl+F4"},
        {"ActFilter5", "Filter1", "", "Ctrl+F5"},
        {"ActExport3", "ActExport1", "", ""},
    };
    for (const Expected& e : actions) {
      QAction* a = Act(e.Name);
      QVERIFY2(a, e.Name);
      QCOMPARE(a->text(), QString(e.Caption));
      QCOMPARE(a->statusTip(), QString(e.Hint));
      QCOMPARE(a->shortcut(), QKeySequence(QString(e.Shortcut)));
      QVERIFY2(!a->icon().isNull(), e.Name);
    }
    // Until the first selection the panels show their designed texts.
    QCOMPARE(FWin->PanelText(0), QString("ObjectName"));
    QCOMPARE(FWin->PanelText(1), QString("ObjectType"));
    QCOMPARE(FWin->PanelText(2), QString("ObjectCount"));
    QCOMPARE(FWin->PanelText(3), QString("CurrentView"));
  }

  void viewsAreBoundToTheFilterActionsWithFormattedHints() {
    const char* names[] = {"Full", "Short", "Debug"};
    for (int i = 0; i < 3; ++i) {
      QAction* a = Act(qPrintable(QString("ActFilter%1").arg(i + 1)));
      QCOMPARE(a->text(), QString(names[i]));
      QCOMPARE(a->statusTip(), QString("Set the view to %1").arg(names[i]));
      QCOMPARE(a->shortcut(), QKeySequence(QString("Ctrl+F%1").arg(i + 1)));
      QVERIFY(a->isVisible());
      QVERIFY(FWin->findChild<QToolBar*>("tbButtons")->actions().contains(a));
      QVERIFY(FWin->findChild<QMenu*>("MnuView")->actions().contains(a));
    }
    // Unbound view actions are hidden, with their tool buttons.
    QVERIFY(!Act("ActFilter4")->isVisible());
    QVERIFY(!Act("ActFilter5")->isVisible());
    QCOMPARE(FWin->FCurrentView, QString("Full"));
    QCOMPARE(FWin->FDefaultExport, QString("Html"));
    QCOMPARE(Act("ActExport1")->text(), QString("Html"));
    QCOMPARE(Act("ActExport2")->statusTip(), QString("Export to a Xml file"));
    QVERIFY(!Act("ActExport3")->isVisible());
    // The view items follow the separator after File Order.
    const QList<QAction*> items = FWin->findChild<QMenu*>("MnuView")->actions();
    QCOMPARE(items.size(), 6);
    QCOMPARE(items[0], Act("ActSemantic"));
    QCOMPARE(items[1], Act("ActFileOrder"));
    QVERIFY(items[2]->isSeparator());
  }

  void sevenViewsLeaveTheLastTwoAsPlainItems() {
    UseConfig(
        "[Settings]\r\nViews=V1,V2,V3,V4,V5,V6,V7,\r\n[Translations]\r\nSetFilterTo=View %s\r\n[V7]\r\n"
        "HideObjects=0002\r\n");
    NewWindow();
    const QList<QAction*> items = FWin->findChild<QMenu*>("MnuView")->actions();
    QCOMPARE(items.size(), 3 + 7);  // the trailing comma adds no item
    for (int i = 0; i < 5; ++i) QCOMPARE(items[3 + i], Act(qPrintable(QString("ActFilter%1").arg(i + 1))));
    for (int i = 5; i < 7; ++i) {
      QAction* item = items[3 + i];
      QVERIFY(item->objectName().isEmpty() || !item->objectName().startsWith("ActFilter"));
      QCOMPARE(item->text(), QString("V%1").arg(i + 1));
      QCOMPARE(item->statusTip(), QString("View V%1").arg(i + 1));
      QVERIFY(item->shortcut().isEmpty());
      QVERIFY(!FWin->findChild<QToolBar*>("tbButtons")->actions().contains(item));
    }
    // A plain item selects its view like a bound one.
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    items[9]->trigger();
    QCOMPARE(FWin->FCurrentView, QString("V7"));
    QCOMPARE(FWin->FHideObjects, QString("0002"));
  }

  void defaultViewAndExportComeFromTheSettings_data() {
    QTest::addColumn<QString>("defaultView");
    QTest::addColumn<QString>("defaultExport");
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("exportName");
    QTest::newRow("empty: first of each") << ""
                                          << ""
                                          << "Full"
                                          << "Html";
    QTest::newRow("named") << "Debug"
                           << "Xml"
                           << "Debug"
                           << "Xml";
    QTest::newRow("names of nothing") << "Gone"
                                      << "Pdf"
                                      << ""
                                      << "";
    QTest::newRow("case counts") << "short"
                                 << "xml"
                                 << ""
                                 << "";
  }
  void defaultViewAndExportComeFromTheSettings() {
    QFETCH(QString, defaultView);
    QFETCH(QString, defaultExport);
    QFETCH(QString, view);
    QFETCH(QString, exportName);
    WriteRegString("DefaultView", defaultView.toStdString());
    WriteRegString("DefaultExport", defaultExport.toStdString());
    NewWindow();
    QCOMPARE(FWin->FCurrentView, view);
    QCOMPARE(FWin->FDefaultExport, exportName);
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    QCOMPARE(FWin->PanelText(3), view);
  }

  // A field list that is no id list is told and changes nothing: at the
  // start no view is chosen (and no default export runs), later the view
  // shown before stays.
  void aViewThatIsNoIdListIsToldAndChangesNothing_data() {
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("badItem");
    QTest::newRow("fields at the start") << true << "Fields=20;338"
                                         << "20;338";
    QTest::newRow("mandatory fields at the start") << true << "MandatoryFields=338 ,339\r\nFields=12"
                                                   << "338 ";
    QTest::newRow("fields at a view change") << false << "Fields=20;338"
                                             << "20;338";
    QTest::newRow("mandatory fields at a view change") << false << "MandatoryFields=338 ,339"
                                                       << "338 ";
  }
  void aViewThatIsNoIdListIsToldAndChangesNothing() {
    QFETCH(bool, atStart);
    QFETCH(QString, section);
    QFETCH(QString, badItem);
    UseConfig("[Settings]\r\nViews=Full,Bad\r\nOutPuts=Html\r\n[Full]\r\nHideObjects=0801\r\nFields=*\r\n[Bad]\r\n" +
              section.toStdString() + "\r\n");
    WriteRegString("DefaultView", atStart ? "Bad" : "");
    dialogs::ClearRecorded();
    NewWindow();
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    const QString panel = FWin->PanelText(3);
    if (!atStart) Act("ActFilter2")->trigger();
    QCOMPARE(dialogs::Recorded().size(), 1);
    QCOMPARE(dialogs::Recorded()[0].Flags, unsigned(MB_OK | MB_ICONERROR));
    QVERIFY2(dialogs::Recorded()[0].Text.contains("'" + badItem + "'"), qPrintable(dialogs::Recorded()[0].Text));
    QCOMPARE(FWin->FCurrentView, QString(atStart ? "" : "Full"));
    QCOMPARE(FWin->PanelText(3), panel);
    QCOMPARE(FWin->FHideObjects, QString(atStart ? "" : "0801"));
    QCOMPARE(Selected(), QString("Body"));
    bool written = true;
    const QString exported = FWin->DoOutputExport(&written);
    QCOMPARE(written, !atStart);
    QCOMPARE(QFile::exists(exported), !atStart);
    QFile::remove(exported);
  }

  // In a fresh profile the tool bar takes the window's default export, the first one.
  void theToolBarExportInAFreshProfile() {
    TRegistry reg;
    QVERIFY(reg.OpenKey(kSettingsKey, true));
    reg.DeleteValue("DefaultExport");
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    dialogs::ClearRecorded();
    dialogs::QueueFileAnswer(QString());
    FWin->tbtnExport->click();
    QCOMPARE(dialogs::Recorded().value(0).Request.Filters, QStringList{"Html File (*.Html)"});
  }

  void ctrlEBelongsToTheFirstExportElseToTheDefaultExport() {
    QCOMPARE(Act("ActExport1")->shortcut(), QKeySequence("Ctrl+E"));
    QVERIFY(Act("ActExport1")->isVisible());
    QVERIFY(Act("ActExport")->shortcut().isEmpty());

    UseConfig("[Settings]\r\nViews=Full\r\n");
    NewWindow();
    QVERIFY(!Act("ActExport1")->isVisible());
    QCOMPARE(Act("ActExport")->shortcut(), QKeySequence("Ctrl+E"));
    QVERIFY(FWin->FDefaultExport.isEmpty());
    // No export at all: the tool bar writes nothing and says so.
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    dialogs::ClearRecorded();
    FWin->tbtnExport->click();
    QVERIFY(dialogs::Recorded().value(0).Text.startsWith("No export is defined"));
    QCOMPARE(QDir(FWork.path()).entryList({"tree.*"}), QStringList{"tree.dcl"});

    // And the key really reaches that action.
    FWin->show();
    FWin->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FWin.get()));
    QSignalSpy spy(Act("ActExport"), &QAction::triggered);
    QTest::keyClick(FWin.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(spy.count(), 1);
  }

  void aHintTemplateThatTakesNoTextIsShownAsWritten() {
    UseConfig(
        "[Settings]\r\nViews=Full\r\nOutPuts=Html\r\n[Translations]\r\nSetFilterTo=Use %d\r\nExportToFile=%s %s\r\n");
    NewWindow();
    QCOMPARE(Act("ActFilter1")->statusTip(), QString("Use %d"));
    QCOMPARE(Act("ActExport1")->statusTip(), QString("%s %s"));
  }

  void menusCarryTheDesignedCategoriesAndHints() {
    const std::pair<const char*, const char*> categories[] = {
        {"ActOpen", "File"},       {"ActExport", "File"},   {"ActExit", "File"},      {"ActFndGUID", "Edit"},
        {"ActCopyOPath", "Edit"},  {"ActSemantic", "View"}, {"ActFilter1", "Filter"}, {"ActNext", "Filter"},
        {"ActExport1", "Exports"}, {"ActConfig", "Tools"},  {"ActPackage", "Tools"},  {"ActAbout", "Tools"},
    };
    for (const auto& [name, category] : categories)
      QCOMPARE(Act(name)->property("category").toString(), QString(category));
    // The Export submenu's entry in the File menu shows its own hint.
    QCOMPARE(FWin->findChild<QMenu*>("MnuExport")->menuAction()->statusTip(), QString("Selects Export type"));
    QCOMPARE(FWin->findChild<QMenu*>("MnuFile")->defaultAction(), Act("ActOpen"));
    QCOMPARE(FWin->findChild<QMenu*>("MnuView")->defaultAction(), Act("ActSemantic"));
  }

  // --- the window and a settings store it cannot use

  void withoutAStoredPlaceTheWindowStandsAtItsDesignedPlace() {
    TRegistry reg;
    QVERIFY(reg.OpenKey("software\\Kelbrun\\ZIB\\DlgPos", true));
    reg.DeleteValue("FrmMorvoReader");
    NewWindow();
    QCOMPARE(FWin->frameGeometry().topLeft(), QPoint(191, 219));
  }

  void aStoredPlaceOfTheWrongSizeIsReportedAndLeavesTheDesignedPlace() {
    FWin.reset();  // the window going stores its own place
    FrmMorvoReader = nullptr;
    TRegistry reg;
    QVERIFY(reg.OpenKey("software\\Kelbrun\\ZIB\\DlgPos", true));
    reg.WriteBinaryData("FrmMorvoReader", std::string(20, '\x01'));
    dialogs::ClearRecorded();
    NewWindow();  // must not raise out of the creation
    QCOMPARE(FWin->frameGeometry().topLeft(), QPoint(191, 219));
    QCOMPARE(dialogs::Recorded().size(), 1);
    QVERIFY(dialogs::Recorded().front().Text.contains("FrmMorvoReader"));
    QCOMPARE(dialogs::Recorded().front().Flags, unsigned(MB_OK | MB_ICONERROR));
    reg.DeleteValue("FrmMorvoReader");
  }

  void aStoreThatCannotBeWrittenIsReportedWhenTheWindowGoes() {
    // The store's folder turned into a plain file: nothing can be opened or written.
    const QString folder = QString::fromStdString(TRegistry::StoreFolder());
    const QString aside = folder.chopped(1) + ".aside";
    QVERIFY(QDir().rename(folder, aside));
    QVERIFY(testsupport::WriteFileBytes(folder.chopped(1).toStdString(), "not a folder"));
    FWin->show();  // a window never shown stores no place
    dialogs::ClearRecorded();
    FWin.reset();  // its destruction stores the position: it must report, not end the program
    FrmMorvoReader = nullptr;
    const int reports = static_cast<int>(dialogs::Recorded().size());
    QVERIFY(QFile::remove(folder.chopped(1)));
    QVERIFY(QDir().rename(aside, folder));
    QCOMPARE(reports, 1);
    QVERIFY(dialogs::Recorded().front().Text.contains("FrmMorvoReader"));
  }

  void aCommandThatFailsIsReportedAndTheWindowLivesOn() {
    TRegistry reg;
    QVERIFY(reg.OpenKey(kSettingsKey, true));
    reg.WriteBinaryData("ExternalEditor", "\x01\x02");
    dialogs::ClearRecorded();
    Act("ActOpenTxt")->trigger();
    reg.DeleteValue("ExternalEditor");
    QCOMPARE(dialogs::Recorded().size(), 1);
    QVERIFY(dialogs::Recorded().front().Text.startsWith("Invalid data type for 'ExternalEditor'"));
    QCOMPARE(dialogs::Recorded().front().Flags, unsigned(MB_OK | MB_ICONERROR));
  }

  // --- opening files

  void openingAFileFillsTreeGridAndPanels() {
    const QString file = CopyFixture("tree.dcl");
    QVERIFY(FWin->OpenObjectFile(file));
    QCOMPARE(FWin->windowTitle(), QString("tree.dcl - Morvo Object Reader"));
    QVERIFY(FWin->FFileLoaded);
    QCOMPARE(FWin->FLoadedFileName, file);
    QCOMPARE(FWin->FLastFileName, file);
    QCOMPARE(FWin->mlZIBFiles->Items().value(0), file);

    // Semantic order: the last block is the root; links lead down.
    TObjectTree& tree = FWin->TreeData();
    QCOMPARE(Captions(tree.TopNodes), QStringList({"Main"}));
    TObjectTreeNode* main = Top();
    QCOMPARE(Captions(main->Children), QStringList({"Body", "Counter"}));
    TObjectTreeNode* body = Child(main, "Body");
    QCOMPARE(Captions(body->Children), QStringList({"Check", "Loop"}));
    QCOMPARE(Captions(Child(body, "Check")->Children), QStringList({"Files"}));
    // A link back to an object on the path shows it once more, without going round again.
    TObjectTreeNode* loop = Child(body, "Loop");
    QCOMPARE(Captions(loop->Children), QStringList({"Body", "missing link"}));
    QVERIFY(Child(loop, "Body")->Children.empty());
    QVERIFY(Child(loop, "Body")->Object == body->Object);
    // An unresolved link: its text, picture 24, no object, no children.
    TObjectTreeNode* missing = Child(loop, "missing link");
    QVERIFY(!missing->Object);
    QCOMPARE(missing->ImageIndex, 24);
    QCOMPARE(main->ImageIndex, 9);
    QCOMPARE(Child(body, "Check")->ImageIndex, 8);
    QCOMPARE(Child(Child(body, "Check"), "Files")->ImageIndex, 11);
    QCOMPARE(body->ImageIndex, 20);

    // The first node is selected and shown.
    QCOMPARE(Selected(), QString("Main"));
    QCOMPARE(Cell(0, 0), QString("Property name"));
    QCOMPARE(Cell(1, 0), QString("Its value"));
    QCOMPARE(FWin->PanelText(0), QString("$\\Main"));
    QCOMPARE(FWin->PanelText(1), QString("PROJECT"));
    QCOMPARE(FWin->PanelText(2), QString::fromStdString(gPropNames[0]));
    QCOMPARE(FWin->PanelText(3), QString("Full"));
    const int n = FWin->PanelText(2).toInt();
    QVERIFY(n > 0);
    QCOMPARE(Grid()->rowCount(), n + 1);

    // The model shows the same structure to the view.
    QTreeView* view = FWin->findChild<QTreeView*>("ObjectTree");
    QCOMPARE(view->model()->rowCount(), 1);
    const QModelIndex mainIndex = view->model()->index(0, 0);
    QCOMPARE(view->model()->rowCount(mainIndex), 2);
    QCOMPARE(view->model()->data(view->model()->index(0, 0, mainIndex)).toString(), QString("Body"));
    QCOMPARE(view->model()->parent(view->model()->index(1, 0, mainIndex)), mainIndex);
  }

  // A name longer than any screen shows cut; the status bar's path, which the copies take, keeps it whole.
  void aVeryLongNameIsShownCutAndKeptWhole() {
    const std::string name(3 * kShownTextLimit, 'n');
    const QString file = FWork.path() + "/long.dcl";
    QVERIFY(testsupport::WriteFileBytes(file.toStdString(),
                                        "a\r\nb\r\n!!EndOfControl\r\nOBJECT NAME=\"" + name + "\"\r\n}\r\n"));
    QVERIFY(FWin->OpenObjectFile(file));
    QCOMPARE(FWin->TreeModel()->data(FWin->IndexOfNode(Top())).toString(), QString(kShownTextLimit, 'n') + "\u2026");
    QCOMPARE(FWin->PanelText(0), QString::fromStdString("$\\" + name));
  }

  void bothOrdersAndBackAgain() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    Act("ActFileOrder")->trigger();
    TObjectTree& tree = FWin->TreeData();
    QCOMPARE(Captions(tree.TopNodes), QStringList({"Body", "Check", "Files", "Loop", "Main"}));
    // File order descends through nested blocks only.
    QVERIFY(tree.TopNodes[0]->Children.empty());
    QCOMPARE(Captions(tree.TopNodes[4]->Children), QStringList({"Counter"}));
    QCOMPARE(Selected(), QString("Body"));
    QCOMPARE(FWin->PanelText(0), QString("$\\Body"));

    Act("ActSemantic")->trigger();
    QCOMPARE(Captions(tree.TopNodes), QStringList({"Main"}));
    QCOMPARE(Selected(), QString("Main"));
    // The order commands walk every node: the next node order is depth first.
    QStringList order;
    for (TObjectTreeNode* n = tree.FirstNode(); n; n = TObjectTree::NextNode(n))
      order << QString::fromStdString(n->Text);
    QCOMPARE(order, QStringList({"Main", "Body", "Check", "Files", "Loop", "Body", "missing link", "Counter"}));
  }

  void ordersWithoutAFileLeaveTheEmptyTree() {
    Act("ActFileOrder")->trigger();
    QVERIFY(FWin->TreeData().Empty());
    Act("ActSemantic")->trigger();
    QVERIFY(FWin->TreeData().Empty());
    QCOMPARE(Selected(), QString("<none>"));
  }

  void aFileThatDoesNotExistChangesNothing() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    const QString caption = FWin->windowTitle();
    const QStringList recent = FWin->mlZIBFiles->Items();
    QVERIFY(FWin->OpenObjectFile(FWork.path() + "/nothing-here.dcl"));
    QVERIFY(FWin->OpenObjectFile(FWork.path()));  // a folder does not count
    QVERIFY(FWin->OpenObjectFile(QString()));
    QCOMPARE(FWin->windowTitle(), caption);
    QCOMPARE(FWin->mlZIBFiles->Items(), recent);
    QVERIFY(FWin->FFileLoaded);
    QCOMPARE(Selected(), QString("Body"));
    QCOMPARE(Captions(FWin->TreeData().TopNodes), QStringList({"Main"}));
  }

  void aFileThatIsNoObjectFileEmptiesTheTreeAndIsRemembered() {
    const QString loaded = CopyFixture("tree.dcl");
    QVERIFY(FWin->OpenObjectFile(loaded));
    const QString other = CopyFixture("notobject.txt");
    QSignalSpy editor(Act("ActOpenTxt"), &QAction::triggered);
    QVERIFY(FWin->OpenObjectFile(other));  // "OpenNonQSFiles" is off
    QCOMPARE(editor.count(), 0);
    QVERIFY(!FWin->FFileLoaded);
    QVERIFY(FWin->TreeData().Empty());
    QCOMPARE(FWin->FLoadedFileName, loaded);
    QCOMPARE(FWin->FLastFileName, other);
    QCOMPARE(FWin->windowTitle(), QString("notobject.txt - Morvo Object Reader"));
    QCOMPARE(FWin->mlZIBFiles->Items().value(0), other);

    // With the setting on (an empty value counts as on) the editor action runs.
    WriteRegString("OpenNonQSFiles", "");
    QVERIFY(!FWin->OpenObjectFile(other));
    QCOMPARE(editor.count(), 1);
    WriteRegString("OpenNonQSFiles", "false");
    QVERIFY(FWin->OpenObjectFile(other));
    QCOMPARE(editor.count(), 1);
  }

  void aReaderFailurePassesOutAfterTheCaptionChanged() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    const QStringList recent = FWin->mlZIBFiles->Items();
    const QString broken = CopyFixture("broken.dcl");
    bool raised = false;
    try {
      FWin->OpenObjectFile(broken);
    } catch (const EMorvoError&) {
      raised = true;
    }
    QVERIFY(raised);
    QCOMPARE(FWin->windowTitle(), QString("broken.dcl - Morvo Object Reader"));
    QVERIFY(!FWin->FFileLoaded);
    QVERIFY(FWin->TreeData().Empty());
    QCOMPARE(FWin->mlZIBFiles->Items(), recent);
    // The tree's change handler is attached again: a later open fills the grid.
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    QCOMPARE(FWin->PanelText(0), QString("$\\Main"));
  }

  void theOpenCommandUsesTheDialogAndReportsFailures() {
    dialogs::ClearRecorded();
    dialogs::QueueFileAnswer(CopyFixture("broken.dcl"));
    Act("ActOpen")->trigger();
    QVERIFY(Act("ActOpen")->isEnabled());
    QVERIFY(!FWin->FFileLoaded);
    QCOMPARE(FWin->PanelText(3), QString("Full"));
    const auto& recorded = dialogs::Recorded();
    QCOMPARE(recorded.size(), 2);
    QCOMPARE(recorded[1].Kind, QString("message"));
    QCOMPARE(recorded[0].Kind, QString("open"));
    QCOMPARE(recorded[0].Request.Title, QString("Select Quillset file"));
    QCOMPARE(recorded[0].Request.Filters.size(), 9);
    QCOMPARE(recorded[0].Request.FilterIndex, 7);
    QCOMPARE(recorded[0].Request.Filters[7],
             QString("All Morvo Quillset Files (*.dcl *.seg *.fmt *.fun *.dev *.chn *.map)"));
    QCOMPARE(recorded[0].Request.DefaultSuffix, QString("dcl"));

    dialogs::QueueFileAnswer(CopyFixture("tree.dcl"));
    Act("ActOpen")->trigger();
    QVERIFY(FWin->FFileLoaded);
    QCOMPARE(Selected(), QString("Main"));
  }

  // Whatever way a file comes and however its read ends, nothing of the
  // previous file stays on screen; a read failure is told once, naming the
  // file, in the reader's words.
  void aFailedOrEmptyOpenShowsNoObject_data() {
    QTest::addColumn<int>("way");  // 0 the open command, 1 a drop, 2 the Reopen menu, 3 the command line
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("codePage");
    QTest::newRow("open, read failure") << 0 << "broken.dcl"
                                        << "";
    QTest::newRow("open, no object file") << 0 << "notobject.txt"
                                          << "";
    QTest::newRow("drop, read failure") << 1 << "broken.dcl"
                                        << "";
    QTest::newRow("drop, no object file") << 1 << "notobject.txt"
                                          << "";
    QTest::newRow("reopen, read failure") << 2 << "broken.dcl"
                                          << "";
    QTest::newRow("command line, read failure") << 3 << "broken.dcl"
                                                << "";
    QTest::newRow("open, unknown code page") << 0 << "tree.dcl"
                                             << "klingon-1";
  }
  void aFailedOrEmptyOpenShowsNoObject() {
    QFETCH(int, way);
    QFETCH(QString, fixture);
    QFETCH(QString, codePage);
    QString file = CopyFixture(qPrintable(fixture), "failing-" + fixture);
    if (way == 3) {  // a name that is no UTF-8, as from a Windows share
      std::filesystem::rename(file.toStdString(), file.toStdString() + "\xE9");
      file = NameFromNative(file.toStdString() + "\xE9");
    }
    WriteRegString("Quillset1xCodePage", codePage.toStdString());
    std::string readerWords;
    try {
      FWin->OpenObjectFile(file);
    } catch (const EMorvoError& e) {
      readerWords = "Cannot read the object file \"" + ShownName(file).toStdString() + "\": " + e.what() + ".";
    }
    WriteRegString("Quillset1xCodePage", "");
    QCOMPARE(readerWords.empty(), fixture == "notobject.txt");
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    QVERIFY(Grid()->rowCount() > 2);
    WriteRegString("Quillset1xCodePage", codePage.toStdString());
    dialogs::ClearRecorded();
    if (way == 0) {
      dialogs::QueueFileAnswer(file);
      Act("ActOpen")->trigger();
    } else if (way == 1) {
      FWin->ddDragDropDrop({file});
    } else if (way == 2) {
      FWin->mlZIBFiles->Add(file);
      FWin->BuildReopenMenu();
      FWin->findChild<QMenu*>("mnuReopen")->actions().front()->trigger();
    } else {
      QVERIFY(FWin->OpenFileArgument(file));
    }
    QVERIFY(!FWin->FFileLoaded);
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Cell(0, 1) + Cell(1, 1), QString());
    QCOMPARE(FWin->PanelText(0) + FWin->PanelText(1) + FWin->PanelText(2), QString());
    QStringList messages;
    for (const auto& r : dialogs::Recorded())
      if (r.Kind == "message") messages << r.Text;
    WriteRegString("Quillset1xCodePage", "");
    QCOMPARE(messages, readerWords.empty() ? QStringList() : QStringList{QString::fromStdString(readerWords)});
    // The view panel follows a view change with nothing loaded.
    Act("ActFilter2")->trigger();
    QCOMPARE(FWin->PanelText(3), QString("Short"));
  }

  void storedNamesReplaceTheTypedOnes() {
    QDir(FWork.path()).mkpath("Data/Deep");
    QVERIFY(QFile::copy(Fixture("tree.dcl"), FWork.path() + "/Data/Deep/Invoice.dcl"));
    // A component that matches only without regard to case takes the stored
    // name when exactly one entry matches.
    QCOMPARE(TFrmMorvoReader::GetRealPathName(FWork.path() + "/data/deep/INVOICE.DCL"),
             FWork.path() + "/Data/Deep/Invoice.dcl");
    QCOMPARE(TFrmMorvoReader::GetRealPathName(FWork.path() + "/Data/Deep/"), FWork.path() + "/Data/Deep");
    QVERIFY(QFile::copy(Fixture("tree.dcl"), FWork.path() + "/Data/Deep/INVOICE.dcl"));
    QCOMPARE(TFrmMorvoReader::GetRealFileName(FWork.path() + "/Data/Deep/invoice.DCL"), QString("invoice.DCL"));
    QCOMPARE(TFrmMorvoReader::GetRealFileName(FWork.path() + "/Data/Deep/nothing"), QString("nothing"));
    // A relative name stays relative; very short paths are kept as they are.
    QCOMPARE(TFrmMorvoReader::GetRealPathName("some.dcl"), QString("some.dcl"));
    QCOMPARE(TFrmMorvoReader::GetRealPathName("/a"), QString("/a"));
    QCOMPARE(TFrmMorvoReader::GetRealPathName("/"), QString(""));
    QCOMPARE(TFrmMorvoReader::GetRealPathName("/tmp/"), QString("/tmp"));
  }

  // --- views

  void viewsHideObjectsAndChildrenAndKeepTheirFields() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    Act("ActFilter2")->trigger();  // Short: no If tools, folders without children
    QCOMPARE(FWin->FCurrentView, QString("Short"));
    QCOMPARE(FWin->FHideObjects, QString("0801"));
    QCOMPARE(FWin->FHideChildrenOf, QString("0002"));
    TObjectTreeNode* main = Top();
    QCOMPARE(Captions(main->Children), QStringList({"Body", "Counter"}));
    QVERIFY(Child(main, "Body")->Children.empty());
    QCOMPARE(FWin->PanelText(3), QString("Short"));

    Act("ActFilter3")->trigger();  // Debug: only property 12
    QCOMPARE(FWin->FCurrentView, QString("Debug"));
    QVERIFY(FWin->FHideObjects.isEmpty());
    QCOMPARE(Captions(Child(Top(), "Body")->Children), QStringList({"Check", "Loop"}));
    QCOMPARE(Selected(), QString("Main"));
    QCOMPARE(FWin->PanelText(2), QString("1"));
    QCOMPARE(Grid()->rowCount(), 2);
    QVERIFY(Cell(1, 1).contains("zeta"));
  }

  void aViewChangeSelectsTheSameObjectAgain() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    TObjectTreeNode* body = Child(Top(), "Body");
    FWin->SelectNode(Child(body, "Loop"));
    QCOMPARE(Selected(), QString("Loop"));
    Act("ActFilter3")->trigger();
    QCOMPARE(Selected(), QString("Loop"));
    QCOMPARE(FWin->PanelText(0), QString("$\\Main\\Body\\Loop"));

    // Hidden by the new view: the first node stays selected.
    FWin->SelectNode(Child(Child(Top(), "Body"), "Check"));
    Act("ActFilter2")->trigger();
    QCOMPARE(Selected(), QString("Main"));

    // File order shown: a view change still builds the semantic tree.
    Act("ActFileOrder")->trigger();
    Act("ActFilter1")->trigger();
    QCOMPARE(FWin->CurrentOrder(), TTreeOrder::Semantic);
    QCOMPARE(Captions(FWin->TreeData().TopNodes), QStringList({"Main"}));
  }

  void anAcceleratorInAViewNameSelectsTheSectionWithoutIt() {
    UseConfig("[Settings]\r\nViews=F&ull,Short\r\n[Full]\r\nHideObjects=0002\r\n");
    NewWindow();
    QCOMPARE(FWin->FCurrentView, QString("Full"));
    QCOMPARE(FWin->FHideObjects, QString("0002"));
    Act("ActFilter2")->setText("&Short");
    Act("ActFilter2")->trigger();
    QCOMPARE(FWin->FCurrentView, QString("Short"));
    QVERIFY(FWin->FHideObjects.isEmpty());
  }

  void aViewNamedWithALeadingAcceleratorShowsWithoutIt() {
    UseConfig("[Settings]\r\nViews=&Design\r\n");
    NewWindow();
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    QCOMPARE(FWin->FCurrentView, QString("Design"));
    QCOMPARE(FWin->PanelText(3), QString("Design"));
  }

  void noViewsLeaveTheCurrentViewEmpty() {
    UseConfig("[Settings]\r\nOutPuts=Html\r\n");
    NewWindow();
    QVERIFY(FWin->FCurrentView.isEmpty());
    QCOMPARE(FWin->findChild<QMenu*>("MnuView")->actions().size(), 3);
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    QVERIFY(FWin->PanelText(3).isEmpty());
    QVERIFY(FWin->FHideObjects.isEmpty());
  }

  // --- grid and panels

  void nodesWithoutAnObjectShowTheHeaderAndOneEmptyRow() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    TObjectTreeNode* missing = Child(Child(Child(Top(), "Body"), "Loop"), "missing link");
    FWin->SelectNode(missing);
    QCOMPARE(Grid()->rowCount(), 2);
    QCOMPARE(Cell(0, 0), QString("Property name"));
    QVERIFY(Cell(0, 1).isEmpty() && Cell(1, 1).isEmpty());
    QVERIFY(FWin->PanelText(0).isEmpty());
    QVERIFY(FWin->PanelText(1).isEmpty());
    QVERIFY(FWin->PanelText(2).isEmpty());
    QCOMPARE(FWin->PanelText(3), QString("Full"));

    FWin->SelectNode(nullptr);
    QCOMPARE(Grid()->rowCount(), 2);
    QVERIFY(FWin->PanelText(0).isEmpty());
    QCOMPARE(FWin->PanelText(3), QString("Full"));
  }

  void anObjectWithoutShownPropertiesShowsZero() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    Act("ActFilter3")->trigger();  // Debug shows property 12 only
    FWin->SelectNode(Child(Top(), "Counter"));
    QCOMPARE(FWin->PanelText(2), QString("0"));
    QCOMPARE(Grid()->rowCount(), 2);
    QVERIFY(Cell(1, 1).isEmpty());
    QCOMPARE(FWin->PanelText(0), QString("$\\Main\\Counter"));
    QCOMPARE(FWin->PanelText(1), QString("VARIABLE"));
    QCOMPARE(FWin->PanelText(3), QString("Debug"));
  }

  void rowsFollowThePropertyOrderAndTheirLineCount() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    const int n = FWin->PanelText(2).toInt();
    QVERIFY(n >= 2);
    QStringList names;
    for (int r = 1; r <= n; ++r) names << Cell(0, r);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
      return QString::localeAwareCompare(a.toLower(), b.toLower()) < 0;
    });
    QCOMPARE(names, sorted);

    const int h = Grid()->rowHeight(0);
    QCOMPARE(h, 18);
    bool sawLines = false;
    for (int r = 1; r <= n; ++r) {
      const int k = TFrmMorvoReader::CountLineBreaks(Cell(1, r));
      sawLines = sawLines || k == 2;
      QCOMPARE(Grid()->rowHeight(r), h + 3 * ((k * h) / 4));
    }
    QVERIFY2(sawLines, "the description's three lines reach the grid");

    // A taller header row scales the others: 20 high with two breaks gives 50.
    Grid()->setRowHeight(0, 20);
    FWin->ObjectTreeChange();
    for (int r = 1; r <= n; ++r)
      if (TFrmMorvoReader::CountLineBreaks(Cell(1, r)) == 2) QCOMPARE(Grid()->rowHeight(r), 50);

    // Unsorted: the order the view arrays were filled in.
    WriteRegString("SortProperties", "0");
    FWin->ObjectTreeChange();
    for (int r = 1; r <= n; ++r) QCOMPARE(Cell(0, r), QString::fromStdString(gPropNames[static_cast<size_t>(r)]));
  }

  // The value column fills the viewport beside the names, with the vertical
  // scroll bar or without it, so no horizontal one ever shows.
  void theColumnsFollowTheWindow() {
    FWin->resize(800, 400);
    FWin->show();
    QVERIFY(QTest::qWaitForWindowExposed(FWin.get()));
    QCOMPARE(Grid()->columnWidth(0), 100);
    FWin->resize(900, 400);
    auto fits = [this] {
      return Grid()->columnWidth(0) + Grid()->columnWidth(1) == Grid()->viewport()->width() &&
             !Grid()->horizontalScrollBar()->isVisible();
    };
    QTRY_VERIFY(fits());
    Grid()->setColumnWidth(0, 300);  // the user widens the names
    QTRY_VERIFY(fits());
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    FWin->resize(900, 150);  // the rows need the vertical scroll bar
    QTRY_VERIFY(Grid()->verticalScrollBar()->isVisible());
    QTRY_VERIFY(fits());
    Grid()->setCurrentCell(1, 1);  // a click on a value scrolls nothing sideways
    QCOMPARE(Grid()->horizontalHeader()->offset(), 0);
  }

  void theHeaderRowStaysWhenTheRowsScroll() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SelectNode(Child(Top(), "Body"));
    FWin->resize(500, 130);
    Grid()->setRowHeight(Grid()->rowCount() - 1, 90);
    FWin->show();
    QVERIFY(QTest::qWaitForWindowExposed(FWin.get()));
    QTRY_VERIFY((Grid()->scrollToBottom(), Grid()->rowAt(0) > 0));
    auto* fixed = Grid()->findChild<QHeaderView*>("PropertyGridFixedRow");
    QVERIFY(fixed && fixed->isVisible());
    QCOMPARE(fixed->geometry(),
             QRect(Grid()->viewport()->geometry().topLeft(), QSize(Grid()->viewport()->width(), 18)));
    // The user sizes and moves the columns there.
    fixed->resizeSection(0, 140);
    QCOMPARE(Grid()->columnWidth(0), 140);
    fixed->moveSection(1, 0);
    QCOMPARE(Grid()->horizontalHeader()->visualIndex(1), 0);
    // And a row by dragging its lower line.
    Grid()->scrollToTop();
    const int line = Grid()->rowViewportPosition(1) + Grid()->rowHeight(1);
    QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, QPoint(50, line));
    QTest::mouseMove(Grid()->viewport(), QPoint(50, line + 12));
    QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, QPoint(50, line + 12));
    QCOMPARE(Grid()->rowHeight(1), 30);
    // Not the fixed row's own lower line.
    const int fixedLine = Grid()->rowHeight(0);
    QTest::mousePress(Grid()->viewport(), Qt::LeftButton, {}, QPoint(50, fixedLine));
    QTest::mouseMove(Grid()->viewport(), QPoint(50, fixedLine + 12));
    QTest::mouseRelease(Grid()->viewport(), Qt::LeftButton, {}, QPoint(50, fixedLine + 12));
    QCOMPARE(Grid()->rowHeight(0), 18);
    // What the program sets on the grid shows in the fixed row: widths, row 0's height, the sideways scroll.
    Grid()->setColumnWidth(0, 900);  // names wider than the grid
    QCOMPARE(fixed->sectionSize(0), 900);
    QCOMPARE(fixed->sectionSize(1), Grid()->columnWidth(1));
    Grid()->setRowHeight(0, 25);
    QCOMPARE(fixed->height(), 25);
    QTRY_VERIFY(Grid()->horizontalScrollBar()->maximum() > 0);
    Grid()->horizontalScrollBar()->setValue(Grid()->horizontalScrollBar()->maximum());
    QVERIFY(Grid()->horizontalHeader()->offset() > 0);
    QCOMPARE(fixed->offset(), Grid()->horizontalHeader()->offset());
  }

  void theNodePathNamesEveryCaptionFromTheTop() {
    QCOMPARE(FWin->GetNodePath(nullptr), QString("$"));
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    TObjectTreeNode* body = Child(Top(), "Body");
    QCOMPARE(FWin->GetNodePath(body), QString("$\\Main\\Body"));
    QCOMPARE(FWin->GetNodePath(Child(Child(body, "Loop"), "missing link")),
             QString("$\\Main\\Body\\Loop\\missing link"));
  }

  void theConfigCommandRefreshesGridAndPanels() {
    QVERIFY(FWin->OpenObjectFile(CopyFixture("tree.dcl")));
    FWin->SetPanelText(3, "stale");
    Act("ActConfig")->trigger();
    QCOMPARE(FWin->PanelText(3), QString("Full"));
  }

  void theBusyTextBlinksEveryQuarterSecond() {
    FWin->BlinkPatienceAt(600);  // far from the first mark: renews it
    QCOMPARE(FWin->PanelText(3), QString(""));
    FWin->SetPanelText(3, "View");
    FWin->BlinkPatienceAt(700);
    QCOMPARE(FWin->PanelText(3), QString("View"));
    FWin->BlinkPatienceAt(850);
    QCOMPARE(FWin->PanelText(3), QString("View"));  // 250 exactly: still nothing
    FWin->BlinkPatienceAt(851);
    QCOMPARE(FWin->PanelText(3), QString("Patience ..."));
    FWin->BlinkPatienceAt(1100);
    QCOMPARE(FWin->PanelText(3), QString("Patience ..."));
    FWin->BlinkPatienceAt(1101);
    QCOMPARE(FWin->PanelText(3), QString(""));
    // A tick count that wrapped lies before the mark: nothing until it passes it.
    FWin->SetPanelText(3, "View");
    FWin->BlinkPatienceAt(5);
    QCOMPARE(FWin->PanelText(3), QString("View"));
    // The reader reaches the blink through the progress hook.
    CallProgressHook();
  }

  void commandsArrivingDuringATreeFillWaitTheirTurn() {
    // A long semantic tree of hand-made objects; the fill pumps messages on
    // its way, and the commands queued below arrive then.
    std::vector<std::unique_ptr<TisMorvoObject>> owned;
    gRootObjects = std::make_unique<TObjectList>();
    TisMorvoObject* previous = nullptr;
    for (int i = 0; i < 60000; ++i) {
      owned.push_back(std::make_unique<TisMorvoObject>());
      TisMorvoObject* o = owned.back().get();
      o->FName = "N" + std::to_string(i);
      o->FGUID = "G" + std::to_string(i);
      o->FTypeNr = 2;
      if (previous)
        previous->FLinks.push_back({o->FGUID, o});
      else
        gRootObjects->push_back({o->FGUID, o});
      previous = o;
    }
    FWin->FFileLoaded = true;
    FWin->show();
    QTreeView* view = FWin->findChild<QTreeView*>("ObjectTree");
    bool ran = false;
    const QString other = CopyFixture("tree.dcl");
    QTimer::singleShot(0, FWin.get(), [&] {
      ran = true;
      view->viewport()->repaint();
      Act("ActFileOrder")->trigger();
      QVERIFY(FWin->OpenObjectFile(other));  // ignored while the fill runs
      view->viewport()->repaint();
    });
    QElapsedTimer started;
    started.start();
    while (started.elapsed() < 30) {
    }  // lets the first pump of the fill come at once
    FWin->MnuSemanticorderClick();
    QVERIFY(ran);
    int count = 0;
    for (TObjectTreeNode* n = FWin->TreeData().FirstNode(); n; n = TObjectTree::NextNode(n)) ++count;
    QCOMPARE(count, 60000);
    QCOMPARE(Selected(), QString("N0"));
    QVERIFY(FWin->windowTitle() == QString("Morvo Object Reader"));
    FWin.reset();
    FrmMorvoReader = nullptr;
    gRootObjects.reset();
  }

  void closingTheWindowDuringAFillLeavesAPartialTree() {
    std::vector<std::unique_ptr<TisMorvoObject>> owned;
    gRootObjects = std::make_unique<TObjectList>();
    for (int i = 0; i < 60000; ++i) {
      owned.push_back(std::make_unique<TisMorvoObject>());
      TisMorvoObject* o = owned.back().get();
      o->FName = "R" + std::to_string(i);
      o->FTypeNr = 2;
      gRootObjects->push_back({o->FName, o});
    }
    FWin->FFileLoaded = true;
    FWin->show();
    QTimer::singleShot(0, FWin.get(), [&] { FWin->close(); });
    QElapsedTimer started;
    started.start();
    while (started.elapsed() < 30) {
    }
    FWin->MnuSemanticorderClick();
    QVERIFY(ApplicationTerminating());
    const auto shown = FWin->TreeData().TopNodes.size();
    QVERIFY(shown >= 1 && shown < 60000);
    FWin.reset();
    FrmMorvoReader = nullptr;
    gRootObjects.reset();
  }

  // A name comes as its bytes, UTF-8 or not, and shows readably.
  void droppedFilesAndReopenItemsReachTheirHandlers_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("tree.dcl");
    QTest::newRow("a name that is no UTF-8") << QByteArray(
        "tr\xE9"
        "e.dcl");
    QTest::newRow("a name with quotes") << QByteArray(
        "Facture \"n\xC2\xB0"
        "1\" l'\xC3\xA9t\xC3\xA9.dcl");
  }
  void droppedFilesAndReopenItemsReachTheirHandlers() {
    QFETCH(QByteArray, name);
    const std::string path = FWork.path().toStdString() + "/" + name.toStdString();
    QVERIFY(testsupport::WriteFileBytes(path, testsupport::ReadFileBytes(Fixture("tree.dcl").toStdString())));
    const QString file = NameFromNative(path);
    auto* mime = new QMimeData;
    // As a file manager gives it: the name's bytes, percent-encoded.
    mime->setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWin.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWin.get(), &drop);
    delete mime;
    QVERIFY(FWin->FFileLoaded);
    QCOMPARE(FWin->FLoadedFileName, file);
    QCOMPARE(FWin->windowTitle(),
             QString::fromUtf8(name).replace(QChar(0xFFFD), QChar(0xE9)) + " - Morvo Object Reader");

    // The Reopen menu lists the file as shown; its item opens it again.
    const QString other = CopyFixture("notobject.txt");
    QVERIFY(FWin->OpenObjectFile(other));
    QVERIFY(!FWin->FFileLoaded);
    auto* reopen = FWin->findChild<QMenu*>("mnuReopen");
    QAction* item = nullptr;
    for (QAction* a : reopen->actions())
      if (a->statusTip() == ShownName(file)) item = a;
    QVERIFY(item);
    item->trigger();
    QVERIFY(FWin->FFileLoaded);
    QCOMPARE(FWin->FLoadedFileName, file);
    QCOMPARE(Selected(), QString("Main"));
  }

  void closingTheWindowTellsLongWorkToStop() {
    QVERIFY(!ApplicationTerminating());
    Act("ActExit")->trigger();
    QVERIFY(ApplicationTerminating());
  }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
