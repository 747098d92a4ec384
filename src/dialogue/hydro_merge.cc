#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/hydro.h"
#include "dialogue/merge.h"
#include "dialogue/refusals.h"
#include "dialogue/units.h"
#include "formats/qmx2.h"
#include "text/layout.h"

namespace korvant {
namespace {

bool OpenHydroInput(Session& s, MergeState& m, int slot) {
  int unit = kHydroFirstInputUnit + slot;
  RecordFile& in = s.unit(unit);
  HeaderValues& h = m.header;
  ReadResult result = DetectForm(in, &h);
  if (result.ok()) {
    WriteFree(s.out(), {" -->  1st integer on QMX2 binary=", h.ITEST});
    result = ReadHeader(in, &h, HeaderOf(s.dms, s.dms.TITLE2));
    CheckHeader(s, in, h, result);
  }
  if (!result.ok()) {
    WriteLayout(s.summary, "(' END OF FILE WHILE READING UNIT =',I2,' SUB R2MERGE')", {unit});
    return false;
  }
  if (h.integer_coded()) {
    s.blkr2.NP2 = h.np;
    s.blkr2.NE2 = h.ne;
  }
  if (m.NDONE == 1) {
    s.out().Line(h.integer_coded() ? " --> WRITE INTEGER/CHAR BANNERS TO UNIT=50"
                                   : " --> WRITE CHARACTER BANNERS TO UNIT=50");
    WriteHeader(s.unit(kHydroMergedUnit), h, HeaderOf(s.dms, s.dms.TITLE2), h.np, h.ne);
  }
  WriteFree(s.out(), {" --> Your QMX2 has a version # of ", h.IVERS});
  WriteBannerListing(s, m.INNAME[slot], unit);
  WriteExtractLine(s, s.dms.IREC[0], m.TBEG[slot], m.TEND[slot]);
  return true;
}

bool MergeLong(const Session& s) { return s.dms.IREC[0] >= kMergeLongFrom; }

ReadStatus ReadMergeStep(Session& s, RecordFile& in) {
  return ReadHydroStep(s, in, MergeLong(s), s.blkr2.WSEL).status();
}

float StepTime(const Session& s) { return s.blkr2.TIME2; }

void CountsOfStep(const Session& s, int32_t* nodes, int32_t* elements) {
  *nodes = s.blkr2.NP2;
  *elements = s.blkr2.NE2;
}

void WriteMergeStep(Session& s, RecordFile& out) {
  WriteQmx2Step(out, HydroStepOf(s.blkr2, s.blkr2.WSEL), MergeLong(s));
}

constexpr MergeFamily kHydroMerge = {
    .summary_title = "('1',/,'  MERGE TOGETHER - MULTIPLE QMX2 FILES')",
    .purpose = "  PURPOSE -->  MERGE together - MULTIPLE QMX2 files",
    .output_prompt = " Enter name of QMX2 MERGED file to be created",
    .flag_prompt = " Enter flag identifier or (?) for menu",
    .menu =
        "(' VALID FLAG OPTIONS FOR QMX2 MERGE ARE:',/,"
        "'   To read first file enter     -->  1ST QMX2',/,"
        "'   To read second file enter    -->  2ND QMX2',/,"
        "'   To read third file enter     -->  3RD QMX2',/,"
        "'   To read fourth file enter    -->  4TH QMX2',/,"
        "'   To read fifth file enter     -->  5TH QMX2',/,"
        "'   To leave this routine enter  -->  EXIT    ',/)",
    .name_prompts = {" Enter name of 1st QMX2 binary file", " Enter name of 2ND QMX2 binary file",
                     " Enter name of 3rd QMX2 binary file", " Enter name of 4th QMX2 binary file",
                     " Enter name of 5th QMX2 binary file"},
    .totals = "(/,I5,' TIME STEPS MERGED TO UNIT 50 ... FIRST=',F12.6,/,39X,'LAST=',F12.6,/)",
    .closing_line = " ========= Closing active files from R2MERGE =========",
    .closed = "('  ==== MERGED QMX2 file named -->',A,/,'  ==== Closed with',I6,' time steps',/)",
    .slots = 5,
    .output_unit = kHydroMergedUnit,
    .first_input_unit = kHydroFirstInputUnit,
    .end_of_input_at_flag_exits = true,
    .name_dialogue_first = false,
    .same_file_continues = true,
    .rewind_next_input = true,
    .damaged_step_ends_file = false,
    .start = nullptr,
    .open_input = OpenHydroInput,
    .read_step = ReadMergeStep,
    .step_time = StepTime,
    .step_counts = CountsOfStep,
    .write_step = WriteMergeStep,
    .after_input = nullptr,
    .after_close = nullptr,
};

}  // namespace

void R2MERG(Session& s) { RunMerge(s, kHydroMerge); }

}  // namespace korvant
