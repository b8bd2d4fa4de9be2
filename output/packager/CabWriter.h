#pragma once

// Writes Microsoft Cabinet (.cab) files, LZX-compressed (window 2^18).
//
// Used like the Windows cabinet library: Create, AddFile for each file
// (optionally FlushFolder to start a new folder), FlushCabinet to write the
// file, Destroy (or the destructor) to drop whatever was not written.
//
// Every file goes into the current folder; a folder is one compressed stream,
// so one folder for everything compresses best. The compressed data is
// spooled to an anonymous temporary file (in TMPDIR when set, else beside the
// cabinet), because the cabinet's tables come before its data and are known
// only when the last file has been added. The cabinet itself is written by
// the program's one write path for whole files (a temporary file beside the
// target, synced, then renamed over it), so a failure (a full disk) never
// leaves a half-written cabinet nor touches the older file.
//
// Failures return false and leave a readable message in ErrorText().

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lzx {
class TEncoder;
}

enum class TCabCompression { None, Lzx };

// Date, time and attributes as stored for a file in the cabinet.
struct TCabFileStamp {
  uint16_t Date = 0;        // ((year - 1980) << 9) | (month << 5) | day
  uint16_t Time = 0;        // (hour << 11) | (minute << 5) | (second / 2)
  uint16_t Attributes = 0;  // 0x01 read-only, 0x02 hidden, 0x04 system, 0x20 archive, 0x40 execute
};

enum : uint16_t {
  kCabAttrReadOnly = 0x01,
  kCabAttrHidden = 0x02,
  kCabAttrSystem = 0x04,
  kCabAttrArchive = 0x20,
  kCabAttrExecute = 0x40,
  kCabAttrNameIsUtf8 = 0x80,  // set by the writer for UTF-8 names beyond ASCII
};

class TCabWriter {
 public:
  // Called once per file before its data is read, with its name in the cabinet.
  using TFileEvent = std::function<void(const std::string& NameInCabinet)>;
  // Called while a file is compressed: 0 first, then as the percentage grows, 100 last.
  using TProgressEvent = std::function<void(const std::string& NameInCabinet, int Percent)>;

  static constexpr size_t kMaxNameLength = 255;
  static constexpr uint32_t kMaxFolderBytes = 0x7FFF8000;  // 65535 blocks of 32 KiB
  static constexpr uint32_t kMaxCabinetBytes = 0x7FFFFFFF;
  static constexpr size_t kMaxFiles = 65535;

  TCabWriter();
  ~TCabWriter();
  TCabWriter(const TCabWriter&) = delete;
  TCabWriter& operator=(const TCabWriter&) = delete;

  // Starts a new cabinet to be written at CabPath (an existing file is
  // replaced when the cabinet is flushed). Anything unwritten from a previous
  // cabinet is dropped. The set ID identifies cabinets of one set; 0 is fine.
  bool Create(const std::string& CabPath, TCabCompression Compression = TCabCompression::Lzx, uint16_t SetID = 0);

  // Adds the file at SourcePath under NameInCabinet ("/" or "\" between
  // folders; stored with "\"). Its date, time and attributes come from the
  // file (modification time in local time; archive, read-only, execute).
  // A file that cannot be opened or a bad name leaves the cabinet usable; a
  // read or write failure in the middle of the data drops the whole cabinet.
  bool AddFile(const std::string& SourcePath, const std::string& NameInCabinet);
  // Same, with the date, time and attributes given.
  bool AddFile(const std::string& SourcePath, const std::string& NameInCabinet, const TCabFileStamp& Stamp);

  // Ends the current folder; the next file starts a new one. Without files in
  // the current folder this does nothing.
  bool FlushFolder();

  // Ends the last folder and writes the cabinet file. A cabinet without files
  // is not written (decoders reject it): FlushCabinet then returns true and
  // leaves any existing file alone; FilesWritten() tells the caller.
  bool FlushCabinet();

  // Drops everything not yet written. The writer can be created again.
  void Destroy();

  const std::string& ErrorText() const { return FError; }
  // Files added to the cabinet under construction.
  size_t FileCount() const { return FFiles.size(); }
  // Files in the cabinet written by the last FlushCabinet (0 when none was written).
  size_t FilesWritten() const { return FWrittenFiles; }

  // Frames whose compressed form exceeds this limit (instead of the format's
  // own) are sent uncompressed; lets a test force that path. 0 restores it.
  void SetFramePayloadLimitForTesting(size_t Limit);

  TFileEvent OnFileStart;
  TProgressEvent OnFileProgress;

  // Stamp of a file on disk; nullopt when it cannot be read.
  static std::optional<TCabFileStamp> StampOfFile(const std::string& Path);
  // DOS date and time of a local time; years before 1980 give 1980-01-01
  // 00:00:00, years after 2107 give 2107-12-31 23:59:58.
  static void DosDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, uint16_t& Date,
                          uint16_t& Time);

 private:
  struct TFileEntry {
    uint32_t Size = 0;
    uint32_t FolderOffset = 0;
    uint16_t Folder = 0;
    TCabFileStamp Stamp;
    std::string Name;
  };
  struct TFolderEntry {
    uint64_t DataOffset = 0;  // in the spool file
    uint64_t DataBytes = 0;
    uint32_t Blocks = 0;
  };

  bool Fail(std::string Message);
  bool AddFileImpl(const std::string& SourcePath, const std::string& NameInCabinet,
                   const std::optional<TCabFileStamp>& Stamp);
  // Hands the pending frame on: stored as it is, or to the encoder.
  bool EmitFrame();
  // Writes what the encoder has coded; All waits for every queued frame.
  bool WriteCodedBlocks(bool All);
  // Writes FPayload as one data block of the current folder.
  bool WriteBlock(uint32_t UncompressedSize);
  bool WriteCabinetFile();

  bool FCreated = false;
  std::string FPath;
  TCabCompression FCompression = TCabCompression::Lzx;
  uint16_t FSetID = 0;
  std::string FError;

  std::FILE* FSpool = nullptr;
  uint64_t FSpoolBytes = 0;
  std::vector<TFileEntry> FFiles;
  std::vector<TFolderEntry> FFolders;

  // The current folder (open while it has files).
  bool FFolderOpen = false;
  uint32_t FFolderBytes = 0;  // uncompressed bytes so far
  TFolderEntry FFolder;
  std::vector<uint8_t> FFrame;  // pending uncompressed bytes, < 32768
  std::vector<uint8_t> FPayload;
  std::unique_ptr<lzx::TEncoder> FEncoder;
  size_t FPayloadLimit = 0;
  size_t FWrittenFiles = 0;
};
