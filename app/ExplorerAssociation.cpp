#include "ExplorerAssociation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "DesktopEntries.h"
#include "IconGroups.h"
#include "MessageBox.h"
#include "Registry.h"
#include "StringUtil.h"
#include "WholeFile.h"

namespace {

// Each extension shows the group of its own name or that group's second variant.
constexpr bool ShowsGroupOfItsName(const TMorvoExtension& E) {
  if (E.IconIndex < 0 || E.IconIndex >= kIconGroupCount) return false;
  const char* g = kIconGroupNames[E.IconIndex];
  for (const char* x = E.Ext; *x; ++x, ++g)
    if (*g != *x - 'a' + 'A') return false;
  return *g == 0 || (g[0] == '2' && g[1] == 0);
}
constexpr bool AllShowTheirGroups() {
  for (const TMorvoExtension& e : kMorvoExtensions)
    if (!ShowsGroupOfItsName(e)) return false;
  return true;
}
static_assert(AllShowTheirGroups());

const char* const kExplorerFileExts = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.";

std::string Quoted(const std::string& S) { return "\"" + S + "\""; }

// One key at a time: open with create, write its default value, close.
void WriteDefault(TRegistry& Reg, const std::string& Key, const std::string& Value) {
  Reg.OpenKey(Key, true);
  Reg.WriteString("", Value);
  Reg.CloseKey();
}

void WriteVerb(TRegistry& Reg, const std::string& ProgId, const std::string& Verb, const std::string& Caption,
               const std::string& Command) {
  WriteDefault(Reg, ProgId + "\\shell\\" + Verb, Caption);
  WriteDefault(Reg, ProgId + "\\shell\\" + Verb + "\\command", Command);
}

// --- desktop entries

// An argument of an Exec line: quoted when it holds anything the launcher
// would take apart, with the four characters that stay special inside
// quotes escaped; "%" doubled so no path is read as a field code.
std::string ExecArgument(const std::string& Arg) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string escaped;
  bool quote = Arg.empty();
  for (char c : Arg) {
    if (kReserved.find(c) != std::string::npos) quote = true;
    if (c == '"' || c == '`' || c == '$' || c == '\\') escaped += '\\';
    escaped += c;
  }
  std::string out = quote ? Quoted(escaped) : Arg;
  return ReplaceAll(out, "%", "%%");
}

