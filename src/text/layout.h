#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "text/number_format.h"
#include "text/text_sink.h"

namespace korvant {

/// One value of a listing line: an integer (Iw), a real (Fw.d) or a text
/// field at its declared length (Aw, A).
using Value = std::variant<int32_t, float, std::string_view>;

/// One parsed layout item.
struct LayoutItem {
  enum Kind : uint8_t {
    kText,        ///< literal text (quotes undoubled), in `text`
    kSkip,        ///< nX: move `width` columns right
    kNewLine,     ///< /
    kInt,         ///< Iw
    kFixed,       ///< Fw.d
    kTextField,   ///< Aw (width > 0) or A (width == 0)
    kGroupBegin,  ///< n( : `repeat` times the items up to the matching kGroupEnd
    kGroupEnd,    ///< ) : `partner` is the index of its kGroupBegin
  };
  Kind kind;
  int width = 0;
  int decimals = 0;
  int repeat = 1;   ///< rIw, rFw.d, rAw and n(...)
  int partner = 0;  ///< kGroupBegin: index of its kGroupEnd, and the reverse
  std::string text;
};

/// A layout such as "(/,' VELTO=',A77,/,6X,2I8)", parsed once into items.
struct Layout {
  std::vector<LayoutItem> items;
};

/// Parses `text`. On failure returns false and sets *err to a message that
/// says where, e.g. "layout col 8: expected '.d' after F12".
bool ParseLayout(std::string_view text, Layout* out, std::string* err);

/// The parsed layout for a literal layout text, parsed on first use and kept.
/// A layout text that does not parse is a program fault (std::logic_error).
const Layout& CachedLayout(std::string_view text);

/// Writes `values` through `layout` to `sink`. Writing stops at the first value
/// item with no value left; the current line is then ended. At the closing
/// parenthesis of the layout the current line is ended. Values beyond those the
/// layout takes are ignored. nX writes its blanks only when later characters of
/// the same line follow them.
void ApplyLayout(const Layout& layout, std::span<const Value> values, TextSink& sink);

/// `ApplyLayout(CachedLayout(layout), values, sink)`.
void WriteLayout(TextSink& sink, std::string_view layout, std::initializer_list<Value> values);

/// A free-form console line: each value in turn, nothing between them; texts
/// as they stand, integers right-aligned in 12 columns, reals in 15 columns
/// (0.1 <= |x| < 1E7 fixed-point in 11 columns with 7 significant digits and 4
/// blanks behind; otherwise exponent form "0.1000000E+08" right-aligned in 15).
void WriteFree(TextSink& sink, std::initializer_list<Value> values);

}  // namespace korvant
