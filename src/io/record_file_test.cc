#include "io/record_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "io/run_aborted.h"
#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

constexpr int kUnit = 50;
constexpr const char* kName = "x.bin";

// Record data and framing from the test builders, independent of the
// reader's decoders.
Bytes Ints(std::initializer_list<int32_t> values) { return RecordBuilder().Ints(values).data(); }
Bytes Reals(std::initializer_list<float> values) { return RecordBuilder().Reals(values).data(); }
// One framed record holding `data`.
Bytes Frame(const Bytes& data) { return Framed(RecordBuilder().Raw(data)); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b += p;
  return b;
}
// A byte pattern that repeats only every 251 bytes, so a shifted or
// duplicated block shows.
Bytes Pattern(size_t n, unsigned seed) {
  Bytes b(n, '\0');
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>((i + seed) % 251);
  return b;
}

template <typename Fn>
RunAborted AbortOf(Fn&& fn) {
  try {
    fn();
  } catch (const RunAborted& e) {
    return e;
  }
  ADD_FAILURE() << "the run went on";
  return RunAborted{0, ""};
}

// Each test works in a fresh directory of its own, which is also the working
// directory, so that file names in diagnostics are the short names given.
class RecordFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    dir_ = box_.dir();
    fs::current_path(dir_);
  }
  void TearDown() override {
    try {
      file_.Close();
    } catch (const RunAborted&) {
    }
    fs::current_path(old_cwd_);
  }

  void WriteBytes(const Bytes& bytes, const char* name = kName) { box_.Write(name, bytes); }
  Bytes FileBytes(const char* name = kName) { return box_.Read(name); }
  // Damage helpers: cut `n` bytes off the end; overwrite the 4-byte length at `offset`.
  void TruncateBy(size_t n) { fs::resize_file(kName, fs::file_size(kName) - n); }
  void SetLength(size_t offset, uint32_t n) {
    Bytes b = FileBytes();
    ASSERT_LE(offset + 4, b.size());
    Bytes field;
    PutUint32(&field, n);
    b.replace(offset, 4, field);
    WriteBytes(b);
  }

  RecordFile& Reader() {
    if (!file_.is_open()) file_.OpenExisting(kUnit, kName);
    return file_;
  }
  RecordFile& Writer(int unit = 60, const char* name = kName) {
    if (!file_.is_open()) file_.OpenForWriting(unit, name);
    return file_;
  }
  // One whole read: Begin, one take, Finish.
  ReadStatus ReadInts(int32_t* dst, int64_t count) {
    RecordFile& in = Reader();
    ReadStatus status = in.Begin();
    if (status != ReadStatus::kOk) return status;
    in.Ints(dst, count);
    return in.Finish();
  }
  ReadStatus ReadReals(float* dst, int64_t count) {
    RecordFile& in = Reader();
    ReadStatus status = in.Begin();
    if (status != ReadStatus::kOk) return status;
    in.Reals(dst, count);
    return in.Finish();
  }

  Sandbox box_;
  fs::path old_cwd_;
  fs::path dir_;
  RecordFile file_;
};

TEST_F(RecordFileTest, EmptyFileIsEndOfFile) {
  WriteBytes({});
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, Reader().SkipRecord());
}

TEST_F(RecordFileTest, OneToThreeBytesOfALeadingLengthAreEndOfFile) {
  for (size_t stray = 1; stray <= 3; ++stray) {
    SCOPED_TRACE(stray);
    Bytes bytes = Frame(Ints({7}));
    bytes.resize(bytes.size() + stray, 0x04);
    WriteBytes(bytes);
    int32_t v = 0;
    EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
    EXPECT_EQ(7, v);
    EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
    file_.Close();

    WriteBytes(Bytes(stray, 0x10));
    EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
    file_.Close();
  }
}

TEST_F(RecordFileTest, FileEndingRightAfterALeadingLengthIsEndOfFile) {
  Bytes bytes = Frame(Ints({1, 2}));
  PutUint32(&bytes, 8);
  WriteBytes(bytes);
  int32_t v[2] = {};
  EXPECT_EQ(ReadStatus::kOk, ReadInts(v, 2));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(v, 2));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(v, 2));
}

TEST_F(RecordFileTest, LoneZeroLengthAtTheEndIsEndOfFile) {
  WriteBytes(Ints({0}));
  EXPECT_EQ(ReadStatus::kEndOfFile, Reader().SkipRecord());
}

