#pragma once

// Qt lays a label out whole, however long it is: an object name of millions
// of characters would cost a view its memory and time for a text nobody can
// read on screen. What the windows lay out is cut to a readable length; the
// whole text stays where it came from (the model, the copies, the panels'
// own texts).

#include <QString>
#include <string_view>

inline constexpr qsizetype kShownTextLimit = 4096;  // characters

// Text, or its first kShownTextLimit characters and an ellipsis.
QString ShownText(const QString& Text);
// The same of UTF-8 bytes, converting no more of them than can be shown.
QString ShownTextOfUtf8(std::string_view Utf8);
