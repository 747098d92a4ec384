#include "kit/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace korvant {
namespace {

constexpr auto kQuietFor = std::chrono::milliseconds(1000);
constexpr auto kEvery = std::chrono::milliseconds(200);

}  // namespace

ProgressLine::ProgressLine(std::string_view program)
    : program_(program),
      enabled_(::isatty(STDERR_FILENO) == 1),
      start_(Clock::now()),
      next_(start_ + kQuietFor) {}

ProgressLine::~ProgressLine() { Clear(); }

bool ProgressLine::Due() const { return enabled_ && Clock::now() >= next_; }

void ProgressLine::Update(const std::string& text) {
  if (!Due()) return;
  next_ = Clock::now() + kEvery;
  const std::string line = program_ + ": " + text;
  std::fprintf(stderr, "\r%s%*s", line.c_str(),
               static_cast<int>(shown_ > line.size() ? shown_ - line.size() : 0), "");
  std::fflush(stderr);
  shown_ = line.size();
}

void ProgressLine::Clear() {
  if (shown_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(stderr);
  shown_ = 0;
}

std::string ByteText(int64_t bytes) {
  char text[32];
  const double b = static_cast<double>(bytes);
  if (b >= 1e9) {
    std::snprintf(text, sizeof text, "%.1f GB", b / 1e9);
  } else if (b >= 1e6) {
    std::snprintf(text, sizeof text, "%.0f MB", b / 1e6);
  } else if (b >= 1e3) {
    std::snprintf(text, sizeof text, "%.0f kB", b / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  }
  return text;
}

}  // namespace korvant
