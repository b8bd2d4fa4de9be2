#include "DlgPos.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
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

// A window manager frames a window only after it is shown, and only then is
// the outer size known; until then the stored outer size stands in for the
// inner one. Once the frame is there the inner size is made smaller by it,
// so the window keeps the outer size it was closed with. Where no frame ever
// comes (off screen, a desktop without decorations) nothing changes.
class TFrameRestore : public QObject {
 public:
  TFrameRestore(QWidget* Window, QPoint Pos, int Width, int Height)
      : QObject(Window), FWindow(Window), FPos(Pos), FWidth(Width), FHeight(Height) {
    Window->setProperty(kPendingProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    FTimer.setInterval(15);
    connect(&FTimer, &QTimer::timeout, this, &TFrameRestore::Poll);
    Window->installEventFilter(this);
    if (Window->isVisible()) Start();
  }
  static void Cancel(QWidget* Window) {
    if (QObject* pending = Window->property(kPendingProperty).value<QObject*>()) delete pending;
    Window->setProperty(kPendingProperty, QVariant());
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == FWindow && Event->type() == QEvent::Show) Start();
    return false;
  }

 private:
  static constexpr const char* kPendingProperty = "morvoPendingFrameRestore";
  QPointer<QWidget> FWindow;
  QPoint FPos;
  int FWidth, FHeight;  // outer sizes to reach; 0 keeps the inner one
  QTimer FTimer;
  QElapsedTimer FSince;

  void Start() {
    FSince.start();
    FTimer.start();
  }
  // The frame comes with the window manager's answer to the mapping, which
  // no widget event announces reliably; on a busy desktop it may take seconds.
  void Poll() {
    if (!FWindow || FSince.elapsed() > 10000) return Finish();
    // Asked before the window manager has taken the window in, the frame
    // would be remembered as none.
    if (!FWindow->windowHandle() || !FWindow->windowHandle()->isExposed()) return;
    const QRect outer = FWindow->frameGeometry();
    const QRect inner = FWindow->geometry();
    if (outer == inner) return;  // not framed yet
    const QSize extra = outer.size() - inner.size();
    FWindow->resize(FWidth > 0 ? FWidth - extra.width() : inner.width(),
                    FHeight > 0 ? FHeight - extra.height() : inner.height());
    FWindow->move(FPos);
    Finish();
  }
  void Finish() {
    FTimer.stop();
    if (FWindow) FWindow->setProperty(kPendingProperty, QVariant());
    deleteLater();
  }
};

// A window's place is worth storing once the window was shown, or once a
// stored place was given to it; the place of a window never shown is only
// the designed one, and storing it would lose the user's.
constexpr const char* kPlaceKnownProperty = "morvoPlaceKnown";
constexpr const char* kShowWatchedProperty = "morvoShowWatched";

class TShowWatch : public QObject {
 public:
  explicit TShowWatch(QWidget* Window) : QObject(Window) { Window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Show) Watched->setProperty(kPlaceKnownProperty, true);
    return false;
  }
};

void WatchShowing(QWidget* Window) {
  if (Window->isVisible()) Window->setProperty(kPlaceKnownProperty, true);
  if (Window->property(kShowWatchedProperty).toBool()) return;
  Window->setProperty(kShowWatchedProperty, true);
  new TShowWatch(Window);
}

bool PlaceKnown(QWidget* Window) { return Window->isVisible() || Window->property(kPlaceKnownProperty).toBool(); }

// The outer bounds where the window manager has framed the window, else the
// inner ones. Qt remembers the frame it finds at the first question, so a
// window on its way to the screen must not be asked yet.
QRect KnownFrame(QWidget* Window) {
  const QWindow* handle = Window->windowHandle();
  if (handle && !handle->isExposed()) return Window->geometry();
  return Window->frameGeometry();
}

// Off screen no window is ever framed.
bool HasWindowFrames() { return QGuiApplication::platformName() != QLatin1String("offscreen"); }

}  // namespace

void SaveDlgPos(QWidget* Window, const QString& Name) {
  if (!gSaveDlgPos || !Window || !PlaceKnown(Window)) return;
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
  WatchShowing(Window);
  const std::string name = ValueName(Window, Name);
  TPosRecord rec;
  bool stored = false;
  {
    TRegistry reg;
    if (reg.OpenKey(kDlgPosKey, true) && reg.ValueExists(name)) {
      stored = true;
      const std::string bytes = reg.ReadBinaryData(name);
      // Like a read into a fixed 16-byte buffer: more does not fit.
      if (bytes.size() > 16) throw EMorvoError("Invalid data type for '" + name + "'");
      rec.Left = GetInt32(bytes, 0);
      rec.Top = GetInt32(bytes, 4);
      rec.Width = GetInt32(bytes, 8);
      rec.Height = GetInt32(bytes, 12);
    }
  }
  const QRect current = KnownFrame(Window);
  const bool storedWidth = rec.Width >= 150;
  const bool storedHeight = rec.Height >= 50;
  if (!storedWidth) rec.Width = current.width();
  if (!storedHeight) rec.Height = current.height();
  const QSize screen = ScreenSize();
  if (rec.Left > screen.width() - 50) rec.Left = current.left();
  if (rec.Top > screen.height() - 50) rec.Top = current.top();
  if (rec.Left > 0 && rec.Top > 0) {
    if (stored) Window->setProperty(kPlaceKnownProperty, true);
    TFrameRestore::Cancel(Window);
    Window->move(rec.Left, rec.Top);
    if (ScreenDpi() < 100) {
      // The record holds outer sizes; resize takes the client area.
      const QSize frameExtra = current.size() - Window->geometry().size();
      Window->resize(rec.Width - frameExtra.width(), rec.Height - frameExtra.height());
      if (frameExtra.isNull() && Window->isWindow() && HasWindowFrames())
        new TFrameRestore(Window, QPoint(rec.Left, rec.Top), storedWidth ? rec.Width : 0,
                          storedHeight ? rec.Height : 0);
    }
  }
}

void SaveDlgPosReporting(QWidget* Window, const QString& Name) {
  RunReportingFailure([&] { SaveDlgPos(Window, Name); });
}

void LoadDlgPosReporting(QWidget* Window, const QString& Name) {
  RunReportingFailure([&] { LoadDlgPos(Window, Name); });
}

void SetDlgPosScreenOverride(QSize Size, int LogicalDpi) {
  gScreenOverride = Size;
  gDpiOverride = LogicalDpi;
}
