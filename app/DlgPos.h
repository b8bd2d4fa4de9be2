#pragma once

// Window positions: left, top, width and height of a window kept as one
// 16-byte binary value per window name under "software\Kelbrun\ZIB\DlgPos".

#include <QString>

class QWidget;

// While true, windows store their positions; the configuration window's reset clears it.
extern bool gSaveDlgPos;

void SaveDlgPos(QWidget* Window, const QString& Name);
void LoadDlgPos(QWidget* Window, const QString& Name);
