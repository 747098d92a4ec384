// Writes the seed corpora of the fuzz targets, made with the test builders:
// valid files of every family and header form, short and long steps, zero
// and negative counts, counts beyond the arrays, and cut files; for whole
// runs, scripts that reach every operation.
//
//   korvant_make_corpus <folder>     writes <folder>/<target>/<seed>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/model_files.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

fs::path root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The bytes of `file` with the integer at `offset` into the data of record
// `index` replaced: a count beyond the arrays without the values it would size.
std::string Patched(const FileBuilder& file, size_t index, size_t offset, int32_t value) {
  std::string bytes = file.bytes();
  std::string field;
  PutInt32(&field, value);
  bytes.replace(file.record_start(index) + 4 + offset, 4, field);
  return bytes;
}

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

// The byte of node and element limits the reader targets start with.
std::string Limits(int nodes, int elements) { return Byte(nodes | elements << 4); }

std::string Real(float f) {
  std::string out;
  PutFloat32(&out, f);
  return out;
}

// --- record files ----------------------------------------------------------

// Two bytes an operation: the reading operations of the record target.
enum Op {
  kBegin,
  kInts,
  kReals,
  kText,
  kBytes,
  kPass,
  kFinish,
  kSkip,
  kRewind,
  kTell,
  kSeek,
  kMustBegin,
  kMustFinish
};

std::string Ops(const std::vector<std::pair<int, int>>& ops) {
  std::string out = Byte(static_cast<int>(ops.size()));
  for (auto [op, arg] : ops) out += Byte(op) + Byte(arg);
  return out;
}

void RecordSeeds() {
  const FileBuilder mixed = FileBuilder()
                                .Add(RecordBuilder().Int(7).Reals({1.5f, 2.5f, 3.5f}))
                                .Add(RecordBuilder().Text("TEXT RECORD", 16))
                                .Add(RecordBuilder())
                                .Add(RecordBuilder().Ints({1, 2, 3, 4, 5, 6, 7, 8}));
  const std::string reads = Ops({{kBegin, 0},
                                 {kInts, 1},
                                 {kReals, 2},
                                 {kFinish, 0},
                                 {kTell, 0},
                                 {kBegin, 0},
                                 {kText, 20},
                                 {kFinish, 0},
                                 {kSkip, 0},
                                 {kMustBegin, 0},
                                 {kPass, 8},
                                 {kInts, 4},
                                 {kMustFinish, 0},
                                 {kSeek, 0},
                                 {kSkip, 0},
                                 {kBegin, 0},
                                 {kRewind, 0},
                                 {kSkip, 0}});
  Seed("record_file", "regular_mixed", Byte(0) + reads + mixed.bytes());
  // The same records read in any framing: as they are, big-endian, and with
  // 8-byte lengths (every 4-byte value reversed for big-endian).
  const auto reframed = [&](bool big, int m) {
    std::string out;
    for (size_t r = 0; r < mixed.record_count(); ++r) {
      const size_t at = mixed.record_start(r);
      const auto* p = reinterpret_cast<const unsigned char*>(mixed.bytes().data() + at);
      const size_t n = p[0] | p[1] << 8 | p[2] << 16 | static_cast<size_t>(p[3]) << 24;
      std::string data = mixed.bytes().substr(at + 4, n);
      for (size_t k = 0; big && k + 4 <= n; k += 4) std::reverse(&data[k], &data[k] + 4);
      std::string length;
      for (int i = 0; i < m; ++i) length += static_cast<char>(n >> (8 * (big ? m - 1 - i : i)));
      out += length + data + length;
    }
    return out;
  };
  Seed("record_file", "any_framing_common", Byte(4) + reads + mixed.bytes());
  Seed("record_file", "any_framing_big_endian", Byte(4) + reads + reframed(true, 4));
  Seed("record_file", "any_framing_8_byte", Byte(4) + reads + reframed(false, 8));
  Seed("record_file", "any_framing_big_endian_8_byte", Byte(4) + reads + reframed(true, 8));
  Seed("record_file", "pipe_mixed", Byte(2) + reads + mixed.bytes());
  FileBuilder cut = mixed;
  Seed("record_file", "regular_cut_trailer", Byte(0) + reads + cut.TruncateBy(2).bytes());
  FileBuilder lying = mixed;
  lying.SetLength(1, 4000000);
  Seed("record_file", "regular_length_past_end", Byte(0) + reads + lying.bytes());
  Seed("record_file", "pipe_length_past_end", Byte(2) + reads + lying.bytes());
  Seed("record_file", "stray_bytes", Byte(0) + Ops({{kBegin, 0}, {kMustBegin, 0}}) + "\x01\x02");
  // A record longer than the reader's buffer, repeated sixteen times, read in
  // pieces that cross the buffer's edges.
  std::vector<int32_t> many(9000);
  for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<int32_t>(i);
  const FileBuilder big = FileBuilder().Add(RecordBuilder().Ints(many));
  const std::string big_reads = Ops({{kBegin, 0},
                                     {kInts, 208},
                                     {kReals, 199},
                                     {kFinish, 0},
                                     {kBegin, 0},
                                     {kPass, 230},
                                     {kBytes, 230},
                                     {kFinish, 0},
                                     {kBegin, 0},
                                     {kBytes, 250},
                                     {kFinish, 0},
                                     {kTell, 0},
                                     {kSkip, 0},
                                     {kSkip, 0},
                                     {kSeek, 0},
                                     {kSkip, 0}});
  Seed("record_file", "regular_long_records", Byte(0xF0) + big_reads + big.bytes());
  Seed("record_file", "pipe_long_records", Byte(0xF2) + big_reads + big.bytes());
  // Writing: records of 0, 10 and 3000 bytes, a rewind, a close and reopen.
  Seed("record_file", "writes",
       Byte(3) + Ops({{0, 0}, {0, 10}, {1, 203}, {2, 0}, {0, 7}, {3, 0}, {1, 5}}) + mixed.bytes());
}

