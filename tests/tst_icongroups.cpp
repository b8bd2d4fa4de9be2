// The twelve icon groups: their fixed order, their drawings at the sizes the
// desktop asks for, and their use by the windows and the desktop association.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include "ExplorerAssociation.h"
#include "IconGroups.h"
#include "MorvoObjRead.h"
#include "TestSupport.h"
#include "fMain.h"
#include "fdmZIB.h"

namespace {

// Drawn at Size pixels, moved right by Shift pixels.
QImage Render(int Index, int Size, qreal Shift = 0) {
  QImage image(Size, Size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(IconGroupResource(Index));
  QPainter painter(&image);
  painter.translate(Shift, 0);
  renderer.render(&painter);
  return image;
}

struct TCoverage {
  int Opaque = 0;   // alpha at least 240
  int Partial = 0;  // neither clear nor opaque: blurred edges
};

TCoverage Coverage(const QImage& Image) {
  TCoverage c;
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x) {
      const int a = qAlpha(Image.pixel(x, y));
      if (a >= 240)
        ++c.Opaque;
      else if (a > 15)
        ++c.Partial;
    }
  return c;
}

QByteArray Bytes(const QString& Path) {
  QFile f(Path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Q(const std::string& S) { return QString::fromStdString(S); }

}  // namespace

class TstIconGroups : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() {
    FreeAllForms();
    delete dmZIB;
  }

  void groupsKeepTheirPlacesAndDraw() {
    // The association stores these places; a group moving would show the
    // wrong picture for files already associated.
    const QStringList expected = {"CHN",   "CHN2", "DCL", "DEV",      "DEV2", "EMF",
                                  "EMPTY", "FMT",  "FUN", "MAINICON", "MAP",  "SEG"};
    QCOMPARE(kIconGroupCount, expected.size());
    for (int i = 0; i < kIconGroupCount; ++i) {
      const QString name = expected.at(i);
      QCOMPARE(QString(kIconGroupNames[i]), name);
      QCOMPARE(IconGroupIndex(name.toLatin1().constData()), i);
      QCOMPARE(IconGroupResource(i), QString(":/icons/groups/%1.svg").arg(name));
      QVERIFY2(QFile::exists(IconGroupResource(i)), qPrintable(name));
      QVERIFY2(QSvgRenderer(IconGroupResource(i)).isValid(), qPrintable(name));
      for (int size : {16, 48}) {
        const QPixmap pixmap = IconGroupIcon(i).pixmap(QSize(size, size));
        QCOMPARE(pixmap.size(), QSize(size, size));
        // Well covered: a page or a tile, not a speck in a corner.
        const TCoverage c = Coverage(pixmap.toImage());
        QVERIFY2(c.Opaque > size * size / 3, qPrintable(QString("%1 at %2 px").arg(name).arg(size)));
      }
    }
    QCOMPARE(kMainIconGroup, 9);
    QCOMPARE(IconGroupIndex("mainicon"), -1);
    QCOMPARE(IconGroupIndex("DEV3"), -1);
    QVERIFY(IconGroupResource(-1).isEmpty());
    QVERIFY(IconGroupResource(kIconGroupCount).isEmpty());
    QVERIFY(IconGroupIcon(kIconGroupCount).isNull());
  }

  void picturesAreSharpAndTellTheKindsApart() {
    QSet<QByteArray> seen;
    for (int i = 0; i < kIconGroupCount; ++i) {
      for (int size : {16, 32, 48}) {
        // Drawn on the pixel grid: hardly any half-covered pixels, and
        // fewer than the same drawing moved by half a pixel, which is what
        // a drawing off the grid would gain by.
        const TCoverage c = Coverage(Render(i, size));
        const TCoverage moved = Coverage(Render(i, size, 0.5));
        QVERIFY2(c.Partial * 10 < c.Opaque && c.Partial < moved.Partial,
                 qPrintable(QString("%1 at %2 px: %3 blurred of %4 opaque, %5 when moved")
                                .arg(kIconGroupNames[i])
                                .arg(size)
                                .arg(c.Partial)
                                .arg(c.Opaque)
                                .arg(moved.Partial)));
      }
      const QImage small = Render(i, 16);
      const QByteArray bits(reinterpret_cast<const char*>(small.constBits()), small.sizeInBytes());
      QVERIFY2(!seen.contains(bits), qPrintable(QString("%1 looks like another group").arg(kIconGroupNames[i])));
      seen.insert(bits);
    }
  }

  void windowsShowTheProgramsIcon() {
    CreateAllForms();
    QVERIFY(FrmMorvoReader);
    const QImage want = IconGroupIcon(kMainIconGroup).pixmap(QSize(32, 32)).toImage();
    QVERIFY(!want.isNull());
    QCOMPARE(FrmMorvoReader->windowIcon().pixmap(QSize(32, 32)).toImage(), want);
    QCOMPARE(QApplication::windowIcon().pixmap(QSize(32, 32)).toImage(), want);
  }

  void desktopAssociationInstallsAndRemovesTheIcons() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    const QString mimeDir = home.path() + "/data/icons/hicolor/scalable/mimetypes/";
    QCOMPARE(Q(MimeIconPath("dcl")), mimeDir + "application-x-morvo-dcl.svg");
    QCOMPARE(Q(AppIconPath()), home.path() + "/data/icons/hicolor/scalable/apps/morvo-reader.svg");
    // Another program's icon in the same folder stays untouched.
    const QString foreign = mimeDir + "application-x-other.svg";
    QDir().mkpath(mimeDir);
    QFile f(foreign);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<svg/>");
    f.close();

    // Which group each type shows, as the DefaultIcon values name them.
    const QList<QPair<QString, QString>> groups = {{"dcl", "DCL"},  {"fun", "FUN"}, {"seg", "SEG"}, {"dev", "DEV2"},
                                                   {"chn", "CHN2"}, {"map", "MAP"}, {"fmt", "FMT"}};
    TAssociationChoice choice;
    choice.Connect = true;
    choice.ExePath = "/opt/morvo/morvo-reader";
    for (int round = 0; round < 2; ++round) {  // connecting again rewrites in place
      MirrorDesktopAssociation(choice);
      const QString mime = Q(testsupport::ReadFileBytes(MimePackagePath()));
      for (const auto& [ext, group] : groups) {
        const QString path = Q(MimeIconPath(ext.toStdString()));
        QCOMPARE(Bytes(path), Bytes(QString(":/icons/groups/%1.svg").arg(group)));
        QVERIFY2(QFileInfo(path).isWritable(), qPrintable(path));
        // The icon is named inside its own type's block.
        const QString block = mime.section(QString("<mime-type type=\"application/x-morvo-%1\">").arg(ext), 1, 1)
                                  .section("</mime-type>", 0, 0);
        QVERIFY2(block.contains(QString("<icon name=\"application-x-morvo-%1\"/>").arg(ext)), qPrintable(block));
      }
      QCOMPARE(Bytes(Q(AppIconPath())), Bytes(":/icons/groups/MAINICON.svg"));
      QVERIFY(Q(testsupport::ReadFileBytes(DesktopEntryPath())).contains("\nIcon=morvo-reader\n"));
    }

    choice.Connect = false;
    MirrorDesktopAssociation(choice);
    for (const auto& [ext, group] : groups) QVERIFY(!QFile::exists(Q(MimeIconPath(ext.toStdString()))));
    QVERIFY(!QFile::exists(Q(AppIconPath())));
    QVERIFY(QFile::exists(foreign));
  }
};

QTEST_MAIN(TstIconGroups)
#include "tst_icongroups.moc"
