#pragma once

// What the fuzz targets share: a private scratch folder for the files a target
// reads and writes, the arrays a header is read into, and the checks whose
// failure is a finding.
//
// Each target is a plain function; built as a fuzzer (KORVANT_FUZZ_ENTRY set)
// it is also the process's LLVMFuzzerTestOneInput, otherwise the replay test
// calls it on every committed seed and reproducer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/header.h"
#include "formats/limits.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "io/record_file.h"
#include "io/run_aborted.h"

namespace korvant::fuzz {

using Target = int (*)(const uint8_t* data, size_t size);

int RecordFileTarget(const uint8_t* data, size_t size);
int GeometryTarget(const uint8_t* data, size_t size);
int Qmx2Target(const uint8_t* data, size_t size);
int Qmx4Target(const uint8_t* data, size_t size);
int Qmx10Target(const uint8_t* data, size_t size);
int SessionTarget(const uint8_t* data, size_t size);

/// A broken promise, thrown instead of aborting when the replay test runs.
struct Finding {
  std::string what;
};

/// Reports a broken promise and aborts, which the fuzzer records as a finding;
/// after `ThrowFindings` it throws a `Finding` instead.
[[noreturn]] void Fail(const char* file, int line, const std::string& what);
void ThrowFindings();

#define FUZZ_CHECK(condition, what)                                      \
  do {                                                                   \
    if (!(condition)) ::korvant::fuzz::Fail(__FILE__, __LINE__, (what)); \
  } while (false)

/// A folder of this process's own, created on first use and removed at exit.
/// Absolute path, no trailing slash.
const std::string& ScratchDir();
/// Removes every entry of the scratch folder.
void ClearScratch();
/// Writes `bytes` as the file `name` in the scratch folder; returns its path.
std::string ScratchFile(std::string_view name, std::string_view bytes);
/// The path of `name` in the scratch folder, with no file there: a file left
/// by an earlier input would keep its bytes when opened for writing and
/// never written.
std::string NewScratchPath(std::string_view name);
/// The whole content of a file; "" when it cannot be read.
std::string ReadWhole(const std::string& path);

/// The promises every way out of a run keeps: an own stop has no diagnostic;
/// a fatal one has a single line of text and status 2.
void CheckAbort(const RunAborted& abort);

/// The node and element limits a reader target gives its arrays.
struct ArrayLimits {
  int nodes = 0;
  int elements = 0;
  MeshLimits mesh() const { return MeshLimits{nodes, elements}; }
};

/// The arrays a header is read into, each of exactly the size `HeaderText`
/// gives it, all zero at first.
struct HeaderArrays {
  std::vector<char> banner = std::vector<char>(kBannerChars);
  std::vector<int32_t> irec = std::vector<int32_t>(kHeaderInts);
  std::vector<float> frec = std::vector<float>(kHeaderReals);
  std::vector<char> title = std::vector<char>(kTitleChars);
  std::vector<int32_t> iban = std::vector<int32_t>(kBannerChars);
  std::vector<int32_t> ititl = std::vector<int32_t>(kTitleChars);

  HeaderText text() {
    return {banner.data(), irec.data(), frec.data(), title.data(), iban.data(), ititl.data()};
  }
};

/// A byte image of values read, compared bit for bit.
using Snapshot = std::vector<unsigned char>;
/// Adds the first `count` values of `values` (none for a count below one).
template <typename T>
void Add(Snapshot* into, std::span<const T> values, int64_t count) {
  const auto n = static_cast<size_t>(std::clamp<int64_t>(count, 0, values.size()));
  const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
  into->insert(into->end(), bytes, bytes + n * sizeof(T));
}
template <typename T>
void Add(Snapshot* into, const T& value) {
  Add(into, std::span<const T>(&value, 1), 1);
}
/// A header's values and the whole of its arrays.
Snapshot SnapshotOf(const HeaderValues& h, const HeaderArrays& text);

/// A count a reader may refuse as too large: its name, its value where the
/// caller can see it, and the limit it must be refused against.
struct Refusable {
  std::string_view name;
  std::optional<int64_t> value;
  int64_t limit;
};
/// A kTooLarge result names one of `counts`, with its value and limit, and
/// the value is beyond the limit.
void CheckTooLarge(const ReadResult& result, std::initializer_list<Refusable> counts);
/// A kDamaged result gives a record of `file` by its number and the offset
/// of its leading length, and says what is wrong.
void CheckDamage(const ReadResult& result, std::string_view file);
/// A step read from `at` on: refused as too large, its record has been passed
/// over; damaged, the damage is that record's.
void CheckStepEnd(const ReadResult& result, const RecordFile& in, RecordMark at,
                  std::string_view file);
/// The promises of a header read with `limits` by `ReadHeader`.
void CheckHeader(const ReadResult& result, const HeaderValues& h, ArrayLimits limits,
                 std::string_view file);
/// Both results say the same: outcome, damage, count refused and part.
bool SameResult(const ReadResult& a, const ReadResult& b);

/// A step passed outside a window, read from `at`, gave `passed` and the
/// counts `counts()`: read again in full from `at` (`read_full`), it gives the
/// same result and counts and ends where the pass ended.
template <typename ReadFull, typename CountsNow>
void CheckReadAgainInFull(RecordFile& in, RecordMark at, const ReadResult& passed,
                          ReadFull read_full, CountsNow counts) {
  const auto before = counts();
  const RecordMark after = in.Tell();
  in.Seek(at);
  const ReadResult full = read_full();
  FUZZ_CHECK(SameResult(full, passed) && counts() == before && in.Tell().position == after.position,
             "a passed step reads differently in full");
}

/// Detects the header's form and reads it with `limits`, checking the
/// promises of both reads; false when the file ends or is refused there.
bool ReadHeaderChecked(RecordFile& in, HeaderValues* h, HeaderArrays& text, ArrayLimits limits,
                       std::string_view file);

/// Reads little-endian values from the front of a fuzz input.
class Front {
 public:
  Front(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  float Real();
  /// Limits from one byte: nodes 0 to 15 from its low four bits, elements 0
  /// to 15 from its high four, so that small records fit and larger ones are
  /// refused.
  ArrayLimits Limits() {
    const uint8_t b = Byte();
    return ArrayLimits{b & 15, b >> 4};
  }
  /// A window of two hours, from and to; steps outside it are passed unless `all`.
  StepFilter Window(bool all = false) {
    StepFilter window;
    window.from = Real();
    window.to = Real();
    window.all = all;
    return window;
  }
  std::string_view Rest() const {
    return {reinterpret_cast<const char*>(data_) + at_, size_ - at_};
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace korvant::fuzz

#ifdef KORVANT_FUZZ_ENTRY
#define KORVANT_FUZZ_MAIN(function)                                         \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    return ::korvant::fuzz::function(data, size);                           \
  }
#else
#define KORVANT_FUZZ_MAIN(function)
#endif
