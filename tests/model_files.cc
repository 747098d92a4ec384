#include "model_files.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace korvant {

void PutUint32(std::string* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out->push_back(static_cast<char>((value >> shift) & 0xff));
}

void PutInt32(std::string* out, int32_t value) { PutUint32(out, static_cast<uint32_t>(value)); }

void PutFloat32(std::string* out, float value) { PutUint32(out, std::bit_cast<uint32_t>(value)); }

RecordBuilder& RecordBuilder::Int(int32_t value) {
  PutInt32(&data_, value);
  return *this;
}

RecordBuilder& RecordBuilder::Ints(std::span<const int32_t> values) {
  for (int32_t v : values) Int(v);
  return *this;
}

RecordBuilder& RecordBuilder::Ints(std::initializer_list<int32_t> values) {
  return Ints(std::span<const int32_t>(values.begin(), values.size()));
}

RecordBuilder& RecordBuilder::Real(float value) {
  PutFloat32(&data_, value);
  return *this;
}

RecordBuilder& RecordBuilder::Reals(std::span<const float> values) {
  for (float v : values) Real(v);
  return *this;
}

RecordBuilder& RecordBuilder::Reals(std::initializer_list<float> values) {
  return Reals(std::span<const float>(values.begin(), values.size()));
}

RecordBuilder& RecordBuilder::Text(std::string_view text, size_t n) {
  std::string field(text.substr(0, std::min(text.size(), n)));
  field.resize(n, ' ');
  data_ += field;
  return *this;
}

RecordBuilder& RecordBuilder::Raw(std::string_view bytes) {
  data_.append(bytes);
  return *this;
}

FileBuilder& FileBuilder::Add(const RecordBuilder& record) {
  const uint32_t n = static_cast<uint32_t>(record.size());
  starts_.push_back(bytes_.size());
  data_sizes_.push_back(n);
  PutUint32(&bytes_, n);
  bytes_ += record.data();
  PutUint32(&bytes_, n);
  return *this;
}

FileBuilder& FileBuilder::Append(const FileBuilder& other) {
  const size_t base = bytes_.size();
  for (size_t start : other.starts_) starts_.push_back(base + start);
  data_sizes_.insert(data_sizes_.end(), other.data_sizes_.begin(), other.data_sizes_.end());
  bytes_ += other.bytes_;
  return *this;
}

FileBuilder& FileBuilder::TruncateBy(size_t n) {
  bytes_.resize(n >= bytes_.size() ? 0 : bytes_.size() - n);
  return *this;
}

FileBuilder& FileBuilder::SetLength(size_t index, uint32_t length, bool trailing) {
  size_t at = starts_.at(index);
  if (trailing) at += 4 + data_sizes_.at(index);
  if (at + 4 > bytes_.size()) throw std::out_of_range("length field cut off by TruncateBy");
  std::string field;
  PutUint32(&field, length);
  bytes_.replace(at, 4, field);
  return *this;
}

FileBuilder& FileBuilder::AppendJunk(std::string_view bytes) {
  bytes_.append(bytes);
  return *this;
}

std::string Framed(const RecordBuilder& record) { return FileBuilder().Add(record).bytes(); }

std::vector<int32_t> Codes(std::string_view text) {
  std::vector<int32_t> codes;
  for (char c : text) codes.push_back(static_cast<unsigned char>(c));
  return codes;
}

namespace {

template <typename T>
std::vector<T> Fill(const std::vector<T>& values, int32_t count, T first, T step) {
  std::vector<T> out;
  if (count <= 0) return out;
  out.assign(values.begin(), values.begin() + std::min<size_t>(values.size(), count));
  for (size_t i = out.size(); i < static_cast<size_t>(count); ++i)
    out.push_back(first + static_cast<T>(i) * step);
  return out;
}

template <typename T>
std::vector<T> Padded(std::vector<T> values, size_t n) {
  values.resize(n, T{});
  return values;
}

constexpr size_t kBannerBytes = 1200;
constexpr size_t kHeaderNumbers = 40;
constexpr size_t kTitleBytes = 77;

}  // namespace

std::vector<float> FillReals(const std::vector<float>& values, int32_t count, float first,
                             float step) {
  return Fill(values, count, first, step);
}

