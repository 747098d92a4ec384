#include "formats/identify.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "formats/header.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "formats/qmx2.h"
#include "formats/qmx4.h"
#include "formats/velto.h"

namespace korvant {
namespace {

// The sound step heads of `id` from the file's position on; *to_end says
// whether they reach the end of the file.
int64_t SoundSteps(RecordFile& f, const Identity& id, bool* to_end) {
  StepHead head;
  int32_t icnt[kQmx10CountList] = {};
  for (int64_t steps = 0;; ++steps) {
    const ReadResult result = ReadStepHead(f, id, &head, icnt);
    if (!result.ok()) {
      *to_end = result.outcome == Outcome::kEndOfFile;
      return steps;
    }
  }
}

// Of two families whose first step the record at `first` fits, the one whose
// step heads read further; `a` when both read to the end.
Identity Further(RecordFile& f, RecordMark first, const Identity& a, const Identity& b) {
  bool a_to_end = false, b_to_end = false;
  f.Seek(first);
  const int64_t a_steps = SoundSteps(f, a, &a_to_end);
  if (a_to_end) return a;
  f.Seek(first);
  const int64_t b_steps = SoundSteps(f, b, &b_to_end);
  return b_to_end || b_steps > a_steps ? b : a;
}

Identity Unknown(std::string why) {
  Identity id;
  id.why = std::move(why);
  return id;
}

// After a header of `records` records: a VELTO mesh record or a first step.
Identity AfterHeader(RecordFile& f, int records, bool integer_coded) {
  Identity id;
  id.has_header = true;
  id.integer_coded = integer_coded;
  id.header_records = records;
  const RecordMark at = f.Tell();
  if (f.Peek({}) < 0) {
    f.Seek(at);
    if (f.Begin() != ReadStatus::kEndOfFile) {
      return Unknown("record " + std::to_string(records + 1) + ", after the header, is damaged");
    }
    id = Unknown("a header and no time step or mesh after it");
    id.header_only = true;
    return id;
  }
  f.Seek(at);
  if (CouldBeVeltoMesh(f)) {
    id.kind = FileKind::kVelto;
    return id;
  }
  f.Seek(at);
  Identity hydro = id;
  hydro.kind = FileKind::kQmx2;
  const bool fits_hydro = CouldBeQmx2Step(f, &hydro.long_steps);
  f.Seek(at);
  id.kind = FileKind::kQmx4;
  const bool fits_transport = CouldBeQmx4Step(f);
  if (fits_hydro && fits_transport) return Further(f, at, hydro, id);
  if (fits_hydro) return hydro;
  if (fits_transport) return id;
  return Unknown("record " + std::to_string(records + 1) +
                 " after the header is neither a mesh nor a QMX2 or QMX4 time step");
}

// A file that begins with a time step: QMX10, or QMX4 without a header.
Identity WithoutHeader(RecordFile& f, int64_t first_length) {
  f.Rewind();
  Identity threed;
  threed.kind = FileKind::kQmx10;
  const bool fits_threed = CouldBeQmx10Step(f, &threed.averaged);
  f.Rewind();
  Identity transport;
  transport.kind = FileKind::kQmx4;
  const bool fits_transport = CouldBeQmx4Step(f);
  if (fits_threed && fits_transport) return Further(f, RecordMark{}, threed, transport);
  if (fits_threed) return threed;
  if (fits_transport) return transport;
  return Unknown("its first record (" + std::to_string(first_length) +
                 " bytes) begins no header and is no QMX10 or QMX4 time step");
}

Identity IdentifyFromStart(RecordFile& f) {
  if (f.Begin() != ReadStatus::kOk) {
    f.Finish();
    return Unknown(f.record() == 0 ? "the file is empty" : "its first record is damaged");
  }
  const int64_t first_length = f.length();
  int32_t itest = 0;
  f.Ints(&itest, 1);
  if (f.Finish() != ReadStatus::kOk) return Unknown("its first record is damaged");
  const HeaderForm form = HeaderFormOf(itest, first_length);
  if (form == HeaderForm::kNone) return WithoutHeader(f, first_length);
  int32_t version = 0;
  if (std::string why = CheckHeaderLengths(f, form, &version); !why.empty()) return Unknown(why);
  if (form == HeaderForm::kIntegerCoded) return AfterHeader(f, 4, true);
  // A title record follows in QMX2 and QMX4 files, and in VELTO files from
  // version 425 on.
  const RecordMark at = f.Tell();
  if (CouldBeTitle(f)) {
    Identity id = AfterHeader(f, 3, false);
    if (id.kind != FileKind::kUnknown || id.header_only || version >= kVeltoTitleFromVersion) {
      return id;
    }
  }
  f.Seek(at);
  return AfterHeader(f, 2, false);
}

}  // namespace

std::string_view KindName(FileKind kind) {
  switch (kind) {
    case FileKind::kVelto:
      return "velto";
    case FileKind::kQmx2:
      return "qmx2";
    case FileKind::kQmx4:
      return "qmx4";
    case FileKind::kQmx10:
      return "qmx10";
    case FileKind::kUnknown:
      break;
  }
  return "unknown";
}

std::string DisplayName(FileKind kind) {
  std::string name(KindName(kind));
  if (kind == FileKind::kUnknown) return name;
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

Identity Identify(RecordFile& f) {
  const bool compared = f.compares_closing();
  f.CompareClosingLengths(false);
  f.Rewind();
  Identity id = IdentifyFromStart(f);
  f.Rewind();
  f.CompareClosingLengths(compared);
  return id;
}

std::string NotAResult(const Identity& id) {
  switch (id.kind) {
    case FileKind::kQmx2:
    case FileKind::kQmx4:
    case FileKind::kQmx10:
      return "";
    case FileKind::kVelto:
      return "a VELTO geometry file, not a model result";
    case FileKind::kUnknown:
      break;
  }
  if (id.header_only) return "it holds a header and no time step";
  return "not a model result file: " + id.why;
}

std::string NotAMesh(const Identity& id) {
  // A file of no known kind is left to the mesh reader to tell what is wrong.
  if (id.kind == FileKind::kVelto || id.kind == FileKind::kUnknown) return "";
  return "a " + DisplayName(id.kind) + " result file, not a VELTO geometry file";
}

ReadResult ReadStepHead(RecordFile& f, const Identity& id, StepHead* head, int32_t* icnt) {
  switch (id.kind) {
    case FileKind::kQmx2:
      return ReadQmx2StepHead(f, id.long_steps, head);
    case FileKind::kQmx4:
      return ReadQmx4StepHead(f, head);
    case FileKind::kQmx10:
      return ReadQmx10StepHead(f, id.averaged, head, icnt);
    case FileKind::kVelto:
    case FileKind::kUnknown:
      break;
  }
  // A file of no steps: its next record is checked as nothing's step head.
  StepHeadReading reading(f, head);
  return reading.Check();
}

}  // namespace korvant
