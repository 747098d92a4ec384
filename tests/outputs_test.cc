// What the companion programs do with the names they are given to write and
// read: devices, fifos, links, inputs named as outputs, long names, signals,
// a closed stdout and a run racing another; and a mesh larger than the
// console program takes. One table of programs; every rule is run through
// each of them.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

struct Program {
  const char* name;
  const char* ext;  // what its output's name ends in
  // Its arguments, reading `result` (over the mesh mesh.velto) and writing `out`.
  std::vector<std::string> (*args)(const std::string& result, const std::string& out);
};

const Program kPrograms[] = {
    {"korvant-merge", ".qmx2",
     [](const std::string& in, const std::string& out) {
       return std::vector<std::string>{"-o", out, in};
     }},
    {"korvant-average", ".qmx2",
     [](const std::string& in, const std::string& out) {
       return std::vector<std::string>{in, "-o", out};
     }},
    {"korvant-export", ".nc",
     [](const std::string& in, const std::string& out) {
       return std::vector<std::string>{"mesh.velto", in, "-o", out};
     }},
    {"korvant-plot", ".png",
     [](const std::string& in, const std::string& out) {
       return std::vector<std::string>{"mesh.velto", in, "--field", "depth", "-o", out};
     }},
};

void PrintTo(const Program& program, std::ostream* os) { *os << program.name; }

class OutputsTest : public ::testing::TestWithParam<Program> {
 protected:
  OutputsTest() {
    box_.Write("mesh.velto", TwoElementMesh().bytes());
    box_.Write("run.qmx2", HydroResult().bytes());
  }
  std::string Out(const std::string& stem) const { return stem + GetParam().ext; }
  RunResult Run(const std::string& out, const std::string& in = "run.qmx2") {
    return box_.RunProgram(ProgramPath(GetParam().name), GetParam().args(in, out));
  }
  // The program's message, as its one line on stderr.
  std::string Said(const std::string& message) const {
    return std::string(GetParam().name) + ": " + message + "\n";
  }
  // Temporary files left in the sandbox.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const std::string& name : box_.List()) {
      if (name.ends_with(".tmp")) left.push_back(name);
    }
    return left;
  }
  bool IsA(const std::string& name, mode_t kind) const {
    struct stat st;
    return lstat(box_.Path(name).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
  }

  Sandbox box_;
};

TEST_P(OutputsTest, ALinkToACharacterDeviceIsWrittenThroughAndStaysALink) {
  box_.Link(Out("null"), "/dev/null");
  const RunResult run = Run(Out("null"));
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(IsA(Out("null"), S_IFLNK));
  struct stat st;
  ASSERT_EQ(0, stat("/dev/null", &st));
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());
}

TEST_P(OutputsTest, AFifoIsRefusedAndLeftAFifo) {
  ASSERT_EQ(0, mkfifo(box_.Path(Out("pipe")).c_str(), 0644));
  const RunResult run = Run(Out("pipe"));
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(Said(Out("pipe") + " is a fifo; an output is written only to a regular file or a " +
                 "character device"),
            run.err);
  EXPECT_TRUE(IsA(Out("pipe"), S_IFIFO));
}

TEST_P(OutputsTest, ALinkIsFollowedAndTheFileItLeadsToWritten) {
  box_.Link(Out("link"), Out("real"));  // leads to no file yet
  const RunResult run = Run(Out("link"));
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(IsA(Out("link"), S_IFLNK));
  ASSERT_TRUE(IsA(Out("real"), S_IFREG));
  EXPECT_FALSE(box_.Read(Out("real")).empty());
}

TEST_P(OutputsTest, AnExistingOutputIsReplacedOnlyWithForce) {
  box_.Write(Out("old"), "kept");
  const RunResult kept = Run(Out("old"));
  EXPECT_EQ(1, kept.status);
  EXPECT_EQ(Said(Out("old") + " exists; give --force to replace it"), kept.err);
  EXPECT_EQ("kept", box_.Read(Out("old")));
  std::vector<std::string> args = GetParam().args("run.qmx2", Out("old"));
  args.insert(args.begin(), "-f");
  box_.ExpectOutput(Out("old"));
  const RunResult replaced = box_.RunProgram(ProgramPath(GetParam().name), args);
  EXPECT_EQ(0, replaced.status) << replaced.err;
  EXPECT_NE("kept", box_.Read(Out("old")));
}

