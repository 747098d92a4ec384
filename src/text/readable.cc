#include "text/readable.h"

#include <cstdio>

namespace korvant {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the sequence `lead` begins and the range its second byte
// must fall in (which rules out overlong forms, surrogates and code points
// past U+10FFFF); 0 for a byte that begins none.
struct Lead {
  int length;
  unsigned char low, high;
};

Lead LeadOf(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    if (byte(i) < 0x80) {
      out += bytes[i++];
      continue;
    }
    Lead lead = LeadOf(byte(i));
    size_t end = i + 1;
    for (int k = 1; k < lead.length && end < bytes.size(); ++k, ++end) {
      if (byte(end) < lead.low || byte(end) > lead.high) break;
      lead.low = 0x80;
      lead.high = 0xBF;
    }
    if (lead.length > 0 && end - i == static_cast<size_t>(lead.length)) {
      out += bytes.substr(i, end - i);
    } else {
      out += kReplacement;
    }
    i = end;
  }
  return out;
}

std::string Counted(int64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string HourWords(float hour) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(hour));
  return text;
}

}  // namespace korvant
