#include "dialogue/dialogue.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvant {
namespace {

constexpr int kDcodeWidth = 20;
constexpr int kImpliedDecimals = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads "digits" at text[*i]; returns how many there were.
size_t Digits(std::string_view text, size_t* i, std::string* into) {
  size_t start = *i;
  while (*i < text.size() && IsDigit(text[*i])) into->push_back(text[(*i)++]);
  return *i - start;
}

// A real number as written on a console line: [sign] mantissa [exponent],
// where the exponent is a letter E, D or Q with an optional sign, or a bare
// sign, followed by digits. Fills the decimal text for strtof.
bool ScanReal(std::string_view text, std::string* mantissa, bool* has_point, long* exponent) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) mantissa->push_back(text[i++]);
  size_t digits = Digits(text, &i, mantissa);
  *has_point = false;
  if (i < text.size() && text[i] == '.') {
    *has_point = true;
    mantissa->push_back(text[i++]);
    digits += Digits(text, &i, mantissa);
  }
  if (digits == 0) return false;
  *exponent = 0;
  if (i == text.size()) return true;
  char c = text[i];
  if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q')
    ++i;
  else if (c != '+' && c != '-')
    return false;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string exp_digits;
  if (Digits(text, &i, &exp_digits) == 0 || i != text.size()) return false;
  // Beyond nine digits the value overflows or vanishes either way.
  long e = exp_digits.size() > 9 ? 999999999L : std::strtol(exp_digits.c_str(), nullptr, 10);
  *exponent = negative ? -e : e;
  return true;
}

bool ToFloat(const std::string& mantissa, long exponent, float* out) {
  std::string text = mantissa + "e" + std::to_string(exponent);
  float value = std::strtof(text.c_str(), nullptr);
  // Only overflow is refused. A number that underflows comes back as the
  // nearest float there is (subnormal or zero), with ERANGE that is no error.
  if (std::isinf(value)) return false;
  *out = value;
  return true;
}

bool ParseRealToken(std::string_view token, float* out) {
  std::string mantissa;
  bool has_point;
  long exponent;
  return ScanReal(token, &mantissa, &has_point, &exponent) && ToFloat(mantissa, exponent, out);
}

bool ParseIntToken(std::string_view token, int32_t* out) {
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  if (i == token.size()) return false;
  int64_t value = 0;
  for (; i < token.size(); ++i) {
    if (!IsDigit(token[i])) return false;
    value = value * 10 + (token[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) return false;
  }
  value = negative ? -value : value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

// Walks the values of a free-form line: blanks or one comma separate them, two
// commas in a row leave a value out, and a slash ends the line early.
template <typename Fn>
bool ForEachFreeValue(std::string_view line, int count, Fn&& take) {
  int index = 0;
  bool after_value = false;
  size_t i = 0;
  while (index < count) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '/') break;
    if (line[i] == ',') {
      if (!after_value) ++index;
      after_value = false;
      ++i;
      continue;
    }
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i]) && line[i] != ',' && line[i] != '/') ++i;
    if (!take(index, line.substr(start, i - start))) return false;
    ++index;
    after_value = true;
  }
  return true;
}

}  // namespace

int TRMLEN(std::string_view field) {
  int length = static_cast<int>(field.size());
  for (int p = length; p >= 1; --p) {
    unsigned char c = static_cast<unsigned char>(field[static_cast<size_t>(p - 1)]);
    if (c > 32 && c < 127) return p;
  }
  return length;
}

bool DecodeFixedField(std::string_view field, float* number) {
  // Blanks inside the field do not count.
  std::string packed;
  for (char c : field) {
    if (c != ' ') packed.push_back(c);
  }
  if (packed.empty()) {
    *number = 0.0f;
    return true;
  }
  std::string mantissa;
  bool has_point;
  long exponent;
  if (!ScanReal(packed, &mantissa, &has_point, &exponent)) return false;
  if (!has_point) exponent -= kImpliedDecimals;
  return ToFloat(mantissa, exponent, number);
}

void DCODE(Console& console, float* number, float default_value) {
  std::string field = console.MustReadField(kDcodeWidth);
  if (field.find_first_not_of(' ') == std::string::npos) {
    *number = default_value;
    return;
  }
  int n = TRMLEN(field);
  if (field.find('.') >= static_cast<size_t>(n)) {
    // A whole number gets ".0" behind it, as far as it fits, so that it is not
    // scaled by the ten implied decimals.
    if (n < kDcodeWidth) field[static_cast<size_t>(n)] = '.';
    if (n + 1 < kDcodeWidth) field[static_cast<size_t>(n + 1)] = '0';
  }
  if (!DecodeFixedField(field, number)) Console::FailConversion();
}

