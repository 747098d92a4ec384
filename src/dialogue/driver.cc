#include "dialogue/driver.h"

#include <exception>
#include <optional>

#include "dialogue/dialogue.h"
#include "dialogue/geometry.h"
#include "dialogue/hydro.h"
#include "dialogue/session.h"
#include "dialogue/threed.h"
#include "dialogue/transport.h"
#include "dialogue/units.h"
#include "io/run_aborted.h"
#include "text/layout.h"

namespace korvant {
namespace {

// One averaging block of the driver: its questions, its units and its operation.
struct AverageBlock {
  std::string_view question;
  std::string_view output_prompt;
  std::string_view input_prompt;
  int input_unit;
  int output_unit;
  bool end_of_input_asks_again;  // at the output prompt: back to the question, else fatal
  void (*operation)(Session&);
};

constexpr AverageBlock kHydroAverage = {" Do you want to average (INTEGRATE) the QMX-2 data?",
                                        " Enter QMX2 integrated file name to be created",
                                        " Enter name of QMX2 file to read from",
                                        kHydroAverageInputUnit,
                                        kHydroAverageOutputUnit,
                                        true,
                                        R2INT};
constexpr AverageBlock k3dAverage = {" Do you want to average (INTEGRATE) the QMX-10 data?",
                                     " Enter QMX10 integrated file name to be created",
                                     " Enter name of QMX10 file to read from",
                                     kThreedAverageInputUnit,
                                     kThreedAverageOutputUnit,
                                     false,
                                     R10INT};
constexpr AverageBlock kTransportAverage = {" Do you want to average (INTEGRATE) the QMX-4 data?",
                                            " Enter QMX4 averaged file name to be created",
                                            " Enter name of QMX4 file to read from",
                                            kTransportAverageInputUnit,
                                            kTransportAverageOutputUnit,
                                            false,
                                            R4INT};

constexpr std::string_view kNoSuchFile = " Sorry ... no such file name ... try again";

bool AskYes(Session& s, std::string_view question) {
  s.out().Line(question);
  std::optional<bool> yes = AskYesUnlessN(s);
  if (!yes) Console::FailEndOfInput();
  return *yes;
}

void Greet(Session& s) {
  TextSink& out = s.out();
  out.Line(" ********************************************");
  out.Line(" ******* PROGRAM MERGE AND/OR AVERAGE *******");
  out.Line(" *** Manipulates VELTO, QMX2, QMX4, QMX10 ***");
  out.Line(" ***    Last Modified:  Aug 9, 1999    ***");
  out.Line(" ********************************************");
  WriteLayout(out,
              "(/,' Dimensioned for ',I6,' Elements, and ',I6,' Nodes',/,"
              "' Program KORVANTv30 was last modified 08-09-1999')",
              {MAXELEM, MAXNODE});
  out.Line(" ********************************************");
}

// The merge questions. End of input at the geometry question goes back to the
// QMX-4 merge question; returns whether the geometry file is wanted.
bool MergeQuestions(Session& s) {
  if (AskYes(s, " Do you need to merge together QMX-2 files? ")) R2MERG(s);
  for (;;) {
    if (AskYes(s, " Do you need to merge together QMX-4 files? ")) R4MERG(s);
    if (AskYes(s, " Do you need to merge together QMX-10 files? ")) {
      s.out().Line(" I HOPE you know this will be lots of I/O");
      R10MERG(s);
    }
    s.out().Line(" Do you want to read VELTO binary file");
    std::optional<bool> yes = AskYesUnlessN(s);
    if (yes) return *yes;
  }
}

void Geometry(Session& s) {
  char name[kNameChars];
  if (!InputNameDialogue(s, " Enter VELTO Binary file name",
                         " Sorry ... no such VELTO file name ... try again", name, kGeometryUnit)) {
    Console::FailEndOfInput();
  }
  s.out().Line(" ENTER DATUM (Make it 0.0 for WSELEV array to be OK)");
  float datum = 0.0f;  // asked for and accepted; nothing uses it
  if (!ReadFreeReal(s.console, &datum)) Console::FailEndOfInput();
  ReadGeometry(s);
}

void Average(Session& s, const AverageBlock& block) {
  char output_name[kNameChars];
  for (;;) {
    if (!AskYes(s, block.question)) return;
    if (OutputNameDialogue(s, block.output_prompt, output_name, block.output_unit)) break;
    if (!block.end_of_input_asks_again) Console::FailEndOfInput();
  }
  // End of input at the input prompt asks once more; a second end of input is final.
  bool ended_once = false;
  while (!InputNameDialogue(s, block.input_prompt, kNoSuchFile, s.dms.FNAME, block.input_unit)) {
    if (ended_once) Console::FailEndOfInput();
    ended_once = true;
  }
  block.operation(s);
  s.unit(block.input_unit).Close();
  s.unit(block.output_unit).Close();
}

void Run(Session& s) {
  SetField(s.dms.FNAME, kNameChars, "NULL");
  Greet(s);
  s.out().Line(" Enter Printed Output Summary File Name ");
  s.OpenSummary(TrimName(s.console.MustReadField(kNameChars, Answer::kFileName)));
  if (MergeQuestions(s)) Geometry(s);
  Average(s, kHydroAverage);
  Average(s, k3dAverage);
  Average(s, kTransportAverage);
  s.out().Line(" ****** Program Finished ******");
  s.CloseAll();
}

}  // namespace

int RunSession(std::istream& in, std::ostream& out, std::ostream& err, LineEditor* editor) {
  Session s(in, out, &err);
  s.console.set_editor(editor);
  int status = 0;
  try {
    Run(s);
  } catch (const RunAborted& abort) {
    if (!abort.diagnostic.empty()) err << "korvant: " << abort.diagnostic << '\n';
    status = abort.status;
  } catch (const std::exception& fault) {
    // A fault of the program itself (out of memory, a broken layout text):
    // still leave every file written out and say what happened.
    err << "korvant: internal error: " << fault.what() << '\n';
    status = kExitFailed;
  }
  // After an early end the files are still written out; a failure there is
  // reported on its own, since the end's message does not speak of it.
  const std::string failed = s.CloseAfterAbort();
  if (!failed.empty()) {
    err << "korvant: " << failed << '\n';
    status = kExitFailed;
  }
  err << std::flush;
  return status;
}

}  // namespace korvant
