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
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "MorvoError.h"
#include "NativeNames.h"
#include "UsableCpus.h"
#include "WholeFile.h"
#include "ZipDeflate.h"

namespace {
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

// The zip format reads a name without the UTF-8 mark as CP437: the byte E9,
// a windows-1252 e acute in a name from a Windows share, would come out as
// a Greek Theta. A name that is no UTF-8 is stored as the program shows it,
// in UTF-8 with the mark.
std::string StoredName(const std::string& EntryName) { return NativeNameAsUtf8(EntryName); }

// The bytes of an archive libzip wrote into a buffer source, written
// through Writer in pieces: the archive is not copied whole once more.
bool WriteSourceTo(zip_source_t* Source, TWholeFileWriter& Writer, std::string& Reason) {
  if (zip_source_open(Source) < 0) {
    Reason = zip_error_strerror(zip_source_error(Source));
    return false;
  }
  std::string chunk(size_t{1} << 20, '\0');
  bool ok = true;
  for (;;) {
    const zip_int64_t got = zip_source_read(Source, chunk.data(), chunk.size());
    if (got < 0) {
      Reason = zip_error_strerror(zip_source_error(Source));
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!Writer.Write(std::string_view(chunk.data(), static_cast<size_t>(got)))) {
      Reason = Writer.Reason();
      ok = false;
      break;
    }
  }
  zip_source_close(Source);
  return ok;
}
}  // namespace

// Runs tasks on worker threads, as many as the processors this process may
// use; a task may queue more tasks.
class TZipWriter::TCompressor {
 public:
  TCompressor() : FMaxWorkers(UsableCpus()) {}
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

  const std::atomic<bool>& Cancelled() const { return FCancelled; }

  void Add(std::function<void()> Task) {
    std::unique_lock<std::mutex> lock(FMutex);
    // A task queuing more while the pool is being stopped: no new worker may
    // join the ones being waited for.
    if (FStopping) return;
    if (FWorkers.size() < FMaxWorkers && FWorkers.size() <= FUnfinished) {
      try {
        FWorkers.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        // No thread to be had: without any worker the task runs here.
        if (FWorkers.empty()) {
          lock.unlock();
          Task();
          return;
        }
      }
    }
    FQueue.push_back(std::move(Task));
    ++FUnfinished;
    FWake.notify_one();
  }

  // Returns when every task has run, telling the progress now and then.
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
      std::function<void()> task = std::move(FQueue.front());
      FQueue.pop_front();
      lock.unlock();
      task();
      lock.lock();
      --FUnfinished;
      FFinished.notify_all();
    }
  }

  const size_t FMaxWorkers;
  std::mutex FMutex;
  std::condition_variable FWake, FFinished;
  std::deque<std::function<void()>> FQueue;
  std::vector<std::thread> FWorkers;
  size_t FUnfinished = 0;
  bool FStopping = false;
  std::atomic<bool> FCancelled{false};
};

// A file added to the archive. Workers deflate it into a one-entry archive
// in memory, exactly as it would be stored in the real one, so closing only
// copies the compressed data across.
struct TZipWriter::TAddedFile {
  std::string DiskPath;
  std::string EntryName;
  struct stat Stat {};
  zip_source_t* Source = nullptr;       // the file, until the worker takes it
  zip_t* Compressed = nullptr;          // the finished one-entry archive, read only
  std::string Failure;                  // why it could not be compressed
  std::atomic<double> Progress{0};      // of its compression, 0 to 1
  std::atomic<bool> Superseded{false};  // the name was added again: this one is not stored

  // A large file, deflated in pieces side by side.
  std::string Data;
  std::vector<std::string> Pieces;
  std::vector<uint32_t> PieceCrcs;
  std::atomic<size_t> PiecesLeft{0};
  std::mutex FailureLock;  // pieces fail on several threads

  ~TAddedFile() {
    if (Source) zip_source_free(Source);
    if (Compressed) zip_discard(Compressed);
  }

  // From this size a file is deflated in pieces; below 4 GiB, where an entry
  // needs no 64-bit sizes.
  static constexpr off_t kPiecesFrom = static_cast<off_t>(zipdeflate::kPieceSize) + 1;
  static constexpr off_t kPiecesBelow = 0xF0000000;

  void Compress(TCompressor& Pool) {
    try {
      if (Superseded) return;
      if (Stat.st_size >= kPiecesFrom && Stat.st_size < kPiecesBelow)
        StartPieces(Pool);
      else
        CompressWhole(Pool.Cancelled());
    } catch (const std::bad_alloc&) {
      Fail("Malloc failure");
    }
  }

  void Fail(const std::string& Reason) {
    const std::lock_guard<std::mutex> hold(FailureLock);
    if (Failure.empty()) Failure = Reason;
  }

