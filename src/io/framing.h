#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvant {

/// How a file frames its records: the byte order of its lengths and of the
/// 4-byte values inside its records, and the width of its lengths. The
/// console program reads and every program writes the common framing,
/// little-endian with 4-byte lengths; the engine's readers also take
/// big-endian files and 8-byte lengths.
struct Framing {
  bool big_endian = false;
  int length_bytes = 4;  ///< 4 or 8
  bool common() const { return !big_endian && length_bytes == 4; }
  bool operator==(const Framing&) const = default;
};

/// "little-endian" or "big-endian".
const char* ByteOrderName(const Framing& framing);

/// A record length as `framing` stores it at `p`.
uint64_t DecodeLength(const unsigned char* p, const Framing& framing);
void EncodeLength(unsigned char* p, uint64_t length, const Framing& framing);

/// Reverses the bytes of each of `count` 4-byte values at `data`.
void SwapWords(void* data, int64_t count);

/// Writes the `n` bytes at `data` to `fd`, again where a write is
/// interrupted or takes only part; adds what goes out to *written (when
/// given). False, with errno, when the system refuses them.
bool WriteAll(int fd, const void* data, size_t n, int64_t* written = nullptr);

/// The framing of the regular file open on `fd`, `size` bytes long, told
/// from its first record's two lengths: the one framing in which the first
/// record's leading length is followed, that many bytes on, by the same
/// length, and after which the file ends or a record of that framing can
/// start. The common framing when several fit (it is tried first) or none
/// does (the file is then damaged from its first record on, as the record
/// layer says). Reads with `pread`, so the file's position is left alone.
Framing FramingOf(int fd, int64_t size);

/// Copies whole records from one framing into another: the lengths written
/// anew, the 4-byte values swapped where the byte orders differ, text kept
/// as it stands. The records are read with `pread` and written with `write`,
/// a bounded piece at a time, so memory does not grow with a record.
class Reframer {
 public:
  Reframer(Framing from, Framing to) : from_(from), to_(to) {}
  ~Reframer();
  Reframer(const Reframer&) = delete;
  Reframer& operator=(const Reframer&) = delete;

  /// Copies the records that fill `n` bytes of `in_fd` from `at` to `out_fd`;
  /// `text_records` is a bit set of the records among them (bit 0 the first)
  /// that hold text. False when a read or a write fails or the records do not
  /// fill the bytes exactly (`error()` says which, `write_failed()` whose).
  /// With `torn_tail`, a length or less left at the end is passed over, as
  /// the record layer takes it for the end of the file.
  bool Copy(int in_fd, int64_t at, int64_t n, int out_fd, unsigned text_records = 0,
            bool torn_tail = false);
  /// Bytes written so far.
  int64_t written() const { return written_; }
  const std::string& error() const { return error_; }
  bool write_failed() const { return write_failed_; }

 private:
  bool Read(int fd, int64_t at, size_t n);
  bool Put(int fd, const void* data, size_t n);
  bool Fail(const std::string& why, bool write);

  Framing from_, to_;
  unsigned char* buffer_ = nullptr;
  int64_t written_ = 0;
  std::string error_;
  bool write_failed_ = false;
};

}  // namespace korvant
