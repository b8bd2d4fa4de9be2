#pragma once

// What the desktop entries of installed programs say about them, for choosing
// and starting the external text editor.

#include <QString>
#include <QStringList>
#include <functional>

struct TDesktopEntry {
  QString Program;        // first word of Exec, found on the search path; '' when none
  bool Terminal = false;  // the program wants a terminal to run in
};

// Hands each key and value of section Section of a desktop file (an entry, a
// mimeapps list, a MIME cache) to Take, comment lines left out, until Take
// returns true or the section ends.
void ForEachDesktopValue(const QString& File, const QString& Section,
                         const std::function<bool(const QString& Key, const QString& Value)>& Take);

// The entry of that id ("gedit.desktop") in the applications folders.
TDesktopEntry ReadDesktopEntry(const QString& Id);

// True when a desktop entry starts Program in a terminal and none starts it
// on its own: a text editor such as vim shows nothing when started without one.
bool ProgramRunsInTerminal(const QString& Program);

// Programs that only hand a file on to the desktop's choice for it, which for
// an object file is this program again.
bool IsFileLauncher(const QString& Program);

// The program and arguments that start Editor, before the file name: the
// editor itself, or the desktop's terminal emulator running it when it needs
// a terminal (and one is installed).
QStringList EditorCommandLine(const QString& Editor);
