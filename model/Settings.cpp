#include "Settings.h"

#include <QLocale>
#include <QString>
#include <cmath>

#include "Accessors.h"
#include "MorvoError.h"
#include "StringUtil.h"

namespace settingtext {

std::string Text(const std::string& Text, const std::string& Default) { return Text.empty() ? Default : Text; }

bool Boolean(const std::string& Text, const bool& Default) { return RegTextToBool(Text, Default); }

bool NumberBoolean(const std::string& Text, const bool& Default) {
  const auto value = TryStrToInt(Text);
  return value ? *value != 0 : Default;
}

int Integer(const std::string& Text, const int& Default) { return StrToIntDef(Text, Default); }

int Decimal(const std::string& Text, const int& Default) {
  size_t i = Text.find_first_not_of(' ');
  if (i == std::string::npos) return Default;
  if (Text[i] == '+' || Text[i] == '-') ++i;
  if (i == Text.size()) return Default;
  for (size_t k = i; k < Text.size(); ++k)
    if (Text[k] < '0' || Text[k] > '9') return Default;
  return StrToIntDef(Text, Default);
}

double LocaleNumber(const std::string& Text, const double& Default) {
  QLocale locale;
  locale.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  const double value = locale.toDouble(QString::fromStdString(Text), &ok);
  return ok && std::isfinite(value) ? value : Default;
}

}  // namespace settingtext

template <class T>
T ReadSetting(const TSetting<T>& Setting) {
  return Setting.From(ReadRegString(Setting.Name));
}

template <class T>
T ReadSettingOrDefault(const TSetting<T>& Setting) {
  try {
    return ReadSetting(Setting);
  } catch (const EMorvoError&) {
    return Setting.Default;
  }
}

template std::string ReadSetting(const TSetting<std::string>&);
template bool ReadSetting(const TSetting<bool>&);
template int ReadSetting(const TSetting<int>&);
template double ReadSetting(const TSetting<double>&);
template std::string ReadSettingOrDefault(const TSetting<std::string>&);
template bool ReadSettingOrDefault(const TSetting<bool>&);
template int ReadSettingOrDefault(const TSetting<int>&);
template double ReadSettingOrDefault(const TSetting<double>&);
