#pragma once

#include <string>

// The program's version text ("0.1.0.0"), compiled in.
std::string ProjectVersionText();
