#pragma once

// Where the design tool leaves its preview pages: one folder per installed
// version ("1.0", "2.1", ...) below "Morvo/Quillset/" in the user's data
// folder, each with a "preview" folder holding the pages (".emf" files, also
// in sub-folders). The search never follows symbolic links, so a link cannot
// lead it in circles or out of the preview folder.

#include <QString>
#include <QStringList>
#include <vector>

struct TEmfPageEntry {
  QString Caption;  // path relative to the preview folder, '/' between folders
  qint64 Size = 0;  // bytes
};

// "*" stands for any run of characters, "?" for exactly one; letters match
// without regard to case.
bool MatchesMask(const QString& Name, const QString& Mask);

// The user's data folder, with a trailing '/'.
QString UserDataFolder();

// The folders below DataFolder + "Morvo/Quillset/" whose names match "?.?",
// in listing order.
QStringList FindVersionFolders(const QString& DataFolder);

// DataFolder + "Morvo/Quillset/" + Version + "/preview/". The fixed folder
// names are taken as they are written on disk when only their case differs.
QString PreviewFolderOf(const QString& DataFolder, const QString& Version);

// Appends the pages found at any depth below Dir (which ends in '/'): files
// whose names end in ".emf" in any case. A sub-folder's pages come at the
// sub-folder's place in the listing. The caption is the path with its first
// PrefixLength characters cut off. A missing folder adds nothing.
void ScanEMFFiles(std::vector<TEmfPageEntry>& List, const QString& Dir, qsizetype PrefixLength);
