#pragma once

#include "dialogue/session.h"

namespace korvant {

/// Merges up to three QMX10 files into one new QMX10 file.
void R10MERG(Session& s);
/// Averages the QMX10 file on unit 95 into a one-record file on unit 90.
void R10INT(Session& s);

}  // namespace korvant
