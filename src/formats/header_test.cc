#include "formats/header.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formats/limits.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

// A header's arrays, each one slot longer than a read may fill: the last
// slot keeps a mark that shows whether anything was stored beyond the array.
struct Arrays {
  static constexpr int32_t kMark = -7;
  std::string banner = std::string(kBannerChars + 1, '#');
  std::vector<int32_t> irec = std::vector<int32_t>(kHeaderInts + 1, kMark);
  std::vector<float> frec = std::vector<float>(kHeaderReals + 1, kMark);
  std::string title = std::string(kTitleChars + 1, '#');
  std::vector<int32_t> iban = std::vector<int32_t>(kBannerChars + 1, kMark);
  std::vector<int32_t> ititl = std::vector<int32_t>(kTitleChars + 1, kMark);

  HeaderText text() {
    return HeaderText{banner.data(), irec.data(), frec.data(),
                      title.data(),  iban.data(), ititl.data()};
  }
  bool nothing_beyond() const {
    return banner.back() == '#' && irec.back() == kMark && frec.back() == kMark &&
           title.back() == '#' && iban.back() == kMark && ititl.back() == kMark;
  }
};

class HeaderTest : public ::testing::Test {
 protected:
  // Reads the header of `bytes` as a reader of the file's steps does.
  ReadResult Read(const std::string& bytes, MeshLimits limits = {}) {
    RecordFile& in = files_.Input(bytes);
    const ReadResult form = DetectForm(in, &h_);
    EXPECT_EQ(Outcome::kRead, form.outcome);
    return ReadHeader(in, &h_, arrays_.text(), limits);
  }

  RecordFiles files_;
  HeaderValues h_;
  Arrays arrays_;
};

TEST_F(HeaderTest, CharacterFormIsReadAndWrittenBackByteForByte) {
  CharHeader header;
  header.banner = "    BANNER OF A RUN";
  header.irec = {42, -3};
  header.frec = {2.5f};
  header.title = "A TITLE";
  const std::string bytes = CharHeaderFile(header).bytes();
  ASSERT_EQ(Outcome::kRead, Read(bytes).outcome);
  EXPECT_EQ(538976288, h_.ITEST);  // four blanks
  EXPECT_FALSE(h_.integer_coded());
  EXPECT_EQ(3, h_.records());
  EXPECT_EQ("    BANNER OF A RUN ", arrays_.banner.substr(0, 20));
  EXPECT_EQ(42, arrays_.irec[0]);
  EXPECT_EQ(-3, arrays_.irec[1]);
  EXPECT_EQ(0, arrays_.irec[39]);
  EXPECT_EQ(2.5f, arrays_.frec[0]);
  EXPECT_EQ("A TITLE ", arrays_.title.substr(0, 8));
  EXPECT_TRUE(arrays_.nothing_beyond());
  WriteHeader(files_.Output(), h_, arrays_.text(), 0, 0);
  EXPECT_EQ(bytes, files_.Written());
}

// The codes are converted to text as a whole; entries beyond a count keep
// what they held, and the header is written back with other counts in H1.
TEST_F(HeaderTest, IntegerCodedFormIsReadAndWrittenBackWithItsCounts) {
  CodedHeader header;
  header.mflg = 3;
  header.ivers = 9;
  header.np = 12;
  header.ne = 4;
  header.iban = Codes("Hi");
  header.irec = {425};
  header.frec = {};
  header.nfrec = -1;
  header.ititl = Codes("T");
  ASSERT_EQ(Outcome::kRead, Read(CodedHeaderFile(header).bytes()).outcome);
  EXPECT_EQ(3, h_.ITEST);
  EXPECT_TRUE(h_.integer_coded());
  EXPECT_EQ(4, h_.records());
  EXPECT_EQ(3, h_.MFLG);
  EXPECT_EQ(9, h_.IVERS);
  EXPECT_EQ(12, h_.np);
  EXPECT_EQ(4, h_.ne);
  EXPECT_EQ(2, h_.NBAN);
  EXPECT_EQ(1, h_.NIREC);
  EXPECT_EQ(-1, h_.NFREC);
  EXPECT_EQ(1, h_.NTITL);
  EXPECT_EQ("Hi", arrays_.banner.substr(0, 2));
  EXPECT_EQ(static_cast<char>(Arrays::kMark & 0xFF), arrays_.banner[2]);
  EXPECT_EQ(425, arrays_.irec[0]);
  EXPECT_EQ(Arrays::kMark, arrays_.irec[1]);
  EXPECT_EQ(Arrays::kMark, arrays_.frec[0]);
  EXPECT_EQ('T', arrays_.title[0]);
  EXPECT_TRUE(arrays_.nothing_beyond());

  WriteHeader(files_.Output(), h_, arrays_.text(), 2, 1);
  header.np = 2;
  header.ne = 1;
  EXPECT_EQ(CodedHeaderFile(header).bytes(), files_.Written());
}

