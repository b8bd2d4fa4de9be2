#pragma once

// The grid's cells open an editor of their own, and an editor takes keys
// that are also the window's menu shortcuts (on many desktops a line editor
// ends the line on Ctrl+E). This delegate hands such a key to the window's
// action while an editor is open; every other key stays with the editor.

#include <QStyledItemDelegate>

class TCellEditorShortcuts : public QStyledItemDelegate {
 public:
  // Window: the window whose actions' shortcuts win; the delegate's parent.
  explicit TCellEditorShortcuts(QWidget* Window);

 protected:
  bool eventFilter(QObject* Editor, QEvent* Event) override;

 private:
  QWidget* FWindow;
};
