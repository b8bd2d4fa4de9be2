#pragma once

// The classes CreateObjectForTypeName makes. Fast paths that do, for these
// classes alone, what one of their virtual members would do find them here,
// so a new class of the factory is known to all of them at once.

#include <typeinfo>

#include "MorvoObject.h"

template <class... C>
struct TClassList {};

using TFactoryClasses =
    TClassList<TisMorvoObject, TisMorvoObject_ODElement, TisMorvoObject_Segment, TisMorvoObject_Input_Struct,
               TisMorvoObject_Translate_Table, TisMorvoObject_Base_Document, TisMorvoObject_If, TisMorvoObject_OoMD,
               TisMorvoObject_OoML, TisMorvoObject_DC_ExtFiles, TisMorvoObject_PFC>;

// Calls Visit.template operator()<C>() for the class C of the list that Type
// is exactly; false when it is none of them. Types are compared as objects:
// should one class have two, the caller takes its general path, which is
// merely slower.
template <class... C, class TVisit>
bool VisitExactClass(TClassList<C...>, const std::type_info& Type, TVisit&& Visit) {
  return ((&Type == &typeid(C) && (Visit.template operator()<C>(), true)) || ...);
}

// Whether every class of the list satisfies Trait.
template <template <class> class Trait, class... C>
constexpr bool EveryClass(TClassList<C...>) {
  return (Trait<C>::value && ...);
}
