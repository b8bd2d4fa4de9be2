#include "ZipWriter.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <string_view>
#include <utility>

#include "MorvoError.h"
#include "NativeNames.h"
#include "WholeFile.h"

namespace {
std::string ZipErrorText(int Code) {
  zip_error_t error;
  zip_error_init_with_code(&error, Code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// A stretch of the progress: compressing the files, then writing the archive.
struct TProgressSpan {
  const std::function<void(int)>* Report;
  double From, To;
  void operator()(double Fraction) const {
    if (Report && *Report) (*Report)(static_cast<int>((From + (To - From) * Fraction) * 100.0 + 0.5));
  }
};

// Compressing takes nearly all the time; writing copies compressed data.
constexpr double kCompressedShare = 0.9;

void ReportProgress(zip_t*, double Progress, void* Data) { (*static_cast<const TProgressSpan*>(Data))(Progress); }

void StoreProgress(zip_t*, double Progress, void* Data) {
  static_cast<std::atomic<double>*>(Data)->store(Progress, std::memory_order_relaxed);
}

int IsCancelled(zip_t*, void* Data) { return static_cast<const std::atomic<bool>*>(Data)->load() ? 1 : 0; }

// An empty zip file is its end record alone (with the comment). libzip
// removes an archive that has no entries instead of writing one.
void WriteEmptyZip(const std::string& FileName, const std::string& Target, const std::string& Comment) {
  std::string bytes = std::string("PK\x05\x06", 4) + std::string(16, '\0');
  const size_t length = std::min<size_t>(Comment.size(), 0xFFFF);
  bytes += static_cast<char>(length & 0xFF);
  bytes += static_cast<char>(length >> 8);
  bytes += Comment.substr(0, length);
  std::string reason;
  if (!WriteFileAtomically(Target, bytes, reason)) throw EMorvoError(CannotWriteFile(FileName, reason));
}

// The zip format reads a name without the UTF-8 mark as CP437: the byte E9,
// a windows-1252 e acute in a name from a Windows share, would come out as
// a Greek Theta. A name that is no UTF-8 is stored as the program shows it,
// in UTF-8 with the mark.
std::string StoredName(const std::string& EntryName) { return NativeNameAsUtf8(EntryName); }

zip_int64_t LocateEntry(zip_t* Archive, const std::string& Name) {
  return zip_name_locate(Archive, StoredName(Name).c_str(), ZIP_FL_ENC_RAW);
}

// Up to Count bytes of Fd from Offset; false when a read fails.
bool ReadAt(int Fd, off_t Offset, size_t Count, std::string& Bytes) {
  Bytes.resize(Count);
  size_t have = 0;
  while (have < Count) {
    const ssize_t got = ::pread(Fd, Bytes.data() + have, Count - have, Offset + static_cast<off_t>(have));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  Bytes.resize(have);
  return true;
}

bool IsSmallLetterOrDigit(char C) { return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9'); }

// libzip writes "<archive>.XXXXXX" (small letters and digits) beside the
// archive and renames it when done; a killed run leaves it behind. Only
// such a name holding a zip in the making counts: nothing yet, or entries
// without the end record a finished archive has, so a user's own finished
// copy ("X.zip.backup") is never taken for one.
bool IsLibzipTemporaryOf(const std::string& Target, const std::string& Name) {
  const size_t slash = Target.rfind('/');
  const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
  if (Name.size() != base.size() + 7 || Name.compare(0, base.size(), base) != 0 || Name[base.size()] != '.')
    return false;
  if (!std::all_of(Name.begin() + static_cast<std::ptrdiff_t>(base.size()) + 1, Name.end(), IsSmallLetterOrDigit))
    return false;
  const int fd =
      OpenRegularFileForReading((slash == std::string::npos ? std::string() : Target.substr(0, slash + 1)) + Name);
  if (fd < 0) return false;
  // Only the start and the end are looked at: the end record and its comment
  // sit in the last 64 KiB and 22 bytes, and a leftover may be large.
  struct stat st {};
  std::string head, tail;
  const bool read = ::fstat(fd, &st) == 0;
  const off_t size = read ? st.st_size : 0;
  const off_t tailStart = size > 65557 ? size - 65557 : 0;
  const bool ok = read && ReadAt(fd, 0, 4, head) && ReadAt(fd, tailStart, static_cast<size_t>(size - tailStart), tail);
  ::close(fd);
  if (!ok) return false;
  if (size == 0) return true;
  return head == std::string_view("PK\x03\x04", 4) && tail.find("PK\x05\x06") == std::string::npos;
}
}  // namespace

// A file added to the archive. A worker deflates it into a one-entry archive
// in memory, exactly as it would be stored in the real one, so closing only
// copies the compressed data across.
struct TZipWriter::TAddedFile {
  std::string EntryName;
  struct stat Stat {};
  zip_source_t* Source = nullptr;   // the file, until the worker takes it
  zip_t* Compressed = nullptr;      // the finished one-entry archive, read only
  std::string Failure;              // why it could not be compressed
  std::atomic<double> Progress{0};  // of its compression, 0 to 1

  ~TAddedFile() {
    if (Source) zip_source_free(Source);
    if (Compressed) zip_discard(Compressed);
  }

  void Compress(const std::atomic<bool>& Cancelled) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
      Failure = zip_error_strerror(&error);
      if (buffer) zip_source_free(buffer);
      zip_error_fini(&error);
      return;
    }
    zip_source_keep(buffer);  // outlives the archive written into it
    zip_source_t* source = std::exchange(Source, nullptr);
    if (zip_file_add(archive, "entry", source, 0) < 0) {
      zip_source_free(source);
    } else {
      zip_set_file_compression(archive, 0, ZIP_CM_DEFLATE, 9);
      zip_register_progress_callback_with_state(archive, 0.01, StoreProgress, nullptr, &Progress);
      zip_register_cancel_callback_with_state(archive, IsCancelled, nullptr,
                                              const_cast<std::atomic<bool>*>(&Cancelled));
      if (zip_close(archive) == 0) {
        Compressed = zip_open_from_source(buffer, ZIP_RDONLY, &error);
        if (!Compressed) {
          Failure = zip_error_strerror(&error);
          zip_source_free(buffer);
        }
        zip_error_fini(&error);
        return;
      }
    }
    Failure = zip_strerror(archive);
    zip_discard(archive);
    zip_source_free(buffer);
    zip_error_fini(&error);
  }
};

// Workers that compress added files, as many as there are processors.
class TZipWriter::TCompressor {
 public:
  TCompressor() : FMaxWorkers(std::max(1u, std::thread::hardware_concurrency())) {}
  ~TCompressor() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FStopping = true;
      FQueue.clear();
    }
    FCancelled = true;
    FWake.notify_all();
    for (std::thread& worker : FWorkers) worker.join();
  }

