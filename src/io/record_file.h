#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "io/framing.h"

namespace korvant {

/// Outcome of a record read.
enum class ReadStatus {
  kOk,         ///< the record was read and the destinations filled
  kEndOfFile,  ///< no record starts here: the file is exhausted (or holds 1-3 stray bytes)
  kError,      ///< the record is cut short, or holds fewer values than were asked for
};

/// True when `name` names an existing file that can be opened (not a directory).
bool FileExists(std::string_view name);

/// True when `name` leads (through links) to a regular file. Only such a file
/// is taken as an input: a fifo may wait for a writer that never comes, and a
/// device may never end.
bool IsRegularFile(std::string_view name);

/// Why `name` cannot be read as an input, in the words every companion
/// program uses after the file's name: "no such file", "a folder, not a
/// regular file", "not a regular file" (a fifo, a device, a socket), or the
/// system's reason ("Permission denied"); "" when it is a regular file that
/// can be opened for reading.
std::string InputProblem(std::string_view name);

/// True when `name` leads to a fifo or a socket, which is never taken as an
/// output: writing to one waits for a reader. A device such as /dev/null is
/// written without waiting and stays allowed.
bool IsFifoOrSocket(std::string_view name);

/// True when both names lead to the same file (same device and inode).
bool SameFile(std::string_view a, std::string_view b);

/// A record boundary of a file being read, and how many records precede it.
struct RecordMark {
  int64_t position = 0;
  int64_t records = 0;
};

/// One piece of a record to write: `bytes` bytes at `data`.
struct Piece {
  const void* data;
  size_t bytes;
};
/// `count` values of 4 bytes; a count of 0 or less is an empty piece.
template <typename T>
Piece PiecesOf(const T* data, int64_t count) {
  static_assert(sizeof(T) == 4);
  return Piece{data, count > 0 ? static_cast<size_t>(count) * 4 : 0};
}
template <typename T>
Piece PieceOf(const T& v) {
  return PiecesOf(&v, 1);
}
inline Piece TextPiece(const char* text, size_t n) { return Piece{text, n}; }

/// One destination of a record read: `count` values of 4 bytes at `data`.
struct Into {
  void* data;
  int64_t count;
};
template <typename T>
Into IntoValues(T* data, int64_t count) {
  static_assert(sizeof(T) == 4);
  return Into{data, count};
}
/// The values of a destination, to write them out again.
inline Piece PieceOf(const Into& values) {
  return Piece{values.data, values.count > 0 ? static_cast<size_t>(values.count) * 4 : 0};
}

/// A binary record file on a unit: framed records read and written strictly in
/// order. Lengths read from the file are never trusted: a record is read into
/// the caller's fixed destinations, anything beyond them is skipped by seeking,
/// and nothing is ever allocated or sized from a count in the file.
///
/// Reading a record: `Begin`, then any number of takes (`Ints`, `Reals`,
/// `Text`, `Bytes`), then `Finish`. A take that wants more than the record
/// still holds fills as many whole values as there are and fails; the record
/// is still consumed by `Finish`, which then reports kError.
///
/// Opens, writes, rewinds and closes that fail end the run with a fatal
/// diagnostic naming the unit and the file.
class RecordFile {
 public:
  RecordFile();
  ~RecordFile();  // closes without reporting failures
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  /// What `OpenExisting` takes.
  enum class Source {
    kRegularFile,  ///< a regular file only, looked at after opening without waiting
    kAnyFile,      ///< also a pipe or a fifo, read to its end (the open may wait for a writer)
  };
  /// Opens an existing file for reading, positioned before its first record.
  /// A name that leads to anything but a regular file (unless `source`
  /// allows it) ends the run with "not a regular file": a fifo would wait for
  /// a writer that never comes, and a device may never end.
  void OpenExisting(int unit, std::string_view name, Source source = Source::kRegularFile);
  /// Opens a file for writing from its start. An existing file keeps its
  /// content until the first record is written, which cuts the file after it.
  void OpenForWriting(int unit, std::string_view name);
  bool is_open() const { return file_ != nullptr; }
  bool writing() const { return writing_; }
  int unit() const { return unit_; }
  const std::string& name() const { return name_; }
  /// Back before the first record. No-op on a closed file.
  void Rewind();
  /// The position of the next record, for `Seek` (reading only).
  RecordMark Tell() const { return RecordMark{pos_, records_}; }
  /// Back to a position `Tell` gave while reading this file.
  void Seek(RecordMark mark);
  /// The record `Begin` started last, from 1 (0 before the first), and the
  /// byte offset of its leading length.
  int64_t record() const { return records_; }
  int64_t record_offset() const { return record_at_; }
  /// What is wrong with the record read last, when it ended in kError.
  std::string DamageText() const;
  /// Writes out what is buffered and closes, also when the write fails.
  /// Failures are fatal, except on a file whose write has failed before
  /// (that failure was fatal already). No-op on a closed file.
  void Close();

