#pragma once

// Every modal dialog and message box of the program goes through here, so a
// test can answer them in advance instead of a person.

#include <QFont>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class QDialog;
class QPrinter;

namespace dialogs {

struct TFileDialogRequest {
  QString Title;
  QString Directory;      // initial folder
  QString FileName;       // proposed file name (save) or initial selection
  QStringList Filters;    // "Description (*.a *.b)" entries, in order
  int FilterIndex = 0;    // 0-based index of the filter selected at first
  QString DefaultSuffix;  // without the dot
  bool MustExist = true;  // open: the file must exist
  bool ConfirmOverwrite = true;
};

// Returns the chosen file, or an empty text when the user cancelled.
QString GetOpenFileName(QWidget* Parent, const TFileDialogRequest& Request);
QString GetSaveFileName(QWidget* Parent, const TFileDialogRequest& Request);

// A message box; Buttons/Icon are the classic MB_ flags (MessageBox.h); the
// result is the classic ID (IDOK, IDYES, ...).
int MessageBox(QWidget* Parent, const QString& Text, const QString& Caption, unsigned Flags);

// The font dialog, loaded with Initial; true and Chosen set when the user
// confirmed a font, false (Chosen untouched) when cancelled.
bool GetFont(QWidget* Parent, const QString& Title, const QFont& Initial, QFont& Chosen);

// Runs one of the program's own windows modally (about, credits, config,
// packager ...) and returns its result (QDialog::Accepted / Rejected).
int ExecDialog(QDialog* Dialog);

// The print dialog over Printer, offering all pages, the selection and a
// page range within MinPage..MaxPage. True when the user chose to print; the
// chosen printer, print range and pages are then in Printer.
struct TPrintDialogRequest {
  int MinPage = 1;
  int MaxPage = 1;
};
bool ExecPrintDialog(QWidget* Parent, QPrinter* Printer, const TPrintDialogRequest& Request);

// --- for tests: answers given in advance, used first in, first out. A queued
// answer for a file dialog is the file name ("" = cancel); for a message box
// the ID to return. Every dialog is recorded, answered from the queue or not.
struct TRecordedDialog {
  QString Kind;  // "open", "save", "message", "dialog", "font", "print"
  QString Title;
  QString Text;  // message text, the proposed file name, or the dialog's object name
  TFileDialogRequest Request;
  unsigned Flags = 0;
};
void QueueFileAnswer(const QString& FileName);
void QueueMessageAnswer(int Id);
// The font the next font dialog returns as confirmed.
void QueueFontAnswer(const QFont& Font);
// The next print dialog is answered by Answer: it sets the printer up as a
// user would (a PDF file, a print range) and returns true to print, false to
// cancel.
void QueuePrintAnswer(std::function<bool(QPrinter*)> Answer);
// A window run by ExecDialog is shown (not modally) and handed to the queued
// action, which may click its buttons; a window the action leaves open is
// rejected. The result is the window's result.
void QueueDialogAction(std::function<void(QDialog*)> Action);
// When set, dialogs with no queued answer do not show but return cancel
// (""/IDCANCEL/Rejected) and are recorded. Under the offscreen and minimal
// platforms nobody could answer a dialog, so there it is always on.
void SetNonInteractive(bool On);
bool NonInteractive();
const QList<TRecordedDialog>& Recorded();
void ClearRecorded();
// Forgets the queued answers and the records.
void ResetForTests();

}  // namespace dialogs
