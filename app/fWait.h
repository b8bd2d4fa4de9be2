#pragma once

// The small wait window that stands during every file load; the export and
// the packager write their progress texts on its label laWait.

#include <QDialog>
#include <memory>

#include "URLLbl.h"

namespace Ui {
class TFrmWait;
}

class TFrmWait : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxWidth = 70;
  static constexpr const char* kLoadingText = "Loading. Please Wait";

  explicit TFrmWait(QWidget* Parent = nullptr);  // FormCreate
  ~TFrmWait() override;
  TURLLabel* laWait = nullptr;
  // Shows the window (its label then reads "Loading. Please Wait") and repaints it.
  void ShowWait();
  // Sets the label's caption and repaints it at once.
  void SetWaitText(const QString& Text);

  // Closing always stores the position (FormClose).
  void done(int Result) override;

 protected:
  void showEvent(QShowEvent* Event) override;  // FormShow

 private:
  std::unique_ptr<Ui::TFrmWait> ui;
};

extern TFrmWait* FrmWait;
