#pragma once

#include "dialogue/session.h"

namespace korvant {

/// Merges up to five QMX4 files into one new QMX4 file.
void R4MERG(Session& s);
/// Averages the QMX4 file on unit 70 into a one-step file on unit 80.
void R4INT(Session& s);

}  // namespace korvant
