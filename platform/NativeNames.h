#pragma once

// File names of this machine are bytes, and not every name is UTF-8: a file
// from a Windows share or an old archive may carry windows-1252 bytes. Qt
// decodes names as UTF-8 and loses such bytes, so the program turns a name
// into a QString and back through this one mapping only: well-formed UTF-8
// becomes its characters, every other byte B becomes the lone surrogate
// U+DC00 + B (U+DC80..U+DCFF), which no decoded character can be. The way
// back gives the same bytes again.

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

class QUrl;

QString NameFromNative(std::string_view Bytes);
// A lone surrogate that stands for no byte is written as U+FFFD.
std::string NativeFromName(QStringView Name);
// The name for people to read: the bytes that are not UTF-8 are read as
// windows-1252, where such names mostly come from. Never use it as a name.
QString ShownName(QStringView Name);

// The shown name of a name given as bytes, in UTF-8 (the bytes themselves
// when they are UTF-8): for names that leave this system, in archives.
std::string NativeNameAsUtf8(std::string_view Bytes);

// The program's arguments after Qt took its own, as names.
QStringList NamesFromArguments(int Argc, char** Argv);
// The name made full against the working folder and cleaned of "." and ".."
// parts, without looking at the disk.
QString AbsoluteName(const QString& Name);
// The path of a local file URL (a drop, a file manager's list) as a name:
// its percent-encoded bytes, whatever their encoding.
QString NameFromUrl(const QUrl& Url);

// What stat() says of the name (links followed).
enum class TNameKind { Missing, File, Folder, Other };
TNameKind KindOfName(const QString& Name);
// True when the folder holds an entry of that name, a dangling link too.
bool NameExists(const QString& Name);

// Starts Command (program, then arguments) on its own, nobody waiting for it,
// with every argument's own bytes (QProcess passes names as UTF-8). False,
// with the system's words in Reason, when the program could not be started.
bool StartDetachedWithNames(const QStringList& Command, std::string* Reason = nullptr);