std::vector<int32_t> FillInts(const std::vector<int32_t>& values, int32_t count, int32_t first,
                              int32_t step) {
  return Fill(values, count, first, step);
}

int32_t FirstIrec(const CharHeader& header) { return header.irec.empty() ? 0 : header.irec[0]; }

int32_t FirstIrec(const CodedHeader& header) {
  const int32_t n = header.nirec.value_or(static_cast<int32_t>(header.irec.size()));
  return n >= 1 && !header.irec.empty() ? header.irec[0] : 0;
}

RecordBuilder HeaderC1(const CharHeader& header) {
  return RecordBuilder().Text(header.banner, kBannerBytes);
}

RecordBuilder HeaderC2(const CharHeader& header) {
  return RecordBuilder()
      .Ints(Padded(header.irec, kHeaderNumbers))
      .Reals(Padded(header.frec, kHeaderNumbers));
}

RecordBuilder HeaderC3(const CharHeader& header) {
  return RecordBuilder().Text(header.title, kTitleBytes);
}

RecordBuilder HeaderI1(const CodedHeader& header) {
  return RecordBuilder().Ints({header.mflg, header.ivers, header.np, header.ne});
}

RecordBuilder HeaderI2(const CodedHeader& header) {
  return RecordBuilder()
      .Int(header.nban.value_or(static_cast<int32_t>(header.iban.size())))
      .Ints(header.iban);
}

RecordBuilder HeaderI3(const CodedHeader& header) {
  return RecordBuilder()
      .Int(header.nirec.value_or(static_cast<int32_t>(header.irec.size())))
      .Int(header.nfrec.value_or(static_cast<int32_t>(header.frec.size())))
      .Ints(header.irec)
      .Reals(header.frec);
}

RecordBuilder HeaderI4(const CodedHeader& header) {
  return RecordBuilder()
      .Int(header.ntitl.value_or(static_cast<int32_t>(header.ititl.size())))
      .Ints(header.ititl);
}

FileBuilder CharHeaderFile(const CharHeader& header) {
  FileBuilder file;
  file.Add(HeaderC1(header)).Add(HeaderC2(header)).Add(HeaderC3(header));
  return file;
}

FileBuilder CodedHeaderFile(const CodedHeader& header) {
  FileBuilder file;
  file.Add(HeaderI1(header)).Add(HeaderI2(header)).Add(HeaderI3(header)).Add(HeaderI4(header));
  return file;
}

RecordBuilder VeltoG1(const VeltoGeometry& geometry) {
  RecordBuilder record;
  record.Int(geometry.np).Int(geometry.ne);
  for (int32_t j = 0; j < geometry.np; ++j) {
    const float jf = static_cast<float>(j);
    VeltoNode node{100.0f + jf, 200.0f + jf, 0.0f, -10.0f - jf};
    if (static_cast<size_t>(j) < geometry.nodes.size()) node = geometry.nodes[j];
    record.Reals({node.x, node.y, node.third, node.ao});
  }
  for (int32_t j = 0; j < geometry.ne; ++j) {
    VeltoElement element;
    if (static_cast<size_t>(j) < geometry.elements.size()) element = geometry.elements[j];
    record.Ints(element.nop).Int(element.imat).Real(element.real).Int(element.int2);
  }
  return record;
}

RecordBuilder VeltoG2(const VeltoGeometry& geometry) {
  const int32_t n = geometry.np > 0 ? geometry.np * 4 : 0;
  return RecordBuilder().Reals(FillReals(geometry.node_ext, n, 0.25f, 0.25f));
}

FileBuilder VeltoFile(const CharHeader& header, const VeltoGeometry& geometry) {
  FileBuilder file;
  file.Add(HeaderC1(header)).Add(HeaderC2(header));
  if (FirstIrec(header) >= 425) file.Add(HeaderC3(header));
  file.Add(VeltoG1(geometry));
  if (FirstIrec(header) > 420) file.Add(VeltoG2(geometry));
  return file;
}

FileBuilder VeltoFile(const CodedHeader& header, const VeltoGeometry& geometry) {
  FileBuilder file = CodedHeaderFile(header);
  file.Add(VeltoG1(geometry));
  if (FirstIrec(header) > 420) file.Add(VeltoG2(geometry));
  return file;
}

