#pragma once

// The tree as shown: a plain node structure that the browser's tree view, the
// find and the export all walk, so "the tree as shown" has one source.

#include <memory>
#include <string>
#include <vector>

#include "MorvoObject.h"

struct TObjectTreeNode {
  TisMorvoObject* Object = nullptr;  // none for an unresolved link
  std::string Text;                  // FName of the object (UTF-8), or the link text
  int ImageIndex = 24;
  int Row = 0;  // index among its parent's children
  TObjectTreeNode* Parent = nullptr;
  TObjectTreeNode* NextSibling = nullptr;  // none for the last child (or last top node)
  std::vector<std::unique_ptr<TObjectTreeNode>> Children;
};

class TObjectTree {
 public:
  std::vector<std::unique_ptr<TObjectTreeNode>> TopNodes;

  TObjectTree() = default;
  ~TObjectTree() { Clear(); }
  TObjectTree(const TObjectTree&) = delete;
  TObjectTree& operator=(const TObjectTree&) = delete;

  bool Empty() const { return TopNodes.empty(); }
  // Frees the nodes without recursion, so a very deep tree cannot exhaust the stack.
  void Clear();
  TObjectTreeNode* FirstNode() const { return TopNodes.empty() ? nullptr : TopNodes.front().get(); }
  // The node after node in the order shown, expanded or not (depth first,
  // parent before children); none after the last.
  static TObjectTreeNode* NextNode(TObjectTreeNode* node);
  TObjectTreeNode* NextNodeOf(TObjectTreeNode* node) const;
};

enum class TTreeOrder { Semantic, File };

// Hide rules of the current view: an object whose four-digit type text occurs
// in HideObjects gets no node; one whose text occurs in HideChildrenOf is
// shown without children.
struct TTreeFilter {
  std::string HideObjects;
  std::string HideChildrenOf;
};

// Builds the tree from gRootObjects (semantic order, through FLinks) or
// gTopObjects (file order, through FChildren). Pumps messages as it goes and
// stops early when the application is terminating (the tree stays partial).
// Ends with gPropValues[0] = ".xXx.".
void FillObjectTree(TObjectTree& Tree, TTreeOrder Order, const TTreeFilter& Filter);

// Picture of a type number in the object image list (24 when not listed).
int TypeNumberToImageIndex(int TypeNr);
