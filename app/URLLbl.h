#pragma once

// A text label that can act as a hyperlink: it shows a caption (or the link
// address), changes its font while the mouse is over it, and hands its
// address to the desktop when clicked. The wait window's progress line is one
// too; other windows write their texts through SetCaption.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <functional>
#include <optional>

class TURLLabel : public QLabel {
  Q_OBJECT
 public:
  enum TLabelType { Auto, Passive, Active };
  Q_ENUM(TLabelType)
  enum TLinkType { ltFile, ltFTP, ltGopher, ltHTTP, ltMailTo, ltNews, ltTelNet };
  Q_ENUM(TLinkType)

  // A font with its colour (a label's colour lives in its palette here).
  struct TLabelFont {
    QFont Font;
    QColor Color;
  };

  explicit TURLLabel(QWidget* Parent = nullptr);
  ~TURLLabel() override;

  QString Hint() const { return toolTip(); }
  void SetHint(const QString& Value) { setToolTip(Value); }
  const TLabelFont& LinkFont() const { return *FLinkFont; }
  void SetLinkFont(const TLabelFont& Value);
  const TLabelFont& PassiveFont() const { return *FPassiveFont; }
  void SetPassiveFont(const TLabelFont& Value);
  QString Caption() const { return text(); }
  // Once written, the address never replaces the caption again.
  void SetCaption(const QString& Value);
  QString URL() const { return FURL; }
  void SetURL(const QString& Value);
  bool URLAsHint() const { return FURLAsHint; }
  void SetURLAsHint(bool Value);
  bool ShowPrefix() const { return FShowPrefix; }
  void SetShowPrefix(bool Value);
  TLabelType LabelType() const { return FLabelType; }
  void SetLabelType(TLabelType Value);
  TLinkType LinkType() const { return FLinkType; }
  void SetLinkType(TLinkType Value);

  QString DisplayURL() const { return FDisplayURL; }
  bool CaptionSet() const { return FCaptionSet; }
  // Asked of the desktop on first need, not when the label is made: a window
  // holding links must not read the desktop's lists before it is shown.
  bool HandlerFound() const;

  // The click: OnClick first, then the link opens for an Active label, or an
  // Auto one whose link type has a handler.
  void Click();

  static QString LinkPrefix(TLinkType Type);
  // The desktop's default program (its desktop entry id) for files with the
  // extension Ext (".html"); empty when none is registered.
  static QString GetShellOpenCommand(const QString& Ext);
  // The desktop's default program for a MIME type or URL scheme handler type
  // ("text/html", "x-scheme-handler/mailto"); empty when none is registered.
  static QString DefaultHandlerFor(const QString& MimeType);

  // Tests see the addresses opened instead of a browser starting.
  static void SetOpenLinkHook(std::function<void(const QString&)> Hook);

  static const QString kDefaultWebAddress;   // without prefix
  static const QString kDefaultMailAddress;  // without prefix

 signals:
  void clicked();  // OnClick

 protected:
  void enterEvent(QEnterEvent* Event) override;
  void leaveEvent(QEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void UpdateFont();
  void UpdateDisplay();
  void SetDisplayText(const QString& S);
  void UpdateHint();
  void CheckHandler();
  void ApplyFont(const TLabelFont& Font);

  std::unique_ptr<TLabelFont> FLinkFont;
  std::unique_ptr<TLabelFont> FPassiveFont;
  QString FURL;
  QString FDisplayURL;
  bool FShowPrefix = true;
  bool FCaptionSet = false;
  TLabelType FLabelType = Auto;
  TLinkType FLinkType = ltHTTP;
  TLinkType FHandlerOf = ltHTTP;  // the web or mail type the handler is looked up for
  mutable std::optional<bool> FHandlerFound;
  bool FURLAsHint = false;
  bool FPressed = false;
};
