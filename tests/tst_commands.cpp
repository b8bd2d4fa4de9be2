// The main window's clipboard copies, recent files with the Reopen menu,
// dropped files and the external editor.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include "Accessors.h"
#include "DialogFacade.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "ObjectTree.h"
#include "ObjectTreeModel.h"
#include "RecentFiles.h"
#include "Registry.h"
#include "TestSupport.h"
#include "fMain.h"

namespace {

QByteArray ClipboardBytes() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText() ? data->data("text/plain") : QByteArray("<no text>");
}

void SetClipboardSentinel() { QGuiApplication::clipboard()->setText("sentinel"); }

}  // namespace

class TestCommands : public QObject {
  Q_OBJECT

  QTemporaryDir FHome;
  std::vector<std::unique_ptr<TisMorvoObject>> FObjects;
  std::unique_ptr<TFrmMorvoReader> FWindow;

  // Invoice (3 stored lines) / link "Missing Link" below it.
  void ShowSampleTree() {
    auto invoice = std::make_unique<TisMorvoObject>();
    invoice->FName = "Invoice \xE2\x82\xAC";
    invoice->FGUID = "{9F1C-77AB}";
    invoice->FTypeName = "Document";
    invoice->FLines = {"0001 Invoice", "0002 two", "0012 \xC3\xA9t\xC3\xA9"};
    FWindow->TreeModel()->BeginRebuild();
    TObjectTree& tree = FWindow->TreeData();
    tree.Clear();
    auto top = std::make_unique<TObjectTreeNode>();
    top->Object = invoice.get();
    top->Text = invoice->FName;
    auto link = std::make_unique<TObjectTreeNode>();
    link->Text = "Missing Link";
    link->Parent = top.get();
    top->Children.push_back(std::move(link));
    tree.TopNodes.push_back(std::move(top));
    FWindow->TreeModel()->EndRebuild();
    FObjects.push_back(std::move(invoice));
  }
  TObjectTreeNode* TopNode() { return FWindow->TreeData().FirstNode(); }
  TObjectTreeNode* LinkNode() { return TopNode()->Children.front().get(); }

  QString Folder() const { return FHome.path() + "/files with blanks"; }
  QString MakeFile(const QString& Name, const QByteArray& Content) {
    QDir().mkpath(Folder());
    const QString path = Folder() + "/" + Name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(Content);
    return path;
  }

  // A stand-in editor that writes the number of its arguments and the first one.
  QString MakeEditor(const QString& Record) {
    const QString script =
        MakeFile("my editor.sh", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" + Record.toUtf8() + ".tmp\"\nmv \"" +
                                     Record.toUtf8() + ".tmp\" \"" + Record.toUtf8() + "\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
  }

  QStringList Messages() const {
    QStringList out;
    for (const auto& r : dialogs::Recorded())
      if (r.Kind == "message") out << r.Text;
    return out;
  }

  QStringList ReopenCaptions() const {
    QStringList out;
    for (QAction* a : FWindow->findChild<QMenu*>("mnuReopen")->actions()) out << a->text();
    return out;
  }

 private slots:
  void initTestCase() {
    QVERIFY(FHome.isValid());
    qputenv("XDG_CONFIG_HOME", (FHome.path() + "/config").toUtf8());
    dialogs::SetNonInteractive(true);
  }

  void init() {
    dialogs::ResetForTests();
    {
      TRegistry reg;
      reg.DeleteKey("software\\Kelbrun\\ZIB\\MRU");
    }
    WriteRegString("OpenNonQSFiles", "0");
    WriteRegString("ExternalEditor", "");
    FWindow = std::make_unique<TFrmMorvoReader>();
    FrmMorvoReader = FWindow.get();
  }

  void cleanup() {
    FWindow.reset();
    FrmMorvoReader = nullptr;
    FObjects.clear();
  }

  // --- clipboard copies

  void copiesOfAnObject() {
    ShowSampleTree();
    FWindow->SelectNode(TopNode());
    FWindow->MnuCopyGUIDClick();
    QCOMPARE(ClipboardBytes(), QByteArray("{9F1C-77AB}"));
    FWindow->MnuCopyBarePopertylistClick();
    QCOMPARE(ClipboardBytes(), QByteArray("0001 Invoice\r\n0002 two\r\n0012 \xC3\xA9t\xC3\xA9\r\n"));
    FWindow->ActCopyONameExecute();
    QCOMPARE(ClipboardBytes(), QByteArray("Invoice \xE2\x82\xAC"));
    FWindow->ActCopyOPathExecute();
    QVERIFY(!FWindow->PanelText(0).isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), FWindow->PanelText(0));
  }

