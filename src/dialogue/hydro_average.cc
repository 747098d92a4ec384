#include <cmath>

#include <optional>

#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/hydro.h"
#include "dialogue/refusals.h"
#include "engine/window.h"
#include "engine/work_arrays.h"
#include "formats/header.h"
#include "formats/qmx2.h"
#include "io/run_aborted.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr int kInputUnit = 50;
constexpr int kOutputUnit = 60;
constexpr float kNoTime = -9999.0f;
constexpr float kAutoWindowAtOrBelow = -99.0f;
constexpr float kAveragedTime = -99.0f;
constexpr float kZeroValue = 0.001f;  // a value within kZeroBand of it counts as zero
constexpr float kZeroBand = 0.01f;
constexpr int kDryCode = 2;

// The averaging's working arrays, one slot per node or element.
struct HydroWork {
  float TLIST[kMaxSteps];
  float WSTEP[MAXNODE];
  float SUMU[MAXNODE], SUMV[MAXNODE], SUMW[MAXNODE], SUMD[MAXNODE];
  float UMIN[MAXNODE], UMAX[MAXNODE], VMIN[MAXNODE], VMAX[MAXNODE];
  float WMIN[MAXNODE], WMAX[MAXNODE];
  float AVG[3 * MAXNODE];  // UAVG, VAVG, DAVG per node, as the averaged file holds them
  float WAVG[MAXNODE];
  int32_t NDRYK[MAXNODE];
  int32_t IMATK[MAXELEM];
};

struct Answers {
  float TSTART = kNoTime;
  float TSTOP = kNoTime;
  float DATREF = 100.0f;
  int32_t IFULL = 0;
  int32_t IWEIGHT = 0;
};

Answers AskQuestions(Session& s) {
  TextSink& out = s.out();
  Answers a;
  out.Line(" ************** HYDRODYNAMIC AVERAGE ***************");
  out.Line(" Enter the QMX2 decimal time to start in HOURS");
  out.Line("                Default=last time minus 25 TIME STEPS");
  DCODE(s.console, &a.TSTART, a.TSTART);
  out.Line(" Enter the QMX2 decimal time to stop in HOURS");
  out.Line("                Default=last time");
  DCODE(s.console, &a.TSTOP, a.TSTOP);
  out.Line(" Enter the datum reference in feet");
  WriteFree(out, {"                Default=", a.DATREF});
  DCODE(s.console, &a.DATREF, a.DATREF);
  out.Line(" DO you want to turn full prints on? (Enter 1 if yes)");
  if (!ReadFreeInt(s.console, &a.IFULL)) a.IFULL = 4;
  SetField(s.dms.ANS, kAnswerChars, "N");
  out.Line(" Do you want to weight the average current by depth?");
  out.Line("     (ie. suitable for FLUX computation  DEFAULT=NO)");
  if (AskNoUnlessY(s).value_or(false)) {
    a.IWEIGHT = 1;
    s.dms.ANS[0] = 'Y';
  }
  return a;
}

[[noreturn]] void NoData(Session& s, float recn, const Answers& a) {
  constexpr std::string_view kWarning =
      "(' WARNING --- RECN=',F5.1,/,' Cannot find QMX2 unit IHYDRO time between =',2F12.6,/)";
  WriteLayout(s.out(), kWarning, {recn, a.TSTART, a.TSTOP});
  WriteLayout(s.summary, kWarning, {recn, a.TSTART, a.TSTOP});
  Stop();
}

