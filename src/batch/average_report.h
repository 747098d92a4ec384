#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/node_statistics.h"
#include "engine/stream_average.h"
#include "kit/command_line.h"

namespace korvant {

/// The choices of korvant-average, as given on its command line.
struct AverageOptions {
  std::string input, output, table, csv, geometry;
  HourWindow window;
  std::string last_text, datum_text;
  int64_t last = 26;
  bool weighted = false;
  float datum = 100.0f;
  int32_t constituents = 0;
  bool float32_sums = false;
  bool later_wins = false;
  bool salvage = false;
  StatisticsChoices statistics;
  bool sync = false;
  bool force = false, json = false, quiet = false;
};

/// The cautions of a finished averaging, in words, without the program's name.
std::vector<std::string> AverageCautions(const AverageOptions& o, const AverageReport& r);

/// The report of a finished averaging, for people: what was averaged, over
/// which window, and what was written.
/// `statistics`, when given, are the per-node statistics added to the tables.
void PrintAverageReport(const AverageOptions& o, const AverageReport& r,
                        const NodeStatistics* statistics = nullptr);
/// The same as one line of JSON, with the cautions and, for each statistic,
/// its largest value and the node (from 1) where it was met.
void PrintAverageJson(const AverageOptions& o, const AverageReport& r,
                      const std::vector<std::string>& cautions,
                      const NodeStatistics* statistics = nullptr);

}  // namespace korvant
