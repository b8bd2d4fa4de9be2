#include "Registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "CodePage.h"
#include "FileStamp.h"
#include "MorvoError.h"
#include "PathNames.h"
#include "TextCompare.h"
#include "WholeFile.h"

// The store file is the .reg text of the registry editor: a header line,
// then "[ROOT\key\path]" sections holding "name"="text", @="text" for the
// default value and "name"=hex:01,02 for bytes. The file is UTF-8. Values are
// byte strings, so besides the editor's \\ and \" a quoted text writes \xHH
// for a byte that is a control character or not part of UTF-8; that keeps
// every value exact and the file readable in any text editor.

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";

const char* RootName(TRegRoot root) {
  return root == TRegRoot::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

struct TRegValue {
  std::string name;  // as stored; "" is the default value
  TRegDataType type = TRegDataType::String;
  std::string data;
  std::string tag;  // kinds this program does not write ("dword", "hex(7)"), kept for writing back
};

struct TRegKey {
  std::string path;  // as stored, relative to the root; "" is the root itself
  std::vector<TRegValue> values;

  TRegValue* Find(const std::string& name) {
    for (TRegValue& v : values)
      if (SameTextCI(v.name, name)) return &v;
    return nullptr;
  }
  const TRegValue* Find(const std::string& name) const { return const_cast<TRegKey*>(this)->Find(name); }
};

// Keys by folded path with the separator turned into \x01, so that a parent
// sorts right before its subkeys and a key's subtree is one range.
std::string TreeKey(const std::string& path) {
  std::string k = FoldCase(path);
  for (char& c : k)
    if (c == '\\') c = '\x01';
  return k;
}

struct TStore {
  std::map<std::string, TRegKey> keys;
  bool damaged = false;

  const TRegKey* Find(const std::string& path) const {
    const auto it = keys.find(TreeKey(path));
    return it == keys.end() ? nullptr : &it->second;
  }
  // Creates the key and its parents; parents already there keep their case.
  TRegKey& Ensure(const std::string& path, bool* created = nullptr) {
    if (created) *created = false;
    if (path.empty()) {
      auto [it, inserted] = keys.try_emplace(std::string());
      if (created) *created = inserted;
      return it->second;
    }
    std::string stored;
    size_t start = 0;
    TRegKey* key = nullptr;
    for (;;) {
      const size_t sep = path.find('\\', start);
      const std::string given = path.substr(0, sep);
      auto [it, inserted] = keys.try_emplace(TreeKey(given));
      if (inserted) {
        it->second.path =
            stored.empty() ? path.substr(start, sep - start) : stored + '\\' + path.substr(start, sep - start);
        if (created) *created = true;
      }
      stored = it->second.path;
      key = &it->second;
      if (sep == std::string::npos) break;
      start = sep + 1;
    }
    return *key;
  }
};

// A key path relative to the root: leading and trailing backslashes go; an
// empty name inside the path or a control character makes it no key path.
std::optional<std::string> NormalizePath(const std::string& key) {
  size_t b = 0, e = key.size();
  while (b < e && key[b] == '\\') ++b;
  while (e > b && key[e - 1] == '\\') --e;
  std::string path = key.substr(b, e - b);
  for (size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (c == '\\' && path[i + 1] == '\\') return std::nullopt;
  }
  return path;
}

// ---- reading the file ----

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A quoted text at the start of s; on success s is left after the closing quote.
bool ParseQuoted(std::string_view& s, std::string& out) {
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  size_t i = 1;
  while (i < s.size()) {
    size_t stop = i;
    while (stop < s.size() && s[stop] != '"' && s[stop] != '\\') ++stop;
    out.append(s.substr(i, stop - i));
    i = stop;
    if (i == s.size()) break;
    if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return true;
    }
    if (i + 1 >= s.size()) return false;
    const char e = s[i + 1];
    if (e == '\\' || e == '"') {
      out.push_back(e);
      i += 2;
    } else if (e == 'x' && i + 3 < s.size() && HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3])));
      i += 4;
    } else {
      return false;
    }
  }
  return false;  // no closing quote: a cut line
}

// "01,ab,ff": two hex digits per byte, commas between, nothing else.
bool ParseHexBytes(std::string_view s, std::string& out) {
  out.clear();
  s = TrimBlanks(s);
  if (s.empty()) return true;
  for (size_t i = 0;;) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) return false;
    out.push_back(static_cast<char>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
    i += 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i == s.size()) return true;
    if (s[i] != ',') return false;
    ++i;
  }
}

