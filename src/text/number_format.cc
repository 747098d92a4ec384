#include "text/number_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvant {
namespace {

using uint128 = unsigned __int128;

// Fw.d with w up to this is done in 128-bit arithmetic: d then stays at or
// below 38, so m * 5^d fits (m < 2^24), and any N = value * 10^d that
// overflows has more digits than fit in w anyway.
constexpr int kFastFixedWidth = 39;

constexpr int kFreeIntWidth = 12;
constexpr int kFreeRealWidth = 15;
constexpr int kFreeFixedWidth = 11;
constexpr int kFreeDigits = 7;  // significant digits of a free-form real

constexpr std::array<uint128, 39> MakePowers(unsigned base) {
  std::array<uint128, 39> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * base;
  return powers;
}
constexpr std::array<uint128, 39> kPow5 = MakePowers(5);
constexpr std::array<uint128, 39> kPow10 = MakePowers(10);
constexpr int kFast64Decimals = 12;  // 5^12 < 2^28, and m < 2^24
constexpr std::array<uint64_t, kFast64Decimals + 1> kPow5Small = [] {
  std::array<uint64_t, kFast64Decimals + 1> p{};
  p[0] = 1;
  for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 5;
  return p;
}();

void AppendStars(std::string* out, int width) {
  if (width > 0) out->append(static_cast<size_t>(width), '*');
}

void AppendRight(std::string* out, std::string_view text, int width) {
  if (static_cast<int>(text.size()) > width) return AppendStars(out, width);
  out->append(width - text.size(), ' ');
  out->append(text);
}

// `digits` is N = |value| * 10^d rounded, without leading zeros (empty for 0).
// The field is composed in place and appended once: listings write it per value.
void AppendFixedDigits(std::string* out, std::string_view digits, bool negative, int width,
                       int decimals) {
  const size_t d = static_cast<size_t>(decimals);
  const size_t int_len = digits.size() > d ? digits.size() - d : 0;
  int needed = static_cast<int>(negative + int_len + 1 + d);
  bool lead_zero = false;
  if (int_len == 0) {
    // "0." keeps a digit in the field; otherwise the zero goes first when short of room.
    lead_zero = decimals == 0 || needed < width;
    needed += lead_zero;
  }
  if (needed > width) return AppendStars(out, width);
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(width), ' ');
  char* p = out->data() + start + (width - needed);
  if (negative) *p++ = '-';
  if (lead_zero) *p++ = '0';
  p = std::copy_n(digits.data(), int_len, p);
  *p++ = '.';
  const std::string_view frac = digits.substr(int_len);
  p = std::fill_n(p, d - frac.size(), '0');
  std::copy(frac.begin(), frac.end(), p);
}

bool AppendNonFinite(std::string* out, float value, int width) {
  if (std::isfinite(value)) return false;
  const bool negative = std::signbit(value);
  std::string_view text = std::isnan(value) ? "NaN"
                          : negative        ? (width >= 9 ? "-Infinity" : "-Inf")
                                            : (width >= 8 ? "Infinity" : "Inf");
  AppendRight(out, text, width);
  return true;
}

// N = round(m * 2^e * 10^d), ties to even, for d <= 38; false when N
// overflows 128 bits.
bool ScaleFast(uint32_t m, int e, int d, uint128* n) {
  if (e >= 0) return !__builtin_mul_overflow(uint128{m} << e, kPow10[d], n);
  const int k = -e;
  if (k <= d) return !__builtin_mul_overflow(uint128{m} * kPow5[k], kPow10[d - k], n);
  const uint128 scaled = uint128{m} * kPow5[d];  // below 2^113
  const int shift = k - d;                       // value * 10^d = scaled / 2^shift
  if (shift >= 120) {
    *n = 0;
    return true;
  }
  const uint128 q = scaled >> shift;
  const uint128 rest = scaled - (q << shift);
  const uint128 half = uint128{1} << (shift - 1);
  *n = q + (rest > half || (rest == half && (q & 1) != 0));
  return true;
}

std::string_view U128Digits(uint128 n, std::array<char, 40>& buf) {
  if (n == 0) return {};
  char* end = buf.data() + buf.size();
  if (n <= UINT64_MAX) {
    auto result = std::to_chars(buf.data(), end, static_cast<uint64_t>(n));
    return {buf.data(), static_cast<size_t>(result.ptr - buf.data())};
  }
  char* p = end;
  for (; n != 0; n /= 10) *--p = static_cast<char>('0' + static_cast<int>(n % 10));
  return {p, static_cast<size_t>(end - p)};
}

