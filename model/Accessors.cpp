// The one way into "MorvoObject.cfg", the settings store, the version text
// and whole text files beside the executable.
#include "Accessors.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "AppPaths.h"
#include "CodePage.h"
#include "MorvoError.h"
#include "MorvoObject.h"
#include "Registry.h"
#include "Settings.h"
#include "StringUtil.h"
#include "Version.h"
#include "WholeFile.h"

namespace {
// Binding the handle does not create the file. Reads see the file as it is on
// disk (parsed again when it changed), so edits show from the next command on.
const TProfileFile& CfgIni() {
  if (!gCfgIni) gCfgIni = std::make_unique<TProfileFile>(ExecutableFolder() + "MorvoObject.cfg", WindowsTextCodePage);
  return *gCfgIni;
}
}  // namespace

std::string ReadCfgString(const std::string& Section, const std::string& Ident) {
  return CfgIni().ReadString(Section, Ident, "");
}

void UseCfgString(const std::string& Section, const std::string& Ident,
                  const std::function<void(const std::string&)>& Use) {
  const std::string value = ReadCfgString(Section, Ident);
  try {
    Use(value);
  } catch (const EMorvoError& e) {
    throw EMorvoError(std::string(e.what()) + " in \"" + CfgIni().FileName() + "\", section [" + Section + "], key " +
                      Ident);
  }
}

uint64_t CfgGeneration() { return CfgIni().Generation(); }

std::string ReadRegString(const std::string& Name) {
  TRegistry reg(TRegRoot::CurrentUser);
  // Opened with create, for reading too: the first read makes the key.
  if (!reg.OpenKey(kSettingsKey, true)) return {};
  std::string value = reg.ReadString(Name);  // another data type raises
  reg.CloseKey();
  return value;
}

void WriteRegString(const std::string& Name, const std::string& Value) {
  TRegistry reg(TRegRoot::CurrentUser);
  // A setting that cannot be stored must not pass silently.
  if (!reg.OpenKey(kSettingsKey, true)) throw EMorvoError("Failed to set data for '" + Name + "'");
  reg.WriteString(Name, Value);
  reg.CloseKey();
}

std::string GetFileVersionString(const std::string& FileName) {
  const std::string failed = "Error retrieving version";
  if (FileName.empty()) return failed;
  // Only the program's own file carries a version here: the compiled-in
  // project version. The comparison follows links, so the launcher and the
  // executable itself both qualify.
  std::error_code ec;
  const bool own = std::filesystem::equivalent(FileName, ExecutablePath(), ec);
  if (ec || !own) return failed;
  const std::string version = ProjectVersionText();
  return version.empty() ? failed : version;
}

namespace {
// A decimal number with a fraction or exponent ("1.5", "-2e3"), which the
// settings store also counts as a number.
bool TryDecimalFloat(const std::string& s, double& value) {
  const std::string t = Trim(s);
  if (t.empty() || t.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(t.c_str(), &end);
  return errno == 0 && end == t.c_str() + t.size();
}
}  // namespace

bool RegTextToBool(const std::string& Text, bool Fallback) {
  if (const auto n = TryStrToInt(Text)) return *n != 0;
  double d = 0;
  if (TryDecimalFloat(Text, d)) return d != 0;
  if (SameTextAscii(Text, "True")) return true;
  if (SameTextAscii(Text, "False")) return false;
  return Fallback;
}

std::string BoolToRegText(bool Value) { return Value ? "-1" : "0"; }

std::string WindowsTextCodePage() {
  std::string name;
  try {
    // Reading a text file is no reason to make the settings key.
    TRegistry reg(TRegRoot::CurrentUser);
    if (reg.OpenKeyReadOnly(kSettingsKey)) name = reg.ReadString(settings::Quillset1xCodePage.Name);
  } catch (const EMorvoError&) {
    // A value of another type names no code page.
  }
  return settings::Quillset1xCodePage.From(name);
}

std::vector<std::string> LoadFileLines(const std::string& FileName) {
  try {
    std::string text, reason;
    if (!ReadRegularFile(FileName, text, &reason))
      throw EMorvoError("Cannot open file \"" + FileName + "\". " + reason);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return SplitLines(FileTextToSystem(std::move(text), WindowsTextCodePage));
  } catch (const std::bad_alloc&) {
    throw EMorvoError("Not enough memory to read \"" + FileName + "\".");
  }
}
