#include "info/report_json.h"

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "engine/family_driver.h"
#include "info/report_text.h"
#include "text/number_format.h"

namespace korvant {
namespace {

using Json = nlohmann::ordered_json;

// The number the float's shortest decimal text names, so that an hour stored
// as 0.1 is written 0.1 and not 0.10000000149011612. JSON has no number that
// is not finite: "inf", "-inf" and "nan" are written as strings.
Json Number(float value) {
  const std::string text = ShortestText(value);
  return std::isfinite(value) ? Json(std::strtod(text.c_str(), nullptr)) : Json(text);
}

Json Optional(const std::optional<float>& value) { return value ? Number(*value) : Json(nullptr); }

template <typename T>
Json OptionalInt(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json CountsObject(const StepCounts& c) {
  return Json{{"nodes", c.nodes}, {"elements", c.elements}, {"width", c.width}};
}

}  // namespace

std::string JsonReport(const std::string& name, const FileReport& r,
                       const std::optional<std::string>& error) {
  const Identity& id = r.identity;
  const bool has_form = r.identified() && id.has_header;
  Json j;
  j["file"] = name;
  j["kind"] = KindName(id.kind);
  j["header_form"] = has_form ? Json(id.integer_coded ? "integer" : "character") : Json(nullptr);
  j["title"] = OptionalInt(r.title);
  j["nodes"] = r.counts ? Json(r.counts->nodes) : Json(nullptr);
  j["elements"] = r.counts ? Json(r.counts->elements) : Json(nullptr);
  j["steps"] = r.steps;
  j["first_time"] = Optional(r.first_time);
  j["last_time"] = Optional(r.last_time);
  j["min_step"] = Optional(r.min_step);
  j["max_step"] = Optional(r.max_step);
  Json back = Json::array();
  for (const TimeBack& b : r.time_back) {
    back.push_back(
        Json{{"record", b.record}, {"time", Number(b.time)}, {"previous", Number(b.previous)}});
  }
  j["time_goes_back"] = back;
  j["time_goes_back_count"] = r.time_back_count;
  Json changes = Json::array();
  for (const CountChange& c : r.count_changes) {
    changes.push_back(Json{{"record", c.record},
                           {"counts", CountsObject(c.counts)},
                           {"previous", CountsObject(c.previous)}});
  }
  j["count_changes"] = changes;
  j["count_changes_count"] = r.count_change_count;
  j["over_500_steps"] = r.over_step_limit();
  j["byte_order"] = r.identified() ? Json(ByteOrderName(r.framing)) : Json(nullptr);
  j["record_length_bytes"] = r.identified() ? Json(r.framing.length_bytes) : Json(nullptr);
  j["sound"] = r.sound() && !error;
  j["damage"] = r.damage ? Json{{"record", r.damage->record},
                                {"offset", r.damage->offset},
                                {"what", r.damage->what}}
                         : Json(nullptr);
  if (const FamilyDriver* family = DriverOf(id.kind)) {
    if (const std::optional<bool> long_steps = family->long_steps(id))
      j["long_steps"] = *long_steps;
    if (const QuantityNoun noun = family->quantities(); !noun.empty()) {
      j[std::string(noun.key)] = r.counts ? Json(r.counts->width) : Json(nullptr);
    }
  }
  if (has_form) {
    j["irec1"] = OptionalInt(r.irec1);
    j["mflg"] = OptionalInt(r.mflg);
    j["ivers"] = OptionalInt(r.ivers);
  }
  j["records"] = r.records;
  j["cautions"] = Cautions(r);
  if (!r.identified()) j["why"] = error ? *error : id.why;
  if (error) j["error"] = *error;
  // Titles are bytes of the file, not always UTF-8: a stray byte is replaced
  // rather than failing the line.
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace korvant
