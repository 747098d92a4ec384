#pragma once

#include "dialogue/session.h"
#include "formats/header.h"
#include "formats/qmx10.h"
#include "formats/qmx2.h"
#include "formats/qmx4.h"
#include "formats/velto.h"

namespace korvant {

// The shared blocks seen as the values the file formats read and write. A
// view carries the block's counts in and `Keep` carries what a read left
// back, so the blocks change exactly as a read into them changes them.

/// `DMS` as a header's text and numbers, with the family's title.
HeaderText HeaderOf(DMS& d, char* title);

/// The QMX2 step of `BLKR2`, its elevations in `elevations` (MAXNODE slots).
Qmx2Step HydroStepOf(BLKR2& b, float* elevations);
void Keep(const Qmx2Step& step, BLKR2& b);

/// The QMX4 step of `BLKR4`.
Qmx4Step TransportStepOf(BLKR4& b);
void Keep(const Qmx4Step& step, BLKR4& b);

/// The QMX10 step of `BLKR10` and `BLKR10_SED`, with IMAT and NDRY of
/// `BLKR2` and RDAT3 in `BLKR2.WSEL`, and `ncnt` as its count-list length.
Qmx10Step ThreedStepOf(Session& s, int32_t ncnt);
void Keep(const Qmx10Step& step, Session& s, int32_t* ncnt);

/// The geometry of `BLKR2` with the header of `DMS` and `TITLEG`.
VeltoMesh MeshOf(Session& s);

}  // namespace korvant
