// Damage that comes from outside the model files: outputs on a full device or
// past a file-size limit, a console that cannot be written, names of fifos,
// sockets and devices, answers of any length and content, and the end of
// input at every prompt. Every run must end by itself, with its diagnostic,
// and leave its inputs as they were (the harness checks the inputs of every
// run).

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";

std::vector<Qmx2StepData> HydroSteps(int count, int32_t np2, int32_t ne2) {
  std::vector<Qmx2StepData> steps;
  for (int i = 0; i < count; ++i) {
    Qmx2StepData step;
    step.time = 1.0f + static_cast<float>(i);
    step.np2 = np2;
    step.ne2 = ne2;
    steps.push_back(step);
  }
  return steps;
}

// One file of every kind: a.bin QMX2 (long steps), b.bin QMX4, c.bin QMX10
// and g.bin geometry, all of 4 nodes and 2 elements, 3 steps an hour apart.
// `nodes` makes the QMX2 file larger.
void PutModelFiles(const Sandbox& box, int32_t nodes = 4) {
  CharHeader hydro;
  hydro.irec = {42};
  box.Write("a.bin", Qmx2File(hydro, HydroSteps(3, nodes, 2), /*long_steps=*/true).bytes());
  std::vector<Qmx4StepData> transport(3);
  for (int i = 0; i < 3; ++i) {
    transport[i].time = 1.0f + static_cast<float>(i);
    transport[i].nqal = 2;
    transport[i].np4 = 4;
    transport[i].ne4 = 2;
  }
  box.Write("b.bin", Qmx4File(CharHeader(), transport).bytes());
  std::vector<Qmx10StepData> threed(3);
  for (int i = 0; i < 3; ++i) {
    threed[i].time = 1.0f + static_cast<float>(i);
    threed[i].np = 4;
    threed[i].ndf = 3;
    threed[i].ne = 2;
    threed[i].icnt = {4, 4, 4, 0, 0, 0, 4, 4};
  }
  box.Write("c.bin", Qmx10File(threed).bytes());
  VeltoGeometry mesh;
  mesh.np = 4;
  mesh.ne = 2;
  box.Write("g.bin", VeltoFile(CharHeader(), mesh).bytes());
}

// Answers for each part of a run, one line each.
using Answers = std::vector<std::string>;

const Answers kHydroMerge = {"Y", "m2.bin", "1ST", "a.bin", "0 100", "EXIT"};
const Answers kTransportMerge = {"Y", "m4.bin", "1ST", "b.bin", "0 100", "EXIT"};
const Answers kThreedMerge = {"Y", "m10.bin", "1ST", "c.bin", "0 100", "EXIT"};
const Answers kGeometry = {"Y", "g.bin", "0.0"};
// Window by default, datum by default, full prints, depth weighting.
const Answers kHydroAverage = {"Y", "o2.bin", "a.bin", "", "", "", "1", "Y"};
// Window by default, debug prints of every node.
const Answers kThreedAverage = {"Y", "o10.bin", "c.bin", "", "", "1"};
// Window by default, two constituents, full prints.
const Answers kTransportAverage = {"Y", "o4.bin", "b.bin", "", "", "2", "1"};

// Summary name, the three merge questions, the geometry question, the three
// averaging questions: each part given, or "N" in its place.
struct RunParts {
  Answers merge2 = {"N"}, merge4 = {"N"}, merge10 = {"N"}, geometry = {"N"};
  Answers average2 = {"N"}, average10 = {"N"}, average4 = {"N"};
};

Answers Script(const RunParts& p) {
  Answers lines = {"s.txt"};
  for (const Answers* part :
       {&p.merge2, &p.merge4, &p.merge10, &p.geometry, &p.average2, &p.average10, &p.average4}) {
    lines.insert(lines.end(), part->begin(), part->end());
  }
  return lines;
}