TEST_P(OutputsTest, AnInputIsNeverTheOutputHoweverSpelled) {
  // The result under the output's ending, with -f.
  box_.Write(Out("input"), HydroResult().bytes());
  std::vector<std::string> args = GetParam().args(Out("input"), "./" + Out("input"));
  args.insert(args.begin(), "-f");
  const RunResult run = box_.RunProgram(ProgramPath(GetParam().name), args);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(Said("./" + Out("input") + " is also an input; an input is never replaced"), run.err);
  EXPECT_EQ(HydroResult().bytes(), box_.Read(Out("input")));
}

TEST_P(OutputsTest, AFifoAsInputIsRefusedWithoutWaiting) {
  ASSERT_EQ(0, mkfifo(box_.Path("fifo.qmx2").c_str(), 0644));
  const RunResult run = Run(Out("out"), "fifo.qmx2");
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("fifo.qmx2")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("not a regular file")) << run.err;
  EXPECT_FALSE(box_.Exists(Out("out")));
}

TEST_P(OutputsTest, AnOutputNameOfTheLongestLengthIsWritten) {
  const std::string name = std::string(255 - std::string(GetParam().ext).size(), 'n');
  const RunResult run = Run(Out(name));
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(IsA(Out(name), S_IFREG));
}

TEST_P(OutputsTest, AClosedStdoutFailsTheReportAfterTheOutputIsInPlace) {
  box_.CloseConsole();
  const RunResult run = Run(Out("out"));
  EXPECT_EQ(0, run.signal);
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(run.err.ends_with(Said("error writing to standard output"))) << run.err;
  EXPECT_TRUE(IsA(Out("out"), S_IFREG));
}

TEST_P(OutputsTest, AFileSizeLimitIsToldAsSuchAndLeavesNoFile) {
  box_.LimitFileSize(100);
  const RunResult run = Run(Out("out"));
  EXPECT_EQ(1, run.status);
  const std::string told = std::string(GetParam().name) + ": cannot write " + Out("out") + ": ";
  EXPECT_TRUE(run.err.starts_with(told + "File too large")) << run.err;
  EXPECT_FALSE(box_.Exists(Out("out")));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());
}

TEST(CompanionWarningTest, AWarningBeforeAClosedStdoutLosesNoOutput) {
  // The mesh's third element has five nodes: no shape to draw, a warning.
  Sandbox box;
  const float x[] = {0, 1, 2, 2, 2, 1, 0, 0, 3, 4, 3};
  const float y[] = {0, 0, 0, 1, 2, 2, 2, 1, 0.5f, 1, 1.5f};
  VeltoGeometry geometry;
  geometry.np = 11;
  geometry.ne = 3;
  for (int k = 0; k < 11; ++k) geometry.nodes.push_back({x[k], y[k], 0.0f, -1.0f});
  geometry.elements = {VeltoElement{{1, 2, 3, 4, 5, 6, 7, 8}, 7, 0.0f, 0},
                       VeltoElement{{3, 9, 10, 11, 5, 4, 0, 0}, 8, 0.0f, 0},
                       VeltoElement{{1, 2, 3, 4, 5, 0, 0, 0}, 9, 0.0f, 0}};
  box.Write("mesh.velto", VeltoFile(CodedHeader{}, geometry).bytes());
  Qmx2StepData step;
  step.np2 = 11;
  step.ne2 = 3;
  box.Write("run.qmx2", Qmx2File(CharHeader{}, {step}, /*long_steps=*/true).bytes());
  box.CloseConsole();
  const RunResult run =
      box.RunProgram(ProgramPath("korvant-export"), {"mesh.velto", "run.qmx2", "-o", "run.nc"});
  EXPECT_EQ(0, run.signal);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(
      "korvant-export: warning: 1 element has no shape that can be drawn (3, 4, 6 or 8 nodes) "
      "and is left out: 3\n"
      "korvant-export: error writing to standard output\n",
      run.err);
  EXPECT_TRUE(box.Exists("run.nc"));
}

