#pragma once

// Generated object files and definition files for the benchmarks, so every
// benchmark measures the same kind of file and none carries its own writer.
// Header only: the benchmarks include it as "support/ObjectFileGenerator.h".

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>

#include "AppPaths.h"
#include "CodePage.h"

namespace benchgen {

inline void WriteText(const std::string& Path, std::string_view Text) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", Path.c_str());
    std::abort();
  }
}

// A fresh folder under /tmp (ending in "/") that the program takes as its own
// folder and whose "config" subfolder holds the settings store, away from the
// user's settings. The caller removes it when done.
inline std::string MakeWorkFolder(const char* Prefix) {
  std::string templ = std::string("/tmp/") + Prefix + ".XXXXXX";
  if (!mkdtemp(templ.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  const std::string folder = templ + "/";
  setenv("XDG_CONFIG_HOME", (folder + "config").c_str(), 1);
  SetExecutableFolderOverride(folder);
  return folder;
}

// The character table of an XML export.
inline constexpr std::string_view kXMLCodes =
    "&amp;      &\r\n&lt;       <\r\n&gt;       >\r\n&quot;     \"\r\n&apos;     '\r\n";

// Writes an object file block by block; nesting is indented two blanks per
// depth, lines end in CR LF.
class TObjectFileBuilder {
 public:
  // The two lines before the marker name what the file is for.
  explicit TObjectFileBuilder(std::string_view Purpose, size_t ReserveBytes = 0) {
    FText.reserve(ReserveBytes);
    FText += "Generated object file\r\nfor ";
    FText += Purpose;
    FText += "\r\n!!EndOfControl\r\n";
  }

  // Opens a block at the current depth.
  void Begin(std::string_view Type, std::string_view Name) {
    Indent();
    FText += "OBJECT TYPE=\"";
    FText += Type;
    FText += "\" NAME=\"";
    FText += Name;
    FText += "\" DELIM=;\r\n";
    ++FDepth;
  }
  // Closes the innermost open block.
  void End() {
    if (FDepth > 0) --FDepth;
    Indent();
    FText += "}\r\n";
  }
  void Guid(std::string_view Guid) {
    Indent();
    FText += "0010 \"";
    FText += Guid;
    FText += "\"\r\n";
  }
  // A link list to the objects of these GUIDs: n "g1" "g2" ...;
  void Links(std::initializer_list<std::string_view> Guids) {
    Indent();
    FText += std::to_string(Guids.size());
    for (std::string_view g : Guids) {
      FText += " \"";
      FText += g;
      FText += '"';
    }
    FText += ";\r\n";
  }
  // Any other line, as given, at the current depth.
  void Line(std::string_view Text) {
    Indent();
    FText += Text;
    FText += "\r\n";
  }

  const std::string& Text() const { return FText; }

 private:
  void Indent() { FText.append(static_cast<size_t>(FDepth) * 2, ' '); }
  std::string FText;
  int FDepth = 0;
};

// ---------------------------------------------------------------------------
// Realistic files: definition tables of full size (about 260 property names
// and 60 types), a configuration with coded, integer, multi-line and runtime
// ids and views that hide types, and object files whose elements are refined
// by their coded values, in a code page or in UTF-16.

// The types the generated files use; the rest of the 60 only fill the table.
struct TRealisticType {
  int Number;
  const char* Name;
};
inline constexpr TRealisticType kRealisticTypes[] = {{303, "FORM_SHEET"},  {401, "SEGMENT_STD"},   {501, "DOC_ELEMENT"},
                                                     {601, "FIELD_TEXT"},  {602, "FIELD_NUMBER"},  {603, "FIELD_DATE"},
                                                     {304, "PAGE_LAYOUT"}, {1002, "DOCUMENT_DEF"}, {801, "FLOW_IF"},
                                                     {3, "GROUP_BOX"},     {201, "RESOURCE_REF"},  {5, "TEXT_BLOCK"}};

inline std::string RealisticTypeTable() {
  std::string t;
  for (const TRealisticType& type : kRealisticTypes) {
    char line[64];
    std::snprintf(line, sizeof line, "%.4d %s\r\n", type.Number, type.Name);
    t += line;
  }
  for (int k = 0; k < 48; ++k) {  // types of other products in the family
    char line[64];
    std::snprintf(line, sizeof line, "%.4d OTHER_KIND_%.2d\r\n", 1100 + k, k);
    t += line;
  }
  return t;
}

inline std::string RealisticPropertyTable() {
  std::string t;
  for (int id = 1; id <= 262; ++id) {
    char line[96];
    std::snprintf(line, sizeof line, "%.4d=Property %d of the design\r\n", id, id);
    t += line;
  }
  // A later line renames an earlier one, as product updates do.
  t += "0012=Design text\r\n0191=Printable\r\n0192=Editable\r\n";
  for (const TRealisticType& type : kRealisticTypes) t += std::string(type.Name) + "=Shown " + type.Name + "\r\n";
  for (int k = 0; k < 48; ++k) {
    char line[64];
    std::snprintf(line, sizeof line, "OTHER_KIND_%.2d=Other kind %d\r\n", k, k);
    t += line;
  }
  return t;
}

// Settings, names of codes and three views; Extra is appended (exports),
// Outputs lists them.
inline std::string RealisticConfiguration(std::string_view Extra = {}, std::string_view Outputs = "xml") {
  std::string c = "[Settings]\r\nViews=All,Design,Runtime\r\nOutPuts=" + std::string(Outputs) +
                  "\r\nRuntimes=12,20,215,240\r\nSpecials=191,192,230\r\n"
      "MultiLine=30,31\r\nIntValues=20,3,4\r\n\r\n[Specials]\r\n0191=No,Yes\r\n0192=No,Yes\r\n"
      "0230=Left,Center,Right,\"Justified, both\"\r\n\r\n[Translations]\r\nProperty=Property\r\nValue=Value\r\n"
      "SetFilterTo=Show the view %s\r\nExportToFile=Export to %s\r\n\r\n[All]\r\nFields=*\r\n\r\n"
      "[Design]\r\nHideObjects=0602 0603 1100\r\nHideChildrenOf=0801\r\nMandatoryFields=1,10\r\n"
      "Fields=2,3,4,12,20,30,191,192,230,215\r\nInfo=1\r\n\r\n[Runtime]\r\nHideObjects=0602\r\nFields=*\r\nInfo=2\r\n";
  c += Extra;
  return c;
}

inline void WriteRealisticDefinitions(const std::string& Folder, std::string_view Extra = {},
                                      std::string_view Outputs = "xml") {
  WriteText(Folder + "ObjectTypNum.txt", RealisticTypeTable());
  WriteText(Folder + "ObjectProperties.txt", RealisticPropertyTable());
  WriteText(Folder + "XMLCodes.txt", kXMLCodes);
  WriteText(Folder + "MorvoObject.cfg", RealisticConfiguration(Extra, Outputs));
}

enum class TEncoding { CodePage, Utf16 };

// Objects in groups of ten: a form, a segment, three elements (the second
// nesting two fields), a field, a flow tool and a document holding its
// values in a property collection; every object has a GUID ("R<serial>"), a
// name with accented letters and ten to twenty values of every layout. The
// result is UTF-8; EncodeRealistic gives the bytes of a file.
inline std::string MakeRealisticObjects(int Objects, std::string_view Purpose) {
  TObjectFileBuilder file(Purpose, static_cast<size_t>(Objects) * 760);
  int serial = 0;
  auto guid = [](int n) { return "R" + std::to_string(n); };
  auto object = [&](std::string_view Type) {
    const int n = serial++;
    file.Begin(Type, "Caf\xC3\xA9 " + std::string(Type.substr(0, 4)) + " " + std::to_string(n));
    file.Guid(guid(n));
    file.Line("0001 |0000000000'Name \xC3\xBC" + std::to_string(n) + "'|");
    file.Line("0002 |0000000000'Title of the r\xC3\xA9sum\xC3\xA9 " + std::to_string(n) + "'|");
    file.Line("0003 |0000000000" + std::to_string(n % 640) + "           |");
    file.Line("0012 |0000000000'Design value " + std::to_string(n) + "' 'Runtime value'|");
    file.Line("0020 |0000000000" + std::to_string(n % 9973) + "         'rt'|");
    file.Line("0030 |00000000002 'first line' 'second line of " + std::to_string(n) + "'|");
    file.Line("0040 |0000000000'A comment that is a little longer,\x02\x01as comments are'|");
    file.Line("0230 |0000000000" + std::to_string(n % 5) + "   |");
    for (int k = 0; k < 4 + n % 8; ++k) {
      const int id = 50 + (n * 7 + k * 13) % 200;
      file.Line(std::to_string(1000 + id).substr(1) + " |0000000000'value " + std::to_string(k) + " of " +
                std::to_string(id) + "'|");
    }
    file.Line("0215 |0000000000'C:\\Designs\\Forms\\f" + std::to_string(n) + ".fmt' 'D:\\Run\\f.fmt'|");
    return n;
  };
  auto element = [&](bool nestFields) {
    const int n = object("DOC_ELEMENT");
    file.Line(std::string("0191 |0000000000") + (n % 3 == 0 ? "1" : "0") + "   |");
    file.Line(std::string("0192 |0000000000") + (n % 2 == 0 ? "1" : "0") + "   |");
    if (n % 7 == 0) file.Line("0105 |0000000000'refined'|");
    if (nestFields) {
      for (int f = 0; f < 2; ++f) {
        object(f == 0 ? "FIELD_TEXT" : "FIELD_NUMBER");
        file.End();
      }
    }
    file.End();
    return n;
  };
  // Each object is linked from one place at most, as design tools write
  // them: the segment names its elements, the document the rest of its
  // group and, now and then, an object that is not in the file.
  while (serial < Objects) {
    const int form = object("FORM_SHEET");
    file.End();
    const int segment = object("SEGMENT_STD");
    file.Line("0005 0033 |0000000000'segment value'|");
    file.Links({guid(segment + 1), guid(segment + 2), guid(segment + 5)});
    file.End();
    for (int e = 0; e < 3; ++e) element(e == 1);
    const int date = object("FIELD_DATE");
    file.End();
    const int flow = object("FLOW_IF");
    file.End();
    object("DOCUMENT_DEF");
    file.Line("OBJECT TYPE=\"PropertyCollection\" NAME=\"Values\" DELIM=;");
    file.Line("{");
    file.Line("0300 |0000000000'collected value'|");
    file.Line("0301 |0000000000'another value'|");
    file.Line("}");
    // A document's link list counts entries of three names each.
    file.Line("2 \"" + guid(form) + "\" \"" + guid(segment) + "\" \"" + guid(date) + "\" \"" + guid(flow) + "\" \"" +
              (form % 100 == 0 ? "R-missing" : guid(flow)) + "\" \"" + guid(form) + "\";");
    file.End();
  }
  return file.Text();
}

// Objects of the size most real files hold (about 280 bytes each in a code
// page): a header, a GUID, six to eight short values, a long one now and
// then and a link list on nearly every other object. In groups of ten: a form
// linking a segment, a date field and a group box; the segment linking three
// elements, one of which nests two fields; the group box linking a text block
// and now and then a name that is not in the file. Every object is linked
// from one place at most, as design tools write them.
inline std::string MakeSmallObjects(int Objects, std::string_view Purpose) {
  TObjectFileBuilder file(Purpose, static_cast<size_t>(Objects) * 300);
  int serial = 0;
  auto guid = [](int n) { return "S-" + std::to_string(n); };
  auto object = [&](std::string_view Type) {
    const int n = serial++;
    const std::string number = std::to_string(n);
    file.Begin(Type, "Feld\xC3\xA4 " + number);
    file.Guid(guid(n));
    file.Line("0001 |0000000000'Nr " + number + "'|");
    file.Line("0003 |0000000000" + std::to_string(n % 640) + "|");
    file.Line("0004 |0000000000" + std::to_string(n % 50) + " 'mm'|");
    file.Line("0020 |0000000000" + std::to_string(n % 97) + " 'rt'|");
    file.Line("0191 |0000000000" + std::to_string(n % 2) + "|");
    file.Line("0230 |0000000000" + std::to_string(n % 4) + "|");
    if (n % 3 == 0) file.Line("0012 |0000000000'Design value of " + number + "' 'run'|");
    if (n % 5 == 0) file.Line("0040 |0000000000'A comment that is a little longer,\x02\x01as comments are'|");
    return n;
  };
  while (serial < Objects) {
    const int form = object("FORM_SHEET");
    file.Links({guid(form + 1), guid(form + 7), guid(form + 9)});
    file.End();
    const int segment = object("SEGMENT_STD");
    file.Links({guid(segment + 1), guid(segment + 2), guid(segment + 5)});
    file.End();
    for (int e = 0; e < 3; ++e) {
      const int element = object("DOC_ELEMENT");
      if (e == 1) {
        for (int f = 0; f < 2; ++f) {
          object(f == 0 ? "FIELD_TEXT" : "FIELD_NUMBER");
          file.End();
        }
        file.Links({guid(element + 1), guid(element + 2)});
      }
      file.End();
    }
    object("FIELD_DATE");
    file.End();
    const int text = object("TEXT_BLOCK");
    file.End();
    object("GROUP_BOX");
    if (text % 100 == 8)
      file.Links({guid(text), "S-missing"});
    else
      file.Links({guid(text)});
    file.End();
  }
  return file.Text();
}

// Objects as another design tool writes them (about 285 bytes each in a
// code page): flat, braced GUIDs, names with letters of the code page, five to
// eight short values, and a link list on every other object that names the
// next one or two objects, now and then one that is not in the file.
inline std::string MakeForeignObjects(int Objects, std::string_view Purpose) {
  TObjectFileBuilder file(Purpose, static_cast<size_t>(Objects) * 300);
  auto guid = [](int n) {
    char text[48];
    std::snprintf(text, sizeof text, "{%08X-7A3C-4B1D-9F%02X-%012X}", n * 2654435761u, n % 256, n);
    return std::string(text);
  };
  static constexpr const char* kTypes[] = {"FIELD_TEXT", "FIELD_NUMBER", "TEXT_BLOCK", "DOC_ELEMENT",
                                           "GROUP_BOX",  "FIELD_DATE",   "FORM_SHEET"};
  static constexpr const char* kWords[] = {"Stra\xC3\x9F" "e", "K\xC3\xA4ufer", "R\xC3\xA9sum\xC3\xA9",
                                           "\xC3\x84nderung", "Men\xC3\xBC"};
  for (int n = 0; n < Objects; ++n) {
    const std::string number = std::to_string(n);
    file.Begin(kTypes[n % 7], std::string(kWords[n % 5]) + "_" + number);
    file.Guid(guid(n));
    file.Line("0001 |0000000000'" + std::string(kWords[(n + 1) % 5]) + " " + number + "'|");
    file.Line("0003 |0000000000" + std::to_string(n % 900) + "|");
    file.Line("0020 |0000000000" + std::to_string(n % 61) + " 'rt'|");
    file.Line("0191 |0000000000" + std::to_string(n % 2) + "|");
    if (n % 2 == 0) file.Line("0002 |0000000000'Titel f\xC3\xBCr " + number + "'|");
    if (n % 3 == 0) file.Line("0230 |0000000000" + std::to_string(n % 4) + "|");
    if (n % 4 == 0) file.Line("0104 |0000000000'x=" + number + "'|");
    if (n % 2 == 0) {
      if (n % 50 == 0)
        file.Links({guid(n + 1), "{MISSING}"});
      else
        file.Links({guid(n + 1)});
    }
    file.End();
  }
  return file.Text();
}

// Nesting eight blocks deep: a form holding a group holding a segment, and
// so on down to a field, every block with a few values, flow tools and
// property collections among them; two loose objects after each chain, each
// linked from one block of the chain (as design tools link: from one place
// at most), so the semantic tree is as deep as the file's and deeper.
inline std::string MakeDeepObjects(int Objects, std::string_view Purpose) {
  TObjectFileBuilder file(Purpose, static_cast<size_t>(Objects) * 400);
  static constexpr const char* kChain[] = {"FORM_SHEET", "GROUP_BOX",  "SEGMENT_STD", "DOC_ELEMENT",
                                           "FLOW_IF",    "TEXT_BLOCK", "FIELD_TEXT",  "FIELD_NUMBER"};
  constexpr int kDepth = 8;
  auto guid = [](int n) { return "D-" + std::to_string(n); };
  int serial = 0;
  auto values = [&](int n, int d) {
    file.Guid(guid(n));
    file.Line("0001 |0000000000'Tiefe " + std::to_string(d) + "'|");
    file.Line("0003 |0000000000" + std::to_string(n % 300) + "|");
    file.Line("0012 |0000000000'Design " + std::to_string(n) + "' 'run'|");
    file.Line("0030 |00000000002 'line one' 'line two'|");
  };
  while (serial < Objects) {
    const int first = serial;
    for (int d = 0; d < kDepth; ++d) {
      const int n = serial++;
      file.Begin(kChain[d], "Ebene " + std::to_string(d) + " \xC3\xA0 " + std::to_string(n));
      values(n, d);
      if (d == 4) {
        file.Line("OBJECT TYPE=\"PropertyCollection\" NAME=\"Values\" DELIM=;");
        file.Line("{");
        file.Line("0300 |0000000000'collected'|");
        file.Line("}");
      }
      if (d == 3 || d == kDepth - 1) file.Links({guid(first + kDepth + (d == 3 ? 0 : 1))});
    }
    for (int d = 0; d < kDepth; ++d) file.End();
    for (int k = 0; k < 2; ++k) {
      const int n = serial++;
      file.Begin("FIELD_DATE", "Lose " + std::to_string(n));
      values(n, kDepth);
      file.End();
    }
  }
  return file.Text();
}

// The kinds of file the benchmarks report on; each reports its worst.
enum class TObjectMix { Small, Large, Foreign, Deep };
inline constexpr TObjectMix kObjectMixes[] = {TObjectMix::Small, TObjectMix::Large, TObjectMix::Foreign,
                                              TObjectMix::Deep};
inline const char* ObjectMixName(TObjectMix Mix) {
  switch (Mix) {
    case TObjectMix::Small:
      return "small";
    case TObjectMix::Large:
      return "large";
    case TObjectMix::Foreign:
      return "foreign";
    case TObjectMix::Deep:
      return "deep";
  }
  return "";
}
inline std::string MakeObjects(TObjectMix Mix, int Objects, std::string_view Purpose) {
  switch (Mix) {
    case TObjectMix::Small:
      return MakeSmallObjects(Objects, Purpose);
    case TObjectMix::Large:
      return MakeRealisticObjects(Objects, Purpose);
    case TObjectMix::Foreign:
      return MakeForeignObjects(Objects, Purpose);
    case TObjectMix::Deep:
      return MakeDeepObjects(Objects, Purpose);
  }
  return {};
}

// The bytes of a file in Encoding: windows-1252 or UTF-16LE with its mark.
inline std::string EncodeRealistic(const std::string& Utf8, TEncoding Encoding) {
  if (Encoding == TEncoding::CodePage) return EncodeFromUtf8(Utf8, "windows-1252");
  return "\xFF\xFE" + EncodeFromUtf8(Utf8, "UTF-16LE");
}

}  // namespace benchgen
