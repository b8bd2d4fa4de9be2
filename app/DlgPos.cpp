#include "DlgPos.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <exception>

#include "MessageBox.h"
#include "MorvoError.h"
#include "Registry.h"

bool gSaveDlgPos = true;

namespace {

QSize gScreenOverride;
int gDpiOverride = 96;

struct TPosRecord {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

std::string ValueName(QWidget* Window, const QString& Name) {
  return (Name.isEmpty() ? Window->objectName() : Name).toStdString();
}

void PutInt32(std::string& Out, int32_t V) {
  const auto U = static_cast<uint32_t>(V);
  for (int i = 0; i < 4; ++i) Out.push_back(static_cast<char>((U >> (8 * i)) & 0xFF));
}

// Fields the bytes do not reach stay 0, as the record started.
int32_t GetInt32(const std::string& Bytes, size_t Offset) {
  uint32_t U = 0;
  for (size_t i = 0; i < 4 && Offset + i < Bytes.size(); ++i)
    U |= static_cast<uint32_t>(static_cast<unsigned char>(Bytes[Offset + i])) << (8 * i);
  return static_cast<int32_t>(U);
}

QSize ScreenSize() {
  if (gScreenOverride.isValid()) return gScreenOverride;
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(1024, 768);
}

int ScreenDpi() {
  if (gScreenOverride.isValid()) return gDpiOverride;
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

}  // namespace

void SaveDlgPos(QWidget* Window, const QString& Name) {
  if (!gSaveDlgPos || !Window) return;
  const QRect r = Window->frameGeometry();
  std::string bytes;
  PutInt32(bytes, r.left());
  PutInt32(bytes, r.top());
  PutInt32(bytes, r.width());
  PutInt32(bytes, r.height());
  TRegistry reg;
  reg.OpenKey(kDlgPosKey, true);
  reg.WriteBinaryData(ValueName(Window, Name), bytes);
}

void LoadDlgPos(QWidget* Window, const QString& Name) {
  if (!Window) return;
  const std::string name = ValueName(Window, Name);
  TPosRecord rec;
  {
    TRegistry reg;
    if (reg.OpenKey(kDlgPosKey, true) && reg.ValueExists(name)) {
      const std::string bytes = reg.ReadBinaryData(name);
      // Like a read into a fixed 16-byte buffer: more does not fit.
      if (bytes.size() > 16) throw EMorvoError("Invalid data type for '" + name + "'");
      rec.Left = GetInt32(bytes, 0);
      rec.Top = GetInt32(bytes, 4);
      rec.Width = GetInt32(bytes, 8);
      rec.Height = GetInt32(bytes, 12);
    }
  }
  const QRect current = Window->frameGeometry();
  if (rec.Width < 150) rec.Width = current.width();
  if (rec.Height < 50) rec.Height = current.height();
  const QSize screen = ScreenSize();
  if (rec.Left > screen.width() - 50) rec.Left = current.left();
  if (rec.Top > screen.height() - 50) rec.Top = current.top();
  if (rec.Left > 0 && rec.Top > 0) {
    Window->move(rec.Left, rec.Top);
    if (ScreenDpi() < 100) {
      // The record holds outer sizes; resize takes the client area.
      const QSize frameExtra = current.size() - Window->geometry().size();
      Window->resize(rec.Width - frameExtra.width(), rec.Height - frameExtra.height());
    }
  }
}

void SaveDlgPosReporting(QWidget* Window, const QString& Name) {
  try {
    SaveDlgPos(Window, Name);
  } catch (const std::exception& e) {
    ShowApplicationError(e.what());
  }
}

void LoadDlgPosReporting(QWidget* Window, const QString& Name) {
  try {
    LoadDlgPos(Window, Name);
  } catch (const std::exception& e) {
    ShowApplicationError(e.what());
  }
}

void SetDlgPosScreenOverride(QSize Size, int LogicalDpi) {
  gScreenOverride = Size;
  gDpiOverride = LogicalDpi;
}
