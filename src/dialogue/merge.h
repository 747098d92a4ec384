#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "dialogue/answer_limits.h"
#include "dialogue/session.h"
#include "formats/header.h"

namespace korvant {

constexpr int kMaxSlots = 5;

/// What one merge has done so far, shared by the merge loop and the family's
/// own steps.
struct MergeState {
  char INNAME[kMaxSlots][kNameChars] = {};  // a slot never chosen keeps 50 bytes of 0
  float TBEG[kMaxSlots] = {};
  float TEND[kMaxSlots] = {};
  int NDONE = 1;   // running number of the input file being processed
  int NFLAG = 10;  // further input files accepted
  int NTOTAL = 0;  // time steps written to the merged file
  float TFIRST = -99.0f;
  float TLAST = -99.0f;
  int last_slot = 0;    // slot chosen most recently (0-based)
  HeaderValues header;  // the merge's own header values, kept from file to file
};

/// A model family's merge: its texts, units and rules as data, and the few
/// steps that differ as functions. The loop itself is `RunMerge`.
struct MergeFamily {
  std::string_view summary_title;  // layout, e.g. ('1',/,'  MERGE TOGETHER - MULTIPLE QMX2 FILES')
  std::string_view purpose;        // console line
  std::string_view output_prompt;
  std::string_view flag_prompt;
  std::string_view menu;  // layout
  std::array<std::string_view, kMaxSlots> name_prompts;
  std::string_view totals;        // layout of the steps-merged summary
  std::string_view closing_line;  // console line before the merged file is closed
  std::string_view closed;        // layout with the merged file's name and NTOTAL
  int slots;
  int output_unit;
  int first_input_unit;             // unit of slot 1; slot s is on first + s - 1
  bool end_of_input_at_flag_exits;  // otherwise it is fatal
  bool name_dialogue_first;         // the name is asked until it exists, then the hours;
                                    // otherwise name and hours, then the existence test
  bool same_file_continues;         // a slot chosen again on the same file reads on
  bool rewind_next_input;           // after a file, rewind the next slot's open input
  bool damaged_step_ends_file;      // otherwise a damaged step is fatal

  /// Called once when the merge starts (may be null).
  void (*start)(Session& s);
  /// Reads the input's header (if the family has one), lists it and writes the
  /// extraction line. False after a header failure (its line written): the merge closes.
  bool (*open_input)(Session& s, MergeState& m, int slot);
  /// Reads the next time step into the blocks; counts beyond the arrays stop the run.
  ReadStatus (*read_step)(Session& s, RecordFile& in);
  float (*step_time)(const Session& s);
  /// The node and element counts of the step read last.
  void (*step_counts)(const Session& s, int32_t* nodes, int32_t* elements);
  void (*write_step)(Session& s, RecordFile& out);
  /// Called after each input file's steps were copied (may be null).
  void (*after_input)(Session& s, MergeState& m, int slot, int copied);
  /// Called at the very end, after the closing lines (may be null).
  void (*after_close)(Session& s);
};

/// The merge dialogue and copy, from the summary title to the closing lines.
void RunMerge(Session& s, const MergeFamily& family);

/// The banner block of the file just read, in the summary file.
void WriteBannerListing(Session& s, const char* name, int unit);
/// The summary line "IREC(1)= ... EXTRACT HRS ... TO ..." and an empty line.
void WriteExtractLine(Session& s, int32_t irec1, float start, float end);

}  // namespace korvant
