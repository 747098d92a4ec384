#pragma once

// What the fuzz targets share: a private scratch folder for the files a target
// reads and writes, a console that swallows what it is given, and the checks
// whose failure is a finding.
//
// Each target is a plain function; built as a fuzzer (KORVANT_FUZZ_ENTRY set)
// it is also the process's LLVMFuzzerTestOneInput, otherwise the replay test
// calls it on every committed seed and reproducer.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "dialogue/session.h"
#include "engine/window.h"
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

/// The process's one session for the reader targets, as a new one would be:
/// every unit closed and every block zero. A new session for each input
/// would spend most of the run on mapping and unmapping its blocks.
/// Console output goes to `console` until the next call.
Session& FreshSession(std::ostream& console);

/// A stream that accepts everything and keeps only a count of the bytes.
class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(&buf_) {}
  uint64_t bytes() const { return buf_.bytes; }

 private:
  struct Buf : std::streambuf {
    uint64_t bytes = 0;
    int overflow(int c) override {
      ++bytes;
      return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
      bytes += static_cast<uint64_t>(n);
      return n;
    }
  } buf_;
};

/// The promises every way out of a run keeps: an own stop has no diagnostic;
/// a fatal one has a single line of text and status 2.
void CheckAbort(const RunAborted& abort);

/// Reads little-endian values from the front of a fuzz input.
class Front {
 public:
  Front(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  float Real();
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
