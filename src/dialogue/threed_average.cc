#include <algorithm>
#include <array>
#include <memory>

#include "dialogue/average.h"
#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/threed.h"
#include "dialogue/units.h"
#include "engine/mean_listing.h"
#include "engine/threed_mean.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr int kDefaultDebug = 4;
constexpr size_t kTable = static_cast<size_t>(MAXDOF) * MAXNODE;

int32_t Fit(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

constexpr AverageRules kRules = {
    .input_unit = kThreedAverageInputUnit,
    .caution_head = " CAUTION - No end of file hit after ",
    .caution_tail = " Time steps",
    .first_pass_damage = FirstPassDamage::kEndsPassWithLine,
    .damage_line = " ERROR ON qmx10 read ******",
    .reopen = true,
    .no_data =
        "(' WARNING --- RECN=',F5.1,/,' CANNOT FIND QMX-10 UNIT NQMX10 TIME BETWEEN =',"
        "2F15.8,/)",
    .fewest_steps = 1.0f,
};

class ThreedAverage : public Averaging {
 public:
  explicit ThreedAverage(Session& s) : Averaging(s, kRules), b_(s.blkr10) {}

 private:
  void Ask() override {
    TextSink& out = s_.out();
    out.Line(" *********** VELOCITY/CONCENTRATION AVERAGE ************");
    out.Line(" Enter the QMX10 decimal time to START in HOURS");
    out.Line("                Default=last time minus 25 time steps");
    DCODE(s_.console, &TSTART, TSTART);
    out.Line(" Enter the QMX10 decimal time to STOP in HOURS");
    out.Line("                Default=last time");
    DCODE(s_.console, &TSTOP, TSTOP);
    out.Line(" Value for DEBUG prints? (Enter 1 if ALL nodes printed)");
    if (ReadFreeInt(s_.console, &IDEBUG)) WriteFree(out, {"                 IDEBUG now=", IDEBUG});
  }

  // A QMX10 file has no header.
  void Open() override {
    In().Rewind();
    s_.out().Line(" INSIDE R10INT, REWIND NQMX10=95 TO READ QMX-10 BINARY");
  }

  ReadResult ReadTime(float* time) override { return ReadQmx10Time(In(), time, &b_.NP); }

  void ReportFirstPass(float last, int count) override {
    WriteLayout(s_.out(),
                "(' LAST TIME ON BINARY FILE=',F12.6,/,' TOTAL DATA RECORD COUNT=',I8,/,"
                "' NUMBER OF NODES ON THIS FILE=',I10,/)",
                {last, count, b_.NP});
  }

  void ReportWindow(const float* times, int count) override {
    // A file of one step has no step length.
    const float DT = count > 1 ? times[count - 1] - times[count - 2] : 0.0f;
    WriteLayout(s_.out(),
                "(' PROGRAM computes time to start and stop as=',2F15.10,/,"
                "' DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =',F12.10,/)",
                {TSTART, TSTOP, DT});
  }

  // The averaged record takes all but VDOF from the last step read.
  ReadResult ReadStep(const StepFilter& filter, bool* passed) override {
    return ReadThreedStep(s_, In(), &NCNT, filter, passed);
  }

  void UseStep(int number, bool passed) override {
    if (number == 1) WriteFree(s_.out(), {" Quindle Debug NDG-NDF binary=", 0, b_.NDF});
    if (!passed) {
      TakeTime(b_.TIME);
      mean_.Add(ThreedStepOf(s_, NCNT));
    } else if (number <= 2) {
      WriteLayout(s_.summary, "(' Skipping along time steps in QMX10 -- TIME= ',F15.8)", {b_.TIME});
      s_.out().Line(" Be Patient - Skipping QMX10 time Steps");
    }
  }

  float Averaged() const override { return mean_.steps(); }

  void Results() override {
    TextSink& summary = s_.summary;
    WriteLayout(summary, kThreedResultsTitle, {});
    WriteExtremes(s_.out());
    WriteExtremes(summary);
    WriteLayout(summary, kThreedListingHeading, {TSTOP - TSTART, TSTOP});
    // A last step of more nodes than any averaged one reaches new slots: sums of 0.
    mean_.Finish(Fit(b_.NP, MAXNODE), Fit(b_.NDF, MAXDOF), Averages(), MAXNODE);
    if (IDEBUG != 0) WriteNodeListing();
    s_.out().Line(" Writing FINAL data to unit=90");
    WriteQmx10Average(s_.unit(kThreedAverageOutputUnit), ThreedStepOf(s_, NCNT), DAVE.get());
    WriteLayout(summary,
                "(' COMPLETE-',/,' UNIT 90 CONTAINS 1 TIME STEP OF',"
                "' AVERAGED CONCENTRATIONS FROM HRS',F12.6,' TO ',F12.6,/,' TOTAL NODES=',I8,/,"
                "' TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=',I3,/)",
                {TSTART, TSTOP, b_.NP, b_.NDF});
  }

  // All six degrees of freedom, whatever NDF is: those beyond it show node 0
  // and the start values.
  void WriteExtremes(TextSink& sink) {
    ApplyLayout(CachedLayout(kThreedExtremes), mean_.Extremes(), sink);
  }

  std::span<float> Averages() { return std::span(DAVE.get(), kTable); }

  // Every IDEBUG-th node from node 1, as many lines as a counted loop from 1
  // to NP by IDEBUG makes. With a negative step that loop can only reach node
  // 1 (on a file of at most one node); it never reaches a node below 1.
  void WriteNodeListing() {
    const int64_t step = IDEBUG;
    const int64_t lines = (int64_t{b_.NP} + step - 1) / step;
    if (lines <= 0) return;
    const int ndf = Fit(b_.NDF, MAXDOF);
    const Layout& layout = CachedLayout(kThreedListingRow);
    std::vector<Value> values;
    for (int64_t i = 0; i < lines; ++i) {
      const int64_t node = 1 + i * step;
      if (node < 1 || node > MAXNODE) break;
      mean_.Row(node - 1, ndf, Averages(), MAXNODE, Unseen::kStartValues, &values);
      ApplyLayout(layout, values, s_.summary);
    }
  }

  BLKR10& b_;
  int32_t IDEBUG = kDefaultDebug;  // node step of the listing; 0 turns it off
  int32_t NCNT = 0;                // count-list length of the step read last
  ThreedMean<float> mean_{MAXDOF};
  // The averages, laid out like VDOF (degree of freedom k at k * MAXNODE + node).
  std::unique_ptr<float[]> DAVE = std::make_unique<float[]>(kTable);
};

}  // namespace

void R10INT(Session& s) { ThreedAverage(s).Run(); }

}  // namespace korvant
