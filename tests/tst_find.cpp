// Finding objects in the tree: the search rules, the main window's find and
// Next filled commands, and the find window.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "DialogFacade.h"
#include "DlgPos.h"
#include "MessageBox.h"
#include "MorvoObject.h"
#include "ObjectTree.h"
#include "ObjectTreeModel.h"
#include "Registry.h"
#include "TestSupport.h"
#include "fFind.h"
#include "fMain.h"

namespace {

// An object whose view shows a given number of properties.
struct TFakeObject : TisMorvoObject {
  int Shown = 0;
  void LoadPropertyArrays() override { gPropNames[0] = std::to_string(Shown); }
};

struct TRow {
  int Depth;
  TisMorvoObject* Object;  // none: an unresolved link
  std::string Text;
};

// Builds the tree from rows in node order, each with its depth.
void BuildTree(TObjectTree& Tree, const std::vector<TRow>& Rows) {
  Tree.Clear();
  std::vector<TObjectTreeNode*> lastAtDepth;
  for (const TRow& row : Rows) {
    auto node = std::make_unique<TObjectTreeNode>();
    node->Object = row.Object;
    node->Text = row.Text;
    TObjectTreeNode* parent = row.Depth > 0 ? lastAtDepth[static_cast<size_t>(row.Depth - 1)] : nullptr;
    auto& siblings = parent ? parent->Children : Tree.TopNodes;
    node->Parent = parent;
    node->Row = static_cast<int>(siblings.size());
    if (!siblings.empty()) siblings.back()->NextSibling = node.get();
    lastAtDepth.resize(static_cast<size_t>(row.Depth) + 1);
    lastAtDepth[static_cast<size_t>(row.Depth)] = node.get();
    siblings.push_back(std::move(node));
  }
}

std::vector<std::string> TextsInOrder(const TObjectTree& Tree) {
  std::vector<std::string> out;
  for (TObjectTreeNode* n = Tree.FirstNode(); n; n = TObjectTree::NextNode(n)) out.push_back(n->Text);
  return out;
}

}  // namespace

class TestFind : public QObject {
  Q_OBJECT

  QTemporaryDir FHome;
  std::vector<std::unique_ptr<TFakeObject>> FObjects;
  std::unique_ptr<TFrmMorvoReader> FWindow;
  std::unique_ptr<TFrmFind> FFind;

  TFakeObject* Obj(const std::string& Name, const std::string& Guid, int Shown = 1) {
    auto o = std::make_unique<TFakeObject>();
    o->FName = Name;
    o->FGUID = Guid;
    o->Shown = Shown;
    FObjects.push_back(std::move(o));
    return FObjects.back().get();
  }

  // Invoice
  //   xAbCx
  //   (link "Missing")
  //   Caf\u00e9 (shows nothing)
  // ABC
  //   abc
  std::vector<TRow> SampleRows() {
    return {{0, Obj("Invoice", "{AAAA-0001}"), "Invoice"},
            {1, Obj("xAbCx", "{aaaa-0002}"), "xAbCx"},
            {1, nullptr, "Missing"},
            {1, Obj("Caf\xC3\xA9", "{AAAA-0003}", 0), "Caf\xC3\xA9"},
            {0, Obj("ABC", "{AAAA-0004}", 3), "ABC"},
            {1, Obj("abc", "{AAAA-0005}", 0), "abc"}};
  }

  void ShowTree(const std::vector<TRow>& Rows) {
    FWindow->TreeModel()->BeginRebuild();
    BuildTree(FWindow->TreeData(), Rows);
    FWindow->TreeModel()->EndRebuild();
    FWindow->SelectNode(nullptr);
  }

  std::string Selected() const {
    TObjectTreeNode* n = FWindow->SelectedNode();
    return n ? n->Text : "<none>";
  }

  QStringList Messages() const {
    QStringList out;
    for (const auto& r : dialogs::Recorded())
      if (r.Kind == "message") out << r.Text;
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
    FWindow = std::make_unique<TFrmMorvoReader>();
    FrmMorvoReader = FWindow.get();
    FFind = std::make_unique<TFrmFind>();
    FrmFind = FFind.get();
    QGuiApplication::clipboard()->clear();
  }

  void cleanup() {
    FrmFind = nullptr;
    FFind.reset();
    FWindow.reset();
    FrmMorvoReader = nullptr;
    FObjects.clear();
  }

