#include "text/layout.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "text/number_format.h"

namespace korvant {
namespace {

constexpr int kMaxNumber = 9999;  // widths, decimals and counts
constexpr int kMaxDepth = 8;      // nesting of groups

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
      if (count > 0) return Fail(pos_, "expected I, F, A, X or '(' after " + std::to_string(count));
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
        if (Peek() != '.') return Fail(pos_, "expected '.d' after F" + std::to_string(item.width));
        ++pos_;
        if (!ReadNumber(&item.decimals)) return false;
        if (item.decimals < 0)
          return Fail(pos_, "expected decimals after F" + std::to_string(item.width) + ".");
        if (item.decimals >= item.width)
          return Fail(start, "decimals must be below the width in F" + std::to_string(item.width) +
                                 "." + std::to_string(item.decimals));
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
    case LayoutItem::kInt:
      return "I" + std::to_string(item.width);
    case LayoutItem::kFixed:
      return "F" + std::to_string(item.width) + "." + std::to_string(item.decimals);
    default:
      return item.width > 0 ? "A" + std::to_string(item.width) : "A";
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
      case LayoutItem::kText:
        line.Write(item.text);
        break;
      case LayoutItem::kSkip:
        line.Skip(item.width);
        break;
      case LayoutItem::kNewLine:
        line.EndLine();
        break;
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
      AppendFreeInt(&line, *i);
    } else {
      AppendFreeReal(&line, std::get<float>(value));
    }
  }
  sink.Append(line);
  sink.EndLine();
}

}  // namespace korvant
