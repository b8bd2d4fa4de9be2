#include "fWait.h"

#include <QGuiApplication>
#include <QShowEvent>

#include "DlgPos.h"
#include "ui_fWait.h"

TFrmWait* FrmWait = nullptr;

namespace {
bool Offscreen() { return QGuiApplication::platformName() == QLatin1String("offscreen"); }
}  // namespace

TFrmWait::TFrmWait(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmWait>()) {
  ui->setupUi(this);
  setObjectName("FrmWait");
  // Tool windows are raised whenever they show; the offscreen platform of the
  // unattended commands has nothing to raise them over and only warns.
  setWindowFlags((Offscreen() ? Qt::Dialog : Qt::Tool) | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(false);
  setWindowOpacity(125.0 / 255.0);
  laWait = ui->laWait;
  // In the order of the window's definition: the caption first, so the address never shows.
  laWait->SetCaption(kLoadingText);
  laWait->SetURL("http://" + TURLLabel::kDefaultWebAddress);
  laWait->SetURLAsHint(false);
  laWait->SetShowPrefix(true);
  laWait->SetLabelType(TURLLabel::Auto);
  laWait->SetLinkType(TURLLabel::ltHTTP);
  laWait->setCursor(Qt::PointingHandCursor);

  move(455, 0);  // unless a stored position applies
  LoadDlgPosReporting(this, "FrmWait");
  // Whatever width was stored, the window stays this narrow.
  setMaximumWidth(kMaxWidth);
  resize(kMaxWidth, height());
}

TFrmWait::~TFrmWait() = default;

void TFrmWait::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (!Event->spontaneous()) laWait->SetCaption(kLoadingText);
}

void TFrmWait::ShowWait() {
  show();
  if (!Offscreen()) raise();
  repaint();
}

void TFrmWait::SetWaitText(const QString& Text) {
  laWait->SetCaption(Text);
  laWait->repaint();
}

void TFrmWait::done(int Result) {
  SaveDlgPosReporting(this, "FrmWait");
  QDialog::done(Result);
}
