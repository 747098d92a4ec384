#include "dialogue/cautions.h"

#include <algorithm>
#include <string>

#include "formats/limits.h"
#include "text/number_format.h"

namespace korvant {
namespace {

std::string Counted(int64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string Mesh(int32_t nodes, int32_t elements) {
  return Counted(nodes, "node", "nodes") + " and " + Counted(elements, "element", "elements");
}

}  // namespace

void CautionStepLimit(Session& s, std::string_view operation, std::string_view file) {
  s.Caution(std::string(operation) + " looked at only the first " + std::to_string(kMaxSteps) +
            " time-step records of " + std::string(file) + "; more records follow");
}

void AveragedTimes::Take(Session& s, std::string_view file, float time) {
  if (last_ && !(time > *last_) && !told_) {
    told_ = true;
    s.Caution("the averaging window of " + std::string(file) +
              " holds time steps out of time order (hour " + ShortestText(time) + " after hour " +
              ShortestText(*last_) + "): the average is not over the hours its window suggests");
  }
  last_ = time;
}

void MergeWatch::Write(float time) {
  if (last_written_ && !(time > *last_written_) && not_after_++ == 0) first_not_after_ = time;
  last_written_ = time;
}

void MergeWatch::FirstStep(Session& s, int input, std::string_view file, int32_t nodes,
                           int32_t elements) {
  if (input == 1) {
    nodes_ = nodes;
    elements_ = elements;
    first_file_ = std::string(file);
    return;
  }
  if (!nodes_ || (nodes == *nodes_ && elements == *elements_)) return;
  if (std::find(told_.begin(), told_.end(), file) != told_.end()) return;
  told_.emplace_back(file);
  s.Caution(std::string(file) + " has " + Mesh(nodes, elements) +
            ", the first input of this merge (" + first_file_ + ") " + Mesh(*nodes_, *elements_));
}

void MergeWatch::Close(Session& s, std::string_view merged) {
  if (not_after_ == 0) return;
  s.Caution("the merged file " + std::string(merged) + " has " +
            Counted(not_after_, "time step", "time steps") +
            " whose time is not greater than the one written before it, the first at hour " +
            ShortestText(first_not_after_));
}

}  // namespace korvant