bool ParseData(std::string_view s, TRegValue& v) {
  s = TrimBlanks(s);
  if (!s.empty() && s.front() == '"') {
    if (!ParseQuoted(s, v.data)) return false;
    v.type = TRegDataType::String;
    return TrimBlanks(s).empty();
  }
  if (s.substr(0, 4) == "hex:") {
    v.type = TRegDataType::Binary;
    return ParseHexBytes(s.substr(4), v.data);
  }
  if (s.substr(0, 6) == "dword:") {
    const std::string_view digits = s.substr(6);
    if (digits.size() != 8) return false;
    uint32_t n = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      n = n * 16 + static_cast<uint32_t>(HexDigit(c));
    }
    v.type = TRegDataType::Unknown;
    v.tag = "dword";
    v.data.clear();
    for (int k = 0; k < 4; ++k) v.data.push_back(static_cast<char>((n >> (8 * k)) & 0xFF));
    return true;
  }
  if (s.substr(0, 4) == "hex(") {
    const size_t close = s.find("):");
    if (close == std::string_view::npos || close == 4) return false;
    for (char c : s.substr(4, close - 4))
      if (HexDigit(c) < 0) return false;
    v.type = TRegDataType::Unknown;
    v.tag = std::string(s.substr(0, close + 1));
    return ParseHexBytes(s.substr(close + 2), v.data);
  }
  return false;
}

TStore ParseStore(std::string text, TRegRoot root) {
  TStore store;
  // A file saved by the Windows registry editor is UTF-16 with a byte-order mark.
  if (text.size() >= 2 && text[0] == '\xFF' && text[1] == '\xFE')
    text = Utf16LeToUtf8(std::string_view(text).substr(2));
  std::string_view rest(text);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

  const std::string rootName = RootName(root);
  bool headerSeen = false;
  TRegKey* current = nullptr;
  auto nextLine = [&rest](std::string_view& line) {
    if (rest.empty()) return false;
    const size_t eol = rest.find('\n');
    line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    return true;
  };

  std::string_view raw;
  while (nextLine(raw)) {
    std::string_view line = TrimBlanks(raw);
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      headerSeen = true;
      if (line == kHeader || line == "REGEDIT4") continue;
      store.damaged = true;  // not the header: read on, but keep the file
    }
    if (line.front() == '[') {
      current = nullptr;
      const size_t close = line.rfind(']');
      if (close != line.size() - 1) {
        store.damaged = true;
        continue;
      }
      const std::string_view inner = line.substr(1, close - 1);
      const std::string_view head = inner.substr(0, rootName.size());
      if (!SameTextCI(head, rootName) || (inner.size() > head.size() && inner[head.size()] != '\\')) {
        store.damaged = true;
        continue;
      }
      const auto path = NormalizePath(std::string(inner.substr(head.size())));
      if (!path) {
        store.damaged = true;
        continue;
      }
      current = &store.Ensure(*path);
      continue;
    }
    TRegValue value;
    std::string_view s = line;
    if (s.front() == '@') {
      s.remove_prefix(1);
    } else if (!ParseQuoted(s, value.name)) {
      store.damaged = true;
      continue;
    }
    s = TrimBlanks(s);
    if (s.empty() || s.front() != '=') {
      store.damaged = true;
      continue;
    }
    s.remove_prefix(1);
    s = TrimBlanks(s);
    // Byte lists go on over several lines, each but the last ending in "\".
    std::string joined;
    if (s.substr(0, 3) == "hex" && !s.empty() && s.back() == '\\') {
      joined.assign(s.substr(0, s.size() - 1));
      bool cut = true;
      std::string_view more;
      while (nextLine(more)) {
        more = TrimBlanks(more);
        if (!more.empty() && more.back() == '\\') {
          joined.append(more.substr(0, more.size() - 1));
          continue;
        }
        joined.append(more);
        cut = false;
        break;
      }
      if (cut) {
        store.damaged = true;
        continue;
      }
      s = joined;
    }
    if (!ParseData(s, value) || !current) {
      store.damaged = true;
      continue;
    }
    current->values.push_back(std::move(value));
  }
  // As when the editor imports a file, a later line sets a value again
  // (under the name's first spelling).
  for (auto& [treeKey, key] : store.keys) {
    if (key.values.size() < 2) continue;
    std::unordered_map<std::string, size_t> seen;
    std::vector<TRegValue> unique;
    for (TRegValue& v : key.values) {
      const auto [it, inserted] = seen.try_emplace(FoldCase(v.name), unique.size());
      if (inserted) {
        unique.push_back(std::move(v));
      } else {
        v.name = std::move(unique[it->second].name);
        unique[it->second] = std::move(v);
      }
    }
    key.values = std::move(unique);
  }
  return store;
}

