// The property grid, the status panels and the busy blink.
#include <QHeaderView>
#include <QLabel>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTableWidget>
#include <algorithm>

#include "Accessors.h"
#include "CodePage.h"
#include "MessagePump.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "PropertyOrder.h"
#include "Settings.h"
#include "ShownText.h"
#include "StringUtil.h"
#include "fMain.h"
#include "ui_fMain.h"

namespace {
QString FromSystem(const std::string& Bytes) { return QString::fromStdString(SystemToUtf8(Bytes)); }

void SetCell(QTableWidget* Grid, int Col, int Row, const QString& Text) {
  if (QTableWidgetItem* item = Grid->item(Row, Col)) {
    item->setText(Text);
    return;
  }
  auto* item = new QTableWidgetItem(Text);
  if (Row == 0) {
    // The first row is the grid's fixed header.
    item->setFlags(Qt::ItemIsEnabled);
    item->setBackground(Grid->palette().button());
  }
  Grid->setItem(Row, Col, item);
}

// Row 0 stays; it holds the header texts.
void ShowEmptyRow(QTableWidget* Grid) {
  Grid->setRowCount(2);
  SetCell(Grid, 0, 1, QString());
  SetCell(Grid, 1, 1, QString());
  Grid->setRowHeight(1, Grid->rowHeight(0));
}

bool SortProperties() { return ReadSettingOrDefault(settings::SortProperties); }
}  // namespace

QString TFrmMorvoReader::PanelText(int Panel) const { return Panel >= 0 && Panel < 4 ? FPanelTexts[Panel] : QString(); }

// The panel keeps the whole text (Copy Object path takes it from there); its
// label shows what a label can lay out, and only while the window shows: a
// hidden window (a run without windows) lays out nothing.
void TFrmMorvoReader::SetPanelText(int Panel, const QString& Text) {
  if (Panel < 0 || Panel >= 4 || !FPanels[Panel] || FPanelTexts[Panel] == Text) return;
  FPanelTexts[Panel] = Text;
  if (isVisible()) FPanels[Panel]->setText(ShownText(Text));
}

int TFrmMorvoReader::CountLineBreaks(const QString& S) {
  int count = 0;
  qsizetype p = S.indexOf(QLatin1String("\r\n"));
  while (p >= 0) {
    ++count;
    p = S.indexOf(QLatin1String("\r\n"), p + 1);
  }
  return count;
}

QString TFrmMorvoReader::GetNodePath(TObjectTreeNode* Node) const {
  QStringList captions;
  for (TObjectTreeNode* n = Node; n; n = n->Parent)
    // The caption as the system code page has it: characters it lacks come
    // out as the conversion's replacement.
    captions.prepend(FromSystem(Utf8ToSystem(n->Text)));
  QString path = QStringLiteral("$");
  for (const QString& caption : captions) path += QLatin1Char('\\') + caption;
  return path;
}

void TFrmMorvoReader::ObjectTreeChange() {
  QTableWidget* grid = ui->PropertyGrid;
  grid->setColumnCount(2);
  if (grid->rowCount() < 1) grid->setRowCount(1);
  SetCell(grid, 0, 0, FromSystem(ReadCfgString("Translations", "Property")));
  SetCell(grid, 1, 0, FromSystem(ReadCfgString("Translations", "Value")));

  TObjectTreeNode* node = SelectedNode();
  if (node && node->Object) {
    TisMorvoObject* object = node->Object;
    const QString path = GetNodePath(node);
    object->LoadPropertyArrays();
    const int n = std::min(StrToIntDef(gPropNames[0], 0), kPropArraySize - 1);
    if (n > 0) {
      grid->setRowCount(n + 1);
      static TPropertyOrder gridOrder;  // kept from object to object
      const std::vector<int>& order = gridOrder.Of(SortProperties());
      const int h = grid->rowHeight(0);
      for (int r = 1; r <= n && r <= static_cast<int>(order.size()); ++r) {
        const size_t i = static_cast<size_t>(order[static_cast<size_t>(r - 1)]);
        const QString value = QString::fromUtf8(gPropValues[i]);
        SetCell(grid, 0, r, FromSystem(gPropNames[i]));
        SetCell(grid, 1, r, value);
        const int k = CountLineBreaks(value);
        grid->setRowHeight(r, h + 3 * ((k * h) / 4));
      }
    } else {
      ShowEmptyRow(grid);
    }
    SetPanelText(0, path);
    SetPanelText(1, FromSystem(object->FTypeName));
    SetPanelText(2, FromSystem(gPropNames[0]));
    SetPanelText(3, StripAccelerator(FCurrentView));
  } else {
    ShowNoObject();
  }
}

void TFrmMorvoReader::ShowNoObject() {
  QTableWidget* grid = ui->PropertyGrid;
  grid->setColumnCount(2);
  ShowEmptyRow(grid);
  for (int panel = 0; panel < 3; ++panel) SetPanelText(panel, QString());
  SetPanelText(3, StripAccelerator(FCurrentView));
}

void TFrmMorvoReader::BlinkPatience() { BlinkPatienceAt(GetTickCount32()); }

void TFrmMorvoReader::BlinkPatienceAt(uint32_t Now) {
  const uint64_t now = Now;
  const int64_t d = static_cast<int64_t>(now) - static_cast<int64_t>(FBlinkMark);
  if (d <= 250) return;
  if (d <= 500) {
    SetPanelText(3, QStringLiteral("Patience ..."));
    return;
  }
  FBlinkMark = now;
  SetPanelText(3, QString());
}

void TFrmMorvoReader::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  ui->PropertyGrid->setColumnWidth(0, 100);
  for (int panel = 0; panel < 4; ++panel) FPanels[panel]->setText(ShownText(FPanelTexts[panel]));
  // Selections made while the window was hidden were not scrolled to.
  if (const QModelIndex current = ui->ObjectTree->currentIndex(); current.isValid()) ui->ObjectTree->scrollTo(current);
}

void TFrmMorvoReader::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitValueColumn();
}

// The viewport leaves out the vertical scroll bar while it shows: a value
// column of exactly the rest never needs a horizontal one, so clicking a
// value never scrolls the names out of sight.
void TFrmMorvoReader::FitValueColumn() {
  QTableWidget* grid = ui->PropertyGrid;
  const int rest = grid->viewport()->width() - grid->columnWidth(0);
  grid->setColumnWidth(1, std::max(rest, grid->horizontalHeader()->minimumSectionSize()));
}

bool TFrmMorvoReader::eventFilter(QObject* watched, QEvent* event) {
  // The window's resize comes before its layout has sized the grid, and the
  // scroll bar coming or going changes only the viewport.
  if (watched == ui->PropertyGrid->viewport() && event->type() == QEvent::Resize) FitValueColumn();
  return QMainWindow::eventFilter(watched, event);
}
