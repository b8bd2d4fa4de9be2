#include "fdmZIB.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include "MessageBox.h"
#include "Registry.h"
#include "fMain.h"

TdmZIB* dmZIB = nullptr;

QIcon TImageList::Icon(int Index) const {
  if (Index < 0 || Index >= FImages.size()) return {};
  return FImages.at(Index);
}

namespace {
// The pictures are vector drawings, so one icon serves every screen density.
void LoadList(TImageList& List, const char* Folder, int Count) {
  for (int i = 0; i < Count; ++i)
    List.Add(QIcon(QStringLiteral(":/icons/%1/%2.svg").arg(QLatin1String(Folder)).arg(i, 2, 10, QLatin1Char('0'))));
}

// The user hears of a settings write that failed once per run, in a box over
// the main window; a run without one (the command-line switches) says so on
// its error output instead. The box waits until the window shows, and never
// comes in the middle of the write that failed.
void ShowSettingsFailure(const QString& Message) {
  if (!dmZIB) return;
  if (!FrmMorvoReader || !FrmMorvoReader->isVisible()) {
    QTimer::singleShot(500, dmZIB, [Message] { ShowSettingsFailure(Message); });
    return;
  }
  ShowMessageBoxW(Message.toStdString(), QCoreApplication::applicationName().toStdString(), MB_OK | MB_ICONWARNING);
}
}  // namespace

// The resource file is compiled into a static library, so it is registered by hand.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

TdmZIB::TdmZIB(QObject* Parent) : QObject(Parent) {
  InitIconResources();
  setObjectName(QStringLiteral("dmZIB"));
  LoadList(ilMorvoImagesNo, "obj", 56);
  LoadList(ilGUIimages, "gui", 35);
  SetSettingsWriteFailureListener([this](const std::string& Message) {
    const QString text = QString::fromStdString(Message);
    QMetaObject::invokeMethod(
        this, [text] { ShowSettingsFailure(text); }, Qt::QueuedConnection);
  });
  // A failure before the data module existed is told all the same.
  if (const std::string earlier = SettingsWriteFailure(); !earlier.empty())
    QMetaObject::invokeMethod(
        this, [text = QString::fromStdString(earlier)] { ShowSettingsFailure(text); }, Qt::QueuedConnection);
}

TdmZIB::~TdmZIB() {
  SetSettingsWriteFailureListener({});
  if (dmZIB == this) dmZIB = nullptr;
}