// ---- writing the file ----

void AppendHexByte(std::string& out, unsigned char b) {
  static const char* const digits = "0123456789abcdef";
  out.push_back(digits[b >> 4]);
  out.push_back(digits[b & 15]);
}

// The length of the well-formed UTF-8 character at s[i], 0 when there is none.
size_t Utf8CharLength(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  return IsValidUtf8(s.substr(i, len)) ? len : 0;
}

void AppendQuoted(std::string& out, std::string_view s) {
  out.push_back('"');
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\\' || c == '"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    size_t len = c >= 0x80 ? Utf8CharLength(s, i) : 0;
    // C1 controls (C2 80 .. C2 9F) are as invisible as the ASCII ones.
    if (len == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0) len = 0;
    if (len > 0) {
      out.append(s.substr(i, len));
      i += len;
      continue;
    }
    out += "\\x";
    AppendHexByte(out, c);
    ++i;
  }
  out.push_back('"');
}

void AppendHexList(std::string& out, std::string_view bytes) {
  size_t lineStart = out.rfind('\n');
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  for (size_t i = 0; i < bytes.size(); ++i) {
    AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
    if (i + 1 == bytes.size()) break;
    out.push_back(',');
    if (out.size() - lineStart >= 77) {
      out += "\\\n  ";
      lineStart = out.size() - 2;
    }
  }
}

std::string SerializeStore(const TStore& store, TRegRoot root) {
  std::string out;
  out += kHeader;
  out += "\n; In quoted texts \\\\ is a backslash, \\\" a quote and \\xHH the byte HH; the file is UTF-8.\n";
  for (const auto& [treeKey, key] : store.keys) {
    if (key.path.empty() && key.values.empty()) continue;
    out += "\n[";
    out += RootName(root);
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\n";
    for (const TRegValue& v : key.values) {
      if (v.name.empty()) {
        out += '@';
      } else {
        AppendQuoted(out, v.name);
      }
      out += '=';
      if (v.type == TRegDataType::String) {
        AppendQuoted(out, v.data);
      } else if (v.type == TRegDataType::Binary) {
        out += "hex:";
        AppendHexList(out, v.data);
      } else if (v.tag == "dword") {
        out += "dword:";
        for (int k = 3; k >= 0; --k) AppendHexByte(out, static_cast<unsigned char>(v.data[static_cast<size_t>(k)]));
      } else {
        out += v.tag;
        out += ':';
        AppendHexList(out, v.data);
      }
      out += '\n';
    }
  }
  return out;
}

// ---- files ----