// A value of a desktop file: backslashes doubled (the file's own escape
// level, on top of the Exec quoting), line breaks written as escapes.
std::string DesktopValue(const std::string& S) {
  std::string out;
  for (char c : S) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string ExecLine(const std::string& Program, const std::string& Switch) {
  std::string line = ExecArgument(Program);
  if (!Switch.empty()) line += " " + Switch;
  return DesktopValue(line + " %f");
}

// A terminal editor runs inside the desktop's terminal emulator, else
// nothing would show.
std::string EditExecLine(const std::string& EditorPath) {
  std::string line;
  for (const QString& part : EditorCommandLine(QString::fromStdString(EditorPath)))
    line += ExecArgument(part.toStdString()) + " ";
  return DesktopValue(line + "%f");
}

std::string XmlText(const std::string& S) {
  std::string out;
  for (char c : S) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

std::string DataHome() { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString(); }
std::string ConfigHome() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
}

// The desktop's caches are only refreshed where their tools are installed;
// the files written are valid without them.
void RunIfPresent(const QString& Tool, const QStringList& Args) {
  const QString program = QStandardPaths::findExecutable(Tool);
  if (program.isEmpty()) return;
  QProcess process;
  process.setProgram(program);
  process.setArguments(Args);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (process.waitForStarted(5000)) process.waitForFinished(20000);
}

// Removes Folder and each folder above it, up to the data folder, while they are empty.
void RemoveEmptyFolders(QDir Folder) {
  const QString root = QDir::cleanPath(QString::fromStdString(DataHome())) + "/";
  while (Folder.exists() && QDir::cleanPath(Folder.absolutePath()).startsWith(root) &&
         Folder.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
    const QString name = Folder.dirName();
    if (!Folder.cdUp() || !Folder.rmdir(name)) break;
  }
}

// A file written here goes with the folders it leaves empty.
void RemoveWithEmptyFolders(const std::string& Path) {
  const QString path = QString::fromStdString(Path);
  QFile::remove(path);
  RemoveEmptyFolders(QFileInfo(path).absoluteDir());
}

// A drawing of the resources.
std::string ReadResource(const QString& Name) {
  QFile file(Name);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

// A file of the desktop's as it is now: absent reads as empty; one that
// exists but cannot be read (no permission, a pipe or device in its place)
// fails, since writing it anew would lose what it holds.
bool ReadDesktopFile(const std::string& Path, std::optional<std::string>& Bytes, std::string& Error) {
  std::string bytes;
  std::string reason;
  if (ReadRegularFile(Path, bytes, &reason)) {
    Bytes = std::move(bytes);
    return true;
  }
  if (errno == ENOENT) {
    Bytes.reset();
    return true;
  }
  Error = "Cannot read file \"" + Path + "\". " + reason;
  return false;
}

// The files one association step changes, each with what it held before, so
// that a step that fails halfway puts back the earlier state.
class TDesktopChange {
 public:
  ~TDesktopChange() {
    if (FDone) return;
    for (auto it = FBefore.rbegin(); it != FBefore.rend(); ++it) {
      const QFileInfo file(QString::fromStdString(it->first));
      std::string reason;
      if (it->second && QDir().mkpath(file.absolutePath())) {
        WriteFileAtomically(it->first, *it->second, reason);
      } else if (!it->second) {
        QFile::remove(file.filePath());
        RemoveEmptyFolders(file.absoluteDir());
      }
    }
    // The deepest first; one that holds something now stays.
    for (auto it = FMadeFolders.rbegin(); it != FMadeFolders.rend(); ++it) QDir().rmdir(*it);
  }
  // Replaces Path's content; false with Error set when it cannot be read or written.
  bool Write(const std::string& Path, const std::string& Bytes) {
    std::optional<std::string> old;
    if (!ReadDesktopFile(Path, old, FError)) return false;
    if (old && *old == Bytes) return true;
    MakeFolderOf(Path);
    std::string reason;
    if (!WriteFileAtomically(Path, Bytes, reason)) {
      FError = CannotWriteFile(Path, reason);
      return false;
    }
    FBefore.emplace_back(Path, std::move(old));
    return true;
  }
  // Removes Path (and the folders it leaves empty); a missing file is gone already.
  bool Remove(const std::string& Path) {
    std::optional<std::string> old;
    if (!ReadDesktopFile(Path, old, FError)) return false;
    if (!old) return true;
    if (::unlink(Path.c_str()) != 0 && errno != ENOENT) {
      FError = "Cannot delete file \"" + Path + "\". " + std::strerror(errno);
      return false;
    }
    FBefore.emplace_back(Path, std::move(old));
    RemoveEmptyFolders(QFileInfo(QString::fromStdString(Path)).absoluteDir());
    return true;
  }
  void Done() { FDone = true; }
  const std::string& Error() const { return FError; }

 private:
  // Makes the folders Path needs, noting those that were not there.
  void MakeFolderOf(const std::string& Path) {
    const QString folder = QFileInfo(QString::fromStdString(Path)).absolutePath();
    QStringList missing;
    for (QString f = folder; !QFileInfo::exists(f) && f != QFileInfo(f).absolutePath(); f = QFileInfo(f).absolutePath())
      missing.prepend(f);
    QDir().mkpath(folder);
    for (const QString& f : missing)
      if (QFileInfo(f).isDir()) FMadeFolders.push_back(f);
  }

  std::vector<QString> FMadeFolders;  // in the order they were made
  std::vector<std::pair<std::string, std::optional<std::string>>> FBefore;
  std::string FError;
  bool FDone = false;
};

// The caches are rebuilt from what is left; where nothing is left they were
// built only for this program's files and go as well.
void RefreshDesktopCaches() {
  const QString data = QString::fromStdString(DataHome());
  const QDir mime(data + "/mime");
  if (mime.exists() && QDir(mime.filePath("packages")).isEmpty()) {
    static const char* const kGenerated[] = {"aliases",   "generic-icons", "globs",      "globs2",
                                             "icons",     "magic",         "mime.cache", "subclasses",
                                             "treemagic", "types",         "version",    "XMLnamespaces"};
    for (const char* name : kGenerated) QFile::remove(mime.filePath(name));
    for (const TMorvoExtension& e : kMorvoExtensions)
      RemoveWithEmptyFolders(mime.filePath(QString::fromStdString(MimeTypeOf(e.Ext)) + ".xml").toStdString());
    RemoveEmptyFolders(QDir(mime.filePath("packages")));
    RemoveEmptyFolders(mime);
  } else if (mime.exists()) {
    RunIfPresent("update-mime-database", {mime.path()});
  }
  const QDir apps(data + "/applications");
  if (!apps.exists()) return;
  if (apps.entryList({"*.desktop"}, QDir::Files).isEmpty())
    RemoveWithEmptyFolders(apps.filePath("mimeinfo.cache").toStdString());
  else
    RunIfPresent("update-desktop-database", {apps.path()});
}

}  // namespace

std::string ProgIdOf(const std::string& Ext) { return "Morvo" + UpperAscii(Ext) + "File"; }

const char* DefaultActionVerb(TDefaultAction Action) {
  switch (Action) {
    case TDefaultAction::Export:
      return "Export";
    case TDefaultAction::Edit:
      return "Edit";
    case TDefaultAction::Package:
      return "Package";
    case TDefaultAction::Open:
      break;
  }
  return "Open";
}

std::string OpenCommandLine(const std::string& ExePath) { return Quoted(ExePath) + " " + Quoted("%1"); }
std::string ExportCommandLine(const std::string& ExePath) { return Quoted(ExePath) + " /E " + Quoted("%1"); }
std::string PackageCommandLine(const std::string& ExePath) { return Quoted(ExePath) + " /P " + Quoted("%1"); }
std::string EditCommandLine(const std::string& EditorPath) { return EditorPath + " " + Quoted("%1"); }

void RegisterFileType(TRegistry& ClassesRoot, const std::string& Ext, const TAssociationChoice& Choice, int IconIndex) {
  const std::string progId = ProgIdOf(Ext);
  const std::string ext = UpperAscii(Ext);
  if (!Choice.Connect) {
    // Whatever program the extension pointed to, it is ours no more.
    ClassesRoot.DeleteKey(progId);
    ClassesRoot.DeleteKey("." + Ext);
    return;
  }

  {
    // The user's own "open with" choice would hide the association.
    TRegistry user(TRegRoot::CurrentUser);
    if (user.OpenKey(kExplorerFileExts + Ext, true)) user.DeleteValue("Application");
  }

  WriteDefault(ClassesRoot, "." + Ext, progId);
  WriteDefault(ClassesRoot, progId, "Morvo " + ext + " File");
  WriteDefault(ClassesRoot, progId + "\\DefaultIcon", Choice.ExePath + "," + std::to_string(IconIndex));
  WriteDefault(ClassesRoot, progId + "\\shell", DefaultActionVerb(Choice.Default));
  WriteVerb(ClassesRoot, progId, "Open", "&Open in ZIB", OpenCommandLine(Choice.ExePath));
  if (Choice.Export)
    WriteVerb(ClassesRoot, progId, "Export", "ZIB E&xport", ExportCommandLine(Choice.ExePath));
  else
    ClassesRoot.DeleteKey(progId + "\\shell\\Export");
  if (Choice.Package)
    WriteVerb(ClassesRoot, progId, "Package", "ZIB &Package", PackageCommandLine(Choice.ExePath));
  else
    ClassesRoot.DeleteKey(progId + "\\shell\\Package");
  if (Choice.Edit)
    WriteVerb(ClassesRoot, progId, "Edit", "&Edit in Textedit", EditCommandLine(Choice.EditorPath));
  else
    ClassesRoot.DeleteKey(progId + "\\shell\\Edit");
}

// --- the desktop's own association

std::string DesktopEntryPath() { return DataHome() + "/applications/" + kDesktopEntryName; }
std::string MimePackagePath() { return DataHome() + "/mime/packages/morvo-reader.xml"; }
std::string MimeAppsListPath() { return ConfigHome() + "/mimeapps.list"; }
std::string MimeTypeOf(const std::string& Ext) { return "application/x-morvo-" + LowerAscii(Ext); }
std::string MimeIconNameOf(const std::string& Ext) { return "application-x-morvo-" + LowerAscii(Ext); }
std::string MimeIconPath(const std::string& Ext) {
  return DataHome() + "/icons/hicolor/scalable/mimetypes/" + MimeIconNameOf(Ext) + ".svg";
}
std::string AppIconPath() { return DataHome() + "/icons/hicolor/scalable/apps/" + kAppIconName + ".svg"; }

std::string DesktopEntryText(const TAssociationChoice& Choice) {
  struct TAction {
    const char* Id;
    const char* Name;
    std::string Exec;
    bool On;
  };
  // The editor's command line is looked for only when its row is shown.
  const bool edit = Choice.Edit && !Choice.EditorPath.empty();
  const TAction actions[] = {
      {"Open", "Open in ZIB", ExecLine(Choice.ExePath, ""), true},
      {"Export", "ZIB Export", ExecLine(Choice.ExePath, "/E"), Choice.Export},
      {"Package", "ZIB Package", ExecLine(Choice.ExePath, "/P"), Choice.Package},
      {"Edit", "Edit in Textedit", edit ? EditExecLine(Choice.EditorPath) : std::string(), edit},
  };
  std::string mimeTypes;
  for (const TMorvoExtension& e : kMorvoExtensions) mimeTypes += MimeTypeOf(e.Ext) + ";";
  std::string ids;
  std::string defaultExec = actions[0].Exec;
  for (const TAction& a : actions) {
    if (!a.On) continue;
    ids += std::string(a.Id) + ";";
    if (a.Id == std::string(DefaultActionVerb(Choice.Default))) defaultExec = a.Exec;
  }

  // Launched by opening a file only, so it stays out of the menus.
  std::string text =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Version=1.0\n"
      "Name=Morvo Object Reader\n"
      "Comment=Browse design object files\n"
      "Icon=" +
      std::string(kAppIconName) +
      "\n"
      "Exec=" +
      defaultExec +
      "\n"
      "NoDisplay=true\n"
      "Terminal=false\n"
      "MimeType=" +
      mimeTypes + "\nActions=" + ids + "\n";
  for (const TAction& a : actions) {
    if (!a.On) continue;
    text += "\n[Desktop Action " + std::string(a.Id) + "]\nName=" + a.Name + "\nExec=" + a.Exec + "\n";
  }
  return text;
}

std::string MimePackageText() {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const TMorvoExtension& e : kMorvoExtensions) {
    const std::string ext = e.Ext;
    text += "  <mime-type type=\"" + MimeTypeOf(ext) + "\">\n";
    text += "    <comment>" + XmlText("Morvo " + UpperAscii(ext) + " File") + "</comment>\n";
    text += "    <icon name=\"" + MimeIconNameOf(ext) + "\"/>\n";
    text += "    <sub-class-of type=\"text/plain\"/>\n";
    text += "    <glob pattern=\"*." + ext + "\"/>\n";
    text += "  </mime-type>\n";
  }
  text += "</mime-info>\n";
  return text;
}

