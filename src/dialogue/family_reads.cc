#include "dialogue/family_reads.h"

#include "dialogue/block_views.h"
#include "dialogue/refusals.h"
#include "text/layout.h"

namespace korvant {

void CheckHeader(Session& s, const RecordFile& in, const HeaderValues& h,
                 const ReadResult& result) {
  if (result.outcome == Outcome::kTooLarge) DimensionStop(s, h.np, h.ne);
  if (!result.ok() && result.part > 1) MustRead(in, result);
}

ReadResult ReadHydroStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                         const StepFilter& filter, bool* passed) {
  Qmx2Step step = HydroStepOf(s.blkr2, elevations);
  ReadResult result = ReadQmx2Step(in, long_step, step, filter, passed);
  if (result.outcome == Outcome::kTooLarge) HydroOverRun(s, step.np, step.ne);
  Keep(step, s.blkr2);
  return result;
}

ReadResult ReadTransportHeader(Session& s, RecordFile& in, HeaderValues* h) {
  ReadResult result = DetectForm(in, h);
  if (!result.ok()) return result;
  result = ReadHeader(in, h, HeaderOf(s.dms, s.dms.TITLE4));
  CheckHeader(s, in, *h, result);
  if (result.ok() && h->integer_coded()) {
    s.blkr4.NP4 = h->np;
    s.blkr4.NE4 = h->ne;
  }
  return result;
}

void CopyTransportHeader(Session& s, RecordFile& out, const HeaderValues& h) {
  WriteHeader(out, h, HeaderOf(s.dms, s.dms.TITLE4), s.blkr4.NP4, s.blkr4.NE4);
}

void ReportTransportHeader(Session& s, const HeaderValues& h, bool leading_empty_line) {
  const BLKR4& b = s.blkr4;
  const Layout& report = leading_empty_line ? CachedLayout(
                                                  "(/,' Just processed QMX-4 Banners AOK. ',/,"
                                                  "' --> Model Flag (variable MFLG)=     ',I8,/,"
                                                  "' --> Your QMX4 has a version # of:   ',I8,/,"
                                                  "' --> Your QMX4 total nodes/elements: ',2I8,/,"
                                                  "' --> Integer, Real, Title Records:   ',3I5,/)")
                                            : CachedLayout(
                                                  "(' Just processed QMX-4 Banners AOK. ',/,"
                                                  "' --> Model Flag (variable MFLG)=     ',I8,/,"
                                                  "' --> Your QMX4 has a version # of:   ',I8,/,"
                                                  "' --> Your QMX4 total nodes/elements: ',2I8,/,"
                                                  "' --> Integer, Real, Title Records:   ',3I5,/)");
  const Value values[] = {h.MFLG, h.IVERS, b.NP4, b.NE4, h.NIREC, h.NFREC, h.NTITL};
  ApplyLayout(report, values, s.out());
}

ReadResult ReadTransportStep(Session& s, RecordFile& in, const StepFilter& filter, bool* passed) {
  Qmx4Step step = TransportStepOf(s.blkr4);
  ReadResult result = ReadQmx4Step(in, step, filter, passed);
  if (result.outcome == Outcome::kTooLarge) DimensionStop(s, step.np, step.ne);
  Keep(step, s.blkr4);
  return result;
}

ReadResult ReadThreedStep(Session& s, RecordFile& in, int32_t* ncnt, const StepFilter& filter,
                          bool* passed) {
  Qmx10Step step = ThreedStepOf(s, *ncnt);
  ReadResult result = ReadQmx10Step(in, step, filter, passed);
  if (result.outcome == Outcome::kTooLarge) RefuseCount(s, "QMX10 file", result.too_large);
  Keep(step, s, ncnt);
  return result;
}

}  // namespace korvant