  void copiesOfAnUnresolvedLink() {
    ShowSampleTree();
    FWindow->SelectNode(LinkNode());
    SetClipboardSentinel();
    FWindow->MnuCopyGUIDClick();
    FWindow->MnuCopyBarePopertylistClick();
    QCOMPARE(ClipboardBytes(), QByteArray("sentinel"));
    FWindow->ActCopyONameExecute();
    QCOMPARE(ClipboardBytes(), QByteArray("Missing Link"));
    FWindow->ActCopyOPathExecute();
    QCOMPARE(ClipboardBytes(), QByteArray(""));  // the panel is empty for a link
  }

  void copiesWithoutSelectionLeaveTheClipboard() {
    ShowSampleTree();
    FWindow->SelectNode(nullptr);
    SetClipboardSentinel();
    FWindow->MnuCopyGUIDClick();
    FWindow->MnuCopyBarePopertylistClick();
    FWindow->ActCopyONameExecute();
    FWindow->ActCopyOPathExecute();
    QCOMPARE(ClipboardBytes(), QByteArray("sentinel"));
  }

  void emptyPropertyListCopiesEmptyText() {
    ShowSampleTree();
    FObjects.front()->FLines.clear();
    FWindow->SelectNode(TopNode());
    SetClipboardSentinel();
    FWindow->MnuCopyBarePopertylistClick();
    QCOMPARE(ClipboardBytes(), QByteArray(""));
  }

  // --- recent files and the Reopen menu

  void recentFilesKeepFifteenMostRecentFirst() {
    TRecentFiles list;
    for (int i = 1; i <= 16; ++i) list.Add(QString("/data/file%1.dcl").arg(i));
    QStringList items = list.Items();
    QCOMPARE(items.size(), 15);
    QCOMPARE(items.front(), QString("/data/file16.dcl"));
    QCOMPARE(items.back(), QString("/data/file2.dcl"));
    list.Add("/data/file9.dcl");
    items = list.Items();
    QCOMPARE(items.size(), 15);
    QCOMPARE(items[0], QString("/data/file9.dcl"));
    QCOMPARE(items[1], QString("/data/file16.dcl"));
    QCOMPARE(items.count("/data/file9.dcl"), 1);
    // This file system tells letter cases apart.
    list.Add("/data/FILE9.dcl");
    QCOMPARE(list.Items().mid(0, 2), QStringList({"/data/FILE9.dcl", "/data/file9.dcl"}));
  }

  void recentFilesStoreLayout() {
    TRecentFiles list;
    list.Add("/a/one.dcl");
    list.Add("/b/two \xC3\xA9.seg");
    TRegistry reg;
    QVERIFY(reg.OpenKey("software\\Kelbrun\\ZIB\\MRU", false));
    QCOMPARE(reg.ReadString("File1"), std::string("/b/two \xC3\xA9.seg"));
    QCOMPARE(reg.ReadString("File2"), std::string("/a/one.dcl"));
    QVERIFY(!reg.ValueExists("File3"));
    // Read afresh each time: a value someone stored as bytes is skipped.
    reg.WriteBinaryData("File1", "\x01\x02");
    reg.WriteString("Other", "kept");
    QCOMPARE(list.Items(), QStringList{"/a/one.dcl"});
    list.Add("/c/three.fmt");
    QCOMPARE(list.Items(), QStringList({"/c/three.fmt", "/a/one.dcl"}));
    QCOMPARE(reg.ReadString("Other"), std::string("kept"));
  }

  // Two programs started together (a file manager's verb on two files) add
  // their files at the same moment: neither loses the other's entries.
  void twoProcessesAddingAtOnceLoseNoEntry() {
    for (int round = 0; round < 10; ++round) {
      TRegistry().DeleteKey("software\\Kelbrun\\ZIB\\MRU");
      int go[2];
      QCOMPARE(::pipe(go), 0);
      pid_t children[2];
      for (int c = 0; c < 2; ++c) {
        if ((children[c] = ::fork()) != 0) continue;
        ::close(go[1]);
        char start;
        [[maybe_unused]] const ssize_t none = ::read(go[0], &start, 1);  // ends when the parent closes
        for (int i = 0; i < 7; ++i) TRecentFiles().Add(QString("/data/p%1-%2.dcl").arg(c).arg(i));
        ::_exit(0);
      }
      ::close(go[0]);
      ::close(go[1]);  // both start now
      for (const pid_t child : children) QCOMPARE(::waitpid(child, nullptr, 0), child);
      QCOMPARE(TRecentFiles().Count(), 14);
    }
  }

