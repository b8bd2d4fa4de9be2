#pragma once

// The credits window: the libraries and tools the program owes to, each a
// link with a line on what it contributes.

#include <QDialog>
#include <memory>

namespace Ui {
class TFrmCredits;
}

class TFrmCredits : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmCredits(QWidget* Parent = nullptr);
  ~TFrmCredits() override;

 private:
  std::unique_ptr<Ui::TFrmCredits> ui;
};

extern TFrmCredits* FrmCredits;
