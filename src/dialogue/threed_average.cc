#include <algorithm>
#include <array>

#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/threed.h"
#include "engine/window.h"
#include "engine/work_arrays.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "io/run_aborted.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr int kInputUnit = 95;
constexpr int kOutputUnit = 90;
constexpr float kUnsetHour = -9999.0f;
// A start at or below this asks for the window to be found from the file.
constexpr float kFindWindowBelow = -99.0f;
constexpr int kDefaultDebug = 4;
constexpr float kMinStart = 1.0E10f;
constexpr float kMaxStart = -1.0E10f;
constexpr size_t kTable = static_cast<size_t>(MAXDOF) * MAXNODE;

int32_t Fit(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

// The per-node tables, each laid out like VDOF (degree of freedom k at
// k * MAXNODE + node).
struct ThreedWork {
  float TLIST[kMaxSteps];  // times met by the first pass
  float DSUM[kTable];
  float DAVE[kTable];
  float DMIN[kTable];
  float DMAX[kTable];
};

class Average {
 public:
  explicit Average(Session& s) : s_(s), out_(s.out()), summary_(s.summary) {
    GMIN.fill(kMinStart);
    GMAX.fill(kMaxStart);
  }

  void Run() {
    Dialogue();
    if (TSTART <= kFindWindowBelow) FindWindow();
    MainPass();
    if (RECN <= 0.5f) NoData();
    Results();
  }

 private:
  RecordFile& In() { return s_.unit(kInputUnit); }

  void Dialogue() {
    out_.Line(" *********** VELOCITY/CONCENTRATION AVERAGE ************");
    out_.Line(" Enter the QMX10 decimal time to START in HOURS");
    out_.Line("                Default=last time minus 25 time steps");
    DCODE(s_.console, &TSTART, TSTART);
    out_.Line(" Enter the QMX10 decimal time to STOP in HOURS");
    out_.Line("                Default=last time");
    DCODE(s_.console, &TSTOP, TSTOP);
    out_.Line(" Value for DEBUG prints? (Enter 1 if ALL nodes printed)");
    if (ReadFreeInt(s_.console, &IDEBUG)) WriteFree(out_, {"                 IDEBUG now=", IDEBUG});
    In().Rewind();
    out_.Line(" INSIDE R10INT, REWIND NQMX10=95 TO READ QMX-10 BINARY");
  }

  // The first pass: times only, to set the window to the last steps of the
  // file; then the input is opened again so that the main pass starts afresh.
  void FindWindow() {
    float* TLIST = w_->TLIST;
    int NLIST = 0;
    bool ended = false;
    for (int i = 0; i < kMaxSteps && !ended; ++i) {
      ReadStatus status = ReadQmx10Time(In(), &TLIST[i], &s_.blkr10.NP).status();
      if (status == ReadStatus::kOk) {
        ++NLIST;
        continue;
      }
      if (status == ReadStatus::kError) out_.Line(" ERROR ON qmx10 read ******");
      ended = true;
    }
    if (!ended) {
      WriteFree(out_, {" CAUTION - No end of file hit after ", kMaxSteps, " Time steps"});
      Stop();
    }
    if (NLIST == 0) NoData();
    const float last = TLIST[NLIST - 1];
    WriteLayout(out_,
                "(' LAST TIME ON BINARY FILE=',F12.6,/,' TOTAL DATA RECORD COUNT=',I8,/,"
                "' NUMBER OF NODES ON THIS FILE=',I10,/)",
                {last, NLIST, s_.blkr10.NP});
    In().Rewind();
    out_.Line(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag");
    In().Close();
    In().OpenExisting(kInputUnit, TrimName(FieldView(s_.dms.FNAME, kNameChars)));
    AutoWindow(TLIST, NLIST, &TSTART, &TSTOP);
    // A file of one step has no step length.
    const float DT = NLIST > 1 ? last - TLIST[NLIST - 2] : 0.0f;
    WriteLayout(out_,
                "(' PROGRAM computes time to start and stop as=',2F15.10,/,"
                "' DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =',F12.10,/)",
                {TSTART, TSTOP, DT});
  }

  // The averaged record takes all but VDOF from the last step read.
  void MainPass() {
    const BLKR10& b = s_.blkr10;
    ReadStepsPassingOutside(
        In(), StepFilter{TSTART, TSTOP, /*all=*/false},
        [&](const StepFilter& filter, bool* passed) {
          return ReadThreedStep(s_, In(), &NCNT, filter, passed);
        },
        [&](int j, bool passed) {
          if (j == 1) WriteFree(out_, {" Quindle Debug NDG-NDF binary=", 0, b.NDF});
          if (!passed) {
            Accumulate();
          } else if (j <= 2) {
            WriteLayout(summary_, "(' Skipping along time steps in QMX10 -- TIME= ',F15.8)",
                        {b.TIME});
            out_.Line(" Be Patient - Skipping QMX10 time Steps");
          }
        });
  }

  // DMIN and DMAX start far out of range, set only in node slots a step reaches.
  void StartValuesUpTo(int32_t nodes) {
    started_.Reach(nodes, [&](int first, int last) {
      for (size_t row = 0; row < kTable; row += MAXNODE) {
        std::fill(w_->DMIN + row + first, w_->DMIN + row + last, kMinStart);
        std::fill(w_->DMAX + row + first, w_->DMAX + row + last, kMaxStart);
      }
    });
  }

  // Strict comparisons: of equal extremes the first met keeps its node.
  void Accumulate() {
    const BLKR10& b = s_.blkr10;
    RECN += 1.0f;
    const int32_t np = Fit(b.NP, MAXNODE);
    StartValuesUpTo(np);
    for (int k = 0; k < Fit(b.NDF, MAXDOF); ++k) {
      const size_t row = static_cast<size_t>(k) * MAXNODE;
      const float* v = b.VDOF + row;
      float* sum = w_->DSUM + row;
      float* low = w_->DMIN + row;
      float* high = w_->DMAX + row;
      for (int32_t n = 0; n < np; ++n) {
        sum[n] += v[n];
        if (v[n] > high[n]) {
          high[n] = v[n];
          if (v[n] > GMAX[static_cast<size_t>(k)]) {
            GMAX[static_cast<size_t>(k)] = v[n];
            NGMAX[static_cast<size_t>(k)] = n + 1;
          }
        }
        if (v[n] < low[n]) {
          low[n] = v[n];
          if (v[n] < GMIN[static_cast<size_t>(k)]) {
            GMIN[static_cast<size_t>(k)] = v[n];
            NGMIN[static_cast<size_t>(k)] = n + 1;
          }
        }
      }
    }
  }

  void Results() {
    const BLKR10& b = s_.blkr10;
    WriteLayout(summary_, "('1',/,10X,'RESULTS FROM MERGE-AVERAGE PROGRAM',/)", {});
    WriteExtremes(out_);
    WriteExtremes(summary_);
    WriteLayout(summary_,
                "(/,/,10X,'AVERAGE OF EACH NODE OVER A',F12.6,' HR CYCLE, WITH LAST HR=',F12.6,"
                "/,5X,/,20X,' ALL 6 DEGREES OF FREEDOM ARE PRINTED',/,'  NODE  ',"
                "'  VELX-AVE-MIN-MAX   ','  VELY-AVE-MIN-MAX   ','  DEEP-AVE-MIN-MAX   ',"
                "'  SALT-AVE-MIN-MAX   ','  TEMP-AVE-MIN-MAX   ','   SED-AVE-MIN-MAX',/)",
                {TSTOP - TSTART, TSTOP});
    const int32_t np = Fit(b.NP, MAXNODE);
    for (int k = 0; k < Fit(b.NDF, MAXDOF); ++k) {
      const size_t row = static_cast<size_t>(k) * MAXNODE;
      for (int32_t n = 0; n < np; ++n) w_->DAVE[row + n] = w_->DSUM[row + n] / RECN;
    }
    if (IDEBUG != 0) WriteNodeListing();
    out_.Line(" Writing FINAL data to unit=90");
    WriteQmx10Average(s_.unit(kOutputUnit), ThreedStepOf(s_, NCNT), w_->DAVE);
    WriteLayout(summary_,
                "(' COMPLETE-',/,' UNIT 90 CONTAINS 1 TIME STEP OF',"
                "' AVERAGED CONCENTRATIONS FROM HRS',F12.6,' TO ',F12.6,/,' TOTAL NODES=',I8,/,"
                "' TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=',I3,/)",
                {TSTART, TSTOP, b.NP, b.NDF});
  }

  void WriteExtremes(TextSink& sink) {
    std::array<Value, 4 * MAXDOF> values;
    for (size_t k = 0; k < MAXDOF; ++k) {
      values[2 * k] = NGMAX[k];
      values[2 * k + 1] = GMAX[k];
      values[2 * MAXDOF + 2 * k] = NGMIN[k];
      values[2 * MAXDOF + 2 * k + 1] = GMIN[k];
    }
    ApplyLayout(
        CachedLayout(
            "(/,2X,' CHECK THESE NODES FOR MAXIMUMS',/,"
            "5X,'    X-VELOCITY    MAX AT NODE=',I10,' WAS=',F15.2,' fps',/,"
            "5X,'    Y-VELOCITY    MAX AT NODE=',I10,' WAS=',F15.2,' fps',/,"
            "5X,'    DEPTH         MAX AT NODE=',I10,' WAS=',F15.2,' ft',/,"
            "5X,'    SALINITY      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,"
            "5X,'    TEMPERATURE   MAX AT NODE=',I10,' WAS=',F15.2,' d.C',/,"
            "5X,'    SEDIMENT      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,/,"
            "2X,' CHECK THESE NODE FOR MINIMUMS',/,"
            "5X,'    X-VELOCITY    MIN AT NODE=',I10,' WAS=',F15.2,' fps',/,"
            "5X,'    Y-VELOCITY    MIN AT NODE=',I10,' WAS=',F15.2,' fps',/,"
            "5X,'    DEPTH         MIN AT NODE=',I10,' WAS=',F15.2,' ft',/,"
            "5X,'    SALINITY      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/,"
            "5X,'    TEMPERATURE   MAX AT NODE=',I10,' WAS=',F15.2,' d.C',/,"
            "5X,'    SEDIMENT      MAX AT NODE=',I10,' WAS=',F15.2,' ppt',/)"),
        values, sink);
  }

  // Every IDEBUG-th node from node 1, as many lines as a counted loop from 1
  // to NP by IDEBUG makes. With a negative step that loop can only reach node
  // 1 (on a file of at most one node); it never reaches a node below 1.
  void WriteNodeListing() {
    const BLKR10& b = s_.blkr10;
    const int64_t step = IDEBUG;
    const int64_t lines = (int64_t{b.NP} + step - 1) / step;
    if (lines <= 0) return;
    StartValuesUpTo(std::max(Fit(b.NP, MAXNODE), 1));
    const int ndf = Fit(b.NDF, MAXDOF);
    const Layout& layout = CachedLayout(
        "(1X,I6,1X,3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X),3(F6.2,1X))");
    std::array<Value, 1 + 3 * MAXDOF> values;
    for (int64_t i = 0; i < lines; ++i) {
      const int64_t node = 1 + i * step;
      if (node < 1 || node > MAXNODE) break;
      values[0] = static_cast<int32_t>(node);
      for (int k = 0; k < ndf; ++k) {
        const size_t at = static_cast<size_t>(k) * MAXNODE + static_cast<size_t>(node - 1);
        values[static_cast<size_t>(1 + 3 * k)] = w_->DAVE[at];
        values[static_cast<size_t>(2 + 3 * k)] = w_->DMIN[at];
        values[static_cast<size_t>(3 + 3 * k)] = w_->DMAX[at];
      }
      ApplyLayout(layout, std::span<const Value>(values.data(), static_cast<size_t>(1 + 3 * ndf)),
                  summary_);
    }
  }

  [[noreturn]] void NoData() {
    constexpr std::string_view kWarning =
        "(' WARNING --- RECN=',F5.1,/,' CANNOT FIND QMX-10 UNIT NQMX10 TIME BETWEEN =',"
        "2F15.8,/)";
    WriteLayout(out_, kWarning, {RECN, TSTART, TSTOP});
    WriteLayout(summary_, kWarning, {RECN, TSTART, TSTOP});
    Stop();
  }

  Session& s_;
  TextSink& out_;
  TextSink& summary_;
  ZeroedBlock<ThreedWork> w_;
  LazyStart started_;  // node slots whose DMIN and DMAX hold their start values
  float TSTART = kUnsetHour;  // window, decimal hours, both ends included
  float TSTOP = kUnsetHour;
  int32_t IDEBUG = kDefaultDebug;  // node step of the listing; 0 turns it off
  float RECN = 0.0f;               // time steps averaged
  int32_t NCNT = 0;                // count-list length of the step read last
  std::array<float, MAXDOF> GMIN, GMAX;
  std::array<int32_t, MAXDOF> NGMIN{}, NGMAX{};
};

}  // namespace

void R10INT(Session& s) { Average(s).Run(); }

}  // namespace korvant
