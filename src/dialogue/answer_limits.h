#pragma once

namespace korvant {

constexpr int kNameChars = 50;    // file-name answers
constexpr int kAnswerChars = 10;  // yes/no and flag answers

}  // namespace korvant
