#include <algorithm>
#include <cstdint>
#include <memory>

#include "dialogue/average.h"
#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/exit_status.h"
#include "dialogue/family_reads.h"
#include "dialogue/transport.h"
#include "dialogue/units.h"
#include "engine/mean_listing.h"
#include "engine/transport_mean.h"
#include "formats/qmx4.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr float kAveragedTime = 0.0f;

constexpr AverageRules kRules = {
    .input_unit = kTransportAverageInputUnit,
    .caution_head = " CAUTION - NO END OF FILE HIT AFTER ",
    .caution_tail = " TIME STEPS",
    .first_pass_damage = FirstPassDamage::kEndsPass,
    .damage_line = "",
    .reopen = false,
    .no_data =
        "(' WARNING --- RECN=',F5.1,/,' CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN =',2F12.8,/)",
    .fewest_steps = 2.0f,
};

class TransportAverage : public Averaging {
 public:
  explicit TransportAverage(Session& s) : Averaging(s, kRules), b_(s.blkr4) {}

 private:
  void Ask() override {
    TextSink& out = s_.out();
    out.Line("  ");
    out.Line(" ************** CONCENTRATION AVERAGE ***************");
    out.Line(" Enter the QMX4 decimal time to start in HOURS");
    out.Line("                Default=last time minus 25 time steps");
    DCODE(s_.console, &TSTART, TSTART);
    out.Line(" Enter the QMX4 decimal time to stop in HOURS");
    out.Line("                Default=last time");
    DCODE(s_.console, &TSTOP, TSTOP);
    out.Line(" Enter the total number of constituents to consider");
    out.Line("                Default= 1");
    float constituents = 1.0f;
    DCODE(s_.console, &constituents, constituents);
    if (constituents > MAXCON) {
      out.Line(" No-No Maximum allowed total is =6,  Now its 6.");
      constituents = MAXCON;
    }
    // Cut towards zero; a hugely negative answer stays within the integer's range.
    NCON = static_cast<int32_t>(std::max(constituents, -2147483648.0f));
    mean_ = std::make_unique<TransportMean<float>>(NCON);
    out.Line(" DO you want to turn FULL prints on? (Enter 1 if yes)");
    int32_t full_prints = 0;  // asked for and accepted; nothing uses it
    ReadFreeInt(s_.console, &full_prints);
  }

  // Both header forms are copied at once, so that the averaged file is a QMX4
  // file of its own; only the integer-coded copy is announced.
  void Open() override {
    RecordFile& in = In();
    in.Rewind();
    s_.out().Line(" INSIDE R4INT, rewind nsal=70 to read qmx-4 binary");
    ReadResult result = DetectForm(in, &h_);
    if (result.ok()) {
      WriteFree(s_.out(), {" --> QMX4 binary 1st integer ITEST =", h_.ITEST});
      result = ReadTransportHeader(s_, in, &h_);
    }
    if (!result.ok()) {
      s_.out().Line(" UNEXPECTED E-O-F HIT during Banner read of QMX4 binary");
      WriteFree(s_.out(), {"            LAST successful record number read=", 0});
      Stop();
    }
    header_records_ = h_.records();
    if (h_.integer_coded()) s_.out().Line(" --> Write INTEGER/CHAR Banners to unit=80");
    CopyTransportHeader(s_, s_.unit(kTransportAverageOutputUnit), h_);
    ReportTransportHeader(s_, h_, /*leading_empty_line=*/false);
  }

  ReadResult ReadTime(float* time) override {
    const ReadResult result = ReadQmx4Time(In(), &b_.TIME, &b_.NQAL);
    if (result.ok()) *time = b_.TIME;
    return result;
  }

  void ReportFirstPass(float last, int count) override {
    WriteLayout(s_.out(),
                "(' LAST TIME ON BINARY FILE=',F12.6,/,' TOTAL DATA RECORD COUNT=',I8,/,"
                "' NUMBER OF CONSTITUENTS WRITTEN TO BINARY=',I4,/)",
                {last, count, b_.NQAL});
  }

  void ReportWindow(const float*, int) override {
    WriteLayout(s_.out(), "(' PROGRAM self computes time to start and stop as=',2F12.8)",
                {TSTART, TSTOP});
  }

  // The averaged file takes its element codes from the last step read.
  ReadResult ReadStep(const StepFilter& filter, bool* passed) override {
    return ReadTransportStep(s_, In(), filter, passed);
  }

  void UseStep(int, bool passed) override {
    if (passed) {
      WriteLayout(s_.summary, "(' Skip QMX4 Time=',F15.6,'  NQAL=',I3,' Nodes=',I8,'Elem=',I7)",
                  {b_.TIME, b_.NQAL, b_.NP4, b_.NE4});
      return;
    }
    if (mean_->Limit(b_.NQAL)) {
      NCON = mean_->constituents();
      WriteFree(s_.out(), {" --> Fewer constituents on QMX4 binary than asked; NCON now =", NCON});
    }
    TakeTime(b_.TIME);
    mean_->Add(TransportStepOf(b_));
  }

  float Averaged() const override { return mean_->steps(); }

  void Results() override {
    WriteTable();
    WriteAveragedFile();
    WriteComplete();
  }

  void WriteTable() {
    WriteLayout(s_.summary, kTransportListingHeading, {TSTOP - TSTART, TSTOP});
    const std::span<float> averages(CAVE.get(), static_cast<size_t>(MAXCON) * MAXNODE);
    mean_->Finish(b_.NP4, averages, MAXNODE);
    const Layout& row = CachedLayout(kTransportListingRow);
    std::vector<Value> values;
    for (int j = 0; j < b_.NP4; ++j) {
      mean_->Row(j, kTransportListedConstituents, averages, MAXNODE, Unseen::kStartValues, &values);
      ApplyLayout(row, values, s_.summary);
    }
  }

  void WriteAveragedFile() {
    s_.out().Line(" Write QMX4 Binary integrated data on unit=80");
    b_.TIME = kAveragedTime;
    Qmx4Step averaged = TransportStepOf(b_);
    averaged.nqal = NCON;
    averaged.conc = std::span(CAVE.get(), static_cast<size_t>(MAXCON) * MAXNODE);
    WriteQmx4Step(s_.unit(kTransportAverageOutputUnit), averaged);
  }

  void WriteComplete() {
    constexpr std::string_view kComplete =
        "(/,' COMPLETE-',/,' UNIT 80 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS',/,"
        "' From Hrs',F15.7,' to ',F15.7,/,"
        "' Time on QMX4 binary solution is flagged as hr  =',F8.3,/,"
        "' Total nodes written on QMX4 binary solution    =',I8,/,"
        "' Total elements written on QMX4 binary solution =',I8,/,"
        "' Total # of constituents written on QMX4 bin sol=',I3,/)";
    const std::initializer_list<Value> values = {TSTART, TSTOP, b_.TIME, b_.NP4, b_.NE4, NCON};
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

  BLKR4& b_;
  HeaderValues h_;
  int32_t NCON = 1;  // constituents averaged
  std::unique_ptr<TransportMean<float>> mean_;
  // The averages as written: constituent k of node j at k*MAXNODE + j, as in `CONC`.
  std::unique_ptr<float[]> CAVE = std::make_unique<float[]>(static_cast<size_t>(MAXCON) * MAXNODE);
};

}  // namespace

void R4INT(Session& s) { TransportAverage(s).Run(); }

}  // namespace korvant
