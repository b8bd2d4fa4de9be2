#pragma once

#include <string>

// The folder of the running executable, with a trailing "/". The definition
// files ("ObjectProperties.txt", "MorvoObject.cfg", ...) are read from there.
std::string ExecutableFolder();
// Full path of the running executable.
std::string ExecutablePath();
// Tests point the program at a folder of their own definition files; an empty
// text returns to the real folder.
void SetExecutableFolderOverride(const std::string& folder);
