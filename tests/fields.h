#pragma once

// Expected text, one layout item at a time: transcript tests build each line
// from its layout (Iw, Fw.d, Aw, nX) with these, never from what the program
// printed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace korvant {

/// nX.
inline std::string Blanks(size_t n) { return std::string(n, ' '); }

/// A text field of n characters (Aw with a longer value, or an answer field).
inline std::string Pad(std::string_view text, size_t n) {
  std::string field(text.substr(0, std::min(text.size(), n)));
  field.resize(n, ' ');
  return field;
}

/// Iw: right-aligned in w columns, w asterisks when it does not fit.
inline std::string I(int32_t value, int w) {
  std::string digits = std::to_string(value);
  if (digits.size() > static_cast<size_t>(w)) return std::string(static_cast<size_t>(w), '*');
  return Blanks(static_cast<size_t>(w) - digits.size()) + digits;
}

/// Fw.d: rounded to d decimals, right-aligned; the zero before the point only
/// when there is room for it; w asterisks when it does not fit.
inline std::string F(float value, int w, int d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", d, static_cast<double>(value));
  std::string text = buffer;
  if (text.size() > static_cast<size_t>(w) && text.rfind("0.", 0) == 0) text.erase(0, 1);
  if (text.size() > static_cast<size_t>(w) && text.rfind("-0.", 0) == 0) text.erase(1, 1);
  if (text.size() > static_cast<size_t>(w)) return std::string(static_cast<size_t>(w), '*');
  return Blanks(static_cast<size_t>(w) - text.size()) + text;
}

/// A free-form console line: the quoted text, then an integer in 12 columns.
inline std::string FreeInt(std::string_view text, int32_t value) {
  return std::string(text) + I(value, 12);
}

}  // namespace korvant