// A count beyond its array (or H1's counts beyond the caller's limits) is
// refused before anything is stored from it.
struct TooLargeCase {
  const char* name;
  std::function<void(CodedHeader*)> spoil;
  const char* count;
  int64_t value, limit;
};

class HeaderTooLargeTest : public HeaderTest, public ::testing::WithParamInterface<TooLargeCase> {};

TEST_P(HeaderTooLargeTest, CountBeyondItsArrayIsRefused) {
  const TooLargeCase& c = GetParam();
  CodedHeader header;
  header.np = 2;
  header.ne = 1;
  c.spoil(&header);
  const ReadResult result = Read(CodedHeaderFile(header).bytes(), MeshLimits{2, 1});
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ(c.count, result.too_large.count);
  EXPECT_EQ(c.value, result.too_large.value);
  EXPECT_EQ(c.limit, result.too_large.limit);
  EXPECT_TRUE(arrays_.nothing_beyond());
}

INSTANTIATE_TEST_SUITE_P(
    HeaderTest, HeaderTooLargeTest,
    ::testing::Values(
        TooLargeCase{"Nodes", [](CodedHeader* h) { h->np = 3; }, "NP", 3, 2},
        TooLargeCase{"Elements", [](CodedHeader* h) { h->ne = 2; }, "NE", 2, 1},
        TooLargeCase{"BannerCodes", [](CodedHeader* h) { h->iban.assign(1201, 'B'); }, "NBAN", 1201,
                     1200},
        TooLargeCase{"Integers", [](CodedHeader* h) { h->irec.assign(41, 1); }, "NIREC", 41, 40},
        TooLargeCase{"Reals", [](CodedHeader* h) { h->frec.assign(41, 1.0f); }, "NFREC", 41, 40},
        TooLargeCase{"TitleCodes", [](CodedHeader* h) { h->ititl.assign(78, 'T'); }, "NTITL", 78,
                     77}),
    [](const auto& tested) { return std::string(tested.param.name); });

// A damaged header record: which one, where it starts and what is wrong.
TEST_F(HeaderTest, DamagedRecordIsNamedByItsPart) {
  CodedHeader header;
  header.nirec = 3;  // one integer follows
  const FileBuilder file = CodedHeaderFile(header);
  ReadResult result = Read(file.bytes());
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(3, result.part);
  EXPECT_EQ(3, result.damage.record);
  EXPECT_EQ(static_cast<int64_t>(file.record_start(2)), result.damage.offset);
  EXPECT_EQ("it holds fewer values than its counts need", result.damage.what);

  FileBuilder cut = CharHeaderFile(CharHeader{});
  cut.TruncateBy(cut.size() - 600);  // inside the banner record
  RecordFile& in = files_.Input(cut.bytes());
  h_.ITEST = 538976288;
  result = ReadHeader(in, &h_, arrays_.text());
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(1, result.part);
  EXPECT_EQ(1, result.damage.record);
  EXPECT_EQ(0, result.damage.offset);
  EXPECT_EQ("its length of 1200 bytes runs past the end of the file (596 bytes left)",
            result.damage.what);
}

}  // namespace
}  // namespace korvant
