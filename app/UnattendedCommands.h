#pragma once

#include <QStringList>
#include <cstdlib>
#include <string>

// The command-line switches that run without the main window ("/e", ...).
// Returns true when Args[1] is such a switch and it was carried out; the
// program then ends with *ExitStatus: for "/e" and "/p" 0 when the export or
// the archive was written, 1 when nothing was written because of an error
// (the reason is on the error output); 0 for the others.
bool RunUnattendedCommand(const QStringList& Args, int* ExitStatus = nullptr);

// The process ends as soon as the command returns (main says so): "/e" and
// "/p" then leave their load to the system instead of freeing it object by
// object (KeepLoadToProcessEnd), once their files are written.
void EndProcessWithCommand();

// One line "<application>: <Message>." on the error output.
void ReportOnErrorOutput(const std::string& Message);

// Reports a failure of an unattended job: on the error output when there is
// no screen to show it, and in the application's error box.
void ReportCommandError(const std::string& Message);

// Qt's notices about the session (no XDG_RUNTIME_DIR, say) are no messages
// of this program; the error output of "/e" and "/p" carries only its own.
void QuietenSessionNotices();

// A switch that runs its job without any window of its own ("/e", "/p", in
// any case) needs no screen: started where there is no display at all, as
// scripts are, the program takes the offscreen platform instead of failing to
// start. A platform chosen by the caller stays. Call before the application
// object exists.
// The job letter of such a switch as the command line gives it ('e' or
// 'p'), or 0 for any other argument.
inline char WindowlessJob(int argc, char** argv) {
  if (argc < 2 || !argv[1]) return 0;
  const char* sw = argv[1];
  if (sw[0] != '/' || sw[1] == 0 || sw[2] != 0) return 0;
  const char job = sw[1] == 'E' ? 'e' : sw[1] == 'P' ? 'p' : sw[1];
  return job == 'e' || job == 'p' ? job : 0;
}

inline void PrepareUnattendedPlatform(int argc, char** argv) {
  if (!WindowlessJob(argc, argv)) return;
  QuietenSessionNotices();
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  if (set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY")) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}
