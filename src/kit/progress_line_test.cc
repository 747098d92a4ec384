#include "kit/progress_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace korvant {
namespace {

// Standard error led to `fd` while it lives, and back after.
class StderrTo {
 public:
  explicit StderrTo(int fd) : saved_(::dup(STDERR_FILENO)) {
    std::fflush(stderr);
    ::dup2(fd, STDERR_FILENO);
  }
  ~StderrTo() {
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

// What has come out of a terminal's master side so far.
std::string Drain(int master) {
  std::string text;
  char buffer[256];
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

TEST(ProgressLineTest, ShownOnlyAtATerminalAfterASecondAndClearedAtTheEnd) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(0, ::grantpt(master));
  ASSERT_EQ(0, ::unlockpt(master));
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  int pipe_ends[2];
  ASSERT_EQ(0, ::pipe(pipe_ends));
  ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);

  std::string on_terminal, on_pipe;
  {
    std::optional<StderrTo> to_pipe(std::in_place, pipe_ends[1]);
    ProgressLine not_shown("korvant-x");
    to_pipe.reset();
    StderrTo to_terminal(terminal);
    ProgressLine shown("korvant-x");
    EXPECT_FALSE(shown.Due());
    shown.Update("early");  // within the first second: nothing
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_FALSE(not_shown.Due());
    ASSERT_TRUE(shown.Due());
    shown.Update("3 steps");
    EXPECT_FALSE(shown.Due());  // the next one comes later
    shown.Clear();
  }
  on_terminal = Drain(master);
  on_pipe = Drain(pipe_ends[0]);
  // "korvant-x: 3 steps" is 18 characters, written over with as many blanks.
  EXPECT_EQ("\rkorvant-x: 3 steps\r" + std::string(18, ' ') + "\r", on_terminal);
  EXPECT_EQ("", on_pipe);
  for (int fd : {master, terminal, pipe_ends[0], pipe_ends[1]}) ::close(fd);
}

}  // namespace
}  // namespace korvant
