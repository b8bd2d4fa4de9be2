#include "NativeNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <vector>

#include "CodePage.h"

namespace {
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

bool IsEscape(char16_t c) { return c >= kFirstEscape && c <= kLastEscape; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at p, 0 when there is none:
// no overlong forms, no encoded surrogates, nothing beyond U+10FFFF.
size_t SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned c = p[0];
  if (c < 0x80) return 1;
  size_t len;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < len || p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < len; ++i)
    if (!IsContinuation(p[i])) return 0;
  return len;
}

void AppendUtf8(std::string& Out, char32_t c) {
  if (c < 0x80) {
    Out += static_cast<char>(c);
  } else if (c < 0x800) {
    Out += static_cast<char>(0xC0 | (c >> 6));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    Out += static_cast<char>(0xE0 | (c >> 12));
    Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (c >> 18));
    Out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (c & 0x3F));
  }
}
}  // namespace

QString NameFromNative(std::string_view Bytes) {
  QString name;
  name.reserve(static_cast<qsizetype>(Bytes.size()));
  const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
  const auto* end = p + Bytes.size();
  while (p < end) {
    const size_t len = SequenceLength(p, end);
    if (len == 0) {
      name += QChar(static_cast<char16_t>(0xDC00 + *p));
      ++p;
      continue;
    }
    name += QString::fromUtf8(reinterpret_cast<const char*>(p), static_cast<qsizetype>(len));
    p += len;
  }
  return name;
}

std::string NativeFromName(QStringView Name) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(Name.size()));
  for (qsizetype i = 0; i < Name.size(); ++i) {
    const char16_t c = Name[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < Name.size() && QChar::isLowSurrogate(Name[i + 1].unicode())) {
      AppendUtf8(bytes, QChar::surrogateToUcs4(c, Name[i + 1].unicode()));
      ++i;
    } else if (IsEscape(c)) {
      bytes += static_cast<char>(c - 0xDC00);
    } else {
      AppendUtf8(bytes, QChar::isSurrogate(c) ? char32_t{0xFFFD} : char32_t{c});
    }
  }
  return bytes;
}

QString ShownName(QStringView Name) {
  QString shown;
  shown.reserve(Name.size());
  for (qsizetype i = 0; i < Name.size();) {
    if (!IsEscape(Name[i].unicode())) {
      shown += Name[i++];
      continue;
    }
    std::string run;
    for (; i < Name.size() && IsEscape(Name[i].unicode()); ++i) run += static_cast<char>(Name[i].unicode() - 0xDC00);
    shown += QString::fromStdString(DecodeToUtf8(run, "windows-1252"));
  }
  return shown;
}

std::string NativeNameAsUtf8(std::string_view Bytes) {
  return IsValidUtf8(Bytes) ? std::string(Bytes) : ShownName(NameFromNative(Bytes)).toStdString();
}

QStringList NamesFromArguments(int Argc, char** Argv) {
  QStringList names;
  for (int i = 0; i < Argc; ++i) names << NameFromNative(Argv[i]);
  return names;
}

QString AbsoluteName(const QString& Name) {
  if (Name.startsWith(QLatin1Char('/'))) return QDir::cleanPath(Name);
  std::vector<char> folder(4096);
  while (!::getcwd(folder.data(), folder.size())) {
    if (errno != ERANGE) return QDir::cleanPath(Name);
    folder.resize(folder.size() * 2);
  }
  return QDir::cleanPath(NameFromNative(folder.data()) + QLatin1Char('/') + Name);
}

QString NameFromUrl(const QUrl& Url) {
  const QByteArray encoded = Url.path(QUrl::FullyEncoded).toLatin1();
  return NameFromNative(QByteArray::fromPercentEncoding(encoded).toStdString());
}

TNameKind KindOfName(const QString& Name) {
  struct stat st {};
  if (Name.isEmpty() || ::stat(NativeFromName(Name).c_str(), &st) != 0) return TNameKind::Missing;
  if (S_ISREG(st.st_mode)) return TNameKind::File;
  if (S_ISDIR(st.st_mode)) return TNameKind::Folder;
  return TNameKind::Other;
}

bool NameExists(const QString& Name) {
  struct stat st {};
  return !Name.isEmpty() && ::lstat(NativeFromName(Name).c_str(), &st) == 0;
}

bool StartDetachedWithNames(const QStringList& Command, std::string* Reason) {
  if (Command.isEmpty()) return false;
  std::vector<std::string> args;
  for (const QString& a : Command) args.push_back(NativeFromName(a));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The grandchild sends the error of a failed start through a pipe that
  // closes on exec; the child ends at once, so no one has to reap the program.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (Reason) *Reason = std::strerror(errno);
    return false;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    const pid_t program = ::fork();
    if (program == 0) {
      ::setsid();
      ::execvp(argv[0], argv.data());
    }
    const int error = errno;
    if (program <= 0) (void)!::write(report[1], &error, sizeof error);
    ::_exit(0);
  }
  int error = child < 0 ? errno : 0;
  ::close(report[1]);
  int status = 0;
  while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  while (child > 0 && ::read(report[0], &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (error != 0 && Reason) *Reason = std::strerror(error);
  return error == 0;
}