  void reopenCaptionsCarryTheKeys() {
    for (int i = 12; i >= 1; --i) FWindow->mlZIBFiles->Add(QString("/data/f%1.dcl").arg(i));
    FWindow->BuildReopenMenu();
    const QStringList captions = ReopenCaptions();
    QCOMPARE(captions.size(), 12);
    const QString keys = "0123456789AB";
    for (int k = 0; k < 12; ++k) QCOMPARE(captions[k], QString("&%1 /data/f%2.dcl").arg(keys[k]).arg(k + 1));
    for (int i = 13; i <= 20; ++i) FWindow->mlZIBFiles->Add(QString("/data/g%1.dcl").arg(i));
    FWindow->BuildReopenMenu();
    const QStringList full = ReopenCaptions();
    QCOMPARE(full.size(), 15);
    QCOMPARE(full.front(), QString("&0 /data/g20.dcl"));
    QCOMPARE(full.back(), QString("&E /data/f7.dcl"));
    // The item's hint holds the path; an "&" of it shows as typed.
    FWindow->mlZIBFiles->Add("/data/R&D.dcl");
    FWindow->BuildReopenMenu();
    QAction* first = FWindow->findChild<QMenu*>("mnuReopen")->actions().front();
    QCOMPARE(first->text(), QString("&0 /data/R&&D.dcl"));
    QCOMPARE(first->statusTip(), QString("/data/R&D.dcl"));
  }

  void reopenOpensTheHintsFile() {
    const QString notes = MakeFile("notes.txt", "just some text\n");
    FWindow->mlZIBFiles->Add(notes);
    FWindow->mlZIBFiles->Add(Folder() + "/gone.dcl");
    FWindow->BuildReopenMenu();
    QMenu* menu = FWindow->findChild<QMenu*>("mnuReopen");
    // The missing file: nothing opens, nothing is said, the entry stays.
    menu->actions()[0]->trigger();
    QCOMPARE(FWindow->FLastFileName, QString());
    QVERIFY(Messages().isEmpty());
    menu->actions()[1]->trigger();
    QCOMPARE(FWindow->FLastFileName, notes);
    QCOMPARE(FWindow->windowTitle(), QString("notes.txt - Morvo Object Reader"));
    QCoreApplication::processEvents();  // the old entries go after the click
    QCOMPARE(FWindow->mlZIBFiles->Items(), QStringList({notes, Folder() + "/gone.dcl"}));
    QCOMPARE(ReopenCaptions().front(), "&0 " + notes);
    QCOMPARE(ReopenCaptions().size(), 2);
  }

  // A pipe fails at once, as a folder does, from the Reopen menu too: nothing waits for a writer.
  void aPipeIsRefusedAtOnce() {
    const QString pipe = FHome.path() + "/pipe.dcl";
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY_THROWS_EXCEPTION(EMorvoError, FWindow->OpenObjectFile(pipe));
    FWindow->mlZIBFiles->Add(pipe);
    FWindow->BuildReopenMenu();
    FWindow->findChild<QMenu*>("mnuReopen")->actions().front()->trigger();
    QVERIFY(!FWindow->FFileLoaded);
    QCOMPARE(Messages().size(), 1);  // the reader's own words
  }

  // --- dropped files

  void dropOpensOnlyTheFirstFile() {
    const QString a = MakeFile("a.txt", "first\n");
    const QString b = MakeFile("b.txt", "second\n");
    FWindow->FCurrentView = "Standard";
    FWindow->SetPanelText(3, "busy");
    FWindow->ddDragDropDrop({a, b});
    QCOMPARE(FWindow->FLastFileName, a);
    QCOMPARE(FWindow->mlZIBFiles->Items(), QStringList{a});
    QVERIFY(FWindow->findChild<QAction*>("ActOpen")->isEnabled());
    QCOMPARE(FWindow->PanelText(3), QString("Standard"));
    QVERIFY(!QApplication::overrideCursor());
  }

