#include "DialogFacadeFiles.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <deque>

namespace dialogs {
namespace {
std::deque<int> gFilterAnswers;

QStringList QtFilters(const QStringList& Filters) {
  QStringList filters;
  for (QString f : Filters) filters << f.replace(';', ' ');
  return filters;
}
}  // namespace

void FollowFilterSuffix(QFileDialog& Dialog) {
  QObject::connect(&Dialog, &QFileDialog::filterSelected, &Dialog, [&Dialog](const QString& Filter) {
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(Filter);
    if (match.hasMatch()) Dialog.setDefaultSuffix(match.captured(1));
  });
}

QString GetSaveFileNameAndFilter(QWidget* Parent, const TFileDialogRequest& Request, int& FilterIndex) {
  TFileDialogRequest request = Request;
  request.FilterIndex = FilterIndex;
  if (NonInteractive()) {
    const QString answer = GetSaveFileName(Parent, request);
    if (!gFilterAnswers.empty()) {
      if (!answer.isEmpty()) FilterIndex = gFilterAnswers.front();
      gFilterAnswers.pop_front();
    }
    return answer;
  }
  QFileDialog dialog(Parent, request.Title, request.Directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  const QStringList filters = QtFilters(request.Filters);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (FilterIndex >= 0 && FilterIndex < filters.size()) dialog.selectNameFilter(filters[FilterIndex]);
  }
  if (!request.DefaultSuffix.isEmpty()) {
    dialog.setDefaultSuffix(request.DefaultSuffix);
    FollowFilterSuffix(dialog);
  }
  if (!request.ConfirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.FileName.isEmpty()) dialog.selectFile(request.FileName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const int chosen = filters.indexOf(dialog.selectedNameFilter());
  if (chosen >= 0) FilterIndex = chosen;
  return dialog.selectedFiles().front();
}

QStringList GetOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request) {
  if (NonInteractive()) {
    const QString answer = GetOpenFileName(Parent, Request);
    return answer.isEmpty() ? QStringList() : answer.split('\n', Qt::SkipEmptyParts);
  }
  QFileDialog dialog(Parent, Request.Title, Request.Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (!Request.Filters.isEmpty()) dialog.setNameFilters(QtFilters(Request.Filters));
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString GetExistingDirectory(QWidget* Parent, const QString& Title, const QString& Directory) {
  if (NonInteractive()) {
    TFileDialogRequest request;
    request.Title = Title;
    request.Directory = Directory;
    return GetOpenFileName(Parent, request);
  }
  return QFileDialog::getExistingDirectory(Parent, Title, Directory);
}

void QueueFilterAnswer(int FilterIndex) { gFilterAnswers.push_back(FilterIndex); }
void ResetFilterAnswers() { gFilterAnswers.clear(); }

}  // namespace dialogs
