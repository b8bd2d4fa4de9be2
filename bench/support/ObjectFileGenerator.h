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

// Definition files of a made-up product: four object types and a dozen
// properties; the configuration is each benchmark's own.
inline constexpr std::string_view kObjectTypNum =
    "0303 FORMTYPE\r\n0601 FIELDTYPE\r\n0003 GROUPTYPE\r\n0304 DOCTYPE\r\n";
inline constexpr std::string_view kObjectProperties =
    "0001=Name\r\n0002=Title\r\n0003=Width\r\n0004=Height\r\n0005=Caption\r\n0006=Comment\r\n0010=GUID\r\n"
    "0338=Author\r\n0339=Remark\r\nFORMTYPE=Form\r\nFIELDTYPE=Field\r\nGROUPTYPE=Group\r\nDOCTYPE=Document\r\n";
inline constexpr std::string_view kXMLCodes =
    "&amp;      &\r\n&lt;       <\r\n&gt;       >\r\n&quot;     \"\r\n&apos;     '\r\n";

inline void WriteDefinitions(const std::string& Folder, std::string_view MorvoObjectCfg) {
  WriteText(Folder + "ObjectTypNum.txt", kObjectTypNum);
  WriteText(Folder + "ObjectProperties.txt", kObjectProperties);
  WriteText(Folder + "XMLCodes.txt", kXMLCodes);
  WriteText(Folder + "MorvoObject.cfg", MorvoObjectCfg);
}

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
  // A property line "dddd |0000000000'Value'|"; "\x02\x01" in Value is a
  // stored line break.
  void Value(int Id, std::string_view Value) {
    char id[8];
    std::snprintf(id, sizeof id, "%.4d", Id);
    Indent();
    FText += id;
    FText += " |0000000000'";
    FText += Value;
    FText += "'|\r\n";
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

  int Depth() const { return FDepth; }
  const std::string& Text() const { return FText; }

 private:
  void Indent() { FText.append(static_cast<size_t>(FDepth) * 2, ' '); }
  std::string FText;
  int FDepth = 0;
};

struct TFormGroupOptions {
  int Objects = 100000;  // rounded up to whole groups of ten
  std::string Purpose = "a benchmark";
  bool MarkupInValues = false;      // "<", ">" and "&" in the titles, for a translating export
  bool ZeroLedHeights = false;      // a Height (0004) such as "012" on every object
  bool LinkFormToDocument = false;  // each form links to its document (then no root) and its first field
};

// Groups of ten objects: a form holding two groups of three fields each, and
// a document after it; five or six properties apiece, some of them integers
// and one of two lines. Objects are named by type and serial ("FO0", "GR1",
// "FI2", ... "DO9") and have the GUIDs "G0", "G1", ...
inline std::string MakeFormGroups(const TFormGroupOptions& Options) {
  TObjectFileBuilder file(Options.Purpose, static_cast<size_t>(Options.Objects) * 330);
  int serial = 0;
  auto object = [&](std::string_view Type) {
    const std::string n = std::to_string(serial++);
    file.Begin(Type, std::string(Type.substr(0, 2)) + n);
    file.Guid("G" + n);
    file.Value(2, Options.MarkupInValues ? "Title of <" + n + "> & more" : "Title of " + n);
    file.Value(3, std::to_string(serial % 640));
    if (Options.ZeroLedHeights) file.Value(4, "0" + std::to_string(serial % 48));
    file.Value(5, "Line one\x02\x01Line two of " + n);
    file.Value(6, "A comment that is a little longer, as comments are");
  };
  while (serial < Options.Objects) {
    const int form = serial;
    object("FORMTYPE");
    for (int g = 0; g < 2; ++g) {
      object("GROUPTYPE");
      for (int f = 0; f < 3; ++f) {
        object("FIELDTYPE");
        file.End();
      }
      file.End();
    }
    if (Options.LinkFormToDocument) file.Links({"G" + std::to_string(form + 9), "G" + std::to_string(form + 2)});
    file.End();
    object("DOCTYPE");
    file.End();
  }
  return file.Text();
}

}  // namespace benchgen