// --- geometry --------------------------------------------------------------

void GeometrySeeds() {
  VeltoGeometry mesh;
  mesh.np = 4;
  mesh.ne = 2;
  CharHeader with_title;  // IREC(1) 425: title and node extensions
  const std::string fits = Limits(4, 2);
  Seed("geometry", "char_425", fits + VeltoFile(with_title, mesh).bytes());
  // One node more than the arrays hold.
  Seed("geometry", "nodes_beyond_limit", Limits(3, 15) + VeltoFile(with_title, mesh).bytes());
  CharHeader no_title;
  no_title.irec = {421};
  Seed("geometry", "char_421", fits + VeltoFile(no_title, mesh).bytes());
  CharHeader old;
  old.irec = {300};
  Seed("geometry", "char_300", fits + VeltoFile(old, mesh).bytes());
  CodedHeader coded;
  coded.np = mesh.np;
  coded.ne = mesh.ne;
  Seed("geometry", "coded_425", fits + VeltoFile(coded, mesh).bytes());
  CodedHeader coded_old = coded;
  coded_old.irec = {1};
  Seed("geometry", "coded_no_ext", fits + VeltoFile(coded_old, mesh).bytes());
  VeltoGeometry empty;
  empty.np = 0;
  empty.ne = 0;
  Seed("geometry", "zero_counts", fits + VeltoFile(with_title, empty).bytes());
  VeltoGeometry negative;
  negative.np = -3;
  negative.ne = -1;
  Seed("geometry", "negative_counts", fits + VeltoFile(with_title, negative).bytes());
  Seed("geometry", "np_beyond", fits + Patched(VeltoFile(with_title, mesh), 3, 0, 60001));
  CodedHeader long_banner = coded;
  long_banner.nban = 1201;
  Seed("geometry", "coded_banner_beyond", fits + VeltoFile(long_banner, mesh).bytes());
  FileBuilder cut = VeltoFile(with_title, mesh);
  Seed("geometry", "cut", fits + cut.TruncateBy(30).bytes());
  Seed("geometry", "empty", fits);
}

// --- QMX2 ------------------------------------------------------------------

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

std::string Hours(float from, float to) { return Real(from) + Real(to); }

