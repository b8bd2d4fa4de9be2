#pragma once

// The export's document on its way to its file: the bytes gather in a buffer
// of whole pages, and each time it is full it goes to the writer on a thread
// of its own while the next buffer fills. So an export of any size holds no
// more than two buffers, and the building waits for the disk only when the
// disk is the slower of the two.
//
// A writer that fails is not called again; the rest of the document is
// still built (and dropped), so a fault of a template further on is found
// and reported as it would be with a writable file.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class TExportDocument {
 public:
  // Takes a run of the document's bytes, in order, on the writing thread;
  // false when it failed.
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
  // Hands what is left to the writer and waits for every write. False when
  // any write failed.
  bool Finish();

  static constexpr size_t kBufferSize = size_t(1) << 20;

 private:
  void Spill(std::string_view Text);
  // Hands the full buffer to the writing thread and goes on in the other.
  void Flush();
  void WaitForWriter(std::unique_lock<std::mutex>& Lock);
  void WriteOnThread();

  TWrite FWrite;
  char* FPages = nullptr;  // both buffers
  char* FBuffer = nullptr;
  size_t FSize = 0;
  std::thread FWriter;  // started by the first full buffer
  std::mutex FLock;
  std::condition_variable FChanged;
  std::string_view FPending;  // being written while not empty
  bool FFailed = false;
  bool FEnding = false;
};