  void dropOfNothingUsable() {
    const QString a = MakeFile("a.txt", "first\n");
    FWindow->SetPanelText(3, "untouched");
    FWindow->ddDragDropDrop({Folder(), a});  // a folder first: nothing
    FWindow->ddDragDropDrop({"  ", ""});
    FWindow->ddDragDropDrop({});
    FWindow->ddDragDropDrop({Folder() + "/none.dcl"});
    QCOMPARE(FWindow->FLastFileName, QString());
    QVERIFY(FWindow->mlZIBFiles->Items().isEmpty());
    QCOMPARE(FWindow->PanelText(3), QString("untouched"));
  }

  void dropEventOfTheWindow() {
    const QString a = MakeFile("dropped.txt", "text\n");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(a)});
    // The drop goes to the widget that accepted the drag's entering.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWindow.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FWindow.get(), &drop);
    QCOMPARE(FWindow->FLastFileName, a);
  }

  // --- the external editor

  void nonObjectFileGoesToTheEditorAndTheRecentFiles() {
    const QString record = FHome.path() + "/editor-args.txt";
    const QString editor = MakeEditor(record);
    WriteRegString("ExternalEditor", editor.toStdString());
    WriteRegString("OpenNonQSFiles", "-1");
    const QString text = MakeFile("plain notes.txt", "no objects here\n");
    FWindow->ddDragDropDrop({text});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
    QCOMPARE(testsupport::ReadFileBytes(record.toStdString()), ("1|" + text).toStdString());
    QCOMPARE(FWindow->mlZIBFiles->Items(), QStringList{text});
    QVERIFY(Messages().isEmpty());
    QVERIFY(!FWindow->FFileLoaded);
  }

  void editorWithoutAFileGetsNoArgument() {
    const QString record = FHome.path() + "/editor-empty.txt";
    WriteRegString("ExternalEditor", MakeEditor(record).toStdString());
    FWindow->ActOpenTxtExecute();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
    QCOMPARE(testsupport::ReadFileBytes(record.toStdString()), std::string("0|"));
  }

  void missingEditorIsReported_data() {
    QTest::addColumn<QString>("editor");
    QTest::newRow("empty") << QString();
    QTest::newRow("missing") << QString("/no/such/editor");
    QTest::newRow("a folder") << QString("/tmp");
    QTest::newRow("not executable") << QString("<plain>");
  }
  void missingEditorIsReported() {
    QFETCH(QString, editor);
    const bool plain = editor == "<plain>";
    if (plain) editor = MakeFile("plain editor", "not a program\n");
    WriteRegString("ExternalEditor", editor.toStdString());
    FWindow->ActOpenTxtExecute();
    QCOMPARE(Messages(), QStringList{"The External editor : \"" + editor + "\" " +
                                     (plain ? "cannot be started (Permission denied)" : "does not exsist") +
                                     ", use the Config dialog to fix this."});
    QCOMPARE(dialogs::Recorded()[0].Flags, 0u);
    QCOMPARE(dialogs::Recorded()[0].Title, FWindow->windowTitle());
  }

  void aLoadThatMeetsTheEndOfTheProgramStartsNoEditor() {
    const QString record = FHome.path() + "/editor-ending.txt";
    WriteRegString("ExternalEditor", MakeEditor(record).toStdString());
    WriteRegString("OpenNonQSFiles", "-1");
    const QString text = MakeFile("ending.txt", "no objects\n");
    // The program is ending before the reader parses: it reports 0, not
    // "no object file", and the editor must not start while everything closes.
    QSignalSpy editorCommand(FWindow->findChild<QAction*>("ActOpenTxt"), &QAction::triggered);
    SetApplicationTerminating(true);
    const bool result = FWindow->OpenObjectFile(text);
    SetApplicationTerminating(false);
    QVERIFY(result);
    QVERIFY(!FWindow->FFileLoaded);
    QCOMPARE(FWindow->mlZIBFiles->Items(), QStringList{text});
    QCOMPARE(editorCommand.count(), 0);  // the one way the editor starts
    QVERIFY(!QFile::exists(record));
    QVERIFY(Messages().isEmpty());
  }

  void nonObjectFileWithTheSettingOffStaysQuiet() {
    const QString text = MakeFile("quiet.txt", "no objects\n");
    WriteRegString("OpenNonQSFiles", "False");
    QVERIFY(FWindow->OpenObjectFile(text));
    QVERIFY(Messages().isEmpty());
    QCOMPARE(FWindow->mlZIBFiles->Items(), QStringList{text});
  }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
