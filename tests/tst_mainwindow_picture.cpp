// The main window as drawn: the windows created as at start, a sample file
// loaded, the pictures bound. With MORVO_SCREENSHOT set to a file name the
// picture of the window is saved there (tools/screenshot.sh uses this).
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

#include "MorvoObjRead.h"
#include "ObjectTreeModel.h"
#include "TestSupport.h"
#include "fMain.h"
#include "fdmZIB.h"

class TstMainWindowPicture : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    FreeAllForms();
    delete dmZIB;
  }

  void everyPictureDrawsAndNoTwoObjectPicturesLookAlike() {
    CreateAllForms();
    QVERIFY(dmZIB);
    QCOMPARE(dmZIB->ilMorvoImagesNo.Count(), 56);
    QCOMPARE(dmZIB->ilGUIimages.Count(), 35);
    QSet<QByteArray> seen;
    for (int i = 0; i < 56; ++i) {
      // Crisp on dense screens: the drawing scales instead of a bitmap blown up.
      const QImage big = dmZIB->ilMorvoImagesNo.Icon(i).pixmap(QSize(48, 48)).toImage();
      QVERIFY2(!big.isNull() && big.width() == 48, qPrintable(QString("object picture %1").arg(i)));
      const QImage small = dmZIB->ilMorvoImagesNo.Icon(i).pixmap(QSize(16, 16)).toImage();
      const QByteArray bits(reinterpret_cast<const char*>(small.constBits()), small.sizeInBytes());
      QVERIFY2(!seen.contains(bits), qPrintable(QString("object picture %1 repeats another").arg(i)));
      seen.insert(bits);
    }
    for (int i = 0; i < 35; ++i)
      QVERIFY2(!dmZIB->ilGUIimages.Icon(i).pixmap(QSize(16, 16)).isNull(),
               qPrintable(QString("command picture %1").arg(i)));
    QVERIFY(dmZIB->ilMorvoImagesNo.Icon(56).isNull());
    QVERIFY(dmZIB->ilMorvoImagesNo.Icon(-1).isNull());
  }

  void theWindowShowsASampleWithItsPictures() {
    CreateAllForms();
    TFrmMorvoReader* win = FrmMorvoReader;
    QVERIFY(win);
    const QString sample = QString::fromStdString(std::string(MORVO_SOURCE_DIR) + "/samples/Invoice.dcl");
    if (!QFile::exists(sample)) QSKIP("no sample file");
    QVERIFY(win->OpenObjectFile(sample));
    QVERIFY(!win->TreeData().Empty());
    auto* tree = win->findChild<QTreeView*>("ObjectTree");
    tree->expandAll();
    // Select a node a little way down, so the grid shows more than the root.
    TObjectTreeNode* node = win->TreeData().FirstNode();
    for (int i = 0; i < 3 && TObjectTree::NextNode(node); ++i) node = TObjectTree::NextNode(node);
    win->SelectNode(node);
    QVERIFY(tree->model()->data(win->IndexOfNode(node), Qt::DecorationRole).value<QIcon>().pixmap(16).width() == 16);

    win->resize(960, 540);
    win->show();
    QVERIFY(QTest::qWaitForWindowExposed(win));
    QCoreApplication::processEvents();
    const QPixmap shot = win->grab();
    QVERIFY(!shot.isNull());
    const QByteArray out = qgetenv("MORVO_SCREENSHOT");
    if (!out.isEmpty()) QVERIFY(shot.save(QString::fromLocal8Bit(out), "PNG"));

    // The tree's pictures are drawn: its first row holds colours other than
    // the background and the text.
    const QRect first = tree->visualRect(win->IndexOfNode(win->TreeData().FirstNode()));
    const QImage rows = tree->viewport()->grab(first).toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < rows.height(); ++y)
      for (int x = 0; x < std::min(rows.width(), 40); ++x) colours.insert(rows.pixel(x, y));
    QVERIFY2(colours.size() > 4, "the first node shows its picture");
  }
};

QTEST_MAIN(TstMainWindowPicture)
#include "tst_mainwindow_picture.moc"
