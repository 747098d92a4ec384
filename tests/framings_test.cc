// Files framed big-endian or with 8-byte record lengths, read by every
// companion program as the little-endian file they hold the same values of;
// korvant-convert there and back; the file of a run that stopped mid-write,
// salvaged.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS) && \
    defined(KORVANT_HAVE_INFO) && defined(KORVANT_SERIES_PROGRAM)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

using Json = nlohmann::json;

struct Framing {
  const char* name;
  bool big_endian;
  int length_bytes;
};

void PutLength(std::string* out, uint64_t n, const Framing& f) {
  for (int i = 0; i < f.length_bytes; ++i) {
    const int shift = 8 * (f.big_endian ? f.length_bytes - 1 - i : i);
    out->push_back(static_cast<char>(n >> shift & 0xff));
  }
}

// The records of a little-endian file with 4-byte lengths, framed anew byte
// by byte: every 4-byte value reversed for big-endian, except in the records
// `text` names (from 0), which hold text.
std::string Reframed(const FileBuilder& file, const Framing& f, std::vector<size_t> text = {}) {
  const std::string& in = file.bytes();
  std::string out;
  for (size_t r = 0; r < file.record_count(); ++r) {
    const size_t at = file.record_start(r);
    const auto byte = [&](size_t k) { return static_cast<uint64_t>(static_cast<uint8_t>(in[k])); };
    const uint64_t n = byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    std::string data = in.substr(at + 4, n);
    const bool is_text = std::find(text.begin(), text.end(), r) != text.end();
    if (f.big_endian && !is_text) {
      for (size_t k = 0; k + 4 <= data.size(); k += 4) {
        std::swap(data[k], data[k + 3]);
        std::swap(data[k + 1], data[k + 2]);
      }
    }
    PutLength(&out, n, f);
    out += data;
    PutLength(&out, n, f);
  }
  return out;
}

struct Family {
  const char* name;
  FileBuilder file;
  std::vector<size_t> text;  // the records of text: a character header's C1 and C3
  const char* field;         // one the plot draws
  bool mesh;
};

std::vector<Family> Families() {
  Qmx4StepData transport;
  transport.time = 0.5f;  // one step at hour 0 would be an averaged file
  transport.nqal = 2;
  transport.np4 = 11;
  transport.ne4 = 2;
  Qmx4StepData later = transport;
  later.time = 1.5f;
  later.conc = {7.0f};
  Qmx10StepData threed;
  threed.time = 1.0f;
  threed.np = 11;
  threed.ndf = 3;
  threed.ne = 2;
  threed.icnt = {11, 11, 11, 0, 0, 0, 0, 0};
  Qmx10StepData threed_later = threed;
  threed_later.time = 2.0f;
  threed_later.vdof = {{5.0f}};
  return {{"QMX2", HydroResult(), {0, 2}, "depth", false},
          {"QMX4", Qmx4File(CodedHeader{}, {transport, later}), {}, "constituent_2", false},
          {"QMX10", Qmx10File({threed, threed_later}), {}, "depth", false},
          {"VELTO", TwoElementMesh(), {}, "depth", true}};
}

const Framing kFramings[] = {
    {"big-endian", true, 4}, {"8-byte", false, 8}, {"big-endian, 8-byte", true, 8}};

class FramingsTest : public ::testing::Test {
 protected:
  RunResult Run(const std::string& program, const std::vector<std::string>& args) {
    return box_.RunProgram(ProgramPath(program), args);
  }
  // Runs `program` (none: nothing is run) and gives what it wrote: its
  // report on stdout, or the bytes of `out`, which is then removed.
  std::string Output(const std::string& program, std::vector<std::string> args,
                     const std::string& out) {
    if (!program.empty()) {
      const RunResult r = Run(program, args);
      EXPECT_EQ(0, r.status) << program << ": " << r.err;
      if (out.empty()) return r.out;
    }
    const std::string bytes = box_.Read(out);
    std::remove(box_.Path(out).c_str());
    return bytes;
  }

  Sandbox box_;
};

