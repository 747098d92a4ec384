#include <algorithm>
#include <cstdint>

#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/transport.h"
#include "engine/window.h"
#include "engine/work_arrays.h"
#include "formats/qmx4.h"
#include "io/run_aborted.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr int kInputUnit = 70;  // NSAL
constexpr int kOutputUnit = 80;
constexpr float kNoTime = -9999.0f;
constexpr float kAutoWindowAtOrBelow = -99.0f;
constexpr float kAveragedTime = 0.0f;
constexpr int kPrintedConstituents = 3;

// The averaging's working arrays: constituent k of node j at k*MAXNODE + j,
// as in `CONC`.
struct TransportWork {
  float CSUM[MAXCON * MAXNODE];
  float CAVE[MAXCON * MAXNODE];
  float CMIN[MAXCON * MAXNODE];
  float CMAX[MAXCON * MAXNODE];
  float TLIST[kMaxSteps];
};

struct Answers {
  float TSTART = kNoTime;
  float TSTOP = kNoTime;
  int32_t NCON = 1;
};

Answers AskQuestions(Session& s) {
  TextSink& out = s.out();
  Answers a;
  out.Line("  ");
  out.Line(" ************** CONCENTRATION AVERAGE ***************");
  out.Line(" Enter the QMX4 decimal time to start in HOURS");
  out.Line("                Default=last time minus 25 time steps");
  DCODE(s.console, &a.TSTART, a.TSTART);
  out.Line(" Enter the QMX4 decimal time to stop in HOURS");
  out.Line("                Default=last time");
  DCODE(s.console, &a.TSTOP, a.TSTOP);
  out.Line(" Enter the total number of constituents to consider");
  out.Line("                Default= 1");
  float constituents = 1.0f;
  DCODE(s.console, &constituents, constituents);
  if (constituents > MAXCON) {
    out.Line(" No-No Maximum allowed total is =6,  Now its 6.");
    constituents = MAXCON;
  }
  // Cut towards zero; a hugely negative answer stays within the integer's range.
  a.NCON = static_cast<int32_t>(std::max(constituents, -2147483648.0f));
  out.Line(" DO you want to turn FULL prints on? (Enter 1 if yes)");
  int32_t full_prints = 0;  // asked for and accepted; nothing uses it
  ReadFreeInt(s.console, &full_prints);
  return a;
}

class TransportAverage {
 public:
  TransportAverage(Session& s, Answers a) : s_(s), b_(s.blkr4), a_(a) {}

  void Run() {
    RecordFile& in = s_.unit(kInputUnit);
    in.Rewind();
    s_.out().Line(" INSIDE R4INT, rewind nsal=70 to read qmx-4 binary");
    ReadHeader(in);
    // Both header forms are copied, so that the averaged file is a QMX4 file
    // of its own; only the integer-coded copy is announced.
    if (h_.integer_coded()) s_.out().Line(" --> Write INTEGER/CHAR Banners to unit=80");
    CopyTransportHeader(s_, s_.unit(kOutputUnit), h_);
    ReportTransportHeader(s_, h_, /*leading_empty_line=*/false);
    if (a_.TSTART <= kAutoWindowAtOrBelow) AutomaticWindow(in);
    AveragePass(in);
    if (recn_ <= 1.0f) NoData();
    WriteTable();
    WriteAveragedFile();
    WriteComplete();
  }

 private:
  void ReadHeader(RecordFile& in) {
    ReadResult result = DetectForm(in, &h_);
    if (result.ok()) {
      WriteFree(s_.out(), {" --> QMX4 binary 1st integer ITEST =", h_.ITEST});
      result = ReadTransportHeader(s_, in, &h_);
    }
    if (result.ok()) return;
    s_.out().Line(" UNEXPECTED E-O-F HIT during Banner read of QMX4 binary");
    WriteFree(s_.out(), {"            LAST successful record number read=", 0});
    Stop();
  }

  [[noreturn]] void NoData() {
    constexpr std::string_view kWarning =
        "(' WARNING --- RECN=',F5.1,/,' CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN =',2F12.8,/)";
    WriteLayout(s_.out(), kWarning, {recn_, a_.TSTART, a_.TSTOP});
    WriteLayout(s_.summary, kWarning, {recn_, a_.TSTART, a_.TSTOP});
    Stop();
  }

  // First pass: the times of the file's steps, then the input positioned
  // after its header again.
  void AutomaticWindow(RecordFile& in) {
    TransportWork& w = *w_;
    int count = 0;
    for (; count < kMaxSteps; ++count) {
      if (!ReadQmx4Time(in, &b_.TIME, &b_.NQAL).ok()) break;
      w.TLIST[count] = b_.TIME;
    }
    if (count == kMaxSteps) {
      WriteFree(s_.out(), {" CAUTION - NO END OF FILE HIT AFTER ", kMaxSteps, " TIME STEPS"});
      Stop();
    }
    if (count == 0) NoData();
    WriteLayout(s_.out(),
                "(' LAST TIME ON BINARY FILE=',F12.6,/,' TOTAL DATA RECORD COUNT=',I8,/,"
                "' NUMBER OF CONSTITUENTS WRITTEN TO BINARY=',I4,/)",
                {w.TLIST[count - 1], count, b_.NQAL});
    in.Rewind();
    for (int i = 0; i < h_.records(); ++i) in.MustRead(in.SkipRecord());
    AutoWindow(w.TLIST, count, &a_.TSTART, &a_.TSTOP);
    WriteLayout(s_.out(), "(' PROGRAM self computes time to start and stop as=',2F12.8)",
                {a_.TSTART, a_.TSTOP});
  }