  // --- the search rules on their own

  void treeBuilderWalksInNodeOrder() {
    TObjectTree tree;
    BuildTree(tree, SampleRows());
    QCOMPARE(TextsInOrder(tree),
             (std::vector<std::string>{"Invoice", "xAbCx", "Missing", "Caf\xC3\xA9", "ABC", "abc"}));
  }

  void rulesByKind() {
    TObjectTree tree;
    BuildTree(tree, SampleRows());
    TObjectTreeNode* first = tree.FirstNode();
    auto find = [&](const std::string& Kind, const std::string& Text, bool Case) {
      TObjectTreeNode* n = FindNodeFrom(first, Kind, Text, Case);
      return n ? n->Text : std::string("<none>");
    };
    // GUIDs compare byte for byte, whatever the case switch says.
    QCOMPARE(find("GUID", "{AAAA-0002}", false), std::string("<none>"));
    QCOMPARE(find("GUID", "{aaaa-0002}", true), std::string("xAbCx"));
    QCOMPARE(find("G", "{AAAA-0004}", false), std::string("ABC"));
    // Names: without case only a to z fold.
    QCOMPARE(find("Name", "abc", false), std::string("xAbCx"));
    QCOMPARE(find("Name", "abc", true), std::string("abc"));
    QCOMPARE(find("Name", "CAF\xC3\xA9", false), std::string("Caf\xC3\xA9"));
    QCOMPARE(find("Name", "CAF\xC3\x89", false), std::string("<none>"));  // \u00c9 is no fold of \u00e9 here
    QCOMPARE(find("Name", "", false), std::string("<none>"));
    // Links have no object and never match, not even for a kind that takes all.
    QCOMPARE(find("Name", "Missing", false), std::string("<none>"));
    QCOMPARE(FindNodeFrom(tree.FirstNode()->Children[1].get(), "x", "", false)->Text, std::string("Caf\xC3\xA9"));
    QCOMPARE(FindNodeFrom(tree.FirstNode()->Children[1].get(), "", "", false)->Text, std::string("Caf\xC3\xA9"));
    // Filled: the first object after Invoice whose view shows anything.
    QCOMPARE(FindNodeFrom(tree.FirstNode()->Children[0].get(), "filled", "object", false)->Text, std::string("xAbCx"));
    QCOMPARE(FindNodeFrom(tree.FirstNode()->Children[1].get(), "filled", "object", false)->Text, std::string("ABC"));
    QVERIFY(!FindNodeFrom(tree.TopNodes[1]->Children[0].get(), "filled", "object", false));
  }

  // --- the main window's find

  void firstNodeOnlyMatchFoundFromTop() {
    ShowTree(SampleRows());
    FWindow->FindNextObject("Name", "Invoice", true, false, true);
    QCOMPARE(Selected(), std::string("Invoice"));
    QVERIFY(Messages().isEmpty());
    // Find Next from there: no other match, the message, the selection stays.
    FWindow->FindNextObject("Name", "Invoice", false, false, true);
    QCOMPARE(Selected(), std::string("Invoice"));
    QCOMPARE(Messages(), QStringList{"Unable to find Name \"Invoice\""});
    QCOMPARE(dialogs::Recorded()[0].Flags, 64u);
    QCOMPARE(dialogs::Recorded()[0].Title, FWindow->windowTitle());
  }

  void nextWithoutSelectionStartsAtFirstNode() {
    ShowTree(SampleRows());
    QCOMPARE(Selected(), std::string("<none>"));
    FWindow->FindNextObject("Name", "inv", false, false, true);
    QCOMPARE(Selected(), std::string("Invoice"));
  }

  void nextContinuesAfterTheSelectionAndStopsAtTheLast() {
    ShowTree(SampleRows());
    FWindow->FindNextObject("Name", "abc", true, false, true);
    QCOMPARE(Selected(), std::string("xAbCx"));
    FWindow->FindNextObject("Name", "abc", false, false, true);
    QCOMPARE(Selected(), std::string("ABC"));
    FWindow->FindNextObject("Name", "abc", false, false, true);
    QCOMPARE(Selected(), std::string("abc"));
    FWindow->FindNextObject("Name", "abc", false, false, true);
    QCOMPARE(Selected(), std::string("abc"));
    QCOMPARE(Messages(), QStringList{"Unable to find Name \"abc\""});
    // A node picked by hand in between is where the next search goes on.
    FWindow->SelectNode(FWindow->TreeData().FirstNode());
    FWindow->FindNextObject("Name", "abc", false, true, true);
    QCOMPARE(Selected(), std::string("abc"));
  }

