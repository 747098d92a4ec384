// The record reader and writer against a model of the framing.
//
// Input: a mode byte, an operation count, two bytes per operation, and the
// rest as file content. Reading modes run the operations on the content as a
// regular file or through a pipe (no size known, nothing to seek in) and
// compare every outcome, position and value with what the framing rules give
// for those bytes; a regular file is read in any framing when the mode's bit
// 2 says so (big-endian, 8-byte lengths, told from the first record). The writing mode writes
// records cut from the content and compares the file with the framed bytes, then reads them back.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fuzz_support.h"
#include "io/framing.h"
#include "io/record_file.h"
#include "io/record_format.h"

namespace korvant::fuzz {
namespace {

constexpr int kUnit = 7;

enum class Damage { kNone, kCut, kShort };

// A length of `m` bytes at `at`, most significant byte first when `big`.
uint64_t LengthAt(std::string_view bytes, int64_t at, int m, bool big) {
  uint64_t v = 0;
  for (int i = 0; i < m; ++i) {
    const uint64_t b = static_cast<unsigned char>(bytes[static_cast<size_t>(at + i)]);
    v |= b << (8 * (big ? m - 1 - i : i));
  }
  return v;
}

// The reading rules, position by position, for a file whose bytes are known.
struct Model {
  std::string_view bytes;
  bool sized;            // a regular file: its size is known before reading
  int m = kLengthBytes;  // bytes of a record length
  bool big = false;      // lengths and 4-byte values most significant byte first
  int64_t pos = 0;
  int64_t left = 0;
  Damage damage = Damage::kNone;

  int64_t size() const { return static_cast<int64_t>(bytes.size()); }

  // A record at `at` whose closing length is its opening one, in the framing
  // (m, big): its data length, else -1.
  int64_t RecordAt(int64_t at, int mm, bool bb) const {
    if (size() - at < 2 * mm) return -1;
    const uint64_t n = LengthAt(bytes, at, mm, bb);
    if (n > static_cast<uint64_t>(size() - at - 2 * mm)) return -1;
    return LengthAt(bytes, at + mm + static_cast<int64_t>(n), mm, bb) == n ? static_cast<int64_t>(n)
                                                                           : -1;
  }
  // The framing of the first record whose next record (or the end) fits it
  // too, else of the first record alone, else the common one.
  void TellFraming() {
    const std::pair<int, bool> tried[] = {{4, false}, {4, true}, {8, false}, {8, true}};
    for (int pass = 0; pass < 2; ++pass) {
      for (const auto& [mm, bb] : tried) {
        const int64_t n = RecordAt(0, mm, bb);
        if (n < 0) continue;
        const int64_t next = n + 2 * mm;
        if (pass == 1 || next == size() || RecordAt(next, mm, bb) >= 0) {
          m = mm;
          big = bb;
          return;
        }
      }
    }
  }

  ReadStatus Begin() {
    damage = Damage::kNone;
    left = 0;
    if (pos + m > size()) {
      pos = size();
      return ReadStatus::kEndOfFile;
    }
    const uint64_t n = LengthAt(bytes, pos, m, big);
    pos += m;
    int64_t after = size() - pos;
    if (after == 0) return ReadStatus::kEndOfFile;
    if (sized && (after < m || n > static_cast<uint64_t>(after - m))) {
      pos = size();
      damage = Damage::kCut;
      return ReadStatus::kError;
    }
    left = static_cast<int64_t>(n);
    return ReadStatus::kOk;
  }

  // Returns the offset of the values taken when the take succeeds.
  std::optional<int64_t> Take(int64_t count, int width) {
    if (count <= 0) return pos;
    if (damage != Damage::kNone) return std::nullopt;
    int64_t bytes_wanted = count * width;
    if (bytes_wanted > left) {
      int64_t whole = left / width * width;
      if (pos + whole > size()) return Cut();
      pos += whole;
      left -= whole;
      damage = Damage::kShort;
      return std::nullopt;
    }
    if (pos + bytes_wanted > size()) return Cut();
    int64_t at = pos;
    pos += bytes_wanted;
    left -= bytes_wanted;
    return at;
  }

