#include "engine/node_statistics.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "engine/result_series.h"
#include "io/record_file.h"

namespace korvant {
namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

std::string ValueText(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string Problem(const std::string& path, const SeriesResult& r) {
  if (!r.refusal.empty()) return path + ": " + r.refusal;
  return path + ": record " + std::to_string(r.read.damage.record) + " (byte " +
         std::to_string(r.read.damage.offset) + "): " + r.read.damage.what;
}

}  // namespace

std::string NodeStatistics::Run(const std::string& path, const Mesh& mesh, float from, float to,
                                int64_t steps) {
  RecordFile file;
  file.CompareClosingLengths(true);
  file.ReadAnyFraming(true);
  file.OpenExisting(0, path);
  ResultSeries series(file, mesh);
  SeriesResult r = series.Open();
  if (!r.ok()) return Problem(path, r);
  series.StopAfter(steps);
  np_ = mesh.np;
  const size_t n = static_cast<size_t>(np_);
  const std::vector<FieldInfo>& fields = series.fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].integer || fields[i].per_element) continue;
    fields_.push_back(Field{i, fields[i], std::vector<double>(n), std::vector<double>(n),
                            std::vector<double>(n), std::vector<float>(n, kNone),
                            std::vector<float>(n, kNone), std::vector<float>(n, kNone),
                            std::vector<float>(n, kNone)});
  }
  for (const Threshold& rule : choices_.thresholds) {
    size_t at = fields_.size();
    for (size_t f = 0; f < fields_.size(); ++f) {
      if (fields_[f].info.name == rule.field) at = f;
    }
    if (at == fields_.size()) {
      std::string names;
      for (const Field& f : fields_) names += (names.empty() ? "" : ", ") + f.info.name;
      return (rule.above ? "--above " : "--below ") + rule.field + ": " + path +
             " holds no such field; it holds " + names;
    }
    clocks_.push_back(Clock{at, rule, std::vector<double>(n), std::vector<uint8_t>(n)});
  }
  for (;;) {
    r = series.Next();
    if (r.at_end()) break;
    if (!r.ok()) return Problem(path, r);
    const float hour = series.time();
    if (!(hour >= from && hour <= to)) continue;
    // The step before this one now knows both its neighbours.
    if (last_) Credit((static_cast<double>(hour) - before_last_.value_or(*last_)) / 2.0);
    for (Field& f : fields_) Add(series.values(f.index), f, hour);
    for (Clock& c : clocks_) {
      const std::span<const float> values = series.values(fields_[c.field].index);
      for (size_t k = 0; k < n; ++k) {
        const float v = values[k];
        c.was[k] = c.rule.above ? v > c.rule.value : v < c.rule.value;  // NaN meets neither
      }
    }
    before_last_ = last_;
    last_ = hour;
    ++steps_;
  }
  if (last_) Credit((static_cast<double>(*last_) - before_last_.value_or(*last_)) / 2.0);
  return "";
}

void NodeStatistics::Credit(double weight) {
  for (Clock& c : clocks_) {
    for (size_t k = 0; k < c.hours.size(); ++k) {
      if (c.was[k]) c.hours[k] += weight;
    }
  }
}

void NodeStatistics::Add(std::span<const float> values, Field& f, float hour) {
  for (size_t k = 0; k < values.size(); ++k) {
    const float v = values[k];
    if (std::isnan(v)) continue;
    const double count = f.count[k] += 1.0;
    const double delta = v - f.mean[k];
    f.mean[k] += delta / count;
    f.m2[k] += delta * (v - f.mean[k]);
    if (!(v <= f.max[k])) {  // the first value, or a larger one
      f.max[k] = v;
      f.max_hour[k] = hour;
    }
    if (!(v >= f.min[k])) {
      f.min[k] = v;
      f.min_hour[k] = hour;
    }
  }
}

std::vector<FieldInfo> NodeStatistics::Columns() const {
  std::vector<FieldInfo> columns;
  const auto add = [&](const FieldInfo& field, const std::string& suffix,
                       const std::string& long_suffix, const std::string& units) {
    columns.push_back(FieldInfo{field.name + "_" + suffix, field.long_name + ", " + long_suffix,
                                units, false, false});
  };
  for (const Field& f : fields_) {
    if (choices_.std_dev) add(f.info, "std", "standard deviation", f.info.units);
    if (choices_.hour_of_max) add(f.info, "hour_of_max", "hour of the maximum", "h");
    if (choices_.hour_of_min) add(f.info, "hour_of_min", "hour of the minimum", "h");
  }
  for (const Clock& c : clocks_) {
    const std::string side = c.rule.above ? "above" : "below";
    add(fields_[c.field].info, "hours_" + side + "_" + ValueText(c.rule.value),
        "hours " + side + " " + ValueText(c.rule.value), "h");
  }
  return columns;
}

void NodeStatistics::Row(int32_t k, std::vector<Value>* values) const {
  values->clear();
  const size_t at = static_cast<size_t>(k);
  for (const Field& f : fields_) {
    const bool seen = f.count[at] > 0;
    if (choices_.std_dev) {
      values->push_back(seen ? static_cast<float>(std::sqrt(f.m2[at] / f.count[at])) : kNone);
    }
    if (choices_.hour_of_max) values->push_back(f.max_hour[at]);
    if (choices_.hour_of_min) values->push_back(f.min_hour[at]);
  }
  for (const Clock& c : clocks_) values->push_back(static_cast<float>(c.hours[at]));
}

}  // namespace korvant
