#pragma once

// The item model the tree view shows: a thin view of TObjectTree. Each index
// carries its node, so parent and row look-ups cost nothing even on trees of
// 100,000 nodes.

#include <QAbstractItemModel>

#include "ObjectTree.h"

class TObjectTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TObjectTreeModel(TObjectTree& Tree, QObject* Parent = nullptr);

  // Wrap every change of the node structure in these two. In between the
  // model shows no rows: the fill pumps messages, and a view painting then
  // must not reach nodes that are being freed or built.
  void BeginRebuild();
  void EndRebuild();
  bool Rebuilding() const { return FRebuilding; }

  TObjectTreeNode* NodeOf(const QModelIndex& Index) const;
  QModelIndex IndexOf(TObjectTreeNode* Node) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  TObjectTree& FTree;
  bool FRebuilding = false;
};