TEST_F(FramingsTest, EveryProgramReadsEachFamilyInEachFramingAsTheLittleEndianFile) {
  box_.Write("mesh.velto", TwoElementMesh().bytes());
  box_.Write("run.qmx2", HydroResult().bytes());
  for (const Family& family : Families()) {
    box_.Write("le", family.file.bytes());
    for (const Framing& f : kFramings) {
      SCOPED_TRACE(std::string(family.name) + ", " + f.name);
      // Made here byte by byte, and by korvant-convert: the same bytes.
      const std::string framed = Reframed(family.file, f, family.text);
      box_.Write("x", framed);
      std::vector<std::string> convert = {"le", "-o", "made", "-q"};
      if (f.big_endian) convert.push_back("--big-endian");
      if (f.length_bytes == 8) convert.insert(convert.end(), {"--markers", "8"});
      EXPECT_EQ(framed, Output("korvant-convert", convert, "made"));
      // And back: the original bytes.
      EXPECT_EQ(family.file.bytes(), Output("korvant-convert", {"x", "-o", "back", "-q"}, "back"));

      Json le = Json::parse(Output("korvant-info", {"--json", "le"}, ""));
      Json x = Json::parse(Output("korvant-info", {"--json", "x"}, ""));
      EXPECT_EQ(f.big_endian ? "big-endian" : "little-endian", x["byte_order"]);
      EXPECT_EQ(f.length_bytes, x["record_length_bytes"]);
      EXPECT_EQ(1u, x["cautions"].size());
      for (const char* key : {"file", "byte_order", "record_length_bytes", "cautions"}) {
        le.erase(key);
        x.erase(key);
      }
      EXPECT_EQ(le, x);

      // The other programs: a mesh file is read with the QMX2 result, a
      // result over the mesh; each writes the same output from either file.
      const auto outputs = [&](const std::string& in) {
        const std::string mesh = family.mesh ? in : "mesh.velto";
        const std::string result = family.mesh ? "run.qmx2" : in;
        std::vector<std::string> all = {
            Output("korvant-export", {mesh, result, "-o", "o.vtu", "-q"}, "o.vtu"),
            Output("korvant-plot", {mesh, result, "--field", family.field, "-o", "o.png", "-q"},
                   "o.png"),
            Output("korvant-series", {mesh, result, "--node", "4", "-q"}, "")};
        if (!family.mesh) {
          all.push_back(Output("korvant-merge", {"-o", "o.bin", "-q", in}, "o.bin"));
          all.push_back(Output("korvant-diff", {in, in, "-o", "o.bin", "-q"}, "o.bin"));
        }
        std::vector<std::string> average = {result, "-o", "o.bin", "--table", "t.txt", "-q"};
        if (family.mesh) average.insert(average.end(), {"--geometry", mesh});
        all.push_back(Output("korvant-average", average, "o.bin"));
        all.push_back(Output("", {}, "t.txt"));
        return all;
      };
      EXPECT_EQ(outputs("le"), outputs("x"));
    }
  }
}

// A QMX2 run of 5 steps at hours 1 to 5 (11 nodes, 2 elements, long steps)
// cut 100 bytes into its fourth step. The header is C1 4 + 1200 + 4 bytes,
// C2 4 + 160 + 160 + 4 and C3 4 + 77 + 4: 1621 bytes; a long step holds
// 12 + 20 * 11 + 4 * 2 = 240 bytes, 248 framed. The fourth step is record 7
// at byte 1621 + 3 * 248 = 2365, and 100 - 4 = 96 bytes follow its length.
class SalvageTest : public FramingsTest {
 protected:
  SalvageTest() {
    std::vector<Qmx2StepData> steps;
    for (int hour = 1; hour <= 5; ++hour) {
      steps.push_back({.time = static_cast<float>(hour),
                       .np2 = 11,
                       .ne2 = 2,
                       .vel = {static_cast<float>(hour * hour)},
                       .ndry = {},
                       .imat = {},
                       .wsel = {}});
    }
    CharHeader header;
    header.irec = {42};
    whole_ = Qmx2File(header, steps, true).bytes();
    box_.Write("cut.bin", whole_.substr(0, 2365 + 100));
    box_.Write("three.bin", Qmx2File(header, {steps[0], steps[1], steps[2]}, true).bytes());
    // The three steps less themselves: every field zero, the codes kept.
    for (Qmx2StepData& step : steps) {
      step.vel.assign(33, 0.0f);
      step.wsel.assign(11, 0.0f);
    }
    zero_ = Qmx2File(header, {steps[0], steps[1], steps[2]}, true).bytes();
    box_.Write("mesh.velto", TwoElementMesh().bytes());
  }
  const std::string kDamage =
      "cut.bin is damaged at record 7 (byte 2365): its length of 240 bytes runs past the end of "
      "the file (96 bytes left); its 3 steps before it ";
  std::string whole_, zero_;
};

