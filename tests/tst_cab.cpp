// Cabinet writer and LZX compressor. The round trips decode every cabinet
// with cabextract, gcab and (when installed) 7z and compare the bytes: the
// decoders differ in what they tolerate, and some of them report success on
// wrongly decoded data.

#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>

#include "../fuzz/CabFuzzInput.h"
#include "CabChecksum.h"
#include "CabWriter.h"
#include "LzxEncoder.h"
#include "TestSupport.h"

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

Q_DECLARE_METATYPE(std::vector<uint32_t>)

namespace {

struct TInput {
  std::string Name;  // name in the cabinet
  std::string Bytes;
};
using TFolders = std::vector<std::vector<TInput>>;

// Deterministic data, so a failure can be reproduced.
class TRandom {
 public:
  explicit TRandom(uint64_t Seed) : FState(Seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 7;
    FState ^= FState << 17;
    return FState;
  }
  std::string Bytes(size_t N) {
    std::string S(N, '\0');
    for (char& C : S) C = static_cast<char>(Next() & 0xFF);
    return S;
  }

 private:
  uint64_t FState;
};

std::string Text(size_t N, uint64_t Seed) {
  static const char* const Words[] = {"object", "property", "value",  "the",     "design", "folder",  "name",
                                      "width",  "height",   "colour", "of",      "and",    "=",       "{",
                                      "}",      "Guid",     "link",   "version", "42",     "3.14159", "\"text\""};
  TRandom R(Seed);
  std::string S;
  S.reserve(N + 16);
  while (S.size() < N) {
    const uint64_t V = R.Next();
    S += Words[V % std::size(Words)];
    S += (V >> 32) % 9 == 0 ? "\r\n" : " ";
    if ((V >> 40) % 97 == 0) S += std::to_string(V % 100000);
  }
  S.resize(N);
  return S;
}

std::string Repeat(const std::string& Unit, size_t N) {
  std::string S;
  S.reserve(N);
  while (S.size() < N) S += Unit;
  S.resize(N);
  return S;
}

// A chunk that appears again exactly Distance bytes later, after filler that
// offers no other match for it.
std::string ChunkAtDistance(uint32_t Distance) {
  TRandom R(Distance);
  const std::string Chunk = R.Bytes(2000);
  std::string S = Chunk + R.Bytes(Distance - Chunk.size()) + Chunk + R.Bytes(1000);
  return S;
}

// Fixed-size records of small counters: matches lie at multiples of the
// record size, so the low bits of their offsets repeat.
std::string Records(size_t N, uint64_t Seed) {
  TRandom R(Seed);
  std::string S;
  for (uint32_t I = 0; S.size() < N; ++I) {
    const uint32_t Rec[4] = {I, I * 3 % 17, 0x10000u | static_cast<uint32_t>(R.Next() % 4),
                             static_cast<uint32_t>(R.Next() % 256)};
    S.append(reinterpret_cast<const char*>(Rec), sizeof Rec);
  }
  S.resize(N);
  return S;
}

bool HaveTool(const char* Name) { return !QStandardPaths::findExecutable(QString::fromLatin1(Name)).isEmpty(); }

// CI installs every decoder (tools/install-deps.sh): there a check that would
// drop out for a missing one fails instead of passing unseen.
#define REQUIRE_CABEXTRACT_AND_GCAB()                                               \
  do {                                                                              \
    if (!HaveTool("cabextract") || !HaveTool("gcab")) {                             \
      if (testsupport::InCi()) QFAIL("cabextract and gcab are needed (Debian cabextract gcab)"); \
      QSKIP("cabextract and gcab are needed (Debian cabextract gcab)");             \
    }                                                                               \
  } while (false)

struct TRun {
  int Exit = -1;
  QString Out;
};

TRun Run(const QString& Program, const QStringList& Args) {
  QProcess P;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert("LC_ALL", "C.UTF-8");  // non-ASCII names must come out as UTF-8
  P.setProcessEnvironment(Env);
  P.setProcessChannelMode(QProcess::MergedChannels);
  P.start(Program, Args);
  TRun R;
  if (!P.waitForFinished(120000)) return R;
  R.Exit = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
  R.Out = QString::fromUtf8(P.readAll());
  return R;
}

QString OnDisk(const std::string& NameInCabinet) {
  QString S = QString::fromStdString(NameInCabinet);
  S.replace('\\', '/');
  return S;
}

// Writes the inputs as source files and builds the cabinet from them, one
// folder per inner list; FolderLimits, when given, sets the payload limit
// of each folder.
bool BuildCab(const QString& Cab, const QString& SourceDir, const TFolders& Folders, size_t PayloadLimit = 0,
              const std::vector<size_t>& FolderLimits = {}) {
  TCabWriter W;
  W.SetFramePayloadLimitForTesting(PayloadLimit);
  if (!W.Create(Cab.toStdString())) return false;
  int Index = 0;
  for (const auto& Folder : Folders) {
    if (!FolderLimits.empty()) W.SetFramePayloadLimitForTesting(FolderLimits[&Folder - Folders.data()]);
    for (const TInput& In : Folder) {
      const std::string Source = (SourceDir + "/" + QString::number(Index++)).toStdString();
      if (!WriteFileBytes(Source, In.Bytes)) return false;
      if (!W.AddFile(Source, In.Name)) {
        qWarning() << "AddFile:" << QString::fromStdString(W.ErrorText());
        return false;
      }
    }
    if (!W.FlushFolder()) return false;
  }
  if (!W.FlushCabinet()) {
    qWarning() << "FlushCabinet:" << QString::fromStdString(W.ErrorText());
    return false;
  }
  return true;
}

void CompareExtracted(const QString& Tool, const QString& Dir, const TFolders& Folders) {
  for (const auto& Folder : Folders)
    for (const TInput& In : Folder) {
      const QString Path = Dir + "/" + OnDisk(In.Name);
      QVERIFY2(QFileInfo::exists(Path), qPrintable(Tool + " did not extract " + Path));
      const std::string Got = ReadFileBytes(Path.toStdString());
      QCOMPARE(Got.size(), In.Bytes.size());
      QVERIFY2(Got == In.Bytes, qPrintable(Tool + " extracted different bytes for " + OnDisk(In.Name)));
    }
}

// Every available decoder must accept the cabinet and give back the inputs.
void ExpectDecodes(const QString& Cab, const QString& Work, const TFolders& Folders) {
  const TRun Test = Run("cabextract", {"-t", Cab});
  QVERIFY2(Test.Exit == 0 && Test.Out.contains("All done, no errors."), qPrintable(Test.Out));

  const QString X1 = Work + "/x-cabextract";
  const TRun Ext = Run("cabextract", {"-q", "-d", X1, Cab});
  QVERIFY2(Ext.Exit == 0 && !Ext.Out.contains("WARNING"), qPrintable(Ext.Out));
  CompareExtracted("cabextract", X1, Folders);
  if (QTest::currentTestFailed()) return;

  const QString X2 = Work + "/x-gcab";
  QDir().mkpath(X2);
  const TRun G = Run("gcab", {"-x", "-C", X2, Cab});
  QVERIFY2(G.Exit == 0, qPrintable(G.Out));
  CompareExtracted("gcab", X2, Folders);
  if (QTest::currentTestFailed()) return;

  // 7z alone decodes some distance faults wrongly that the others accept.
  if (!HaveTool("7z")) {
    QVERIFY2(!testsupport::InCi(), "7z is needed (Debian p7zip-full)");
    return;
  }
  const QString X3 = Work + "/x-7z";
  const TRun S = Run("7z", {"x", "-y", "-o" + X3, Cab});
  QVERIFY2(S.Exit == 0 && S.Out.contains("Everything is Ok"), qPrintable(S.Out));
  QVERIFY2(S.Out.contains("LZX:18"), qPrintable(S.Out));
  CompareExtracted("7z", X3, Folders);
}

double Kraft(const std::vector<uint8_t>& Lengths) {
  double Sum = 0;
  for (uint8_t L : Lengths)
    if (L) Sum += std::ldexp(1.0, -L);
  return Sum;
}

struct TRoundTripCase {
  const char* Label;
  std::function<TFolders()> Make;
  size_t PayloadLimit = 0;
};

const std::vector<TRoundTripCase>& RoundTripCases() {
  static const std::vector<TRoundTripCase> Cases = {
      {"empty file",
       [] {
         return TFolders{{{"empty.txt", ""}}};
       }},
      {"one byte",
       [] {
         return TFolders{{{"x", "Q"}}};
       }},
      {"32767 bytes",
       [] {
         return TFolders{{{"a.txt", Text(32767, 1)}}};
       }},
      {"32768 bytes",
       [] {
         return TFolders{{{"a.txt", Text(32768, 2)}}};
       }},
      {"32769 bytes",
       [] {
         return TFolders{{{"a.txt", Text(32769, 3)}}};
       }},
      {"65536 and 65537 bytes",
       [] {
         return TFolders{{{"a.txt", Text(65536, 4)}, {"b.txt", Text(65537, 5)}}};
       }},
      {"all zero 300 KB",
       [] {
         return TFolders{{{"zero.bin", std::string(300000, '\0')}}};
       }},
      // Matches of the longest length run into every frame end.
      {"period 1000 over 400 KB",
       [] {
         return TFolders{{{"rep.bin", Repeat(TRandom(6).Bytes(1000), 400000)}}};
       }},
      // Distances near the window size, on both sides of its wrap.
      {"period 200 KB over 700 KB",
       [] {
         return TFolders{{{"long.bin", Repeat(TRandom(7).Bytes(200000), 700000)}}};
       }},
      // Long runs are coded with repeated offsets alone, so the match finder
      // inserts nothing while the window moves on far beyond its buffer.
      {"pattern, zeros and random bytes, 12 MB",
       [] {
         return TFolders{
             {{"runs.bin", Repeat("abc", 5 << 20) + std::string(5 << 20, '\0') + TRandom(26).Bytes(2 << 20)}}};
       }},
      {"binary records",
       [] {
         return TFolders{{{"table.bin", Records(500000, 25)}}};
       }},
      {"random 70 KB",
       [] {
         return TFolders{{{"random.bin", TRandom(8).Bytes(70000)}}};
       }},
      {"text 3 MB",
       [] {
         return TFolders{{{"text.txt", Text(3000000, 9)}}};
       }},
      {"many 0xE8 bytes",
       [] {
         TRandom R(10);
         std::string S = R.Bytes(100000);
         for (size_t I = 0; I < S.size(); I += 1 + R.Next() % 9) S[I] = static_cast<char>(0xE8);
         return TFolders{{{"calls.bin", S}}};
       }},
      {"match at the largest distance",
       [] {
         return TFolders{{{"far.bin", ChunkAtDistance(262140)}}};
       }},
      {"match just beyond the largest distance",
       [] {
         return TFolders{{{"far.bin", ChunkAtDistance(262141)}}};
       }},
      {"many files in one folder",
       [] {
         TFolders F(1);
         TRandom R(11);
         for (int I = 0; I < 300; ++I) {
           const size_t Size = I % 7 == 3 ? 0 : R.Next() % 3000;
           F[0].push_back({"files\\f" + std::to_string(I) + ".txt", Text(Size, 100 + I)});
         }
         return F;
       }},
      {"several folders",
       [] {
         return TFolders{{{"one.txt", Text(50000, 12)}, {"two.bin", TRandom(13).Bytes(40000)}},
                         {{"empty-only.txt", ""}},
                         {{"three.txt", Text(100000, 12)}, {"four.txt", "4"}}};
       }},
      {"names with folders",
       [] {
         return TFolders{{{"a/b/c.txt", Text(5000, 14)},
                          {"a\\d.txt", Text(6000, 15)},
                          {"a/b/e/f/g.bin", TRandom(16).Bytes(300)},
                          {std::string(251, 'n') + ".txt", "longest name"}}};
       }},
      {"non-ASCII names",
       [] {
         return TFolders{{{"\xC3\x84rger.txt", Text(3000, 17)},
                          {"\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.bin", TRandom(18).Bytes(500)},
                          {"plain.txt", "ascii"}}};
       }},
      // Random frames do not fit the lowered limit and go uncompressed
      // between compressed text frames.
      {"uncompressed frames between compressed ones",
       [] {
         return TFolders{{{"mix.bin", Text(40000, 19) + TRandom(20).Bytes(70000) + Text(60000, 21)},
                          {"tail.bin", TRandom(22).Bytes(9999)}}};
       },
       30000},
      {"every frame uncompressed, odd last frame",
       [] {
         return TFolders{{{"odd.bin", Text(40001, 23)}}, {{"second.bin", Text(70001, 24)}}};
       },
       1},
  };
  return Cases;
}

}  // namespace

