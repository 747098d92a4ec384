#pragma once

// Builders that make model files byte by byte, so that end-to-end tests state
// the bytes they feed the program without going through the program's own
// record writer (a shared bug would otherwise cancel out).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvant {

/// Little-endian encoders, independent of the host byte order.
void PutInt32(std::string* out, int32_t value);
void PutUint32(std::string* out, uint32_t value);
void PutFloat32(std::string* out, float value);

/// The data part of one record: values packed in order, no padding.
class RecordBuilder {
 public:
  RecordBuilder& Int(int32_t value);
  RecordBuilder& Ints(std::span<const int32_t> values);
  RecordBuilder& Ints(std::initializer_list<int32_t> values);
  RecordBuilder& Real(float value);
  RecordBuilder& Reals(std::span<const float> values);
  RecordBuilder& Reals(std::initializer_list<float> values);
  /// `text` cut or blank-padded to exactly `n` bytes.
  RecordBuilder& Text(std::string_view text, size_t n);
  RecordBuilder& Raw(std::string_view bytes);

  const std::string& data() const { return data_; }
  size_t size() const { return data_.size(); }

 private:
  std::string data_;
};

/// A whole file: framed records (u32 length, data, u32 length) and, for the
/// hostile cases, damage applied to the bytes built so far.
class FileBuilder {
 public:
  FileBuilder& Add(const RecordBuilder& record);
  /// Appends all records and bytes of `other` (its record indexes shift).
  FileBuilder& Append(const FileBuilder& other);
  /// Drops the last `n` bytes (all of them when n exceeds the size).
  FileBuilder& TruncateBy(size_t n);
  /// Overwrites the leading (or trailing) length field of record `index`.
  FileBuilder& SetLength(size_t index, uint32_t length, bool trailing = false);
  /// Appends bytes that belong to no record.
  FileBuilder& AppendJunk(std::string_view bytes);

  const std::string& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  size_t record_count() const { return starts_.size(); }
  /// Byte offset of the leading length field of record `index`.
  size_t record_start(size_t index) const { return starts_.at(index); }

 private:
  std::string bytes_;
  std::vector<size_t> starts_;
  std::vector<uint32_t> data_sizes_;
};

/// The bytes of `record` framed on its own: length, data, length.
std::string Framed(const RecordBuilder& record);

/// One character code per byte of `text` (0 to 255).
std::vector<int32_t> Codes(std::string_view text);

/// `values` cut or extended to `count` entries (none when count <= 0); the
/// entries added are first + i * step, so every slot holds a distinct value.
std::vector<float> FillReals(const std::vector<float>& values, int32_t count, float first,
                             float step);
std::vector<int32_t> FillInts(const std::vector<int32_t>& values, int32_t count, int32_t first,
                              int32_t step);

// ---------------------------------------------------------------------------
// Header forms shared by VELTO, QMX2 and QMX4 files.

/// Character-form header: C1 banner bytes, C2 header numbers, C3 title bytes.
struct CharHeader {
  std::string banner = "BANNER LINE ONE";  ///< blank-padded to 1200 bytes
  std::vector<int32_t> irec = {425};       ///< IREC(1) first; zero-padded to 40
  std::vector<float> frec;                 ///< zero-padded to 40
  std::string title = "TEST TITLE";        ///< blank-padded to 77 bytes
};

/// Integer-coded header (I1..I4 of VELTO files, H1..H4 of QMX2/QMX4 files).
/// Each count written is the size of its array unless overridden, so a test
/// can write a count that disagrees with the entries that follow.
struct CodedHeader {
  int32_t mflg = 1;
  int32_t ivers = 1;
  int32_t np = 0;  ///< NP, NP2 or NP4 of the first record
  int32_t ne = 0;
  std::vector<int32_t> iban = Codes("CODED BANNER");
  std::vector<int32_t> irec = {425};
  std::vector<float> frec;
  std::vector<int32_t> ititl = Codes("CODED TITLE");
  std::optional<int32_t> nban, nirec, nfrec, ntitl;
};

/// IREC(1) as a reader is left with after the header; 0 when none is written.
int32_t FirstIrec(const CharHeader& header);
int32_t FirstIrec(const CodedHeader& header);