// N = round(m * 2^e * 10^d), ties to even, as decimal digits without leading
// zeros: the exact decimal expansion of the value, rounded as a digit string.
// For fields too wide for ScaleFast.
std::string ScaleSlow(uint32_t m, int e, int d) {
  constexpr uint32_t kBase = 1000000000;
  std::vector<uint32_t> limbs{m};  // base 1e9, least significant first
  auto multiply = [&limbs](uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& limb : limbs) {
      const uint64_t t = uint64_t{limb} * factor + carry;
      limb = static_cast<uint32_t>(t % kBase);
      carry = t / kBase;
    }
    for (; carry != 0; carry /= kBase) limbs.push_back(static_cast<uint32_t>(carry % kBase));
  };
  // m * 2^-k == m * 5^k / 10^k, so a negative exponent only moves the point.
  int frac_digits = 0;
  if (e >= 0) {
    for (; e >= 29; e -= 29) multiply(uint32_t{1} << 29);
    multiply(uint32_t{1} << e);
  } else {
    frac_digits = -e;
    int k = frac_digits;
    for (; k >= 13; k -= 13) multiply(1220703125);  // 5^13
    multiply(static_cast<uint32_t>(kPow5[k]));
  }
  std::string s = std::to_string(limbs.back());
  for (size_t i = limbs.size() - 1; i-- > 0;) {
    std::string part = std::to_string(limbs[i]);
    s.append(9 - part.size(), '0').append(part);
  }
  if (d >= frac_digits) {
    s.append(static_cast<size_t>(d - frac_digits), '0');
  } else {
    const size_t drop = static_cast<size_t>(frac_digits - d);
    if (s.size() <= drop) s.insert(0, drop + 1 - s.size(), '0');
    const size_t cut = s.size() - drop;
    const bool above_half = s.find_first_not_of('0', cut + 1) != std::string::npos;
    const bool up = s[cut] > '5' || (s[cut] == '5' && (above_half || (s[cut - 1] - '0') % 2 == 1));
    s.erase(cut);
    for (size_t i = cut; up && i-- > 0;) {
      if (s[i] != '9') {
        ++s[i];
        break;
      }
      s[i] = '0';
      if (i == 0) s.insert(0, 1, '1');
    }
  }
  s.erase(0, std::min(s.find_first_not_of('0'), s.size()));
  return s;
}

}  // namespace

void AppendFixed(std::string* out, float value, int width, int decimals) {
  if (AppendNonFinite(out, value, width)) return;
  if (decimals < 0 || decimals >= width) return AppendStars(out, width);
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const bool negative = (bits >> 31) != 0;
  const uint32_t biased = (bits >> 23) & 0xff;
  const uint32_t fraction = bits & 0x7fffff;
  // value == m * 2^e exactly, with subnormals at the lowest exponent.
  const uint32_t m = biased == 0 ? fraction : fraction | 0x800000;
  const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
  if (e < 0 && -e > decimals && -e - decimals < 64 && decimals <= kFast64Decimals) {
    // Listing values: m * 5^d stays below 2^53, so the exact rounding needs
    // only 64-bit arithmetic.
    const uint64_t scaled = uint64_t{m} * kPow5Small[static_cast<size_t>(decimals)];
    const int shift = -e - decimals;
    uint64_t n = scaled >> shift;
    const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    n += rest > half || (rest == half && (n & 1) != 0);
    char buf[24];
    const size_t len =
        n == 0 ? 0 : static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, n).ptr - buf);
    return AppendFixedDigits(out, std::string_view(buf, len), negative, width, decimals);
  }
  if (width <= kFastFixedWidth) {
    uint128 n = 0;
    if (m != 0 && !ScaleFast(m, e, decimals, &n)) return AppendStars(out, width);
    std::array<char, 40> buf;
    return AppendFixedDigits(out, U128Digits(n, buf), negative, width, decimals);
  }
  AppendFixedDigits(out, m == 0 ? std::string() : ScaleSlow(m, e, decimals), negative, width,
                    decimals);
}

void AppendInt(std::string* out, int32_t value, int width) {
  char buf[16];
  auto result = std::to_chars(buf, buf + sizeof buf, value);
  AppendRight(out, std::string_view(buf, static_cast<size_t>(result.ptr - buf)), width);
}

void AppendFreeInt(std::string* out, int32_t value) { AppendInt(out, value, kFreeIntWidth); }

void AppendFreeReal(std::string* out, float value) {
  if (AppendNonFinite(out, value, kFreeRealWidth)) return;
  constexpr int kTrailingBlanks = kFreeRealWidth - kFreeFixedWidth;
  if (value == 0) {
    AppendFixed(out, value, kFreeFixedWidth, kFreeDigits - 1);
    out->append(kTrailingBlanks, ' ');
    return;
  }
  // Rounding to 7 significant digits first decides the form: 9999999.7
  // becomes 0.1000000E+08, not a fixed-point 10000000.
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*e", kFreeDigits - 1, static_cast<double>(value));
  const std::string_view text(buf);
  const size_t e_pos = text.find('e');
  const int exponent = std::atoi(buf + e_pos + 1);
  if (exponent >= -1 && exponent <= kFreeDigits - 1) {  // 0.1 <= |rounded| < 1E7
    AppendFixed(out, value, kFreeFixedWidth, kFreeDigits - (exponent + 1));
    out->append(kTrailingBlanks, ' ');
    return;
  }
  const size_t first = value < 0 ? 1 : 0;
  std::string mantissa(value < 0 ? "-0." : "0.");
  mantissa.push_back(text[first]);
  mantissa.append(text.substr(first + 2, kFreeDigits - 1));
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%02d", exponent + 1 < 0 ? '-' : '+', std::abs(exponent + 1));
  AppendRight(out, mantissa + tail, kFreeRealWidth);
}

std::string ShortestText(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace korvant
