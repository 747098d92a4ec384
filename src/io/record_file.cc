#include "io/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/record_format.h"
#include "io/run_aborted.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

// Small reads fetch at least this much, so that a run of short records costs
// few system calls, while a reader that takes a record's first values and
// skips the rest does not pull in much of a long record.
constexpr size_t kMinFill = 16 * 1024;

bool UsableName(std::string_view name) {
  return !name.empty() && name.find('\0') == std::string_view::npos;
}

}  // namespace

bool FileExists(std::string_view name) {
  if (!UsableName(name)) return false;
  std::error_code ec;
  fs::file_status st = fs::status(fs::path(name), ec);
  return !ec && fs::exists(st) && !fs::is_directory(st);
}

bool IsRegularFile(std::string_view name) {
  if (!UsableName(name)) return false;
  std::error_code ec;
  return fs::is_regular_file(fs::status(fs::path(name), ec)) && !ec;
}

std::string InputProblem(std::string_view name) {
  if (!UsableName(name)) return "no such file";
  std::error_code ec;
  const fs::file_status st = fs::status(fs::path(name), ec);
  if (!fs::exists(st)) return "no such file";
  if (fs::is_directory(st)) return "a folder, not a regular file";
  if (!fs::is_regular_file(st)) return "not a regular file";
  if (::access(std::string(name).c_str(), R_OK) != 0) return std::strerror(errno);
  return "";
}

bool IsFifoOrSocket(std::string_view name) {
  if (!UsableName(name)) return false;
  std::error_code ec;
  fs::file_status st = fs::status(fs::path(name), ec);
  return !ec && (fs::is_fifo(st) || fs::is_socket(st));
}

bool SameFile(std::string_view a, std::string_view b) {
  if (!UsableName(a) || !UsableName(b)) return false;
  std::error_code ec;
  bool same = fs::equivalent(fs::path(a), fs::path(b), ec);
  return !ec && same;
}

RecordFile::RecordFile() = default;

RecordFile::~RecordFile() {
  if (file_ == nullptr) return;
  if (writing_ && buf_end_ > 0) std::fwrite(buf_.get(), 1, buf_end_, file_);
  std::fclose(file_);
}

void RecordFile::FailFile(const char* what) const {
  Fatal(std::string(what) + ", unit " + std::to_string(unit_) + ", file " + name_);
}

void RecordFile::OpenExisting(int unit, std::string_view name, Source source) {
  Close();
  unit_ = unit;
  name_ = std::string(name);
  if (!FileExists(name)) FailFile("file not found");
  // Opened without waiting, and looked at before a byte is read: a fifo
  // would wait for a writer that never comes, and a device may never end,
  // whatever the name led to when it was looked at before.
  const int waits = source == Source::kAnyFile ? 0 : O_NONBLOCK;
  const int fd = ::open(name_.c_str(), O_RDONLY | waits | O_CLOEXEC);
  if (fd < 0) FailFile("file not found");
  struct stat st;
  if (::fstat(fd, &st) != 0 || (!S_ISREG(st.st_mode) && source != Source::kAnyFile)) {
    ::close(fd);
    FailFile("not a regular file");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file_ = ::fdopen(fd, "rb");
  if (file_ == nullptr) {
    ::close(fd);
    FailFile("file not found");
  }
  std::setvbuf(file_, nullptr, _IONBF, 0);
  writing_ = false;
  failed_ = false;
  size_ = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
  pos_ = 0;
  records_ = 0;
  buf_at_ = buf_end_ = 0;
  left_ = 0;
  if (!buf_) buf_ = std::make_unique<unsigned char[]>(kBufferBytes);
  framing_ = Framing{};
  if (any_framing_) TellFraming();
  swap_ = framing_.big_endian;
  length_bytes_ = framing_.length_bytes;
  common_ = framing_.common();
}

void RecordFile::ReadAnyFraming(bool on) {
  any_framing_ = on;
  if (file_ == nullptr || writing_) return;
  framing_ = Framing{};
  if (on) TellFraming();
  swap_ = framing_.big_endian;
  length_bytes_ = framing_.length_bytes;
  common_ = framing_.common();
}

void RecordFile::TellFraming() {
  if (size_ > 0) framing_ = FramingOf(::fileno(file_), size_);
}

uint64_t RecordFile::LengthAt(const unsigned char* p) const {
  return common_ ? DecodeUint32(p) : DecodeLength(p, framing_);
}

void RecordFile::OpenForWriting(int unit, std::string_view name) {
  Close();
  unit_ = unit;
  name_ = std::string(name);
  bool exists = FileExists(name);
  // An existing file is opened without change; the first record written cuts it.
  if (UsableName(name)) file_ = std::fopen(name_.c_str(), exists ? "r+b" : "wb");
  if (file_ == nullptr) FailFile(exists ? "cannot overwrite existing file" : "cannot create file");
  std::setvbuf(file_, nullptr, _IONBF, 0);
  writing_ = true;
  failed_ = false;
  cut_pending_ = true;
  size_ = -1;
  pos_ = 0;
  buf_at_ = buf_end_ = 0;
  if (!buf_) buf_ = std::make_unique<unsigned char[]>(kBufferBytes);
}

void RecordFile::Rewind() {
  if (file_ == nullptr) return;
  if (writing_) {
    FlushOut();
    cut_pending_ = true;
  }
  buf_at_ = buf_end_ = 0;
  pos_ = 0;
  left_ = 0;
  records_ = 0;
  if (std::fseek(file_, 0, SEEK_SET) != 0) FailFile("REWIND error");
}

void RecordFile::Seek(RecordMark mark) {
  if (file_ == nullptr || writing_) return;
  buf_at_ = buf_end_ = 0;
  left_ = 0;
  // A regular file is read at `pos_` and needs no seek; anything else does.
  if (size_ < 0 && std::fseek(file_, mark.position, SEEK_SET) != 0) FailFile("error during read");
  pos_ = mark.position;
  records_ = mark.records;
}

std::string RecordFile::DamageText() const {
  if (past_end_ >= 0) {
    const auto bytes = [](int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); };
    return "its length of " + bytes(length_) + " runs past the end of the file (" +
           bytes(past_end_) + " left)";
  }
  if (damage_ == Damage::kShort) return "it holds fewer values than its counts need";
  if (damage_ == Damage::kHuge) {
    return "its length of " + std::to_string(length_) + " bytes is more than a record can hold";
  }
  if (damage_ == Damage::kClosing) {
    return "its closing length " + std::to_string(closing_) + " differs from its opening length " +
           std::to_string(length_);
  }
  return "the file ends inside it";
}