TEST_F(RecordFileTest, RecordCutInsideItsDataIsError) {
  WriteBytes(Cat({Frame(Ints({1})), Frame(Ints({10, 20, 30}))}));
  TruncateBy(4 + 2);  // the trailing length and half of the last value
  int32_t v[3] = {};
  EXPECT_EQ(ReadStatus::kOk, ReadInts(v, 1));
  EXPECT_EQ(ReadStatus::kError, ReadInts(v, 3));
  // Nothing after a torn record is taken for another record.
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(v, 3));
}

TEST_F(RecordFileTest, RecordCutInsideItsTrailingLengthIsError) {
  for (size_t cut = 1; cut <= 4; ++cut) {
    SCOPED_TRACE(cut);
    WriteBytes(Frame(Ints({10, 20, 30})));
    TruncateBy(cut);
    int32_t v[3] = {};
    EXPECT_EQ(ReadStatus::kError, ReadInts(v, 3));
    file_.Close();
    // Taking nothing still has to find the record whole.
    EXPECT_EQ(ReadStatus::kError, Reader().SkipRecord());
    file_.Close();
  }
}

TEST_F(RecordFileTest, EmptyRecordCutInsideItsTrailingLengthIsError) {
  WriteBytes({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(ReadStatus::kError, Reader().SkipRecord());
}

TEST_F(RecordFileTest, LengthPastTheEndOfTheFileIsError) {
  WriteBytes({0x10, 0x27, 0, 0, 1, 2, 3});  // claims 10000 bytes, holds 3
  float v[4] = {};
  EXPECT_EQ(ReadStatus::kError, ReadReals(v, 4));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadReals(v, 4));
}

TEST_F(RecordFileTest, DamageTextCountsTheBytesClaimedAndLeft) {
  WriteBytes({0x10, 0x27, 0, 0, 1, 2, 3});
  EXPECT_EQ(ReadStatus::kError, Reader().SkipRecord());
  EXPECT_EQ("its length of 10000 bytes runs past the end of the file (3 bytes left)",
            Reader().DamageText());
  file_.Close();
  WriteBytes({1, 0, 0, 0, 7});
  EXPECT_EQ(ReadStatus::kError, Reader().SkipRecord());
  EXPECT_EQ("its length of 1 byte runs past the end of the file (1 byte left)",
            Reader().DamageText());
}

TEST_F(RecordFileTest, LengthOneBytePastTheEndIsError) {
  // Data and trailing length need 12 + 4 bytes; 15 are there.
  Bytes bytes = Frame(Ints({1, 2, 3}));
  bytes.pop_back();
  WriteBytes(bytes);
  EXPECT_EQ(ReadStatus::kError, Reader().SkipRecord());
}

using RecordFileDeathTest = RecordFileTest;

#if !defined(__SANITIZE_ADDRESS__)
// Reads a good record and then one claiming 4 GiB, with an address-space limit
// far below that claim: any buffer sized from the length fails. Returns the
// child's exit status, 0 when both reads came out right.
int ReadWithAddressSpaceLimit(RecordFile& in) {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  const rlim_t now = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
  const rlimit limit{now + (64u << 20), now + (64u << 20)};
  if (pages <= 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) return 3;
  float v[4] = {};
  bool first_ok = in.Begin() == ReadStatus::kOk && in.Reals(v, 1) &&
                  in.Finish() == ReadStatus::kOk && v[0] == 1.0f;
  ReadStatus second = in.Begin();
  if (second == ReadStatus::kOk) {
    in.Reals(v, 4);
    second = in.Finish();
  }
  return first_ok && second == ReadStatus::kError ? 0 : 1;
}
#endif

TEST_F(RecordFileDeathTest, HugeLengthIsErrorWithoutAllocatingFromIt) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot coexist with the sanitizer's shadow memory";
#else
  WriteBytes(Cat({Frame(Reals({1.0f})), Bytes("\xF0\xFF\xFF\xFF", 4), Reals({2.0f, 3.0f})}));
  RecordFile& in = Reader();
  EXPECT_EXIT(std::_Exit(ReadWithAddressSpaceLimit(in)), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(RecordFileTest, WantingMoreThanTheRecordHoldsIsErrorKeepingWhatWasFilled) {
  WriteBytes(Cat({Frame(Reals({1.5f, -2.25f})), Frame(Reals({9.0f}))}));
  float v[3] = {0.0f, 0.0f, 0.0f};
  EXPECT_EQ(ReadStatus::kError, ReadReals(v, 3));
  EXPECT_EQ(1.5f, v[0]);
  EXPECT_EQ(-2.25f, v[1]);
  // The short record was consumed: the next read is the following record.
  EXPECT_EQ(ReadStatus::kOk, ReadReals(v, 1));
  EXPECT_EQ(9.0f, v[0]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadReals(v, 1));
}

TEST_F(RecordFileTest, ShortRecordKeepsOnlyWholeValuesAndLaterTakesFail) {
  // One integer and two stray bytes, then a second record.
  Bytes data = Ints({41});
  data.push_back(static_cast<char>(0xAA));
  data.push_back(static_cast<char>(0xBB));
  WriteBytes(Cat({Frame(data), Frame(Ints({42}))}));
  RecordFile& in = Reader();
  int32_t head[2] = {0, -1};
  float after = -1.0f;
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_FALSE(in.Ints(head, 2));
  EXPECT_EQ(41, head[0]);
  EXPECT_FALSE(in.Reals(&after, 1));
  EXPECT_EQ(-1.0f, after);
  EXPECT_EQ(ReadStatus::kError, in.Finish());
  int32_t next = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&next, 1));
  EXPECT_EQ(42, next);
}

