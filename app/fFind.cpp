#include "fFind.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <exception>

#include "DlgPos.h"
#include "MessageBox.h"
#include "fMain.h"
#include "ui_fFind.h"

TFrmFind* FrmFind = nullptr;

TFrmFind::TFrmFind(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmFind>()) {
  ui->setupUi(this);
  setObjectName("FrmFind");
  setModal(false);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  cbFindStr = ui->cbFindStr;
  cbCaseSens = ui->cbCaseSens;
  rgFType = ui->rgFType;
  FitFieldToGuid();
  // Owned by the main window, the window manager keeps it above that window,
  // and the main window's find commands answer their keys from here too.
  if (Parent)
    for (const char* name : {"ActFndGUID", "ActFndName", "ActFndProp", "ActFndAgain", "ActNext"})
      if (QAction* action = Parent->findChild<QAction*>(name)) addAction(action);
  connect(ui->BtnFind, &QPushButton::clicked, this, &TFrmFind::BtnFindClick);
  connect(ui->BtnNext, &QPushButton::clicked, this, &TFrmFind::BtnNextClick);
  connect(ui->BtnClose, &QPushButton::clicked, this, &TFrmFind::BtnCloseClick);
}

TFrmFind::~TFrmFind() {
  // The main window takes its owned windows with it.
  if (FrmFind == this) FrmFind = nullptr;
  try {
    SaveDlgPos(this, "FrmFind");
  } catch (const std::exception&) {
    // Nothing can be reported any more while the window goes away.
  }
}

QRadioButton* TFrmFind::Item(int Index) const {
  switch (Index) {
    case 0:
      return ui->rbName;
    case 1:
      return ui->rbGUID;
    case 2:
      return ui->rbProperty;
    default:
      return nullptr;
  }
}

int TFrmFind::ItemIndex() const {
  for (int i = 0; i < 3; ++i)
    if (Item(i)->isChecked()) return i;
  return -1;
}

void TFrmFind::SetItemIndex(int Index) {
  if (QRadioButton* item = Item(Index)) item->setChecked(true);
}

QString TFrmFind::KindText() const {
  const int index = ItemIndex();
  return index < 0 ? QString() : Item(index)->text();
}

void TFrmFind::ShowFind() {
  if (!isVisible()) show();
  raise();
  activateWindow();
  // What the user types next is the search text.
  cbFindStr->setFocus(Qt::ActiveWindowFocusReason);
}

// A whole GUID in braces fits the field.
void TFrmFind::FitFieldToGuid() {
  const int text = cbFindStr->fontMetrics().horizontalAdvance(QStringLiteral("{DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD}"));
  QStyleOptionComboBox option;
  option.initFrom(cbFindStr);
  option.editable = true;
  const QSize needed =
      cbFindStr->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(text + 8, 0), cbFindStr);
  cbFindStr->setMinimumWidth(needed.width());
  setMinimumWidth(std::max(minimumWidth(), minimumSizeHint().width()));
}

void TFrmFind::setVisible(bool Visible) {
  // The stored place is given before the window is on its way to the screen:
  // moved on the way, before the window manager framed it, the window is
  // taken to have no frame for good.
  if (Visible && !isVisible()) LoadDlgPosReporting(this, "FrmFind");
  QDialog::setVisible(Visible);
}

void TFrmFind::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (Event->spontaneous()) return;
  // The clipboard's text is offered as the search text; none empties the field.
  cbFindStr->setEditText(GetClipboardWideText());
}

void TFrmFind::RunFind(bool FromTop) {
  if (!FrmMorvoReader) return;
  // A button's click must not carry a failure into the event loop.
  RunReportingFailure([this, FromTop] {
    FrmMorvoReader->FindNextObject(KindText().toStdString(), cbFindStr->currentText().toStdString(), FromTop,
                                   cbCaseSens->isChecked(), true);
  });
}

void TFrmFind::BtnFindClick() {
  const QString text = cbFindStr->currentText();
  // The history's own exact-item search ignores letter case.
  if (cbFindStr->findText(text, Qt::MatchFixedString) < 0) {
    cbFindStr->addItem(text);
    cbFindStr->setEditText(text);
  }
  RunFind(true);
}

void TFrmFind::BtnNextClick() { RunFind(false); }

void TFrmFind::BtnCloseClick() { close(); }

void TFrmFind::done(int Result) {
  SaveDlgPosReporting(this, "FrmFind");
  QDialog::done(Result);
}

QString GetClipboardWideText() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return {};
  QString text = clipboard->text();
  const qsizetype zero = text.indexOf(QChar(0));
  if (zero >= 0) text.truncate(zero);
  return text;
}