  // The averaged file takes its element codes from the last step read.
  void AveragePass(RecordFile& in) {
    ReadStepsPassingOutside(
        in, StepFilter{a_.TSTART, a_.TSTOP, /*all=*/false},
        [&](const StepFilter& filter, bool* passed) {
          return ReadTransportStep(s_, in, filter, passed);
        },
        [&](int, bool passed) {
          if (!passed) {
            AverageStep();
            return;
          }
          WriteLayout(s_.summary,
                      "(' Skip QMX4 Time=',F15.6,'  NQAL=',I3,' Nodes=',I8,'Elem=',I7)",
                      {b_.TIME, b_.NQAL, b_.NP4, b_.NE4});
        });
  }

  // Minima and maxima start at +-1.0E20, set the first time a step or the
  // table reaches a node slot.
  void StartSlots(int nodes) {
    TransportWork& w = *w_;
    nodes_.Reach(nodes, [&](int first, int last) {
      for (int k = 0; k < MAXCON; ++k) {
        std::fill(w.CMIN + k * MAXNODE + first, w.CMIN + k * MAXNODE + last, 1.0E20f);
        std::fill(w.CMAX + k * MAXNODE + first, w.CMAX + k * MAXNODE + last, -1.0E20f);
      }
    });
  }

  // Only constituents that every averaged step carries are averaged: a step
  // with fewer than asked for cuts the count for the rest of the call.
  void LimitConstituents() {
    const int32_t on_file = std::max(b_.NQAL, 0);
    if (a_.NCON <= on_file) return;
    a_.NCON = on_file;
    WriteFree(s_.out(), {" --> Fewer constituents on QMX4 binary than asked; NCON now =", a_.NCON});
  }

  void AverageStep() {
    TransportWork& w = *w_;
    LimitConstituents();
    StartSlots(b_.NP4);
    recn_ += 1.0f;
    for (int k = 0; k < a_.NCON; ++k) {
      const float* conc = b_.CONC + k * MAXNODE;
      float* sum = w.CSUM + k * MAXNODE;
      float* low = w.CMIN + k * MAXNODE;
      float* high = w.CMAX + k * MAXNODE;
      for (int j = 0; j < b_.NP4; ++j) {
        sum[j] += conc[j];
        if (conc[j] > high[j]) high[j] = conc[j];
        if (conc[j] < low[j]) low[j] = conc[j];
      }
    }
  }

  void WriteTable() {
    TransportWork& w = *w_;
    WriteLayout(s_.summary,
                "('1',/,20X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH LAST HR=',"
                "F12.6,/,5X,/,20X,' ONLY FIRST 3 CONSTITUENTS CAN BE PRINTED',/,'  NODE  ',"
                "'  CON1-AVE-MIN-MAX  ','  CON2-AVE-MIN-MAX  ','  CON3-AVE-MIN-MAX  ',/)",
                {a_.TSTOP - a_.TSTART, a_.TSTOP});
    StartSlots(b_.NP4);
    const Layout& row = CachedLayout("(1X,I6,1X,3F7.3,3F7.3,3F7.3)");
    const int printed = std::clamp(a_.NCON, 0, kPrintedConstituents);
    Value values[1 + 3 * kPrintedConstituents];
    for (int j = 0; j < b_.NP4; ++j) {
      for (int k = 0; k < a_.NCON; ++k) {
        w.CAVE[k * MAXNODE + j] = w.CSUM[k * MAXNODE + j] / recn_;
      }
      size_t n = 0;
      values[n++] = j + 1;
      for (int k = 0; k < printed; ++k) {
        values[n++] = w.CAVE[k * MAXNODE + j];
        values[n++] = w.CMIN[k * MAXNODE + j];
        values[n++] = w.CMAX[k * MAXNODE + j];
      }
      ApplyLayout(row, std::span<const Value>(values, n), s_.summary);
    }
  }

  void WriteAveragedFile() {
    s_.out().Line(" Write QMX4 Binary integrated data on unit=80");
    b_.TIME = kAveragedTime;
    Qmx4Step averaged = TransportStepOf(b_);
    averaged.nqal = a_.NCON;
    averaged.conc = std::span(w_->CAVE);
    WriteQmx4Step(s_.unit(kOutputUnit), averaged);
  }

  void WriteComplete() {
    constexpr std::string_view kComplete =
        "(/,' COMPLETE-',/,' UNIT 80 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS',/,"
        "' From Hrs',F15.7,' to ',F15.7,/,"
        "' Time on QMX4 binary solution is flagged as hr  =',F8.3,/,"
        "' Total nodes written on QMX4 binary solution    =',I8,/,"
        "' Total elements written on QMX4 binary solution =',I8,/,"
        "' Total # of constituents written on QMX4 bin sol=',I3,/)";
    const std::initializer_list<Value> values = {a_.TSTART, a_.TSTOP, b_.TIME,
                                                 b_.NP4,    b_.NE4,   a_.NCON};
    WriteLayout(s_.out(), kComplete, values);
    WriteLayout(s_.summary, kComplete, values);
    const BLKR2& g = s_.blkr2;
    if (g.NE != b_.NE4 || g.NP != b_.NP4) {
      WriteLayout(s_.out(),
                  "(/,' WARNING inconsistant node/elem... QMX4 vs VELTO',/,"
                  "' VELTO had node/elem =',2I8,/,' QMX4  had node/elem =',2I8,/)",
                  {g.NP, g.NE, b_.NP4, b_.NE4});
    }
  }

  Session& s_;
  BLKR4& b_;
  Answers a_;
  HeaderValues h_;
  ZeroedBlock<TransportWork> w_;
  LazyStart nodes_;
  float recn_ = 0.0f;
};

}  // namespace

void R4INT(Session& s) {
  Answers answers = AskQuestions(s);
  TransportAverage(s, answers).Run();
}

}  // namespace korvant