TEST_F(RecordFileTest, MixedTakesRunningShortAreError) {
  // Destinations: a count, then that many reals; the record holds one real fewer.
  WriteBytes(Cat({Frame(Cat({Ints({3}), Reals({0.5f, 0.25f})})), Frame(Ints({77}))}));
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  int32_t n = 0;
  float v[3] = {};
  EXPECT_TRUE(in.Ints(&n, 1));
  ASSERT_EQ(3, n);
  EXPECT_FALSE(in.Reals(v, n));
  EXPECT_EQ(0.5f, v[0]);
  EXPECT_EQ(0.25f, v[1]);
  EXPECT_EQ(ReadStatus::kError, in.Finish());
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&n, 1));
  EXPECT_EQ(77, n);
}

TEST_F(RecordFileTest, TakingFewerValuesSkipsTheRestOfTheRecord) {
  WriteBytes(Cat({Frame(Reals({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})), Frame(Reals({11}))}));
  float v[4] = {};
  EXPECT_EQ(ReadStatus::kOk, ReadReals(v, 4));
  EXPECT_EQ(1.0f, v[0]);
  EXPECT_EQ(2.0f, v[1]);
  EXPECT_EQ(3.0f, v[2]);
  EXPECT_EQ(4.0f, v[3]);
  EXPECT_EQ(ReadStatus::kOk, ReadReals(v, 1));
  EXPECT_EQ(11.0f, v[0]);
}

TEST_F(RecordFileTest, ReadWithNoDestinationsSkipsAWholeRecord) {
  WriteBytes(Cat({Frame(Ints({1, 2, 3})), Frame({}), Frame(Ints({4}))}));
  RecordFile& in = Reader();
  EXPECT_EQ(ReadStatus::kOk, in.SkipRecord());
  EXPECT_EQ(ReadStatus::kOk, in.SkipRecord());  // the empty record
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(4, v);
  EXPECT_EQ(ReadStatus::kEndOfFile, in.SkipRecord());
}

TEST_F(RecordFileTest, ValuesAreLittleEndianIntegersAndIeeeSingles) {
  WriteBytes(
      Bytes("\x0C\x00\x00\x00"  // length 12
            "\xFE\xFF\xFF\xFF"  // -2
            "\x00\x00\x80\x3F"  // 1.0
            "\x00\x00\x20\xC1"  // -10.0
            "\x0C\x00\x00\x00",
            20));
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  int32_t i = 0;
  float r[2] = {};
  EXPECT_TRUE(in.Ints(&i, 1));
  EXPECT_TRUE(in.Reals(r, 2));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ(-2, i);
  EXPECT_EQ(1.0f, r[0]);
  EXPECT_EQ(-10.0f, r[1]);
}

TEST_F(RecordFileTest, TrailingLengthIsNotCompared) {
  WriteBytes(Cat({Frame(Ints({5})), Frame(Ints({6}))}));
  SetLength(8, 0xDEADBEEF);  // the first record's trailing length
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(5, v);
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(6, v);
}

