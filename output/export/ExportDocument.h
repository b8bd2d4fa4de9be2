#pragma once

// The export's document, held whole until it is written: one growing block
// of its own pages. Growing moves the pages rather than copying the bytes,
// so a document never needs room for itself twice, and the pages go back to
// the system as soon as the document is done.

#include <cstddef>
#include <string_view>

class TExportDocument {
 public:
  TExportDocument() = default;
  ~TExportDocument();
  TExportDocument(const TExportDocument&) = delete;
  TExportDocument& operator=(const TExportDocument&) = delete;

  void Append(std::string_view Text);
  std::string_view View() const { return {FData, FSize}; }

 private:
  void Grow(size_t Needed);
  char* FData = nullptr;
  size_t FSize = 0;
  size_t FCapacity = 0;
};
