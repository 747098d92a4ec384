#include "records/layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace korvant {
namespace {

using uint128 = unsigned __int128;

constexpr int kMaxNumber = 9999;  // widths, decimals and counts
constexpr int kMaxDepth = 8;      // nesting of groups

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
                          : negative     ? (width >= 9 ? "-Infinity" : "-Inf")
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
  const int shift = k - d;                        // value * 10^d = scaled / 2^shift
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

LayoutItem MakeItem(LayoutItem::Kind kind) {
  LayoutItem item;
  item.kind = kind;
  return item;
}

class LayoutParser {
 public:
  LayoutParser(std::string_view text, std::vector<LayoutItem>* items, std::string* err)
      : text_(text), items_(items), err_(err) {}

  bool Parse() {
    items_->clear();
    if (Peek() != '(') return Fail(pos_, "expected '('");
    ++pos_;
    State state = kOpened;
    for (;;) {
      const int c = Peek();
      if (c < 0) return Fail(pos_, "missing ')'");
      if (c == ',') {
        if (state == kOpened || state == kAfterComma)
          return Fail(pos_, "expected an item before ','");
        state = kAfterComma;
        ++pos_;
      } else if (c == ')') {
        if (state == kAfterComma) return Fail(pos_, "expected an item after ','");
        if (!Close()) return false;
        if (depth_ < 0) return true;
        state = kAfterItem;
      } else if (c == '/') {
        Add(MakeItem(LayoutItem::kNewLine));
        ++pos_;
        state = kAfterSlash;  // a slash separates items by itself
      } else {
        if (state == kAfterItem) return Fail(pos_, "expected ',' or ')'");
        const int groups = depth_;
        if (!ParseItem()) return false;
        state = depth_ > groups ? kOpened : kAfterItem;
      }
    }
  }

 private:
  enum State { kOpened, kAfterComma, kAfterItem, kAfterSlash };

  // The next character that is not a blank, or -1 at the end.
  int Peek() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1;
  }

  bool Fail(size_t pos, const std::string& what) {
    *err_ = "layout col " + std::to_string(pos + 1) + ": " + what;
    return false;
  }

  void Add(const LayoutItem& item) { items_->push_back(item); }

  // Reads digits (blanks among them ignored); *value is -1 when none follow.
  bool ReadNumber(int* value) {
    *value = -1;
    Peek();
    const size_t start = pos_;
    for (int c = Peek(); c >= '0' && c <= '9'; c = Peek()) {
      *value = (*value < 0 ? 0 : *value * 10) + (c - '0');
      if (*value > kMaxNumber) return Fail(start, "number above " + std::to_string(kMaxNumber));
      ++pos_;
    }
    return true;
  }

  bool ReadWidth(char letter, int* width) {
    Peek();
    const size_t start = pos_;
    if (!ReadNumber(width)) return false;
    if (*width < 0) return Fail(start, std::string("expected a width after ") + letter);
    if (*width == 0) return Fail(start, "width must be at least 1");
    return true;
  }