TEST_F(RecordFileTest, ClosingLengthIsComparedWhenAsked) {
  WriteBytes(Cat({Frame(Ints({5})), Frame(Ints({6})), Frame(Ints({7}))}));
  SetLength(8, 3);  // the first record's closing length
  Reader().CompareClosingLengths(true);
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kError, ReadInts(&v, 1));
  EXPECT_EQ(5, v);
  EXPECT_EQ("its closing length 3 differs from its opening length 4", Reader().DamageText());
  // Only that record is damaged: the next is read from its own start.
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(6, v);
  EXPECT_EQ(ReadStatus::kOk, Reader().SkipRecord());
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
}

TEST_F(RecordFileTest, RewindReadsTheFirstRecordAgain) {
  WriteBytes(Cat({Frame(Ints({100})), Frame(Ints({200}))}));
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
  Reader().Rewind();
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(100, v);
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(200, v);
}

TEST_F(RecordFileTest, RewindInTheMiddleOfARecordStartsOver) {
  WriteBytes(Cat({Frame(Ints({1, 2, 3})), Frame(Ints({4}))}));
  RecordFile& in = Reader();
  int32_t v = 0;
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_TRUE(in.Ints(&v, 1));
  in.Rewind();
  int32_t all[3] = {};
  EXPECT_EQ(ReadStatus::kOk, ReadInts(all, 3));
  EXPECT_EQ(3, all[2]);
}

TEST_F(RecordFileTest, SeekReturnsToARecordBoundaryGivenByTell) {
  WriteBytes(Cat({Frame(Ints({1})), Frame(Pattern(100000, 4)), Frame(Ints({3}))}));
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  const RecordMark second = Reader().Tell();
  EXPECT_EQ(12, second.position);
  EXPECT_EQ(1, second.records);
  EXPECT_EQ(ReadStatus::kOk, Reader().SkipRecord());
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
  Reader().Seek(second);
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_EQ(100000u, in.length());
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(3, v);
}

TEST_F(RecordFileTest, ReadingAgainAfterEndOfFileIsEndOfFileAgain) {
  WriteBytes(Frame(Ints({1})));
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, Reader().SkipRecord());
}

TEST_F(RecordFileTest, OneIntegerAndThreeRealsAre24Bytes) {
  const int32_t step = 7;
  const float values[3] = {1.0f, -2.0f, 0.5f};
  Writer().Write({PieceOf(step), PiecesOf(values, 3)});
  file_.Close();
  const Bytes expected(
      "\x10\x00\x00\x00"  //
      "\x07\x00\x00\x00"  // 7
      "\x00\x00\x80\x3F"  // 1.0
      "\x00\x00\x00\xC0"  // -2.0
      "\x00\x00\x00\x3F"  // 0.5
      "\x10\x00\x00\x00",
      24);
  EXPECT_EQ(expected, FileBytes());
}

TEST_F(RecordFileTest, EmptyWriteIsTwoZeroLengths) {
  Writer().Write({});
  Writer().Write({PiecesOf(static_cast<const int32_t*>(nullptr), 0), TextPiece("", 0)});
  file_.Close();
  EXPECT_EQ(Bytes(16, 0), FileBytes());
}

TEST_F(RecordFileTest, TextIsWrittenAsRawBytes) {
  const char title[] = "RIVER RUN 1";
  const int32_t count = -1;
  Writer().Write({TextPiece(title, 11), PieceOf(count)});
  file_.Close();
  Bytes data(title, title + 11);
  PutInt32(&data, -1);
  EXPECT_EQ(Frame(data), FileBytes());
  char back[11];
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_TRUE(in.Text(back, 11));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ("RIVER RUN 1", std::string(back, 11));
}

TEST_F(RecordFileTest, WritingThreeRecordsOverAHundredLeavesExactlyTheThree) {
  Bytes old;
  for (int32_t i = 0; i < 100; ++i) old = Cat({old, Frame(Ints({i, i * i, -i}))});
  WriteBytes(old);
  RecordFile& out = Writer();
  for (int32_t i = 1; i <= 3; ++i) {
    const float r = 0.5f * static_cast<float>(i);
    out.Write({PieceOf(r)});
  }
  out.Close();
  EXPECT_EQ(Cat({Frame(Reals({0.5f})), Frame(Reals({1.0f})), Frame(Reals({1.5f}))}), FileBytes());
}