  void notFoundFromTopLeavesFirstNodeSelected() {
    ShowTree(SampleRows());
    FWindow->SelectNode(FWindow->TreeData().TopNodes[1].get());
    FWindow->FindNextObject("GUID", "{aaaa-0004}", true, true, true);
    QCOMPARE(Selected(), std::string("Invoice"));
    QCOMPARE(Messages(), QStringList{"Unable to find GUID \"{aaaa-0004}\""});
    // The view change asks silently.
    FWindow->FindNextObject("G", "{gone}", true, false, false);
    QCOMPARE(Messages().size(), 1);
  }

  void emptyTreeDoesNothing() {
    ShowTree({});
    FWindow->FindNextObject("Name", "x", true, false, true);
    FWindow->ActNextExecute();
    QVERIFY(Messages().isEmpty());
  }

  void nextFilledSkipsLinksAndEmptyObjects() {
    ShowTree(SampleRows());
    FWindow->SelectNode(FWindow->TreeData().FirstNode()->Children[1].get());  // xAbCx
    FWindow->ActNextExecute();
    QCOMPARE(Selected(), std::string("ABC"));
    FWindow->ActNextExecute();
    QCOMPARE(Selected(), std::string("ABC"));
    QCOMPARE(Messages(), QStringList{"Unable to find filled \"object\""});
  }

  void nonAsciiTextIsSearchedAsUtf8() {
    ShowTree(SampleRows());
    FFind->cbFindStr->setEditText(QString::fromUtf8("caf\xC3\xA9"));
    FFind->SetItemIndex(0);
    FFind->BtnFindClick();
    QCOMPARE(Selected(), std::string("Caf\xC3\xA9"));
  }

  void propertyTextThroughTheFindWindow() {
    auto rows = SampleRows();
    rows[4].Object->FLines = {"0001 0123456789 Total amount"};
    ShowTree(rows);
    FWindow->FindbyProperty1Click();
    FFind->cbFindStr->setEditText("total");
    FFind->BtnFindClick();
    QCOMPARE(Selected(), std::string("ABC"));
    FFind->cbCaseSens->setChecked(true);
    FFind->BtnFindClick();
    QCOMPARE(Selected(), std::string("Invoice"));
    QCOMPARE(Messages(), QStringList{"Unable to find Property \"total\""});
  }

  // --- the find window

  void windowLayoutAndDefaults() {
    QCOMPARE(FFind->windowTitle(), QString("Morvo Object Reader - Find"));
    QCOMPARE(FFind->ItemIndex(), 0);
    QCOMPARE(FFind->KindText(), QString("Name"));
    QVERIFY(!FFind->cbCaseSens->isChecked());
    QCOMPARE(FFind->cbCaseSens->text(), QString("&Case sensitive"));
    QVERIFY(FFind->cbFindStr->isEditable());
    QVERIFY(FFind->minimumWidth() >= 443);
    QVERIFY(!FFind->isModal());
    QVERIFY(FFind->findChild<QPushButton*>("BtnFind")->isDefault());
    FFind->SetItemIndex(1);
    QCOMPARE(FFind->KindText(), QString("GUID"));
    FFind->SetItemIndex(2);
    QCOMPARE(FFind->KindText(), QString("Property"));
  }

  void findButtonsDriveTheMainWindow() {
    ShowTree(SampleRows());
    FWindow->MnuFindbyNameClick();
    QVERIFY(FFind->isVisible());
    FFind->cbFindStr->setEditText("abc");
    FFind->cbCaseSens->setChecked(true);
    FFind->findChild<QPushButton*>("BtnFind")->click();
    QCOMPARE(Selected(), std::string("abc"));
    FFind->cbCaseSens->setChecked(false);
    QTest::keyClick(FFind->cbFindStr, Qt::Key_Return);  // Enter is the Find button
    QCOMPARE(Selected(), std::string("xAbCx"));
    FFind->findChild<QPushButton*>("BtnNext")->click();
    QCOMPARE(Selected(), std::string("ABC"));
    // Find Again repeats the window's search, also once it is closed.
    FFind->findChild<QPushButton*>("BtnClose")->click();
    QVERIFY(!FFind->isVisible());
    FWindow->MnuFindAgainClick();
    QCOMPARE(Selected(), std::string("abc"));
    QVERIFY(Messages().isEmpty());
  }

