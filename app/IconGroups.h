#pragma once

// The program's twelve icon groups. The file association names a group by its
// place in this list (the DefaultIcon value "program,index"), so the order is
// alphabetical and fixed: a new group never moves the others.

#include <QIcon>
#include <QString>

inline constexpr int kIconGroupCount = 12;
inline constexpr const char* kIconGroupNames[kIconGroupCount] = {"CHN",   "CHN2", "DCL", "DEV",      "DEV2", "EMF",
                                                                 "EMPTY", "FMT",  "FUN", "MAINICON", "MAP",  "SEG"};

// The program's own picture: windows, the desktop entry.
inline constexpr int kMainIconGroup = 9;

// Index of the group of that name (exact, upper case), or -1.
constexpr int IconGroupIndex(const char* Name) {
  for (int i = 0; i < kIconGroupCount; ++i) {
    const char* a = kIconGroupNames[i];
    const char* b = Name;
    while (*a && *a == *b) ++a, ++b;
    if (*a == *b) return i;
  }
  return -1;
}

// Resource path of a group's drawing (":/icons/groups/DCL.svg"); empty for
// an index outside the list.
QString IconGroupResource(int Index);
// The group's picture; a null icon for an index outside the list.
QIcon IconGroupIcon(int Index);
