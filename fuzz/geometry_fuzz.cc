// The geometry reader on any bytes: it reads the file, or stops with its own
// line, or ends the run with a read diagnostic; counts beyond the arrays are
// refused before anything is stored.

#include <sstream>

#include "dialogue/geometry.h"
#include "dialogue/session.h"
#include "formats/limits.h"
#include "fuzz_support.h"

namespace korvant::fuzz {

int GeometryTarget(const uint8_t* data, size_t size) {
  const std::string path =
      ScratchFile("geometry", std::string_view(reinterpret_cast<const char*>(data), size));
  static std::ostringstream console;
  Session& s = FreshSession(console);
  console.str("");
  try {
    s.unit(kGeometryUnit).OpenExisting(kGeometryUnit, path);
    ReadGeometry(s);
    FUZZ_CHECK(s.blkr2.NP <= MAXNODE && s.blkr2.NE <= MAXELEM, "counts beyond the arrays kept");
    FUZZ_CHECK(!s.unit(kGeometryUnit).is_open(), "the geometry file was left open");
    s.out().Flush();
    FUZZ_CHECK(console.str().find(" --> VELTO geometry file read AOK\n") != std::string::npos,
               "a geometry read without its report");
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(GeometryTarget)