// Every part of a run, every operation on.
Answers EverythingScript() {
  return Script({kHydroMerge, kTransportMerge, kThreedMerge, kGeometry, kHydroAverage,
                 kThreedAverage, kTransportAverage});
}

// ---------------------------------------------------------------------------
// The harness's own promise: an input the run changes fails the test.

TEST(InputsUntouchedTest, AnInputTheRunOverwritesFailsTheTest) {
  Sandbox box;
  PutModelFiles(box);
  box.Write("x.bin", "not an output");
  RunParts parts;
  // The averaged file is written over x.bin, which the test has not marked.
  parts.average2 = {"Y", "x.bin", "Y", "a.bin", "", "", "", "0", "N"};
  RunResult result;
  EXPECT_NONFATAL_FAILURE(result = box.Run(JoinLines(Script(parts))),
                          "the run changed the input file x.bin");
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(std::vector<std::string>{"x.bin"}, result.changed_inputs);
}

TEST(InputsUntouchedTest, AMarkedOutputMayBeOverwritten) {
  Sandbox box;
  PutModelFiles(box);
  box.Write("x.bin", "not an output");
  box.ExpectOutput("x.bin");
  RunParts parts;
  parts.average2 = {"Y", "x.bin", "Y", "a.bin", "", "", "", "0", "N"};
  const RunResult result = box.Run(JoinLines(Script(parts)));
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_TRUE(result.changed_inputs.empty());
  EXPECT_NE("not an output", box.Read("x.bin"));
}

// ---------------------------------------------------------------------------
// Write failures: the diagnostic, status 2, no crash, inputs untouched.

struct WriteCase {
  const char* what;
  RunParts parts;  // the part that writes names full.bin as its output
  const char* diagnostic;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.what; }

RunParts WithPart(Answers RunParts::*part, Answers answers) {
  RunParts parts;
  parts.*part = std::move(answers);
  return parts;
}

// An output named full.bin exists (as a link to the full device), so the
// overwrite question comes right after the name.
const WriteCase kFullDevice[] = {
    {"Qmx2Merge",
     WithPart(&RunParts::merge2, {"Y", "full.bin", "Y", "1ST", "a.bin", "0 100", "EXIT"}),
     "korvant: error during write, unit 50, file full.bin\n"},
    {"Qmx4Merge",
     WithPart(&RunParts::merge4, {"Y", "full.bin", "Y", "1ST", "b.bin", "0 100", "EXIT"}),
     "korvant: error during write, unit 70, file full.bin\n"},
    {"Qmx10Merge",
     WithPart(&RunParts::merge10, {"Y", "full.bin", "Y", "1ST", "c.bin", "0 100", "EXIT"}),
     "korvant: error during write, unit 95, file full.bin\n"},
    {"Qmx2Average",
     WithPart(&RunParts::average2, {"Y", "full.bin", "Y", "a.bin", "", "", "", "0", "N"}),
     "korvant: error during write, unit 60, file full.bin\n"},
    {"Qmx10Average", WithPart(&RunParts::average10, {"Y", "full.bin", "Y", "c.bin", "", "", "0"}),
     "korvant: error during write, unit 90, file full.bin\n"},
    {"Qmx4Average",
     WithPart(&RunParts::average4, {"Y", "full.bin", "Y", "b.bin", "", "", "2", "0"}),
     "korvant: error during write, unit 80, file full.bin\n"},
};

class FullDeviceTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(FullDeviceTest, OutputOnAFullDeviceEndsWithTheWriteDiagnostic) {
  Sandbox box;
  PutModelFiles(box);
  box.Link("full.bin", "/dev/full");
  const RunResult result = box.Run(JoinLines(Script(GetParam().parts)));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_EQ(GetParam().diagnostic, result.err);
  // What the summary file had been given was written out before the end.
  EXPECT_TRUE(box.Exists("s.txt"));
}

INSTANTIATE_TEST_SUITE_P(Reliability, FullDeviceTest, ::testing::ValuesIn(kFullDevice),
                         [](const ::testing::TestParamInfo<WriteCase>& tested) {
                           return std::string(tested.param.what);
                         });

