#include "engine/file_report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <system_error>

#include "engine/family_driver.h"
#include "formats/header.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "formats/velto.h"

namespace korvant {
namespace {

std::string Trimmed(const char* text, size_t n) {
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  return std::string(text, n);
}

// Bytes after the last whole record, too few to hold a record's length: a
// writer that stopped inside a record's length leaves them.
std::optional<Damage> StrayTail(const RecordFile& f, RecordMark end) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(f.name(), ec);
  if (ec || size <= static_cast<uintmax_t>(end.position)) return std::nullopt;
  const uintmax_t stray = size - static_cast<uintmax_t>(end.position);
  return Damage{end.records + 1, end.position,
                std::to_string(stray) + (stray == 1 ? " byte" : " bytes") +
                    " after the last record, too few for a record's length"};
}

// Ends the look at the record at `at`: the end of the file, or damage.
void EndAt(RecordFile& f, RecordMark at, ReadStatus status, FileReport& r) {
  r.records = at.records;
  r.damage = status == ReadStatus::kEndOfFile ? StrayTail(f, at) : ResultOf(f, status).damage;
}

// Follows the framing from the file's position to its end.
void WalkFraming(RecordFile& f, FileReport& r) {
  for (;;) {
    const RecordMark at = f.Tell();
    const ReadStatus status = f.SkipRecord();
    if (status != ReadStatus::kOk) return EndAt(f, at, status, r);
  }
}

// The first count beyond the arrays a merge or an averaging of the console
// program reads a step into.
void NoteLimits(FileReport& r, const StepCounts& c, std::span<const int32_t> icnt) {
  if (r.too_large) return;
  StepHead head;
  head.np = c.nodes;
  head.ne = c.elements;
  head.width = c.width;
  r.too_large = DriverOf(r.identity.kind)->BeyondFixedArrays(head, icnt);
}

// The header's numbers and title; the file is left at the first record after
// the header. Identify has already checked the header records' opening
// lengths; false when one is damaged all the same (its closing length).
bool ReadHeaderValues(RecordFile& f, FileReport& r) {
  const Identity& id = r.identity;
  char banner[kBannerChars];
  int32_t irec[kHeaderInts] = {};
  float frec[kHeaderReals];
  char title[kTitleChars];
  int32_t iban[kBannerChars] = {};
  int32_t ititl[kTitleChars] = {};
  if (id.integer_coded) {
    HeaderValues h;
    h.ITEST = kIntegerCodedMax;
    const ReadResult result =
        ReadHeader(f, &h, HeaderText{banner, irec, frec, title, iban, ititl}, kAnyMesh);
    if (result.outcome == Outcome::kTooLarge) r.too_large = result.too_large;
    r.mflg = h.MFLG;
    r.ivers = h.IVERS;
    if (h.NIREC >= 1) r.irec1 = irec[0];
    if (result.ok()) r.title = Trimmed(title, kTitleChars);
  } else {
    f.SkipRecord();  // the banner
    if (f.Begin() == ReadStatus::kOk && f.Ints(irec, 1)) r.irec1 = irec[0];
    f.Finish();
    if (id.header_records == 3 && f.Begin() == ReadStatus::kOk && f.Text(title, kTitleChars)) {
      r.title = Trimmed(title, kTitleChars);
    }
    f.Finish();
  }
  f.Rewind();
  for (int i = 0; i < id.header_records; ++i) {
    const RecordMark at = f.Tell();
    const ReadStatus status = f.SkipRecord();
    if (status != ReadStatus::kOk) {
      EndAt(f, at, status, r);
      return false;
    }
  }
  return true;
}

void ReadSteps(RecordFile& f, FileReport& r, const ReportProgress& progress) {
  StepHead head;
  int32_t icnt[kQmx10CountList] = {};
  StepCounts previous_counts;
  float previous_time = 0.0f;
  for (;;) {
    const ReadResult result = ReadStepHead(f, r.identity, &head, icnt);
    if (result.outcome == Outcome::kEndOfFile) return EndAt(f, head.at, ReadStatus::kEndOfFile, r);
    if (!result.ok()) {
      r.records = head.at.records;
      r.damage = result.damage;
      return;
    }
    const int64_t record = head.at.records + 1;
    const StepCounts counts{head.np, head.ne, head.width};
    NoteLimits(r, counts, icnt);
    if (r.steps == 0) {
      r.counts = counts;
      r.first_time = head.time;
    } else {
      const float step = head.time - previous_time;
      if (std::isfinite(head.time) && std::isfinite(previous_time)) {
        r.min_step = std::min(r.min_step.value_or(step), step);
        r.max_step = std::max(r.max_step.value_or(step), step);
      }
      if (!(head.time > previous_time) && r.time_back_count++ < int64_t{kMaxListed}) {
        r.time_back.push_back(TimeBack{record, head.time, previous_time});
      }
      if (counts != previous_counts && r.count_change_count++ < int64_t{kMaxListed}) {
        r.count_changes.push_back(CountChange{record, counts, previous_counts});
      }
    }
    previous_counts = counts;
    previous_time = head.time;
    r.last_time = head.time;
    ++r.steps;
    if (progress) progress(r.steps, head.time);
  }
}

// The mesh record and, from the version that has it, the node extension
// record; then whatever follows, by its framing.
void ReadMesh(RecordFile& f, FileReport& r) {
  int32_t counts[2] = {0, 0};
  const RecordMark mesh_at = f.Tell();
  if (f.Begin() == ReadStatus::kOk) f.Ints(counts, 2);
  if (const ReadStatus status = f.Finish(); status != ReadStatus::kOk) {
    return EndAt(f, mesh_at, status, r);
  }
  r.counts = StepCounts{counts[0], counts[1], 0};
  NoteLimits(r, *r.counts, {});
  const int32_t version = r.irec1.value_or(0);
  if (version > kVeltoNodeExtAfterVersion) {
    const RecordMark at = f.Tell();
    const ReadStatus status = f.Begin();
    if (status != ReadStatus::kOk) {
      EndAt(f, at, status, r);
      if (!r.damage) {
        r.damage = Damage{at.records + 1, at.position,
                          "the node extension record that IREC(1) = " + std::to_string(version) +
                              " calls for is missing"};
      }
      return;
    }
    const int64_t need = 4 * kVeltoNodeValues * int64_t{std::max(counts[0], 0)};
    const int64_t holds = f.length();
    if (f.Finish() != ReadStatus::kOk) return EndAt(f, at, ReadStatus::kError, r);
    if (holds < need) {
      r.records = at.records;
      r.damage =
          Damage{at.records + 1, at.position,
                 "NP = " + std::to_string(counts[0]) + " needs " + std::to_string(need) +
                     " bytes of node extension values, the record holds " + std::to_string(holds)};
      return;
    }
  }
  WalkFraming(f, r);
}

}  // namespace

bool FileReport::over_step_limit() const { return steps > kMaxSteps; }

FileReport ReportFile(RecordFile& f, const ReportProgress& progress) {
  FileReport r;
  f.CompareClosingLengths(true);
  f.ReadAnyFraming(true);
  r.framing = f.framing();
  r.identity = Identify(f);
  const FamilyDriver* driver = DriverOf(r.identity.kind);
  if (driver == nullptr) {
    WalkFraming(f, r);
  } else if (!driver->has_header() || ReadHeaderValues(f, r)) {
    driver->is_mesh() ? ReadMesh(f, r) : ReadSteps(f, r, progress);
  }
  return r;
}

}  // namespace korvant