void Qmx2Seeds() {
  CharHeader short_header;
  short_header.irec = {30};
  CharHeader long_header;
  long_header.irec = {42};
  CodedHeader coded;
  coded.np = 3;
  coded.ne = 1;
  coded.irec = {42};
  const auto steps = HydroSteps(3, 3, 1);
  // Flags, limits that fit the steps of three nodes and one element, hours.
  auto fits = [](int flags) { return Byte(flags) + Limits(3, 1); };
  const std::string none = Hours(0, 0);
  Seed("qmx2", "char_short_steps", fits(8) + none + Qmx2File(short_header, steps, false).bytes());
  Seed("qmx2", "char_long_steps", fits(9) + none + Qmx2File(long_header, steps, true).bytes());
  Seed("qmx2", "coded_long_window",
       fits(15) + Hours(1.5f, 3.0f) + Qmx2File(coded, steps, true).bytes());
  Seed("qmx2", "times_first", fits(4) + none + Qmx2File(short_header, steps, false).bytes());
  Seed("qmx2", "zero_counts",
       fits(8) + none + Qmx2File(short_header, HydroSteps(2, 0, 0), false).bytes());
  Seed("qmx2", "negative_counts",
       fits(9) + none + Qmx2File(long_header, HydroSteps(2, -4, -2), true).bytes());
  // NE2 of the first step (after time, NP2 and 3 nodes of four values).
  Seed("qmx2", "elements_beyond",
       fits(0) + none + Patched(Qmx2File(short_header, steps, false), 3, 56, 20001));
  Seed("qmx2", "nodes_beyond_passed",
       fits(2) + Hours(5, 6) + Patched(Qmx2File(short_header, steps, false), 3, 4, 60001));
  // One node more than the arrays hold, in the header and in the steps.
  Seed("qmx2", "coded_nodes_beyond_limit",
       Byte(8) + Limits(2, 1) + none + Qmx2File(coded, steps, true).bytes());
  Seed("qmx2", "nodes_beyond_limit",
       Byte(9) + Limits(2, 1) + none + Qmx2File(long_header, steps, true).bytes());
  CodedHeader coded_beyond = coded;
  coded_beyond.nirec = 41;
  Seed("qmx2", "coded_counts_beyond",
       fits(0) + none + Qmx2File(coded_beyond, steps, false).bytes());
  FileBuilder cut = Qmx2File(long_header, steps, true);
  Seed("qmx2", "cut_step", fits(1) + none + cut.TruncateBy(9).bytes());
  // Long steps read as short ones: every record holds more than is taken.
  Seed("qmx2", "long_read_short", fits(8) + none + Qmx2File(long_header, steps, true).bytes());
}

// --- QMX4 ------------------------------------------------------------------

std::vector<Qmx4StepData> TransportSteps(int count, int32_t nqal, int32_t np4, int32_t ne4) {
  std::vector<Qmx4StepData> steps;
  for (int i = 0; i < count; ++i) {
    Qmx4StepData step;
    step.time = 0.5f * static_cast<float>(i);
    step.nqal = nqal;
    step.np4 = np4;
    step.ne4 = ne4;
    steps.push_back(step);
  }
  return steps;
}

void Qmx4Seeds() {
  CharHeader header;
  CodedHeader coded;
  coded.np = 3;
  coded.ne = 2;
  // Flags with room for six constituents, and limits that fit steps of three
  // nodes and two elements.
  auto fits = [](int flags) { return Byte(flags | 6 << 4) + Limits(3, 2); };
  Seed("qmx4", "char_one", fits(0) + Qmx4File(header, TransportSteps(3, 1, 3, 2)).bytes());
  Seed("qmx4", "coded_six", fits(1) + Qmx4File(coded, TransportSteps(2, 6, 3, 2)).bytes());
  Seed("qmx4", "zero_counts", fits(0) + Qmx4File(coded, TransportSteps(2, 0, 0, 0)).bytes());
  Seed("qmx4", "negative_counts",
       fits(1) + Qmx4File(header, TransportSteps(2, -1, -5, -2)).bytes());
  Seed("qmx4", "seven_constituents",
       fits(0) + Qmx4File(header, TransportSteps(1, 7, 2, 1)).bytes());
  Seed("qmx4", "nodes_beyond",
       fits(0) + Patched(Qmx4File(header, TransportSteps(1, 1, 2, 1)), 3, 8, 60001));
  // One element more than the arrays hold; two constituents where one fits.
  Seed("qmx4", "elements_beyond_limit",
       Byte(1 << 4) + Limits(3, 1) + Qmx4File(header, TransportSteps(2, 1, 3, 2)).bytes());
  Seed("qmx4", "constituents_beyond_limit",
       Byte(1 << 4) + Limits(3, 2) + Qmx4File(header, TransportSteps(2, 2, 3, 2)).bytes());
  FileBuilder cut = Qmx4File(coded, TransportSteps(2, 2, 3, 2));
  Seed("qmx4", "cut_step", fits(1) + cut.TruncateBy(6).bytes());
  // Steps outside a window of hours are passed by their counts.
  Seed("qmx4", "coded_window",
       fits(5) + Hours(0.5f, 1.0f) + Qmx4File(coded, TransportSteps(4, 2, 3, 2)).bytes());
  // The last step, outside the window, claims five element codes and holds two.
  Seed("qmx4", "short_passed_step",
       fits(4) + Hours(0, 0.5f) + Patched(Qmx4File(coded, TransportSteps(3, 2, 3, 2)), 6, 36, 5));
  Seed("qmx4", "elements_beyond_passed",
       fits(4) + Hours(9, 9) + Patched(Qmx4File(header, TransportSteps(1, 1, 2, 1)), 3, 20, 20001));
}

