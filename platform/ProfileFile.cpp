#include "ProfileFile.h"

#include <string_view>

#include "CodePage.h"
#include "StringUtil.h"
#include "WholeFile.h"

namespace {

// The classic profile reading hands values back through a buffer of 2048
// bytes, one of them the terminating zero.
constexpr size_t kMaxValueBytes = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The value part of a key line: blanks around it go, then one pair of
// enclosing quotes of the same kind.
std::string_view StripValue(std::string_view v) {
  v = TrimBlanks(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

// The command running now (0: none) and the number of the last one begun.
int gCommandDepth = 0;
uint64_t gCommandSerial = 0;
// Numbers every parse of every profile file, so that a generation never
// repeats, not even across a handle released and bound again.
uint64_t gParses = 0;

std::string FoldedName(std::string_view name) { return LowerAscii(TrimBlanks(name)); }

}  // namespace

TProfileCommand::TProfileCommand() {
  if (gCommandDepth++ == 0) ++gCommandSerial;
}

TProfileCommand::~TProfileCommand() { --gCommandDepth; }

TProfileFile::TProfileFile(std::string fileName, std::function<std::string()> codePage)
    : FFileName(std::move(fileName)), FCodePage(std::move(codePage)) {}

void TProfileFile::Check() const {
  if (gCommandDepth > 0 && FCheckedIn == gCommandSerial) return;
  FCheckedIn = gCommandDepth > 0 ? gCommandSerial : 0;
  // Stamped before reading: a change while it is read shows as a new stamp
  // at the next check.
  TFileStamp now = StampOf(FFileName);
  if (FParsed && !FRacy && now == FStamp) return;
  std::string text;
  // A pipe or device in the file's place reads as no file instead of blocking.
  if (!now.Exists || !ReadRegularFile(FFileName, text)) text.clear();
  Parse(FileTextToSystem(std::move(text), FCodePage));
  FRacy = now.Exists && WrittenWithinTimeStep(now);
  FStamp = std::move(now);
  FParsed = true;
  FGeneration = ++gParses;
}

void TProfileFile::Parse(const std::string& text) const {
  FSections.clear();
  std::string_view rest(text);
  // Editors on the desktop like to start UTF-8 files with a byte-order mark;
  // it is not part of the first line.
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

  // Only the first section of a name counts, and in it the first key.
  TSection* current = nullptr;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);

    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      const auto [it, added] =
          FSections.try_emplace(FoldedName(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
      current = added ? &it->second : nullptr;
      continue;
    }
    if (!current) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;  // a line without "=" holds no value
    const std::string key = FoldedName(line.substr(0, eq));
    if (key.empty() || current->count(key)) continue;
    current->emplace(key, std::string(StripValue(line.substr(eq + 1)).substr(0, kMaxValueBytes)));
  }
}

uint64_t TProfileFile::Generation() const {
  Check();
  return FGeneration;
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const {
  const std::string wantKey = FoldedName(key);
  if (wantKey.empty()) return fallback;
  Check();
  const auto s = FSections.find(FoldedName(section));
  if (s == FSections.end()) return fallback;
  const auto v = s->second.find(wantKey);
  return v == s->second.end() ? fallback : v->second;
}
