#include "ObjectTreeModel.h"

#include "ShownText.h"
#include "fdmZIB.h"

TObjectTreeModel::TObjectTreeModel(TObjectTree& Tree, QObject* Parent) : QAbstractItemModel(Parent), FTree(Tree) {}

void TObjectTreeModel::BeginRebuild() {
  beginResetModel();
  FRebuilding = true;
  endResetModel();
}

void TObjectTreeModel::EndRebuild() {
  beginResetModel();
  FRebuilding = false;
  endResetModel();
}

TObjectTreeNode* TObjectTreeModel::NodeOf(const QModelIndex& Index) const {
  return Index.isValid() ? static_cast<TObjectTreeNode*>(Index.internalPointer()) : nullptr;
}

QModelIndex TObjectTreeModel::IndexOf(TObjectTreeNode* Node) const {
  return Node && !FRebuilding ? createIndex(Node->Row, 0, Node) : QModelIndex();
}

QModelIndex TObjectTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || FRebuilding) return {};
  const auto& children = parent.isValid() ? NodeOf(parent)->Children : FTree.TopNodes;
  if (row >= static_cast<int>(children.size())) return {};
  return createIndex(row, 0, children[static_cast<size_t>(row)].get());
}

QModelIndex TObjectTreeModel::parent(const QModelIndex& child) const {
  TObjectTreeNode* node = NodeOf(child);
  return node ? IndexOf(node->Parent) : QModelIndex();
}

int TObjectTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0 || FRebuilding) return 0;
  return static_cast<int>(parent.isValid() ? NodeOf(parent)->Children.size() : FTree.TopNodes.size());
}

int TObjectTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool TObjectTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TObjectTreeModel::data(const QModelIndex& index, int role) const {
  TObjectTreeNode* node = NodeOf(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return ShownTextOfUtf8(node->Text);
    case Qt::DecorationRole:
      return dmZIB ? QVariant(dmZIB->ilMorvoImagesNo.Icon(node->ImageIndex)) : QVariant();
    default:
      return {};
  }
}

Qt::ItemFlags TObjectTreeModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
