#include "CellEditorShortcuts.h"

#include <QAction>
#include <QKeyEvent>

TCellEditorShortcuts::TCellEditorShortcuts(QWidget* Window) : QStyledItemDelegate(Window), FWindow(Window) {}

bool TCellEditorShortcuts::eventFilter(QObject* Editor, QEvent* Event) {
  if (Event->type() == QEvent::ShortcutOverride) {
    const QKeySequence key(static_cast<QKeyEvent*>(Event)->keyCombination());
    // A shortcut that no action can take now stays the editor's.
    for (const QAction* action : FWindow->findChildren<QAction*>())
      if (action->isEnabled() && action->isVisible() && action->shortcuts().contains(key)) {
        // Not claimed by the editor: the shortcut goes to the action.
        Event->ignore();
        return true;
      }
  }
  return QStyledItemDelegate::eventFilter(Editor, Event);
}
