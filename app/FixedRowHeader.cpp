#include "FixedRowHeader.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>
#include <cstdlib>

TFixedRowHeader::TFixedRowHeader(QTableWidget* Grid) : QHeaderView(Qt::Horizontal, Grid), FGrid(Grid) {
  setObjectName(QStringLiteral("PropertyGridFixedRow"));
  setModel(Grid->model());
  setSectionsMovable(true);
  setSectionResizeMode(QHeaderView::Interactive);
  setMinimumSectionSize(1);
  setHighlightSections(false);
  setSectionsClickable(false);
  QHeaderView* columns = Grid->horizontalHeader();
  for (int i = 0; i < count(); ++i) resizeSection(i, columns->sectionSize(i));

  // Both headers hold the same columns: what the user does here, the grid
  // does, and what the program sets on the grid shows here.
  connect(this, &QHeaderView::sectionResized, columns, [columns](int Logical, int, int Size) {
    if (columns->sectionSize(Logical) != Size) columns->resizeSection(Logical, Size);
  });
  connect(columns, &QHeaderView::sectionResized, this, [this](int Logical, int, int Size) {
    if (sectionSize(Logical) != Size) resizeSection(Logical, Size);
  });
  connect(this, &QHeaderView::sectionMoved, columns, [this, columns](int Logical, int, int To) {
    if (columns->visualIndex(Logical) != To) columns->moveSection(columns->visualIndex(Logical), To);
  });
  connect(columns, &QHeaderView::sectionMoved, this, [this](int Logical, int, int To) {
    if (visualIndex(Logical) != To) moveSection(visualIndex(Logical), To);
  });
  connect(Grid->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          [this, columns] { setOffset(columns->offset()); });
  connect(Grid->verticalHeader(), &QHeaderView::sectionResized, this, [this](int Logical) {
    if (Logical == 0) Place();
  });
  // The header texts are row 0's.
  connect(Grid->model(), &QAbstractItemModel::dataChanged, viewport(), [this] { viewport()->update(); });
  FViewport = Grid->viewport();
  FViewport->installEventFilter(this);
  Place();
  show();
}

void TFixedRowHeader::Place() {
  const QRect area = FGrid->viewport()->geometry();
  setGeometry(area.left(), area.top(), area.width(), FGrid->rowCount() > 0 ? FGrid->rowHeight(0) : 0);
  setOffset(FGrid->horizontalHeader()->offset());
}

bool TFixedRowHeader::eventFilter(QObject* Watched, QEvent* Event) {
  // The grid is not asked for its viewport: while it is destroyed its
  // viewport still has events, and the grid is no scroll area any more.
  if (Watched != FViewport) return QHeaderView::eventFilter(Watched, Event);
  if (Event->type() == QEvent::Resize || Event->type() == QEvent::Move) Place();
  return SizeRows(Event) || QHeaderView::eventFilter(Watched, Event);
}

// Within a few pixels of a row's lower line the mouse takes that line along.
bool TFixedRowHeader::SizeRows(QEvent* Event) {
  const auto type = Event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
  const auto* mouse = static_cast<QMouseEvent*>(Event);
  const int y = mouse->position().toPoint().y();
  if (FSizedRow >= 0) {
    if (type == QEvent::MouseButtonRelease)
      FSizedRow = -1;
    else
      FGrid->setRowHeight(FSizedRow, std::max(1, y - FGrid->rowViewportPosition(FSizedRow)));
    return true;
  }
  int onLine = -1;
  const int row = FGrid->rowAt(y - 3);
  if (row >= 1 && std::abs(FGrid->rowViewportPosition(row) + FGrid->rowHeight(row) - y) <= 3) onLine = row;
  if (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton) {
    if (onLine >= 0)
      FGrid->viewport()->setCursor(Qt::SplitVCursor);
    else
      FGrid->viewport()->unsetCursor();
  }
  if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton && onLine >= 0) {
    FSizedRow = onLine;
    return true;
  }
  return false;
}

// Drawn as the grid draws a fixed cell: the button face, the grid's lines, the text.
void TFixedRowHeader::paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const {
  Painter->save();
  Painter->fillRect(Rect, palette().button());
  Painter->setPen(palette().color(QPalette::Mid));
  Painter->drawLine(Rect.topRight(), Rect.bottomRight());
  Painter->drawLine(Rect.bottomLeft(), Rect.bottomRight());
  Painter->setPen(palette().color(QPalette::ButtonText));
  const QString text = model() ? model()->index(0, LogicalIndex).data().toString() : QString();
  Painter->drawText(Rect.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  Painter->restore();
}