// A terminal whose buffer is full: a program writing to it waits there until
// the test reads.
class FullTerminal {
 public:
  FullTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(0, grantpt(master_));
    EXPECT_EQ(0, unlockpt(master_));
    name_ = ptsname(master_);
    const int slave = open(name_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(slave, 0);
    const std::string block(4096, 'x');
    while (write(slave, block.data(), block.size()) > 0) {
    }
    close(slave);
  }
  ~FullTerminal() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    close(master_);
  }
  const std::string& name() const { return name_; }
  // Reads everything written from now on, until the terminal is closed here.
  void Drain() {
    reader_ = std::thread([this] {
      char buffer[4096];
      while (!stop_) {
        pollfd in = {master_, POLLIN, 0};
        if (poll(&in, 1, 10) > 0 && read(master_, buffer, sizeof buffer) <= 0) usleep(10000);
      }
    });
  }

 private:
  int master_ = -1;
  std::string name_;
  std::thread reader_;
  std::atomic<bool> stop_ = false;
};

// The sandbox as the temporary folder, where a device's output is written
// before it is copied through.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& dir) { setenv("TMPDIR", dir.c_str(), 1); }
  ~TemporaryFolder() { unsetenv("TMPDIR"); }
};

TEST_P(OutputsTest, ASignalRemovesTheTemporaryFilesAndEndsTheRunByIt) {
  std::vector<std::string> args = GetParam().args("run.qmx2", Out("terminal"));
  size_t temporaries = 1;
  if (std::string(GetParam().name) == "korvant-average") {
    args.insert(args.end(), {"--table", "table.txt"});  // a second, beside its target
    ++temporaries;
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    FullTerminal terminal;
    TemporaryFolder temporary(box_.dir());
    box_.Link(Out("terminal"), terminal.name());
    box_.During([&] { return Leftovers().size() == temporaries; },
                [&](int pid) {
                  usleep(100000);  // into the write that waits
                  kill(pid, signal);
                });
    const RunResult run = box_.RunProgram(ProgramPath(GetParam().name), args);
    EXPECT_EQ(signal, run.signal) << run.err;
    EXPECT_EQ(std::vector<std::string>{}, Leftovers()) << strsignal(signal);
    EXPECT_FALSE(box_.Exists("table.txt"));
    unlink(box_.Path(Out("terminal")).c_str());
  }
}

TEST(InfoLimitsTest, OnlyTheConsoleProgramStopsAtItsNodeLimit) {
  Sandbox box;
  box.Write("large.qmx2", HydroResult(90000).bytes());
  const RunResult run = box.RunProgram(ProgramPath("korvant-info"), {"large.qmx2"});
  EXPECT_NE(run.out.find("caution:      NP2 = 90000 is more than the 60000 that the console "
                         "program korvant takes; the companion programs take any\n"),
            std::string::npos)
      << run.out;
}

INSTANTIATE_TEST_SUITE_P(CompanionPrograms, OutputsTest, ::testing::ValuesIn(kPrograms),
                         [](const auto& tested) {
                           std::string name = tested.param.name + 8;  // after "korvant-"
                           return name;
                         });

// The rules of a run with several outputs (korvant-average's).
class SeveralOutputsTest : public ::testing::Test {
 protected:
  SeveralOutputsTest() { box_.Write("run.qmx2", HydroResult().bytes()); }
  Sandbox box_;
};

TEST_F(SeveralOutputsTest, OneNewFileNamedTwiceIsRefusedBeforeAnythingIsWritten) {
  const RunResult run = box_.RunProgram(ProgramPath("korvant-average"),
                                        {"run.qmx2", "-o", "mean.qmx2", "--table", "./mean.qmx2"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("korvant-average: ./mean.qmx2 is named for two outputs\n", run.err);
  EXPECT_EQ(std::vector<std::string>{"run.qmx2"}, box_.List());
}

TEST_F(SeveralOutputsTest, AFileThatAppearsWhileTheRunGoesOnIsKeptWithoutForce) {
  FullTerminal terminal;
  TemporaryFolder temporary(box_.dir());
  // The averaged file goes to the full terminal first; while the run waits
  // there, another run writes table.txt.
  box_.During([&] { return box_.List().size() >= 3; },
              [&](int) {
                box_.Write("table.txt", "another run's");
                terminal.Drain();
              });
  const RunResult run = box_.RunProgram(
      ProgramPath("korvant-average"), {"run.qmx2", "-o", terminal.name(), "--table", "table.txt"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("korvant-average: table.txt exists; give --force to replace it\n", run.err);
  EXPECT_EQ("another run's", box_.Read("table.txt"));
}

}  // namespace
}  // namespace korvant

#endif
