#include "text/char_codes.h"

namespace korvant {
namespace {
constexpr int kLinePitch = 80;
}  // namespace

void CodesToText(const int32_t* codes, char* text, int lines, int length) {
  int k = 0;
  for (int i = 0; i < lines; ++i) {
    char* line = text + static_cast<int64_t>(i) * kLinePitch;
    for (int j = 0; j < length; ++j, ++k) {
      line[j] = static_cast<char>(static_cast<unsigned char>(codes[k] & 0xFF));
    }
  }
}

}  // namespace korvant