bool MakeFolders(const std::string& folder) {
  std::string partial;
  size_t start = 0;
  while (start < folder.size()) {
    size_t slash = folder.find('/', start);
    if (slash == std::string::npos) slash = folder.size();
    partial = folder.substr(0, slash);
    start = slash + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads the whole file; a missing file is an empty store, any other failure
// (permissions, a folder, pipe or device of that name) is not.
bool ReadStoreFile(const std::string& path, std::string& out, std::string* reason) {
  return ReadRegularFile(path, out, reason) || errno == ENOENT;
}

// Keeps a damaged store under a name of its own before a good one replaces
// it. The damaged bytes get a second name (a hard link), so the store itself
// stays in place until the new content is renamed over it: a write that
// fails then leaves the store as it was. Where links are not possible the
// store is renamed aside instead. Returns the name given, empty on failure.
std::string SetAside(const std::string& path, bool& moved) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string target = path + ".damaged-" + stamp;
  struct stat st {};
  for (int n = 2; ::lstat(target.c_str(), &st) == 0; ++n) target = path + ".damaged-" + stamp + "-" + std::to_string(n);
  moved = false;
  if (FileOps().Link(path.c_str(), target.c_str()) != 0) {
    if (FileOps().Rename(path.c_str(), target.c_str()) != 0) return {};
    moved = true;
  }
  return target;
}

// The first settings write of the run that failed, and who is to hear of it.
std::mutex gFailureMutex;
std::string gFirstFailure;
std::function<void(const std::string&)> gFailureListener;

bool Failed(const std::string& file, const std::string& reason) {
  std::function<void(const std::string&)> tell;
  std::string message;
  {
    const std::lock_guard<std::mutex> hold(gFailureMutex);
    if (!gFirstFailure.empty()) return false;
    gFirstFailure = "The settings cannot be saved to \"" + file + "\": " + reason + ".";
    message = gFirstFailure;
    tell = gFailureListener;
  }
  if (tell) tell(message);
  return false;
}

// Writers take this lock around read, change and write, so that two of them
// in a row each start from the other's result. The lock file beside the store
// is held to the store's rules: a link planted in a shared folder is not
// followed, and nothing but a regular file is opened.
class TStoreLock {
 public:
  explicit TStoreLock(const std::string& path) : FPath(path + ".lock") {
    FFd = OpenFileInPlace(FPath, 0600, FReason);
    if (FFd < 0) return;
    while (::flock(FFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        FReason = std::strerror(errno);
        ::close(FFd);
        FFd = -1;
        return;
      }
    }
  }
  ~TStoreLock() {
    if (FFd >= 0) ::close(FFd);
  }
  TStoreLock(const TStoreLock&) = delete;
  TStoreLock& operator=(const TStoreLock&) = delete;
  bool Locked() const { return FFd >= 0; }
  // Why the lock could not be taken.
  std::string Failure() const { return "the lock file \"" + FPath + "\" cannot be used (" + FReason + ")"; }

 private:
  std::string FPath;
  int FFd = -1;
  std::string FReason;
};

// The store as last parsed, per root, with the stamp of the file it came
// from. Every read still looks at the file, but parses it again only when
// another write replaced or changed it: a large store made each setting
// read cost a parse of the whole file.
struct TParsedStore {
  TFileStamp stamp;
  std::shared_ptr<const TStore> store;
};
std::mutex gParsedMutex;
TParsedStore gParsed[2];

TParsedStore& ParsedOf(TRegRoot root) { return gParsed[root == TRegRoot::ClassesRoot ? 1 : 0]; }

void KeepParsed(TRegRoot root, const TFileStamp& stamp, std::shared_ptr<const TStore> store) {
  if (!stamp.Exists) return;
  const std::lock_guard<std::mutex> hold(gParsedMutex);
  ParsedOf(root) = TParsedStore{stamp, std::move(store)};
}

// The store now; null when it cannot be read. The stamp is taken before the
// read, so a change during the read only costs one more parse later. A stamp
// only tells a rewrite apart when the file system's time step has passed
// since it was written (two writes of one size within one step may keep it),
// and a writer holding the lock is not to trust it at all: what it writes
// back must be what it holds the lock on.
std::shared_ptr<const TStore> LoadStore(TRegRoot root, bool trustStamp = true, std::string* reason = nullptr) {
  const std::string file = TRegistry::StoreFileName(root);
  const TFileStamp stamp = StampOf(file);
  if (trustStamp && stamp.Exists && !WrittenWithinTimeStep(stamp)) {
    const std::lock_guard<std::mutex> hold(gParsedMutex);
    const TParsedStore& parsed = ParsedOf(root);
    if (parsed.store && parsed.stamp == stamp) return parsed.store;
  }
  std::string text;
  if (!ReadStoreFile(file, text, reason)) return nullptr;
  auto store = std::make_shared<const TStore>(ParseStore(std::move(text), root));
  KeepParsed(root, stamp, store);
  return store;
}

}  // namespace

struct TRegistry::Impl {
  TRegRoot root = TRegRoot::CurrentUser;
  bool open = false;
  std::string path;
  std::shared_ptr<const TStore> snapshot;
  // While UpdateKey runs: the locked store that reads and writes work on.
  TStore* editing = nullptr;
  bool edited = false;

  const TStore* Store() const { return editing ? editing : snapshot.get(); }
  const TRegKey* Current() const { return open && Store() ? Store()->Find(path) : nullptr; }
  const TRegValue* Value(const std::string& name) const {
    const TRegKey* key = Current();
    return key ? key->Find(name) : nullptr;
  }

