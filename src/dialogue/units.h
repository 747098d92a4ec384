#pragma once

namespace korvant {

// The unit number of each file role. Users see them in the console messages
// ("unit=60") and in the fatal diagnostics ("error during write, unit 3").
constexpr int kMaxUnit = 100;
constexpr int kSummaryUnit = 3;
constexpr int kGeometryUnit = 40;

constexpr int kHydroMergedUnit = 50;
constexpr int kHydroFirstInputUnit = 11;  // merge input n is on unit 10 + n
constexpr int kHydroAverageInputUnit = 50;
constexpr int kHydroAverageOutputUnit = 60;

constexpr int kTransportMergedUnit = 70;
constexpr int kTransportFirstInputUnit = 71;  // merge input n is on unit 70 + n
constexpr int kTransportAverageInputUnit = 70;
constexpr int kTransportAverageOutputUnit = 80;

constexpr int kThreedMergedUnit = 95;
constexpr int kThreedFirstInputUnit = 91;  // merge input n is on unit 90 + n
constexpr int kThreedAverageInputUnit = 95;
constexpr int kThreedAverageOutputUnit = 90;

}  // namespace korvant
