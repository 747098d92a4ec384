// The writing half of RecordFile: records framed as length, data, length,
// through the file's buffer.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/record_file.h"
#include "io/record_format.h"

namespace korvant {

namespace fs = std::filesystem;

bool RecordFile::WriteOut() {
  if (buf_end_ == 0) return true;
  size_t n = buf_end_;
  buf_end_ = 0;
  if (std::fwrite(buf_.get(), 1, n, file_) == n) return true;
  failed_ = true;
  return false;
}

void RecordFile::FailWrite() {
  failed_ = true;
  FailFile("error during write");
}

void RecordFile::FlushOut() {
  if (!WriteOut()) FailWrite();
}

void RecordFile::PutRaw(const void* data, size_t n) {
  if (n >= kBufferBytes / 2) {
    FlushOut();
    if (std::fwrite(data, 1, n, file_) != n) FailWrite();
    return;
  }
  if (buf_end_ + n > kBufferBytes) FlushOut();
  std::memcpy(buf_.get() + buf_end_, data, n);
  buf_end_ += n;
}

void RecordFile::Write(std::span<const Piece> pieces) {
  if (file_ == nullptr || !writing_) FailFile("error during write");
  uint64_t total = 0;
  for (const Piece& p : pieces) total += p.bytes;
  if (total > UINT32_MAX) FailFile("error during write");
  if (cut_pending_) {
    cut_pending_ = false;
    std::error_code ec;
    fs::path path(name_);
    // A file that is empty already is left alone: cutting it would make the
    // file system write it out at close, as for a replaced file.
    if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0 && !ec) {
      fs::resize_file(path, 0, ec);
      if (ec) FailWrite();
    }
  }
  unsigned char len[kLengthBytes];
  EncodeUint32(len, static_cast<uint32_t>(total));
  PutRaw(len, kLengthBytes);
  // Pieces that follow each other in memory (the rows of a full table) go out
  // in one write.
  const unsigned char* run = nullptr;
  size_t run_bytes = 0;
  for (const Piece& p : pieces) {
    if (p.bytes == 0) continue;
    const auto* at = static_cast<const unsigned char*>(p.data);
    if (run != nullptr && run + run_bytes == at) {
      run_bytes += p.bytes;
      continue;
    }
    if (run != nullptr) PutRaw(run, run_bytes);
    run = at;
    run_bytes = p.bytes;
  }
  if (run != nullptr) PutRaw(run, run_bytes);
  PutRaw(len, kLengthBytes);
}

}  // namespace korvant
