// The program at a terminal: run on a pseudo-terminal, keys typed as a user
// types them, what reaches the screen and the files checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);

// The program on the controlling terminal of its own session. Everything it
// writes (and the echo of what is typed) is kept in `screen()`.
class Terminal {
 public:
  explicit Terminal(const std::string& dir) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const winsize size = {24, 80, 0, 0};
    ioctl(master_, TIOCSWINSZ, &size);
    const std::string slave = ptsname(master_);
    const std::string binary = KORVANT_BINARY;
    char term[] = "TERM=vt100";
    char* env[] = {term, nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      const int fd = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
      if (fd < 0 || chdir(dir.c_str()) != 0) _exit(127);
      dup2(fd, 0);
      dup2(fd, 1);
      dup2(fd, 2);
      if (fd > 2) close(fd);
      execle(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr), env);
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && status_ == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool started() const { return pid_ > 0; }
  const std::string& screen() const { return screen_; }

  // Waits until `text` is on the screen after what was waited for before.
  // Once a wait has failed the run is off its script, and later waits fail
  // at once.
  bool WaitFor(std::string_view text) {
    const auto until = Clock::now() + kPatience;
    while (!lost_) {
      const size_t at = screen_.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      lost_ = !ReadSome(until);
    }
    return false;
  }

  // Types `keys` once the program is reading a line through its editor: the
  // editor has taken the terminal out of line-at-a-time mode.
  bool Type(std::string_view keys) {
    const auto until = Clock::now() + kPatience;
    termios mode{};
    while (!lost_ && tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) != 0) {
      lost_ = Clock::now() > until;
      ReadSome(Clock::now() + std::chrono::milliseconds(2));
    }
    if (lost_) return false;
    return write(master_, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
  }

  // Reads to the end of the program's output and returns its exit status
  // (-1 when it did not exit by itself in time).
  int Wait() {
    const auto until = Clock::now() + kPatience;
    while (ReadSome(until)) {
    }
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > until) return -1;
      usleep(1000);
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
  }

 private:
  static constexpr int kRunning = -2;

  // Reads what arrives before `until`; false at the end of output or time.
  bool ReadSome(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() < 0) return false;
    pollfd p = {master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO: the program has closed the terminal
    screen_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  int status_ = kRunning;
  bool lost_ = false;
  std::string screen_;
  size_t seen_ = 0;
};

constexpr std::string_view kSummaryPrompt = " Enter Printed Output Summary File Name ";
constexpr std::string_view kMerge2 = " Do you need to merge together QMX-2 files? ";
constexpr std::string_view kMerge4 = " Do you need to merge together QMX-4 files? ";
constexpr std::string_view kMerge10 = " Do you need to merge together QMX-10 files? ";
constexpr std::string_view kVeltoQuestion = " Do you want to read VELTO binary file";
constexpr std::string_view kVeltoName = " Enter VELTO Binary file name";
constexpr std::string_view kDatum = " ENTER DATUM (Make it 0.0 for WSELEV array to be OK)";
constexpr std::string_view kAverage2 = " Do you want to average (INTEGRATE) the QMX-2 data?";
constexpr std::string_view kAverage10 = " Do you want to average (INTEGRATE) the QMX-10 data?";
constexpr std::string_view kAverage4 = " Do you want to average (INTEGRATE) the QMX-4 data?";
constexpr std::string_view kFinished = " ****** Program Finished ******";

constexpr char kCtrlA = '\x01';
constexpr char kCtrlE = '\x05';
constexpr char kCtrlP = '\x10';  // the answer before
constexpr std::string_view kLeft = "\x1b[D";

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!KORVANT_LINE_EDITING) GTEST_SKIP() << "built without libedit (libedit-dev)";
  }
};

// Every console line is its own line on the screen too (the terminal ends
// lines in CR LF); answers are read only after their question.
void ExpectQuestionLine(Terminal& t, std::string_view question) {
  EXPECT_TRUE(t.WaitFor("\r\n" + std::string(question) + "\r\n"))
      << "no line \"" << question << "\" on the screen:\n"
      << t.screen();
}

void Answer(Terminal& t, std::string_view question, std::string_view keys) {
  ExpectQuestionLine(t, question);
  ASSERT_TRUE(t.Type(keys)) << "not asked after \"" << question << "\"";
}

TEST_F(TerminalTest, TabCompletesFileNamesAndKeysEdit) {
  Sandbox box;
  std::filesystem::create_directory(box.Path("results"));
  // Blanks belong to the name: completed, they are not escaped.
  box.Write("results/lower bay mesh.bin", VeltoFile(CharHeader{}, VeltoGeometry{}).bytes());
  Terminal t(box.dir());
  ASSERT_TRUE(t.started());

  // "res" Tab gives the folder; the name goes on after it.
  Answer(t, kSummaryPrompt, "res\tsum.txt\r");
  Answer(t, kMerge2, "N\r");
  Answer(t, kMerge4, std::string(1, kCtrlP) + "\r");  // the N again
  // Y, then N put before it: "NY" is no. Read as typed it would be yes.
  Answer(t, kMerge10, std::string("Y") + kCtrlA + "N" + kCtrlE + "\r");
  Answer(t, kVeltoQuestion, "N" + std::string(kLeft) + "Y\r");  // "YN" is yes
  Answer(t, kVeltoName, "results/lower\t\r");
  Answer(t, kDatum, "0\r");
  Answer(t, kAverage2, "N\r");
  Answer(t, kAverage10, "N\r");
  Answer(t, kAverage4, "N\r");
  ExpectQuestionLine(t, kFinished);
  EXPECT_EQ(0, t.Wait()) << t.screen();
  EXPECT_EQ(std::string::npos, t.screen().find("Sorry")) << t.screen();
  EXPECT_EQ(std::string::npos, t.screen().find("I HOPE")) << t.screen();
  EXPECT_NE(std::string::npos, t.screen().find(" --> VELTO geometry file read AOK")) << t.screen();
  EXPECT_TRUE(box.Exists("results/sum.txt"));
}