TEST_F(RecordFileTest, FileOpenedForWritingAndNeverWrittenKeepsItsContent) {
  const Bytes old = Cat({Frame(Ints({1, 2})), Frame(Reals({3.0f}))});
  WriteBytes(old);
  Writer().Close();
  EXPECT_EQ(old, FileBytes());
}

TEST_F(RecordFileTest, WritingAfterRewindReplacesTheWholeFile) {
  RecordFile& out = Writer();
  for (int32_t i = 0; i < 5; ++i) out.Write({PieceOf(i)});
  out.Rewind();
  const int32_t last = 99;
  out.Write({PieceOf(last)});
  out.Close();
  EXPECT_EQ(Frame(Ints({99})), FileBytes());
}

TEST_F(RecordFileTest, RewindWithoutWritingAgainKeepsWhatWasWritten) {
  RecordFile& out = Writer();
  for (int32_t i = 0; i < 3; ++i) out.Write({PieceOf(i)});
  out.Rewind();
  out.Close();
  EXPECT_EQ(Cat({Frame(Ints({0})), Frame(Ints({1})), Frame(Ints({2}))}), FileBytes());
}

TEST_F(RecordFileTest, WrittenRecordsReadBack) {
  RecordFile& out = Writer();
  const int32_t counts[2] = {3, -4};
  const float reals[3] = {1.25f, -0.0f, 3.0e38f};
  out.Write({PiecesOf(counts, 2), PiecesOf(reals, 3)});
  out.Write({PieceOf(counts[1])});
  out.Close();
  int32_t c[2] = {};
  float r[3] = {};
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_EQ(20u, in.length());
  EXPECT_TRUE(in.Ints(c, 2));
  EXPECT_TRUE(in.Reals(r, 3));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ(-4, c[1]);
  EXPECT_EQ(0, std::memcmp(reals, r, sizeof r));  // -0.0 keeps its sign
  EXPECT_EQ(ReadStatus::kOk, ReadInts(c, 1));
  EXPECT_EQ(-4, c[0]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(c, 1));
}

TEST_F(RecordFileTest, RecordsAroundAndBeyondTheBufferRoundTripByteExact) {
  // Sizes on both sides of the powers of two a buffer is likely to have, so
  // that records fit it, fill it exactly, and overflow it.
  const size_t sizes[] = {1,      16383,  16384,  16385,  32768,  65535,  65536, 65537,
                          131071, 131072, 262140, 262144, 262145, 700001, 3};
  Bytes expected;
  RecordFile& out = Writer();
  unsigned seed = 0;
  for (size_t n : sizes) {
    const Bytes data = Pattern(n, ++seed);
    out.Write({Piece{data.data(), n}});
    expected = Cat({expected, Frame(data)});
  }
  out.Close();
  ASSERT_EQ(expected, FileBytes());

  RecordFile& in = Reader();
  seed = 0;
  for (size_t n : sizes) {
    SCOPED_TRACE(n);
    Bytes back(n, '\0');
    ASSERT_EQ(ReadStatus::kOk, in.Begin());
    EXPECT_EQ(n, in.length());
    EXPECT_TRUE(in.Bytes(back.data(), static_cast<int64_t>(n)));
    EXPECT_EQ(ReadStatus::kOk, in.Finish());
    EXPECT_EQ(Pattern(n, ++seed), back);
  }
  EXPECT_EQ(ReadStatus::kEndOfFile, in.SkipRecord());
}

