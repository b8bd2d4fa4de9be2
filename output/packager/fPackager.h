#pragma once

// The packager window: proposes the files an object file refers to, lets the
// user tick them, and writes the ticked ones into a zip or cab archive.
// The window lives in the output layer; what it needs of the application's
// other windows (the documentation export, the wait window's label, the
// about window's version text, dialogs and message boxes) it reaches through
// the host hooks, which the application connects at start-up.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "PackagerFileList.h"

namespace Ui {
class TFrmPackager;
}

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;
class TArchiveWriter;

struct TPackagerHost {
  // Writes the default export beside the loaded object file; its path, or
  // empty when no file is loaded. Written tells whether this call wrote it,
  // Failure why not (empty when the export's own report is all there is).
  std::function<QString(bool* Written, QString* Failure)> DoOutputExport;
  // The wait window's label; RepaintNow repaints it at once.
  std::function<void(const QString& Text, bool RepaintNow)> SetWaitText;
  // The about window's version label ("<title>  V<version>").
  std::function<QString()> ProgramVersionLabel;
  std::function<QString()> AppTitle;
  // A plain OK box without icon.
  std::function<void(const QString& Text, const QString& Caption)> ShowMessage;
  // The application's standard error report.
  std::function<void(const QString& Message)> ShowError;
  // Something left out of the package that the user should hear of even
  // when the result box is not shown (a run without a screen prints it).
  std::function<void(const QString& Message)> TellLeftOut;
  // Save dialog: FilterIndex in and out, 0-based. Empty when cancelled.
  std::function<QString(QWidget* Parent, const QString& Title, const QStringList& Filters, int& FilterIndex,
                        const QString& FileName, const QString& DefaultSuffix)>
      GetSaveFileName;
  // Open dialog for several existing files; empty when cancelled.
  std::function<QStringList(QWidget* Parent, const QString& Title, const QStringList& Filters)> GetOpenFileNames;
  // Folder dialog; empty when cancelled.
  std::function<QString(QWidget* Parent, const QString& Title, const QString& StartFolder)> GetFolder;
  std::function<void(QWidget* Window)> SaveDlgPos;
};
void SetPackagerHost(const TPackagerHost& Host);
const TPackagerHost& PackagerHost();

class TFrmPackager : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmPackager(QWidget* Parent = nullptr);  // FormCreate
  ~TFrmPackager() override;                          // FormDestroy

  // The components of the form, by their names.
  QGroupBox* gbFileSelect = nullptr;
  QLabel* laBasePath = nullptr;
  QLineEdit* edBasePath = nullptr;
  QToolButton* btnBasedirSelect = nullptr;
  QListWidget* clbFilenames = nullptr;
  QGroupBox* gbDefaults = nullptr;
  QCheckBox* cbDocumentation = nullptr;
  QCheckBox* cbDevices = nullptr;
  QCheckBox* cbMandatories = nullptr;
  QCheckBox* cbSampleFiles = nullptr;
  QCheckBox* cbSpecials = nullptr;
  QPushButton* btnAll = nullptr;
  QPushButton* btnToggle = nullptr;
  QPushButton* btnAdd = nullptr;
  QCheckBox* cbPreservePath = nullptr;
  QCheckBox* cbGuessBasepath = nullptr;
  QCheckBox* cbShowfiles = nullptr;
  QComboBox* cbFiletype = nullptr;
  QPushButton* BtnPackage = nullptr;
  QPushButton* btnClose = nullptr;
  QProgressBar* pbFiles = nullptr;
  QProgressBar* pbFile = nullptr;

  // The object file: a full path on entry to PrepareFileList, its bare name after.
  QString FFileName;
  TNameList FMandatoryList;
  TNameList FSampleList;
  TNameList FDeviceList;
  TNameList FSpecialList;
  TNameList FResultList;
  // The save dialog's file name: proposed by PrepareFileList, chosen by the
  // user in BtnPackageClick; CreatePackage writes this archive.
  QString SaveFileName;
  // What the packaging leaves out or cannot do, one sentence each, shown
  // below the result box's list; a caller may add to it before CreatePackage,
  // which empties it. PrepareFileList empties it too.
  QStringList FResultNotes;
  // The last packaging found every ticked file already in the archive,
  // unchanged: nothing needed writing.
  bool FUpToDate = false;

  void PrepareFileList();
  // Native: the entries are paths of this machine (chosen files, the written
  // documentation) rather than values of the object file.
  void AddFilesToList(TNameList& List, bool State, bool Native = false);
  void CheckFilesInList(const TNameList& List, bool State);
  void GuessBasePath();
  // The number of ticked names, or -1 when an error (reported through the
  // host's error report) left no archive written.
  int CreatePackage();
  void BtnPackageClick();
  // For "/p": starts writing the archive with the object file while the
  // file is still being read. CreatePackage goes on from there.
  void StartPackagingEarly(const QString& ObjectFile);
  void SavePackSettings();
  void LoadPackSettings();

  // The caption shown centred on pbFiles.
  QString FilesCaption() const { return FFilesCaption; }
  // Entries of clbFilenames and their ticks.
  QStringList ListNames() const;
  QStringList CheckedNames() const;

  void cbMandatoriesClick();
  void cbSampleFilesClick();
  void cbDevicesClick();
  void cbSpecialsClick();
  void btnAllClick();
  void btnToggleClick();
  void btnAddClick();
  void btnBasedirSelectClick();
  void edBasePathChange();

 protected:
  void showEvent(QShowEvent* Event) override;  // FormShow
  // FormCloseQuery: every way of closing stores the position.
  void done(int Result) override;

 private:
  std::unique_ptr<Ui::TFrmPackager> ui;
  QString FFilesCaption;

  void SetFilesCaption(const QString& Text, bool Draw = true);
  void StepFiles();
  void AddListEntries(std::vector<std::string> Names);
  int SortedPlace(const std::string& Name) const;
  int IndexOfEntry(const QString& Name) const;
  void ProcessItem(const std::string& StoredName);
  std::set<std::string> FChosenNames;  // added by hand or written here, without regard to case
  struct TEarlyStart;
  std::unique_ptr<TEarlyStart> FEarly;

  void ProposeArchive(const QString& ObjectFile);
  std::unique_ptr<TArchiveWriter> OpenWriter();
  void ReportTo(TArchiveWriter& Writer);
  std::unique_ptr<TArchiveWriter> TakeEarlyWriter(QString& EarlyName, size_t& Found, bool Rescan);
  // CreatePackage's work; fails with an exception.
  int WritePackage();
  bool AddDocumentation();
};

extern TFrmPackager* FrmPackager;