// --- QMX10 -----------------------------------------------------------------

void Qmx10Seeds() {
  Qmx10StepData full;
  full.np = 3;
  full.ndf = 6;
  full.ne = 2;
  full.icnt = {3, 3, 3, 3, 3, 3, 3, 3};
  Qmx10StepData shorter = full;
  shorter.time = 1.0f;
  shorter.icnt = {3, 3};  // later entries keep the first step's values
  shorter.ndf = 2;
  // Flags with room for six degrees of freedom, and limits that fit steps of
  // three nodes and two elements.
  auto fits = [](int flags) { return Byte(flags | 6 << 4) + Limits(3, 2); };
  Seed("qmx10", "full_then_short", fits(2) + Qmx10File({full, shorter}).bytes());
  Seed("qmx10", "times_first", fits(1) + Qmx10File({full, full, shorter}).bytes());
  Qmx10StepData zero;
  zero.np = 0;
  zero.ndf = 0;
  zero.ne = 0;
  zero.icnt = {};
  Seed("qmx10", "zero_counts", fits(2) + Qmx10File({zero, zero}).bytes());
  Qmx10StepData negative = full;
  negative.np = -2;
  negative.ndf = -1;
  negative.ne = -3;
  negative.icnt = {-1, 2, -7};
  Seed("qmx10", "negative_counts", fits(0) + Qmx10File({negative}).bytes());
  Seed("qmx10", "icnt_beyond", fits(0) + Patched(Qmx10File({full}), 0, 24, 60001));
  // A node more than the arrays hold; entries of the count list one beyond
  // them; six degrees of freedom where two fit.
  Seed("qmx10", "nodes_beyond_limit", Byte(2 | 6 << 4) + Limits(2, 2) + Qmx10File({full}).bytes());
  Qmx10StepData two_nodes = full;
  two_nodes.np = 2;
  Seed("qmx10", "entries_beyond_limit",
       Byte(6 << 4) + Limits(2, 2) + Qmx10File({two_nodes}).bytes());
  Seed("qmx10", "dofs_beyond_limit", Byte(2 << 4) + Limits(3, 2) + Qmx10File({full}).bytes());
  Qmx10StepData lying = full;
  lying.ncnt = 9;
  Seed("qmx10", "ncnt_beyond", fits(0) + Qmx10File({lying}).bytes());
  FileBuilder cut = Qmx10File({full, full});
  Seed("qmx10", "cut_step", fits(3) + cut.TruncateBy(5).bytes());
  // Steps outside a window of hours are passed by their counts.
  Seed("qmx10", "window_around_short",
       fits(6) + Hours(1, 1) + Qmx10File({full, shorter, full}).bytes());
  // The second step, outside the window, claims five nodes and holds three.
  Seed("qmx10", "short_passed_step",
       fits(4) + Hours(5, 5) + Patched(Qmx10File({full, shorter}), 1, 4, 5));
}

// --- whole runs ------------------------------------------------------------

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string Run(const std::vector<std::string>& script, const std::vector<std::string>& files) {
  std::string out = Lines(script);
  for (const std::string& file : files) out += "#FILE#\n" + file;
  return out;
}

