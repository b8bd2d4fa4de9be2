#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

class QProcess;

// Shared helpers of the tests.
namespace testsupport {
// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Writes bytes to a file, creating folders; returns false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Folder of the test fixtures (tests/data).
std::string TestDataDir();
// Folder of the built executable and its definition files.
std::string BinDir();
// True under CI (CI=true), where a check that lacks a tool or a mount must
// fail rather than skip: the CI script installs everything.
bool InCi();
// True in a build with AddressSanitizer, which reserves far more address
// space than a process limited to a small one may have: such a process
// cannot even start there, so a test of one skips (under CI too) with this
// reason.
inline constexpr const char* kNoSmallAddressSpaceUnderAsan =
    "AddressSanitizer needs more address space than a run with a small limit may have";
constexpr bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
  return __has_feature(address_sanitizer);
#else
  return false;
#endif
}
// A stored window position: left, top, width, height, 32-bit little-endian each.
std::string DlgPosRecord(int32_t L, int32_t T, int32_t W, int32_t H);
// Stores Bytes as the position value Name.
void StoreDlgPos(const std::string& Name, const std::string& Bytes);
// Starts Program (looked for on PATH) with the arguments' own bytes
// (NativeFromName): QProcess would pass a name that is not UTF-8 as UTF-8.
void StartWithNameBytes(QProcess& P, const std::string& Program, const QStringList& Args);
}  // namespace testsupport
