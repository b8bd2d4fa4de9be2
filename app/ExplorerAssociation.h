#pragma once

// The association of the seven object-file extensions with this program: the
// file-type keys of the classes root (what the configuration window reads
// back), and the same choice mirrored to the desktop's own association (a
// desktop entry with actions, a MIME package and the per-user defaults), all
// under the XDG folders of the user.

#include <string>

class TRegistry;

struct TMorvoExtension {
  const char* Ext;  // lower case, without the dot
  int IconIndex;    // place of its icon group in the program's icon order
};

// In the order they are registered.
inline constexpr TMorvoExtension kMorvoExtensions[7] = {{"dcl", 2}, {"fun", 8},  {"seg", 11}, {"dev", 4},
                                                        {"chn", 1}, {"map", 10}, {"fmt", 7}};

enum class TDefaultAction { Open, Export, Edit, Package };

struct TAssociationChoice {
  bool Connect = false;
  bool Export = false;
  bool Edit = false;
  bool Package = false;
  TDefaultAction Default = TDefaultAction::Open;
  std::string ExePath;     // full path of this program
  std::string EditorPath;  // the editor, variables already expanded
};

// "Morvo" + upper-case extension + "File".
std::string ProgIdOf(const std::string& Ext);
// The verb the file-type key names as its default action ("Open", ...).
const char* DefaultActionVerb(TDefaultAction Action);

// Command lines of the verbs: the program's path quoted, the file quoted; the
// editor's path is not quoted, as the edit verb has always stored it.
std::string OpenCommandLine(const std::string& ExePath);
std::string ExportCommandLine(const std::string& ExePath);
std::string PackageCommandLine(const std::string& ExePath);
std::string EditCommandLine(const std::string& EditorPath);

// Writes (Connect) or removes the keys of one extension under the classes
// root of ClassesRoot, opening, writing and closing one key at a time. When
// connecting, the user's own "open with" choice of the extension is dropped.
// A failed write passes on as EMorvoError; the keys before it stay written.
void RegisterFileType(TRegistry& ClassesRoot, const std::string& Ext, const TAssociationChoice& Choice, int IconIndex);

// --- the desktop's own association

// File names, under $XDG_DATA_HOME and $XDG_CONFIG_HOME.
inline constexpr const char* kDesktopEntryName = "morvo-reader.desktop";
std::string DesktopEntryPath();  // <data>/applications/morvo-reader.desktop
std::string MimePackagePath();   // <data>/mime/packages/morvo-reader.xml
std::string MimeAppsListPath();  // <config>/mimeapps.list
// "application/x-morvo-dcl" and so on.
std::string MimeTypeOf(const std::string& Ext);

// Pictures installed into the user's icon theme: each type shows the icon
// group its extension's DefaultIcon names, the desktop entry the program's own.
inline constexpr const char* kAppIconName = "morvo-reader";
std::string MimeIconNameOf(const std::string& Ext);  // "application-x-morvo-dcl"
std::string MimeIconPath(const std::string& Ext);    // <data>/icons/hicolor/scalable/mimetypes/<name>.svg
std::string AppIconPath();                           // <data>/icons/hicolor/scalable/apps/morvo-reader.svg

// The texts written; exposed so they can be checked on their own.
std::string DesktopEntryText(const TAssociationChoice& Choice);
std::string MimePackageText();
// The mimeapps.list text Current with this program's defaults set (Connect)
// or taken out, everything else kept as it was.
std::string UpdatedMimeAppsList(const std::string& Current, bool Connect);

// Writes or removes the desktop's association for Choice and refreshes the
// desktop's caches when their tools are installed. The defaults list is
// written last and changed first, so the desktop never points at an entry
// that is not there. A file that cannot be read or written stops the step:
// the files it changed get their earlier content back, the failure is shown
// in a message box and the result is false. Never raises: the desktop side
// is a convenience next to the classes root, not part of it.
bool MirrorDesktopAssociation(const TAssociationChoice& Choice);