TEST_F(RecordFileTest, LargeRecordOfMixedPiecesIsOneRecord) {
  const int32_t count = 50000;
  const Bytes block = Pattern(200000, 1);
  const int32_t marker = -123;
  const Bytes text = Pattern(300001, 2);
  std::vector<float> reals(count);
  for (int32_t i = 0; i < count; ++i) reals[static_cast<size_t>(i)] = static_cast<float>(i) * 0.25f;

  RecordFile& out = Writer();
  out.Write({PieceOf(count), Piece{block.data(), block.size()}, PieceOf(marker),
             TextPiece(reinterpret_cast<const char*>(text.data()), text.size()),
             PiecesOf(reals.data(), count)});
  out.Write({PieceOf(marker)});
  out.Close();

  Bytes data = Ints({count});
  data = Cat({data, block, Ints({marker}), text});
  for (float r : reals) PutFloat32(&data, r);
  EXPECT_EQ(Cat({Frame(data), Frame(Ints({marker}))}), FileBytes());

  // Read back in pieces that straddle the reader's buffer.
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  int32_t n = 0, m = 0;
  Bytes block_back(block.size(), '\0'), text_back(text.size(), '\0');
  std::vector<float> reals_back(count);
  EXPECT_TRUE(in.Ints(&n, 1));
  for (size_t at = 0; at < block.size(); at += 1000) EXPECT_TRUE(in.Bytes(&block_back[at], 1000));
  EXPECT_TRUE(in.Ints(&m, 1));
  EXPECT_TRUE(
      in.Text(reinterpret_cast<char*>(text_back.data()), static_cast<int64_t>(text.size())));
  EXPECT_TRUE(in.Reals(reals_back.data(), n));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ(count, n);
  EXPECT_EQ(marker, m);
  EXPECT_EQ(block, block_back);
  EXPECT_EQ(text, text_back);
  EXPECT_EQ(reals, reals_back);
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&m, 1));
  EXPECT_EQ(marker, m);
}

TEST_F(RecordFileTest, TakingTheHeadOfLargeRecordsLandsOnTheNextRecord) {
  Bytes bytes;
  for (int32_t i = 0; i < 6; ++i) {
    Bytes data = Ints({i});
    data = Cat({data, Pattern(static_cast<size_t>(100000 * i + 5), static_cast<unsigned>(i))});
    bytes = Cat({bytes, Frame(data)});
  }
  WriteBytes(bytes);
  for (int32_t i = 0; i < 6; ++i) {
    int32_t v = -1;
    ASSERT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
    EXPECT_EQ(i, v);
  }
  int32_t v = -1;
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
}

TEST_F(RecordFileTest, TakesFillsAdjacentAndSeparateDestinationsInRecordOrder) {
  // A record of 3 + 70000 + 5 + 20000 integers, larger than the reader's buffer.
  const std::vector<int32_t> lengths = {3, 70000, 5, 20000};
  Bytes data;
  int32_t next = 1;
  for (int32_t n : lengths) {
    for (int32_t i = 0; i < n; ++i) PutInt32(&data, next++);
  }
  WriteBytes(Cat({Frame(data), Frame(Ints({-8}))}));
  // The first two destinations follow each other in one table, the last two
  // lie elsewhere and in reverse memory order.
  std::vector<int32_t> table(70003, 0), other(30000, 0);
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_TRUE(in.Takes({IntoValues(table.data(), 3), IntoValues(table.data() + 3, 70000),
                        IntoValues(other.data() + 20000, 5), IntoValues(other.data(), 20000)}));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  for (int32_t i = 0; i < 70003; ++i) ASSERT_EQ(i + 1, table[static_cast<size_t>(i)]) << i;
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(70004 + i, other[static_cast<size_t>(20000 + i)]);
  for (int32_t i = 0; i < 20000; ++i) ASSERT_EQ(70009 + i, other[static_cast<size_t>(i)]) << i;
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(-8, v);
}

TEST_F(RecordFileTest, TakesRunningShortFillsWhatSingleTakesWould) {
  // Destinations of 2, 3 and 2 values next to each other; the record holds
  // four values and two stray bytes.
  Bytes data = Ints({1, 2, 3, 4});
  data.push_back(0x11);
  data.push_back(0x22);
  WriteBytes(Cat({Frame(data), Frame(Ints({9}))}));
  int32_t v[7] = {-1, -1, -1, -1, -1, -1, -1};
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_FALSE(in.Takes({IntoValues(v, 2), IntoValues(v + 2, 3), IntoValues(v + 5, 2)}));
  EXPECT_EQ(ReadStatus::kError, in.Finish());
  const int32_t expected[7] = {1, 2, 3, 4, -1, -1, -1};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(expected[i], v[i]) << i;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(v, 1));
  EXPECT_EQ(9, v[0]);
}

