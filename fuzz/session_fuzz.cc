// Whole runs in-process: one input is a console script and up to three files,
// so that the dialogue, the merges, the geometry reader and the averaging all
// meet damaged files and odd answers.
//
// Input: the script, then each file after the separator line "#FILE#\n"; the
// files are named a, b and c in a private folder the run works in.
//
// Promises checked: the run ends with status 0 after the closing line, 1 with
// nothing on stderr, or 2 with one known diagnostic line, any of them after
// caution lines; an input file is changed only after the overwrite question
// was answered.

#include <unistd.h>

#include <array>
#include <climits>
#include <sstream>
#include <string>

#include "dialogue/driver.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr std::string_view kSeparator = "#FILE#\n";
constexpr std::array<std::string_view, 3> kFiles = {"a", "b", "c"};
constexpr size_t kNameChars = 50;
constexpr std::string_view kFinished = " ****** Program Finished ******\n";
constexpr std::string_view kOverwrite = " That file name already exists   OverWrite? \n";
// Words of the lines an own stop ends with: the dimension and count refusals,
// the geometry reader's two lines, the averaging's warnings and cautions, the
// header's end-of-file lines and the step over-run.
constexpr std::string_view kStopReasons[] = {"DIM",     "refused", "VELTO",   "WARNING",
                                             "CAUTION", "E-O-F",   "STOP Now"};

// Names are taken relative to the folder of the run. A name that starts at
// the root, or climbs out through "." or "..", could reach files elsewhere on
// the machine; its slashes are turned into underscores.
std::string KeepInFolder(std::string_view script) {
  std::string out(script);
  size_t line = 0;
  while (line < out.size()) {
    size_t end = out.find('\n', line);
    if (end == std::string::npos) end = out.size();
    std::string_view field(out.data() + line, std::min(end - line, kNameChars));
    size_t first = field.find_first_not_of(' ');
    if (first != std::string_view::npos) {
      std::string_view name = field.substr(first);
      if (name.starts_with("/") || name.starts_with("./") || name.starts_with("../")) {
        for (size_t i = line; i < end; ++i) {
          if (out[i] == '/') out[i] = '_';
        }
      }
    }
    line = end + 1;
  }
  return out;
}

// Cautions come first on stderr, one whole line each, and change no way out.
std::string WithoutCautions(const std::string& err) {
  constexpr std::string_view kCaution = "korvant: caution: ";
  size_t at = 0;
  while (err.compare(at, kCaution.size(), kCaution) == 0) {
    const size_t end = err.find('\n', at);
    FUZZ_CHECK(end != std::string::npos, "caution without its line end: " + err);
    at = end + 1;
  }
  return err.substr(at);
}

void CheckWayOut(int status, const std::string& out, const std::string& all_err) {
  const std::string err = WithoutCautions(all_err);
  if (status == 0) {
    FUZZ_CHECK(err.empty(), "status 0 with a diagnostic: " + err);
    FUZZ_CHECK(out.ends_with(kFinished), "status 0 without the closing line");
    return;
  }
  if (status == 1) {
    FUZZ_CHECK(err.empty(), "status 1 with a diagnostic: " + err);
    // The program's own stops say why on the console, in their last lines.
    size_t from = out.size();
    for (int lines = 0; lines < 8 && from > 0; ++lines) from = out.rfind('\n', from - 1);
    const std::string_view tail =
        std::string_view(out).substr(from == std::string::npos ? 0 : from);
    bool said = false;
    for (std::string_view why : kStopReasons) said = said || tail.find(why) != std::string::npos;
    FUZZ_CHECK(said, "status 1 without a reason on the console:" + std::string(tail));
    return;
  }
  FUZZ_CHECK(status == 2, "exit status " + std::to_string(status));
  FUZZ_CHECK(err.starts_with("korvant: ") && err.ends_with("\n"), "diagnostic form: " + err);
  CheckAbort(RunAborted{2, err.substr(9, err.size() - 10)});
}

}  // namespace

int SessionTarget(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find(kSeparator);
  const std::string script = KeepInFolder(input.substr(0, cut));
  ClearScratch();
  std::array<std::string, kFiles.size()> files;
  size_t given = 0;
  while (given < kFiles.size() && cut != std::string_view::npos) {
    size_t from = cut + kSeparator.size();
    cut = input.find(kSeparator, from);
    files[given] =
        std::string(input.substr(from, cut == std::string_view::npos ? cut : cut - from));
    ScratchFile(kFiles[given], files[given]);
    ++given;
  }

  char home[PATH_MAX];
  FUZZ_CHECK(getcwd(home, sizeof home) != nullptr, "getcwd failed");
  FUZZ_CHECK(chdir(ScratchDir().c_str()) == 0, "chdir failed");
  std::istringstream in(script);
  std::ostringstream out, err;
  const int status = RunSession(in, out, err);
  FUZZ_CHECK(chdir(home) == 0, "chdir back failed");

  CheckWayOut(status, out.str(), err.str());
  if (out.str().find(kOverwrite) == std::string::npos) {
    for (size_t i = 0; i < given; ++i) {
      const std::string path = ScratchDir() + "/" + std::string(kFiles[i]);
      FUZZ_CHECK(access(path.c_str(), F_OK) == 0 && ReadWhole(path) == files[i],
                 "input file " + std::string(kFiles[i]) + " changed without being overwritten");
    }
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(SessionTarget)