void RecordFile::Close() {
  if (file_ == nullptr) return;
  const bool failed_before = failed_;
  const bool written = !writing_ || WriteOut();
  std::FILE* f = file_;
  file_ = nullptr;
  writing_ = false;
  buf_at_ = buf_end_ = 0;
  const bool closed = std::fclose(f) == 0;
  // The file is closed whatever failed. A file whose write has failed before
  // has been reported then, and is not reported again.
  if (failed_before) return;
  if (!written) FailFile("error during write");
  if (!closed) FailFile("CLOSE error");
}

size_t RecordFile::Fetch(void* dst, size_t n) {
  // The buffer is empty whenever the file is read, so `pos_` is where the
  // bytes come from. A regular file is read at that place without moving the
  // descriptor (one system call, no seek); a pipe is read in turn.
  auto* out = static_cast<unsigned char*>(dst);
  const int fd = ::fileno(file_);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = size_ >= 0 ? ::pread(fd, out + got, n - got, pos_ + static_cast<int64_t>(got))
                                 : ::read(fd, out + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

bool RecordFile::ReadRaw(void* dst, int64_t n) {
  auto* out = static_cast<unsigned char*>(dst);
  size_t want = static_cast<size_t>(n);
  size_t have = std::min(want, buf_end_ - buf_at_);
  std::memcpy(out, buf_.get() + buf_at_, have);
  buf_at_ += have;
  pos_ += static_cast<int64_t>(have);
  out += have;
  want -= have;
  if (want == 0) return true;
  if (want >= kBufferBytes / 2) {
    size_t got = Fetch(out, want);
    pos_ += static_cast<int64_t>(got);
    return got == want;
  }
  size_t fill = std::max(want, kMinFill);
  buf_end_ = Fetch(buf_.get(), fill);
  buf_at_ = 0;
  have = std::min(want, buf_end_);
  std::memcpy(out, buf_.get(), have);
  buf_at_ = have;
  pos_ += static_cast<int64_t>(have);
  return have == want;
}

bool RecordFile::SkipRaw(int64_t n) {
  size_t in_buffer = buf_end_ - buf_at_;
  if (static_cast<uint64_t>(n) <= in_buffer) {
    buf_at_ += static_cast<size_t>(n);
    pos_ += n;
    return true;
  }
  n -= static_cast<int64_t>(in_buffer);
  pos_ += static_cast<int64_t>(in_buffer);
  buf_at_ = buf_end_ = 0;
  if (size_ >= 0) {
    // A regular file is read at its place: skipping only moves the place.
    if (n > size_ - pos_) {
      pos_ = size_;
      return false;
    }
    pos_ += n;
    return true;
  }
  // Not a regular file: there is nothing to seek in, so read and drop.
  while (n > 0) {
    size_t chunk = static_cast<size_t>(std::min<int64_t>(n, kBufferBytes));
    size_t got = Fetch(buf_.get(), chunk);
    pos_ += static_cast<int64_t>(got);
    n -= static_cast<int64_t>(got);
    if (got != chunk) return false;
  }
  return true;
}

ReadStatus RecordFile::Begin() {
  damage_ = Damage::kNone;
  past_end_ = -1;
  left_ = 0;
  length_ = 0;
  if (file_ == nullptr || writing_) return ReadStatus::kError;
  record_at_ = pos_;
  ++records_;
  unsigned char head[8];
  if (!ReadRaw(head, length_bytes_)) {  // a few stray bytes
    --records_;
    return ReadStatus::kEndOfFile;
  }
  const uint64_t n = LengthAt(head);
  int64_t after = size_ >= 0 ? size_ - pos_ : -1;
  if (after < 0) {
    // Unknown size: find out whether a single byte follows.
    if (buf_at_ == buf_end_) {
      buf_end_ = Fetch(buf_.get(), kMinFill);
      buf_at_ = 0;
    }
    if (buf_end_ == 0) after = 0;
  }
  if (after == 0) {
    --records_;
    return ReadStatus::kEndOfFile;
  }
  // Compared without adding to `n`: an 8-byte length may be near 2^64.
  const uint64_t m = static_cast<uint64_t>(length_bytes_);
  if (after > 0 && (static_cast<uint64_t>(after) < m || n > static_cast<uint64_t>(after) - m)) {
    // The length runs past the end of the file: it cannot be trusted.
    SkipRaw(after);
    damage_ = Damage::kCut;
    length_ = n;
    past_end_ = after;
    return ReadStatus::kError;
  }
  length_ = n;
  if (n > UINT32_MAX) {
    damage_ = Damage::kHuge;
    return ReadStatus::kError;
  }
  left_ = n;
  return ReadStatus::kOk;
}

bool RecordFile::Take(void* dst, int64_t count, int width) {
  if (count <= 0) return true;
  if (damage_ != Damage::kNone) return false;
  int64_t bytes = count * width;
  if (bytes > left_) {
    int64_t whole = left_ / width * width;
    if (!ReadRaw(dst, whole)) {
      damage_ = Damage::kCut;
      left_ = 0;
      return false;
    }
    left_ -= whole;
    if (swap_ && width == 4) SwapWords(dst, whole / 4);
    damage_ = Damage::kShort;
    return false;
  }
  if (!ReadRaw(dst, bytes)) {
    damage_ = Damage::kCut;
    left_ = 0;
    return false;
  }
  left_ -= bytes;
  if (swap_ && width == 4) SwapWords(dst, count);
  return true;
}

bool RecordFile::Takes(std::span<const Into> into) {
  int64_t total = 0;
  for (const Into& d : into) total += std::max<int64_t>(d.count, 0) * 4;
  if (damage_ != Damage::kNone || total > left_) {
    // Some destination is left short: take one by one so that each gets
    // exactly the whole values a single take would.
    for (const Into& d : into) {
      if (!Take(d.data, d.count, 4)) return false;
    }
    return true;
  }
  unsigned char* run = nullptr;
  int64_t run_bytes = 0;
  for (const Into& d : into) {
    if (d.count <= 0) continue;
    auto* at = static_cast<unsigned char*>(d.data);
    if (run != nullptr && run + run_bytes == at) {
      run_bytes += d.count * 4;
      continue;
    }
    if (run != nullptr && !Take(run, run_bytes / 4, 4)) return false;
    run = at;
    run_bytes = d.count * 4;
  }
  return run == nullptr || Take(run, run_bytes / 4, 4);
}

bool RecordFile::Pass(int64_t n) {
  if (n <= 0) return true;
  if (damage_ != Damage::kNone) return false;
  if (n > left_) {
    damage_ = Damage::kShort;
    return false;
  }
  if (!SkipRaw(n)) {
    damage_ = Damage::kCut;
    left_ = 0;
    return false;
  }
  left_ -= n;
  return true;
}

ReadStatus RecordFile::Finish() {
  if (file_ == nullptr) return ReadStatus::kError;
  unsigned char closing[8];
  if (compare_closing_ && damage_ == Damage::kNone) {
    if (!SkipRaw(left_) || !ReadRaw(closing, length_bytes_)) {
      damage_ = Damage::kCut;
    } else if (LengthAt(closing) != length_) {
      damage_ = Damage::kClosing;
      closing_ = LengthAt(closing);
    }
  } else if (!SkipRaw(left_ + length_bytes_) && damage_ == Damage::kNone) {
    damage_ = Damage::kCut;
  }
  left_ = 0;
  return damage_ == Damage::kNone ? ReadStatus::kOk : ReadStatus::kError;
}

ReadStatus RecordFile::SkipRecord() {
  ReadStatus status = Begin();
  return status == ReadStatus::kOk ? Finish() : status;
}

int64_t RecordFile::Peek(std::span<int32_t> values, int64_t skip_bytes) {
  if (Begin() != ReadStatus::kOk) return -1;
  const int64_t length = length_;
  std::fill(values.begin(), values.end(), 0);
  const int64_t n = static_cast<int64_t>(values.size());
  if (Pass(skip_bytes)) Ints(values.data(), std::min<int64_t>(n, (length - skip_bytes) / 4));
  Finish();
  return length;
}

void RecordFile::FailRead(ReadStatus status) const {
  if (status == ReadStatus::kEndOfFile) FailFile("end-of-file during read");
  if (damage_ == Damage::kShort) FailFile("input statement requires too much data");
  FailFile("error during read");
}

}  // namespace korvant
