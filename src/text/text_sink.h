#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace korvant {

/// A text channel: the console output (lines end in LF) or the printed summary
/// file (lines end in CR LF). Text is gathered in a buffer and handed on in
/// large pieces; the console is flushed before every console read.
class TextSink {
 public:
  /// Console output onto a stream; a write the stream refuses is fatal and
  /// names `unit` and `name`.
  explicit TextSink(std::ostream* out, int unit = 0, std::string name = "");
  /// A text file created new by `OpenNew`; closed until then.
  TextSink();
  ~TextSink();
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;

  /// Creates `path` as a new file (fails when it exists). Lines end in CR LF.
  /// A failure is fatal: "cannot overwrite existing file, unit %d, file %s".
  void OpenNew(int unit, const std::string& path);
  bool is_open() const { return out_ != nullptr || file_ != nullptr; }

  void Append(std::string_view text) { line_.append(text); }
  void Blanks(int n) { line_.append(static_cast<size_t>(n), ' '); }
  /// Ends the current line (which may be empty).
  void EndLine();
  /// One whole line: `text` and the line end.
  void Line(std::string_view text) {
    Append(text);
    EndLine();
  }
  /// Hands everything buffered to the stream or file. Write failures are fatal.
  void Flush();
  /// Ends a line being built, hands everything on and closes the file. The
  /// file is closed even when the write fails; failures are fatal, except on
  /// a file whose write has failed before (that failure was fatal already).
  void Close();

 private:
  bool WriteOut();  // false when the stream or file refuses the text
  [[noreturn]] void Fail(const char* what) const;

  std::ostream* out_ = nullptr;
  std::FILE* file_ = nullptr;
  int unit_ = 0;
  std::string path_;
  std::string line_;  // buffered text; the current line starts at line_start_
  size_t line_start_ = 0;
  std::string_view eol_ = "\n";
  bool failed_ = false;  // a write has failed
};

}  // namespace korvant
