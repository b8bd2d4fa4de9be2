#pragma once

#include <QString>
#include <string>

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
}  // namespace testsupport
