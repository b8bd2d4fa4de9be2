#include "fCredits.h"

#include <QPushButton>

#include "URLLbl.h"
#include "ui_fCredits.h"

TFrmCredits* FrmCredits = nullptr;

namespace {
struct TCreditLink {
  const char* Name;
  const char* Address;
};
const TCreditLink kCredits[] = {
    {"ICU", "icu.unicode.org"},
    {"Qt", "www.qt.io"},
    {"Qt Widgets", "doc.qt.io/qt-6/qtwidgets-index.html"},
    {"TURLLabel", "zib.kelbrun.example/urllabel"},
    {"libzip", "libzip.org"},
    {"CUPS", "openprinting.github.io/cups"},
    {"Vim", "www.vim.org"},
    {"LibreOffice", "www.libreoffice.org"},
    {"CPack", "cmake.org"},
};
}  // namespace

TFrmCredits::TFrmCredits(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmCredits>()) {
  ui->setupUi(this);
  setObjectName("FrmCredits");
  int row = 1;
  for (const TCreditLink& credit : kCredits) {
    auto* link = findChild<TURLLabel*>(QString("urlCredit%1").arg(row++));
    if (!link) continue;
    link->SetCaption(QString::fromUtf8(credit.Name));
    link->SetURL(QString("http://") + QString::fromUtf8(credit.Address));
    link->SetURLAsHint(false);
    link->SetShowPrefix(true);
    link->SetLabelType(TURLLabel::Active);
    link->SetLinkType(TURLLabel::ltHTTP);
  }
  connect(ui->BtnThanks, &QPushButton::clicked, this, &QDialog::accept);
}

TFrmCredits::~TFrmCredits() = default;
