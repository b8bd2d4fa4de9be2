#pragma once

#include <functional>
#include <string>
#include <string_view>

// Character sets through ICU. Names are looked up without regard to case
// among ICU's converter names and aliases ("windows-1252", "cp1252",
// "ISO-8859-1", "UTF-8", "UTF-16LE", ...).

bool IsKnownCodePage(const std::string& name);
// Decodes bytes of the named character set to UTF-8. An unknown name fails
// with EMorvoError before anything is decoded.
std::string DecodeToUtf8(std::string_view bytes, const std::string& codePageName);
// Encodes UTF-8 into the named character set (unmappable characters become
// the set's substitute).
std::string EncodeFromUtf8(std::string_view utf8, const std::string& codePageName);

// UTF-16 little-endian bytes to UTF-8: a surrogate pair becomes its one
// character, a lone surrogate U+FFFD; a last odd byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes);

// The system code page is the locale's character set (UTF-8 on current systems).
std::string SystemCodePageName();
std::string SystemToUtf8(std::string_view bytes);
std::string Utf8ToSystem(std::string_view utf8);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// The text of a file that may have been written on Windows, in the system
// code page: well-formed UTF-8 is taken as it is, anything else is decoded
// from the code page that fallbackCodePage names, asked only then
// (windows-1252 when that name is unknown).
std::string FileTextToSystem(std::string bytes, const std::function<std::string()>& fallbackCodePage);