class TestCab : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();

  void checksumAndStoredLayout();
  void bitWriterOrder();
  void codeLengths_data();
  void codeLengths();
  void canonicalCodesAndSlots();
  void encoderFrames();

  void roundTrip_data();
  void roundTrip();
  void datesAndAttributes();
  void compressesText();
  void progressEvents();
  void failures();
  void fuzzCorpusReplays();

 private:
  bool FHave7z = false;
};

void TestCab::initTestCase() {
  FHave7z = HaveTool("7z");
  if (!FHave7z) qInfo("7z not installed (Debian p7zip-full): round trips are checked with cabextract and gcab only");
}

void TestCab::checksumAndStoredLayout() {
  // The leftover bytes after the last whole word count first-byte-high.
  const uint8_t Abc[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G'};
  QCOMPARE(CabChecksum(Abc, 7, 0), 0x44060406u);
  QCOMPARE(CabDataBlockChecksum(Abc, 7, 7), 0x44010401u);
  QCOMPARE(CabChecksum(Abc, 5, 0), 0x44434241u ^ 0x45u);
  QCOMPARE(CabChecksum(Abc, 6, 0), 0x44434241u ^ 0x4546u);

  // A whole stored cabinet, byte for byte.
  QTemporaryDir Dir;
  const std::string Source = Dir.filePath("src").toStdString();
  QVERIFY(WriteFileBytes(Source, "ABCDEFG"));
  const std::string Cab = Dir.filePath("stored.cab").toStdString();
  TCabWriter W;
  QVERIFY(W.Create(Cab, TCabCompression::None, 0x1234));
  QVERIFY(W.AddFile(Source, "abc.txt", TCabFileStamp{0x58B1, 0x6DAF, kCabAttrArchive}));
  QVERIFY(W.FlushCabinet());
  const std::string Expected = QByteArray::fromHex(
                                   "4D5343460000000053000000000000002C000000000000000301010001000000"
                                   "34120000440000000100000007000000000000000000B158AF6D2000"
                                   "6162632E74787400010401440700070041424344454647")
                                   .toStdString();
  QCOMPARE(QByteArray::fromStdString(ReadFileBytes(Cab)).toHex(), QByteArray::fromStdString(Expected).toHex());
}

void TestCab::bitWriterOrder() {
  // Header bit, block type and size of a verbatim 32 KiB block: the first
  // word is 0x1008, stored low byte first.
  std::vector<uint8_t> Out;
  lzx::TBitWriter B;
  B.SetOutput(&Out);
  B.Put(0, 1);
  B.Put(1, 3);
  B.Put(32768 >> 8, 16);
  B.Put(32768 & 0xFF, 8);
  QCOMPARE(Out, (std::vector<uint8_t>{0x08, 0x10}));
  B.Align();
  QCOMPARE(Out, (std::vector<uint8_t>{0x08, 0x10, 0x00, 0x00}));
  B.Align();  // already on a word boundary: nothing more
  QCOMPARE(Out.size(), size_t{4});
  B.Put(0x1FFFF, 17);
  B.Put(0, 15);
  QCOMPARE(Out, (std::vector<uint8_t>{0x08, 0x10, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x80}));

  // An uncompressed block's header that ends on a word (after 5 bits here)
  // is followed by a whole zero word before the byte part.
  Out.clear();
  B.Put(0, 5);
  lzx::PutUncompressedBlockHeader(B, 32768);
  QCOMPARE(Out, (std::vector<uint8_t>{0x00, 0x03, 0x00, 0x80, 0x00, 0x00}));
}

void TestCab::codeLengths_data() {
  QTest::addColumn<std::vector<uint32_t>>("freq");
  QTest::addColumn<int>("maxLen");
  QTest::addColumn<int>("used");

  std::vector<uint32_t> Fib(40);
  Fib[0] = Fib[1] = 1;
  for (size_t I = 2; I < Fib.size(); ++I) Fib[I] = Fib[I - 1] + Fib[I - 2];
  QTest::newRow("fibonacci, main-tree limit") << Fib << 16 << 40;
  QTest::newRow("fibonacci, pre-tree size and limit")
      << std::vector<uint32_t>(Fib.begin(), Fib.begin() + 20) << 15 << 20;
  std::vector<uint32_t> Main(lzx::kMainSymbols, 0);
  TRandom R(1);
  for (size_t I = 0; I < Main.size(); ++I) Main[I] = I % 5 == 0 ? 0 : static_cast<uint32_t>(R.Next() % 100000);
  int MainUsed = 0;
  for (uint32_t F : Main) MainUsed += F ? 1 : 0;
  QTest::newRow("544 symbols, some unused") << Main << 16 << MainUsed;
  std::vector<uint32_t> One(lzx::kLengthSymbols, 0);
  One[0] = 50;
  QTest::newRow("one symbol, the first") << One << 16 << 2;
  One[0] = 0;
  One[200] = 50;
  QTest::newRow("one symbol, not the first") << One << 16 << 2;
  QTest::newRow("two equal symbols") << std::vector<uint32_t>{0, 7, 0, 7} << 16 << 2;
}

void TestCab::codeLengths() {
  QFETCH(std::vector<uint32_t>, freq);
  QFETCH(int, maxLen);
  QFETCH(int, used);
  const std::vector<uint8_t> L = lzx::CodeLengths(freq.data(), static_cast<int>(freq.size()), maxLen);
  QCOMPARE(L.size(), freq.size());
  int Coded = 0;
  for (size_t S = 0; S < L.size(); ++S) {
    QVERIFY(L[S] <= maxLen);
    if (freq[S]) QVERIFY2(L[S] > 0, "a used symbol got no codeword");
    Coded += L[S] ? 1 : 0;
  }
  QCOMPARE(Coded, used);
  QCOMPARE(Kraft(L), 1.0);
  // More frequent symbols never get longer codewords.
  for (size_t A = 0; A < L.size(); ++A)
    for (size_t B = 0; B < L.size(); ++B)
      if (freq[A] > freq[B] && freq[B] > 0) QVERIFY(L[A] <= L[B]);
}

void TestCab::canonicalCodesAndSlots() {
  const std::vector<uint32_t> None(lzx::kLengthSymbols, 0);
  const std::vector<uint8_t> Empty = lzx::CodeLengths(None.data(), lzx::kLengthSymbols, 16);
  QVERIFY(std::all_of(Empty.begin(), Empty.end(), [](uint8_t L) { return L == 0; }));

  const uint8_t Lengths[] = {2, 1, 3, 0, 3};
  QCOMPARE(lzx::CanonicalCodes(Lengths, 5), (std::vector<uint16_t>{0b10, 0b0, 0b110, 0, 0b111}));

  QCOMPARE(lzx::PositionSlot(3), 3);
  QCOMPARE(lzx::PositionSlot(4), 4);
  QCOMPARE(lzx::PositionSlot(6), 5);
  QCOMPARE(lzx::PositionSlot(lzx::kMaxDistance + 2), 35);
  QCOMPARE(lzx::SlotBase(35), 196608u);
  QCOMPARE(lzx::FooterBits(35), 16);
  // Every slot covers exactly base .. next base - 1.
  for (int S = 3; S < lzx::kPositionSlots; ++S) {
    QCOMPARE(lzx::PositionSlot(lzx::SlotBase(S)), S);
    QCOMPARE(lzx::PositionSlot(lzx::SlotBase(S) + (1u << lzx::FooterBits(S)) - 1), S);
  }
}

void TestCab::encoderFrames() {
  lzx::TEncoder E;
  std::vector<uint8_t> Payload;
  const std::string Random = TRandom(30).Bytes(3 * 32768);
  for (int F = 0; F < 3; ++F) {
    E.EncodeFrame(reinterpret_cast<const uint8_t*>(Random.data()) + F * 32768, 32768, Payload);
    QVERIFY(Payload.size() <= lzx::kMaxFramePayload);
    QCOMPARE(Payload.size() % 2, size_t{0});
  }
  // Random bytes do not compress: they are sent as they are.
  QCOMPARE(E.UncompressedFrames(), size_t{3});
  E.EncodeFrame(reinterpret_cast<const uint8_t*>(Random.data()), 1000, Payload);
  QVERIFY_THROWS_EXCEPTION(std::logic_error,
                           E.EncodeFrame(reinterpret_cast<const uint8_t*>(Random.data()), 1000, Payload));
  QVERIFY_THROWS_EXCEPTION(std::logic_error, E.EncodeFrame(nullptr, 0, Payload));

  // Offsets whose low bits repeat are sent through the aligned-offset tree;
  // text keeps verbatim blocks.
  E.Reset();
  const std::string Table = Records(4 * 32768, 31);
  for (int F = 0; F < 4; ++F) E.EncodeFrame(reinterpret_cast<const uint8_t*>(Table.data()) + F * 32768, 32768, Payload);
  QCOMPARE(E.AlignedFrames(), size_t{4});
  E.Reset();
  const std::string Words = Text(32768, 32);
  E.EncodeFrame(reinterpret_cast<const uint8_t*>(Words.data()), 32768, Payload);
  QCOMPARE(E.AlignedFrames(), size_t{0});

  // An uncompressed frame: the header bit and block header take 28 bits,
  // then zero bits to the word, the repeated offsets and the bytes.
  E.Reset();
  E.SetPayloadLimit(1);
  E.EncodeFrame(reinterpret_cast<const uint8_t*>(Random.data()), 32768, Payload);
  QCOMPARE(E.UncompressedFrames(), size_t{1});
  QCOMPARE(Payload.size(), size_t{4 + 12 + 32768});
  QCOMPARE(std::vector<uint8_t>(Payload.begin(), Payload.begin() + 16),
           (std::vector<uint8_t>{0x08, 0x30, 0x00, 0x00, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  QCOMPARE(std::memcmp(Random.data(), Payload.data() + 16, 32768), 0);
  // Chunks of frames are parsed apart, on as many threads as given; a chunk
  // still reaches back into the window before it. The second copy of X
  // starts the second chunk: it costs nothing, on one thread or four.
  const std::string X = TRandom(34).Bytes(65536);
  const std::string Reach = TRandom(35).Bytes((1 << 20) - X.size()) + X + X;
  for (const unsigned Threads : {1u, 4u}) {
    lzx::TEncoder T(Threads);
    size_t Bytes = 0, Frames = 0;
    uint32_t FrameSize = 0;
    for (size_t At = 0; At < Reach.size(); At += lzx::kFrameSize) {
      T.AddFrame(reinterpret_cast<const uint8_t*>(Reach.data()) + At, lzx::kFrameSize);
      while (T.TakePayload(Payload, FrameSize, At + lzx::kFrameSize == Reach.size())) {
        Bytes += Payload.size();
        ++Frames;
      }
    }
    QCOMPARE(Frames, Reach.size() / lzx::kFrameSize);
    QVERIFY2(Bytes < (1u << 20) + 4096, qPrintable(QString::number(Bytes)));
  }
  // An odd-sized one ends in a pad byte.
  E.Reset();
  E.EncodeFrame(reinterpret_cast<const uint8_t*>(Random.data()), 1001, Payload);
  QCOMPARE(Payload.size(), size_t{4 + 12 + 1001 + 1});
  QCOMPARE(Payload.back(), uint8_t{0});
}

void TestCab::roundTrip_data() {
  QTest::addColumn<int>("index");
  const auto& Cases = RoundTripCases();
  for (size_t I = 0; I < Cases.size(); ++I) QTest::newRow(Cases[I].Label) << static_cast<int>(I);
}

void TestCab::roundTrip() {
  REQUIRE_CABEXTRACT_AND_GCAB();
  QFETCH(int, index);
  const TRoundTripCase& Case = RoundTripCases()[index];
  const TFolders Folders = Case.Make();
  QTemporaryDir Dir;
  QVERIFY(Dir.isValid());
  QDir().mkpath(Dir.filePath("src"));
  const QString Cab = Dir.filePath("out.cab");
  QVERIFY(BuildCab(Cab, Dir.filePath("src"), Folders, Case.PayloadLimit));
  ExpectDecodes(Cab, Dir.path(), Folders);
  if (QTest::currentTestFailed()) return;

  // Non-ASCII names carry the UTF-8 flag, plain ones do not.
  const TRun List = Run("gcab", {"-l", Cab});
  for (const auto& Folder : Folders)
    for (const TInput& In : Folder) {
      const bool Utf8 = std::any_of(In.Name.begin(), In.Name.end(), [](char C) { return C & 0x80; });
      const QString Line = List.Out.split('\n').filter(OnDisk(In.Name).split('/').last()).value(0);
      if (In.Name.size() < 100) QVERIFY2(Line.toLower().endsWith(Utf8 ? "0xa0" : "0x20"), qPrintable(Line));
    }
}

void TestCab::datesAndAttributes() {
  REQUIRE_CABEXTRACT_AND_GCAB();
  QTemporaryDir Dir;
  const QString Cab = Dir.filePath("dates.cab");
  const std::string Given = Dir.filePath("given").toStdString();
  const std::string Disk = Dir.filePath("disk.sh").toStdString();
  QVERIFY(WriteFileBytes(Given, "given stamp"));
  QVERIFY(WriteFileBytes(Disk, "#!/bin/sh\necho hi\n"));

  // The source file's own stamp: local modification time and its mode.
  std::tm Local{};
  Local.tm_year = 2031 - 1900;
  Local.tm_mon = 11;
  Local.tm_mday = 24;
  Local.tm_hour = 7;
  Local.tm_min = 8;
  Local.tm_sec = 9;  // stored with 2-second resolution
  Local.tm_isdst = -1;
  const time_t When = std::mktime(&Local);
  const utimbuf Times{When, When};
  QCOMPARE(::utime(Disk.c_str(), &Times), 0);
  QCOMPARE(::chmod(Disk.c_str(), 0755), 0);

  TCabWriter W;
  QVERIFY(W.Create(Cab.toStdString()));
  uint16_t Date, Time;
  TCabWriter::DosDateTime(2024, 5, 17, 13, 45, 30, Date, Time);
  QCOMPARE(Date, uint16_t{0x58B1});
  QCOMPARE(Time, uint16_t{0x6DAF});
  QVERIFY(W.AddFile(Given, "given.txt", TCabFileStamp{Date, Time, kCabAttrArchive | kCabAttrReadOnly}));
  QVERIFY(W.AddFile(Disk, "disk.sh"));
  QVERIFY(W.FlushCabinet());

  const TRun List = Run("gcab", {"-l", Cab});
  QVERIFY2(List.Out.contains(QRegularExpression("given.txt\\s+11\\s+2024-05-17 13:45:30\\s+0x21")),
           qPrintable(List.Out));
  QVERIFY2(List.Out.contains(QRegularExpression("disk.sh\\s+18\\s+2031-12-24 07:08:08\\s+0x60")), qPrintable(List.Out));

  const QString X = Dir.filePath("x");
  QCOMPARE(Run("cabextract", {"-q", "-d", X, Cab}).Exit, 0);
  const QFileInfo Extracted(X + "/disk.sh");
  QVERIFY(Extracted.isExecutable());
  QCOMPARE(Extracted.lastModified().toSecsSinceEpoch(), static_cast<qint64>(When) - 1);

  // Dates outside the representable years are clamped, not wrapped.
  TCabWriter::DosDateTime(1970, 6, 1, 12, 0, 0, Date, Time);
  QCOMPARE(Date, uint16_t{(0 << 9) | (1 << 5) | 1});
  QCOMPARE(Time, uint16_t{0});
  TCabWriter::DosDateTime(2200, 6, 1, 12, 0, 0, Date, Time);
  QCOMPARE(Date, uint16_t{(127 << 9) | (12 << 5) | 31});
}

void TestCab::compressesText() {
  QTemporaryDir Dir;
  const TFolders Folders{{{"text.txt", Text(2000000, 40)}, {"zero.bin", std::string(500000, '\0')}}};
  const QString Cab = Dir.filePath("t.cab");
  QVERIFY(BuildCab(Cab, Dir.path(), Folders));
  const qint64 Size = QFileInfo(Cab).size();
  // Word-salad text from a 21-word vocabulary compresses far below a third;
  // a match finder that finds nothing would leave it above half.
  QVERIFY2(Size < 2000000 / 4, qPrintable(QString::number(Size)));
}

void TestCab::progressEvents() {
  QTemporaryDir Dir;
  const std::string A = Dir.filePath("a").toStdString(), B = Dir.filePath("b").toStdString();
  QVERIFY(WriteFileBytes(A, Text(300000, 50)));
  QVERIFY(WriteFileBytes(B, ""));
  TCabWriter W;
  QStringList Started;
  QList<QPair<QString, int>> Progress;
  W.OnFileStart = [&](const std::string& Name) { Started << QString::fromStdString(Name); };
  W.OnFileProgress = [&](const std::string& Name, int Percent) {
    Progress.append({QString::fromStdString(Name), Percent});
  };
  QVERIFY(W.Create(Dir.filePath("p.cab").toStdString()));
  QVERIFY(W.AddFile(A, "dir/a.txt"));
  QVERIFY(W.AddFile(B, "b.txt"));
  QVERIFY(W.FlushCabinet());
  QCOMPARE(Started, (QStringList{"dir\\a.txt", "b.txt"}));
  QVERIFY(Progress.size() > 4);
  QCOMPARE(Progress.first(), (QPair<QString, int>{"dir\\a.txt", 0}));
  QCOMPARE(Progress.last(), (QPair<QString, int>{"b.txt", 100}));
  int Last = -1;
  QString Current;
  for (const auto& [Name, Percent] : Progress) {
    if (Name != Current) {
      QCOMPARE(Percent, 0);
      Current = Name;
      Last = -1;
    }
    QVERIFY(Percent > Last && Percent <= 100);
    Last = Percent;
  }
  QCOMPARE(W.FilesWritten(), size_t{2});
}

void TestCab::failures() {
  QTemporaryDir Dir;
  const std::string Source = Dir.filePath("s").toStdString();
  QVERIFY(WriteFileBytes(Source, "data"));
  const std::string Cab = Dir.filePath("f.cab").toStdString();
  TCabWriter W;

  QVERIFY(!W.AddFile(Source, "s"));
  QVERIFY(!W.ErrorText().empty());
  QVERIFY(!W.Create(Dir.filePath("missing/f.cab").toStdString()));
  QVERIFY(QString::fromStdString(W.ErrorText()).contains("missing"));

  QVERIFY(W.Create(Cab));
  QVERIFY(!W.AddFile(Dir.filePath("absent").toStdString(), "absent"));
  QVERIFY(QString::fromStdString(W.ErrorText()).contains("absent"));
  QVERIFY(!W.AddFile(Dir.path().toStdString(), "folder"));
  QVERIFY(!W.AddFile(Source, std::string(256, 'n')));
  QVERIFY(!W.AddFile(Source, ""));
  // The writer stays usable after a refused file.
  QVERIFY(W.AddFile(Source, std::string(255, 'n')));
  QVERIFY(W.FlushCabinet());
  QVERIFY(QFileInfo(QString::fromStdString(Cab)).size() > 0);

  // No files: nothing is written and an existing cabinet stays as it was.
  const std::string Before = ReadFileBytes(Cab);
  QVERIFY(W.Create(Cab));
  QVERIFY(W.FlushFolder());
  QVERIFY(W.FlushCabinet());
  QCOMPARE(W.FilesWritten(), size_t{0});
  QCOMPARE(ReadFileBytes(Cab), Before);

  // A new cabinet replaces the old file; a destroyed one leaves it alone and
  // no temporary files behind.
  QVERIFY(W.Create(Cab));
  QVERIFY(W.AddFile(Source, "other"));
  W.Destroy();
  QVERIFY(!W.FlushCabinet());
  QCOMPARE(ReadFileBytes(Cab), Before);
  QVERIFY(W.Create(Cab));
  QVERIFY(W.AddFile(Source, "other"));
  QVERIFY(W.FlushCabinet());
  QVERIFY(ReadFileBytes(Cab) != Before);
  QCOMPARE(QDir(Dir.path()).entryList(QDir::Files).size(), 2);
}

// The fuzz harness's saved inputs, many to a cabinet: each starts a folder,
// whose stream starts afresh as a cabinet of its own would.
void TestCab::fuzzCorpusReplays() {
  REQUIRE_CABEXTRACT_AND_GCAB();
  const QDir Corpus(MORVO_SOURCE_DIR "/fuzz/corpus-cab");
  const QStringList Names = Corpus.entryList(QDir::Files, QDir::Name);
  QVERIFY2(Names.size() >= 100, "the saved corpus is missing");
  TFolders Folders;
  std::vector<size_t> Limits;
  size_t Bytes = 0;
  int Batch = 0;
  const auto Check = [&] {
    QTemporaryDir Dir;
    QDir().mkpath(Dir.filePath("src"));
    const QString Cab = Dir.filePath("corpus.cab");
    QVERIFY(BuildCab(Cab, Dir.filePath("src"), Folders, 0, Limits));
    ExpectDecodes(Cab, Dir.path(), Folders);
    Folders.clear();
    Limits.clear();
    Bytes = 0;
    ++Batch;
  };
  for (const QString& Name : Names) {
    const std::string Input = ReadFileBytes(Corpus.filePath(Name).toStdString());
    const TCabFuzzCase Case = DecodeCabFuzzInput(reinterpret_cast<const uint8_t*>(Input.data()), Input.size());
    for (size_t F = 0; F < Case.Files.size(); ++F) {
      if (F == 0 || Case.FolderEach) {
        Folders.emplace_back();
        Limits.push_back(Case.PayloadLimit);
      }
      Folders.back().push_back({Name.toStdString() + "/f" + std::to_string(F), Case.Files[F]});
      Bytes += Case.Files[F].size();
    }
    if (Bytes > (40u << 20)) Check();
    if (QTest::currentTestFailed()) {
      qWarning() << "in the batch ending with" << Name;
      return;
    }
  }
  if (!Folders.empty()) Check();
  QVERIFY(Batch > 1);
}

QTEST_GUILESS_MAIN(TestCab)
#include "tst_cab.moc"
