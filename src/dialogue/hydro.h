#pragma once

#include "dialogue/session.h"

namespace korvant {

/// Merges up to ten readings of five QMX2 files into one new QMX2 file.
void R2MERG(Session& s);
/// Averages the QMX2 file on unit 50 into a one-step file on unit 60.
void R2INT(Session& s);

}  // namespace korvant
