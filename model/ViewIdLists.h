#pragma once

#include <string>

// Converts the id lists of the view in section Section of "MorvoObject.cfg"
// ("MandatoryFields" and "Fields") as choosing that view does, without
// changing the current view: raises the same conversion error
// ("'x' is not a valid integer value") when one of them is no id list.
void CheckViewIdLists(const std::string& Section);
