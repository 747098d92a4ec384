#pragma once

#include <cstdint>

namespace korvant {

/// Turns an array of character codes, one per character, into text lines laid
/// out with a pitch of 80 characters: the first `length` characters of each of
/// `lines` lines, taken from the codes line after line without gaps, each the
/// lowest 8 bits of its code. `text` must hold (lines-1)*80+length characters;
/// nothing is written when `lines` or `length` is not positive.
void CodesToText(const int32_t* codes, char* text, int lines, int length);

}  // namespace korvant