  bool ParseItem() {
    const size_t start = pos_;
    if (text_[pos_] == '\'') return ParseText();
    int count = 0;
    if (!ReadNumber(&count)) return false;
    if (count == 0) return Fail(start, "count must be at least 1");
    LayoutItem item = MakeItem(LayoutItem::kText);
    item.repeat = count > 0 ? count : 1;
    const int c = Peek();
    const int letter = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    if (letter != 'I' && letter != 'F' && letter != 'A' && letter != 'X' && letter != '(') {
      if (count > 0)
        return Fail(pos_, "expected I, F, A, X or '(' after " + std::to_string(count));
      return Fail(pos_, "unknown item '" + std::string(1, static_cast<char>(c)) + "'");
    }
    ++pos_;
    switch (letter) {
      case 'I':
        item.kind = LayoutItem::kInt;
        if (!ReadWidth('I', &item.width)) return false;
        break;
      case 'F':
        item.kind = LayoutItem::kFixed;
        if (!ReadWidth('F', &item.width)) return false;
        if (Peek() != '.')
          return Fail(pos_, "expected '.d' after F" + std::to_string(item.width));
        ++pos_;
        if (!ReadNumber(&item.decimals)) return false;
        if (item.decimals < 0)
          return Fail(pos_, "expected decimals after F" + std::to_string(item.width) + ".");
        if (item.decimals >= item.width)
          return Fail(start, "decimals must be below the width in F" +
                                 std::to_string(item.width) + "." + std::to_string(item.decimals));
        break;
      case 'A': {
        item.kind = LayoutItem::kTextField;
        Peek();
        const size_t number = pos_;
        if (!ReadNumber(&item.width)) return false;
        if (item.width == 0) return Fail(number, "width must be at least 1");
        item.width = std::max(item.width, 0);
        break;
      }
      case 'X':
        item.kind = LayoutItem::kSkip;
        item.width = std::exchange(item.repeat, 1);
        break;
      default:
        if (depth_ + 1 == kMaxDepth) return Fail(start, "groups nested too deeply");
        item.kind = LayoutItem::kGroupBegin;
        open_[static_cast<size_t>(++depth_)] = items_->size();
        break;
    }
    Add(item);
    return true;
  }

  bool ParseText() {
    const size_t start = pos_++;
    LayoutItem item = MakeItem(LayoutItem::kText);
    for (;;) {
      if (pos_ >= text_.size()) return Fail(start, "unterminated text");
      const char ch = text_[pos_++];
      if (ch == '\'') {
        if (pos_ == text_.size() || text_[pos_] != '\'') break;
        ++pos_;  // a doubled quote stands for one
      }
      item.text.push_back(ch);
    }
    Add(item);
    return true;
  }

  // At a ')': closes the innermost group, or the layout (depth_ becomes -1).
  bool Close() {
    const size_t paren = pos_++;
    if (depth_ == 0) {
      depth_ = -1;
      if (Peek() >= 0) return Fail(pos_, "text after the closing ')'");
      return true;
    }
    const size_t begin = open_[static_cast<size_t>(depth_--)];
    const size_t end = items_->size();
    if (begin + 1 == end) return Fail(paren, "empty group");
    LayoutItem item = MakeItem(LayoutItem::kGroupEnd);
    item.partner = static_cast<int>(begin);
    Add(item);
    (*items_)[begin].partner = static_cast<int>(end);
    return true;
  }

  std::string_view text_;
  std::vector<LayoutItem>* items_;
  std::string* err_;
  size_t pos_ = 0;
  int depth_ = 0;  // open groups; the layout's own parentheses do not count
  std::array<size_t, kMaxDepth> open_{};
};

std::string ItemName(const LayoutItem& item) {
  switch (item.kind) {
    case LayoutItem::kInt: return "I" + std::to_string(item.width);
    case LayoutItem::kFixed:
      return "F" + std::to_string(item.width) + "." + std::to_string(item.decimals);
    default: return item.width > 0 ? "A" + std::to_string(item.width) : "A";
  }
}

[[noreturn]] void ThrowMismatch(const LayoutItem& item, const Value& value) {
  static constexpr const char* kNames[] = {"an integer", "a real", "a text"};
  throw std::logic_error("layout item " + ItemName(item) + " given " + kNames[value.index()]);
}

// Blanks passed over by nX are held back until something follows them on
// the same line, so no line ends in blanks a skip left behind.
class LineWriter {
 public:
  explicit LineWriter(TextSink& sink) : sink_(sink) {}
  void Skip(int n) { pending_ += n; }
  void Write(std::string_view text) {
    if (text.empty()) return;
    if (pending_ > 0) sink_.Blanks(pending_);
    pending_ = 0;
    sink_.Append(text);
  }
  void EndLine() {
    pending_ = 0;
    sink_.EndLine();
  }

 private:
  TextSink& sink_;
  int pending_ = 0;
};

