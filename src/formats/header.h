#pragma once

#include <cstdint>

#include "dialogue/session.h"
#include "io/record_file.h"

namespace korvant {

/// The header of a QMX2 or QMX4 file. Its first integer (`ITEST`) tells the
/// form: above 200 the character form (C1 banner text, C2 40 integers and 40
/// reals, C3 title text), otherwise the integer-coded form (H1 MFLG, IVERS and
/// the node and element counts; H2 banner codes; H3 header integers and reals;
/// H4 title codes, each array after its count).
///
/// The values an operation keeps for itself; they carry over from one file to
/// the next within an operation and start as zeros.
struct HeaderValues {
  int32_t ITEST = 0;
  int32_t MFLG = 0;
  int32_t IVERS = 0;
  int32_t NBAN = 0, NIREC = 0, NFREC = 0, NTITL = 0;
  int32_t np = 0, ne = 0;  // node and element counts of H1
  bool integer_coded() const { return ITEST <= kIntegerCodedMax; }
  /// Header records to pass over to reach the first time step.
  int records() const { return integer_coded() ? 4 : 3; }
};

/// Reads the first record taking `ITEST` only, then rewinds. A status other
/// than kOk is the caller's to handle.
ReadStatus DetectForm(RecordFile& f, HeaderValues* h);

/// Reads the header in the form `ITEST` chose into `DMS` (banner, `IREC`,
/// `FREC`, the codes) and `title`, converting the codes of an integer-coded
/// header into text. Returns the status of the first record (C1 or H1), which
/// is the caller's to handle; later header records are read or the run ends.
/// An integer-coded header whose counts exceed the arrays is refused with the
/// dimension report and the stop "DIM", before anything is stored beyond them.
ReadStatus ReadHeader(Session& s, RecordFile& f, HeaderValues* h, char* title);

/// Writes the header just read to `out`: the character form from `DMS` and
/// `title`; the integer-coded form with the values and codes as read, H1
/// carrying the counts `np` and `ne`.
void CopyHeader(Session& s, RecordFile& out, const HeaderValues& h, const char* title,
                int32_t np, int32_t ne);

/// The five dimension lines and the stop "DIM".
[[noreturn]] void DimensionStop(Session& s, int64_t np, int64_t ne);

}  // namespace korvant
