#include "dialogue/block_views.h"

namespace korvant {

HeaderText HeaderOf(DMS& d, char* title) {
  return HeaderText{d.BANNER, d.IREC, d.FREC, title, d.IBAN, d.ITITL};
}

Qmx2Step HydroStepOf(BLKR2& b, float* elevations) {
  return Qmx2Step{.time = b.TIME2,
                  .np = b.NP2,
                  .ne = b.NE2,
                  .vel = std::span(b.VEL),
                  .ndry = std::span(b.NDRY),
                  .imat = std::span(b.IMAT),
                  .elevations = std::span(elevations, MAXNODE)};
}

void Keep(const Qmx2Step& step, BLKR2& b) {
  b.TIME2 = step.time;
  b.NP2 = step.np;
  b.NE2 = step.ne;
}

Qmx4Step TransportStepOf(BLKR4& b) {
  return Qmx4Step{.time = b.TIME,
                  .nqal = b.NQAL,
                  .np = b.NP4,
                  .ne = b.NE4,
                  .conc = std::span(b.CONC),
                  .row = MAXNODE,
                  .imat = std::span(b.IMAT4)};
}

void Keep(const Qmx4Step& step, BLKR4& b) {
  b.TIME = step.time;
  b.NQAL = step.nqal;
  b.NP4 = step.np;
  b.NE4 = step.ne;
}

Qmx10Step ThreedStepOf(Session& s, int32_t ncnt) {
  BLKR10& b = s.blkr10;
  BLKR10_SED& sed = s.blkr10_sed;
  return Qmx10Step{.time = b.TIME,
                   .np = b.NP,
                   .ndf = b.NDF,
                   .ne = b.NE,
                   .ncnt = ncnt,
                   .icnt = std::span(sed.ICNT),
                   .vdof = std::span(b.VDOF),
                   .row = MAXNODE,
                   .rdat3 = std::span(s.blkr2.WSEL),
                   .rdat7 = std::span(sed.RDAT7),
                   .rdat8 = std::span(sed.RDAT8),
                   .imat = std::span(s.blkr2.IMAT),
                   .ndry = std::span(s.blkr2.NDRY),
                   .rnode = std::span(b.RNODE),
                   .relem = std::span(sed.RELEM)};
}

void Keep(const Qmx10Step& step, Session& s, int32_t* ncnt) {
  BLKR10& b = s.blkr10;
  b.TIME = step.time;
  b.NP = step.np;
  b.NDF = step.ndf;
  b.NE = step.ne;
  *ncnt = step.ncnt;
}

VeltoMesh MeshOf(Session& s) {
  BLKR2& b = s.blkr2;
  return VeltoMesh{.header = HeaderOf(s.dms, s.dms.TITLEG),
                   .np = b.NP,
                   .ne = b.NE,
                   .cord = std::span(b.CORD),
                   .ao = std::span(b.AO),
                   .nodeext = std::span(b.NODEEXT),
                   .nop = std::span(b.NOP),
                   .imat = std::span(b.IMAT),
                   .elemreal = std::span(b.ELEMREAL),
                   .elemint2 = std::span(b.ELEMINT2)};
}

}  // namespace korvant
