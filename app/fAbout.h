#pragma once

// The about window: the program's title and version, two links, and the way
// to the credits window. Shown modally by the main window.

#include <QDialog>
#include <memory>

namespace Ui {
class TFrmAbout;
}
class QLabel;
class QPushButton;
class TURLLabel;

class TFrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmAbout(QWidget* Parent = nullptr);  // FormCreate
  ~TFrmAbout() override;                          // FormDestroy

  // The version line, also read by the packager for its archive comment.
  QLabel* laProgVer = nullptr;
  TURLLabel* krWebZIB = nullptr;
  TURLLabel* ltMailZIB = nullptr;

  void Button1Click();
  // Every way of closing stores the position (FormCloseQuery).
  void done(int Result) override;

  static const QString kWebPage;  // without prefix
  static const QString kMailAddress;

 protected:
  bool event(QEvent* Event) override;  // FormActivate

 private:
  std::unique_ptr<Ui::TFrmAbout> ui;
};

extern TFrmAbout* FrmAbout;
