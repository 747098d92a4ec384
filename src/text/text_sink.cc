#include "text/text_sink.h"

#include <cerrno>
#include <utility>

#include "io/record_file.h"
#include "io/run_aborted.h"

namespace korvant {
namespace {
constexpr size_t kFlushAt = 1 << 16;
}  // namespace

TextSink::TextSink(std::ostream* out, int unit, std::string name)
    : out_(out), unit_(unit), path_(std::move(name)) {
  line_.reserve(kFlushAt * 2);
}

TextSink::TextSink() = default;

TextSink::~TextSink() {
  if (file_ != nullptr) std::fclose(file_);
}

void TextSink::OpenNew(int unit, const std::string& path) {
  unit_ = unit;
  path_ = path;
  eol_ = "\r\n";
  failed_ = false;
  // "x" creates the file only when no file of that name exists.
  file_ = path.find('\0') == std::string::npos ? std::fopen(path.c_str(), "wx") : nullptr;
  if (file_ == nullptr) {
    // Only an existing name is refused for being there; any other failure
    // (an empty name, a missing folder) is a file that cannot be created.
    Fatal(std::string(FileExists(path) ? "cannot overwrite existing file" : "cannot create file") +
          ", unit " + std::to_string(unit) + ", file " + path);
  }
  line_.reserve(kFlushAt * 2);
}

void TextSink::EndLine() {
  line_.append(eol_);
  line_start_ = line_.size();
  if (line_.size() >= kFlushAt) Flush();
}

bool TextSink::WriteOut() {
  // Only whole lines are handed on; a line being built stays in the buffer.
  std::string_view ready(line_.data(), line_start_);
  if (ready.empty()) return true;
  bool ok = true;
  if (out_ != nullptr) {
    out_->write(ready.data(), static_cast<std::streamsize>(ready.size()));
    out_->flush();
    ok = !out_->fail();
  } else if (file_ != nullptr) {
    ok = std::fwrite(ready.data(), 1, ready.size(), file_) == ready.size() &&
         std::fflush(file_) == 0;
  }
  line_.erase(0, line_start_);
  line_start_ = 0;
  if (!ok) failed_ = true;
  return ok;
}

void TextSink::Fail(const char* what) const {
  Fatal(std::string(what) + ", unit " + std::to_string(unit_) + ", file " + path_);
}

void TextSink::Flush() {
  if (!WriteOut()) Fail("error during write");
}

void TextSink::Close() {
  if (line_start_ != line_.size()) {
    line_.append(eol_);
    line_start_ = line_.size();
  }
  const bool failed_before = failed_;
  const bool written = WriteOut();
  bool closed = true;
  if (file_ != nullptr) {
    std::FILE* f = file_;
    file_ = nullptr;
    closed = std::fclose(f) == 0;
  }
  // The file is closed whatever failed. A file whose write has failed before
  // has been reported then, and is not reported again.
  if (failed_before) return;
  if (!written) Fail("error during write");
  if (!closed) Fail("CLOSE error");
}

}  // namespace korvant
