#include "DialogFacadeFiles.h"

#include <deque>

#include "FileChooser.h"

namespace dialogs {
namespace {
std::deque<int> gFilterAnswers;
}  // namespace

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
  return RunFileChooser(Parent, TFileChooser::TMode::Save, request, &FilterIndex).value(0);
}

QStringList GetOpenFileNames(QWidget* Parent, const TFileDialogRequest& Request) {
  if (NonInteractive()) {
    const QString answer = GetOpenFileName(Parent, Request);
    return answer.isEmpty() ? QStringList() : answer.split('\n', Qt::SkipEmptyParts);
  }
  return RunFileChooser(Parent, TFileChooser::TMode::OpenMany, Request);
}

QString GetExistingDirectory(QWidget* Parent, const QString& Title, const QString& Directory) {
  TFileDialogRequest request;
  request.Title = Title;
  request.Directory = Directory;
  if (NonInteractive()) return GetOpenFileName(Parent, request);
  return RunFileChooser(Parent, TFileChooser::TMode::Folder, request).value(0);
}

void QueueFilterAnswer(int FilterIndex) { gFilterAnswers.push_back(FilterIndex); }
void ResetFilterAnswers() { gFilterAnswers.clear(); }

}  // namespace dialogs
