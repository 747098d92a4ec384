// korvant-convert: rewrites a model file of any family in another record
// framing (byte order and width of the record lengths), its values unchanged
// bit for bit; by default into the framing the console program reads.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "engine/family_driver.h"
#include "engine/file_report.h"
#include "io/framing.h"
#include "io/outputs.h"
#include "io/record_file.h"
#include "kit/command_line.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-convert";

constexpr ProgramHelp kHelp = {"rewrite a model file in another record framing",
                               R"(DESCRIPTION
  Reads IN, a VELTO, QMX2, QMX4 or QMX10 file in any framing the companion
  programs read (little- or big-endian, with 4- or 8-byte record lengths,
  told from its first record's two lengths), and writes its records to OUT
  little-endian with 4-byte lengths, the framing the console program korvant
  reads: the same records with the same values, bit for bit, only the
  lengths and the byte order of each 4-byte value rewritten (the text of a
  character header stays as it is). --big-endian and --markers 8 write the
  other framings, to send a file back to a machine that reads them.

DAMAGED FILES
  A file whose framing or counts are damaged is refused. With --salvage, a
  result file damaged after its header (the file of a run that stopped
  mid-write) is written up to its first damaged record: its header and the
  steps before it. The report says which record, at which byte, and how many
  steps were written.

OUTPUT
  OUT is written under a temporary name beside it and renamed into place when
  the run succeeds, so a failed run leaves the old OUT (or none). An existing
  OUT is replaced only with --force, and never when it is IN.
)",
                               R"(  korvant-convert sun.bin -o run.bin
  korvant-convert crashed.bin -o sound.bin --salvage
  korvant-convert run.bin -o back.bin --big-endian --markers 8
)"};

struct Options {
  std::string input, output;
  bool big_endian = false;
  int markers = 4;
  bool salvage = false;
  bool force = false, json = false, quiet = false;
};

std::string FramingText(const Framing& f) {
  return std::string(ByteOrderName(f)) + ", " + std::to_string(f.length_bytes) +
         "-byte record lengths";
}

Json FramingJson(const Framing& f) {
  return Json{{"byte_order", ByteOrderName(f)}, {"record_length_bytes", f.length_bytes}};
}

int Convert(const Options& o) {
  if (std::string why = CannotRead(o.input); !why.empty()) Refuse(1, why);
  RecordFile file;
  file.ReadAnyFraming(true);
  file.OpenExisting(0, o.input);
  const FileReport report = ReportFile(file);
  const Identity& id = report.identity;
  const FamilyDriver* family = DriverOf(id.kind);
  if (family == nullptr) Refuse(1, o.input + ": " + id.why);
  // The bytes written: the whole file, or what comes before its damage.
  int64_t bytes = 0;
  {
    struct stat st;
    if (::stat(o.input.c_str(), &st) != 0) Refuse(1, "cannot read " + o.input);
    bytes = st.st_size;
  }
  std::optional<SalvageNote> salvaged;
  if (report.damage) {
    const Damage& d = *report.damage;
    const std::string where = o.input + ": record " + std::to_string(d.record) + " (byte " +
                              std::to_string(d.offset) + "): " + d.what;
    if (!o.salvage) {
      Refuse(1, where + "; --salvage writes the " + Counted(report.steps, "step", "steps") +
                    " before it");
    }
    if (family->is_mesh() || d.record <= id.header_records) {
      Refuse(1, where + "; there is no sound step before it to salvage");
    }
    bytes = d.offset;
    salvaged = SalvageNote{ValidUtf8(o.input), d.record, d.offset, d.what, report.steps};
  }

  Outputs outputs;
  std::string error;
  if (!outputs.Add(o.output, o.force, {o.input}, &error)) Refuse(1, error);
  const int in = ::open(o.input.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) Refuse(1, "cannot read " + o.input + ": " + std::strerror(errno));
  const int out = outputs.Create(0, &error);
  if (out < 0) {
    ::close(in);
    Refuse(1, error);
  }
  const Framing to{o.big_endian, o.markers};
  Reframer reframer(report.framing, to);
  // The text of a character header: its first record, and its third when
  // the header has one (the title).
  const unsigned text = !id.has_header || id.integer_coded ? 0u
                        : id.header_records >= 3           ? 0b101u
                                                           : 0b1u;
  bool written = reframer.Copy(in, 0, bytes, out, text, /*torn_tail=*/true);
  ::close(in);
  if (::close(out) != 0 && written) {
    written = false;
    error = "cannot write " + o.output + ": " + std::strerror(errno);
  }
  if (!written) {
    if (error.empty()) {
      error = reframer.write_failed() ? "cannot write " + o.output + ": " + reframer.error()
                                      : o.input + ": " + reframer.error();
    }
    Refuse(1, error);
  }
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/false)) Refuse(1, error);
  if (salvaged) Caution(kProgram, SalvageText(*salvaged, "are written"));
  if (o.quiet) return 0;
  if (o.json) {
    std::cout << JsonLine({{"program", kProgram},
                           {"input", o.input},
                           {"output", o.output},
                           {"family", KindName(id.kind)},
                           {"steps", family->is_mesh() ? Json(nullptr) : Json(report.steps)},
                           {"from", FramingJson(report.framing)},
                           {"to", FramingJson(to)},
                           {"bytes", reframer.written()},
                           {"damage", SalvageJson(salvaged ? &*salvaged : nullptr)}})
              << '\n';
    return 0;
  }
  std::cout << ValidUtf8(o.output) << ": " << family->Describe(id);
  if (!family->is_mesh()) std::cout << ", " << Counted(report.steps, "step", "steps");
  std::cout << ", " << FramingText(to) << " (" << ValidUtf8(o.input) << ": "
            << FramingText(report.framing) << ")\n";
  if (salvaged) {
    std::cout << "  salvaged: damaged at record " << salvaged->record << " (byte " << salvaged->byte
              << "), " << Counted(salvaged->steps, "step", "steps") << " before it written\n";
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  Options o;
  app.add_option("IN", o.input, "The file to rewrite")->required();
  AddOutputOption(app, &o.output, "The file to write")->required();
  app.add_flag("--big-endian", o.big_endian, "Write big-endian lengths and values");
  app.add_option("--markers", o.markers, "Bytes of each record length written: 4 or 8")
      ->type_name("4|8")
      ->check(CLI::IsMember({4, 8}));
  AddSalvageOption(app, &o.salvage);
  AddForceOption(app, &o.force);
  AddReportOptions(app, &o.quiet, &o.json);
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> status = ParseCommandLine(app, argc, argv)) return *status;
  return RunProgram(kProgram, [&] { return Convert(o); });
}
