#include "dialogue/geometry.h"

#include "dialogue/block_views.h"
#include "dialogue/dialogue.h"
#include "dialogue/exit_status.h"
#include "dialogue/refusals.h"
#include "formats/velto.h"
#include "text/layout.h"

namespace korvant {

void ReadGeometry(Session& s) {
  RecordFile& f = s.unit(kGeometryUnit);
  VeltoMesh mesh = MeshOf(s);
  const ReadResult result = ReadVelto(f, mesh);
  s.blkr2.NP = mesh.np;
  s.blkr2.NE = mesh.ne;
  if (result.outcome == Outcome::kTooLarge) RefuseCount(s, "VELTO file", result.too_large);
  if (!result.ok() && result.part == 1) {
    // The first record is read with a handler: end of file and damage stop the run.
    s.out().Line(result.outcome == Outcome::kEndOfFile
                     ? " --> Unexpected end-of-file on VELTO read"
                     : " --> ERROR during read of VELTO binary file");
    Stop();
  }
  MustRead(f, result);
  s.out().Line(" --> VELTO geometry file read AOK");
  WriteLayout(s.out(), "(/,' VELTO=',A77,/,6X,2I8)",
              {FieldView(s.dms.TITLEG, kTitleChars), s.blkr2.NP, s.blkr2.NE});
  f.Close();
}

}  // namespace korvant