// 2000 nodes: the averaged file is about 40 KiB, its table in the summary
// file (a line of 110 bytes a node) about 220 KiB.
constexpr int32_t kManyNodes = 2000;

TEST(FileSizeLimitTest, SummaryPastTheLimitEndsWithTheWriteDiagnostic) {
  Sandbox box;
  PutModelFiles(box, kManyNodes);
  box.LimitFileSize(96 * 1024);
  RunParts parts;
  parts.average2 = {"Y", "o2.bin", "a.bin", "", "", "", "0", "N"};
  const RunResult result = box.Run(JoinLines(Script(parts)));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_EQ("korvant: error during write, unit 3, file s.txt\n", result.err);
  EXPECT_LE(box.Read("s.txt").size(), 96u * 1024);
}

TEST(FileSizeLimitTest, MergedFilePastTheLimitEndsWithTheWriteDiagnostic) {
  Sandbox box;
  PutModelFiles(box, kManyNodes);
  // The merged file (three steps of 2000 nodes, 120 KiB) passes the limit;
  // the summary file (about 1.5 KiB) does not.
  box.LimitFileSize(64 * 1024);
  RunParts parts;
  parts.merge2 = kHydroMerge;
  const RunResult result = box.Run(JoinLines(Script(parts)));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_EQ("korvant: error during write, unit 50, file m2.bin\n", result.err);
  EXPECT_EQ(64u * 1024, box.Read("m2.bin").size());
}

// The merge ends early at its second file, with the merged file and the
// summary file still in their buffers; past the limit, the close-down's
// first failed write is a diagnostic of its own, after the end's own.
struct EarlyEndCase {
  const char* what;
  std::string second_file;
  const char* console_end;       // the end's own last console line
  const char* first_diagnostic;  // the end's own, if any
};

void PrintTo(const EarlyEndCase& c, std::ostream* os) { *os << c.what; }

class CloseDownTest : public ::testing::TestWithParam<EarlyEndCase> {};

TEST_P(CloseDownTest, FilesPastTheLimitAfterTheEndAreReported) {
  Sandbox box;
  PutModelFiles(box);
  box.Write("end.bin", GetParam().second_file);
  box.LimitFileSize(1024);
  RunParts parts;
  parts.merge2 = {"Y", "m2.bin", "1ST", "a.bin", "0 100", "2ND", "end.bin", "0 100"};
  const RunResult result = box.Run(JoinLines(Script(parts)));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(result.out.ends_with(GetParam().console_end)) << result.out;
  EXPECT_EQ(std::string(GetParam().first_diagnostic) +
                "korvant: error during write, unit 50, file m2.bin\n",
            result.err);
  // Both files were still written, as far as the limit lets them.
  EXPECT_TRUE(box.Read("a.bin").substr(0, 1024) == box.Read("m2.bin"));
  EXPECT_EQ(1024u, box.Read("s.txt").size());
}

CodedHeader BannerBeyondTheArray() {
  CodedHeader h;
  h.iban.assign(1201, 66);
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, CloseDownTest,
    ::testing::Values(
        // The program's own stop (status 1 when the files can be written).
        EarlyEndCase{"Stop", Qmx2File(BannerBeyondTheArray(), {}, true).bytes(), "\nDIM\n", ""},
        // A fatal diagnostic: the header ends after its banner record, whose
        // first four bytes "BANN" were read as the integer 1313751362.
        EarlyEndCase{"Fatal", FileBuilder().Add(HeaderC1(CharHeader())).bytes(),
                     " -->  1st integer on QMX2 binary=  1313751362\n",
                     "korvant: end-of-file during read, unit 12, file end.bin\n"}),
    [](const ::testing::TestParamInfo<EarlyEndCase>& tested) {
      return std::string(tested.param.what);
    });