  void CompressWhole(const std::atomic<bool>& Cancelled) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
      Fail(zip_error_strerror(&error));
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
          Fail(zip_error_strerror(&error));
          zip_source_free(buffer);
        }
        zip_error_fini(&error);
        return;
      }
    }
    Fail(zip_strerror(archive));
    zip_discard(archive);
    zip_source_free(buffer);
    zip_error_fini(&error);
  }

  // Reads the file and queues one task per piece; the last piece to finish
  // joins them.
  void StartPieces(TCompressor& Pool) {
    std::string reason;
    if (!ReadRegularFile(DiskPath, Data, &reason)) {
      if (errno == ENOMEM) throw std::bad_alloc();
      return Fail(reason);
    }
    const size_t count = (Data.size() + zipdeflate::kPieceSize - 1) / zipdeflate::kPieceSize;
    Pieces.assign(count, std::string());
    PieceCrcs.assign(count, 0);
    PiecesLeft = count;
    for (size_t i = 0; i < count; ++i) Pool.Add([this, i, count, &Pool] { DeflatePiece(i, count, Pool.Cancelled()); });
  }

  void DeflatePiece(size_t Index, size_t Count, const std::atomic<bool>& Cancelled) {
    if (!Cancelled && !Superseded) {
      try {
        const size_t from = Index * zipdeflate::kPieceSize;
        const size_t to = std::min(Data.size(), from + zipdeflate::kPieceSize);
        Pieces[Index] = zipdeflate::DeflatePiece(Data, from, to, Index + 1 == Count);
        PieceCrcs[Index] = zipdeflate::Crc32(std::string_view(Data).substr(from, to - from));
        Progress.store(static_cast<double>(Count - PiecesLeft + 1) / static_cast<double>(Count),
                       std::memory_order_relaxed);
      } catch (const std::bad_alloc&) {
        Fail("Malloc failure");
      }
    }
    if (--PiecesLeft == 0 && !Cancelled) JoinPieces();
  }

  void JoinPieces() {
    if (Superseded) return;
    {
      const std::lock_guard<std::mutex> hold(FailureLock);
      if (!Failure.empty()) return;
    }
    try {
      uint32_t crc = PieceCrcs[0];
      size_t deflated = Pieces[0].size();
      for (size_t i = 1; i < Pieces.size(); ++i) {
        const size_t length = std::min(zipdeflate::kPieceSize, Data.size() - i * zipdeflate::kPieceSize);
        crc = zipdeflate::CombineCrc32(crc, PieceCrcs[i], length);
        deflated += Pieces[i].size();
      }
      std::string joined;
      joined.reserve(deflated);
      for (std::string& piece : Pieces) joined += std::exchange(piece, std::string());
      const std::string zip = zipdeflate::OneEntryZip(joined, crc, Data.size());
      Data = std::string();
      joined = std::string();
      OpenCompressed(zip);
    } catch (const std::bad_alloc&) {
      Fail("Malloc failure");
    }
  }

  void OpenCompressed(const std::string& Zip) {
    void* bytes = std::malloc(Zip.size());
    if (!bytes) throw std::bad_alloc();
    std::memcpy(bytes, Zip.data(), Zip.size());
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(bytes, Zip.size(), 1, &error);
    if (!buffer) std::free(bytes);
    Compressed = buffer ? zip_open_from_source(buffer, ZIP_RDONLY, &error) : nullptr;
    if (!Compressed) {
      Fail(zip_error_strerror(&error));
      if (buffer) zip_source_free(buffer);
    }
    zip_error_fini(&error);
  }
};

TZipWriter::TZipWriter() = default;
TZipWriter::~TZipWriter() { Discard(); }

void TZipWriter::Open(const std::string& FileName) {
  Discard();
  // The archive is built in memory from the older one and committed as
  // every whole file is: through a temporary beside it, synced, renamed,
  // links followed, mode and owner kept.
  TWriteTarget target;
  std::string reason;
  if (!ResolveWriteTarget(FileName, target, reason)) throw EMorvoError(CannotWriteFile(FileName, reason));
  // An empty file holds nothing to keep: it becomes a new archive.
  std::string older;
  if (target.Exists && target.Stat.st_size > 0 && !ReadRegularFile(target.Path, older, &reason))
    throw EMorvoError("Cannot open archive \"" + FileName + "\". " + reason);
  // The buffer source frees what it is given (a buffer it only borrowed it
  // frees all the same once it has been written to).
  void* bytes = older.empty() ? nullptr : std::malloc(older.size());
  if (!older.empty() && !bytes) throw std::bad_alloc();
  if (bytes) std::memcpy(bytes, older.data(), older.size());
  const size_t size = older.size();
  older = std::string();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes, size, 1, &error);
  if (!source) std::free(bytes);
  FArchive = source ? zip_open_from_source(source, size == 0 ? ZIP_TRUNCATE : 0, &error) : nullptr;
  if (!FArchive) {
    reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (source) zip_source_free(source);
    throw EMorvoError("Cannot open archive \"" + FileName + "\". " + reason);
  }
  zip_error_fini(&error);
  zip_source_keep(source);  // read back once the archive is written into it
  FSource = source;
  FFileName = FileName;
  const char* comment = zip_get_archive_comment(FArchive, nullptr, ZIP_FL_ENC_RAW);
  FComment = comment ? comment : "";
  FOlderComment = FComment;
  // Entries are found by their stored bytes through a map: libzip's own
  // look-up goes through the entries one after the other.
  const zip_int64_t count = zip_get_num_entries(FArchive, 0);
  FEntries.reserve(static_cast<size_t>(count));
  for (zip_int64_t i = 0; i < count; ++i)
    if (const char* stored = zip_get_name(FArchive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW))
      FEntries.emplace(stored, static_cast<zip_uint64_t>(i));
}