  void Add(TAddedFile* File) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (FWorkers.size() < FMaxWorkers && FWorkers.size() <= FUnfinished) {
      try {
        FWorkers.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        // No thread to be had: without any worker the file is compressed here.
        if (FWorkers.empty()) {
          lock.unlock();
          File->Compress(FCancelled);
          return;
        }
      }
    }
    FQueue.push_back(File);
    ++FUnfinished;
    FWake.notify_one();
  }

  // Returns when every added file is compressed, telling the progress now and then.
  void Wait(const std::function<void()>& Progress) {
    std::unique_lock<std::mutex> lock(FMutex);
    while (FUnfinished > 0) {
      FFinished.wait_for(lock, std::chrono::milliseconds(50));
      lock.unlock();
      Progress();
      lock.lock();
    }
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(FMutex);
    while (true) {
      FWake.wait(lock, [this] { return FStopping || !FQueue.empty(); });
      if (FStopping) return;
      TAddedFile* file = FQueue.front();
      FQueue.pop_front();
      lock.unlock();
      try {
        file->Compress(FCancelled);
      } catch (const std::bad_alloc&) {
        file->Failure = "Malloc failure";
      }
      lock.lock();
      --FUnfinished;
      FFinished.notify_all();
    }
  }

  const size_t FMaxWorkers;
  std::mutex FMutex;
  std::condition_variable FWake, FFinished;
  std::deque<TAddedFile*> FQueue;
  std::vector<std::thread> FWorkers;
  size_t FUnfinished = 0;
  bool FStopping = false;
  std::atomic<bool> FCancelled{false};
};

TZipWriter::TZipWriter() = default;
TZipWriter::~TZipWriter() { Discard(); }

void TZipWriter::Open(const std::string& FileName) {
  Discard();
  // libzip renames its new archive over the name it opened: opened through a
  // link, it would replace the link. It gets the file the link leads to, by
  // the rules every whole-file writer follows.
  TWriteTarget target;
  std::string reason;
  if (!ResolveWriteTarget(FileName, target, reason)) throw EMorvoError(CannotWriteFile(FileName, reason));
  RemoveLeftoverTemporaries(target.Path, kLeftoverAge, IsLibzipTemporaryOf);
  int code = 0;
  // An empty file holds nothing to keep: it becomes a new archive.
  const bool empty = target.Exists && target.Stat.st_size == 0;
  FArchive = zip_open(target.Path.c_str(), ZIP_CREATE | (empty ? ZIP_TRUNCATE : 0), &code);
  if (!FArchive) throw EMorvoError("Cannot open archive \"" + FileName + "\". " + ZipErrorText(code));
  FFileName = FileName;
  FTarget = target.Path;
  const char* comment = zip_get_archive_comment(FArchive, nullptr, ZIP_FL_ENC_RAW);
  FComment = comment ? comment : "";
}

void TZipWriter::SetComment(const std::string& Comment) {
  FComment = Comment.substr(0, 0xFFFF);
  if (FArchive) zip_set_archive_comment(FArchive, FComment.data(), static_cast<zip_uint16_t>(FComment.size()));
}

