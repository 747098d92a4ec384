#include "engine/result_family.h"

#include <algorithm>
#include <cstdint>

#include "formats/limits.h"
#include "formats/qmx10.h"

namespace korvant {
namespace {

constexpr uint32_t kCodedFirstBytes = 16;  // H1: MFLG, IVERS, NP, NE
constexpr uint32_t kBannerBytes = kBannerChars;
constexpr uint32_t kNumbersBytes = 4 * (kHeaderInts + kHeaderReals);
constexpr uint32_t kTitleBytes = kTitleChars;

int64_t NotBelowZero(int32_t count) { return std::max<int32_t>(count, 0); }

// One record looked at from its start, again for each layout it is tried as.
class Look {
 public:
  Look(RecordFile& f) : f_(f), at_(f.Tell()) {}

  // Starts the record again; false when there is none to read.
  bool Again() {
    f_.Seek(at_);
    status_ = f_.Begin();
    return status_ == ReadStatus::kOk;
  }
  ReadStatus status() const { return status_; }
  int64_t length() const { return f_.length(); }
  bool Int(int32_t* v) { return f_.Ints(v, 1); }
  bool Skip(int64_t values) { return values <= f_.left() / 4 && f_.Pass(4 * values); }
  // Back to the record's start for whoever reads it next.
  void Leave() { f_.Seek(at_); }

 private:
  RecordFile& f_;
  RecordMark at_;
  ReadStatus status_ = ReadStatus::kOk;
};

bool FitsQmx2(Look& look, bool* long_steps, int32_t* nodes) {
  int32_t& np = *nodes;
  int32_t ne = 0;
  if (!look.Again() || !look.Skip(1) || !look.Int(&np) || !look.Skip(4 * NotBelowZero(np)) ||
      !look.Int(&ne)) {
    return false;
  }
  const int64_t short_bytes = 4 * (3 + 4 * NotBelowZero(np) + NotBelowZero(ne));
  *long_steps = look.length() == short_bytes + 4 * NotBelowZero(np);
  return look.length() == short_bytes || *long_steps;
}

bool FitsQmx4(Look& look, int32_t* nodes) {
  int32_t& np = *nodes;
  int32_t nqal = 0, ne = 0;
  if (!look.Again() || !look.Skip(1) || !look.Int(&nqal) || !look.Int(&np) ||
      !look.Skip(NotBelowZero(nqal) * NotBelowZero(np)) || !look.Int(&ne)) {
    return false;
  }
  return look.length() == 16 + 4 * (NotBelowZero(nqal) * NotBelowZero(np) + NotBelowZero(ne));
}

bool FitsQmx10(Look& look) {
  int32_t counts[4] = {0, 0, 0, 0};  // NP, NDF, NE, NCNT
  if (!look.Again() || !look.Skip(1)) return false;
  for (int32_t& c : counts) {
    if (!look.Int(&c)) return false;
  }
  const int64_t np = NotBelowZero(counts[0]), ndf = NotBelowZero(counts[1]);
  const int64_t ne = NotBelowZero(counts[2]), ncnt = NotBelowZero(counts[3]);
  if (ndf > MAXDOF || ncnt > kQmx10CountList) return false;
  int64_t icnt[kQmx10CountList] = {};
  for (int64_t k = 0; k < ncnt; ++k) {
    int32_t c = 0;
    if (!look.Int(&c)) return false;
    icnt[k] = NotBelowZero(c);
  }
  int64_t values = ncnt + icnt[2] + icnt[6] + icnt[7] + np + ne;
  for (int64_t k = 0; k < ndf; ++k) values += icnt[k];
  const int64_t averaged_bytes = 20 + 4 * values;
  return look.length() == averaged_bytes || look.length() == averaged_bytes + 4 * (np + ne);
}

std::string Damaged(const RecordFile& f, ReadStatus status) {
  if (status == ReadStatus::kEndOfFile) return "it ends inside its header";
  return "record " + std::to_string(f.record()) + " is damaged: " + f.DamageText();
}

// The layout of the first time step after a header of `records` records, of
// which `skip` are still to be passed. A step that fits both layouts (a few
// small counts can) is taken as the one whose node count is `nodes`.
std::optional<ResultKind> AfterHeader(RecordFile& f, int records, int skip, int64_t nodes,
                                      std::string* why) {
  for (int i = 0; i < skip; ++i) {
    const ReadStatus status = f.SkipRecord();
    if (status != ReadStatus::kOk) {
      *why = Damaged(f, status);
      return std::nullopt;
    }
  }
  Look step(f);
  ResultKind kind;
  kind.header_records = records;
  int32_t qmx2_nodes = 0, qmx4_nodes = 0;
  const bool qmx2 = FitsQmx2(step, &kind.long_steps, &qmx2_nodes);
  if (step.status() != ReadStatus::kOk) {
    *why = step.status() == ReadStatus::kEndOfFile ? "it holds a header but no time step"
                                                   : Damaged(f, step.status());
    return std::nullopt;
  }
  const bool qmx4 = FitsQmx4(step, &qmx4_nodes);
  if (qmx2 && (!qmx4 || qmx2_nodes == nodes || qmx4_nodes != nodes)) return kind;
  kind.long_steps = false;
  kind.family = ResultFamily::kQmx4;
  if (qmx4) return kind;
  *why = "its first time step fits neither the QMX2 nor the QMX4 layout";
  return std::nullopt;
}

}  // namespace

std::string_view FamilyName(ResultFamily family) {
  switch (family) {
    case ResultFamily::kQmx2: return "QMX2";
    case ResultFamily::kQmx4: return "QMX4";
    case ResultFamily::kQmx10: return "QMX10";
  }
  return "";
}

std::optional<ResultKind> DetectResultFamily(RecordFile& f, int64_t nodes, std::string* why) {
  f.Rewind();
  Look first(f);
  std::optional<ResultKind> kind;
  if (!first.Again()) {
    *why = first.status() == ReadStatus::kEndOfFile ? "it holds no record"
                                                    : Damaged(f, first.status());
  } else if (first.length() == kCodedFirstBytes) {
    f.Finish();
    kind = AfterHeader(f, 4, 3, nodes, why);
  } else if (first.length() == kBannerBytes && f.Finish() == ReadStatus::kOk &&
             f.Begin() == ReadStatus::kOk && f.length() == kNumbersBytes &&
             f.Finish() == ReadStatus::kOk && f.Begin() == ReadStatus::kOk &&
             f.length() == kTitleBytes) {
    f.Finish();
    kind = AfterHeader(f, 3, 0, nodes, why);
  } else if (FitsQmx10(first)) {
    kind = ResultKind{ResultFamily::kQmx10, 0, false};
  } else if (int32_t np = 0; FitsQmx4(first, &np)) {
    kind = ResultKind{ResultFamily::kQmx4, 0, false};
  } else {
    *why = "its first record is neither a QMX2 or QMX4 header nor a QMX10 or QMX4 time step";
  }
  f.Rewind();
  return kind;
}

}  // namespace korvant
