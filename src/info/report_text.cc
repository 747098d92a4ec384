#include "info/report_text.h"

#include <algorithm>
#include <string_view>

#include "engine/family_driver.h"
#include "formats/limits.h"
#include "formats/qmx2.h"
#include "text/number_format.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr size_t kLabelWidth = 14;
const std::string kContinued(2 + kLabelWidth, ' ');

std::string Hours(float value) { return ShortestText(value); }

void Line(std::string& out, std::string_view label, const std::string& text) {
  out += "  ";
  out += label;
  out.append(kLabelWidth > label.size() ? kLabelWidth - label.size() : 1, ' ');
  out += text;
  out += '\n';
}

// Control characters of a title shown as '?', so that the report stays on its
// lines, and bytes that are not UTF-8 replaced.
std::string Printable(std::string_view title) {
  std::string text = ValidUtf8(title);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

std::string KindText(const Identity& id) {
  const FamilyDriver* family = DriverOf(id.kind);
  if (family == nullptr) return "not identified: " + id.why;
  std::string text = family->display_name() + (family->is_mesh() ? " geometry" : "");
  if (!family->has_header()) return text + " (no header)";
  text += id.integer_coded ? ", integer-coded header" : ", character header";
  if (const std::optional<bool> long_steps = family->long_steps(id)) {
    text += *long_steps ? ", long steps (with elevations)" : ", short steps (no elevations)";
  }
  return text;
}

std::string VersionText(const FileReport& r) {
  std::string text =
      r.irec1 ? "IREC(1) = " + std::to_string(*r.irec1) : std::string("IREC(1) not in the header");
  if (r.mflg) text += ", MFLG = " + std::to_string(*r.mflg);
  if (r.ivers) text += ", IVERS = " + std::to_string(*r.ivers);
  return text;
}

std::string CountsText(FileKind kind, const StepCounts& c) {
  std::string text =
      Counted(c.nodes, "node", "nodes") + ", " + Counted(c.elements, "element", "elements");
  if (const QuantityNoun noun = DriverOf(kind)->quantities(); !noun.empty()) {
    text += ", " + Counted(c.width, noun.one, noun.many);
  }
  return text;
}

void TimeLines(std::string& out, const FileReport& r) {
  std::string steps = std::to_string(r.steps);
  if (r.first_time) steps += ", hours " + Hours(*r.first_time) + " to " + Hours(*r.last_time);
  Line(out, "time steps:", steps);
  if (r.min_step)
    Line(out, "step length:", Hours(*r.min_step) + " to " + Hours(*r.max_step) + " hours");
  if (r.steps < 2) return;
  if (r.time_back_count == 0) {
    Line(out, "time order:", "forward throughout");
  } else {
    Line(out,
         "time order:", "repeats or goes back " + Counted(r.time_back_count, "time:", "times:"));
    for (const TimeBack& b : r.time_back) {
      out += kContinued + "record " + std::to_string(b.record) + ": hour " + Hours(b.time) +
             " after hour " + Hours(b.previous) + "\n";
    }
  }
  const FileKind kind = r.identity.kind;
  if (r.count_change_count == 0) {
    Line(out, "counts:", "the same in every step");
  } else {
    Line(out, "counts:", "change " + Counted(r.count_change_count, "time:", "times:"));
    for (const CountChange& c : r.count_changes) {
      out += kContinued + "record " + std::to_string(c.record) + ": " + CountsText(kind, c.counts) +
             " after " + CountsText(kind, c.previous) + "\n";
    }
  }
  const int64_t more = std::max(r.time_back_count, r.count_change_count) - int64_t{kMaxListed};
  if (more > 0)
    out += kContinued + "(only the first " + std::to_string(kMaxListed) + " of each listed)\n";
}

}  // namespace

std::vector<std::string> Cautions(const FileReport& r) {
  std::vector<std::string> cautions;
  const FamilyDriver* family = DriverOf(r.identity.kind);
  if (family != nullptr && family->long_steps(r.identity) && r.irec1 && r.steps > 0) {
    const int32_t v = *r.irec1;
    const std::string irec = "IREC(1) = " + std::to_string(v) + ": ";
    if (r.identity.long_steps && v < kMergeLongFrom) {
      cautions.push_back(irec +
                         "a merge and an averaging read these long steps as short ones, "
                         "without their elevations");
    } else if (!r.identity.long_steps && v >= kAverageLongFrom) {
      cautions.push_back(irec +
                         "a merge and an averaging read these short steps as long ones "
                         "and stop at the first");
    } else if (!r.identity.long_steps && v >= kMergeLongFrom) {
      cautions.push_back(irec +
                         "a merge reads these short steps as long ones and stops at the first");
    }
  }
  if (family != nullptr && !family->is_mesh() && family->has_header() && !r.identity.titled()) {
    cautions.push_back(
        "no title record: the console program korvant takes the first step for one; the "
        "companion programs read the file, and write an empty title where they write a header");
  }
  if (r.identified() && !r.framing.common()) {
    cautions.push_back(
        "the console program korvant reads only little-endian files with 4-byte record lengths; "
        "korvant-convert rewrites this one so");
  }
  if (r.too_large) {
    cautions.push_back(std::string(r.too_large->count) + " = " +
                       std::to_string(r.too_large->value) + " is more than the " +
                       std::to_string(r.too_large->limit) +
                       " that the console program korvant takes; the companion programs take any");
  }
  return cautions;
}

std::string TextReport(const std::string& name, const FileReport& r) {
  std::string out = ValidUtf8(name) + "\n";
  const Identity& id = r.identity;
  Line(out, "kind:", KindText(id));
  if (id.has_header && r.identified()) {
    Line(out, "version:", VersionText(r));
    Line(out, "title:", r.title ? Printable(*r.title) : std::string("(none)"));
  }
  if (r.identified()) {
    Line(out,
         "mesh:", r.counts ? CountsText(id.kind, *r.counts) : std::string("no sound time step"));
  }
  if (r.identified() && !DriverOf(id.kind)->is_mesh()) {
    TimeLines(out, r);
    Line(out, "500 limit:",
         r.over_step_limit() ? Counted(r.steps, "time step", "time steps") +
                                   ": the console program korvant looks at the first " +
                                   std::to_string(kMaxSteps) + " only"
                             : "within the " + std::to_string(kMaxSteps) +
                                   " time steps the console program korvant looks at");
  }
  if (r.identified()) {
    Line(out, "records:",
         std::string("byte order: ") + ByteOrderName(r.framing) +
             "; record lengths: " + std::to_string(r.framing.length_bytes) + " bytes");
  }
  for (const std::string& caution : Cautions(r)) Line(out, "caution:", caution);
  if (r.damage) {
    Line(out, "framing:",
         "damaged at record " + std::to_string(r.damage->record) + " (byte " +
             std::to_string(r.damage->offset) + "): " + r.damage->what);
  } else {
    Line(out, "framing:", "sound to the end (" + Counted(r.records, "record", "records") + ")");
  }
  return out;
}

}  // namespace korvant
