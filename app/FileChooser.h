#pragma once

// The program's file dialog. It lists a folder by the bytes of its names, so
// a name that is not UTF-8 is listed, shown readably and chosen with its own
// bytes (Qt's dialog passes over such names), and it takes a typed name as
// it stands, quotes and all (Qt's dialog takes quoted text as a list of
// names). Only the several-files mode reads a list of quoted names, and only
// when the text names no file as a whole.

#include <QDialog>
#include <QStringList>

#include "DialogFacade.h"

class QComboBox;
class QLineEdit;
class QStandardItemModel;
class QTreeView;

class TFileChooser : public QDialog {
 public:
  enum class TMode { Open, OpenMany, Save, Folder };
  TFileChooser(QWidget* Parent, TMode Mode, const dialogs::TFileDialogRequest& Request);

  // The chosen names (full paths), once accepted.
  const QStringList& Chosen() const { return FChosen; }
  // 0-based index of the filter shown at the end.
  int ChosenFilter() const;
  const QString& Folder() const { return FFolder; }
  void ShowFolder(const QString& Folder);

  void accept() override;

 private:
  void FillList();
  void TakeSelection();
  void Activate(int Row);
  void FilterChosen(int Index);
  void SetNameText(const QString& Text, const QStringList& Names);
  QStringList NamesOfText() const;
  QString FullName(const QString& Name) const;
  bool Confirmed(QStringList& Names);

  TMode FMode;
  QString FTitle;
  QString FFolder;
  QString FDefaultSuffix;
  bool FMustExist;
  bool FConfirmOverwrite;
  // The names the name field shows as picked from the list: a shown name is
  // not always the name itself. Emptied as soon as the user types.
  QStringList FPicked;
  QStringList FChosen;
  QLineEdit* FLookIn;
  QTreeView* FList;
  QStandardItemModel* FModel;
  QLineEdit* FName;
  QComboBox* FTypes;
};

// Runs the chooser modally: the chosen names, none when cancelled.
// FilterIndex, when given, receives the filter shown at the end.
QStringList RunFileChooser(QWidget* Parent, TFileChooser::TMode Mode, const dialogs::TFileDialogRequest& Request,
                           int* FilterIndex = nullptr);