void TZipWriter::SetComment(const std::string& Comment) { FComment = Comment.substr(0, 0xFFFF); }

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
  const auto added = FAddedByName.find(EntryName);
  if (added != FAddedByName.end()) {
    if (unchanged(static_cast<zip_uint64_t>(added->second->Stat.st_size), added->second->Stat.st_mtime)) return false;
  } else if (const auto existing = FEntries.find(StoredName(EntryName)); existing != FEntries.end()) {
    zip_stat_t entry;
    zip_stat_init(&entry);
    if (zip_stat_index(FArchive, existing->second, 0, &entry) == 0 && (entry.valid & ZIP_STAT_SIZE) &&
        (entry.valid & ZIP_STAT_MTIME) && unchanged(entry.size, entry.mtime))
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
  file->DiskPath = DiskPath;
  file->EntryName = EntryName;
  file->Stat = st;
  file->Source = source;
  // A name added again is stored from its last file; the earlier one is not
  // compressed when it has not been started yet.
  if (added != FAddedByName.end()) added->second->Superseded = true;
  FAddedByName[EntryName] = file.get();
  if (!FCompressor) FCompressor = std::make_unique<TCompressor>();
  TAddedFile* compressed = file.get();
  FAdded.push_back(std::move(file));
  FCompressor->Add([compressed, pool = FCompressor.get()] { compressed->Compress(*pool); });
  return true;
}

// Adds every compressed file as its entry, in the order the files came;
// libzip copies compressed data of another archive without compressing again.
void TZipWriter::CopyCompressedEntries() {
  for (const auto& file : FAdded) {
    if (file->Superseded) continue;
    if (!file->Compressed) throw EMorvoError(CannotWrite(file->Failure));
    zip_source_t* source = zip_source_zip(FArchive, file->Compressed, 0, 0, 0, -1);
    const auto existing = FEntries.find(StoredName(file->EntryName));
    zip_int64_t index = -1;
    if (source && existing != FEntries.end())
      index = zip_file_replace(FArchive, existing->second, source, 0) == 0 ? static_cast<zip_int64_t>(existing->second)
                                                                           : -1;
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

std::string TZipWriter::CannotWrite(const std::string& Reason) const { return CannotWriteFile(FFileName, Reason); }

void TZipWriter::SetProgress(std::function<void(int)> Progress) { FProgress = std::move(Progress); }

void TZipWriter::Close() {
  if (!FArchive) return;
  // Nothing new: the archive on disk is as it should be, and where there is
  // none, an archive of nothing is not worth a file.
  if (FAdded.empty() && (FComment == FOlderComment || zip_get_num_entries(FArchive, 0) == 0)) {
    Discard();
    return;
  }
  zip_set_archive_comment(FArchive, FComment.data(), static_cast<zip_uint16_t>(FComment.size()));
  TProgressSpan writing{&FProgress, 0.0, 1.0};
  try {
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
      CopyCompressedEntries();
    }
    // The archive as libzip writes it, in memory; then onto the disk.
    zip_register_progress_callback_with_state(FArchive, 0.01, ReportProgress, nullptr, &writing);
    if (zip_close(FArchive) != 0) throw EMorvoError(CannotWrite(zip_strerror(FArchive)));
    FArchive = nullptr;
    TWholeFileWriter writer;
    std::string reason;
    if (!writer.Open(FFileName) || !WriteSourceTo(FSource, writer, reason) || !writer.Commit())
      throw EMorvoError(CannotWrite(reason.empty() ? writer.Reason() : reason));
  } catch (...) {
    Discard();
    throw;
  }
  Discard();
}

void TZipWriter::Discard() {
  // The archive goes first: its entries read the compressed files.
  if (FArchive) zip_discard(FArchive);
  FArchive = nullptr;
  if (FSource) zip_source_free(FSource);
  FSource = nullptr;
  FCompressor.reset();  // stops what is still being compressed
  FAdded.clear();
  FAddedByName.clear();
  FEntries.clear();
}
