#include "batch/average_report.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <span>
#include <utility>
#include <variant>

#include "engine/family_driver.h"
#include "kit/command_line.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-average";

std::string WindowText(const AverageOptions& o, const AverageReport& r) {
  std::string text = "hours " + HourText(r.start) + " to " + HourText(r.stop);
  if (o.window.from_text.empty() && o.window.to_text.empty()) {
    text += " (the last " + Counted(o.last, "step", "steps") + ")";
  }
  return text;
}

std::string CautionText(const AverageOptions& o, const AverageReport& r, const AverageCaution& c) {
  const std::string input = ValidUtf8(o.input) + ": ";
  const std::string hour = HourText(c.first_hour);
  switch (c.what) {
    case AverageCaution::What::kRepeatedHours:
      if (c.steps == 1) {
        return input + "the step of hour " + hour + " comes at or before the hour of a step " +
               "averaged before it, and counts in the mean as a step of its own " +
               "(--later-wins keeps only the later)";
      }
      return input + std::to_string(c.steps) + " of the " + std::to_string(r.averaged) +
             " steps averaged come at or before the hour of a step averaged before them, the " +
             "first at hour " + hour + "; each counts in the mean as a step of its own " +
             "(--later-wins keeps only the later)";
    case AverageCaution::What::kLeftOut:
      if (c.steps == 1) {
        return input + "the step of hour " + hour + " was left out of the window, replaced by " +
               "a later step at or before its hour";
      }
      return input + std::to_string(c.steps) + " steps of the window were left out, each " +
             "replaced by a later step at or before its hour, the first at hour " + hour;
  }
  return "";
}

}  // namespace

static std::optional<SalvageNote> Salvaged(const AverageOptions& o, const AverageReport& r) {
  if (!r.damage) return std::nullopt;
  return SalvageNote{ValidUtf8(o.input), r.damage->record, r.damage->offset, r.damage->what,
                     r.steps};
}

std::vector<std::string> AverageCautions(const AverageOptions& o, const AverageReport& r) {
  std::vector<std::string> texts;
  if (const std::optional<SalvageNote> note = Salvaged(o, r)) texts.push_back(SalvageText(*note));
  for (const AverageCaution& c : r.cautions) texts.push_back(CautionText(o, r, c));
  return texts;
}

void PrintAverageReport(const AverageOptions& o, const AverageReport& r,
                        const NodeStatistics* statistics) {
  const FamilyDriver& family = *DriverOf(r.kind);
  std::cout << ValidUtf8(o.output) << ": the mean of " << Counted(r.averaged, "step", "steps")
            << ", hours " << HourText(*r.first_hour) << " to " << HourText(*r.last_hour) << " ("
            << family.display_name() << ", " << Counted(r.nodes, "node", "nodes") << ", "
            << Counted(r.elements, "element", "elements");
  if (const QuantityNoun noun = family.quantities(); !noun.empty()) {
    std::cout << ", " << Counted(r.quantities, noun.one, noun.many);
  }
  std::cout << ")\n  " << ValidUtf8(o.input) << ": " << Counted(r.steps, "step", "steps")
            << "; window " << WindowText(o, r) << "; sums in "
            << (o.float32_sums ? "32 bits" : "double precision")
            << (o.later_wins ? "; the later step at a repeated hour" : "") << '\n';
  if (r.damage) {
    std::cout << "  salvaged: damaged at record " << r.damage->record << " (byte "
              << r.damage->offset << "), " << Counted(r.steps, "step", "steps")
              << " before it used\n";
  }
  if (r.dry_nodes > 0) {
    std::cout << "  " << Counted(r.dry_nodes, "dry node", "dry nodes") << " left at zero\n";
  }
  if (!o.geometry.empty()) {
    std::cout << "  " << ValidUtf8(o.geometry) << ": the mesh, "
              << (family.Takes(AverageChoice::kMeshPlaces) ? "for each node's x, y and bottom"
                                                           : "its node count checked")
              << '\n';
  }
  if (statistics != nullptr) {
    std::cout << "  statistics over " << Counted(statistics->steps(), "step", "steps") << ":";
    const std::vector<FieldInfo> columns = statistics->Columns();
    for (size_t i = 0; i < columns.size(); ++i)
      std::cout << (i == 0 ? " " : ", ") << columns[i].name;
    std::cout << '\n';
  }
  if (!o.table.empty()) std::cout << "  " << ValidUtf8(o.table) << ": the per-node table\n";
  if (!o.csv.empty()) std::cout << "  " << ValidUtf8(o.csv) << ": the per-node table as CSV\n";
}

