#pragma once

// The property grid's fixed row: row 0 of the grid (the header texts) drawn
// over the top of the grid where it stays when the rows scroll, and where the
// user resizes the columns and drags them to another place. The user sizes a
// row by dragging its lower line.

#include <QHeaderView>

class QTableWidget;

class TFixedRowHeader : public QHeaderView {
  Q_OBJECT
 public:
  explicit TFixedRowHeader(QTableWidget* Grid);

 protected:
  void paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QTableWidget* FGrid;
  QObject* FViewport = nullptr;
  int FSizedRow = -1;  // the row whose lower line the user drags
  void Place();
  bool SizeRows(QEvent* Event);
};
