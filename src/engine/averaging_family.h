#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/stream_average.h"
#include "engine/vocabulary.h"
#include "formats/header.h"
#include "formats/identify.h"
#include "formats/read_result.h"
#include "io/record_file.h"
#include "text/layout.h"
#include "text/text_sink.h"

namespace korvant {

/// A QMX10 file's count list as it stood before a step and as the step
/// leaves it (it carries over from step to step).
struct CountLists {
  const int32_t* before;
  const int32_t* after;
};

/// One family's part of a streaming averaging (`StreamAverage`): its reads
/// into vectors sized from each step's counts, its mean, its averaged file
/// and its listing. The passes over the file are the averaging's own.
class AveragingFamily {
 public:
  virtual ~AveragingFamily() = default;
  /// Reads the header of the file `id` tells, when the family has one: "" or
  /// what is wrong.
  virtual std::string ReadHeader(RecordFile&, const Identity&) { return ""; }
  /// Reads the step at the file's position whole: "" or what is wrong.
  /// `head` holds its counts (checked against its length).
  virtual std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists& list) = 0;
  /// Adds the step read last.
  virtual void Add() = 0;
  /// Forms the averages once the file's last step has been read.
  virtual void Finish(AverageReport& report) = 0;
  virtual void WriteAveraged(RecordFile& out) = 0;
  virtual void WriteListing(TextSink& sink, const AverageReport& report) = 0;
  /// The table's columns as the vocabulary names them, node first.
  virtual std::vector<FieldInfo> Columns() const = 0;
  virtual int64_t rows() const = 0;
  virtual void Row(int64_t k, std::vector<Value>* values) const = 0;

 protected:
  /// Every row in the listing layout `row`.
  void WriteRows(TextSink& sink, std::string_view row) const;
};

/// A family's averaging `Averaging<Sum>`, made from `args`, with the sums
/// `choices` asks for: 32-bit as the console program sums, else double.
template <template <typename> class Averaging, typename... Args>
std::unique_ptr<AveragingFamily> WithSums(const AverageChoices& choices, const Args&... args) {
  if (choices.float32_sums) return std::make_unique<Averaging<float>>(args...);
  return std::make_unique<Averaging<double>>(args...);
}

/// A count below zero counts as none.
inline int64_t Count(int64_t count) { return std::max<int64_t>(count, 0); }

/// `v` grown to at least `n` slots, whole. Vectors only grow: slots beyond a
/// step's counts keep what an earlier step left there, as in the console
/// program's blocks.
template <typename T>
std::span<T> Grown(std::vector<T>& v, int64_t n) {
  if (static_cast<int64_t>(v.size()) < n) v.resize(static_cast<size_t>(n));
  return std::span(v);
}

/// What a read outcome says is wrong with the file; "" when it was read.
std::string Problem(const ReadResult& r);

/// `columns` with the mean, minimum and maximum of each of `quantities`
/// after them.
void AddStatistics(const std::vector<FieldInfo>& quantities, std::vector<FieldInfo>* columns);

}  // namespace korvant