  bool Pass(int64_t n) {
    if (n <= 0) return true;
    if (damage != Damage::kNone) return false;
    if (n > left) {
      damage = Damage::kShort;
      return false;
    }
    if (pos + n > size()) return Cut().has_value();
    pos += n;
    left -= n;
    return true;
  }

  ReadStatus Finish() {
    if (pos + left + m > size()) {
      pos = size();
      if (damage == Damage::kNone) damage = Damage::kCut;
    } else {
      pos += left + m;
    }
    left = 0;
    return damage == Damage::kNone ? ReadStatus::kOk : ReadStatus::kError;
  }

  std::optional<int64_t> Cut() {
    damage = Damage::kCut;
    left = 0;
    pos = size();
    return std::nullopt;
  }

  std::string Diagnostic(ReadStatus status, const std::string& name) const {
    std::string where = ", unit " + std::to_string(kUnit) + ", file " + name;
    if (status == ReadStatus::kEndOfFile) return "end-of-file during read" + where;
    if (damage == Damage::kShort) return "input statement requires too much data" + where;
    return "error during read" + where;
  }
};

const char* StatusName(ReadStatus s) {
  return s == ReadStatus::kOk ? "ok" : s == ReadStatus::kEndOfFile ? "end of file" : "error";
}

void CheckStatus(ReadStatus got, ReadStatus want, const char* op) {
  FUZZ_CHECK(got == want,
             std::string(op) + ": got " + StatusName(got) + ", want " + StatusName(want));
}

// A count from an operation's argument: small counts, large ones that cross
// the reader's buffer, and a negative one that must take nothing.
int64_t Count(uint8_t arg) {
  if (arg == 255) return -3;
  if (arg < 200) return arg;
  return static_cast<int64_t>(arg - 200) * 1024;
}

// The values taken against the file's bytes; 4-byte values of a big-endian
// file reversed (`values`).
void Compare(const Model& m, int64_t at, const void* got, int64_t bytes, bool values,
             const char* op) {
  std::string want(m.bytes.substr(static_cast<size_t>(at), static_cast<size_t>(bytes)));
  if (values && m.big) {
    for (size_t k = 0; k + 4 <= want.size(); k += 4) {
      std::swap(want[k], want[k + 3]);
      std::swap(want[k + 1], want[k + 2]);
    }
  }
  FUZZ_CHECK(
      std::memcmp(want.data(), got, static_cast<size_t>(bytes)) == 0,
      std::string(op) + ": values differ from the file's bytes at offset " + std::to_string(at));
}

void TakeAndCompare(RecordFile& f, Model& m, int64_t count, int width, int kind) {
  std::vector<unsigned char> dst(static_cast<size_t>(count > 0 ? count * width : 0));
  bool got = false;
  switch (kind) {
    case 0:
      got = f.Ints(reinterpret_cast<int32_t*>(dst.data()), count);
      break;
    case 1:
      got = f.Reals(reinterpret_cast<float*>(dst.data()), count);
      break;
    case 2:
      got = f.Text(reinterpret_cast<char*>(dst.data()), count);
      break;
    default:
      got = f.Bytes(dst.data(), count);
      break;
  }
  std::optional<int64_t> want = m.Take(count, width);
  FUZZ_CHECK(got == want.has_value(), "take of " + std::to_string(count) + " x " +
                                          std::to_string(width) + " disagrees with the model");
  if (want && count > 0) Compare(m, *want, dst.data(), count * width, kind < 2, "take");
}

void RunReads(const std::string& path, std::string_view bytes, bool sized, std::string_view ops,
              bool any_framing = false) {
  RecordFile f;
  Model m{bytes, sized};
  if (any_framing && !bytes.empty()) m.TellFraming();
  RecordMark saved;
  try {
    f.ReadAnyFraming(any_framing);
    f.OpenExisting(kUnit, path, RecordFile::Source::kAnyFile);
    FUZZ_CHECK(f.framing().length_bytes == m.m && f.framing().big_endian == m.big,
               "the framing told differs from the model's");
    for (size_t i = 0; i + 1 < ops.size(); i += 2) {
      const uint8_t op = static_cast<uint8_t>(ops[i]) % 13;
      const uint8_t arg = static_cast<uint8_t>(ops[i + 1]);
      switch (op) {
        case 0:
          CheckStatus(f.Begin(), m.Begin(), "Begin");
          break;
        case 1:
          TakeAndCompare(f, m, Count(arg), 4, 0);
          break;
        case 2:
          TakeAndCompare(f, m, Count(arg), 4, 1);
          break;
        case 3:
          TakeAndCompare(f, m, Count(arg), 1, 2);
          break;
        case 4:
          TakeAndCompare(f, m, Count(arg) * 3, 1, 3);
          break;
        case 5: {
          int64_t n = Count(arg);
          FUZZ_CHECK(f.Pass(n) == m.Pass(n), "Pass disagrees with the model");
          break;
        }
        case 6:
          CheckStatus(f.Finish(), m.Finish(), "Finish");
          break;
        case 7: {
          ReadStatus want = m.Begin();
          if (want == ReadStatus::kOk) want = m.Finish();
          CheckStatus(f.SkipRecord(), want, "SkipRecord");
          break;
        }
        case 8:
          if (!sized) {
            try {
              f.Rewind();
            } catch (const RunAborted& abort) {
              FUZZ_CHECK(abort.diagnostic == "REWIND error, unit 7, file " + path,
                         "rewinding a pipe: " + abort.diagnostic);
              throw;
            }
            Fail(__FILE__, __LINE__, "a pipe was rewound");
          }
          f.Rewind();
          m.pos = 0;
          m.left = 0;
          break;
        case 9:
          saved = f.Tell();
          break;
        case 10:
          if (!sized) {
            try {
              f.Seek(saved);
            } catch (const RunAborted& abort) {
              FUZZ_CHECK(abort.diagnostic == "error during read, unit 7, file " + path,
                         "seeking in a pipe: " + abort.diagnostic);
              throw;
            }
            Fail(__FILE__, __LINE__, "a pipe was seeked in");
          }
          f.Seek(saved);
          m.pos = saved.position;
          m.left = 0;
          break;
        case 11:
        case 12: {
          ReadStatus want = op == 11 ? m.Begin() : m.Finish();
          std::string diagnostic = m.Diagnostic(want, path);
          try {
            f.MustRead(op == 11 ? f.Begin() : f.Finish());
          } catch (const RunAborted& abort) {
            FUZZ_CHECK(want != ReadStatus::kOk, "MustRead failed on a good record");
            FUZZ_CHECK(abort.status == 2 && abort.diagnostic == diagnostic,
                       "MustRead said \"" + abort.diagnostic + "\", want \"" + diagnostic + "\"");
            throw;
          }
          FUZZ_CHECK(want == ReadStatus::kOk, "MustRead passed a bad record");
          break;
        }
      }
      FUZZ_CHECK(f.Tell().position == m.pos, "position " + std::to_string(f.Tell().position) +
                                                 ", want " + std::to_string(m.pos));
      FUZZ_CHECK(f.left() == m.left,
                 "bytes left " + std::to_string(f.left()) + ", want " + std::to_string(m.left));
    }
    f.Close();
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
    f.Close();
  }
}

// A pipe in the scratch folder, fed by a thread, so the reader meets a file
// whose size it cannot know. The fuzzer's timer signals can cut the opens
// short: the feeder opens without waiting and tries again until the reader
// is there or has given up.
void ReadThroughPipe(std::string_view bytes, std::string_view ops) {
  const std::string path = ScratchDir() + "/pipe";
  unlink(path.c_str());
  FUZZ_CHECK(mkfifo(path.c_str(), 0600) == 0, "mkfifo failed");
  std::atomic<bool> reader_done = false;
  std::thread feeder([&] {
    int fd = -1;
    while (fd < 0 && !reader_done) {
      fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    if (fd < 0) return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size_t at = 0;
    while (at < bytes.size()) {
      ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the reader has gone
      at += static_cast<size_t>(n);
    }
    close(fd);
  });
  // The reader's close ends any write still waiting.
  try {
    RunReads(path, bytes, /*sized=*/false, ops);
  } catch (const Finding&) {
    reader_done = true;
    feeder.join();
    throw;
  }
  reader_done = true;
  feeder.join();
  unlink(path.c_str());
}

std::string Framed(std::string_view data) {
  unsigned char len[kLengthBytes];
  EncodeUint32(len, static_cast<uint32_t>(data.size()));
  std::string out(reinterpret_cast<char*>(len), kLengthBytes);
  out.append(data);
  out.append(reinterpret_cast<char*>(len), kLengthBytes);
  return out;
}

void RunWrites(std::string_view old_content, std::string_view source, std::string_view ops) {
  const std::string path = ScratchFile("written", old_content);
  std::string disk(old_content);
  std::vector<std::string> records;  // since the last cut
  bool cut_pending = true;
  size_t from = 0;
  RecordFile f;
  f.OpenForWriting(kUnit, path);
  for (size_t i = 0; i + 1 < ops.size(); i += 2) {
    const uint8_t op = static_cast<uint8_t>(ops[i]) % 4;
    const uint8_t arg = static_cast<uint8_t>(ops[i + 1]);
    if (op == 0 || op == 1) {
      size_t total = static_cast<size_t>(Count(arg) > 0 ? Count(arg) : 0);
      std::string data(total, '\0');
      for (size_t k = 0; k < total && !source.empty(); ++k) {
        data[k] = source[(from + k) % source.size()];
      }
      from += total;
      size_t split1 = total / 3, split2 = op == 0 ? total / 2 : total;
      f.Write({TextPiece(data.data(), split1), TextPiece(data.data() + split1, split2 - split1),
               TextPiece(data.data() + split2, total - split2)});
      if (cut_pending) {
        disk.clear();
        records.clear();
        cut_pending = false;
      }
      disk += Framed(data);
      records.push_back(data);
    } else if (op == 2) {
      f.Rewind();
      cut_pending = true;
    } else {
      f.Close();
      f.OpenForWriting(kUnit, path);
      cut_pending = true;
    }
  }
  f.Close();
  FUZZ_CHECK(ReadWhole(path) == disk, "the written file is not the framed records");
  if (cut_pending) return;  // the file holds earlier records as well
  f.OpenExisting(kUnit, path);
  for (const std::string& want : records) {
    CheckStatus(f.Begin(), ReadStatus::kOk, "reading back");
    FUZZ_CHECK(f.length() == want.size(), "read-back length");
    std::string got(want.size(), '\0');
    FUZZ_CHECK(f.Bytes(got.data(), static_cast<int64_t>(got.size())), "read-back take");
    FUZZ_CHECK(got == want, "read-back bytes");
    CheckStatus(f.Finish(), ReadStatus::kOk, "read-back finish");
  }
  CheckStatus(f.Begin(), ReadStatus::kEndOfFile, "read-back end");
  f.Close();
}

}  // namespace

int RecordFileTarget(const uint8_t* data, size_t size) {
  static bool started = [] {
    signal(SIGPIPE, SIG_IGN);
    // The fuzzer's timer must not cut a read of the pipe short: a short read
    // is an end of file to the reader, and would differ from the model.
    struct sigaction timer;
    if (sigaction(SIGALRM, nullptr, &timer) == 0 && timer.sa_handler != SIG_DFL &&
        timer.sa_handler != SIG_IGN) {
      timer.sa_flags |= SA_RESTART;
      sigaction(SIGALRM, &timer, nullptr);
    }
    return true;
  }();
  (void)started;
  Front front(data, size);
  const uint8_t mode = front.Byte();
  const size_t op_bytes = 2 * (front.Byte() % 64);
  std::string_view rest = front.Rest();
  std::string_view ops = rest.substr(0, std::min(op_bytes, rest.size()));
  std::string_view content = rest.substr(ops.size());
  // Repeating the content reaches files larger than the reader's buffer.
  std::string bytes;
  for (int r = 0; r <= mode >> 4; ++r) bytes.append(content);
  switch (mode & 3) {
    case 0:
    case 1:
      RunReads(ScratchFile("read", bytes), bytes, /*sized=*/true, ops, (mode & 4) != 0);
      break;
    case 2:
      ReadThroughPipe(bytes, ops);
      break;
    default:
      RunWrites(content, bytes, ops);
      break;
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(RecordFileTarget)
