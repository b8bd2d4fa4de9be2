#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The one way into "MorvoObject.cfg", the settings store and the version.

// Value of key Ident of section Section of "MorvoObject.cfg" beside the
// executable; empty when the file, the section or the key is missing.
std::string ReadCfgString(const std::string& Section, const std::string& Ident);
// Hands the value of key Ident of section Section to Use; an EMorvoError
// of Use (a value that does not convert) comes back with the file, the
// section and the key added, so that the user knows what to mend.
void UseCfgString(const std::string& Section, const std::string& Ident,
                  const std::function<void(const std::string&)>& Use);
// Changes whenever the values of "MorvoObject.cfg" may have changed: what is
// derived from them may be kept while it stays.
uint64_t CfgGeneration();

// String value Name under HKEY_CURRENT_USER "software\Kelbrun\ZIB" (the key is
// created on first open, for reading too). Empty when missing; a value of
// another type fails with the registry's "Invalid data type" error.
std::string ReadRegString(const std::string& Name);
// Fails with "Failed to set data for '<Name>'".
void WriteRegString(const std::string& Name, const std::string& Value);

// The key all settings live under.
inline constexpr const char* kSettingsKey = "software\\Kelbrun\\ZIB";

// The file version text of FileName; "Error retrieving version" on failure.
std::string GetFileVersionString(const std::string& FileName);

// Registry Booleans: "-1"/"0" written; read true for a number other than 0 or
// "True", false for 0 or "False" (any case); anything else gives fallback.
bool RegTextToBool(const std::string& Text, bool Fallback);
std::string BoolToRegText(bool Value);

// The code page of texts written on Windows: the setting "Quillset1xCodePage",
// windows-1252 when it is unset or cannot be read. Makes no settings key.
std::string WindowsTextCodePage();

// The lines of a whole text file (breaks at CR LF, CR or LF; a break at the
// end adds no line; a NUL ends the text). Text that is not well-formed UTF-8
// is decoded from WindowsTextCodePage(). Only a regular file is read: a
// pipe, device or folder, like a file that cannot be read, fails at once with
// EMorvoError 'Cannot open file "<path>". <reason>'; a file too large for the
// memory fails with 'Not enough memory to read "<path>".'.
std::vector<std::string> LoadFileLines(const std::string& FileName);
