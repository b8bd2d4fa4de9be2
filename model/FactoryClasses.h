#pragma once

// The classes the factory makes, each with the type numbers it is made for.
// The factory builds from this table and nothing else, and the fast paths
// that do, for these classes alone, what one of their virtual members would
// do read the same table: a class can only be built once it is listed here,
// and then every fast path knows it.

#include <array>
#include <memory>
#include <typeinfo>

#include "MorvoObject.h"

// A class of the factory and the base type numbers that choose it; the one
// entry without numbers is the class of every other number.
template <class C, int... TypeNumbers>
struct TFactoryClass {
  using Class = C;
  static constexpr bool IsDefault = sizeof...(TypeNumbers) == 0;
  static constexpr std::array<int, sizeof...(TypeNumbers)> Numbers{TypeNumbers...};
  static constexpr bool Takes(int TypeNumber) { return ((TypeNumber == TypeNumbers) || ...); }
};

template <class... E>
struct TClassList {};

using TFactoryClasses = TClassList<                      //
    TFactoryClass<TisMorvoObject>,                       //
    TFactoryClass<TisMorvoObject_Input_Struct, 10>,      //
    TFactoryClass<TisMorvoObject_Translate_Table, 101>,  //
    TFactoryClass<TisMorvoObject_Segment, 401, 402>,     //
    TFactoryClass<TisMorvoObject_ODElement, 501>,        //
    TFactoryClass<TisMorvoObject_PFC, 701, 702>,         //
    TFactoryClass<TisMorvoObject_If, 801>,               //
    TFactoryClass<TisMorvoObject_OoMD, 802>,             //
    TFactoryClass<TisMorvoObject_OoML, 803>,             //
    TFactoryClass<TisMorvoObject_DC_ExtFiles, 903>,      //
    TFactoryClass<TisMorvoObject_Base_Document, 1001>>;

namespace factoryclasses {
template <class... E>
constexpr int DefaultEntries(TClassList<E...>) {
  return (int{E::IsDefault} + ...);
}
// How many entries type number T chooses.
template <class... E>
constexpr int Choosers(TClassList<E...>, int T) {
  return (int{E::Takes(T)} + ...);
}
// Whether every number of Entry chooses Entry alone.
template <class Entry, class... E>
constexpr bool ChoosesAlone(TClassList<E...> List) {
  for (const int t : Entry::Numbers)
    if (Choosers(List, t) != 1) return false;
  return true;
}
template <class... E>
constexpr bool NumbersChooseOnce(TClassList<E...> List) {
  return (ChoosesAlone<E>(List) && ...);
}
}  // namespace factoryclasses

static_assert(factoryclasses::DefaultEntries(TFactoryClasses{}) == 1, "exactly one class takes the other numbers");
static_assert(factoryclasses::NumbersChooseOnce(TFactoryClasses{}), "a type number chooses one class");

// The object of the class that base type number TypeNumber chooses.
template <class... E>
std::unique_ptr<TisMorvoObject> NewListedObject(TClassList<E...>, int TypeNumber) {
  std::unique_ptr<TisMorvoObject> made;
  ((E::Takes(TypeNumber) && (made = std::make_unique<typename E::Class>(), true)) || ...);
  if (!made) ((E::IsDefault && (made = std::make_unique<typename E::Class>(), true)) || ...);
  return made;
}

// Calls Visit.template operator()<C>() for the class C of the list that Type
// is exactly; false when it is none of them (an object made elsewhere, by a
// test say, which then takes the general path). Types are compared as
// objects: should one class have two, the caller takes its general path,
// which is merely slower.
template <class... E, class TVisit>
bool VisitExactClass(TClassList<E...>, const std::type_info& Type, TVisit&& Visit) {
  return ((&Type == &typeid(typename E::Class) && (Visit.template operator()<typename E::Class>(), true)) || ...);
}

// Calls Visit.template operator()<C>() for every class C of the list.
template <class... E, class TVisit>
void VisitEveryClass(TClassList<E...>, TVisit&& Visit) {
  (Visit.template operator()<typename E::Class>(), ...);
}