  // Reads the store anew under the lock, lets change() work on it and writes
  // the result when change() reports a change. False when the store cannot
  // be read or written.
  template <class F>
  bool Modify(F&& change, const std::function<bool(const TStore&)>& keeps = {}) {
    const std::string file = StoreFileName(root);
    if (!MakeFolders(NativeFolderPart(file))) return Failed(file, std::strerror(errno));
    TStoreLock lock(file);
    if (!lock.Locked()) return Failed(file, lock.Failure());
    std::string reason;
    const std::shared_ptr<const TStore> loaded = LoadStore(root, false, &reason);
    if (!loaded) return Failed(file, "it cannot be read (" + reason + ")");
    // A change that would change nothing copies no store.
    if (keeps && keeps(*loaded)) {
      snapshot = loaded;
      return true;
    }
    TStore store = *loaded;
    if (change(store)) {
      std::string aside;
      bool moved = false;
      if (store.damaged) {
        aside = SetAside(file, moved);
        if (aside.empty()) return Failed(file, std::strerror(errno));
      }
      if (!WriteFileAtomically(file, SerializeStore(store, root), reason, 0600)) {
        // The damaged store is still in place (or comes back): nothing was lost.
        if (moved)
          ::rename(aside.c_str(), file.c_str());
        else if (!aside.empty())
          ::unlink(aside.c_str());
        return Failed(file, reason);
      }
      if (!aside.empty()) qWarning("The settings file %s was damaged; it is kept as %s", file.c_str(), aside.c_str());
      store.damaged = false;
      snapshot = std::make_shared<const TStore>(std::move(store));
      // Written under the lock: the file now is this store.
      KeepParsed(root, StampOf(file), snapshot);
    } else {
      snapshot = loaded;
    }
    return true;
  }

  // A change inside UpdateKey goes to its locked store; any other is a
  // read-modify-write of its own.
  template <class F>
  bool Apply(F&& change, const std::function<bool(const TStore&)>& keeps = {}) {
    if (!editing) return Modify(change, keeps);
    if (change(*editing)) edited = true;
    return true;
  }

  void Put(const std::string& name, TRegDataType type, const std::string& data) {
    // A value that is already so costs no copy of the store.
    const auto holds = [&](const TStore& s) {
      const TRegKey* key = s.Find(path);
      const TRegValue* v = key ? key->Find(name) : nullptr;
      return v && v->type == type && v->data == data;
    };
    const auto set = [&](TStore& s) {
      if (holds(s)) return false;
      TRegKey& key = s.Ensure(path);
      if (TRegValue* v = key.Find(name)) {
        v->type = type;
        v->data = data;
        v->tag.clear();
      } else {
        key.values.push_back(TRegValue{name, type, data, {}});
      }
      return true;
    };
    if (!open || !Apply(set, holds)) throw EMorvoError("Failed to set data for '" + name + "'");
  }
};

TRegistry::TRegistry(TRegRoot root) : FImpl(std::make_unique<Impl>()) { FImpl->root = root; }
TRegistry::~TRegistry() = default;

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  if (FImpl->editing) return false;
  CloseKey();
  const auto path = NormalizePath(key);
  if (!path) return false;
  std::shared_ptr<const TStore> store = LoadStore(FImpl->root);
  if (store && (path->empty() || store->Find(*path))) {
    FImpl->snapshot = std::move(store);
  } else {
    if (!canCreate) return false;
    const bool ok = FImpl->Modify([&](TStore& s) {
      bool created = false;
      s.Ensure(*path, &created);
      return created;
    });
    if (!ok) return false;
  }
  FImpl->open = true;
  FImpl->path = *path;
  return true;
}

bool TRegistry::UpdateKey(const std::string& key, const std::function<void()>& Change) {
  if (FImpl->editing) return false;
  CloseKey();
  const auto path = NormalizePath(key);
  if (!path) return false;
  FImpl->open = true;
  FImpl->path = *path;
  struct TEditing {
    Impl& impl;
    ~TEditing() { impl.editing = nullptr; }
  };
  bool ok = false;
  try {
    ok = FImpl->Modify([&](TStore& s) {
      TEditing editing{*FImpl};
      bool created = false;
      s.Ensure(*path, &created);
      FImpl->editing = &s;
      FImpl->edited = created;
      Change();
      return FImpl->edited;
    });
  } catch (...) {
    CloseKey();
    throw;
  }
  if (!ok) CloseKey();
  return ok;
}

void TRegistry::CloseKey() {
  FImpl->open = false;
  FImpl->path.clear();
  FImpl->snapshot.reset();
}

