#include "dialogue/refusals.h"

#include <string>

#include "dialogue/exit_status.h"
#include "text/layout.h"

namespace korvant {

void MustRead(const RecordFile& in, const ReadResult& result) {
  if (!result.ok()) in.FailRead(result.status());
}

void RefuseCount(Session& s, std::string_view file_kind, const Oversize& count) {
  std::string line = " *** " + std::string(file_kind) + " refused: " + std::string(count.count) +
                     " = " + std::to_string(count.value) +
                     " is more than this program's limit of " + std::to_string(count.limit);
  s.out().Line(line);
  Stop();
}

void DimensionStop(Session& s, int64_t np, int64_t ne) {
  TextSink& out = s.out();
  out.Line(" *** Array dimension over-run problem *** ");
  WriteFree(out, {" --> Maximum allowed # of nodes =", MAXNODE});
  WriteFree(out, {" --> Your file has ", static_cast<int32_t>(np), " nodes"});
  WriteFree(out, {" --> Maximum allowed # of elements =", MAXELEM});
  WriteFree(out, {" --> Your file has ", static_cast<int32_t>(ne), " elements"});
  out.Line("DIM");
  Stop();
}

void HydroOverRun(Session& s, int32_t np, int32_t ne) {
  TextSink& out = s.out();
  out.Line(" ========== ARRAY OVER-RUN OCCURING ============");
  WriteFree(out, {" ==== JUST read QMX2 with=", ne, np, " Elem-Nodes"});
  WriteFree(out, {" ==== Code dimensions are=", MAXELEM, MAXNODE, "  FIX IT!"});
  out.Line(" ========== Array over-Run STOP Now ============");
  Stop();
}

}  // namespace korvant
