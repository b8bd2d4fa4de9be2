#pragma once

// The values the program keeps in its settings store, each with its type,
// the value it has when absent and how its stored text converts. The empty
// text counts as absent, and so does a text that does not convert.

#include <string>

template <class T>
struct TSetting {
  const char* Name;
  T Default;
  T (*Convert)(const std::string& Text, const T& Default);
  T From(const std::string& Text) const { return Convert(Text, Default); }
};

namespace settingtext {
std::string Text(const std::string& Text, const std::string& Default);
// "-1"/"0" as written, any other number, "True" or "False" (any case).
bool Boolean(const std::string& Text, const bool& Default);
// A number only: the packager's boxes take no "True".
bool NumberBoolean(const std::string& Text, const bool& Default);
int Integer(const std::string& Text, const int& Default);
// Decimal digits only: hexadecimal notation is no character set or size.
int Decimal(const std::string& Text, const int& Default);
// A decimal number in the user's notation, without group separators.
double LocaleNumber(const std::string& Text, const double& Default);
}  // namespace settingtext

namespace settings {
using namespace settingtext;
using TText = TSetting<std::string>;
using TBool = TSetting<bool>;
using TInt = TSetting<int>;

inline const TText DefaultView{"DefaultView", "", Text};
inline const TText DefaultExport{"DefaultExport", "", Text};
inline const TText Quillset1xCodePage{"Quillset1xCodePage", "windows-1252", Text};
inline const TText ExternalEditor{"ExternalEditor", "", Text};
inline const TBool OpenNonQSFiles{"OpenNonQSFiles", true, Boolean};
inline const TBool SortProperties{"SortProperties", true, Boolean};
inline const TText PropertyListFont{"PropertyListFont", "", Text};
inline const TInt PropertyListCharset{"PropertyListCharset", 1, Decimal};
inline const TInt PropertyListSize{"PropertyListSize", 8, Decimal};
inline const TSetting<double> PropertyRowHeigth{"PropertyRowHeigth", 2.45, LocaleNumber};
inline const TText ObjectListFont{"ObjectListFont", "", Text};
inline const TInt ObjectListCharset{"ObjectListCharset", 1, Decimal};
inline const TInt ObjectListSize{"ObjectListSize", 8, Decimal};
inline const TText Exefile{"Exefile", "", Text};
inline const TBool PackDocumentation{"PackDocumentation", false, NumberBoolean};
inline const TBool PackMandatorys{"PackMandatorys", true, NumberBoolean};
inline const TBool PackDevices{"PackDevices", false, NumberBoolean};
inline const TBool PackSpecials{"PackSpecials", true, NumberBoolean};
inline const TBool PackSampleFiles{"PackSampleFiles", false, NumberBoolean};
inline const TBool PackPreservePath{"PackPreservePath", true, NumberBoolean};
inline const TBool PackGuessBasepath{"PackGuessBasepath", true, NumberBoolean};
inline const TBool PackShowResult{"PackShowResult", true, NumberBoolean};
inline const TInt PackMethod{"PackMethod", 0, Integer};
}  // namespace settings

// The setting as stored, converted. A value of another data type fails with
// the store's "Invalid data type for '<Name>'".
template <class T>
T ReadSetting(const TSetting<T>& Setting);
// The same, a value of another data type counting as absent.
template <class T>
T ReadSettingOrDefault(const TSetting<T>& Setting);
