#include "text/convrt.h"

#include "io/run_aborted.h"

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

void CONVRT(char* text, int32_t NLINES, int32_t* codes, int32_t LENGTH, int32_t ISWTCH,
            TextSink& console) {
  bool too_big = false;
  if (static_cast<int64_t>(LENGTH) * NLINES > kMaxPack) {
    console.Line(" Error in CONVRT ... LENGTH & SIZE are inconsistant");
    console.Line("          with dimension capabilities");
    too_big = true;
  }
  if (LENGTH > kMaxPack) {
    console.Line(" Error in CONVRT ... size larger than 1200");
    too_big = true;
  }
  if (too_big) {
    console.Line("CONVRT");
    Stop();
  }
  if (ISWTCH != 1 && ISWTCH != 2) {
    console.Line(" --> Value of ISWTCH invalid in CONVRT");
    return;
  }
  int k = 0;
  for (int i = 0; i < NLINES; ++i) {
    char* line = text + static_cast<int64_t>(i) * kLinePitch;
    for (int j = 0; j < LENGTH; ++j, ++k) {
      if (ISWTCH == 1) {
        codes[k] = static_cast<unsigned char>(line[j]);
      } else {
        line[j] = static_cast<char>(static_cast<unsigned char>(codes[k] & 0xFF));
      }
    }
  }
}

}  // namespace korvant
