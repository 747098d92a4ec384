#include "dialogue/block_views.h"
#include "dialogue/family_reads.h"
#include "dialogue/merge.h"
#include "dialogue/transport.h"
#include "dialogue/units.h"
#include "formats/qmx4.h"
#include "text/layout.h"

namespace korvant {
namespace {

bool OpenTransportInput(Session& s, MergeState& m, int slot) {
  const int unit = kTransportFirstInputUnit + slot;
  HeaderValues& h = m.header;
  if (!ReadTransportHeader(s, s.unit(unit), &h).ok()) {
    WriteLayout(s.summary, "(' END OF FILE WHILE READING UNIT =',I2,' SUB R4MERGE')", {unit});
    return false;
  }
  if (m.NDONE == 1) {
    // Only the integer-coded copy is announced.
    if (h.integer_coded()) s.out().Line(" --> Write INTEGER/CHAR Banners to unit=70");
    CopyTransportHeader(s, s.unit(kTransportMergedUnit), h);
  }
  ReportTransportHeader(s, h, /*leading_empty_line=*/true);
  WriteBannerListing(s, m.INNAME[slot], unit);
  WriteExtractLine(s, s.dms.IREC[0], m.TBEG[slot], m.TEND[slot]);
  return true;
}

ReadStatus ReadMergeStep(Session& s, RecordFile& in) { return ReadTransportStep(s, in).status(); }

float StepTime(const Session& s) { return s.blkr4.TIME; }

void CountsOfStep(const Session& s, int32_t* nodes, int32_t* elements) {
  *nodes = s.blkr4.NP4;
  *elements = s.blkr4.NE4;
}

void WriteMergeStep(Session& s, RecordFile& out) { WriteQmx4Step(out, TransportStepOf(s.blkr4)); }

// No geometry file can have been read before a merge, so any step with nodes
// or elements draws the warning.
void CompareGeometry(Session& s) {
  const BLKR2& g = s.blkr2;
  const BLKR4& b = s.blkr4;
  if (g.NE == b.NE4 && g.NP == b.NP4) return;
  WriteLayout(s.out(),
              "(/,' WARNING inconsistant node/elem... QMX4 vs VELTO',/,"
              "' VELTO had node/elem =',2I8,/,' QMX4  had node/elem =',2I8,/)",
              {g.NP, g.NE, b.NP4, b.NE4});
}

constexpr MergeFamily kTransportMerge = {
    .summary_title = "('1',/,'  MERGE TOGETHER - MULTIPLE QMX4 FILES')",
    .purpose = "  PURPOSE -->  MERGE together - MULTIPLE QMX4 files",
    .output_prompt = " Enter name of QMX4 MERGED file to be created",
    .flag_prompt = " ENTER FLAG IDENTIFIER OR (?) FOR MENU",
    .menu =
        "(' VALID FLAG OPTIONS FOR QMX4 MERGE ARE:',/,"
        "'   To read first file enter     -->  1ST QMX4',/,"
        "'   To read second file enter    -->  2ND QMX4',/,"
        "'   To read third file enter     -->  3RD QMX4',/,"
        "'   To read fourth file enter    -->  4TH QMX4',/,"
        "'   To read fifth file enter     -->  5TH QMX4',/,"
        "'   To put above pieces together -->  MERGE EM',/,"
        "'   To leave this routine enter  -->  EXIT    ',/)",
    .name_prompts = {" Enter name of 1st QMX4 binary file", " Enter name of 2ND QMX4 binary file",
                     " Enter name of 3rd QMX4 binary file", " Enter name of 4th QMX4 binary file",
                     " Enter name of 5th QMX4 binary file"},
    .totals = "(/,I5,' TIME STEPS MERGED TO UNIT 70 ... FIRST=',F12.6,/,39X,'LAST=',F12.6,/)",
    .closing_line = " ========== Closing active files from R4MERGE =========",
    .closed = "('  ==== MERGED QMX4 file named -->',A,/,'  ==== Closed with',I6,' time steps',/)",
    .slots = 5,
    .output_unit = kTransportMergedUnit,
    .first_input_unit = kTransportFirstInputUnit,
    .end_of_input_at_flag_exits = false,
    .name_dialogue_first = false,
    .same_file_continues = false,
    .rewind_next_input = false,
    .damaged_step_ends_file = false,
    .start = nullptr,
    .open_input = OpenTransportInput,
    .read_step = ReadMergeStep,
    .step_time = StepTime,
    .step_counts = CountsOfStep,
    .write_step = WriteMergeStep,
    .after_input = nullptr,
    .after_close = CompareGeometry,
};

}  // namespace

void R4MERG(Session& s) { RunMerge(s, kTransportMerge); }

}  // namespace korvant
