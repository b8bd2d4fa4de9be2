// Placeholders until the real stand-ins land; each moves to its own file.
#include "MorvoError.h"
#include "Registry.h"

struct TRegistry::Impl {
  std::string path;
};
TRegistry::TRegistry(TRegRoot) : FImpl(std::make_unique<Impl>()) {}
TRegistry::~TRegistry() = default;
bool TRegistry::OpenKey(const std::string&, bool) { return false; }
void TRegistry::CloseKey() {}
const std::string& TRegistry::CurrentPath() const { return FImpl->path; }
bool TRegistry::KeyExists(const std::string&) { return false; }
bool TRegistry::ValueExists(const std::string&) const { return false; }
TRegDataType TRegistry::GetDataType(const std::string&) const { return TRegDataType::Unknown; }
std::string TRegistry::ReadString(const std::string&) const { return {}; }
void TRegistry::WriteString(const std::string& name, const std::string&) {
  throw EMorvoError("Failed to set data for '" + name + "'");
}
std::string TRegistry::ReadBinaryData(const std::string&) const { return {}; }
void TRegistry::WriteBinaryData(const std::string& name, const std::string&) {
  throw EMorvoError("Failed to set data for '" + name + "'");
}
bool TRegistry::DeleteValue(const std::string&) { return false; }
bool TRegistry::DeleteKey(const std::string&) { return false; }
std::vector<std::string> TRegistry::GetValueNames() const { return {}; }
std::vector<std::string> TRegistry::GetKeyNames() const { return {}; }
std::string TRegistry::StoreFolder() { return {}; }
std::string TRegistry::StoreFileName(TRegRoot) { return {}; }
