#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvant {

/// A line of progress on stderr, rewritten in place, for a run that has taken
/// longer than about a second; only when stderr is a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(std::string_view program);
  ~ProgressLine();  // clears the line

  /// True when an `Update` now would be shown: cheap, so that the caller
  /// builds the text only then.
  bool Due() const;
  void Update(const std::string& text);
  /// Clears the line, before the report or an error is written.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  std::string program_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point next_;
  size_t shown_ = 0;  // width of the line on screen
};

/// "1.2 GB", "340 MB", "12 kB", "512 bytes".
std::string ByteText(int64_t bytes);

}  // namespace korvant
