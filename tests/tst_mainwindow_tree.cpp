// The tree as shown, built from hand-made objects, and the small routines of
// the main window that need no window: pictures, property order, line breaks
// and accelerator marks.
#include <QTest>

#include "MessagePump.h"
#include "MorvoObject.h"
#include "ObjectTree.h"
#include "PropertyOrder.h"
#include "fMain.h"

namespace {

// Objects owned by the test, wired into the root and top lists by hand.
struct TWorld {
  std::vector<std::unique_ptr<TisMorvoObject>> Owned;
  TisMorvoObject* Make(const std::string& Name, int TypeNr) {
    auto o = std::make_unique<TisMorvoObject>();
    o->FName = Name;
    o->FGUID = "G-" + Name;
    o->FTypeNr = TypeNr;
    Owned.push_back(std::move(o));
    return Owned.back().get();
  }
  static void Link(TisMorvoObject* From, TisMorvoObject* To) { From->FLinks.push_back({To->FGUID, To}); }
  TWorld() {
    gRootObjects = std::make_unique<TObjectList>();
    gTopObjects = std::make_unique<TObjectList>();
  }
  ~TWorld() {
    gRootObjects.reset();
    gTopObjects.reset();
  }
};

QStringList Shown(const TObjectTree& Tree) {
  QStringList result;
  for (TObjectTreeNode* n = Tree.FirstNode(); n; n = TObjectTree::NextNode(n)) {
    int depth = 0;
    for (TObjectTreeNode* p = n->Parent; p; p = p->Parent) ++depth;
    result << QString(depth, QLatin1Char('.')) + QString::fromStdString(n->Text);
  }
  return result;
}

}  // namespace

class TstMainWindowTree : public QObject {
  Q_OBJECT

 private slots:
  void init() { SetApplicationTerminating(false); }
  void cleanup() { SetApplicationTerminating(false); }

  void picturesOfTypeNumbers() {
    const int table[][2] = {
        {1, 9},    {2, 20},   {3, 2},    {4, 25},   {5, 23},    {6, 26},    {11, 51},  {12, 50},  {13, 49},
        {101, 52}, {201, 10}, {301, 0},  {302, 22}, {303, 3},   {304, 1},   {401, 28}, {402, 34}, {510, 29},
        {511, 30}, {512, 31}, {513, 32}, {514, 48}, {550, 35},  {551, 27},  {552, 42}, {553, 43}, {554, 37},
        {555, 36}, {556, 41}, {557, 40}, {558, 44}, {559, 46},  {560, 47},  {561, 38}, {562, 39}, {563, 45},
        {601, 7},  {602, 19}, {603, 5},  {604, 21}, {605, 6},   {606, 15},  {607, 4},  {608, 19}, {801, 8},
        {802, 12}, {803, 13}, {899, 18}, {903, 11}, {1001, 16}, {1002, 16},
    };
    for (const auto& row : table) QCOMPARE(TypeNumberToImageIndex(row[0]), row[1]);
    for (int unlisted : {0, -1, -801, 7, 10, 100, 501, 515, 564, 609, 701, 800, 1003, 10001})
      QCOMPARE(TypeNumberToImageIndex(unlisted), 24);
  }

  void propertyOrderSortsWithoutCaseAndPutsLaterEqualsFirst() {
    const char* names[] = {"7", "beta", "Alpha", "gamma", "delta", "Äpfel", "epsilon", "ALPHA"};
    for (size_t i = 0; i < std::size(names); ++i) gPropNames[i] = names[i];
    // Index 2 (Alpha) and 7 (ALPHA) compare equal: 7 comes first.
    TPropertyOrder orders;
    const std::vector<int> sorted = orders.Of(true);
    QCOMPARE(sorted.size(), size_t(7));
    QCOMPARE(sorted[0], 7);
    QCOMPARE(sorted[1], 2);
    QCOMPARE(gPropNames[static_cast<size_t>(sorted.back())], std::string("gamma"));
    for (size_t k = 1; k < sorted.size(); ++k)
      QVERIFY(QString::fromUtf8(gPropNames[static_cast<size_t>(sorted[k - 1])])
                      .compare(QString::fromUtf8(gPropNames[static_cast<size_t>(sorted[k])]), Qt::CaseInsensitive) <=
                  0 ||
              sorted[k - 1] == 5 || sorted[k] == 5);
    QCOMPARE(orders.Of(false), std::vector<int>({1, 2, 3, 4, 5, 6, 7}));

    // Three equal names keep falling in descending index order.
    gPropNames[0] = "3";
    gPropNames[1] = "Name";
    gPropNames[2] = "name";
    gPropNames[3] = "NAME";
    QCOMPARE(orders.Of(true), std::vector<int>({3, 2, 1}));
    // Orders are kept per sequence of names: two sequences of one joined text differ.
    gPropNames[0] = "2";
    gPropNames[1] = "b";
    gPropNames[2] = "ac";
    QCOMPARE(orders.Of(true), std::vector<int>({2, 1}));
    gPropNames[1] = "ba";
    gPropNames[2] = "c";
    QCOMPARE(orders.Of(true), std::vector<int>({1, 2}));
    // ... and so do two of equal name lengths.
    gPropNames[1] = "a";
    gPropNames[2] = "bc";
    QCOMPARE(orders.Of(true), std::vector<int>({1, 2}));

    // The count is entry 0; no count, no rows; never more than the arrays hold.
    gPropNames[0] = "";
    QVERIFY(orders.Of(true).empty());
    gPropNames[0] = "x";
    QVERIFY(orders.Of(false).empty());
    gPropNames[0] = "-4";
    QVERIFY(orders.Of(true).empty());
    gPropNames[0] = "250";
    QCOMPARE(orders.Of(false).size(), size_t(kPropArraySize - 1));
  }

