#pragma once

// The small wait window that stands during every file load; the export and
// the packager write their progress texts on its label laWait.

#include <QDialog>

class QLabel;

class TFrmWait : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmWait(QWidget* Parent = nullptr);
  QLabel* laWait = nullptr;
  // Shows the window with "Loading. Please Wait" and repaints it.
  void ShowWait();
  // Sets the label's text and repaints at once.
  void SetWaitText(const QString& Text);
};

extern TFrmWait* FrmWait;
