#pragma once

// More file dialogs of the facade (DialogFacade.h): a save dialog that tells
// which filter was chosen, several files at once, and a folder. Under the
// non-interactive platforms they take the facade's queued file answers and
// are recorded like the other file dialogs.

#include <QString>
#include <QStringList>

#include "DialogFacade.h"

namespace dialogs {

// FilterIndex: 0-based, in (the filter selected at first) and out (the one
// the user chose). Returns the chosen file, or empty when cancelled.
QString GetSaveFileNameAndFilter(QWidget* Parent, const TFileDialogRequest& Request, int& FilterIndex);
// Several existing files. A queued file answer holds them separated by "\n".
QStringList GetOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request);
// A folder (recorded as an "open" dialog); a queued file answer is the folder.
QString GetExistingDirectory(QWidget* Parent, const QString& Title, const QString& Directory);

// The filter index the next GetSaveFileNameAndFilter answered from the queue
// reports as chosen; without one it reports the filter it was given.
void QueueFilterAnswer(int FilterIndex);
void ResetFilterAnswers();

}  // namespace dialogs