  void lineBreaksAreCarriageReturnLineFeedPairs_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("one") << "a\r\nb" << 1;
    QTest::newRow("two") << "a\r\nb\r\nc" << 2;
    QTest::newRow("adjacent") << "\r\n\r\n" << 2;
    QTest::newRow("lone cr and lf") << "a\rb\nc" << 0;
    QTest::newRow("lf before cr") << "\n\r" << 0;
    QTest::newRow("cr run") << "\r\r\r\n" << 1;
    QTest::newRow("at the end") << "x\r\n" << 1;
  }
  void lineBreaksAreCarriageReturnLineFeedPairs() {
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(TFrmMorvoReader::CountLineBreaks(text), count);
  }

  void acceleratorMarks_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("none") << "Full"
                          << "Full";
    QTest::newRow("first letter") << "&Full"
                                  << "Full";
    QTest::newRow("inside") << "F&ull"
                            << "Full";
    QTest::newRow("only the first") << "A&&B&C"
                                    << "A&B&C";
    QTest::newRow("alone") << "&"
                           << "";
  }
  void acceleratorMarks() {
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QCOMPARE(TFrmMorvoReader::StripAccelerator(caption), name);
  }

  void semanticTreeFollowsLinksAndEndsCycles() {
    TWorld w;
    TisMorvoObject* a = w.Make("A", 1);
    TisMorvoObject* b = w.Make("B", 2);
    TisMorvoObject* c = w.Make("C", 801);
    TWorld::Link(a, b);
    TWorld::Link(b, c);
    TWorld::Link(c, a);  // back to the top
    TWorld::Link(c, b);  // and to its parent
    c->FLinks.push_back({"nowhere", nullptr});
    TWorld::Link(c, c);  // and to itself
    gRootObjects->push_back({a->FGUID, a});
    TObjectTree tree;
    gPropValues[0] = "G-A";
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    QCOMPARE(Shown(tree), QStringList({"A", ".B", "..C", "...A", "...B", "...nowhere", "...C"}));
    QCOMPARE(gPropValues[0], std::string(".xXx."));
    TObjectTreeNode* cNode = tree.FirstNode()->Children[0]->Children[0].get();
    QCOMPARE(cNode->ImageIndex, 8);
    QCOMPARE(cNode->Children[2]->ImageIndex, 24);
    QVERIFY(!cNode->Children[2]->Object);
    // Rows and parents let the view find every node's place.
    for (const auto& child : cNode->Children) QCOMPARE(child->Parent, cNode);
    QCOMPARE(cNode->Children[3]->Row, 3);

    // An object reached through two links shows under each.
    TWorld w2;
    TisMorvoObject* r = w2.Make("R", 1);
    TisMorvoObject* x = w2.Make("X", 2);
    TisMorvoObject* y = w2.Make("Y", 2);
    TisMorvoObject* shared = w2.Make("S", 4);
    TWorld::Link(r, x);
    TWorld::Link(r, y);
    TWorld::Link(x, shared);
    TWorld::Link(y, shared);
    gRootObjects->push_back({r->FGUID, r});
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    QCOMPARE(Shown(tree), QStringList({"R", ".X", "..S", ".Y", "..S"}));
  }

  void fileOrderFollowsNestingFromTheTopList() {
    TWorld w;
    TisMorvoObject* a = w.Make("A", 1);
    TisMorvoObject* b = w.Make("B", 2);
    TisMorvoObject* n = w.Make("N", 4);
    a->FChildren.push_back({n->FGUID, n});
    TWorld::Link(a, b);  // links do not count here
    gTopObjects->push_back({b->FGUID, b});
    gTopObjects->push_back({a->FGUID, a});
    gRootObjects->push_back({a->FGUID, a});
    TObjectTree tree;
    FillObjectTree(tree, TTreeOrder::File, {});
    QCOMPARE(Shown(tree), QStringList({"B", "A", ".N"}));
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    QCOMPARE(Shown(tree), QStringList({"A", ".B"}));
  }

  void hidingMatchesTypeTextAnywhereInTheKey() {
    TWorld w;
    TisMorvoObject* root = w.Make("Root", 1);
    TisMorvoObject* iff = w.Make("If", 801);
    TisMorvoObject* oomd = w.Make("OoMD", 802);
    TisMorvoObject* ext = w.Make("Ext", 903);
    TisMorvoObject* base = w.Make("Base", 1001);
    TisMorvoObject* data = w.Make("Data", 10);
    TisMorvoObject* below = w.Make("Below", 4);
    for (TisMorvoObject* o : {iff, oomd, ext, base, data}) TWorld::Link(root, o);
    for (TisMorvoObject* o : {iff, oomd, ext, base, data}) TWorld::Link(o, below);
    gRootObjects->push_back({root->FGUID, root});
    TObjectTree tree;

    auto shownWith = [&](const std::string& hide, const std::string& hideChildren) {
      FillObjectTree(tree, TTreeOrder::Semantic, {hide, hideChildren});
      return Shown(tree);
    };
    const QStringList all = shownWith("", "");
    QCOMPARE(all.size(), 11);
    QCOMPARE(shownWith("0801,0802", ""),
             QStringList({"Root", ".Ext", "..Below", ".Base", "..Below", ".Data", "..Below"}));
    QCOMPARE(shownWith("0801 0802", ""), shownWith("0801,0802", ""));
    QCOMPARE(shownWith("08010802", ""), shownWith("0801,0802", ""));
    // Five digits hold two type texts.
    QCOMPARE(shownWith("10010", ""), QStringList({"Root", ".If", "..Below", ".OoMD", "..Below", ".Ext", "..Below"}));
    QCOMPARE(shownWith("", "0903"), QStringList({"Root", ".If", "..Below", ".OoMD", "..Below", ".Ext", ".Base",
                                                 "..Below", ".Data", "..Below"}));
    // A hidden root hides everything.
    QVERIFY(shownWith("0001", "").isEmpty());
    // Hiding children of the root keeps the root alone.
    QCOMPARE(shownWith("", "0001"), QStringList({"Root"}));
  }

  void aVeryDeepChainNeitherRecursesNorOverflows() {
    TWorld w;
    const int depth = 100000;
    std::vector<TisMorvoObject*> chain;
    chain.reserve(depth);
    for (int i = 0; i < depth; ++i) chain.push_back(w.Make("N" + std::to_string(i), 2));
    for (int i = 0; i + 1 < depth; ++i) TWorld::Link(chain[static_cast<size_t>(i)], chain[static_cast<size_t>(i + 1)]);
    TWorld::Link(chain.back(), chain.front());  // and round again
    gRootObjects->push_back({chain[0]->FGUID, chain[0]});
    {
      TObjectTree tree;
      FillObjectTree(tree, TTreeOrder::Semantic, {});
      int count = 0;
      TObjectTreeNode* last = nullptr;
      for (TObjectTreeNode* n = tree.FirstNode(); n; n = TObjectTree::NextNode(n)) {
        ++count;
        last = n;
      }
      QCOMPARE(count, depth + 1);
      QCOMPARE(last->Object, chain.front());
      QVERIFY(last->Children.empty());
    }  // and the tree frees its nodes without recursing
  }

  void aTerminateRequestLeavesAPartialTree() {
    TWorld w;
    TisMorvoObject* r1 = w.Make("R1", 1);
    TisMorvoObject* r2 = w.Make("R2", 1);
    TisMorvoObject* k = w.Make("K", 2);
    TWorld::Link(r1, k);
    gRootObjects->push_back({r1->FGUID, r1});
    gRootObjects->push_back({r2->FGUID, r2});
    SetApplicationTerminating(true);
    TObjectTree tree;
    gPropValues[0] = "G-R1";
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    // The first node is added, then the fill stops at once.
    QCOMPARE(Shown(tree), QStringList({"R1"}));
    QCOMPARE(gPropValues[0], std::string(".xXx."));
  }

  void nextNodeWalksDepthFirstAcrossTopNodes() {
    TObjectTree tree;
    QVERIFY(!TObjectTree::NextNode(nullptr));
    QVERIFY(!tree.FirstNode());
    TWorld w;
    TisMorvoObject* a = w.Make("A", 1);
    TisMorvoObject* b = w.Make("B", 1);
    TisMorvoObject* c = w.Make("C", 1);
    TisMorvoObject* d = w.Make("D", 1);
    TWorld::Link(a, b);
    TWorld::Link(b, c);
    gRootObjects->push_back({a->FGUID, a});
    gRootObjects->push_back({d->FGUID, d});
    FillObjectTree(tree, TTreeOrder::Semantic, {});
    QCOMPARE(Shown(tree), QStringList({"A", ".B", "..C", "D"}));
    TObjectTreeNode* cNode = tree.FirstNode()->Children[0]->Children[0].get();
    QCOMPARE(tree.NextNodeOf(cNode)->Text, std::string("D"));
    QVERIFY(!TObjectTree::NextNode(tree.TopNodes[1].get()));
  }
};

QTEST_GUILESS_MAIN(TstMainWindowTree)
#include "tst_mainwindow_tree.moc"
