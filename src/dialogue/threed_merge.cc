#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/family_reads.h"
#include "dialogue/merge.h"
#include "dialogue/threed.h"
#include "dialogue/units.h"
#include "formats/qmx10.h"
#include "text/layout.h"

namespace korvant {
namespace {

void Start(Session& s) { s.dms.IREC[0] = 0; }

// No header to read or list: only the extraction line, with the IREC(1) that
// the merge set at its start.
bool OpenInput(Session& s, MergeState& m, int slot) {
  WriteExtractLine(s, s.dms.IREC[0], m.TBEG[slot], m.TEND[slot]);
  return true;
}

ReadStatus ReadStep(Session& s, RecordFile& in) {
  return ReadThreedStep(s, in, &s.blkr10_sed.NCNT).status();
}

float StepTime(const Session& s) { return s.blkr10.TIME; }

void CountsOfStep(const Session& s, int32_t* nodes, int32_t* elements) {
  *nodes = s.blkr10.NP;
  *elements = s.blkr10.NE;
}

void WriteStep(Session& s, RecordFile& out) {
  WriteQmx10Step(out, ThreedStepOf(s, s.blkr10_sed.NCNT));
}

void AfterInput(Session& s, MergeState&, int, int copied) {
  WriteFree(s.out(), {" JUST wrote ", copied,
                      " 3D time steps on file= ", FieldView(s.dms.FNAME, kNameChars)});
}

constexpr MergeFamily kThreedMerge = {
    .summary_title = "('1',/,'  MERGE TOGETHER - MULTIPLE QMX10 FILES')",
    .purpose = "  PURPOSE -->  MERGE together - MULTIPLE QMX10 files",
    .output_prompt = " Enter name of QMX10 MERGED file to be created",
    .flag_prompt = " Enter flag identifier or (?) for menu",
    .menu =
        "(' VALID FLAG OPTIONS FOR QMX10 MERGE ARE:',/,"
        "'   To read first file enter     -->  1ST QMX10',/,"
        "'   To read second file enter    -->  2ND QMX10',/,"
        "'   To read third file enter     -->  3RD QMX10',/,"
        "'   To leave this routine enter  -->  EXIT    ',/)",
    .name_prompts = {" Enter name of 1st QMX10 primary binary file",
                     " Enter name of 2ND QMX10 primary binary file",
                     " Enter name of 3rd QMX10 primary binary file", "", ""},
    .totals = "(/,I5,' TIME STEPS MERGED TO UNIT 90 ... FIRST=',F12.6,/,39X,'LAST=',F12.6,/)",
    .closing_line = " ========== Closing active files from R10MERGE =========",
    .closed =
        "('  ==== MERGED QMX10 file named --> ',A,/,'  ==== Closed with',I8,"
        "' time steps',/,'  ======================================================')",
    .slots = 3,
    .output_unit = kThreedMergedUnit,
    .first_input_unit = kThreedFirstInputUnit,
    .end_of_input_at_flag_exits = false,
    .name_dialogue_first = true,
    .same_file_continues = false,
    .rewind_next_input = true,
    .damaged_step_ends_file = true,
    .start = Start,
    .open_input = OpenInput,
    .read_step = ReadStep,
    .step_time = StepTime,
    .step_counts = CountsOfStep,
    .write_step = WriteStep,
    .after_input = AfterInput,
    .after_close = nullptr,
};

}  // namespace

void R10MERG(Session& s) { RunMerge(s, kThreedMerge); }

}  // namespace korvant
