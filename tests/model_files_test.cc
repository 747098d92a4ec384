#include "model_files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvant {
namespace {

uint32_t U32At(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + i));
  return v;
}

float F32At(const std::string& bytes, size_t at) {
  const uint32_t bits = U32At(bytes, at);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Data size of the only record in `file`, checked against both length fields.
uint32_t OnlyRecordSize(const FileBuilder& file) {
  EXPECT_EQ(1u, file.record_count());
  const uint32_t n = U32At(file.bytes(), 0);
  EXPECT_EQ(n + 8u, file.size());
  EXPECT_EQ(n, U32At(file.bytes(), 4 + n));
  return n;
}

TEST(ModelFilesTest, OneIntAndThreeRealsIs24BytesOnDisk) {
  FileBuilder file;
  file.Add(RecordBuilder().Int(-2).Reals({1.0f, -0.5f, 3.25f}));
  ASSERT_EQ(24u, file.size());
  EXPECT_EQ(16u, OnlyRecordSize(file));
  EXPECT_EQ(0xfffffffeu, U32At(file.bytes(), 4));
  EXPECT_EQ(0x3f800000u, U32At(file.bytes(), 8));
  EXPECT_EQ(-0.5f, F32At(file.bytes(), 12));
}

TEST(ModelFilesTest, EmptyRecordIsTwoZeroLengths) {
  FileBuilder file;
  file.Add(RecordBuilder());
  EXPECT_EQ(std::string(8, '\0'), file.bytes());
}

TEST(ModelFilesTest, TextIsBlankPaddedOrCut) {
  EXPECT_EQ("ab   ", RecordBuilder().Text("ab", 5).data());
  EXPECT_EQ("abc", RecordBuilder().Text("abcdef", 3).data());
}

TEST(ModelFilesTest, ShortAndLongQmx2Steps) {
  Qmx2StepData step;
  step.np2 = 2;
  step.ne2 = 1;
  EXPECT_EQ(48u, Qmx2StepRecord(step, false).size());
  EXPECT_EQ(56u, Qmx2StepRecord(step, true).size());
}

TEST(ModelFilesTest, Qmx10RecordWithOneDegreeOfFreedom) {
  Qmx10StepData step;  // NP 2, NDF 1, NE 1, NCNT 8, ICNT (2,0,...,0)
  EXPECT_EQ(84u, Qmx10StepRecord(step).size());
}

TEST(ModelFilesTest, Qmx10NegativeCountsGiveEmptyArrays) {
  Qmx10StepData step;
  step.ndf = 3;
  step.icnt = {2, -5, 2, 0, 0, 0, 3, -1};
  // 20 + 4 * (8 counts + VDOF 2+0+2 + RDAT3 2 + 2*NE + 2*NP + RDAT7 3 + RDAT8 0)
  EXPECT_EQ(20u + 4u * (8 + 4 + 2 + 2 + 4 + 3), Qmx10StepRecord(step).size());
}

TEST(ModelFilesTest, Qmx4StepHoldsConstituentsNodeFastest) {
  Qmx4StepData step;
  step.nqal = 2;
  step.np4 = 3;
  step.ne4 = 1;
  step.conc = {1, 2, 3, 4, 5, 6};
  const RecordBuilder record = Qmx4StepRecord(step);
  EXPECT_EQ(4u * (3 + 6 + 1 + 1), record.size());
  EXPECT_EQ(4.0f, F32At(record.data(), 12 + 3 * 4));
}

TEST(ModelFilesTest, VeltoG1WithThreeNodesAndOneElement) {
  VeltoGeometry geometry;
  geometry.np = 3;
  geometry.ne = 1;
  EXPECT_EQ(100u, VeltoG1(geometry).size());
  EXPECT_EQ(48u, VeltoG2(geometry).size());
}

TEST(ModelFilesTest, HeaderRecordSizes) {
  CharHeader header;
  EXPECT_EQ(1200u, HeaderC1(header).size());
  EXPECT_EQ(320u, HeaderC2(header).size());
  EXPECT_EQ(77u, HeaderC3(header).size());
  CodedHeader coded;
  coded.irec.clear();
  coded.frec.clear();
  EXPECT_EQ(16u, HeaderI1(coded).size());
  EXPECT_EQ(8u, HeaderI3(coded).size());
  coded.ititl = Codes("HI");
  EXPECT_EQ(12u, HeaderI4(coded).size());
}

TEST(ModelFilesTest, VeltoRecordsFollowTheVersionThresholds) {
  CharHeader header;
  VeltoGeometry geometry;
  header.irec = {420};
  EXPECT_EQ(3u, VeltoFile(header, geometry).record_count());  // C1 C2 G1
  header.irec = {421};
  EXPECT_EQ(4u, VeltoFile(header, geometry).record_count());  // + G2
  header.irec = {425};
  EXPECT_EQ(5u, VeltoFile(header, geometry).record_count());  // + C3
  CodedHeader coded;
  coded.irec = {420};
  EXPECT_EQ(5u, VeltoFile(coded, geometry).record_count());  // I1..I4 G1
}

TEST(ModelFilesTest, DamageHelpers) {
  FileBuilder file;
  file.Add(RecordBuilder().Int(7)).Add(RecordBuilder().Ints({1, 2}));
  ASSERT_EQ(12u + 16u, file.size());
  EXPECT_EQ(12u, file.record_start(1));
  file.SetLength(1, 1000);
  EXPECT_EQ(1000u, U32At(file.bytes(), 12));
  file.SetLength(0, 5, /*trailing=*/true);
  EXPECT_EQ(5u, U32At(file.bytes(), 8));
  file.TruncateBy(3);
  EXPECT_EQ(25u, file.size());
  file.AppendJunk("xy");
  EXPECT_EQ("xy", file.bytes().substr(25));
}

}  // namespace
}  // namespace korvant
