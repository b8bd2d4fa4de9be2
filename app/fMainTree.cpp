// The object tree: building it in semantic or file order, and its selection.
#include <QTreeView>
#include <exception>

#include "CodePage.h"
#include "MessageBox.h"
#include "ObjectTreeModel.h"
#include "ProfileFile.h"
#include "fMain.h"
#include "ui_fMain.h"

void TFrmMorvoReader::BuildTree(TTreeOrder Order) {
  // The fill pumps messages: an order or view command that arrives meanwhile
  // must not pull the nodes away under it.
  if (FTreeModel->Rebuilding()) return;
  const TProfileCommand command;  // the fill and the grid of the first node
  if (FFileLoaded) {
    FOrder = Order;
    FTreeChangeAttached = false;
    FTreeModel->BeginRebuild();
    TTreeFilter filter;
    filter.HideObjects = Utf8ToSystem(FHideObjects.toStdString());
    filter.HideChildrenOf = Utf8ToSystem(FHideChildrenOf.toStdString());
    try {
      FillObjectTree(FTree, Order, filter);
    } catch (...) {
      FTreeModel->EndRebuild();
      FTreeChangeAttached = true;
      throw;
    }
    FTreeModel->EndRebuild();
    FTreeChangeAttached = true;
  }
  SelectNode(FTree.FirstNode());
}

void TFrmMorvoReader::MnuSemanticorderClick() { BuildTree(TTreeOrder::Semantic); }

void TFrmMorvoReader::MnuFileOrderClick() { BuildTree(TTreeOrder::File); }

TObjectTreeNode* TFrmMorvoReader::SelectedNode() const { return FTreeModel->NodeOf(ui->ObjectTree->currentIndex()); }

QModelIndex TFrmMorvoReader::IndexOfNode(TObjectTreeNode* Node) const { return FTreeModel->IndexOf(Node); }

void TFrmMorvoReader::SelectNode(TObjectTreeNode* Node) {
  const TProfileCommand command;
  const QModelIndex index = FTreeModel->IndexOf(Node);
  if (index == ui->ObjectTree->currentIndex()) {
    // After a rebuild the view may still point at the same row of the new
    // tree without having told anyone: the grid must follow all the same.
    if (index.isValid() && FTreeChangeAttached) ObjectTreeChange();
    return;
  }
  ui->ObjectTree->setCurrentIndex(index);
  // Scrolling lays the tree out; a window not shown (a run without windows)
  // lays out nothing, and showing it brings the selection into view.
  if (index.isValid() && isVisible()) ui->ObjectTree->scrollTo(index);
}

void TFrmMorvoReader::OnTreeCurrentChanged() {
  const TProfileCommand command;  // the grid fill
  if (!FTreeChangeAttached) return;
  // Reached from the view's signal: a failure must not pass through the event loop.
  RunReportingFailure([this] { ObjectTreeChange(); });
}
