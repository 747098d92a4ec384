#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvant {

/// `bytes` as UTF-8 text for people and for JSON: each maximal part that does
/// not begin a well-formed UTF-8 sequence (a stray byte, a cut or overlong
/// sequence, a surrogate) becomes U+FFFD, so that a file name or title in
/// another encoding never makes a report or a picture fail.
std::string ValidUtf8(std::string_view bytes);

/// `n` and the noun, singular when `n` is 1: "1 step", "2 steps", "0 steps".
std::string Counted(int64_t n, std::string_view one, std::string_view many);

/// An hour in the engine's messages, as "%g" writes it: "48", "1.5", "-99".
std::string HourWords(float hour);

}  // namespace korvant
