#include "DialogFacade.h"

#include <QDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <deque>

#include "FileChooser.h"
#include "MessageBox.h"

namespace dialogs {
namespace {

QList<TRecordedDialog> gRecorded;
std::deque<QString> gFileAnswers;
std::deque<int> gMessageAnswers;
std::deque<QFont> gFontAnswers;
std::deque<std::function<void(QDialog*)>> gDialogActions;
std::deque<std::function<bool(QPrinter*)>> gPrintAnswers;
bool gNonInteractive = false;

QString RunFileDialog(QWidget* Parent, const TFileDialogRequest& Request, bool Save) {
  TRecordedDialog rec;
  rec.Kind = Save ? "save" : "open";
  rec.Title = Request.Title;
  rec.Text = Request.FileName;
  rec.Request = Request;
  gRecorded.append(rec);
  if (!gFileAnswers.empty()) {
    QString answer = gFileAnswers.front();
    gFileAnswers.pop_front();
    return answer;
  }
  if (NonInteractive()) return {};

  return RunFileChooser(Parent, Save ? TFileChooser::TMode::Save : TFileChooser::TMode::Open, Request).value(0);
}

int IdOfButton(int Button) {
  switch (Button) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Abort:
      return IDABORT;
    case QMessageBox::Retry:
      return IDRETRY;
    case QMessageBox::Ignore:
      return IDIGNORE;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

}  // namespace

QString GetOpenFileName(QWidget* Parent, const TFileDialogRequest& Request) {
  return RunFileDialog(Parent, Request, false);
}
QString GetSaveFileName(QWidget* Parent, const TFileDialogRequest& Request) {
  return RunFileDialog(Parent, Request, true);
}

int MessageBox(QWidget* Parent, const QString& Text, const QString& Caption, unsigned Flags) {
  TRecordedDialog rec;
  rec.Kind = "message";
  rec.Title = Caption;
  rec.Text = Text;
  rec.Flags = Flags;
  gRecorded.append(rec);
  if (!gMessageAnswers.empty()) {
    const int answer = gMessageAnswers.front();
    gMessageAnswers.pop_front();
    return answer;
  }
  if (NonInteractive()) return IDCANCEL;

  QList<QMessageBox::StandardButton> buttons;
  switch (Flags & 0xF) {
    case MB_OKCANCEL:
      buttons = {QMessageBox::Ok, QMessageBox::Cancel};
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
      break;
    case MB_YESNOCANCEL:
      buttons = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
      break;
    case MB_YESNO:
      buttons = {QMessageBox::Yes, QMessageBox::No};
      break;
    case MB_RETRYCANCEL:
      buttons = {QMessageBox::Retry, QMessageBox::Cancel};
      break;
    default:
      buttons = {QMessageBox::Ok};
      break;
  }
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (Flags & 0xF0) {
    case MB_ICONERROR:
      icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      icon = QMessageBox::Question;
      break;
    case MB_ICONWARNING:
      icon = QMessageBox::Warning;
      break;
    case MB_ICONINFORMATION:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  QMessageBox box(icon, Caption, Text, QMessageBox::NoButton, Parent);
  box.setTextFormat(Qt::PlainText);
  for (auto b : buttons) box.addButton(b);
  const int defaultIndex = (Flags & MB_DEFBUTTON3) ? 2 : (Flags & MB_DEFBUTTON2) ? 1 : 0;
  box.setDefaultButton(buttons[std::min<int>(defaultIndex, static_cast<int>(buttons.size()) - 1)]);
  if (buttons.contains(QMessageBox::Cancel))
    box.setEscapeButton(QMessageBox::Cancel);
  else if (buttons.size() == 1)
    box.setEscapeButton(buttons.front());
  box.exec();
  return IdOfButton(box.standardButton(box.clickedButton()));
}

bool GetFont(QWidget* Parent, const QString& Title, const QFont& Initial, QFont& Chosen) {
  TRecordedDialog rec;
  rec.Kind = "font";
  rec.Title = Title;
  rec.Text = Initial.family();
  gRecorded.append(rec);
  if (!gFontAnswers.empty()) {
    Chosen = gFontAnswers.front();
    gFontAnswers.pop_front();
    return true;
  }
  if (NonInteractive()) return false;
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, Initial, Parent, Title);
  if (ok) Chosen = font;
  return ok;
}

int ExecDialog(QDialog* Dialog) {
  if (!Dialog) return QDialog::Rejected;
  TRecordedDialog rec;
  rec.Kind = "dialog";
  rec.Title = Dialog->windowTitle();
  rec.Text = Dialog->objectName();
  gRecorded.append(rec);
  if (!gDialogActions.empty()) {
    auto action = std::move(gDialogActions.front());
    gDialogActions.pop_front();
    Dialog->setResult(QDialog::Rejected);
    Dialog->show();
    action(Dialog);
    if (Dialog->isVisible()) Dialog->reject();
    return Dialog->result();
  }
  if (NonInteractive()) return QDialog::Rejected;
  return Dialog->exec();
}

void QueueFileAnswer(const QString& FileName) { gFileAnswers.push_back(FileName); }
void QueueMessageAnswer(int Id) { gMessageAnswers.push_back(Id); }
void QueueFontAnswer(const QFont& Font) { gFontAnswers.push_back(Font); }
void QueuePrintAnswer(std::function<bool(QPrinter*)> Answer) { gPrintAnswers.push_back(std::move(Answer)); }

bool ExecPrintDialog(QWidget* Parent, QPrinter* Printer, const TPrintDialogRequest& Request) {
  if (!Printer) return false;
  TRecordedDialog rec;
  rec.Kind = "print";
  rec.Text = QStringLiteral("%1-%2").arg(Request.MinPage).arg(Request.MaxPage);
  gRecorded.append(rec);
  if (!gPrintAnswers.empty()) {
    auto answer = std::move(gPrintAnswers.front());
    gPrintAnswers.pop_front();
    return answer && answer(Printer);
  }
  if (NonInteractive()) return false;
  QPrintDialog dialog(Printer, Parent);
  dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintSelection |
                    QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  dialog.setMinMax(Request.MinPage, Request.MaxPage);
  return dialog.exec() == QDialog::Accepted;
}
void QueueDialogAction(std::function<void(QDialog*)> Action) { gDialogActions.push_back(std::move(Action)); }
void SetNonInteractive(bool On) { gNonInteractive = On; }
bool NonInteractive() {
  if (gNonInteractive) return true;
  const QString platform = QGuiApplication::platformName();
  return platform == "offscreen" || platform == "minimal";
}
const QList<TRecordedDialog>& Recorded() { return gRecorded; }
void ClearRecorded() { gRecorded.clear(); }
void ResetForTests() {
  gRecorded.clear();
  gFileAnswers.clear();
  gMessageAnswers.clear();
  gFontAnswers.clear();
  gDialogActions.clear();
  gPrintAnswers.clear();
}

}  // namespace dialogs