  void menuCommandsChooseTheKind() {
    FWindow->MnuFindbyGUIDClick();
    QCOMPARE(FFind->KindText(), QString("GUID"));
    FWindow->FindbyProperty1Click();
    QCOMPARE(FFind->KindText(), QString("Property"));
    FWindow->MnuFindbyNameClick();
    QCOMPARE(FFind->KindText(), QString("Name"));
  }

  void historyTakesATextOnceWhateverItsCase() {
    ShowTree(SampleRows());
    FFind->cbFindStr->setEditText("Invoice");
    FFind->BtnFindClick();
    FFind->BtnFindClick();
    FFind->cbFindStr->setEditText("INVOICE");
    FFind->BtnFindClick();
    FFind->cbFindStr->setEditText("abc");
    FFind->BtnFindClick();
    QCOMPARE(FFind->cbFindStr->count(), 2);
    QCOMPARE(FFind->cbFindStr->itemText(0), QString("Invoice"));
    QCOMPARE(FFind->cbFindStr->itemText(1), QString("abc"));
    QCOMPARE(FFind->cbFindStr->currentText(), QString("abc"));
    // Find Next adds nothing.
    FFind->cbFindStr->setEditText("xyz");
    FFind->BtnNextClick();
    QCOMPARE(FFind->cbFindStr->count(), 2);
  }

  void showingOffersTheClipboardText() {
    QGuiApplication::clipboard()->setText("{AAAA-0004}");
    FWindow->MnuFindbyGUIDClick();
    QCOMPARE(FFind->cbFindStr->currentText(), QString("{AAAA-0004}"));
    // Already visible: only brought to the front, the text stays.
    FFind->cbFindStr->setEditText("typed");
    QGuiApplication::clipboard()->setText("other");
    FWindow->MnuFindbyNameClick();
    QCOMPARE(FFind->cbFindStr->currentText(), QString("typed"));
    // Shown again after closing: a clipboard without text empties the field.
    FFind->close();
    auto* picture = new QMimeData;
    picture->setData("image/png", QByteArray("\x89PNG", 4));
    QGuiApplication::clipboard()->setMimeData(picture);
    FWindow->MnuFindbyNameClick();
    QCOMPARE(FFind->cbFindStr->currentText(), QString());
  }

  void clipboardTextEndsAtAZero() {
    QGuiApplication::clipboard()->setText(QString("abc") + QChar(0) + "def");
    QCOMPARE(GetClipboardWideText(), QString("abc"));
    QGuiApplication::clipboard()->clear();
    QCOMPARE(GetClipboardWideText(), QString());
  }

  void findAgainBeforeTheWindowWasShown() {
    ShowTree(SampleRows());
    FWindow->MnuFindAgainClick();
    QCOMPARE(Messages(), QStringList{"Unable to find Name \"\""});
  }

  void closingStoresThePositionAndOnlyHides() {
    gSaveDlgPos = true;
    {
      TRegistry reg;
      reg.DeleteKey(kDlgPosKey);
    }
    FWindow->MnuFindbyNameClick();
    FFind->cbFindStr->setEditText("kept");
    FFind->cbFindStr->addItem("kept");
    QTest::keyClick(FFind.get(), Qt::Key_Escape);
    QVERIFY(!FFind->isVisible());
    QCOMPARE(FFind->cbFindStr->count(), 1);
    // Shown again, the search field takes what the user types, and a whole GUID fits it.
    FFind->findChild<QPushButton*>("BtnNext")->setFocus();
    FWindow->MnuFindbyGUIDClick();
    QTRY_VERIFY(FFind->cbFindStr->hasFocus());
    const QLineEdit* field = FFind->cbFindStr->lineEdit();
    QVERIFY(field->width() >= field->fontMetrics().horizontalAdvance("{E511B025-D0BD-4D2C-8E5B-B0D0D8DD8E0B}"));
    TRegistry reg;
    QVERIFY(reg.OpenKey(kDlgPosKey, false));
    QCOMPARE(reg.ReadBinaryData("FrmFind").size(), size_t(16));
  }
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