std::string UpdatedMimeAppsList(const std::string& Current, bool Connect) {
  const std::string self = kDesktopEntryName;
  static const char* const kSections[2] = {"[Default Applications]", "[Added Associations]"};
  std::vector<std::string> lines = SplitLines(Current);

  // Our entry is taken out of every list of our types first; connecting then
  // puts it in front, so it becomes the default without dropping the others.
  std::string section;
  std::vector<std::string> kept;
  // Where the current section's header stands in kept, and whether our
  // entries were all it held: such a section goes with them.
  size_t header = std::string::npos;
  bool heldOurs = false;
  auto dropSectionLeftEmpty = [&] {
    if (Connect || header == std::string::npos || !heldOurs) return;
    for (size_t i = header + 1; i < kept.size(); ++i)
      if (!Trim(kept[i]).empty()) return;
    // With the blank line that set it apart, as connecting wrote it.
    const size_t from = header > 0 && Trim(kept[header - 1]).empty() ? header - 1 : header;
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(from), kept.end());
  };
  for (const std::string& raw : lines) {
    const std::string line = Trim(raw);
    if (StartsWith(line, "[")) {
      dropSectionLeftEmpty();
      section = line;
      header = kept.size();
      heldOurs = false;
      kept.push_back(raw);
      continue;
    }
    const size_t eq = line.find('=');
    bool ours = false;
    if (eq != std::string::npos && (section == kSections[0] || section == kSections[1])) {
      const std::string key = Trim(line.substr(0, eq));
      for (const TMorvoExtension& e : kMorvoExtensions) ours = ours || key == MimeTypeOf(e.Ext);
      if (ours) {
        heldOurs = true;
        std::string rest;
        std::string value = line.substr(eq + 1);
        size_t start = 0;
        while (start <= value.size()) {
          size_t semi = value.find(';', start);
          if (semi == std::string::npos) semi = value.size();
          const std::string entry = Trim(value.substr(start, semi - start));
          if (!entry.empty() && entry != self) rest += entry + ";";
          start = semi + 1;
        }
        if (!rest.empty()) kept.push_back(key + "=" + rest);
        continue;
      }
    }
    kept.push_back(raw);
  }
  dropSectionLeftEmpty();

  if (Connect) {
    for (const char* wanted : kSections) {
      // Find the section, or add it at the end.
      size_t at = kept.size();
      for (size_t i = 0; i < kept.size(); ++i)
        if (Trim(kept[i]) == wanted) at = i;
      if (at == kept.size()) {
        if (!kept.empty() && !Trim(kept.back()).empty()) kept.push_back("");
        kept.push_back(wanted);
      }
      for (size_t i = 0; i < kept.size(); ++i) {
        if (Trim(kept[i]) != wanted) continue;
        std::vector<std::string> add;
        for (const TMorvoExtension& e : kMorvoExtensions) {
          const std::string key = MimeTypeOf(e.Ext);
          bool merged = false;
          for (size_t j = i + 1; j < kept.size() && !StartsWith(Trim(kept[j]), "["); ++j) {
            const std::string l = Trim(kept[j]);
            if (StartsWith(l, key + "=")) {
              kept[j] = key + "=" + self + ";" + l.substr(key.size() + 1);
              merged = true;
            }
          }
          if (!merged) add.push_back(key + "=" + self + ";");
        }
        kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(i) + 1, add.begin(), add.end());
        break;
      }
    }
  }

  std::string out;
  for (const std::string& l : kept) out += l + "\n";
  return out;
}

