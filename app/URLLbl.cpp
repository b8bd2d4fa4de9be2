#include "URLLbl.h"

#include <QDesktopServices>
#include <QDir>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QProcessEnvironment>
#include <QUrl>

#include "DesktopEntries.h"

const QString TURLLabel::kDefaultWebAddress = QStringLiteral("zib.kelbrun.example");
const QString TURLLabel::kDefaultMailAddress = QStringLiteral("zib@kelbrun.example");

namespace {

std::function<void(const QString&)> gOpenLinkHook;

// The value of Key in section Section of a desktop ini file ("a.desktop;b.desktop;");
// its first entry, empty when absent.
QString FirstEntryOf(const QString& FileName, const QString& Section, const QString& Key) {
  QString first;
  ForEachDesktopValue(FileName, Section, [&](const QString& K, const QString& Value) {
    if (K != Key) return false;
    for (const QString& entry : Value.split(';', Qt::SkipEmptyParts))
      if (!entry.trimmed().isEmpty()) {
        first = entry.trimmed();
        return true;
      }
    return false;
  });
  return first;
}

QStringList PathList(const QProcessEnvironment& Env, const char* Name, const QString& Fallback) {
  QString value = Env.value(Name);
  if (value.isEmpty()) value = Fallback;
  return value.split(':', Qt::SkipEmptyParts);
}

}  // namespace

TURLLabel::TURLLabel(QWidget* Parent) : QLabel(Parent) {
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  const QColor windowText = palette().color(QPalette::WindowText);
  QFont linkFont = font();
  linkFont.setUnderline(true);
  FLinkFont = std::make_unique<TLabelFont>(TLabelFont{linkFont, QColor(0, 0, 255)});
  FPassiveFont = std::make_unique<TLabelFont>(TLabelFont{font(), windowText});
  FLinkType = ltHTTP;
  FShowPrefix = true;
  CheckHandler();
  SetURL("http://" + kDefaultWebAddress);
  UpdateFont();
  // Set without UpdateHint: the hint stays empty until the address changes.
  FURLAsHint = true;
}

TURLLabel::~TURLLabel() = default;

void TURLLabel::SetLinkFont(const TLabelFont& Value) {
  *FLinkFont = Value;
  update();
}

void TURLLabel::SetPassiveFont(const TLabelFont& Value) {
  *FPassiveFont = Value;
  update();
}

void TURLLabel::SetCaption(const QString& Value) {
  FCaptionSet = true;
  setText(Value);
}

void TURLLabel::SetURL(const QString& Value) {
  if (Value == FURL) return;
  if (Value.contains('@') && FLinkType != ltMailTo) {
    FLinkType = ltMailTo;
    CheckHandler();
  }
  const QString head = Value.left(7).toLower();
  FURL = (head == "mailto:" || head == "http://") ? Value.mid(7) : Value;
  UpdateDisplay();
}

void TURLLabel::SetURLAsHint(bool Value) {
  if (Value == FURLAsHint) return;
  FURLAsHint = Value;
  UpdateHint();
}

void TURLLabel::SetShowPrefix(bool Value) {
  FShowPrefix = Value;
  UpdateDisplay();
}

void TURLLabel::SetLabelType(TLabelType Value) {
  if (Value == FLabelType) return;
  FLabelType = Value;
  UpdateFont();
}

void TURLLabel::SetLinkType(TLinkType Value) {
  if (Value == FLinkType) return;
  FLinkType = Value;
  CheckHandler();
  if (Value == ltHTTP && FURL == kDefaultMailAddress)
    FURL = kDefaultWebAddress;
  else if (Value == ltMailTo && FURL == kDefaultWebAddress)
    FURL = kDefaultMailAddress;
  UpdateDisplay();
}

QString TURLLabel::LinkPrefix(TLinkType Type) {
  switch (Type) {
    case ltFile:
      return "file://";
    case ltFTP:
      return "ftp://";
    case ltGopher:
      return "gopher://";
    case ltHTTP:
      return "http://";
    case ltMailTo:
      return "mailto:";
    case ltNews:
      return "news:";
    case ltTelNet:
      return "telnet:";
  }
  return {};
}

void TURLLabel::UpdateDisplay() { SetDisplayText(FShowPrefix ? LinkPrefix(FLinkType) + FURL : FURL); }