bool ParseFreeReals(std::string_view line, float* values, int count) {
  return ForEachFreeValue(line, count, [&](int index, std::string_view token) {
    return ParseRealToken(token, &values[index]);
  });
}

bool ParseFreeInt(std::string_view line, int32_t* value) {
  return ForEachFreeValue(line, 1,
                          [&](int, std::string_view token) { return ParseIntToken(token, value); });
}

bool ReadFreeReal(Console& console, float* value) {
  std::optional<std::string> line = console.ReadLine();
  if (!line) return false;
  if (!ParseFreeReals(*line, value, 1)) Console::FailConversion();
  return true;
}

bool ReadFreeInt(Console& console, int32_t* value) {
  std::optional<std::string> line = console.ReadLine();
  if (!line) return false;
  if (!ParseFreeInt(*line, value)) Console::FailConversion();
  return true;
}

bool ReadFreeHours(Console& console, float* start, float* end) {
  std::optional<std::string> line = console.ReadLine();
  if (!line) return false;
  float hours[2] = {*start, *end};
  if (!ParseFreeReals(*line, hours, 2)) Console::FailConversion();
  *start = hours[0];
  *end = hours[1];
  return true;
}

namespace {
std::optional<char> ReadAnswer(Session& s) {
  std::optional<std::string> answer = s.console.ReadField(kAnswerChars);
  if (!answer) return std::nullopt;
  std::memcpy(s.dms.ANS, answer->data(), kAnswerChars);
  return (*answer)[0];
}
}  // namespace

std::optional<bool> AskYesUnlessN(Session& s) {
  std::optional<char> first = ReadAnswer(s);
  if (!first) return std::nullopt;
  return *first != 'N' && *first != 'n';
}

std::optional<bool> AskNoUnlessY(Session& s) {
  std::optional<char> first = ReadAnswer(s);
  if (!first) return std::nullopt;
  return *first == 'Y' || *first == 'y';
}

std::string TrimName(std::string_view field) {
  size_t begin = field.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = field.find_last_not_of(' ');
  return std::string(field.substr(begin, end - begin + 1));
}

void SetField(char* field, int width, std::string_view text) {
  size_t n = std::min(text.size(), static_cast<size_t>(width));
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', static_cast<size_t>(width) - n);
}

std::optional<std::string> AskName(Session& s, std::string_view prompt, char* field) {
  s.out().Line(prompt);
  std::optional<std::string> answer = s.console.ReadField(kNameChars, Answer::kFileName);
  if (!answer) return std::nullopt;
  SetField(field, kNameChars, *answer);
  return TrimName(*answer);
}

bool InputNameDialogue(Session& s, std::string_view prompt, std::string_view not_found, char* field,
                       int unit) {
  for (;;) {
    std::optional<std::string> name = AskName(s, prompt, field);
    if (!name) return false;
    if (!IsRegularFile(*name)) {
      s.out().Line(not_found);
    } else if (s.InUse(*name, /*for_writing=*/false)) {
      s.out().Line(kInUseLine);
    } else {
      s.unit(unit).OpenExisting(unit, *name);
      return true;
    }
  }
}

bool OutputNameDialogue(Session& s, std::string_view prompt, char* field, int unit) {
  for (;;) {
    std::optional<std::string> name = AskName(s, prompt, field);
    if (!name) return false;
    if (name->empty()) continue;
    if (IsFifoOrSocket(*name)) {
      s.out().Line(kNotRegularLine);
      continue;
    }
    if (FileExists(*name)) {
      s.out().Line(" That file name already exists   OverWrite? ");
      std::string reply = s.console.MustReadField(kAnswerChars);
      std::memcpy(s.dms.ANS, reply.data(), kAnswerChars);
      if (reply.find_first_not_of(' ') == std::string::npos || reply[0] == 'N' || reply[0] == 'n') {
        s.dms.ANS[0] = 'N';
        continue;
      }
    }
    if (s.InUse(*name, /*for_writing=*/true)) {
      s.out().Line(kInUseLine);
      continue;
    }
    s.unit(unit).OpenForWriting(unit, *name);
    return true;
  }
}

}  // namespace korvant
