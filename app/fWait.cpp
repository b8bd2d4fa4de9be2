// Placeholder: the wait window lands here.
#include "fWait.h"

#include <QLabel>

TFrmWait* FrmWait = nullptr;
TFrmWait::TFrmWait(QWidget* Parent) : QDialog(Parent), laWait(new QLabel(this)) { laWait->setObjectName("laWait"); }
void TFrmWait::ShowWait() {}
void TFrmWait::SetWaitText(const QString& Text) { laWait->setText(Text); }
