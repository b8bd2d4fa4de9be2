// Placeholder: the tree fill lands here.
#include "ObjectTree.h"

TObjectTreeNode* TObjectTree::NextNode(TObjectTreeNode*) { return nullptr; }
TObjectTreeNode* TObjectTree::NextNodeOf(TObjectTreeNode* node) const { return NextNode(node); }
void FillObjectTree(TObjectTree& Tree, TTreeOrder, const TTreeFilter&) { Tree.Clear(); }
int TypeNumberToImageIndex(int) { return 24; }