TEST_F(RecordFileTest, TakesWithEmptyAndNegativeCountsTakesNothingForThem) {
  WriteBytes(Frame(Ints({5, 6})));
  int32_t v[2] = {0, 0};
  int32_t untouched = -1;
  RecordFile& in = Reader();
  ASSERT_EQ(ReadStatus::kOk, in.Begin());
  EXPECT_TRUE(in.Takes({IntoValues(&untouched, 0), IntoValues(v, 1), IntoValues(&untouched, -3),
                        IntoValues(v + 1, 1)}));
  EXPECT_EQ(ReadStatus::kOk, in.Finish());
  EXPECT_EQ(5, v[0]);
  EXPECT_EQ(6, v[1]);
  EXPECT_EQ(-1, untouched);
}

TEST_F(RecordFileTest, PiecesAdjacentInMemoryAreWrittenAsTheSameBytes) {
  // Rows of one table written as separate pieces, with an empty piece between
  // two of them, then a piece from elsewhere and the table's start again.
  std::vector<float> table(3 * 40000);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<float>(i) + 0.5f;
  const int32_t count = 7;
  RecordFile& out = Writer();
  out.Write({PiecesOf(table.data(), 40000), PiecesOf(table.data() + 40000, 40000),
             PiecesOf(table.data(), 0), PiecesOf(table.data() + 80000, 40000), PieceOf(count),
             PiecesOf(table.data(), 2)});
  out.Close();
  Bytes data;
  for (float r : table) PutFloat32(&data, r);
  PutInt32(&data, count);
  PutFloat32(&data, 0.5f);
  PutFloat32(&data, 1.5f);
  EXPECT_EQ(Frame(data), FileBytes());
}

TEST_F(RecordFileTest, ClosingOrRewindingAClosedFileDoesNothing) {
  RecordFile never;
  never.Close();
  never.Rewind();
  EXPECT_FALSE(never.is_open());
  WriteBytes(Frame(Ints({1})));
  Reader().Close();
  file_.Close();
  file_.Rewind();
  EXPECT_FALSE(file_.is_open());
}

// The fatal diagnostics name the failure, the unit and the file.

TEST_F(RecordFileTest, EndOfFileWithoutHandlerIsFatal) {
  WriteBytes({});
  RecordFile& in = Reader();
  RunAborted a = AbortOf([&] { in.MustRead(in.Begin()); });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ("end-of-file during read, unit 50, file x.bin", a.diagnostic);
}

TEST_F(RecordFileTest, TornRecordWithoutHandlerIsFatal) {
  WriteBytes(Frame(Ints({1, 2})));
  TruncateBy(2);
  int32_t v[2];
  RecordFile& in = Reader();
  RunAborted a = AbortOf([&] {
    ReadStatus status = in.Begin();
    if (status == ReadStatus::kOk) {
      in.Ints(v, 2);
      status = in.Finish();
    }
    in.MustRead(status);
  });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ("error during read, unit 50, file x.bin", a.diagnostic);
}

TEST_F(RecordFileTest, ShortRecordWithoutHandlerIsFatal) {
  WriteBytes(Frame(Reals({1.0f, 2.0f})));
  float v[3];
  RecordFile& in = Reader();
  RunAborted a = AbortOf([&] {
    in.MustRead(in.Begin());
    in.Reals(v, 3);
    in.MustRead(in.Finish());
  });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ("input statement requires too much data, unit 50, file x.bin", a.diagnostic);
}

TEST_F(RecordFileTest, OpeningAMissingFileIsFatal) {
  RunAborted a = AbortOf([&] { file_.OpenExisting(40, "nope.bin"); });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ("file not found, unit 40, file nope.bin", a.diagnostic);
  EXPECT_FALSE(file_.is_open());
}

TEST_F(RecordFileTest, OpeningADirectoryToReadIsFileNotFound) {
  fs::create_directory("sub");
  RunAborted a = AbortOf([&] { file_.OpenExisting(70, "sub"); });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ("file not found, unit 70, file sub", a.diagnostic);
}

TEST_F(RecordFileTest, CreatingInAMissingDirectoryIsFatalNamingUnitAndFile) {
  RunAborted a = AbortOf([&] { file_.OpenForWriting(80, "no_such_dir/out.bin"); });
  EXPECT_EQ(2, a.status);
  EXPECT_NE(std::string::npos, a.diagnostic.find(", unit 80, file no_such_dir/out.bin"))
      << a.diagnostic;
}