RecordBuilder HeaderC1(const CharHeader& header);
RecordBuilder HeaderC2(const CharHeader& header);
RecordBuilder HeaderC3(const CharHeader& header);
RecordBuilder HeaderI1(const CodedHeader& header);
RecordBuilder HeaderI2(const CodedHeader& header);
RecordBuilder HeaderI3(const CodedHeader& header);
RecordBuilder HeaderI4(const CodedHeader& header);

/// C1, C2 and C3 (QMX2 and QMX4 headers always carry the title record).
FileBuilder CharHeaderFile(const CharHeader& header);
/// I1, I2, I3 and I4.
FileBuilder CodedHeaderFile(const CodedHeader& header);

// ---------------------------------------------------------------------------
// VELTO geometry.

struct VeltoNode {
  float x = 0, y = 0, third = 0, ao = 0;
};
struct VeltoElement {
  int32_t nop[8] = {1, 2, 3, 0, 0, 0, 0, 0};
  int32_t imat = 1;
  float real = 0.5f;
  int32_t int2 = 0;
};

/// Counts and values of G1 and G2. Node and element lists shorter than the
/// counts are completed with generated entries; longer ones are cut.
struct VeltoGeometry {
  int32_t np = 3;
  int32_t ne = 1;
  std::vector<VeltoNode> nodes;
  std::vector<VeltoElement> elements;
  std::vector<float> node_ext;  ///< G2: 4 per node, generated when short
};

RecordBuilder VeltoG1(const VeltoGeometry& geometry);
RecordBuilder VeltoG2(const VeltoGeometry& geometry);

/// A well-formed geometry file: C1, C2, C3 only when IREC(1) >= 425, G1, and
/// G2 only when IREC(1) > 420.
FileBuilder VeltoFile(const CharHeader& header, const VeltoGeometry& geometry);
/// I1 to I4 (always all four), G1, and G2 only when IREC(1) > 420.
FileBuilder VeltoFile(const CodedHeader& header, const VeltoGeometry& geometry);

// ---------------------------------------------------------------------------
// QMX2 time steps.

struct Qmx2StepData {
  float time = 0;
  int32_t np2 = 2;
  int32_t ne2 = 1;
  std::vector<float> vel;  ///< 3 per node (u, v, depth); generated when short
  std::vector<int32_t> ndry;
  std::vector<int32_t> imat;
  std::vector<float> wsel;  ///< written only in a long step
};

RecordBuilder Qmx2StepRecord(const Qmx2StepData& step, bool long_step);

/// A character-form header followed by `steps`.
FileBuilder Qmx2File(const CharHeader& header, const std::vector<Qmx2StepData>& steps,
                     bool long_steps);
FileBuilder Qmx2File(const CodedHeader& header, const std::vector<Qmx2StepData>& steps,
                     bool long_steps);

// ---------------------------------------------------------------------------
// QMX4 time steps.

struct Qmx4StepData {
  float time = 0;
  int32_t nqal = 1;
  int32_t np4 = 2;
  int32_t ne4 = 1;
  std::vector<float> conc;  ///< NP4 * NQAL, constituent by constituent
  std::vector<int32_t> imat4;
};

RecordBuilder Qmx4StepRecord(const Qmx4StepData& step);
FileBuilder Qmx4File(const CharHeader& header, const std::vector<Qmx4StepData>& steps);
FileBuilder Qmx4File(const CodedHeader& header, const std::vector<Qmx4StepData>& steps);

// ---------------------------------------------------------------------------
// QMX10 time steps (no header).

struct Qmx10StepData {
  float time = 0;
  int32_t np = 2;
  int32_t ndf = 1;
  int32_t ne = 1;
  std::vector<int32_t> icnt = {2, 0, 0, 0, 0, 0, 0, 0};
  /// NCNT field written; icnt.size() when unset. The entries written are
  /// always those of `icnt`, so an override makes a record that disagrees
  /// with its own count.
  std::optional<int32_t> ncnt;
  std::vector<std::vector<float>> vdof;  ///< row k sized by ICNT(k)
  std::vector<float> rdat3, rdat7, rdat8, rnode, relem;
  std::vector<int32_t> imat, ndry;
};

/// ICNT(k), k from 1, as the builder sizes arrays with it: 0 when negative or
/// beyond the entries of `icnt`.
int32_t Qmx10Count(const Qmx10StepData& step, int k);

RecordBuilder Qmx10StepRecord(const Qmx10StepData& step);
FileBuilder Qmx10File(const std::vector<Qmx10StepData>& steps);

}  // namespace korvant
