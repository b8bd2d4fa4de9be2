// Placeholder: the dialog facade lands here.
#include "DialogFacade.h"

namespace dialogs {
namespace {
QList<TRecordedDialog> gRecorded;
}
QString GetOpenFileName(QWidget*, const TFileDialogRequest&) { return {}; }
QString GetSaveFileName(QWidget*, const TFileDialogRequest&) { return {}; }
int MessageBox(QWidget*, const QString&, const QString&, unsigned) { return 2; }
void QueueFileAnswer(const QString&) {}
void QueueMessageAnswer(int) {}
void SetNonInteractive(bool) {}
const QList<TRecordedDialog>& Recorded() { return gRecorded; }
void ClearRecorded() { gRecorded.clear(); }
}  // namespace dialogs
