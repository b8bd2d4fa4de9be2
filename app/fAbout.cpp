#include "fAbout.h"

#include <QCoreApplication>
#include <QEvent>
#include <exception>

#include "Accessors.h"
#include "AppPaths.h"
#include "DialogFacade.h"
#include "DlgPos.h"
#include "URLLbl.h"
#include "fCredits.h"
#include "ui_fAbout.h"

TFrmAbout* FrmAbout = nullptr;

const QString TFrmAbout::kWebPage = QStringLiteral("zib.kelbrun.example");
const QString TFrmAbout::kMailAddress = QStringLiteral("zib@kelbrun.example");

namespace {
void SetUpLink(TURLLabel* Label, const QString& Caption, TURLLabel::TLinkType Type, const QString& Url) {
  // In the order of the window's definition: the caption before the address.
  Label->SetCaption(Caption);
  Label->SetURL(Url);
  Label->SetURLAsHint(false);
  Label->SetShowPrefix(true);
  Label->SetLabelType(TURLLabel::Active);
  Label->SetLinkType(Type);
}
}  // namespace

TFrmAbout::TFrmAbout(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmAbout>()) {
  ui->setupUi(this);
  setObjectName("FrmAbout");
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  laProgVer = ui->laProgVer;
  krWebZIB = ui->krWebZIB;
  ltMailZIB = ui->ltMailZIB;

  SetUpLink(krWebZIB, "View the ZIB website", TURLLabel::ltHTTP, "http://" + kWebPage);
  SetUpLink(ltMailZIB, "Mail any comments", TURLLabel::ltMailTo, "mailto:" + kMailAddress);
  for (TURLLabel* link : {krWebZIB, ltMailZIB}) {
    TURLLabel::TLabelFont linkFont = link->LinkFont();
    linkFont.Font = font();
    linkFont.Font.setUnderline(true);
    link->SetLinkFont(linkFont);
    link->SetPassiveFont({font(), palette().color(QPalette::WindowText)});
  }

  laProgVer->setText(QCoreApplication::applicationName() + "  V" +
                     QString::fromStdString(GetFileVersionString(ExecutablePath())));

  connect(ui->Button1, &QPushButton::clicked, this, &TFrmAbout::Button1Click);
  connect(ui->BtnOK, &QPushButton::clicked, this, &QDialog::accept);
}

TFrmAbout::~TFrmAbout() {
  try {
    SaveDlgPos(this, "FrmAbout");
  } catch (const std::exception&) {
    // Nothing can be reported any more while the window goes away.
  }
}

void TFrmAbout::Button1Click() {
  if (FrmCredits) dialogs::ExecDialog(FrmCredits);
}

void TFrmAbout::done(int Result) {
  SaveDlgPosReporting(this, "FrmAbout");
  QDialog::done(Result);
}

bool TFrmAbout::event(QEvent* Event) {
  if (Event->type() == QEvent::WindowActivate) LoadDlgPosReporting(this, "FrmAbout");
  return QDialog::event(Event);
}