bool TZipWriter::AddFile(const std::string& DiskPath, const std::string& EntryName) {
  if (!FArchive) throw EMorvoError("No archive is open");
  struct stat st {};
  if (::stat(DiskPath.c_str(), &st) != 0 || ::access(DiskPath.c_str(), R_OK) != 0)
    throw EMorvoError("Cannot open file \"" + DiskPath + "\". " + std::strerror(errno));

  // The same size and time (the zip format keeps times to two seconds,
  // rounded down) as what the archive holds, or is to hold, under that name.
  const auto unchanged = [&](zip_uint64_t Size, time_t MTime) {
    const long long delta = static_cast<long long>(st.st_mtime) - static_cast<long long>(MTime);
    return Size == static_cast<zip_uint64_t>(st.st_size) && delta >= 0 && delta < 2;
  };
  if (const TAddedFile* added = FindAdded(EntryName)) {
    if (unchanged(static_cast<zip_uint64_t>(added->Stat.st_size), added->Stat.st_mtime)) return false;
  } else {
    const zip_int64_t existing = LocateEntry(FArchive, EntryName);
    zip_stat_t entry;
    zip_stat_init(&entry);
    if (existing >= 0 && zip_stat_index(FArchive, static_cast<zip_uint64_t>(existing), 0, &entry) == 0 &&
        (entry.valid & ZIP_STAT_SIZE) && (entry.valid & ZIP_STAT_MTIME) && unchanged(entry.size, entry.mtime))
      return false;
  }

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_file_create(DiskPath.c_str(), 0, -1, &error);
  if (!source) {
    const std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw EMorvoError("Cannot open file \"" + DiskPath + "\". " + reason);
  }
  auto file = std::make_unique<TAddedFile>();
  file->EntryName = EntryName;
  file->Stat = st;
  file->Source = source;
  if (!FCompressor) FCompressor = std::make_unique<TCompressor>();
  FAdded.push_back(std::move(file));
  FCompressor->Add(FAdded.back().get());
  return true;
}

const TZipWriter::TAddedFile* TZipWriter::FindAdded(const std::string& EntryName) const {
  for (auto it = FAdded.rbegin(); it != FAdded.rend(); ++it)
    if ((*it)->EntryName == EntryName) return it->get();
  return nullptr;
}

// Adds every compressed file as its entry, in the order the files came;
// libzip copies compressed data of another archive without compressing again.
void TZipWriter::CopyCompressedEntries() {
  for (const auto& file : FAdded) {
    if (!file->Compressed) throw EMorvoError(CannotWriteFile(FFileName, file->Failure));
    zip_source_t* source = zip_source_zip(FArchive, file->Compressed, 0, 0, 0, -1);
    const zip_int64_t existing = LocateEntry(FArchive, file->EntryName);
    zip_int64_t index = -1;
    if (source && existing >= 0)
      index = zip_file_replace(FArchive, static_cast<zip_uint64_t>(existing), source, 0) == 0 ? existing : -1;
    else if (source)
      index = zip_file_add(FArchive, StoredName(file->EntryName).c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      if (source) zip_source_free(source);
      throw EMorvoError("Cannot add \"" + file->EntryName + "\" to the archive. " + zip_strerror(FArchive));
    }
    const auto i = static_cast<zip_uint64_t>(index);
    zip_file_set_mtime(FArchive, i, file->Stat.st_mtime, 0);
    // Unix permissions in the upper half, as zip tools on this system expect.
    zip_file_set_external_attributes(FArchive, i, 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(file->Stat.st_mode & 0xFFFF) << 16);
  }
}

void TZipWriter::SetProgress(std::function<void(int)> Progress) { FProgress = std::move(Progress); }

void TZipWriter::Close() {
  if (!FArchive) return;
  zip_set_archive_comment(FArchive, FComment.data(), static_cast<zip_uint16_t>(FComment.size()));
  if (zip_get_num_entries(FArchive, 0) == 0 && FAdded.empty()) {
    Discard();
    WriteEmptyZip(FFileName, FTarget, FComment);
    return;
  }
  TProgressSpan writing{&FProgress, 0.0, 1.0};
  if (FCompressor) {
    const TProgressSpan compressing{&FProgress, 0.0, kCompressedShare};
    double total = 0;
    for (const auto& file : FAdded) total += static_cast<double>(file->Stat.st_size) + 1;
    FCompressor->Wait([&] {
      double done = 0;
      for (const auto& file : FAdded)
        done += file->Progress.load(std::memory_order_relaxed) * (static_cast<double>(file->Stat.st_size) + 1);
      compressing(done / total);
    });
    compressing(1.0);  // also when the workers were done before the wait
    writing.From = kCompressedShare;
    try {
      CopyCompressedEntries();
    } catch (...) {
      Discard();
      throw;
    }
  }
  zip_register_progress_callback_with_state(FArchive, 0.01, ReportProgress, nullptr, &writing);
  const bool written = zip_close(FArchive) == 0;
  const std::string reason = written ? std::string() : zip_strerror(FArchive);
  if (written) FArchive = nullptr;
  Discard();
  if (!written) throw EMorvoError(CannotWriteFile(FFileName, reason));
}

void TZipWriter::Discard() {
  // The archive goes first: its entries read the compressed files.
  if (FArchive) zip_discard(FArchive);
  FArchive = nullptr;
  FCompressor.reset();  // stops what is still being compressed
  FAdded.clear();
}
