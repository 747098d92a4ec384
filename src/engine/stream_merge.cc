#include "engine/stream_merge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/family_driver.h"
#include "formats/limits.h"
#include "io/framing.h"
#include "text/readable.h"

namespace korvant {
namespace {

// Adjacent records are copied in one call, up to this many bytes: the
// kernel's copy costs less the more it is given at once (1 GiB a call ran
// 6-14% faster than 64 MiB on the benchmark's files, on a par with cat).
constexpr int64_t kCopyBatch = int64_t{1} << 30;
constexpr size_t kBounceBytes = size_t{1} << 20;

// An input file open twice: framed records for the heads, and a descriptor
// for the bytes copied.
struct OpenInput {
  RecordFile records;
  int fd = -1;
  ~OpenInput() {
    if (fd >= 0) ::close(fd);
  }
};

std::string Where(const Damage& d) {
  return "record " + std::to_string(d.record) + " (byte " + std::to_string(d.offset) + ")";
}

// Opens `path`; "" or the reason it cannot be read as a regular file.
std::string Open(const std::string& path, OpenInput* in) {
  if (std::string why = InputProblem(path); !why.empty()) return why;
  // Without waiting: a fifo would wait for a writer that never comes.
  in->fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in->fd < 0) return std::strerror(errno);
  struct stat st;
  if (::fstat(in->fd, &st) != 0) return std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  ::fcntl(in->fd, F_SETFL, ::fcntl(in->fd, F_GETFL) & ~O_NONBLOCK);
  in->records.CompareClosingLengths(true);  // the records are copied as they stand
  in->records.ReadAnyFraming(true);
  in->records.OpenExisting(0, path);
  return "";
}

// Passes over the header records: "" or what is wrong with one.
std::string PassHeader(RecordFile& f, const Identity& id) {
  for (int r = 0; r < id.header_records; ++r) {
    const ReadResult result = ResultOf(f, f.SkipRecord());
    if (!result.ok()) return Where(result.damage) + ": " + result.damage.what;
  }
  return "";
}

std::string MeshText(int32_t nodes, int32_t elements) {
  return std::to_string(nodes) + " nodes and " + std::to_string(elements) + " elements";
}

// Whether a QMX10 step whose count list gives its first `listed` entries and
// carries the rest (`carried`, as its own file carries them) would read
// otherwise after the steps written before it (`written`, the list they
// leave).
bool LeansOnStepsLeftOut(const int32_t* carried, const std::array<int32_t, MAXCNT>& written,
                         int32_t listed) {
  for (int k = std::max(listed, 0); k < MAXCNT; ++k) {
    if (carried[k] != written[static_cast<size_t>(k)]) return true;
  }
  return false;
}

// The QMX10 step whose head was read last (`head`; its count list, carried
// entries included, `icnt`) as a record in the common framing that gives the
// whole count list, so that it reads alike wherever it stands. "" or what is
// wrong.
std::string WithWholeCountList(RecordFile& f, const StepHead& head, const int32_t* icnt,
                               std::vector<int32_t>* record) {
  const int64_t listed = std::max(head.listed, 0);
  const int64_t rest = (int64_t{head.length} - 4 * (5 + listed)) / 4;  // values after the list
  const int64_t bytes = 4 * (5 + MAXCNT + rest);
  if (rest < 0 || bytes > int64_t{UINT32_MAX}) {
    return "the step at hour " + HourWords(head.time) + " cannot be given its whole count list";
  }
  record->assign(static_cast<size_t>(2 + bytes / 4), 0);
  int32_t* w = record->data();
  const uint32_t length = static_cast<uint32_t>(bytes);
  std::memcpy(&w[0], &length, 4);
  std::memcpy(&w[record->size() - 1], &length, 4);
  f.Seek(head.at);
  const bool read = f.Begin() == ReadStatus::kOk && f.Ints(w + 1, 4) &&  // TIME, NP, NDF, NE
                    f.Pass(4 * (1 + listed)) && f.Ints(w + 6 + MAXCNT, rest);
  const ReadResult result = ResultOf(f, f.Finish());
  if (!read || !result.ok()) return Where(result.damage) + ": " + result.damage.what;
  w[5] = MAXCNT;
  std::copy(icnt, icnt + MAXCNT, w + 6);
  return "";
}

std::string FamilyName(const Identity& id) {
  const FamilyDriver* driver = DriverOf(id.kind);
  return driver != nullptr ? driver->Describe(id) : "not a model file";
}

}  // namespace