TEST_F(RecordFileTest, WriteRefusedBySystemIsFatalAtTheLatestOnClose) {
  const int32_t small = 1;
  const Bytes big = Pattern(400000, 3);
  for (bool large : {false, true}) {
    SCOPED_TRACE(large);
    RunAborted a = AbortOf([&] {
      RecordFile& out = Writer(60, "/dev/full");
      if (large) {
        out.Write({Piece{big.data(), big.size()}});
      } else {
        out.Write({PieceOf(small)});
      }
      out.Close();
    });
    EXPECT_EQ(2, a.status);
    EXPECT_EQ("error during write, unit 60, file /dev/full", a.diagnostic);
    try {
      file_.Close();
    } catch (const RunAborted&) {
    }
  }
}

TEST_F(RecordFileTest, FileExistsOnlyForFiles) {
  WriteBytes({});
  fs::create_directory("sub");
  EXPECT_TRUE(FileExists("x.bin"));
  EXPECT_TRUE(FileExists((dir_ / "x.bin").string()));
  EXPECT_FALSE(FileExists("y.bin"));
  EXPECT_FALSE(FileExists("sub"));
  EXPECT_FALSE(FileExists("."));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(std::string_view("x.bin\0z", 7)));
}

TEST_F(RecordFileTest, SameFileFollowsTheFileNotTheName) {
  WriteBytes(Frame(Ints({1})));
  WriteBytes(Frame(Ints({1})), "copy.bin");
  fs::create_directory("sub");
  fs::create_hard_link("x.bin", "sub/link.bin");
  EXPECT_TRUE(SameFile("x.bin", "x.bin"));
  EXPECT_TRUE(SameFile("x.bin", "./x.bin"));
  EXPECT_TRUE(SameFile("x.bin", (dir_ / "x.bin").string()));
  EXPECT_TRUE(SameFile("sub/../x.bin", "sub/link.bin"));
  EXPECT_FALSE(SameFile("x.bin", "copy.bin"));
  EXPECT_FALSE(SameFile("x.bin", "missing.bin"));
  EXPECT_FALSE(SameFile("missing.bin", "missing.bin"));
  EXPECT_FALSE(SameFile("", ""));
}

// A named pipe has no size to look at: the reader has to find torn tails by
// reading. The pipe carries less than its own buffer, so the writer never waits.
class RecordPipeTest : public RecordFileTest {
 protected:
  void Serve(const Bytes& bytes) {
    ASSERT_LT(bytes.size(), 4096u);
    ASSERT_EQ(0, ::mkfifo("pipe", 0600));
    writer_ = std::thread([bytes] {
      int fd = ::open("pipe", O_WRONLY);
      if (fd < 0) return;
      ssize_t ignored = ::write(fd, bytes.data(), bytes.size());
      (void)ignored;
      ::close(fd);
    });
    file_.OpenExisting(kUnit, "pipe", RecordFile::Source::kAnyFile);
  }
  void TearDown() override {
    if (writer_.joinable()) writer_.join();
    RecordFileTest::TearDown();
  }
  std::thread writer_;
};

TEST_F(RecordPipeTest, TornRecordIsErrorAndStrayTailIsEndOfFile) {
  Bytes torn = Frame(Ints({10, 20, 30}));
  torn.erase(torn.end() - 3, torn.end());
  Serve(Cat({Frame(Reals({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})), Frame(Ints({5})), torn}));
  float r[4] = {};
  int32_t v[3] = {};
  EXPECT_EQ(ReadStatus::kOk, ReadReals(r, 4));
  EXPECT_EQ(4.0f, r[3]);
  EXPECT_EQ(ReadStatus::kOk, ReadInts(v, 1));
  EXPECT_EQ(5, v[0]);
  EXPECT_EQ(ReadStatus::kError, ReadInts(v, 3));
}

TEST_F(RecordPipeTest, LeadingLengthAloneAtTheEndIsEndOfFile) {
  Bytes bytes = Frame(Ints({5}));
  PutUint32(&bytes, 4);
  Serve(bytes);
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
}

TEST_F(RecordPipeTest, TwoStrayBytesAreEndOfFile) {
  Bytes bytes = Frame(Ints({5}));
  bytes.push_back(1);
  bytes.push_back(0);
  Serve(bytes);
  int32_t v = 0;
  EXPECT_EQ(ReadStatus::kOk, ReadInts(&v, 1));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadInts(&v, 1));
}

}  // namespace
}  // namespace korvant
