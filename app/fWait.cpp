#include "fWait.h"

#include <QGuiApplication>
#include <QShowEvent>
#include <cstdint>
#include <cstdlib>
#ifdef MORVO_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "DlgPos.h"
#include "ui_fWait.h"

TFrmWait* FrmWait = nullptr;

namespace {
bool Offscreen() { return QGuiApplication::platformName() == QLatin1String("offscreen"); }
// A title and a border, and no button in it. Qt's own hints let the window
// manager offer every function whenever a window asks for no button at all,
// so on X the window states its functions itself: it may only be moved.
void AskForTitleWithoutButtons(QWidget* Window) {
#ifdef MORVO_HAVE_XCB
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* c = x11->connection();
  static const char kName[] = "_MOTIF_WM_HINTS";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof(kName) - 1, kName), nullptr);
  if (!atom) return;
  enum : uint32_t { kFunctions = 1, kDecorations = 2, kFuncMove = 4, kDecorBorder = 2, kDecorTitle = 8 };
  const uint32_t hints[5] = {kFunctions | kDecorations, kFuncMove, kDecorBorder | kDecorTitle, 0, 0};
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(Window->winId()), atom->atom, atom->atom, 32,
                      5, hints);
  xcb_flush(c);
  free(atom);
#else
  (void)Window;
#endif
}
}  // namespace

TFrmWait::TFrmWait(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFrmWait>()) {
  ui->setupUi(this);
  setObjectName("FrmWait");
  // Tool windows are raised whenever they show; the offscreen platform of the
  // unattended commands has nothing to raise them over and only warns.
  setWindowFlags((Offscreen() ? Qt::Dialog : Qt::Tool) | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(false);
  setWindowOpacity(125.0 / 255.0);
  laWait = ui->laWait;
  // In the order of the window's definition: the caption first, so the address never shows.
  laWait->SetCaption(kLoadingText);
  laWait->SetURL("http://" + TURLLabel::kDefaultWebAddress);
  laWait->SetURLAsHint(false);
  laWait->SetShowPrefix(true);
  laWait->SetLabelType(TURLLabel::Auto);
  laWait->SetLinkType(TURLLabel::ltHTTP);
  laWait->setCursor(Qt::PointingHandCursor);

  move(455, 0);  // unless a stored position applies
  LoadDlgPosReporting(this, "FrmWait");
  // Whatever width was stored, the window stays this narrow.
  setMaximumWidth(kMaxWidth);
  resize(kMaxWidth, height());
}

TFrmWait::~TFrmWait() = default;

void TFrmWait::showEvent(QShowEvent* Event) {
  // Before the window is mapped, where the window manager reads the hints;
  // off X this does nothing.
  AskForTitleWithoutButtons(this);
  QDialog::showEvent(Event);
  if (!Event->spontaneous()) laWait->SetCaption(kLoadingText);
}

void TFrmWait::ShowWait() {
  show();
  if (!Offscreen()) raise();
  repaint();
}

void TFrmWait::SetWaitText(const QString& Text) {
  laWait->SetCaption(Text);
  laWait->repaint();
}

void TFrmWait::done(int Result) {
  SaveDlgPosReporting(this, "FrmWait");
  QDialog::done(Result);
}