RecordBuilder Qmx2StepRecord(const Qmx2StepData& step, bool long_step) {
  RecordBuilder record;
  record.Real(step.time).Int(step.np2);
  record.Reals(FillReals(step.vel, 3 * step.np2, 0.5f, 0.25f));
  record.Ints(FillInts(step.ndry, step.np2, 1, 0));
  record.Int(step.ne2).Ints(FillInts(step.imat, step.ne2, 1, 1));
  if (long_step) record.Reals(FillReals(step.wsel, step.np2, 100.5f, 0.5f));
  return record;
}

FileBuilder Qmx2File(const CharHeader& header, const std::vector<Qmx2StepData>& steps,
                     bool long_steps) {
  FileBuilder file = CharHeaderFile(header);
  for (const Qmx2StepData& step : steps) file.Add(Qmx2StepRecord(step, long_steps));
  return file;
}

FileBuilder Qmx2File(const CodedHeader& header, const std::vector<Qmx2StepData>& steps,
                     bool long_steps) {
  FileBuilder file = CodedHeaderFile(header);
  for (const Qmx2StepData& step : steps) file.Add(Qmx2StepRecord(step, long_steps));
  return file;
}

RecordBuilder Qmx4StepRecord(const Qmx4StepData& step) {
  const int32_t values = step.np4 > 0 && step.nqal > 0 ? step.np4 * step.nqal : 0;
  return RecordBuilder()
      .Real(step.time)
      .Int(step.nqal)
      .Int(step.np4)
      .Reals(FillReals(step.conc, values, 1.0f, 0.5f))
      .Int(step.ne4)
      .Ints(FillInts(step.imat4, step.ne4, 1, 1));
}

FileBuilder Qmx4File(const CharHeader& header, const std::vector<Qmx4StepData>& steps) {
  FileBuilder file = CharHeaderFile(header);
  for (const Qmx4StepData& step : steps) file.Add(Qmx4StepRecord(step));
  return file;
}

FileBuilder Qmx4File(const CodedHeader& header, const std::vector<Qmx4StepData>& steps) {
  FileBuilder file = CodedHeaderFile(header);
  for (const Qmx4StepData& step : steps) file.Add(Qmx4StepRecord(step));
  return file;
}

int32_t Qmx10Count(const Qmx10StepData& step, int k) {
  if (k < 1 || static_cast<size_t>(k) > step.icnt.size()) return 0;
  return std::max(0, step.icnt[k - 1]);
}

RecordBuilder Qmx10StepRecord(const Qmx10StepData& step) {
  RecordBuilder record;
  record.Real(step.time).Int(step.np).Int(step.ndf).Int(step.ne);
  record.Int(step.ncnt.value_or(static_cast<int32_t>(step.icnt.size()))).Ints(step.icnt);
  for (int k = 1; k <= step.ndf; ++k) {
    const std::vector<float> given =
        static_cast<size_t>(k) <= step.vdof.size() ? step.vdof[k - 1] : std::vector<float>{};
    record.Reals(FillReals(given, Qmx10Count(step, k), 10.0f * static_cast<float>(k), 0.125f));
  }
  record.Reals(FillReals(step.rdat3, Qmx10Count(step, 3), 30.0f, 1.0f));
  record.Ints(FillInts(step.imat, step.ne, 1, 1));
  record.Ints(FillInts(step.ndry, step.np, 1, 0));
  record.Reals(FillReals(step.rdat7, Qmx10Count(step, 7), 70.0f, 1.0f));
  record.Reals(FillReals(step.rdat8, Qmx10Count(step, 8), 80.0f, 1.0f));
  record.Reals(FillReals(step.rnode, step.np, 0.5f, 0.5f));
  record.Reals(FillReals(step.relem, step.ne, 0.75f, 0.5f));
  return record;
}

FileBuilder Qmx10File(const std::vector<Qmx10StepData>& steps) {
  FileBuilder file;
  for (const Qmx10StepData& step : steps) file.Add(Qmx10StepRecord(step));
  return file;
}

}  // namespace korvant
