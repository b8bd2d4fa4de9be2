#include "EmfPageList.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace {
// Deeper than any preview folder is laid out; it also ends a search in a
// folder tree that a bind mount has made endless.
constexpr int kMaxDepth = 64;

QChar LowerAscii(QChar C) { return (C >= u'A' && C <= u'Z') ? QChar(C.unicode() + 32) : C; }

bool MaskAt(const QString& Name, qsizetype N, const QString& Mask, qsizetype M) {
  while (M < Mask.size()) {
    const QChar m = Mask[M];
    if (m == u'*') {
      // Runs of stars are one star; then try every rest of the name.
      while (M < Mask.size() && Mask[M] == u'*') ++M;
      if (M == Mask.size()) return true;
      for (qsizetype k = N; k <= Name.size(); ++k)
        if (MaskAt(Name, k, Mask, M)) return true;
      return false;
    }
    if (N >= Name.size()) return false;
    if (m != u'?' && Name[N].toCaseFolded() != m.toCaseFolded()) return false;
    ++N;
    ++M;
  }
  return N == Name.size();
}

// The entries of a folder but "." and "..", hidden ones included, sorted by
// name without regard to case (as the design tool's platform lists them).
QFileInfoList Listing(const QString& Dir) {
  QDir dir(Dir);
  QFileInfoList list =
      dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
  std::stable_sort(list.begin(), list.end(), [](const QFileInfo& A, const QFileInfo& B) {
    const int c = A.fileName().compare(B.fileName(), Qt::CaseInsensitive);
    return c != 0 ? c < 0 : A.fileName() < B.fileName();
  });
  return list;
}

// Parent + Name + '/', with Name as the disk spells it when only the case differs.
QString SubFolder(const QString& Parent, const QString& Name) {
  const QFileInfo exact(Parent + Name);
  if (!exact.exists()) {
    for (const QFileInfo& fi : Listing(Parent))
      if (fi.isDir() && !fi.isSymLink() && fi.fileName().compare(Name, Qt::CaseInsensitive) == 0)
        return Parent + fi.fileName() + u'/';
  }
  return Parent + Name + u'/';
}

QString QuillsetFolder(const QString& DataFolder) {
  return SubFolder(SubFolder(DataFolder, QStringLiteral("Morvo")), QStringLiteral("Quillset"));
}

void Scan(std::vector<TEmfPageEntry>& List, const QString& Dir, qsizetype PrefixLength, int Depth) {
  if (Depth > kMaxDepth) return;
  for (const QFileInfo& fi : Listing(Dir)) {
    const QString name = fi.fileName();
    if (!fi.isSymLink() && fi.isDir()) {
      Scan(List, Dir + name + u'/', PrefixLength, Depth + 1);
      continue;
    }
    // A link is never followed into a folder; a link to a page file is a
    // page. Pipes and devices are no pages: reading one could wait forever
    // or never end.
    if (!fi.isFile()) continue;
    if (name.size() < 4) continue;
    QString tail = name.right(4);
    for (QChar& c : tail) c = LowerAscii(c);
    if (tail != QLatin1String(".emf")) continue;
    List.push_back({(Dir + name).mid(PrefixLength), fi.size()});
  }
}
}  // namespace

bool MatchesMask(const QString& Name, const QString& Mask) { return MaskAt(Name, 0, Mask, 0); }

QString UserDataFolder() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!dir.endsWith(u'/')) dir += u'/';
  return dir;
}

QStringList FindVersionFolders(const QString& DataFolder) {
  QStringList versions;
  for (const QFileInfo& fi : Listing(QuillsetFolder(DataFolder)))
    if (fi.isDir() && !fi.isSymLink() && MatchesMask(fi.fileName(), QStringLiteral("?.?"))) versions << fi.fileName();
  return versions;
}

QString PreviewFolderOf(const QString& DataFolder, const QString& Version) {
  return SubFolder(QuillsetFolder(DataFolder) + Version + u'/', QStringLiteral("preview"));
}

void ScanEMFFiles(std::vector<TEmfPageEntry>& List, const QString& Dir, qsizetype PrefixLength) {
  Scan(List, Dir, PrefixLength, 0);
}
