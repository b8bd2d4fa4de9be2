#pragma once

// The parts of a path of this machine ("/" between folders), as bytes.

#include <string>
#include <string_view>

// The part after the last "/".
std::string BareNativeName(std::string_view Path);
// The part up to and including the last "/"; empty for a bare name.
std::string NativeFolderPart(std::string_view Path);
// Path without its extension: cut at the last "." that follows the last "/".
std::string NativeWithoutExtension(std::string_view Path);