void SessionSeeds() {
  CharHeader hydro_header;
  hydro_header.irec = {42};
  const std::string qmx2_a = Qmx2File(hydro_header, HydroSteps(4, 4, 2), true).bytes();
  CodedHeader coded;
  coded.np = 4;
  coded.ne = 2;
  coded.irec = {30};
  const std::string qmx2_b = Qmx2File(coded, HydroSteps(3, 4, 2), false).bytes();
  VeltoGeometry mesh;
  mesh.np = 4;
  mesh.ne = 2;
  const std::string velto = VeltoFile(CharHeader(), mesh).bytes();
  const std::string qmx4 = Qmx4File(CharHeader(), TransportSteps(4, 2, 4, 2)).bytes();
  Qmx10StepData step;
  step.np = 4;
  step.ne = 2;
  step.ndf = 3;
  step.icnt = {4, 4, 4, 0, 0, 0, 4, 4};
  std::vector<Qmx10StepData> steps;
  for (int i = 0; i < 4; ++i) {
    step.time = static_cast<float>(i);
    steps.push_back(step);
  }
  const std::string qmx10 = Qmx10File(steps).bytes();

  Seed("session", "nothing", Run({"s", "N", "N", "N", "N", "N", "N", "N"}, {}));
  Seed("session", "end_of_input", Run({"s", "N", "N"}, {}));
  Seed("session", "hydro_merge_two",
       Run({"s", "Y", "m", "1ST", "a", "0 100", "?", "2ND", "b", "1.5,2.5", "EXIT", "N", "N", "N",
            "N", "N", "N"},
           {qmx2_a, qmx2_b}));
  Seed("session", "hydro_merge_same_file",
       // The second reading finds no header where the first one stopped: the
       // merge closes and the driver asks the next question.
       Run({"s", "Y", "m", "1ST", "a", "0 2", "1ST", "a", "2 4", "N", "N", "N", "N", "N", "N"},
           {qmx2_a}));
  Seed("session", "geometry_and_hydro_average",
       Run({"s", "N", "N", "N", "Y", "c", "0.0", "Y", "o", "a", "", "", "", "1", "Y", "N", "N"},
           {qmx2_a, qmx2_b, velto}));
  Seed("session", "hydro_average_window",
       Run({"s", "N", "N", "N", "N", "Y", "o", "b", "1.0", "3.0", "50", "0", "N", "N", "N"},
           {qmx2_a, qmx2_b}));
  Seed("session", "transport_merge_and_average",
       Run({"s", "N", "Y", "m", "1ST", "a", "0 10", "EXIT", "N", "N", "N", "N", "Y", "o", "a", "",
            "", "2", "1"},
           {qmx4}));
  Seed("session", "threed_merge_and_average",
       Run({"s",    "N", "N", "Y", "m", "1ST", "a", "0 10", "2ND", "b", "1 2",
            "EXIT", "N", "N", "Y", "o", "a",   "",  "",     "1",   "N"},
           {qmx10, qmx10}));
  Seed("session", "overwrite_input",
       Run({"s", "N", "N", "N", "N", "Y", "b", "Y", "a", "", "", "", "0", "N", "N", "N"},
           {qmx2_a, qmx2_b}));
  FileBuilder cut2 = Qmx2File(hydro_header, HydroSteps(4, 4, 2), true);
  FileBuilder cut4 = Qmx4File(CharHeader(), TransportSteps(4, 2, 4, 2));
  FileBuilder cut10 = Qmx10File(steps);
  cut2.TruncateBy(10);
  cut4.TruncateBy(10);
  cut10.TruncateBy(10);
  // A damaged step in each merge and each averaging: the QMX2 ones end the
  // run, so each family has a run of its own.
  const std::vector<std::string> files = {cut2.bytes(), cut4.bytes(), cut10.bytes()};
  Seed("session", "damaged_qmx2_merge",
       Run({"s", "Y", "m2", "1ST", "a", "0 100", "EXIT", "N", "N", "N", "N", "N", "N"}, files));
  Seed("session", "damaged_qmx4_merge",
       Run({"s", "N", "Y", "m4", "1ST", "b", "0 100", "EXIT", "N", "N", "N", "N", "N"}, files));
  Seed("session", "damaged_qmx10_merge",
       Run({"s", "N", "N", "Y", "m10", "1ST", "c", "0 100", "EXIT", "N", "N", "N", "N"}, files));
  Seed("session", "damaged_qmx2_average",
       Run({"s", "N", "N", "N", "N", "Y", "o2", "a", "", "", "", "0", "N", "N", "N"}, files));
  Seed("session", "damaged_qmx10_and_qmx4_averages",
       Run({"s", "N", "N", "N", "N", "N", "Y", "o10", "c", "", "", "0", "Y", "o4", "b", "", "", "1",
            "0"},
           files));
  VeltoGeometry odd;
  odd.np = -2;
  odd.ne = 0;
  CodedHeader odd_header;
  odd_header.np = -2;
  odd_header.irec = {421};
  Seed("session", "odd_answers",
       Run({"s",     "N",      "N",  "N",  "Y", "c", "1E30", "Y", "o2", "a",
            "1.E38", "-1.E38", "-0", "-7", "y", "Y", "o10",  "b", "5.", "2.5",
            "-3",    "Y",      "o4", "b",  "",  "",  "1E30", "x"},
           {qmx2_a, qmx10, VeltoFile(odd_header, odd).bytes()}));
  Seed("session", "wrong_family",
       Run({"s", "Y", "m", "1ST", "a", "0 100", "EXIT", "N", "N", "Y", "b",
            "0", "Y", "o", "a",   "",  "",      "",     "0", "N", "N", "N"},
           {qmx4, qmx10}));
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvant_make_corpus <folder>\n");
    return 2;
  }
  korvant::root = argv[1];
  korvant::RecordSeeds();
  korvant::GeometrySeeds();
  korvant::Qmx2Seeds();
  korvant::Qmx4Seeds();
  korvant::Qmx10Seeds();
  korvant::SessionSeeds();
  return 0;
}