TEST(ConsoleWriteTest, ConsoleOnAFullDeviceEndsWithTheWriteDiagnostic) {
  Sandbox box;
  box.ConsoleTo("/dev/full");
  const RunResult result = box.Run(JoinLines(Script(RunParts())));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_EQ("korvant: error during write, unit 6, file stdout\n", result.err);
  // The first prompt could not be shown, so no answer was taken.
  EXPECT_FALSE(box.Exists("s.txt"));
}

// `korvant < answers | head`: the reader quits while the merge has the first
// file copied and keeps asking for a second one that is not there. The run
// ends with the console's write diagnostic, not by SIGPIPE, and the merged
// file and the summary file hold all they had been given.
TEST(ConsoleWriteTest, ConsoleClosedByItsReaderEndsWithTheWriteDiagnostic) {
  Sandbox box;
  PutModelFiles(box);
  Answers script = {"s.txt", "Y", "m2.bin", "1ST", "a.bin", "0 100", "2ND"};
  // Far more prompts than the pipe holds.
  for (int i = 0; i < 1000; ++i) script.insert(script.end(), {"missing.bin", "0 100"});
  box.CloseConsoleAt(" Enter name of 2ND QMX2 binary file\n");
  const RunResult result = box.Run(JoinLines(script));
  EXPECT_EQ(0, result.signal);
  EXPECT_EQ(2, result.status);
  EXPECT_EQ("korvant: error during write, unit 6, file stdout\n", result.err);
  // The window holds every step, so the merged file is a.bin again.
  EXPECT_TRUE(box.Read("a.bin") == box.Read("m2.bin")) << "m2.bin is not a.bin";
  // The merge's title, a.bin's banners, and its extraction line last.
  const std::string summary = box.Read("s.txt");
  EXPECT_TRUE(summary.starts_with("1\r\n  MERGE TOGETHER - MULTIPLE QMX2 FILES\r\n")) << summary;
  EXPECT_TRUE(
      summary.ends_with("         IREC(1)= 42     EXTRACT HRS    0.000000 TO  100.000000\r\n\r\n"))
      << summary;
}

// ---------------------------------------------------------------------------
// Bounded: every run ends by itself, whatever the answers and wherever they end.

void ExpectEnded(const RunResult& result) {
  EXPECT_FALSE(result.timed_out) << "the run did not end";
  EXPECT_FALSE(result.too_much_output) << "the run wrote without end";
  EXPECT_EQ(0, result.signal);
}

TEST(BoundedTest, TheWholeScriptFinishes) {
  Sandbox box;
  PutModelFiles(box);
  const RunResult result = box.Run(JoinLines(EverythingScript()));
  ExpectEnded(result);
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_TRUE(std::string_view(result.out).ends_with(" ****** Program Finished ******\n"));
}

// The input ends after each answer in turn, and in the middle of each: the
// run either does without the answer or ends with the console's end-of-file
// diagnostic.
TEST(BoundedTest, EndOfInputAtEveryPromptEndsTheRun) {
  const Answers script = EverythingScript();
  for (size_t given = 0; given < script.size(); ++given) {
    Answers head(script.begin(), script.begin() + static_cast<std::ptrdiff_t>(given));
    for (bool half_line : {false, true}) {
      std::string input = JoinLines(head);
      if (half_line) input += script[given].substr(0, script[given].size() / 2);
      if (half_line && script[given].size() < 2) continue;
      SCOPED_TRACE("input ends after " + std::to_string(given) + " answers" +
                   (half_line ? " and half a line" : ""));
      Sandbox box;
      PutModelFiles(box);
      const RunResult result = box.Run(input, std::chrono::seconds(20));
      ExpectEnded(result);
      if (result.status == 0) {
        EXPECT_EQ("", result.err);
      } else {
        EXPECT_EQ(2, result.status);
        EXPECT_EQ(kStdinEof, result.err);
      }
    }
  }
}

