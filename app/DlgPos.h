#pragma once

// Window positions: left, top, width and height of a window kept as one
// 16-byte binary value per window name under "software\Kelbrun\ZIB\DlgPos".

#include <QSize>
#include <QString>

class QWidget;

// While true, windows store their positions; the configuration window's reset clears it.
extern bool gSaveDlgPos;

inline constexpr const char* kDlgPosKey = "software\\Kelbrun\\ZIB\\DlgPos";

// Name is the value name; empty takes the window's object name. A window
// is stored only once it was shown, or once a stored place was loaded for
// it (loading starts watching for its showing). Registry
// failures (a value of another type, one longer than 16 bytes, a store that
// cannot be written) pass to the caller as EMorvoError.
void SaveDlgPos(QWidget* Window, const QString& Name);
void LoadDlgPos(QWidget* Window, const QString& Name);

// The same for event handlers: a failure goes to the application's error
// report (ShowApplicationError) instead of passing on.
void SaveDlgPosReporting(QWidget* Window, const QString& Name);
void LoadDlgPosReporting(QWidget* Window, const QString& Name);

// Tests stand in a primary screen of their own (size in pixels, logical
// dots per inch); an empty size returns to the real screen.
void SetDlgPosScreenOverride(QSize Size, int LogicalDpi);
