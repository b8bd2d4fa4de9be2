#include "IconGroups.h"

namespace {
constexpr bool NamesAscend() {
  for (int i = 1; i < kIconGroupCount; ++i) {
    const char* a = kIconGroupNames[i - 1];
    const char* b = kIconGroupNames[i];
    while (*a && *a == *b) ++a, ++b;
    if (static_cast<unsigned char>(*a) >= static_cast<unsigned char>(*b)) return false;
  }
  return true;
}
}  // namespace

// Adding a group in its alphabetical place would shift the ones after it.
static_assert(NamesAscend());
static_assert(IconGroupIndex("MAINICON") == kMainIconGroup);

// The resource file is compiled into a static library, so it is registered by hand.
static void InitIconGroupResources() { Q_INIT_RESOURCE(icongroups); }

QString IconGroupResource(int Index) {
  if (Index < 0 || Index >= kIconGroupCount) return {};
  static const bool registered = (InitIconGroupResources(), true);
  (void)registered;
  return QStringLiteral(":/icons/groups/%1.svg").arg(QLatin1String(kIconGroupNames[Index]));
}

QIcon IconGroupIcon(int Index) {
  const QString path = IconGroupResource(Index);
  return path.isEmpty() ? QIcon() : QIcon(path);
}
