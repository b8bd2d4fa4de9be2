#include "TestSupport.h"

#include <QByteArray>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DlgPos.h"
#include "NativeNames.h"
#include "Registry.h"

namespace testsupport {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  const std::filesystem::path p(path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string TestDataDir() { return MORVO_TEST_DATA_DIR; }
std::string BinDir() { return MORVO_BIN_DIR; }

bool InCi() { return qgetenv("CI") == "true"; }

std::string DlgPosRecord(int32_t L, int32_t T, int32_t W, int32_t H) {
  std::string out;
  for (int32_t v : {L, T, W, H})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return out;
}

void StoreDlgPos(const std::string& Name, const std::string& Bytes) {
  TRegistry reg;
  reg.OpenKey(kDlgPosKey, true);
  reg.WriteBinaryData(Name, Bytes);
}

void StartWithNameBytes(QProcess& P, const std::string& Program, const QStringList& Args) {
  // A shell turns every argument's octal escapes back into its bytes, then
  // becomes the program ("." keeps trailing line ends from being cut).
  QStringList args{"-c",
                   R"(p=$1; shift; for a; do b=$(printf '%b.' "$a"); set -- "$@" "${b%.}"; shift; done; )"
                   R"(exec "$p" "$@")",
                   "sh", QString::fromStdString(Program)};
  for (const QString& a : Args) {
    QString escaped;
    for (const char c : NativeFromName(a)) {
      const auto b = static_cast<unsigned char>(c);
      escaped += b == '\\' ? QString("\\\\") : b < 0x80 ? QString(QChar(b)) : QString("\\0%1").arg(b, 3, 8, QChar('0'));
    }
    args << escaped;
  }
  P.start("/bin/sh", args);
}

}  // namespace testsupport
