#pragma once

// The export's document on its way to its file: the bytes gather in one
// buffer of whole pages, and each time it is full it goes to the writer. So
// an export of any size holds no more than the buffer, and the writer gets
// page-aligned blocks of one size that it can take past the page cache.
//
// A writer that fails is not called again; the rest of the document is
// still built (and dropped), so a fault of a template further on is found
// and reported as it would be with a writable file.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class TExportDocument {
 public:
  // Takes a run of the document's bytes, in order; false when it failed.
  using TWrite = std::function<bool(std::string_view Bytes)>;

  explicit TExportDocument(TWrite Write);
  ~TExportDocument();
  TExportDocument(const TExportDocument&) = delete;
  TExportDocument& operator=(const TExportDocument&) = delete;

  void Append(std::string_view Text) {
    if (Text.size() <= kBufferSize - FSize) {
      std::char_traits<char>::copy(FBuffer + FSize, Text.data(), Text.size());
      FSize += Text.size();
    } else {
      Spill(Text);
    }
  }
  // Hands what is left to the writer. False when any write failed.
  bool Finish();

  static constexpr size_t kBufferSize = size_t(8) << 20;

 private:
  void Spill(std::string_view Text);
  void Flush();

  TWrite FWrite;
  char* FBuffer = nullptr;
  size_t FSize = 0;
  bool FFailed = false;
};