void PrintAverageJson(const AverageOptions& o, const AverageReport& r,
                      const std::vector<std::string>& cautions, const NodeStatistics* statistics) {
  const FamilyDriver& family = *DriverOf(r.kind);
  Json report = {{"program", kProgram},
                 {"input", o.input},
                 {"geometry", o.geometry.empty() ? Json(nullptr) : Json(o.geometry)},
                 {"output", o.output},
                 {"family", family.kind_name()},
                 {"header", !family.has_header() ? Json(nullptr)
                            : r.integer_coded    ? Json("integer-coded")
                                                 : Json("character")},
                 {"steps", r.steps},
                 {"window", {{"from", HourJson(r.start)}, {"to", HourJson(r.stop)}}},
                 {"averaged", r.averaged},
                 {"first_hour", HourJson(r.first_hour)},
                 {"last_hour", HourJson(r.last_hour)},
                 {"nodes", r.nodes},
                 {"elements", r.elements},
                 {"sums", o.float32_sums ? "float32" : "double"},
                 {"later_wins", o.later_wins},
                 {"table", o.table.empty() ? Json(nullptr) : Json(o.table)},
                 {"csv", o.csv.empty() ? Json(nullptr) : Json(o.csv)}};
  const std::optional<SalvageNote> note = Salvaged(o, r);
  report["damage"] = SalvageJson(note ? &*note : nullptr);
  if (family.Takes(AverageChoice::kWeighting)) {
    report["weighted"] = o.weighted;
    report["datum"] = HourJson(o.datum);
    report["dry_nodes"] = r.dry_nodes;
  }
  if (const QuantityNoun noun = family.quantities(); !noun.empty()) {
    report[std::string(noun.key)] = r.quantities;
  }
  if (!r.extremes.empty()) {
    // The degrees of freedom the averaged file holds, by name and units;
    // null where no value was seen (every value was not a number).
    Json extremes = Json::array();
    const int32_t held =
        std::clamp<int32_t>(r.quantities, 0, static_cast<int32_t>(r.extremes.size()));
    for (const DofExtremes& e : std::span(r.extremes).first(static_cast<size_t>(held))) {
      const auto seen = [](int32_t node, float value) {
        return node > 0 ? std::pair(HourJson(value), Json(node)) : std::pair(Json(), Json());
      };
      const auto [max, max_node] = seen(e.max_node, e.max);
      const auto [min, min_node] = seen(e.min_node, e.min);
      extremes.push_back({{"field", e.field.name},
                          {"units", e.field.units},
                          {"max", max},
                          {"max_node", max_node},
                          {"min", min},
                          {"min_node", min_node}});
    }
    report["extremes"] = extremes;
  }
  if (statistics != nullptr) {
    const std::vector<FieldInfo> columns = statistics->Columns();
    std::vector<float> largest(columns.size(), std::numeric_limits<float>::quiet_NaN());
    std::vector<int32_t> node(columns.size(), 0);
    std::vector<Value> values;
    for (int32_t k = 0; k < statistics->nodes(); ++k) {
      statistics->Row(k, &values);
      for (size_t c = 0; c < columns.size(); ++c) {
        const float v = std::get<float>(values[c]);
        if (v > largest[c] || (std::isnan(largest[c]) && !std::isnan(v))) {
          largest[c] = v;
          node[c] = k + 1;
        }
      }
    }
    Json list = Json::array();
    for (size_t c = 0; c < columns.size(); ++c) {
      const bool seen = node[c] > 0;
      list.push_back({{"name", columns[c].name},
                      {"units", columns[c].units},
                      {"largest", seen ? Json(largest[c]) : Json(nullptr)},
                      {"node", seen ? Json(node[c]) : Json(nullptr)}});
    }
    report["statistics"] = {{"steps", statistics->steps()}, {"columns", list}};
  }
  report["cautions"] = cautions;
  std::cout << JsonLine(report) << '\n';
}

}  // namespace korvant