namespace {
// One step of the association, all or nothing; the error is empty on success.
std::string ChangeDesktopFiles(const TAssociationChoice& Choice) {
  const std::string listPath = MimeAppsListPath();
  std::optional<std::string> current;
  std::string error;
  if (!ReadDesktopFile(listPath, current, error)) return error;
  const std::string before = current.value_or(std::string());
  const std::string updated = UpdatedMimeAppsList(before, Choice.Connect);
  TDesktopChange change;
  const auto icon = [&change](const std::string& Path, int Group) {
    const std::string drawing = ReadResource(IconGroupResource(Group));
    return drawing.empty() || change.Write(Path, drawing);
  };
  // The list names the desktop entry, so it is written after the files it
  // points to and changed before they go.
  bool ok = true;
  if (Choice.Connect) {
    for (const TMorvoExtension& e : kMorvoExtensions) ok = ok && icon(MimeIconPath(e.Ext), e.IconIndex);
    ok = ok && icon(AppIconPath(), kMainIconGroup) && change.Write(MimePackagePath(), MimePackageText()) &&
         change.Write(DesktopEntryPath(), DesktopEntryText(Choice)) &&
         (updated == before || change.Write(listPath, updated));
  } else {
    // A list that held nothing but our defaults was written by us.
    if (current && updated != before)
      ok = Trim(updated).empty() ? change.Remove(listPath) : change.Write(listPath, updated);
    ok = ok && change.Remove(DesktopEntryPath()) && change.Remove(MimePackagePath());
    for (const TMorvoExtension& e : kMorvoExtensions) ok = ok && change.Remove(MimeIconPath(e.Ext));
    ok = ok && change.Remove(AppIconPath());
  }
  if (!ok) return change.Error();
  change.Done();
  return {};
}
}  // namespace

bool MirrorDesktopAssociation(const TAssociationChoice& Choice) {
  std::string error;
  try {
    error = ChangeDesktopFiles(Choice);
    if (error.empty()) RefreshDesktopCaches();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error.empty()) return true;
  ShowApplicationError("The desktop's file association was left as it was. " + error);
  return false;
}
