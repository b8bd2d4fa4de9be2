// Placeholder: the grid's property order lands here.
#include "PropertyOrder.h"

std::vector<int> FillPropertyOrder(bool) { return {}; }
