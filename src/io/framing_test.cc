#include "io/framing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "io/record_file.h"
#include "tests/harness.h"

namespace korvant {
namespace {

using Bytes = std::string;

// The bytes are written out here as they stand, independent of the codecs.
const Bytes kLittle4 = Bytes("\x08\0\0\0", 4) +
                       Bytes(
                           "\x01\0\0\0"
                           "ABCD",
                           8) +
                       Bytes("\x08\0\0\0", 4);
const Bytes kBig4 = Bytes("\0\0\0\x08", 4) +
                    Bytes(
                        "\0\0\0\x01"
                        "ABCD",
                        8) +
                    Bytes("\0\0\0\x08", 4);
const Bytes kLittle8 = Bytes("\x08\0\0\0\0\0\0\0", 8) +
                       Bytes(
                           "\x01\0\0\0"
                           "ABCD",
                           8) +
                       Bytes("\x08\0\0\0\0\0\0\0", 8);
const Bytes kBig8 = Bytes("\0\0\0\0\0\0\0\x08", 8) +
                    Bytes(
                        "\0\0\0\x01"
                        "ABCD",
                        8) +
                    Bytes("\0\0\0\0\0\0\0\x08", 8);

class FramingTest : public ::testing::Test {
 protected:
  Framing Of(const Bytes& bytes) {
    box_.Write("f.bin", bytes);
    const int fd = ::open(box_.Path("f.bin").c_str(), O_RDONLY);
    const Framing f = FramingOf(fd, static_cast<int64_t>(bytes.size()));
    ::close(fd);
    return f;
  }
  // The first record's integer and its four text bytes, read in the framing told.
  std::pair<int32_t, Bytes> Read(const Bytes& bytes) {
    box_.Write("r.bin", bytes + bytes);
    RecordFile f;
    f.ReadAnyFraming(true);
    f.CompareClosingLengths(true);
    f.OpenExisting(1, box_.Path("r.bin"));
    int32_t value = 0;
    char text[4] = {};
    EXPECT_EQ(ReadStatus::kOk, f.Begin());
    f.Ints(&value, 1);
    f.Text(text, 4);
    EXPECT_EQ(ReadStatus::kOk, f.Finish());
    EXPECT_EQ(ReadStatus::kOk, f.SkipRecord());  // the closing length checked on every record
    EXPECT_EQ(ReadStatus::kEndOfFile, f.Begin());
    return {value, Bytes(text, 4)};
  }
  Sandbox box_;
};

TEST_F(FramingTest, EachFramingIsToldFromTheFirstRecordsTwoLengths) {
  const struct {
    const Bytes* bytes;
    Framing framing;
  } cases[] = {
      {&kLittle4, {false, 4}}, {&kBig4, {true, 4}}, {&kLittle8, {false, 8}}, {&kBig8, {true, 8}}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.framing, Of(*c.bytes));
    EXPECT_EQ(std::make_pair(1, Bytes("ABCD")), Read(*c.bytes));
  }
  // None fits: the common framing, in which the record layer finds the damage.
  EXPECT_EQ(Framing{}, Of(Bytes("\x08\0\0\0\x01\0\0\0", 8)));
  EXPECT_EQ(Framing{}, Of(""));
}

TEST_F(FramingTest, AnEightByteLengthMatchedByChanceByAValueIsNotTakenForFourBytes) {
  // 8-byte lengths of a record of 8 bytes whose last value is 8: read with
  // 4-byte lengths, the first record fits too, but no record follows it.
  const Bytes record = Bytes("\x08\0\0\0\0\0\0\0", 8) + Bytes("\0\0\0\0\x08\0\0\0", 8) +
                       Bytes("\x08\0\0\0\0\0\0\0", 8);
  EXPECT_EQ((Framing{false, 8}), Of(record + record));
}

TEST_F(FramingTest, ADifferentClosingLengthIsDamageInEveryFraming) {
  Bytes damaged = kBig8;
  damaged[damaged.size() - 1] = 9;
  box_.Write("d.bin", kBig8 + damaged);
  RecordFile f;
  f.ReadAnyFraming(true);
  f.CompareClosingLengths(true);
  f.OpenExisting(1, box_.Path("d.bin"));
  EXPECT_EQ(ReadStatus::kOk, f.SkipRecord());
  EXPECT_EQ(ReadStatus::kError, f.SkipRecord());
  EXPECT_EQ("its closing length 9 differs from its opening length 8", f.DamageText());
}

TEST_F(FramingTest, TheConsoleProgramsReadingKeepsTheCommonFraming) {
  box_.Write("b.bin", kBig4);
  RecordFile f;
  f.OpenExisting(1, box_.Path("b.bin"));
  EXPECT_EQ(Framing{}, f.framing());
  EXPECT_EQ(ReadStatus::kError, f.Begin());  // 134217728 bytes: past the end
}

TEST_F(FramingTest, RecordsReframedAndBackAreTheSameBytes) {
  box_.Write("in.bin", kBig8 + kBig8);
  const int in = ::open(box_.Path("in.bin").c_str(), O_RDONLY);
  const int out = ::open(box_.Path("out.bin").c_str(), O_WRONLY | O_CREAT, 0644);
  Reframer reframer({true, 8}, {});
  EXPECT_TRUE(reframer.Copy(in, 0, 2 * 24, out, 0b10));  // the second record is text
  ::close(in);
  ::close(out);
  // The values of the first record reversed, "ABCD" too; the text of the
  // second kept as it stands.
  const Bytes values = Bytes("\x08\0\0\0", 4) +
                       Bytes(
                           "\x01\0\0\0"
                           "DCBA",
                           8) +
                       Bytes("\x08\0\0\0", 4);
  const Bytes text = Bytes("\x08\0\0\0", 4) +
                     Bytes(
                         "\0\0\0\x01"
                         "ABCD",
                         8) +
                     Bytes("\x08\0\0\0", 4);
  EXPECT_EQ(values + text, box_.Read("out.bin"));
  EXPECT_EQ(32, reframer.written());
}

// An input that no longer holds the records its place was told from: the
// copy stops with what changed, in words that follow the input's name.
TEST_F(FramingTest, ACopyOfRecordsThatChangedSaysWhat) {
  box_.Write("in.bin", kBig8);  // one record of 8 bytes: 24 bytes in all
  const std::pair<int64_t, const char*> cases[] = {
      {48, "it ended early: it changed while it was read"},  // the second length is missing
      {20, "it changed while it was read: a record runs past its place"},  // 8 > 20 - 16
      {12, "it changed while it was read: a record is cut"},               // under two lengths
  };
  for (const auto& [n, expected] : cases) {
    const int in = ::open(box_.Path("in.bin").c_str(), O_RDONLY);
    const int out = ::open(box_.Path("out.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Reframer reframer({true, 8}, {});
    EXPECT_FALSE(reframer.Copy(in, 0, n, out)) << n;
    EXPECT_EQ(expected, reframer.error()) << n;
    EXPECT_FALSE(reframer.write_failed()) << n;
    ::close(in);
    ::close(out);
  }
}

}  // namespace
}  // namespace korvant