// Copies byte ranges of the inputs to the merged file, in order. Ranges that
// follow each other in one input are joined. The kernel copies where it can;
// where it refuses (another file system, a kernel without the call), the bytes
// go through a buffer.
class StreamMerge::Copier {
 public:
  explicit Copier(int out_fd) : out_(out_fd) {}

  /// Records of another framing are copied at once, into the common framing;
  /// `text` says which of them hold text (`Reframer::Copy`).
  bool Add(int fd, int64_t at, int64_t n, const Framing& framing = {}, unsigned text = 0) {
    if (!framing.common()) {
      if (!Flush()) return false;
      Reframer reframer(framing, Framing{});
      const bool ok = reframer.Copy(fd, at, n, out_, text);
      written_ += reframer.written();
      return ok || Fail(reframer.error(), reframer.write_failed());
    }
    if (fd == fd_ && at == at_ + n_ && n_ + n <= kCopyBatch) {
      n_ += n;
      return true;
    }
    if (!Flush()) return false;
    fd_ = fd;
    at_ = at;
    n_ = n;
    return true;
  }

  /// Bytes from memory, after what is queued.
  bool Put(const void* data, size_t n) {
    return Flush() && (WriteAll(out_, data, n, &written_) || Fail(std::strerror(errno), true));
  }

  bool Flush() {
    const int64_t n = n_;
    n_ = 0;
    if (n == 0) return true;
    if (!Copy(n)) return false;
    written_ += n;
    return true;
  }

  int64_t written() const { return written_ + n_; }
  int64_t copied() const { return written_; }
  bool used_kernel() const { return used_kernel_; }
  bool write_failed() const { return write_failed_; }
  const std::string& error() const { return error_; }

 private:
  bool Copy(int64_t n) {
    off_t in_at = at_;
    while (n > 0 && !kernel_refused_) {
      const ssize_t got = ::copy_file_range(fd_, &in_at, out_, nullptr, static_cast<size_t>(n), 0);
      if (got > 0) {
        used_kernel_ = true;
        n -= got;
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      // Refused (another file system, an output opened for appending, a
      // kernel without the call) or nothing copied: read and write instead,
      // which also tells a real failure by its own error.
      if (got < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
          errno != EBADF) {
        return Fail(std::strerror(errno), /*write=*/errno != EIO);
      }
      kernel_refused_ = true;
    }
    return n == 0 || CopyThroughMemory(in_at, n);
  }

  bool CopyThroughMemory(int64_t at, int64_t n) {
    if (!buffer_) buffer_ = std::make_unique<char[]>(kBounceBytes);
    while (n > 0) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(n, kBounceBytes));
      const ssize_t got = ::pread(fd_, buffer_.get(), want, at);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Fail(std::strerror(errno), false);
      if (got == 0) return Fail("it ended early: it changed during the merge", false);
      // Counted by Flush once the whole range is out.
      if (!WriteAll(out_, buffer_.get(), static_cast<size_t>(got))) {
        return Fail(std::strerror(errno), true);
      }
      at += got;
      n -= got;
    }
    return true;
  }

  bool Fail(const std::string& why, bool write) {
    error_ = why;
    write_failed_ = write;
    return false;
  }

  int out_;
  int fd_ = -1;
  int64_t at_ = 0, n_ = 0;
  int64_t written_ = 0;
  bool kernel_refused_ = false;
  bool used_kernel_ = false;
  bool write_failed_ = false;
  std::unique_ptr<char[]> buffer_;
  std::string error_;
};

StreamMerge::StreamMerge(std::vector<MergeInput> inputs, bool keep_all, bool salvage)
    : keep_all_(keep_all), salvage_(salvage) {
  for (MergeInput& input : inputs) sources_.push_back(Source{std::move(input), 0, {}, 0, 0, {}});
  report_.inputs.resize(sources_.size());
}

bool StreamMerge::Refuse(const std::string& path, const std::string& what) {
  report_.error = path + ": " + what;
  return false;
}

bool StreamMerge::Check() {
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (!CheckInput(i)) return false;
  }
  int64_t selected = 0;
  for (const MergeInputReport& r : report_.inputs) selected += r.selected;
  if (selected == 0) {
    report_.error = "no time step lies in the windows given";
    return false;
  }
  return true;
}

