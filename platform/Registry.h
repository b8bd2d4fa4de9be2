#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A stand-in for the Windows registry: a tree of keys per root, each key
// holding named string or binary values and an unnamed default value ("").
// Key names match without regard to case and keep the case they were created
// with. Each root lives in one human-readable file under
// $XDG_CONFIG_HOME/Kelbrun/ZIB/, looked at afresh at every OpenKey (parsed
// again only when the file changed since its last parse, or was written
// within a step of the file system's clock; a locked update always parses
// the file it holds the lock on) and written
// atomically (temporary file, then rename) at every change, so two processes
// writing one after the other lose neither's values and a failed write or a
// crash never leaves half a file. A store file that is no regular file (a
// pipe, a device) reads as an unreadable one. A damaged file is read as far as it goes and set aside under
// another name, never silently overwritten. The file is the registry
// editor's .reg text in UTF-8; quoted texts write \xHH for a byte that is a
// control character or not UTF-8, so every value comes back byte for byte.
enum class TRegRoot { CurrentUser, ClassesRoot };

enum class TRegDataType { Unknown, String, Binary };

class TRegistry {
 public:
  explicit TRegistry(TRegRoot root = TRegRoot::CurrentUser);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // Key paths are backslash-separated and relative to the root ("software\Kelbrun\ZIB");
  // a leading backslash is ignored. Returns false when the key does not
  // exist and canCreate is false, or when it can be neither read nor created.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key) { return OpenKey(key, false); }
  void CloseKey();
  // Opens key (creating it) and runs Change with the store locked: what
  // Change reads is the store as it is now, and what it writes goes to the
  // file in one write when it returns, so no other writer comes in between
  // (a list read, changed and written back loses no one else's entry).
  // Change may only read, write and delete values of this key. False when
  // the store cannot be read or written; an exception from Change leaves the
  // store as it was and passes on.
  bool UpdateKey(const std::string& key, const std::function<void()>& Change);
  const std::string& CurrentPath() const;

  bool KeyExists(const std::string& key);
  bool ValueExists(const std::string& name) const;
  TRegDataType GetDataType(const std::string& name) const;

  // "" when absent; a value of another type fails with
  // EMorvoError("Invalid data type for '<name>'").
  std::string ReadString(const std::string& name) const;
  // Fails with EMorvoError("Failed to set data for '<name>'") when no key is
  // open or the store cannot be written.
  void WriteString(const std::string& name, const std::string& value);
  // The bytes of a binary value; absent gives an empty result; another type
  // fails with the "Invalid data type" error.
  std::string ReadBinaryData(const std::string& name) const;
  void WriteBinaryData(const std::string& name, const std::string& bytes);

  bool DeleteValue(const std::string& name);
  // Deletes the key with all its subkeys (path relative to the root).
  bool DeleteKey(const std::string& key);

  std::vector<std::string> GetValueNames() const;
  std::vector<std::string> GetKeyNames() const;

  // Folder of the store files, with a trailing "/" (tests look at it).
  static std::string StoreFolder();
  static std::string StoreFileName(TRegRoot root);

 private:
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

// A settings write that fails does not stop the program, but the user is to
// hear of it once per run: the first failure's message ("The settings cannot
// be saved to ...") is kept, and the listener, when one is set, is called
// with it at that moment (on the thread that wrote). Empty while none failed.
std::string SettingsWriteFailure();
void SetSettingsWriteFailureListener(std::function<void(const std::string& Message)> Listener);
// Starts the count afresh (tests).
void ForgetSettingsWriteFailure();
