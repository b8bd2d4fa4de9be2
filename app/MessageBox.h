#pragma once

// Message boxes with the classic style flags, and the routine all of the
// program's own messages go through.

#include <QString>
#include <functional>
#include <string>

enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_ICONHAND = 0x10,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Shows Text under Caption, both stored as UTF-8 (ill-formed UTF-8 shows as
// the empty text), owned by no window of its own (the application's), with
// Flags passed on unchanged. Returns the ID of the button that closed it.
int ShowMessageBoxW(const std::string& TextUtf8, const std::string& CaptionUtf8, unsigned Flags);

// The application's standard error report: a failure that reached an event
// handler is shown with the application title as caption and the error icon.
void ShowApplicationError(const std::string& Message);

// Runs a command reached from an event handler (a menu, button, key or a
// view's signal); a failure goes to ShowApplicationError instead of through
// the event loop, which would end the program.
void RunReportingFailure(const std::function<void()>& Command);
