#include "engine/restart_runs.h"

namespace korvant {

bool RestartRuns::Note(float time) {
  const bool run_starts = !noted_ || time <= *noted_;
  if (noted_ && run_starts) ++noted_run_;
  noted_ = time;
  if (!earliest_ || time < *earliest_) earliest_ = time;
  if (!run_starts) return true;
  while (!later_lows_.empty() && later_lows_.back().time >= time) later_lows_.pop_back();
  if (later_lows_.size() == kMaxRestarts) return false;
  later_lows_.push_back(RunStart{noted_run_, time});
  return true;
}

bool RestartRuns::Replaced(float time) {
  if (met_ && time <= *met_) ++met_run_;
  met_ = time;
  while (low_ < later_lows_.size() && later_lows_[low_].run <= met_run_) ++low_;
  // The first note after this run starts the earliest of the later runs.
  return low_ < later_lows_.size() && time >= later_lows_[low_].time;
}

}  // namespace korvant