void WriteValue(const LayoutItem& item, const Value& value, LineWriter& line,
                std::string& scratch) {
  scratch.clear();
  if (item.kind == LayoutItem::kInt) {
    const int32_t* v = std::get_if<int32_t>(&value);
    if (v == nullptr) ThrowMismatch(item, value);
    AppendInt(&scratch, *v, item.width);
  } else if (item.kind == LayoutItem::kFixed) {
    const float* v = std::get_if<float>(&value);
    if (v == nullptr) ThrowMismatch(item, value);
    AppendFixed(&scratch, *v, item.width, item.decimals);
  } else {
    const std::string_view* v = std::get_if<std::string_view>(&value);
    if (v == nullptr) ThrowMismatch(item, value);
    if (item.width == 0) return line.Write(*v);
    const size_t width = static_cast<size_t>(item.width);
    if (v->size() >= width) return line.Write(v->substr(0, width));
    scratch.append(width - v->size(), ' ').append(*v);
  }
  line.Write(scratch);
}

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
  std::snprintf(tail, sizeof tail, "E%c%02d", exponent + 1 < 0 ? '-' : '+',
                std::abs(exponent + 1));
  AppendRight(out, mantissa + tail, kFreeRealWidth);
}

}  // namespace

bool ParseLayout(std::string_view text, Layout* out, std::string* err) {
  return LayoutParser(text, &out->items, err).Parse();
}

const Layout& CachedLayout(std::string_view text) {
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  // Keyed by content, so a layout built at run time in reused memory is safe.
  // The program writes from one thread.
  static std::unordered_map<std::string, Layout, Hash, std::equal_to<>> cache;
  auto it = cache.find(text);
  if (it != cache.end()) return it->second;
  Layout layout;
  std::string err;
  if (!ParseLayout(text, &layout, &err)) {
    throw std::logic_error(err + " in " + std::string(text));
  }
  return cache.emplace(std::string(text), std::move(layout)).first->second;
}

void ApplyLayout(const Layout& layout, std::span<const Value> values, TextSink& sink) {
  LineWriter line(sink);
  std::string scratch;
  std::array<int, kMaxDepth> left{};  // repeats left of each open group
  size_t depth = 0;
  size_t next = 0;
  const std::vector<LayoutItem>& items = layout.items;
  for (size_t i = 0; i < items.size(); ++i) {
    const LayoutItem& item = items[i];
    switch (item.kind) {
      case LayoutItem::kText: line.Write(item.text); break;
      case LayoutItem::kSkip: line.Skip(item.width); break;
      case LayoutItem::kNewLine: line.EndLine(); break;
      case LayoutItem::kGroupBegin:
        if (depth == left.size()) throw std::logic_error("layout groups nested too deeply");
        left[depth++] = item.repeat;
        break;
      case LayoutItem::kGroupEnd:
        if (--left[depth - 1] > 0) {
          i = static_cast<size_t>(item.partner);
        } else {
          --depth;
        }
        break;
      default:
        for (int r = 0; r < item.repeat; ++r) {
          if (next == values.size()) return line.EndLine();
          WriteValue(item, values[next++], line, scratch);
        }
        break;
    }
  }
  line.EndLine();
}

void WriteLayout(TextSink& sink, std::string_view layout, std::initializer_list<Value> values) {
  ApplyLayout(CachedLayout(layout), std::span<const Value>(values.begin(), values.size()), sink);
}

void WriteFree(TextSink& sink, std::initializer_list<Value> values) {
  std::string line;
  for (const Value& value : values) {
    if (const auto* text = std::get_if<std::string_view>(&value)) {
      line.append(*text);
    } else if (const auto* i = std::get_if<int32_t>(&value)) {
      AppendInt(&line, *i, kFreeIntWidth);
    } else {
      AppendFreeReal(&line, std::get<float>(value));
    }
  }
  sink.Append(line);
  sink.EndLine();
}

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
    const size_t len = n == 0 ? 0 : static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, n).ptr - buf);
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

std::string FormatLayout(std::string_view layout, std::initializer_list<Value> values) {
  std::ostringstream text;
  {
    TextSink sink(&text);
    WriteLayout(sink, layout, values);
    sink.Flush();
  }
  std::string lines = text.str();
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

}  // namespace korvant
