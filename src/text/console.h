#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "text/text_sink.h"

namespace korvant {

/// The console: answers are read one line at a time from `in`, lines are
/// written to `out` (ending in LF). Output is flushed before every read so a
/// prompt is on screen when the answer is awaited.
class Console {
 public:
  /// Unit numbers the diagnostics name for the two console channels.
  static constexpr int kInputUnit = 5;
  static constexpr int kOutputUnit = 6;

  Console(std::istream& in, std::ostream& out) : in_(in), out_(&out, kOutputUnit, "stdout") {}

  TextSink& out() { return out_; }

  /// The next line without its line end (a CR before the LF is dropped too).
  /// Only the first 1024 characters are kept; the rest of a longer line is read
  /// and dropped, so no answer can make memory grow. nullopt at end of input.
  std::optional<std::string> ReadLine();

  /// The next line as a text field of `width` characters: its first `width`
  /// characters, padded with blanks. nullopt at end of input.
  std::optional<std::string> ReadField(int width);

  /// `ReadField`, with end of input fatal.
  std::string MustReadField(int width);

  /// Ends the run with the end-of-file diagnostic of the console.
  [[noreturn]] static void FailEndOfInput();
  /// Ends the run with the diagnostic for an answer that is not a number.
  [[noreturn]] static void FailConversion();

 private:
  std::istream& in_;
  TextSink out_;
};

}  // namespace korvant