bool StreamMerge::CheckInput(size_t i) {
  Source& src = sources_[i];
  const std::string& path = src.input.path;
  OpenInput in;
  if (std::string why = Open(path, &in); !why.empty()) {
    report_.error = "cannot read " + path + ": " + why;
    return false;
  }
  RecordFile& f = in.records;
  const Identity id = Identify(f);
  if (std::string why = NotAResult(id); !why.empty()) return Refuse(path, why);
  if (i == 0) {
    identity_ = id;
    report_.kind = id.kind;
    report_.integer_coded = id.integer_coded;
    report_.long_steps = id.long_steps;
    report_.identity = id;
  } else if (!DriverOf(identity_.kind)->SameSteps(identity_, id)) {
    return Refuse(
        path, FamilyName(id) + ", but " + sources_[0].input.path + " is " + FamilyName(identity_));
  }
  if (std::string why = PassHeader(f, id); !why.empty()) return Refuse(path, why);
  if (i == 0) header_bytes_ = f.Tell().position;

  MergeInputReport& report = report_.inputs[i];
  StepHead head;
  int32_t icnt[MAXCNT] = {};  // a QMX10 count list, carried from step to step
  for (;;) {
    const ReadResult result = ReadStepHead(f, id, &head, icnt);
    if (result.outcome == Outcome::kEndOfFile) break;
    if (result.outcome == Outcome::kDamaged && salvage_) {
      report.damage = result.damage;
      break;
    }
    if (!result.ok()) return Refuse(path, Where(result.damage) + ": " + result.damage.what);
    if (!have_counts_) {
      have_counts_ = true;
      counts_from_ = path;
      report_.nodes = head.np;
      report_.elements = head.ne;
    } else if (head.np != report_.nodes || head.ne != report_.elements) {
      return Refuse(path, "the step at hour " + HourWords(head.time) + " has " +
                              MeshText(head.np, head.ne) + ", but the steps of " + counts_from_ +
                              " have " + MeshText(report_.nodes, report_.elements));
    }
    ++report.steps;
    if (!src.input.Selects(head.time)) continue;
    ++report.selected;
    if (keep_all_) continue;
    if (!src.runs.Note(head.time)) {
      return Refuse(path, "its times go back more than " + std::to_string(kMaxRestarts) +
                              " times; merge it with --keep-all or narrower windows");
    }
  }
  src.steps = report.steps;
  return true;
}

bool StreamMerge::Write(int out_fd, const std::function<void(const MergeProgress&)>& progress) {
  Copier copier(out_fd);
  MergeProgress done;
  bool ok = true;
  for (size_t i = 0; ok && i < sources_.size(); ++i) {
    ok = WriteInput(i, copier, [&](float hour) {
      if (keep_all_) {
        if (latest_written_ && !(hour > *latest_written_)) {
          if (!back_) {
            back_ = MergeCaution{MergeCaution::What::kTimesGoBack};
            back_->input = i;
            back_->hour = hour;
            back_->before_input = last_input_;
            back_->before_hour = last_written_;
          }
          ++back_->steps;
        }
        if (!latest_written_ || hour > *latest_written_) latest_written_ = hour;
        last_input_ = i;
        last_written_ = hour;
      }
      ++done.steps;
      done.hour = hour;
      done.bytes = copier.written();
      if (progress) progress(done);
    });
  }
  ok = ok && copier.Flush();
  if (ok) NoteCautions();
  report_.copied_in_kernel = copier.used_kernel();
  report_.bytes = copier.copied();
  if (!ok && report_.error.empty()) {
    report_.error = copier.error();
    report_.write_failed = copier.write_failed();
  }
  return ok;
}

