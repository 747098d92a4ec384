#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "text/text_sink.h"

namespace korvant {

/// What an answer is: plain text, or the name of a file (a line editor may
/// offer to complete it).
enum class Answer { kText, kFileName };

/// Reads answers typed at a terminal with line editing. The console hands
/// every read to it when one is set; what it returns is then treated exactly
/// as a line read from the input stream.
class LineEditor {
 public:
  virtual ~LineEditor() = default;
  /// The next line as typed, without its line end; nullopt at end of input.
  virtual std::optional<std::string> ReadLine(Answer kind) = 0;
};

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

  /// Lines are read through `editor` (not owned; nullptr for the input stream).
  void set_editor(LineEditor* editor) { editor_ = editor; }

  /// The next line without its line end (a CR before the LF is dropped too).
  /// Only the first 1024 characters are kept; the rest of a longer line is read
  /// and dropped, so no answer can make memory grow. nullopt at end of input.
  std::optional<std::string> ReadLine(Answer kind = Answer::kText);

  /// The next line as a text field of `width` characters: its first `width`
  /// characters, padded with blanks. nullopt at end of input.
  std::optional<std::string> ReadField(int width, Answer kind = Answer::kText);

  /// `ReadField`, with end of input fatal.
  std::string MustReadField(int width, Answer kind = Answer::kText);

  /// Ends the run with the end-of-file diagnostic of the console.
  [[noreturn]] static void FailEndOfInput();
  /// Ends the run with the diagnostic for an answer that is not a number.
  [[noreturn]] static void FailConversion();

 private:
  std::optional<std::string> ReadStreamLine();

  std::istream& in_;
  TextSink out_;
  LineEditor* editor_ = nullptr;
};

}  // namespace korvant
