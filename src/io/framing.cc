#include "io/framing.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvant {
namespace {

// Pieces of a record copied at a time; a multiple of 4, so that no value is
// split between two of them.
constexpr size_t kPieceBytes = size_t{1} << 20;

constexpr Framing kTried[] = {{false, 4}, {true, 4}, {false, 8}, {true, 8}};

bool ReadAt(int fd, int64_t at, void* dst, size_t n) {
  auto* out = static_cast<unsigned char*>(dst);
  while (n > 0) {
    const ssize_t got = ::pread(fd, out, n, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    at += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

// The record at `at` in `framing`: its data length, or -1 when its leading
// length runs past the end of the file or its closing length differs.
int64_t RecordAt(int fd, int64_t size, int64_t at, const Framing& framing) {
  const int m = framing.length_bytes;
  unsigned char lead[8] = {}, close[8] = {};
  if (size - at < 2 * m || !ReadAt(fd, at, lead, m)) return -1;
  const uint64_t n = DecodeLength(lead, framing);
  if (n > static_cast<uint64_t>(size - at - 2 * m)) return -1;
  if (!ReadAt(fd, at + m + static_cast<int64_t>(n), close, m)) return -1;
  return DecodeLength(close, framing) == n ? static_cast<int64_t>(n) : -1;
}

}  // namespace

const char* ByteOrderName(const Framing& framing) {
  return framing.big_endian ? "big-endian" : "little-endian";
}

uint64_t DecodeLength(const unsigned char* p, const Framing& framing) {
  uint64_t v = 0;
  const int m = framing.length_bytes;
  for (int i = 0; i < m; ++i) {
    const int shift = 8 * (framing.big_endian ? m - 1 - i : i);
    v |= static_cast<uint64_t>(p[i]) << shift;
  }
  return v;
}

void EncodeLength(unsigned char* p, uint64_t length, const Framing& framing) {
  const int m = framing.length_bytes;
  for (int i = 0; i < m; ++i) {
    const int shift = 8 * (framing.big_endian ? m - 1 - i : i);
    p[i] = static_cast<unsigned char>(length >> shift);
  }
}

void SwapWords(void* data, int64_t count) {
  auto* p = static_cast<unsigned char*>(data);
  for (int64_t i = 0; i < count; ++i, p += 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
  }
}

Framing FramingOf(int fd, int64_t size) {
  for (const Framing& framing : kTried) {
    const int64_t n = RecordAt(fd, size, 0, framing);
    if (n < 0) continue;
    // A record of the same framing follows, or nothing: a 4-byte length can
    // be matched by chance by the last value of a record of 8-byte lengths.
    const int64_t next = n + 2 * framing.length_bytes;
    if (next == size || RecordAt(fd, size, next, framing) >= 0) return framing;
  }
  for (const Framing& framing : kTried) {
    if (RecordAt(fd, size, 0, framing) >= 0) return framing;
  }
  return Framing{};
}

Reframer::~Reframer() { delete[] buffer_; }

bool Reframer::Fail(const std::string& why, bool write) {
  error_ = why;
  write_failed_ = write;
  return false;
}

bool Reframer::Read(int fd, int64_t at, size_t n) {
  if (ReadAt(fd, at, buffer_, n)) return true;
  return Fail(errno != 0 ? std::strerror(errno) : "it ended early: it changed while it was read",
              false);
}

bool WriteAll(int fd, const void* data, size_t n, int64_t* written) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
    if (written != nullptr) *written += put;
  }
  return true;
}

bool Reframer::Put(int fd, const void* data, size_t n) {
  return WriteAll(fd, data, n, &written_) || Fail(std::strerror(errno), true);
}

bool Reframer::Copy(int in_fd, int64_t at, int64_t n, int out_fd, unsigned text_records,
                    bool torn_tail) {
  if (buffer_ == nullptr) buffer_ = new unsigned char[kPieceBytes];
  const int from_m = from_.length_bytes;
  const bool swap = from_.big_endian != to_.big_endian;
  for (int record = 0; n > 0; ++record) {
    if (torn_tail && n <= from_m) return true;
    errno = 0;
    if (n < 2 * from_m || !Read(in_fd, at, static_cast<size_t>(from_m))) {
      return error_.empty() ? Fail("it changed while it was read: a record is cut", false) : false;
    }
    const uint64_t length = DecodeLength(buffer_, from_);
    if (length > static_cast<uint64_t>(n - 2 * from_m)) {
      return Fail("it changed while it was read: a record runs past its place", false);
    }
    const bool text = record < 32 && (text_records >> record & 1u) != 0;
    unsigned char mark[8];
    EncodeLength(mark, length, to_);
    if (!Put(out_fd, mark, static_cast<size_t>(to_.length_bytes))) return false;
    int64_t data_at = at + from_m;
    for (uint64_t left = length; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, kPieceBytes));
      if (!Read(in_fd, data_at, piece)) return false;
      if (swap && !text) SwapWords(buffer_, static_cast<int64_t>(piece / 4));
      if (!Put(out_fd, buffer_, piece)) return false;
      data_at += static_cast<int64_t>(piece);
      left -= piece;
    }
    if (!Put(out_fd, mark, static_cast<size_t>(to_.length_bytes))) return false;
    const int64_t whole = static_cast<int64_t>(length) + 2 * from_m;
    at += whole;
    n -= whole;
  }
  return true;
}

}  // namespace korvant
