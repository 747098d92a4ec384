#include <algorithm>
#include <array>

#include "dialogue/average.h"
#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/exit_status.h"
#include "dialogue/family_reads.h"
#include "dialogue/hydro.h"
#include "dialogue/refusals.h"
#include "dialogue/units.h"
#include "engine/hydro_mean.h"
#include "engine/mean_listing.h"
#include "formats/header.h"
#include "formats/qmx2.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr float kAveragedTime = -99.0f;

constexpr AverageRules kRules = {
    .input_unit = kHydroAverageInputUnit,
    .caution_head = " CAUTION - NO END OF FILE HIT AFTER ",
    .caution_tail = " TIME STEPS",
    .first_pass_damage = FirstPassDamage::kFatal,
    .damage_line = "",
    .reopen = true,
    .no_data =
        "(' WARNING --- RECN=',F5.1,/,' Cannot find QMX2 unit IHYDRO time between =',2F12.6,/)",
    .fewest_steps = 2.0f,
};

// The averaged step as written, one slot per node or element.
struct HydroResults {
  float AVG[3 * MAXNODE];  // UAVG, VAVG, DAVG per node, as the averaged file holds them
  float WAVG[MAXNODE];
  int32_t NDRYK[MAXNODE];
  int32_t IMATK[MAXELEM];
};

class HydroAverage : public Averaging {
 public:
  explicit HydroAverage(Session& s) : Averaging(s, kRules), b_(s.blkr2) {}

 private:
  void Ask() override {
    TextSink& out = s_.out();
    out.Line(" ************** HYDRODYNAMIC AVERAGE ***************");
    out.Line(" Enter the QMX2 decimal time to start in HOURS");
    out.Line("                Default=last time minus 25 TIME STEPS");
    DCODE(s_.console, &TSTART, TSTART);
    out.Line(" Enter the QMX2 decimal time to stop in HOURS");
    out.Line("                Default=last time");
    DCODE(s_.console, &TSTOP, TSTOP);
    out.Line(" Enter the datum reference in feet");
    WriteFree(out, {"                Default=", DATREF});
    DCODE(s_.console, &DATREF, DATREF);
    out.Line(" DO you want to turn full prints on? (Enter 1 if yes)");
    if (!ReadFreeInt(s_.console, &IFULL)) IFULL = 4;
    SetField(s_.dms.ANS, kAnswerChars, "N");
    out.Line(" Do you want to weight the average current by depth?");
    out.Line("     (ie. suitable for FLUX computation  DEFAULT=NO)");
    if (AskNoUnlessY(s_).value_or(false)) {
      IWEIGHT = 1;
      s_.dms.ANS[0] = 'Y';
    }
    mean_ = std::make_unique<HydroMean<float>>(IWEIGHT == 1, DATREF);
  }

  void Open() override {
    RecordFile& in = In();
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
    header_records_ = h_.records();
    WriteFree(s_.out(), {" --> Your QMX2 has a version # of ", h_.IVERS});
    if (IFULL != 0) s_.out().Line(" Just read QMX-2 Banners successfully");
  }

  ReadResult ReadTime(float* time) override { return ReadQmx2Time(In(), time); }

  void ReportFirstPass(float last, int count) override {
    WriteLayout(s_.out(),
                "(' LAST TIME ON BINARY FILE=',F12.6,/,"
                "' TOTAL DATA RECORD COUNT [includes all banners]=',I8,/)",
                {last, count});
  }

  void ReportWindow(const float*, int) override {
    WriteLayout(s_.out(), "(' ROUTINE self computes time to start and stop as=',2F12.8)",
                {TSTART, TSTOP});
  }

  bool LongSteps() const { return s_.dms.IREC[0] >= kAverageLongFrom; }

  // A damaged step ends the run. Node slots reached by a step read whole
  // take their start values.
  ReadResult ReadStep(const StepFilter& filter, bool* passed) override {
    const ReadResult result = ReadHydroStep(s_, In(), LongSteps(), WSTEP, filter, passed);
    if (result.outcome != Outcome::kEndOfFile) MustRead(In(), result);
    if (result.ok() && (passed == nullptr || !*passed)) mean_->Reach(b_.NP2);
    return result;
  }

  // With full prints every step is read whole; otherwise a step outside the
  // window gives only its time and counts, and should it be the file's last
  // step, its values are read after all, for the table's last-step tests.
  bool ReadsEveryStep() const override { return IFULL > 0; }

  void UseStep(int, bool passed) override {
    if (passed) return;
    const float time = b_.TIME2;
    if (IFULL > 0) {
      WriteLayout(s_.out(),
                  "(' * Debug WSELV  Time=',F6.2,' Nodes 1-10-2000=',3F12.6,"
                  "'   Now DEPTH=',3F12.6)",
                  {time, WSTEP[0], WSTEP[9], WSTEP[1999], b_.VEL[2], b_.VEL[29], b_.VEL[5999]});
    }
    if (TSTART <= time && time <= TSTOP) {
      TakeTime(time);
      mean_->Add(HydroStepOf(b_, WSTEP), !LongSteps(), std::span(WSTEP), std::span(b_.AO));
      AVERAGED[navg_++] = time;
    } else if (IFULL > 0) {
      WriteLayout(s_.summary, "(' Skipping QMX2 Time=',F15.7)", {time});
    }
  }

