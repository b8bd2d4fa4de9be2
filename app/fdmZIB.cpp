#include "fdmZIB.h"

#include <QString>

TdmZIB* dmZIB = nullptr;

QIcon TImageList::Icon(int Index) const {
  if (Index < 0 || Index >= FImages.size()) return {};
  return FImages.at(Index);
}

namespace {
// The pictures are vector drawings, so one icon serves every screen density.
void LoadList(TImageList& List, const char* Folder, int Count) {
  for (int i = 0; i < Count; ++i)
    List.Add(QIcon(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(Folder)).arg(i, 2, 10, QLatin1Char('0'))));
}
}  // namespace

// The resource file is compiled into a static library, so it is registered by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

TdmZIB::TdmZIB(QObject* Parent) : QObject(Parent) {
  InitIconResources();
  setObjectName(QStringLiteral("dmZIB"));
  LoadList(ilMorvoImagesNo, "obj", 56);
  LoadList(ilGUIimages, "gui", 35);
}

TdmZIB::~TdmZIB() {
  if (dmZIB == this) dmZIB = nullptr;
}
