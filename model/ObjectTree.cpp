#include "ObjectTree.h"

#include <unordered_map>
#include <unordered_set>

#include "MessagePump.h"

void TObjectTree::Clear() {
  if (LoadKeptToProcessEnd()) {
    // Still reachable, so no leak checker takes it for one.
    static auto* kept = new std::vector<std::vector<std::unique_ptr<TObjectTreeNode>>>;
    kept->push_back(std::move(TopNodes));
    TopNodes.clear();
    return;
  }
  // Children are moved onto an explicit stack before their parent dies, so
  // no destructor ever recurses into a subtree.
  std::vector<std::unique_ptr<TObjectTreeNode>> pending;
  pending.swap(TopNodes);
  while (!pending.empty()) {
    std::unique_ptr<TObjectTreeNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children) pending.push_back(std::move(child));
    node->Children.clear();
  }
}

TObjectTreeNode* TObjectTree::NextNode(TObjectTreeNode* node) {
  if (!node) return nullptr;
  if (!node->Children.empty()) return node->Children.front().get();
  while (node) {
    if (node->NextSibling) return node->NextSibling;
    node = node->Parent;
  }
  return nullptr;
}

TObjectTreeNode* TObjectTree::NextNodeOf(TObjectTreeNode* node) const { return NextNode(node); }

namespace {

bool TypeTextListed(const std::string& text, const std::string& list) {
  return !list.empty() && !text.empty() && list.find(text) != std::string::npos;
}

// What the hide rules of the view say of each type number. Every object of a
// number has the same type text, so the text is formed and searched for once
// per number in a fill rather than twice per object.
class TTypeRules {
 public:
  struct TRule {
    bool Hidden = false;
    bool ChildrenHidden = false;
    int ImageIndex = 24;
  };

  explicit TTypeRules(const TTreeFilter& Filter) : FFilter(Filter) {}

  const TRule& Of(TisMorvoObject* object) {
    const int number = object->GetTypeNumber();
    const auto [it, added] = FRules.try_emplace(number);
    if (added) {
      const std::string text = object->GetTypeNumberText();
      it->second = {TypeTextListed(text, FFilter.HideObjects), TypeTextListed(text, FFilter.HideChildrenOf),
                    TypeNumberToImageIndex(number)};
    }
    return it->second;
  }

 private:
  const TTreeFilter& FFilter;
  std::unordered_map<int, TRule> FRules;
};

// One level of the fill: the list being walked and the node its entries go under.
struct TLevel {
  const TObjectList* List;
  size_t Next;
  TObjectTreeNode* Parent;
};

}  // namespace

void FillObjectTree(TObjectTree& Tree, TTreeOrder Order, const TTreeFilter& Filter) {
  Tree.Clear();
  const TProfileCommand command;  // refined type numbers name codes of the configuration
  const TObjectList* top = Order == TTreeOrder::Semantic ? gRootObjects.get() : gTopObjects.get();
  if (top) {
    // The fill walks with an explicit stack: a chain of links 100,000 deep
    // must not exhaust the call stack. An object that is already on the path
    // from the top is shown but not descended into, so a cycle of links ends.
    std::vector<TLevel> levels;
    std::unordered_set<const TisMorvoObject*> onPath;
    TTypeRules rules(Filter);
    Tree.TopNodes.reserve(top->size());
    levels.push_back({top, 0, nullptr});
    while (!levels.empty()) {
      TLevel& level = levels.back();
      if (level.Next >= level.List->size()) {
        if (level.Parent) onPath.erase(level.Parent->Object);
        levels.pop_back();
        continue;
      }
      const TObjectEntry& entry = (*level.List)[level.Next++];
      TisMorvoObject* object = entry.Object;
      const TTypeRules::TRule* rule = object ? &rules.Of(object) : nullptr;
      if (rule && rule->Hidden) continue;

      auto owned = std::make_unique<TObjectTreeNode>();
      TObjectTreeNode* node = owned.get();
      node->Object = object;
      node->Text = object ? object->FName : entry.Key;
      node->Parent = level.Parent;
      auto& siblings = level.Parent ? level.Parent->Children : Tree.TopNodes;
      node->Row = static_cast<int>(siblings.size());
      if (!siblings.empty()) siblings.back()->NextSibling = node;
      siblings.push_back(std::move(owned));

      ProcessMessagesSliced();
      if (ApplicationTerminating()) {
        // This level stops at once; each enclosing level stops after its next node.
        if (level.Parent) onPath.erase(level.Parent->Object);
        levels.pop_back();
        continue;
      }
      if (!object) continue;  // unresolved link: picture 24, no children
      node->ImageIndex = rule->ImageIndex;
      if (rule->ChildrenHidden) continue;
      const TObjectList& below = Order == TTreeOrder::Semantic ? object->FLinks : object->FChildren;
      if (below.empty() || onPath.count(object)) continue;
      onPath.insert(object);
      // Every entry but a hidden one becomes a child: one allocation, not a growth series.
      node->Children.reserve(below.size());
      levels.push_back({&below, 0, node});
    }
  }
  // The arrays may still hold the object shown last: spoil their key so the
  // next selection refills them for the tree as it is now.
  gPropValues[0] = ".xXx.";
}

int TypeNumberToImageIndex(int TypeNr) {
  switch (TypeNr) {
    case 1:
      return 9;
    case 2:
      return 20;
    case 3:
      return 2;
    case 4:
      return 25;
    case 5:
      return 23;
    case 6:
      return 26;
    case 11:
      return 51;
    case 12:
      return 50;
    case 13:
      return 49;
    case 101:
      return 52;
    case 201:
      return 10;
    case 301:
      return 0;
    case 302:
      return 22;
    case 303:
      return 3;
    case 304:
      return 1;
    case 401:
      return 28;
    case 402:
      return 34;
    case 510:
      return 29;
    case 511:
      return 30;
    case 512:
      return 31;
    case 513:
      return 32;
    case 514:
      return 48;
    case 550:
      return 35;
    case 551:
      return 27;
    case 552:
      return 42;
    case 553:
      return 43;
    case 554:
      return 37;
    case 555:
      return 36;
    case 556:
      return 41;
    case 557:
      return 40;
    case 558:
      return 44;
    case 559:
      return 46;
    case 560:
      return 47;
    case 561:
      return 38;
    case 562:
      return 39;
    case 563:
      return 45;
    case 601:
      return 7;
    case 602:
      return 19;
    case 603:
      return 5;
    case 604:
      return 21;
    case 605:
      return 6;
    case 606:
      return 15;
    case 607:
      return 4;
    case 608:
      return 19;
    case 801:
      return 8;
    case 802:
      return 12;
    case 803:
      return 13;
    case 899:
      return 18;
    case 903:
      return 11;
    case 1001:
      return 16;
    case 1002:
      return 16;
    default:
      return 24;
  }
}