// First pass: the times of the file's steps, then the input opened again and
// positioned after its header.
void AutomaticWindow(Session& s, const HeaderValues& h, HydroWork& w, Answers& a) {
  RecordFile& in = s.unit(kInputUnit);
  int count = 0;
  for (; count < kMaxSteps; ++count) {
    ReadResult result = ReadQmx2Time(in, &w.TLIST[count]);
    if (result.outcome == Outcome::kEndOfFile) break;
    MustRead(in, result);
  }
  if (count == kMaxSteps) {
    WriteFree(s.out(), {" CAUTION - NO END OF FILE HIT AFTER ", kMaxSteps, " TIME STEPS"});
    Stop();
  }
  if (count == 0) NoData(s, 0.0f, a);
  WriteLayout(s.out(),
              "(' LAST TIME ON BINARY FILE=',F12.6,/,"
              "' TOTAL DATA RECORD COUNT [includes all banners]=',I8,/)",
              {w.TLIST[count - 1], count});
  in.Rewind();
  s.out().Line(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag");
  in.Close();
  in.OpenExisting(kInputUnit, TrimName(FieldView(s.dms.FNAME, kNameChars)));
  for (int i = 0; i < h.records(); ++i) in.MustRead(in.SkipRecord());
  AutoWindow(w.TLIST, count, &a.TSTART, &a.TSTOP);
  WriteLayout(s.out(), "(' ROUTINE self computes time to start and stop as=',2F12.8)",
              {a.TSTART, a.TSTOP});
}

bool Near(float x, float to) { return std::fabs(x - to) <= kZeroBand; }

class HydroAverage {
 public:
  HydroAverage(Session& s, Answers a) : s_(s), b_(s.blkr2), a_(a) {}

  void Run() {
    RecordFile& in = s_.unit(kInputUnit);
    in.Rewind();
    s_.out().Line(" INSIDE R2INT, rewinding unit=50 to read QMX2 binary");
    ReadResult result = DetectForm(in, &h_);
    if (result.ok()) {
      WriteFree(s_.out(), {" -->  1st integer on QMX2 binary=", h_.ITEST});
      result = ReadHeader(in, &h_, HeaderOf(s_.dms, s_.dms.TITLE2));
      CheckHeader(s_, in, h_, result);
    }
    if (!result.ok()) {
      s_.out().Line(" UNEXPECT E-O-F HIT during Banner read of QMX2 binary");
      WriteFree(s_.out(), {"          LAST successful record number read=", 0});
      Stop();
    }
    if (h_.integer_coded()) {
      b_.NP2 = h_.np;
      b_.NE2 = h_.ne;
    }
    WriteFree(s_.out(), {" --> Your QMX2 has a version # of ", h_.IVERS});
    if (a_.IFULL != 0) s_.out().Line(" Just read QMX-2 Banners successfully");
    if (a_.TSTART <= kAutoWindowAtOrBelow) AutomaticWindow(s_, h_, *w_, a_);
    MainPass(in);
    if (navg_ <= 1) NoData(s_, recn_, a_);
    WriteTable();
    WriteAveragedFile();
    WriteComplete();
  }

 private:
  bool LongSteps() const { return s_.dms.IREC[0] >= kAverageLongFrom; }

  void MainPass(RecordFile& in) {
    HydroWork& w = *w_;
    // Without full prints a step outside the window gives only its time and
    // counts; should it be the file's last step, its values are read after
    // all, for the table's last-step tests.
    const StepFilter window{a_.TSTART, a_.TSTOP, /*all=*/a_.IFULL > 0};
    std::optional<RecordMark> last_passed_at;
    for (int record = 0; record < kMaxSteps; ++record) {
      const RecordMark at = in.Tell();
      bool passed = false;
      ReadResult result = ReadHydroStep(s_, in, LongSteps(), w.WSTEP, window, &passed);
      if (result.outcome == Outcome::kEndOfFile) break;
      MustRead(in, result);
      last_passed_at = passed ? std::optional(at) : std::nullopt;
      if (passed) continue;
      StartSlots();
      float time = b_.TIME2;
      if (a_.IFULL > 0) {
        WriteLayout(s_.out(),
                    "(' * Debug WSELV  Time=',F6.2,' Nodes 1-10-2000=',3F12.6,"
                    "'   Now DEPTH=',3F12.6)",
                    {time, w.WSTEP[0], w.WSTEP[9], w.WSTEP[1999], b_.VEL[2], b_.VEL[29],
                     b_.VEL[5999]});
      }
      if (window.from <= time && time <= window.to) {
        AverageStep(time);
      } else if (a_.IFULL > 0) {
        WriteLayout(s_.summary, "(' Skipping QMX2 Time=',F15.7)", {time});
      }
    }
    if (last_passed_at) {
      in.Seek(*last_passed_at);
      MustRead(in, ReadHydroStep(s_, in, LongSteps(), w.WSTEP));
      StartSlots();
    }
  }

  // Minima, maxima and dry codes start at their own values, set the first
  // time a step reaches a slot.
  void StartSlots() {
    HydroWork& w = *w_;
    nodes_.Reach(b_.NP2, [&](int first, int last) {
      for (int k = first; k < last; ++k) {
        w.UMIN[k] = w.VMIN[k] = w.WMIN[k] = 1.0E20f;
        w.UMAX[k] = w.VMAX[k] = w.WMAX[k] = -1.0E20f;
        w.NDRYK[k] = kDryCode;
      }
    });
  }

  void AverageStep(float time) {
    HydroWork& w = *w_;
    for (int e = 0; e < b_.NE2; ++e) {
      if (b_.IMAT[e] > 0) w.IMATK[e] = b_.IMAT[e];
    }
    for (int k = 0; k < b_.NP2; ++k) {
      if (b_.NDRY[k] != kDryCode) w.NDRYK[k] = b_.NDRY[k];
    }
    recn_ += 1.0f;
    w.TLIST[navg_++] = time;
    const bool short_steps = !LongSteps();
    if (a_.IWEIGHT == 1) {
      short_steps ? Accumulate<true, true>() : Accumulate<true, false>();
    } else {
      short_steps ? Accumulate<false, true>() : Accumulate<false, false>();
    }
  }

  // One step into the sums and extremes; the comparisons are strict, so a tie
  // keeps the earlier value.
  template <bool kWeighted, bool kShortSteps>
  void Accumulate() {
    HydroWork& w = *w_;
    const float* vel = b_.VEL;
    const float datref = a_.DATREF;
    for (int k = 0; k < b_.NP2; ++k) {
      const float u = vel[3 * k], v = vel[3 * k + 1], d = vel[3 * k + 2];
      if constexpr (kShortSteps) w.WSTEP[k] = b_.AO[k] + d;
      const float wse = w.WSTEP[k] - datref;
      w.SUMU[k] += kWeighted ? u * d : u;
      w.SUMV[k] += kWeighted ? v * d : v;
      w.SUMW[k] += wse;
      w.SUMD[k] += d;
      w.UMAX[k] = u > w.UMAX[k] ? u : w.UMAX[k];
      w.UMIN[k] = u < w.UMIN[k] ? u : w.UMIN[k];
      w.VMAX[k] = v > w.VMAX[k] ? v : w.VMAX[k];
      w.VMIN[k] = v < w.VMIN[k] ? v : w.VMIN[k];
      w.WMAX[k] = wse > w.WMAX[k] ? wse : w.WMAX[k];
      w.WMIN[k] = wse < w.WMIN[k] ? wse : w.WMIN[k];
    }
  }

  // A node whose average depth and last values are all about zero is dry:
  // its averages stay zero.
  bool ZeroNode(int k, float davg) {
    HydroWork& w = *w_;
    if (!Near(davg, kZeroValue)) return false;
    int zeros = 1 + Near(b_.VEL[3 * k], kZeroValue) + Near(b_.VEL[3 * k + 1], kZeroValue) +
                Near(b_.VEL[3 * k + 2], kZeroValue) + Near(w.WSTEP[k], kZeroValue) +
                (b_.NDRY[k] == 0);
    if (zeros <= 3) return false;
    WriteLayout(s_.out(), "(' *** Warning',I3,' ZERO Values detected for Node=',I6,' SKIP IT!')",
                {zeros, k + 1});
    ++nzero_;
    return true;
  }

  void WriteTable() {
    HydroWork& w = *w_;
    WriteLayout(s_.summary,
                "('1',/,2X,' Switch setting for weighting average current by depth was=',I3,/,/,"
                "10X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH START/STOP TIMES=',"
                "2F12.6,/,5X,' NODE  NDRY  XVEL  X-MIN  X-MAX',4X,'YVEL  Y-MIN  Y-MAX',"
                "'   WSE  WE-MIN  WE-MAX',4X,'XCORD     YCORD  DEPTH',/,18X,'AVG',20X,'AVG',17X,"
                "'AVG',20X,' AVG',/)",
                {a_.IWEIGHT, a_.TSTOP - a_.TSTART, a_.TSTART, a_.TSTOP});
    const Layout& row = CachedLayout("(5X,2I5,9F7.2,2F11.2,F8.2)");
    for (int k = 0; k < b_.NP2; ++k) {
      float* avg = &w.AVG[3 * k];  // u, v, depth
      avg[2] = w.SUMD[k] / recn_;
      if (!ZeroNode(k, avg[2])) {
        avg[0] = w.SUMU[k] / recn_;
        avg[1] = w.SUMV[k] / recn_;
        if (a_.IWEIGHT == 1) {
          // Over a dry node's zero depth the weighted current is taken as still.
          avg[0] = avg[2] != 0.0f ? avg[0] / avg[2] : 0.0f;
          avg[1] = avg[2] != 0.0f ? avg[1] / avg[2] : 0.0f;
        }
        w.WAVG[k] = w.SUMW[k] / recn_;
      }
      const Value values[] = {k + 1,     w.NDRYK[k], avg[0],    w.UMIN[k],      w.UMAX[k],
                              avg[1],    w.VMIN[k],  w.VMAX[k], w.WAVG[k],      w.WMIN[k],
                              w.WMAX[k], b_.CORD[2 * k], b_.CORD[2 * k + 1], avg[2]};
      ApplyLayout(row, values, s_.summary);
    }
  }

  void WriteAveragedFile() {
    HydroWork& w = *w_;
    s_.out().Line(" --> Writing integrated data to unit=60");
    // The averaged file always carries elevations: a character-form header is
    // given the version code of long steps.
    if (!h_.integer_coded()) s_.dms.IREC[0] = kAverageLongFrom;
    RecordFile& out = s_.unit(kOutputUnit);
    WriteHeader(out, h_, HeaderOf(s_.dms, s_.dms.TITLE2), b_.NP2, b_.NE2);
    const Qmx2Step averaged{.time = kAveragedTime,
                            .np = b_.NP2,
                            .ne = b_.NE2,
                            .vel = std::span(w.AVG),
                            .ndry = std::span(w.NDRYK),
                            .imat = std::span(w.IMATK),
                            .elevations = std::span(w.WAVG)};
    WriteQmx2Step(out, averaged, LongSteps());
  }

  void WriteComplete() {
    HydroWork& w = *w_;
    float avglen = w.TLIST[navg_ - 1] - w.TLIST[0];
    float dtlast = w.TLIST[navg_ - 1] - w.TLIST[navg_ - 2];
    WriteLayout(s_.summary,
                "(' COMPLETE-',/,' UNIT 60 CONTAINS 1 TIME STEP OF',"
                "' VELOCITY AND DEPTH INTEGRATED FROM HRS',F12.6,' TO ',F12.6,/,"
                "' LENGTH OF TIME OVER WHICH THE AVERAGE WAS COMPUTED=',F12.6,/,"
                "' TOTAL NUMBER OF TIME STEPS USED FOR THE AVERAGE   =',I8,/,"
                "' DELTA TIME STEP OF LAST 2 TIME STEPS USED WAS     =',F12.6,/,"
                "' TOTAL NUMBER OF NODES WITH ZERO VALUES            =',I8,/,"
                "' SWITCH FOR WEIGHTING THE AVERAGE CURRENT BY DEPTH WAS =',I3,/)",
                {a_.TSTART, a_.TSTOP, avglen, navg_, dtlast, nzero_, a_.IWEIGHT});
    if (b_.NE != b_.NE2 || b_.NP != b_.NP2) {
      WriteLayout(s_.out(),
                  "(/,' WARNING inconsistant node/elem... QMX4 vs VELTO',/,"
                  "' VELTO had node/elem =',2I8,/,' QMX2  had node/elem =',2I8,/)",
                  {b_.NP, b_.NE, b_.NP2, b_.NE2});
    }
  }

  Session& s_;
  BLKR2& b_;
  Answers a_;
  HeaderValues h_;
  ZeroedBlock<HydroWork> w_;
  LazyStart nodes_;
  float recn_ = 0.0f;
  int32_t navg_ = 0;
  int32_t nzero_ = 0;
};

}  // namespace

void R2INT(Session& s) {
  Answers answers = AskQuestions(s);
  HydroAverage(s, answers).Run();
}

}  // namespace korvant