  /// From now on (also across opens), `Finish` compares each record's closing
  /// length with its opening one, and a record whose two differ is kError.
  /// Off by default: the dialogue passes the closing length over unread.
  void CompareClosingLengths(bool on) { compare_closing_ = on; }
  bool compares_closing() const { return compare_closing_; }
  /// From now on (also across opens), the framing of a regular file read is
  /// told from its first record's two lengths (`FramingOf`): big-endian files
  /// have their lengths and the 4-byte values that `Ints`, `Reals` and
  /// `Takes` take swapped (text is taken as it stands), and 8-byte lengths are
  /// read as such. Off by default: the dialogue reads the common framing
  /// only. Turned on while a file is open, it tells that file's.
  void ReadAnyFraming(bool on);
  /// The framing the file is read in.
  const Framing& framing() const { return framing_; }

  ReadStatus Begin();
  uint32_t length() const { return static_cast<uint32_t>(length_); }
  int64_t left() const { return left_; }
  bool Ints(int32_t* dst, int64_t count) { return Take(dst, count, 4); }
  bool Reals(float* dst, int64_t count) { return Take(dst, count, 4); }
  bool Text(char* dst, int64_t n) { return Take(dst, n, 1); }
  bool Bytes(void* dst, int64_t n) { return Take(dst, n, 1); }
  /// Takes into each destination in turn, as successive `Ints`/`Reals` would;
  /// destinations that follow each other in memory are filled by one read.
  bool Takes(std::span<const Into> into);
  bool Takes(std::initializer_list<Into> into) {
    return Takes(std::span(into.begin(), into.size()));
  }
  /// Takes nothing for `n` bytes of the record.
  bool Pass(int64_t n);
  ReadStatus Finish();
  /// Reads one record taking nothing.
  ReadStatus SkipRecord();
  /// Reads the next record taking only the integers at its start, after
  /// `skip_bytes` bytes: as many of `values` as it holds, zero for the rest
  /// (all zero when the record ends within the skip). The record is consumed
  /// whole; `Seek` back to read it again. Returns its data length, or -1 when
  /// no whole record starts here (end of file or damage).
  int64_t Peek(std::span<int32_t> values, int64_t skip_bytes = 0);

  /// Ends the run with the diagnostic that fits a read without a handler.
  [[noreturn]] void FailRead(ReadStatus status) const;
  /// `FailRead(status)` unless status is kOk.
  void MustRead(ReadStatus status) const {
    if (status != ReadStatus::kOk) FailRead(status);
  }

  /// Writes one record made of `pieces` at the current position.
  void Write(std::span<const Piece> pieces);
  void Write(std::initializer_list<Piece> pieces) {
    Write(std::span(pieces.begin(), pieces.size()));
  }

 private:
  enum class Damage { kNone, kCut, kShort, kClosing, kHuge };  // kHuge: a length beyond 4 GiB
  bool Take(void* dst, int64_t count, int width);
  void TellFraming();
  uint64_t LengthAt(const unsigned char* p) const;
  size_t Fetch(void* dst, size_t n);   // up to `n` bytes from the file at `pos_`
  bool ReadRaw(void* dst, int64_t n);  // false when the file ends first
  bool SkipRaw(int64_t n);
  void PutRaw(const void* data, size_t n);
  bool WriteOut();  // false when the system refuses the buffered bytes
  void FlushOut();
  [[noreturn]] void FailWrite();
  [[noreturn]] void FailFile(const char* what) const;

  std::FILE* file_ = nullptr;
  bool writing_ = false;
  bool cut_pending_ = false;  // the next write starts from the file's start
  bool failed_ = false;       // a write has failed
  bool compare_closing_ = false;
  bool any_framing_ = false;
  Framing framing_;
  bool swap_ = false;     // values are big-endian
  int length_bytes_ = 4;  // of each record length
  bool common_ = true;    // the common framing, read without a look at the others
  int unit_ = 0;
  std::string name_;
  int64_t size_ = -1;  // bytes in the file when it is regular, else -1
  int64_t pos_ = 0;    // logical position in the file
  static constexpr size_t kBufferBytes = 64 * 1024;
  std::unique_ptr<unsigned char[]> buf_;
  size_t buf_at_ = 0, buf_end_ = 0;  // unread bytes when reading, pending bytes when writing
  uint64_t length_ = 0;
  int64_t left_ = 0;
  Damage damage_ = Damage::kNone;
  int64_t records_ = 0;    // records begun since the file was opened or rewound
  int64_t record_at_ = 0;  // offset of the record begun last
  int64_t past_end_ = -1;  // bytes left when a length ran past the end, else -1
  uint64_t closing_ = 0;   // the closing length, when it differs from the opening one
};

}  // namespace korvant