  float Averaged() const override { return mean_->steps(); }

  void Results() override {
    WriteTable();
    WriteAveragedFile();
    WriteComplete();
  }

  void WriteTable() {
    WriteLayout(s_.summary, kHydroListingHeading, {IWEIGHT, TSTOP - TSTART, TSTART, TSTOP});
    const HydroAveraged averaged = Averaged(*results_);
    nzero_ = static_cast<int32_t>(
        mean_->Finish(HydroStepOf(b_, WSTEP), std::span(WSTEP), averaged, [&](int32_t node, int n) {
          WriteLayout(s_.out(),
                      "(' *** Warning',I3,' ZERO Values detected for Node=',I6,' SKIP IT!')",
                      {n, node});
        }));
    const Layout& row = CachedLayout(kHydroListingRow);
    std::vector<Value> values;
    for (int k = 0; k < b_.NP2; ++k) {
      mean_->Row(k, averaged, b_.CORD[2 * k], b_.CORD[2 * k + 1], Unseen::kStartValues, &values);
      ApplyLayout(row, values, s_.summary);
    }
  }

  static HydroAveraged Averaged(HydroResults& r) {
    return HydroAveraged{std::span(r.AVG), std::span(r.WAVG), std::span(r.NDRYK),
                         std::span(r.IMATK)};
  }

  void WriteAveragedFile() {
    HydroResults& r = *results_;
    s_.out().Line(" --> Writing integrated data to unit=60");
    // The averaged file always carries elevations: a character-form header is
    // given the version code of long steps.
    if (!h_.integer_coded()) s_.dms.IREC[0] = kAverageLongFrom;
    RecordFile& out = s_.unit(kHydroAverageOutputUnit);
    WriteHeader(out, h_, HeaderOf(s_.dms, s_.dms.TITLE2), b_.NP2, b_.NE2);
    const Qmx2Step averaged{.time = kAveragedTime,
                            .np = b_.NP2,
                            .ne = b_.NE2,
                            .vel = std::span(r.AVG),
                            .ndry = std::span(r.NDRYK),
                            .imat = std::span(r.IMATK),
                            .elevations = std::span(r.WAVG)};
    WriteQmx2Step(out, averaged, LongSteps());
  }

  void WriteComplete() {
    const float avglen = AVERAGED[navg_ - 1] - AVERAGED[0];
    const float dtlast = AVERAGED[navg_ - 1] - AVERAGED[navg_ - 2];
    WriteLayout(s_.summary,
                "(' COMPLETE-',/,' UNIT 60 CONTAINS 1 TIME STEP OF',"
                "' VELOCITY AND DEPTH INTEGRATED FROM HRS',F12.6,' TO ',F12.6,/,"
                "' LENGTH OF TIME OVER WHICH THE AVERAGE WAS COMPUTED=',F12.6,/,"
                "' TOTAL NUMBER OF TIME STEPS USED FOR THE AVERAGE   =',I8,/,"
                "' DELTA TIME STEP OF LAST 2 TIME STEPS USED WAS     =',F12.6,/,"
                "' TOTAL NUMBER OF NODES WITH ZERO VALUES            =',I8,/,"
                "' SWITCH FOR WEIGHTING THE AVERAGE CURRENT BY DEPTH WAS =',I3,/)",
                {TSTART, TSTOP, avglen, navg_, dtlast, nzero_, IWEIGHT});
    if (b_.NE != b_.NE2 || b_.NP != b_.NP2) {
      WriteLayout(s_.out(),
                  "(/,' WARNING inconsistant node/elem... QMX4 vs VELTO',/,"
                  "' VELTO had node/elem =',2I8,/,' QMX2  had node/elem =',2I8,/)",
                  {b_.NP, b_.NE, b_.NP2, b_.NE2});
    }
  }

  BLKR2& b_;
  HeaderValues h_;
  float DATREF = 100.0f;  // datum the water surface is measured from
  int32_t IFULL = 0;      // full prints when above 0
  int32_t IWEIGHT = 0;    // 1: velocities weighted by depth
  std::unique_ptr<HydroMean<float>> mean_;
  float WSTEP[MAXNODE] = {};       // water surface of each node, from the step read last
  float AVERAGED[kMaxSteps] = {};  // times of the steps averaged
  int32_t navg_ = 0;
  int32_t nzero_ = 0;
  std::unique_ptr<HydroResults> results_ = std::make_unique<HydroResults>();
};

}  // namespace

void R2INT(Session& s) { HydroAverage(s).Run(); }

}  // namespace korvant
