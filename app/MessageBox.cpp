#include "MessageBox.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <exception>
#include <new>

#include "CodePage.h"
#include "DialogFacade.h"
#include "NativeNames.h"

namespace {
QString DecodeOrEmpty(const std::string& Utf8) {
  if (!IsValidUtf8(Utf8)) return {};
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(QByteArrayView(Utf8.data(), static_cast<qsizetype>(Utf8.size())));
  return decoder.hasError() ? QString() : text;
}
}  // namespace

int ShowMessageBoxW(const std::string& TextUtf8, const std::string& CaptionUtf8, unsigned Flags) {
  return dialogs::MessageBox(nullptr, DecodeOrEmpty(TextUtf8), DecodeOrEmpty(CaptionUtf8), Flags);
}

void ShowApplicationError(const std::string& Message) {
  // A file name in the message may be no UTF-8; it shows readably all the same.
  QString text = ShownName(NameFromNative(Message));
  // The classic report ends every message with a period.
  if (!text.isEmpty() && !text.endsWith('.')) text += '.';
  dialogs::MessageBox(nullptr, text, QCoreApplication::applicationName(), MB_OK | MB_ICONERROR);
}

void RunReportingFailure(const std::function<void()>& Command) {
  try {
    Command();
  } catch (const std::bad_alloc&) {
    ShowApplicationError("Not enough memory");
  } catch (const std::exception& e) {
    ShowApplicationError(e.what());
  }
}