const std::string& TRegistry::CurrentPath() const { return FImpl->path; }

bool TRegistry::KeyExists(const std::string& key) {
  const auto path = NormalizePath(key);
  if (!path) return false;
  if (path->empty()) return true;
  const std::shared_ptr<const TStore> store = LoadStore(FImpl->root);
  return store && store->Find(*path) != nullptr;
}

bool TRegistry::ValueExists(const std::string& name) const { return FImpl->Value(name) != nullptr; }

TRegDataType TRegistry::GetDataType(const std::string& name) const {
  const TRegValue* v = FImpl->Value(name);
  return v ? v->type : TRegDataType::Unknown;
}

std::string TRegistry::ReadString(const std::string& name) const {
  const TRegValue* v = FImpl->Value(name);
  if (!v) return {};
  if (v->type != TRegDataType::String) throw EMorvoError("Invalid data type for '" + name + "'");
  return v->data;
}

std::string TRegistry::ReadBinaryData(const std::string& name) const {
  const TRegValue* v = FImpl->Value(name);
  if (!v) return {};
  // Kinds this program does not write come back as their bytes, as the
  // classic registry object reads them.
  if (v->type == TRegDataType::String) throw EMorvoError("Invalid data type for '" + name + "'");
  return v->data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  FImpl->Put(name, TRegDataType::String, value);
}

void TRegistry::WriteBinaryData(const std::string& name, const std::string& bytes) {
  FImpl->Put(name, TRegDataType::Binary, bytes);
}

bool TRegistry::DeleteValue(const std::string& name) {
  if (!FImpl->open) return false;
  bool existed = false;
  const bool ok = FImpl->Apply([&](TStore& s) {
    const auto it = s.keys.find(TreeKey(FImpl->path));
    if (it == s.keys.end()) return false;
    auto& values = it->second.values;
    for (auto v = values.begin(); v != values.end(); ++v) {
      if (SameTextCI(v->name, name)) {
        values.erase(v);
        existed = true;
        return true;
      }
    }
    return false;
  });
  return ok && existed;
}

bool TRegistry::DeleteKey(const std::string& key) {
  if (FImpl->editing) return false;  // the store is locked by UpdateKey
  const auto path = NormalizePath(key);
  if (!path || path->empty()) return false;
  bool existed = false;
  // The snapshot of an open key must keep its own content; only a store
  // read anew is changed here.
  Impl work;
  work.root = FImpl->root;
  const bool ok = work.Modify([&](TStore& s) {
    const std::string top = TreeKey(*path);
    const auto first = s.keys.find(top);
    if (first == s.keys.end()) return false;
    auto last = std::next(first);
    const std::string below = top + '\x01';
    while (last != s.keys.end() && last->first.compare(0, below.size(), below) == 0) ++last;
    s.keys.erase(first, last);
    existed = true;
    return true;
  });
  if (ok && existed && FImpl->open) FImpl->snapshot = std::move(work.snapshot);
  return ok && existed;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (const TRegKey* key = FImpl->Current())
    for (const TRegValue& v : key->values) names.push_back(v.name);
  return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  std::vector<std::string> names;
  if (!FImpl->open || !FImpl->Store()) return names;
  const std::string prefix = FImpl->path.empty() ? std::string() : TreeKey(FImpl->path) + '\x01';
  const auto& keys = FImpl->Store()->keys;
  for (auto it = keys.lower_bound(prefix); it != keys.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.size() == prefix.size() || it->first.find('\x01', prefix.size()) != std::string::npos) continue;
    const std::string& stored = it->second.path;
    names.push_back(stored.substr(stored.rfind('\\') + 1));
  }
  return names;
}

std::string TRegistry::StoreFolder() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = ::getpwuid(::geteuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Kelbrun/ZIB/";
}

std::string TRegistry::StoreFileName(TRegRoot root) { return StoreFolder() + RootName(root) + ".reg"; }

std::string SettingsWriteFailure() {
  const std::lock_guard<std::mutex> hold(gFailureMutex);
  return gFirstFailure;
}

void SetSettingsWriteFailureListener(std::function<void(const std::string& Message)> Listener) {
  const std::lock_guard<std::mutex> hold(gFailureMutex);
  gFailureListener = std::move(Listener);
}

void ForgetSettingsWriteFailure() {
  const std::lock_guard<std::mutex> hold(gFailureMutex);
  gFirstFailure.clear();
}
