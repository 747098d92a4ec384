#include "export/plot_text.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "export/inputs.h"

namespace korvant {

double RoundDown(double value) {
  const double power = std::pow(10.0, std::floor(std::log10(value)));
  for (double m : {5.0, 2.0}) {
    if (m * power <= value * (1 + 1e-9)) return m * power;
  }
  return power;
}

Ticks RoundTicks(double lo, double hi, int wanted) {
  Ticks ticks;
  if (!(hi > lo) || !std::isfinite(hi - lo)) {
    ticks.at.push_back(lo);
    return ticks;
  }
  // Of the round steps near the range over the ticks wanted, the one whose
  // count of ticks comes nearest, at least two; the longer step on a tie.
  const double rough = (hi - lo) / std::max(1, wanted - 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double best = 0.0, best_miss = HUGE_VAL;
  for (double p : {power / 10, power, power * 10}) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double step = m * p;
      const double count = std::floor(hi / step + 1e-9) - std::ceil(lo / step - 1e-9) + 1;
      const double miss = std::fabs(count - wanted) + (count < 2 ? 1e6 : 0.0);
      if (miss <= best_miss) {
        best = step;
        best_miss = miss;
      }
    }
  }
  ticks.step = best;
  for (double n = std::ceil(lo / best - 1e-9); n * best <= hi + best * 1e-9; n += 1.0) {
    ticks.at.push_back(n * best == 0.0 ? 0.0 : n * best);
  }
  return ticks;
}

std::string Ticks::Label(double value) const {
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (std::string_view(text).find_first_not_of("-0.") == std::string_view::npos) return "0";
  return text;
}

std::optional<std::string> DateAfter(std::string_view start, double hours) {
  using namespace std::chrono;
  const std::optional<sys_seconds> zero = StartDate(start);
  if (!zero) return std::nullopt;
  if (!std::isfinite(hours) || std::fabs(hours) > 1e7) return std::nullopt;
  const auto at = *zero + std::chrono::minutes(std::llround(hours * 60));
  const auto days = floor<std::chrono::days>(at);
  const year_month_day when{days};
  const auto into = duration_cast<std::chrono::minutes>(at - days).count();
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld", static_cast<int>(when.year()),
                static_cast<unsigned>(when.month()), static_cast<unsigned>(when.day()),
                static_cast<long long>(into / 60), static_cast<long long>(into % 60));
  return text;
}

}  // namespace korvant