bool StreamMerge::WriteInput(size_t i, Copier& copier,
                             const std::function<void(float)>& step_done) {
  Source& src = sources_[i];
  const std::string& path = src.input.path;
  const std::string changed = "it changed during the merge: ";
  // A copy that fails to read names this input; a failed write is the output's.
  auto copy_failed = [&] {
    if (!copier.write_failed()) Refuse(path, copier.error());
    return false;
  };
  OpenInput in;
  if (std::string why = Open(path, &in); !why.empty()) {
    report_.error = "cannot read " + path + ": " + why;
    return false;
  }
  RecordFile& f = in.records;
  const Identity id = Identify(f);
  if (id.kind != identity_.kind || id.long_steps != identity_.long_steps ||
      id.averaged != identity_.averaged) {
    return Refuse(path, changed + "it is now " + FamilyName(id));
  }
  if (std::string why = PassHeader(f, id); !why.empty()) return Refuse(path, changed + why);
  // The text of a character-form header: its first and third records.
  const unsigned header_text = id.integer_coded ? 0u : 0b101u;
  if (i == 0 && f.Tell().position != header_bytes_) return Refuse(path, changed + "its header");
  if (i == 0 && !copier.Add(in.fd, 0, header_bytes_, f.framing(), header_text)) {
    return copy_failed();
  }

  // The earliest time any later input selects: a step at or after it is replaced.
  std::optional<float> later_inputs;
  for (size_t j = i + 1; j < sources_.size(); ++j) {
    const std::optional<float> earliest = sources_[j].runs.earliest();
    if (earliest && (!later_inputs || *earliest < *later_inputs)) later_inputs = earliest;
  }
  MergeInputReport& report = report_.inputs[i];
  StepHead head;
  int32_t icnt[MAXCNT] = {};  // a QMX10 count list, carried from step to step
  int32_t carried[MAXCNT];    // the list as it stood before the step
  std::vector<int32_t> relisted;
  int64_t steps = 0, selected = 0;
  for (;;) {
    if (report.damage && steps == src.steps) break;  // the steps before the damage
    std::copy(icnt, icnt + MAXCNT, carried);
    const ReadResult result = ReadStepHead(f, id, &head, icnt);
    if (result.outcome == Outcome::kEndOfFile) break;
    if (!result.ok())
      return Refuse(path, changed + Where(result.damage) + ": " + result.damage.what);
    if (head.np != report_.nodes || head.ne != report_.elements) {
      return Refuse(path, changed + "the step at hour " + HourWords(head.time) + " has " +
                              MeshText(head.np, head.ne));
    }
    ++steps;
    if (!src.input.Selects(head.time)) continue;
    if (selected++ == 0) src.first_selected = head.time;
    src.last_selected = head.time;
    if (keep_all_) {
      // Every selected step is copied.
    } else if (src.runs.Replaced(head.time)) {
      // Replaced by a later run of this input that goes that far back.
      ++report.replaced;
      continue;
    } else if (later_inputs && head.time >= *later_inputs) {
      // Replaced by the first later input that goes that far back.
      size_t by = i + 1;
      while (!(sources_[by].runs.earliest() && *sources_[by].runs.earliest() <= head.time)) ++by;
      ++report_.inputs[by].replaced;
      std::vector<MergeCaution::Replacer>& replacers = src.replacers;
      const auto at = std::find_if(replacers.begin(), replacers.end(),
                                   [&](const MergeCaution::Replacer& r) { return r.input >= by; });
      if (at == replacers.end() || at->input != by) {
        replacers.insert(at, MergeCaution::Replacer{by, *sources_[by].runs.earliest()});
      }
      continue;
    }
    const int64_t bytes = f.framing().length_bytes * 2 + int64_t{head.length};
    if (id.kind == FileKind::kQmx10 && LeansOnStepsLeftOut(carried, written_counts_, head.listed)) {
      // Its list leans on entries that the steps written before it do not
      // give: it is written with the whole list.
      if (std::string why = WithWholeCountList(f, head, icnt, &relisted); !why.empty()) {
        return Refuse(path, changed + why);
      }
      if (!copier.Put(relisted.data(), relisted.size() * 4)) return copy_failed();
      ++report.relisted;
    } else if (!copier.Add(in.fd, head.at.position, bytes, f.framing())) {
      return copy_failed();
    }
    std::copy(icnt, icnt + MAXCNT, written_counts_.begin());
    ++report.kept;
    ++report_.steps;
    if (!report.first_hour) report.first_hour = head.time;
    report.last_hour = head.time;
    if (!report_.first_hour) report_.first_hour = head.time;
    report_.last_hour = head.time;
    step_done(head.time);
  }
  if (steps != src.steps) {
    return Refuse(path, changed + "it holds " + std::to_string(steps) + " steps, not " +
                            std::to_string(src.steps));
  }
  // The input's descriptor closes here: what is queued from it goes out first.
  return copier.Flush() || copy_failed();
}

void StreamMerge::NoteCautions() {
  for (size_t i = 0; i < sources_.size(); ++i) {
    const MergeInputReport& in = report_.inputs[i];
    const Source& src = sources_[i];
    if (in.selected == 0) {
      MergeCaution& c = report_.cautions.emplace_back(MergeCaution::What::kNoStepSelected);
      c.input = i;
    } else if (in.kept == 0 && !keep_all_) {
      MergeCaution& c = report_.cautions.emplace_back(MergeCaution::What::kAllReplaced);
      c.input = i;
      c.steps = in.selected;
      c.hour = src.first_selected;
      c.last_hour = src.last_selected;
      c.replacers = src.replacers;
    }
  }
  if (back_) report_.cautions.push_back(*back_);
}

}  // namespace korvant