void TURLLabel::SetDisplayText(const QString& S) {
  if (!FCaptionSet) setText(S);
  FDisplayURL = S;
  UpdateHint();
}

void TURLLabel::UpdateHint() { setToolTip(FURLAsHint ? FDisplayURL : QString()); }

void TURLLabel::ApplyFont(const TLabelFont& Font) {
  setFont(Font.Font);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Font.Color);
  setPalette(pal);
}

void TURLLabel::UpdateFont() { ApplyFont(FLabelType == Active ? *FLinkFont : *FPassiveFont); }

void TURLLabel::CheckHandler() {
  // Only the web and mail links look for a handler; the others keep the last one's.
  if (FLinkType != ltHTTP && FLinkType != ltMailTo) return;
  FHandlerOf = FLinkType;
  FHandlerFound.reset();
}

bool TURLLabel::HandlerFound() const {
  // A browser must open both ".html" and ".htm"; both are "text/html" here,
  // so one look-up answers for the two.
  if (!FHandlerFound)
    FHandlerFound = !DefaultHandlerFor(FHandlerOf == ltHTTP ? "text/html" : "x-scheme-handler/mailto").isEmpty();
  return *FHandlerFound;
}

QString TURLLabel::GetShellOpenCommand(const QString& Ext) {
  // The web pages' own extensions need no MIME database.
  if (Ext.compare(".html", Qt::CaseInsensitive) == 0 || Ext.compare(".htm", Qt::CaseInsensitive) == 0)
    return DefaultHandlerFor("text/html");
  const QMimeType type = QMimeDatabase().mimeTypeForFile("x" + Ext, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return {};
  return DefaultHandlerFor(type.name());
}

QString TURLLabel::DefaultHandlerFor(const QString& MimeType) {
  // The desktop's association lists, most personal first.
  const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString home = QDir::homePath();
  QStringList configDirs = PathList(env, "XDG_CONFIG_HOME", home + "/.config");
  configDirs += PathList(env, "XDG_CONFIG_DIRS", "/etc/xdg");
  QStringList dataDirs = PathList(env, "XDG_DATA_HOME", home + "/.local/share");
  dataDirs += PathList(env, "XDG_DATA_DIRS", "/usr/local/share:/usr/share");
  QStringList desktops;
  for (const QString& d : env.value("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts)) desktops << d.toLower();

  QStringList listFiles;
  auto addLists = [&](const QString& Folder) {
    for (const QString& d : desktops) listFiles << Folder + "/" + d + "-mimeapps.list";
    listFiles << Folder + "/mimeapps.list";
  };
  for (const QString& dir : configDirs) addLists(dir);
  for (const QString& dir : dataDirs) addLists(dir + "/applications");
  for (const QString& file : listFiles) {
    const QString entry = FirstEntryOf(file, "Default Applications", MimeType);
    if (!entry.isEmpty()) return entry;
  }
  for (const QString& dir : dataDirs) {
    QString entry = FirstEntryOf(dir + "/applications/defaults.list", "Default Applications", MimeType);
    if (entry.isEmpty()) entry = FirstEntryOf(dir + "/applications/mimeinfo.cache", "MIME Cache", MimeType);
    if (!entry.isEmpty()) return entry;
  }
  return {};
}

void TURLLabel::SetOpenLinkHook(std::function<void(const QString&)> Hook) { gOpenLinkHook = std::move(Hook); }

void TURLLabel::Click() {
  emit clicked();
  if (FLabelType == Passive) return;
  if (FLabelType == Auto && !HandlerFound()) return;
  const QString link = LinkPrefix(FLinkType) + FURL;
  if (gOpenLinkHook)
    gOpenLinkHook(link);
  else
    QDesktopServices::openUrl(QUrl(link));  // a link nobody can open fails silently
}

void TURLLabel::enterEvent(QEnterEvent* Event) {
  if (FLabelType == Auto) ApplyFont(*FLinkFont);
  QLabel::enterEvent(Event);
}

void TURLLabel::leaveEvent(QEvent* Event) {
  if (FLabelType == Auto) ApplyFont(*FPassiveFont);
  QLabel::leaveEvent(Event);
}

void TURLLabel::mousePressEvent(QMouseEvent* Event) {
  FPressed = Event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(Event);
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* Event) {
  const bool click = FPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
  FPressed = false;
  QLabel::mouseReleaseEvent(Event);
  if (click) Click();
}
