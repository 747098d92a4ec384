// korvant-info run as a user runs it: files made byte by byte, the report on
// stdout, messages on stderr and the exit status compared whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

#ifdef KORVANT_HAVE_INFO
#include <nlohmann/json.hpp>
#endif

namespace korvant {
namespace {

#ifdef KORVANT_HAVE_INFO

using Json = nlohmann::json;

Qmx2StepData Hydro(float time, int32_t np2 = 2) {
  Qmx2StepData step;
  step.time = time;
  step.np2 = np2;
  return step;
}

Qmx4StepData Transport(float time) {
  Qmx4StepData step;
  step.time = time;
  step.nqal = 3;
  step.np4 = 4;
  step.ne4 = 2;
  return step;
}

Qmx10StepData Threed(float time) {
  Qmx10StepData step;
  step.time = time;
  step.ndf = 2;
  step.icnt = {2, 2, 0, 0, 0, 0, 0, 0};
  return step;
}

CharHeader Version(int32_t irec1, std::string title = "TEST TITLE") {
  CharHeader h;
  h.irec = {irec1};
  h.title = std::move(title);
  return h;
}

class InfoTest : public ::testing::Test {
 protected:
  RunResult Info(const std::vector<std::string>& args) {
    RunResult r = box_.RunProgram(ProgramPath("korvant-info"), args);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(0, r.signal);
    return r;
  }
  // The one JSON line of a run on a single file.
  Json JsonOf(const std::string& name, int status) {
    const RunResult r = Info({"--json", name});
    EXPECT_EQ(status, r.status) << r.err;
    EXPECT_EQ(1, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
    return Json::parse(r.out);
  }
  Sandbox box_;
};

TEST_F(InfoTest, TextReportOfASoundFileAndOfARestartCutShort) {
  CodedHeader coded;
  coded.mflg = 2;
  coded.ivers = 5;
  coded.irec = {42};
  coded.ititl = Codes("TIDE RUN");
  box_.Write("a.bin", Qmx2File(coded, {Hydro(0.5f), Hydro(1.0f), Hydro(1.5f)}, true).bytes());
  // A restart repeats hours 2 and 3, a node is added, and the run died
  // inside its last record.
  FileBuilder b =
      Qmx2File(Version(40), {Hydro(2), Hydro(3), Hydro(4), Hydro(2), Hydro(3, 3), Hydro(5)}, true);
  b.TruncateBy(6);
  box_.Write("b.bin", b.bytes());
  const RunResult r = Info({"a.bin", "b.bin"});
  // b.bin: records 1-3 are the header, the steps are records 4 to 9; each
  // long step of 2 nodes is 12 + 20 * 2 + 4 = 56 bytes, 64 with its lengths.
  const size_t last = b.record_start(8);
  EXPECT_EQ(JoinLines({
                "a.bin",
                "  kind:         QMX2, integer-coded header, long steps (with elevations)",
                "  version:      IREC(1) = 42, MFLG = 2, IVERS = 5",
                "  title:        TIDE RUN",
                "  mesh:         2 nodes, 1 element",
                "  time steps:   3, hours 0.5 to 1.5",
                "  step length:  0.5 to 0.5 hours",
                "  time order:   forward throughout",
                "  counts:       the same in every step",
                "  500 limit:    within the 500 time steps the console program korvant looks at",
                "  records:      byte order: little-endian; record lengths: 4 bytes",
                "  framing:      sound to the end (7 records)",
                "",
                "b.bin",
                "  kind:         QMX2, character header, long steps (with elevations)",
                "  version:      IREC(1) = 40",
                "  title:        TEST TITLE",
                "  mesh:         2 nodes, 1 element",
                "  time steps:   5, hours 2 to 3",
                "  step length:  -2 to 1 hours",
                "  time order:   repeats or goes back 1 time:",
                "                record 7: hour 2 after hour 4",
                "  counts:       change 1 time:",
                "                record 8: 3 nodes, 1 element after 2 nodes, 1 element",
                "  500 limit:    within the 500 time steps the console program korvant looks at",
                "  records:      byte order: little-endian; record lengths: 4 bytes",
                "  framing:      damaged at record 9 (byte " + std::to_string(last) +
                    "): its length of 56 bytes runs past the end of the file (54 bytes left)",
            }),
            r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.status);
}

struct KindCase {
  const char* name;
  FileBuilder file;
  const char* kind;
  Json header_form;
  int nodes, elements;
  Json extra;  // the family's own keys
};

std::vector<KindCase> KindCases() {
  VeltoGeometry mesh;
  mesh.np = 5;
  mesh.ne = 2;
  const std::vector<Qmx2StepData> hydro = {Hydro(1), Hydro(2)};
  const std::vector<Qmx4StepData> transport = {Transport(1), Transport(2)};
  return {
      {"VeltoCharacter", VeltoFile(Version(425), mesh), "velto", "character", 5, 2, Json::object()},
      {"VeltoIntegerCoded", VeltoFile(CodedHeader{}, mesh), "velto", "integer", 5, 2,
       Json::object()},
      {"Qmx2CharacterShort",
       Qmx2File(Version(39), hydro, false),
       "qmx2",
       "character",
       2,
       1,
       {{"long_steps", false}}},
      {"Qmx2IntegerCodedLong",
       Qmx2File(CodedHeader{}, hydro, true),
       "qmx2",
       "integer",
       2,
       1,
       {{"long_steps", true}}},
      {"Qmx4Character",
       Qmx4File(CharHeader{}, transport),
       "qmx4",
       "character",
       4,
       2,
       {{"constituents", 3}}},
      {"Qmx4IntegerCoded",
       Qmx4File(CodedHeader{}, transport),
       "qmx4",
       "integer",
       4,
       2,
       {{"constituents", 3}}},
      {"Qmx10",
       Qmx10File({Threed(1), Threed(2)}),
       "qmx10",
       nullptr,
       2,
       1,
       {{"degrees_of_freedom", 2}}},
  };
}

class InfoKindTest : public InfoTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(InfoKindTest, JsonLineHoldsEveryKey) {
  const KindCase c = KindCases()[GetParam()];
  box_.Write("f.bin", c.file.bytes());
  const Json j = JsonOf("f.bin", 0);
  EXPECT_EQ("f.bin", j["file"]);
  EXPECT_EQ(c.kind, j["kind"]);
  EXPECT_EQ(c.header_form, j["header_form"]);
  EXPECT_EQ(c.nodes, j["nodes"]);
  EXPECT_EQ(c.elements, j["elements"]);
  EXPECT_EQ(false, j["over_500_steps"]);
  EXPECT_EQ(true, j["sound"]);
  EXPECT_EQ(nullptr, j["damage"]);
  EXPECT_EQ(Json::array(), j["time_goes_back"]);
  const bool velto = std::string(c.kind) == "velto";
  EXPECT_EQ(velto ? 0 : 2, j["steps"]);
  EXPECT_EQ(velto ? Json(nullptr) : Json(1.0), j["first_time"]);
  EXPECT_EQ(velto ? Json(nullptr) : Json(2.0), j["last_time"]);
  EXPECT_EQ(velto ? Json(nullptr) : Json(1.0), j["min_step"]);
  EXPECT_EQ(velto ? Json(nullptr) : Json(1.0), j["max_step"]);
  const Json title = c.header_form == "integer" ? Json("CODED TITLE")
                     : c.header_form == nullptr ? Json(nullptr)
                                                : Json("TEST TITLE");
  EXPECT_EQ(title, j["title"]);
  for (const std::string key : {"long_steps", "constituents", "degrees_of_freedom"}) {
    EXPECT_EQ(c.extra.contains(key), j.contains(key)) << key;
    if (c.extra.contains(key)) {
      EXPECT_EQ(c.extra[key], j[key]) << key;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKindAndForm, InfoKindTest,
                         ::testing::Range<size_t>(0, KindCases().size()), [](const auto& tested) {
                           return std::string(KindCases()[tested.param].name);
                         });

TEST_F(InfoTest, TimeGoingBackAndTheStepLimitInJson) {
  std::vector<Qmx10StepData> steps;
  for (int i = 1; i <= 501; ++i) steps.push_back(Threed(static_cast<float>(i) / 4));
  steps[300].time = steps[299].time;  // a repeat counts as going back
  box_.Write("long.bin", Qmx10File(steps).bytes());
  steps.resize(500);
  box_.Write("full.bin", Qmx10File(steps).bytes());
  Json j = JsonOf("long.bin", 0);
  EXPECT_EQ(501, j["steps"]);
  EXPECT_EQ(true, j["over_500_steps"]);
  EXPECT_EQ(Json::parse(R"([{"record": 301, "time": 75.0, "previous": 75.0}])"),
            j["time_goes_back"]);
  EXPECT_EQ(0.0, j["min_step"]);
  EXPECT_EQ(0.5, j["max_step"]);
  EXPECT_EQ(125.25, j["last_time"]);
  EXPECT_EQ(false, JsonOf("full.bin", 0)["over_500_steps"]);
}

struct DamageCase {
  const char* name;
  FileBuilder file;
  int64_t record;  // from 1
  size_t offset;
  int64_t steps;  // sound steps before it
  std::string what;
};

std::vector<DamageCase> DamageCases() {
  const std::vector<Qmx4StepData> transport = {Transport(1), Transport(2)};
  FileBuilder cut = Qmx4File(CharHeader{}, transport);
  cut.TruncateBy(10);
  FileBuilder past_end = Qmx4File(CharHeader{}, transport);
  past_end.SetLength(3, 4000);
  // NQAL 3 by NP4 4 needs 48 bytes of values before NE4; the record holds 2 values.
  FileBuilder misfit = Qmx4File(CharHeader{}, {Transport(1)});
  misfit.Add(RecordBuilder().Real(2).Ints({3, 4}).Reals({1, 2}).Ints({0}));
  FileBuilder tail = Qmx10File({Threed(1)});
  tail.AppendJunk("xyz");
  return {
      // A step of 16 + 4 * 3 * 4 + 4 * 2 = 72 bytes, 80 with its lengths, 10 of them cut.
      {"CutInsideARecord", cut, 5, cut.record_start(4), 1,
       "its length of 72 bytes runs past the end of the file (66 bytes left)"},
      {"LengthPastTheEnd", past_end, 4, past_end.record_start(3), 0,
       "its length of 4000 bytes runs past the end of the file (" +
           std::to_string(past_end.size() - past_end.record_start(3) - 4) + " bytes left)"},
      {"CountsThatDoNotFit", misfit, 5, misfit.record_start(4), 1,
       "NQAL = 3, NP4 = 4 need more bytes than the record holds 24"},
      {"StrayBytesAtTheEnd", tail, 2, tail.size() - 3, 1,
       "3 bytes after the last record, too few for a record's length"},
  };
}

class InfoDamageTest : public InfoTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(InfoDamageTest, FirstDamagedRecordWithItsOffset) {
  const DamageCase c = DamageCases()[GetParam()];
  box_.Write("d.bin", c.file.bytes());
  const Json j = JsonOf("d.bin", 1);
  EXPECT_EQ(false, j["sound"]);
  EXPECT_EQ(c.steps, j["steps"]);
  EXPECT_EQ(Json({{"record", c.record}, {"offset", c.offset}, {"what", c.what}}), j["damage"]);
}

INSTANTIATE_TEST_SUITE_P(Damage, InfoDamageTest, ::testing::Range<size_t>(0, DamageCases().size()),
                         [](const auto& tested) {
                           return std::string(DamageCases()[tested.param].name);
                         });

TEST_F(InfoTest, FilesOfNoKindAreSaidToBeSoWithTheReason) {
  box_.Write("notes.txt", "hello world, this is text\n");
  box_.Write("header.bin", CharHeaderFile(CharHeader{}).bytes());
  box_.Write("good.bin", Qmx10File({Threed(1)}).bytes());
  const RunResult r = Info({"good.bin", "header.bin"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos,
            r.out.find("header.bin\n"
                       "  kind:         not identified: a header and no time step or mesh "
                       "after it\n"
                       "  framing:      sound to the end (3 records)\n"))
      << r.out;
  const Json text = JsonOf("notes.txt", 1);
  EXPECT_EQ("unknown", text["kind"]);
  EXPECT_EQ(nullptr, text["header_form"]);
  EXPECT_EQ(false, text["sound"]);
  EXPECT_EQ(1, text["damage"]["record"]);
  EXPECT_EQ(0, Info({"good.bin", "good.bin"}).status);
}

TEST_F(InfoTest, UsageMissingFilesHelpAndVersion) {
  RunResult r = Info({});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_TRUE(r.err.starts_with("korvant-info: ")) << r.err;
  EXPECT_EQ(2, Info({"--colour", "x.bin"}).status);

  r = Info({"--json", "missing.bin"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("korvant-info: cannot read missing.bin: no such file\n", r.err);
  const Json j = Json::parse(r.out);
  EXPECT_EQ("unknown", j["kind"]);
  EXPECT_EQ(false, j["sound"]);

  r = Info({"--help"});
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("--json")) << r.out;
  r = Info({"--version"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string("korvant-info ") + KORVANT_VERSION + "\n", r.out);
}

#else

TEST(InfoTest, NotBuilt) { GTEST_SKIP() << "korvant-info needs CLI11 and nlohmann-json"; }

#endif

}  // namespace
}  // namespace korvant
