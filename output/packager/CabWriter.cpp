#include "CabWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "CabChecksum.h"
#include "CodePage.h"
#include "LzxEncoder.h"
#include "WholeFile.h"

namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kFolderEntrySize = 8;
constexpr uint32_t kFileEntryFixedSize = 16;
constexpr uint32_t kDataHeaderSize = 8;
constexpr size_t kReadChunk = 65536;

void Put16(std::vector<uint8_t>& Out, uint32_t V) {
  Out.push_back(static_cast<uint8_t>(V & 0xFF));
  Out.push_back(static_cast<uint8_t>((V >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}

std::string Quoted(const std::string& S) { return "\"" + S + "\""; }

std::string SystemError(int Err) { return std::strerror(Err); }

// The UTF-8 flag is set only for names that are UTF-8: other bytes stay as
// they are, for the extractor's own code page.
bool IsUtf8Beyond7Bit(const std::string& S) {
  return std::any_of(S.begin(), S.end(), [](char C) { return static_cast<unsigned char>(C) >= 0x80; }) &&
         IsValidUtf8(S);
}

uint16_t AttributesOfMode(mode_t Mode) {
  uint16_t A = kCabAttrArchive;
  if (!(Mode & S_IWUSR)) A |= kCabAttrReadOnly;
  if (Mode & S_IXUSR) A |= kCabAttrExecute;
  return A;
}

std::optional<TCabFileStamp> StampOfStat(const struct stat& St) {
  std::tm Local{};
  const time_t T = St.st_mtime;
  if (!localtime_r(&T, &Local)) return std::nullopt;
  TCabFileStamp Stamp;
  TCabWriter::DosDateTime(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday, Local.tm_hour, Local.tm_min,
                          Local.tm_sec, Stamp.Date, Stamp.Time);
  Stamp.Attributes = AttributesOfMode(St.st_mode);
  return Stamp;
}

// The spool holds the compressed data until the tables are known: it goes
// to TMPDIR when the user named one, else beside the cabinet, where the
// cabinet needs room anyway. It has no name, so nothing of it outlives the run.
std::FILE* OpenSpool(const std::string& CabFolder) {
  const char* TmpDir = std::getenv("TMPDIR");
  const std::string Folder = TmpDir && *TmpDir ? TmpDir : CabFolder;
  int Fd = ::open(Folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (Fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string Name = Folder + "/.cab-spool-XXXXXX";
    Fd = ::mkostemp(Name.data(), O_CLOEXEC);
    if (Fd >= 0) ::unlink(Name.c_str());
  }
  if (Fd < 0) return nullptr;
  std::FILE* Spool = ::fdopen(Fd, "w+b");
  if (!Spool) ::close(Fd);
  return Spool;
}

}  // namespace

TCabWriter::TCabWriter() = default;

TCabWriter::~TCabWriter() { Destroy(); }

bool TCabWriter::Fail(std::string Message) {
  FError = std::move(Message);
  return false;
}

void TCabWriter::DosDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, uint16_t& Date,
                             uint16_t& Time) {
  if (Year < 1980) {
    Year = 1980, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
  } else if (Year > 2107) {
    Year = 2107, Month = 12, Day = 31, Hour = 23, Minute = 59, Second = 58;
  }
  Second = std::min(Second, 59);  // a leap second still fits the 2-second field
  Date = static_cast<uint16_t>(((Year - 1980) << 9) | (Month << 5) | Day);
  Time = static_cast<uint16_t>((Hour << 11) | (Minute << 5) | (Second / 2));
}

std::optional<TCabFileStamp> TCabWriter::StampOfFile(const std::string& Path) {
  struct stat St {};
  if (::stat(Path.c_str(), &St) != 0) return std::nullopt;
  return StampOfStat(St);
}

void TCabWriter::SetFramePayloadLimitForTesting(size_t Limit) {
  FPayloadLimit = Limit;
  if (FEncoder) FEncoder->SetPayloadLimit(Limit ? Limit : lzx::kMaxFramePayload);
}

bool TCabWriter::Create(const std::string& CabPath, TCabCompression Compression, uint16_t SetID) {
  Destroy();
  FError.clear();
  FWrittenFiles = 0;
  if (CabPath.empty()) return Fail("No cabinet file name given");
  std::filesystem::path Folder = std::filesystem::path(CabPath).parent_path();
  if (Folder.empty()) Folder = ".";
  std::error_code Ec;
  if (!std::filesystem::is_directory(Folder, Ec))
    return Fail("The folder " + Quoted(Folder.string()) + " of the cabinet does not exist");
  // A target that can never be written is refused before any compressing.
  TWriteTarget Target;
  std::string Reason;
  if (!ResolveWriteTarget(CabPath, Target, Reason)) return Fail(CannotWriteFile(CabPath, Reason));
  FSpool = OpenSpool(Folder.string());
  if (!FSpool) return Fail("Cannot create a temporary file for the cabinet: " + SystemError(errno));
  FPath = CabPath;
  FCompression = Compression;
  FSetID = SetID;
  if (Compression == TCabCompression::Lzx && !FEncoder) FEncoder = std::make_unique<lzx::TEncoder>();
  if (FEncoder) FEncoder->SetPayloadLimit(FPayloadLimit ? FPayloadLimit : lzx::kMaxFramePayload);
  FCreated = true;
  return true;
}

void TCabWriter::Destroy() {
  // Frames still being parsed are of no use any more.
  if (FEncoder) FEncoder->Reset();
  if (FSpool) std::fclose(FSpool);
  FSpool = nullptr;
  FSpoolBytes = 0;
  FFiles.clear();
  FFolders.clear();
  FFolderOpen = false;
  FFolderBytes = 0;
  FFrame.clear();
  FCreated = false;
}

bool TCabWriter::AddFile(const std::string& SourcePath, const std::string& NameInCabinet) {
  return AddFileImpl(SourcePath, NameInCabinet, std::nullopt);
}

bool TCabWriter::AddFile(const std::string& SourcePath, const std::string& NameInCabinet, const TCabFileStamp& Stamp) {
  return AddFileImpl(SourcePath, NameInCabinet, Stamp);
}

bool TCabWriter::AddFileImpl(const std::string& SourcePath, const std::string& NameInCabinet,
                             const std::optional<TCabFileStamp>& Stamp) {
  if (!FCreated) return Fail("No cabinet has been created");
  std::string Name = NameInCabinet;
  std::replace(Name.begin(), Name.end(), '/', '\\');
  if (Name.empty()) return Fail("The name in the cabinet of " + Quoted(SourcePath) + " is empty");
  if (Name.find('\0') != std::string::npos) return Fail("The name " + Quoted(Name) + " contains a zero byte");
  if (Name.size() > kMaxNameLength)
    return Fail("The name " + Quoted(Name) + " is longer than " + std::to_string(kMaxNameLength) + " bytes");
  if (FFiles.size() >= kMaxFiles) return Fail("A cabinet holds at most " + std::to_string(kMaxFiles) + " files");

  std::FILE* In = std::fopen(SourcePath.c_str(), "rb");
  if (!In) return Fail("Cannot open " + Quoted(SourcePath) + ": " + SystemError(errno));
  struct stat St {};
  if (::fstat(fileno(In), &St) != 0 || !S_ISREG(St.st_mode)) {
    std::fclose(In);
    return Fail(Quoted(SourcePath) + " is not a file");
  }
  if (static_cast<uint64_t>(St.st_size) > kMaxFolderBytes) {
    std::fclose(In);
    return Fail(Quoted(SourcePath) + " is too large for a cabinet");
  }
  const uint32_t Size = static_cast<uint32_t>(St.st_size);

  TFileEntry Entry;
  Entry.Name = Name;
  if (Stamp) {
    Entry.Stamp = *Stamp;
  } else if (auto Own = StampOfStat(St)) {
    Entry.Stamp = *Own;
  }
  Entry.Stamp.Attributes &= ~kCabAttrNameIsUtf8;
  if (IsUtf8Beyond7Bit(Name)) Entry.Stamp.Attributes |= kCabAttrNameIsUtf8;

  if (FFolderOpen && uint64_t{FFolderBytes} + Size > kMaxFolderBytes && !FlushFolder()) {
    std::fclose(In);
    return false;
  }
  if (!FFolderOpen) {
    if (FFolders.size() >= 65535) {
      std::fclose(In);
      return Fail("A cabinet holds at most 65535 folders");
    }
    FFolder = TFolderEntry{FSpoolBytes, 0, 0};
    FFolderBytes = 0;
    FFrame.clear();
    if (FEncoder && FCompression == TCabCompression::Lzx) FEncoder->Reset();
    FFolderOpen = true;
  }
  Entry.Folder = static_cast<uint16_t>(FFolders.size());
  Entry.FolderOffset = FFolderBytes;

  if (OnFileStart) OnFileStart(Name);
  if (OnFileProgress) OnFileProgress(Name, 0);
  int Reported = 0;
  std::vector<uint8_t> Chunk(kReadChunk);
  uint32_t Done = 0;
  while (Done < Size) {
    const size_t Want = std::min<size_t>(kReadChunk, Size - Done);
    const size_t Got = std::fread(Chunk.data(), 1, Want, In);
    if (Got == 0) {
      if (std::ferror(In)) {
        const int Err = errno;
        std::fclose(In);
        // Part of the file is already in the folder's stream: this cabinet
        // cannot be finished consistently any more.
        Destroy();
        return Fail("Cannot read " + Quoted(SourcePath) + ": " + SystemError(Err));
      }
      break;  // the file shrank since it was opened: store what was there
    }
    size_t Used = 0;
    while (Used < Got) {
      const size_t Take = std::min(Got - Used, lzx::kFrameSize - FFrame.size());
      FFrame.insert(FFrame.end(), Chunk.data() + Used, Chunk.data() + Used + Take);
      Used += Take;
      if (FFrame.size() == lzx::kFrameSize && !EmitFrame()) {
        std::fclose(In);
        Destroy();
        return false;
      }
    }
    Done += static_cast<uint32_t>(Got);
    const int Percent = static_cast<int>(uint64_t{Done} * 100 / Size);
    if (OnFileProgress && Percent > Reported && Percent < 100) {
      Reported = Percent;
      OnFileProgress(Name, Percent);
    }
  }
  std::fclose(In);
  if (OnFileProgress) OnFileProgress(Name, 100);

  Entry.Size = Done;
  FFolderBytes += Done;
  FFiles.push_back(std::move(Entry));
  return true;
}

bool TCabWriter::EmitFrame() {
  if (FCompression == TCabCompression::Lzx) {
    // The encoder parses frames in chunks on other threads; what it has
    // coded by now goes to the spool.
    FEncoder->AddFrame(FFrame.data(), FFrame.size());
    FFrame.clear();
    return WriteCodedBlocks(false);
  }
  FPayload = FFrame;
  const uint32_t Uncompressed = static_cast<uint32_t>(FFrame.size());
  FFrame.clear();
  return WriteBlock(Uncompressed);
}

bool TCabWriter::WriteCodedBlocks(bool All) {
  uint32_t Uncompressed = 0;
  while (FEncoder->TakePayload(FPayload, Uncompressed, All))
    if (!WriteBlock(Uncompressed)) return false;
  return true;
}

bool TCabWriter::WriteBlock(uint32_t UncompressedSize) {
  const uint16_t Uncompressed = static_cast<uint16_t>(UncompressedSize);
  const uint16_t Compressed = static_cast<uint16_t>(FPayload.size());
  std::vector<uint8_t> Header;
  Put32(Header, CabDataBlockChecksum(FPayload.data(), Compressed, Uncompressed));
  Put16(Header, Compressed);
  Put16(Header, Uncompressed);
  if (std::fwrite(Header.data(), 1, Header.size(), FSpool) != Header.size() ||
      std::fwrite(FPayload.data(), 1, FPayload.size(), FSpool) != FPayload.size())
    return Fail("Cannot write the cabinet's temporary file: " + SystemError(errno));
  const uint64_t Bytes = kDataHeaderSize + FPayload.size();
  FSpoolBytes += Bytes;
  FFolder.DataBytes += Bytes;
  ++FFolder.Blocks;
  return true;
}

bool TCabWriter::FlushFolder() {
  if (!FCreated) return Fail("No cabinet has been created");
  if (!FFolderOpen) return true;
  if ((!FFrame.empty() && !EmitFrame()) || (FCompression == TCabCompression::Lzx && !WriteCodedBlocks(true))) {
    Destroy();
    return false;
  }
  FFolders.push_back(FFolder);
  FFolderOpen = false;
  return true;
}

bool TCabWriter::FlushCabinet() {
  if (!FCreated) return Fail("No cabinet has been created");
  if (!FlushFolder()) return false;
  bool Ok = true;
  if (!FFiles.empty()) Ok = WriteCabinetFile();
  FWrittenFiles = Ok ? FFiles.size() : 0;
  Destroy();
  return Ok;
}

bool TCabWriter::WriteCabinetFile() {
  const uint32_t FilesOffset = kHeaderSize + kFolderEntrySize * static_cast<uint32_t>(FFolders.size());
  uint64_t DataStart = FilesOffset;
  for (const TFileEntry& F : FFiles) DataStart += kFileEntryFixedSize + F.Name.size() + 1;
  const uint64_t Total = DataStart + FSpoolBytes;
  if (Total > kMaxCabinetBytes) return Fail("The cabinet " + Quoted(FPath) + " would be larger than 2 GiB");

  std::vector<uint8_t> Head;
  Head.reserve(DataStart);
  Head.insert(Head.end(), {'M', 'S', 'C', 'F'});
  Put32(Head, 0);
  Put32(Head, static_cast<uint32_t>(Total));
  Put32(Head, 0);
  Put32(Head, FilesOffset);
  Put32(Head, 0);
  Head.push_back(3);  // version 1.3
  Head.push_back(1);
  Put16(Head, static_cast<uint32_t>(FFolders.size()));
  Put16(Head, static_cast<uint32_t>(FFiles.size()));
  Put16(Head, 0);  // no reserve areas, no neighbouring cabinets
  Put16(Head, FSetID);
  Put16(Head, 0);  // first cabinet of its set
  const uint16_t Type = FCompression == TCabCompression::Lzx ? lzx::kCabCompressionWord : 0;
  for (const TFolderEntry& F : FFolders) {
    Put32(Head, static_cast<uint32_t>(DataStart + F.DataOffset));
    Put16(Head, F.Blocks);
    Put16(Head, Type);
  }
  for (const TFileEntry& F : FFiles) {
    Put32(Head, F.Size);
    Put32(Head, F.FolderOffset);
    Put16(Head, F.Folder);
    Put16(Head, F.Stamp.Date);
    Put16(Head, F.Stamp.Time);
    Put16(Head, F.Stamp.Attributes);
    Head.insert(Head.end(), F.Name.begin(), F.Name.end());
    Head.push_back(0);
  }

  TWholeFileWriter Out;
  bool Ok = Out.Open(FPath) && Out.Write(std::string_view(reinterpret_cast<const char*>(Head.data()), Head.size()));
  int ReadErr = 0;
  errno = 0;
  if (Ok && (std::fflush(FSpool) != 0 || std::fseek(FSpool, 0, SEEK_SET) != 0)) ReadErr = errno ? errno : EIO;
  std::vector<char> Buf(kReadChunk);
  for (uint64_t Left = FSpoolBytes; Ok && ReadErr == 0 && Left > 0;) {
    const size_t Want = static_cast<size_t>(std::min<uint64_t>(Left, Buf.size()));
    if (std::fread(Buf.data(), 1, Want, FSpool) != Want)
      ReadErr = errno ? errno : EIO;
    else
      Ok = Out.Write(std::string_view(Buf.data(), Want));
    Left -= Want;
  }
  if (ReadErr != 0) return Fail("Cannot read the cabinet's temporary file: " + SystemError(ReadErr));
  if (!Ok || !Out.Commit()) return Fail(CannotWriteFile(FPath, Out.Reason()));
  return true;
}
