#pragma once

#include <cstdint>

#include "text/text_sink.h"

namespace korvant {

/// Most character codes one conversion may handle (the size of `IBAN`).
constexpr int kMaxPack = 1200;

/// Converts between text lines laid out with a pitch of 80 characters and an
/// array of character codes, one per character: the first LENGTH characters of
/// each of NLINES lines, line after line without gaps.
/// `ISWTCH` 1: text to codes (byte values 0-255); 2: codes to text (lowest 8
/// bits of each code). Any other direction writes a message and changes nothing.
/// LENGTH x NLINES > 1200 or LENGTH > 1200 writes the messages, the stop text
/// "CONVRT" and stops the run. `text` must hold (NLINES-1)*80+LENGTH characters.
/// Codes to text, as `CONVRT` direction 2 does, for sizes within kMaxPack:
/// the first `length` characters of each of `lines` lines of 80.
void CodesToText(const int32_t* codes, char* text, int lines, int length);

void CONVRT(char* text, int32_t NLINES, int32_t* codes, int32_t LENGTH, int32_t ISWTCH,
            TextSink& console);

}  // namespace korvant
