#pragma once

#include "dialogue/session.h"
#include "dialogue/units.h"

namespace korvant {

/// Reads the VELTO geometry file open on unit 40 into `DMS` and `BLKR2`,
/// writes the two report lines and closes the unit. An empty file or a
/// damaged first header record stops the run with its message; a damaged later
/// record ends it with the read diagnostic; counts beyond the arrays are refused.
void ReadGeometry(Session& s);

}  // namespace korvant