TEST_F(SalvageTest, MergeAndAverageUseTheThreeStepsBeforeTheCut) {
  const RunResult refused = Run("korvant-merge", {"-o", "m.bin", "cut.bin"});
  EXPECT_EQ(1, refused.status);
  EXPECT_FALSE(box_.Exists("m.bin"));

  const RunResult merge = Run("korvant-merge", {"--salvage", "--json", "-o", "m.bin", "cut.bin"});
  EXPECT_EQ(0, merge.status) << merge.err;
  EXPECT_EQ("korvant-merge: caution: " + kDamage + "are used\n", merge.err);
  EXPECT_EQ(whole_.substr(0, 2365), box_.Read("m.bin"));
  const Json input = Json::parse(merge.out)["inputs"][0];
  EXPECT_EQ(3, input["kept"]);
  const Json damage = {
      {"record", 7},
      {"byte", 2365},
      {"what", "its length of 240 bytes runs past the end of the file (96 bytes left)"},
      {"steps_used", 3}};
  EXPECT_EQ(damage, input["damage"]);

  const RunResult average =
      Run("korvant-average", {"--salvage", "--json", "cut.bin", "-o", "a.bin", "--table", "a.txt"});
  EXPECT_EQ(0, average.status) << average.err;
  EXPECT_EQ("korvant-average: caution: " + kDamage + "are used\n", average.err);
  const Json report = Json::parse(average.out);
  EXPECT_EQ(3, report["averaged"]);
  EXPECT_EQ(3, report["damage"]["steps_used"]);
  EXPECT_EQ(2365, report["damage"]["byte"]);
  // The same as the average of a file of those three steps alone.
  EXPECT_EQ(0, Run("korvant-average", {"three.bin", "-o", "b.bin", "--table", "b.txt"}).status);
  EXPECT_EQ(box_.Read("b.bin"), box_.Read("a.bin"));
  EXPECT_EQ(box_.Read("b.txt"), box_.Read("a.txt"));
}

TEST_F(SalvageTest, NoProgramReadsADamagedFileWithoutAWord) {
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {"korvant-plot",
       {"mesh.velto", "cut.bin", "--field", "depth", "-o", "p.png", "-q"},
       0,
       "korvant-plot: caution: " + kDamage + "are sound\n"},
      {"korvant-export",
       {"mesh.velto", "cut.bin", "-o", "e.nc", "-q"},
       1,
       "korvant-export: cut.bin: record 7 (byte 2365): its length of 240 bytes runs past the end "
       "of the file (96 bytes left); --salvage uses the 3 steps before it\n"},
      {"korvant-export",
       {"mesh.velto", "cut.bin", "-o", "e.nc", "-q", "--salvage"},
       0,
       "korvant-export: caution: " + kDamage + "are used\n"},
      {"korvant-series",
       {"mesh.velto", "cut.bin", "--node", "1", "-q", "--salvage", "-o", "s.csv"},
       0,
       "korvant-series: caution: " + kDamage + "are used\n"},
      {"korvant-convert",
       {"cut.bin", "-o", "c.bin", "-q", "--salvage"},
       0,
       "korvant-convert: caution: " + kDamage + "are written\n"},
      {"korvant-diff",
       {"three.bin", "cut.bin", "-o", "d.bin", "-q"},
       1,
       "korvant-diff: cut.bin: record 7 (byte 2365): its length of 240 bytes runs past the end "
       "of the file (96 bytes left); --salvage uses the 3 steps before it\n"},
      {"korvant-diff",
       {"three.bin", "cut.bin", "-o", "d.bin", "-q", "--salvage"},
       0,
       "korvant-diff: caution: " + kDamage + "are used\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " " + c.args.back());
    const RunResult r = Run(c.program, c.args);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.err, r.err);
  }
  EXPECT_EQ(whole_.substr(0, 2365), box_.Read("c.bin"));
  EXPECT_EQ(zero_, box_.Read("d.bin"));
  // Hours 1 to 3: the series' rows.
  const std::string csv = box_.Read("s.csv");
  EXPECT_EQ(4, std::count(csv.begin(), csv.end(), '\n')) << csv;
}

}  // namespace
}  // namespace korvant

#endif