// 100 kB of NUL bytes, bytes that are not UTF-8, carriage returns, tabs and
// blanks, without a line end inside.
std::string HostileLine() {
  std::string line;
  const std::string_view pieces[] = {std::string_view("\0\0\0", 3),
                                     "\xff\xfe\xc3\x28",
                                     "\xe2\x82",
                                     "\r\t ",
                                     "1ST",
                                     "Y",
                                     ".",
                                     "\xf0\x9f\x98\x80",
                                     std::string_view("a\0b", 3)};
  for (size_t i = 0; line.size() < 100 * 1000; ++i) line.append(pieces[i % std::size(pieces)]);
  return line;
}

// Each answer in turn replaced by the hostile line: the run goes on or ends
// with one diagnostic line, and never echoes the answer whole.
TEST(BoundedTest, AHostileAnswerAtEveryPromptEndsTheRun) {
  const Answers script = EverythingScript();
  const std::string hostile = HostileLine();
  for (size_t at = 0; at < script.size(); ++at) {
    SCOPED_TRACE("answer " + std::to_string(at) + " (\"" + script[at] + "\") replaced");
    Answers changed = script;
    changed[at] = hostile;
    Sandbox box;
    PutModelFiles(box);
    const RunResult result = box.Run(JoinLines(changed), std::chrono::seconds(20));
    ExpectEnded(result);
    EXPECT_GE(result.status, 0);
    EXPECT_LE(result.status, 2);
    if (!result.err.empty()) {
      EXPECT_TRUE(result.err.starts_with("korvant: ")) << result.err;
      EXPECT_EQ(result.err.size() - 1, result.err.find('\n')) << result.err;
    }
    size_t longest = 0;
    for (size_t from = 0; from < result.out.size();) {
      size_t end = result.out.find('\n', from);
      if (end == std::string::npos) end = result.out.size();
      longest = std::max(longest, end - from);
      from = end + 1;
    }
    EXPECT_LT(longest, 300u) << "a console line of " << longest << " bytes";
  }
}

// A 32 MiB answer costs no more memory than a short one: only the part of a
// line that counts is kept. The answers come from a file, so that the test's
// own copy of them does not count.
TEST(BoundedTest, AHugeAnswerDoesNotGrowMemory) {
  Sandbox box;
  const std::string rest = JoinLines({"N", "N", "N", "N", "N", "N", "N"});
  box.Write("short_answers", "short.txt\n" + rest);
  box.Write("huge_answers", std::string(32 << 20, 'x') + "\n" + rest);
  box.StdinFrom("short_answers");
  const RunResult short_answer = box.Run("");
  ExpectEnded(short_answer);
  ASSERT_EQ(0, short_answer.status) << short_answer.err;
  box.StdinFrom("huge_answers");
  const RunResult huge_answer = box.Run("", std::chrono::seconds(60));
  ExpectEnded(huge_answer);
  ASSERT_EQ(0, huge_answer.status) << huge_answer.err;
  EXPECT_TRUE(box.Exists(std::string(50, 'x')));  // the name is its first 50 characters
  EXPECT_LT(huge_answer.max_rss_kb, short_answer.max_rss_kb + 4096)
      << "peak memory " << huge_answer.max_rss_kb << " KiB against " << short_answer.max_rss_kb;
}

// ---------------------------------------------------------------------------
// Names of files that are not regular files: a fifo no one writes, a socket,
// a device that never ends. No run waits on them or reads them for ever.

enum class Odd { kFifo, kSocket, kStreamingDevice };

// Makes `name` in the sandbox a file of the kind `odd`.
void MakeOdd(const Sandbox& box, Odd odd, const std::string& name) {
  const std::string path = box.Path(name);
  if (odd == Odd::kFifo) {
    ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
  } else if (odd == Odd::kSocket) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    close(fd);  // the socket's name stays, with no one behind it
  } else {
    box.Link(name, "/dev/urandom");
  }
}

struct OddCase {
  const char* what;
  Odd odd;
  RunParts parts;                    // the file "odd" first, then a regular one
  std::vector<std::string> console;  // these lines in a row
};

