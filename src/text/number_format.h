#pragma once

#include <cstdint>
#include <string>

namespace korvant {

/// Appends `value` as Fw.d: correctly rounded from the exact 32-bit value, ties
/// to even; the sign of a negative value kept even when it rounds to zero; a
/// zero before the point only when it fits; w asterisks when it does not fit.
void AppendFixed(std::string* out, float value, int width, int decimals);

/// Appends `value` as Iw (w asterisks when it does not fit).
void AppendInt(std::string* out, int32_t value, int width);

/// Free-form numbers: an integer right-aligned in 12 columns; a real in 15
/// columns, for 0.1 <= |x| < 1E7 in fixed-point form with 7 significant digits
/// in 11 columns and 4 blanks behind, otherwise as "0.1000000E+08".
void AppendFreeInt(std::string* out, int32_t value);
void AppendFreeReal(std::string* out, float value);

/// The shortest decimal text that reads back as `value`: "36", "0.25", "1e+20", "nan".
std::string ShortestText(float value);

}  // namespace korvant