TEST_F(TerminalTest, TabOnlyCompletesWhereAFileIsNamed) {
  Sandbox box;
  box.Write("Nothing.bin", "");
  Terminal t(box.dir());
  ASSERT_TRUE(t.started());
  Answer(t, kSummaryPrompt, "sum.txt\r");
  // A Tab here is typed as itself; "\tN" begins with a tab, so it is yes.
  Answer(t, kMerge2, "\tN\r");
  ExpectQuestionLine(t, " Enter name of QMX2 MERGED file to be created");
}

// The answers of one answer file, typed at the terminal instead: every file
// comes out byte for byte the same, and every console line of the run from
// the file is on the screen, whole and in order.
TEST_F(TerminalTest, TypedAnswersGiveWhatTheAnswerFileGives) {
  const std::vector<std::pair<std::string_view, std::string_view>> dialogue = {
      {kSummaryPrompt, "sum.txt"},
      {kMerge2, "Y"},
      {" Enter name of QMX2 MERGED file to be created", "merged.bin"},
      {" Enter flag identifier or (?) for menu", "1ST"},
      {" Enter name of 1st QMX2 binary file", "a.bin"},
      {" Enter starting and ending decimal hour", "2 4"},
      {" Enter flag identifier or (?) for menu", "2nd"},
      {" Enter name of 2ND QMX2 binary file", "b.bin"},
      {" Enter starting and ending decimal hour", "1,3"},
      {" Enter flag identifier or (?) for menu", "EXIT"},
      {kMerge4, "N"},
      {kMerge10, "n"},
      {kVeltoQuestion, "Y"},
      {kVeltoName, "geo.bin"},
      {kDatum, "0.0"},
      {kAverage2, ""},
      {" Enter QMX2 integrated file name to be created", "avg.bin"},
      {" Enter name of QMX2 file to read from", "merged.bin"},
      {"                Default=last time minus 25 TIME STEPS", ""},
      {"                Default=last time", "3.5"},
      {"                Default=   100.0000    ", ""},
      {" DO you want to turn full prints on? (Enter 1 if yes)", "1"},
      {"     (ie. suitable for FLUX computation  DEFAULT=NO)", "y"},
      {kAverage10, "N"},
      {kAverage4, "N"},
  };
  std::string answers;
  for (const auto& [question, answer] : dialogue) answers.append(answer).push_back('\n');

  auto fill = [](Sandbox& box) {
    std::vector<Qmx2StepData> steps;
    for (int hour = 1; hour <= 5; ++hour) {
      Qmx2StepData step;
      const float h = static_cast<float>(hour);
      step.time = h;
      step.vel = {0.5f * h, -0.25f * h, 2.0f + h, 1.0f, 0.0f, 3.0f};
      step.wsel = {0.1f * h, 0.2f};
      steps.push_back(step);
    }
    box.Write("a.bin", Qmx2File(CharHeader{}, steps, true).bytes());
    steps.pop_back();
    CharHeader b;
    b.title = "RUN B";
    box.Write("b.bin", Qmx2File(b, steps, true).bytes());
    VeltoGeometry mesh;
    mesh.np = 2;
    box.Write("geo.bin", VeltoFile(CharHeader{}, mesh).bytes());
  };
  Sandbox from_file;
  fill(from_file);
  const RunResult piped = from_file.Run(answers);
  ASSERT_EQ(0, piped.status) << piped.out << piped.err;

  Sandbox typed;
  fill(typed);
  Terminal t(typed.dir());
  ASSERT_TRUE(t.started());
  for (const auto& [question, answer] : dialogue) Answer(t, question, std::string(answer) + "\r");
  EXPECT_EQ(0, t.Wait()) << t.screen();
  // Below each question, the answer line shows what was typed and nothing else.
  size_t at = 0;
  for (const auto& [question, answer] : dialogue) {
    const std::string shown = std::string(question) + "\r\n" + std::string(answer) + "\r\n";
    at = t.screen().find(shown, at);
    ASSERT_NE(std::string::npos, at) << "not the answer alone after \"" << question << "\":\n"
                                     << t.screen();
  }

  for (std::string_view name : {"sum.txt", "merged.bin", "avg.bin"}) {
    ASSERT_TRUE(typed.Exists(name)) << name;
    EXPECT_TRUE(typed.Read(name) == from_file.Read(name)) << name << " differs";
  }
  EXPECT_EQ(from_file.List(), typed.List());
  const std::string screen = "\n" + t.screen();
  at = 0;
  for (size_t from = 0, end; from < piped.out.size(); from = end + 1) {
    end = piped.out.find('\n', from);
    const std::string line = piped.out.substr(from, end - from);
    at = screen.find("\n" + line + "\r\n", at);
    ASSERT_NE(std::string::npos, at) << "line \"" << line << "\" is not on the screen in order:\n"
                                     << t.screen();
    at += line.size() + 1;
  }
}

}  // namespace
}  // namespace korvant