void PrintTo(const OddCase& c, std::ostream* os) { *os << c.what; }

constexpr std::string_view kNoSuchFile = " Sorry ... no such file name ... try again";
constexpr std::string_view kNotRegular = " Sorry ... that file is not a regular file ... try again";
constexpr std::string_view kHydroInput = " Enter name of QMX2 file to read from";
constexpr std::string_view kHydroOutput = " Enter QMX2 integrated file name to be created";
constexpr std::string_view kFirstHydro = " Enter name of 1st QMX2 binary file";
constexpr std::string_view kMergedHydro = " Enter name of QMX2 MERGED file to be created";
constexpr std::string_view kHours = " Enter starting and ending decimal hour";
const Answers kOddHydroInput = {"Y", "o2.bin", "odd", "a.bin", "", "", "", "0", "N"};
const std::vector<std::string> kHydroInputAgain = {
    std::string(kHydroInput), std::string(kNoSuchFile), std::string(kHydroInput)};

// An input is answered as a missing file is; an output that is a fifo or a
// socket is refused before the overwrite question. Either way the name is
// asked again.
const OddCase kOddCases[] = {
    {"FifoAsGeometry",
     Odd::kFifo,
     WithPart(&RunParts::geometry, {"Y", "odd", "g.bin", "0.0"}),
     {" Enter VELTO Binary file name", " Sorry ... no such VELTO file name ... try again",
      " Enter VELTO Binary file name", " ENTER DATUM (Make it 0.0 for WSELEV array to be OK)"}},
    {"FifoAsMergeInput",
     Odd::kFifo,
     WithPart(&RunParts::merge2, {"Y", "m2.bin", "1ST", "odd", "0 100", "a.bin", "0 100", "EXIT"}),
     {std::string(kFirstHydro), std::string(kHours), std::string(kNoSuchFile),
      std::string(kFirstHydro), std::string(kHours)}},
    {"FifoAsAverageInput", Odd::kFifo, WithPart(&RunParts::average2, kOddHydroInput),
     kHydroInputAgain},
    {"SocketAsAverageInput", Odd::kSocket, WithPart(&RunParts::average2, kOddHydroInput),
     kHydroInputAgain},
    {"StreamingDeviceAsAverageInput", Odd::kStreamingDevice,
     WithPart(&RunParts::average2, kOddHydroInput), kHydroInputAgain},
    {"FifoAsAverageOutput",
     Odd::kFifo,
     WithPart(&RunParts::average2, {"Y", "odd", "o2.bin", "a.bin", "", "", "", "0", "N"}),
     {std::string(kHydroOutput), std::string(kNotRegular), std::string(kHydroOutput),
      std::string(kHydroInput)}},
    {"SocketAsMergeOutput",
     Odd::kSocket,
     WithPart(&RunParts::merge2, {"Y", "odd", "m2.bin", "1ST", "a.bin", "0 100", "EXIT"}),
     {std::string(kMergedHydro), std::string(kNotRegular), std::string(kMergedHydro),
      " Enter flag identifier or (?) for menu"}},
};

class NotARegularFileTest : public ::testing::TestWithParam<OddCase> {};

TEST_P(NotARegularFileTest, IsRefusedAndTheNameAskedAgain) {
  Sandbox box;
  PutModelFiles(box);
  MakeOdd(box, GetParam().odd, "odd");
  const RunResult result = box.Run(JoinLines(Script(GetParam().parts)), std::chrono::seconds(10));
  ExpectEnded(result);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.err);
  EXPECT_NE(std::string::npos, result.out.find(JoinLines(GetParam().console))) << result.out;
  EXPECT_TRUE(result.out.ends_with(" ****** Program Finished ******\n")) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Reliability, NotARegularFileTest, ::testing::ValuesIn(kOddCases),
                         [](const ::testing::TestParamInfo<OddCase>& tested) {
                           return std::string(tested.param.what);
                         });

}  // namespace
}  // namespace korvant
