// Replays the saved fuzzing inputs through the reader: each must end in a
// result or in the reader's own error, and leave consistent object lists.
#include <QDir>
#include <QtTest>
#include <unordered_set>

#include "AppPaths.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"

namespace {

QStringList InputsOf(const QString& folder) {
  QStringList files;
  const QDir dir(folder);
  for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) files << dir.filePath(name);
  return files;
}

// What a finished read promises: every list entry is an object of the load,
// children and resolved links point into it, ids and lines pair up.
QString CheckLists() {
  if (!gAllObjects) return {};
  std::unordered_set<const TisMorvoObject*> all;
  for (const auto& e : gAllObjects->Entries()) {
    if (!e.Object) return "object list entry without object";
    if (!all.insert(e.Object).second) return "object listed twice";
  }
  for (const auto& e : gAllObjects->Entries()) {
    const TisMorvoObject* o = e.Object;
    if (o->FPropIds.Count() != static_cast<int>(o->FLines.size())) return "ids and lines differ in number";
    for (const auto& c : o->FChildren)
      if (!all.count(c.Object)) return "child outside the load";
    for (const auto& l : o->FLinks)
      if (l.Object && !all.count(l.Object)) return "link outside the load";
  }
  for (const TObjectList* list : {gTopObjects.get(), gRootObjects.get()})
    if (list)
      for (const auto& e : *list)
        if (!all.count(e.Object)) return "top or root entry outside the load";
  return {};
}

}  // namespace

class TestReaderFuzzCorpus : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetExecutableFolderOverride(MORVO_SOURCE_DIR "/fuzz/defs/"); }
  void cleanupTestCase() {
    FreeAllObjects();
    SetExecutableFolderOverride("");
  }

  void replay_data() {
    QTest::addColumn<QString>("path");
    const QString root = MORVO_SOURCE_DIR "/fuzz/";
    const QStringList corpus = InputsOf(root + "corpus");
    QVERIFY2(corpus.size() >= 6, "the saved corpus is missing");
    for (const QString& path : corpus + InputsOf(root + "crashes"))
      QTest::newRow(qPrintable(QFileInfo(path).dir().dirName() + "/" + QFileInfo(path).fileName())) << path;
  }

  void replay() {
    QFETCH(QString, path);
    FreeAllObjects();
    try {
      const int result = ReadObjectFile(path.toStdString());
      QVERIFY(result >= -1);
      if (result <= 0) QVERIFY(!gAllObjects || gAllObjects->Count() == 0);
    } catch (const EMorvoError&) {
      // The reader's own errors are an accepted outcome; the lists keep what
      // was complete and must still be sound.
    }
    QVERIFY(!gLoading);
    const QString fault = CheckLists();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    FreeAllObjects();
  }
};

QTEST_GUILESS_MAIN(TestReaderFuzzCorpus)
#include "tst_reader_fuzz_corpus.moc"
