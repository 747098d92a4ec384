#include "engine/averaging_family.h"

#include <cstdint>
#include <utility>

namespace korvant {

void AveragingFamily::WriteRows(TextSink& sink, std::string_view row) const {
  const Layout& layout = CachedLayout(row);
  std::vector<Value> values;
  for (int64_t k = 0; k < rows(); ++k) {
    Row(k, &values);
    ApplyLayout(layout, values, sink);
  }
}

std::string Problem(const ReadResult& r) {
  switch (r.outcome) {
    case Outcome::kRead:
      return "";
    case Outcome::kEndOfFile:
      return "it ends before its header does";
    case Outcome::kTooLarge:
      return std::string(r.too_large.count) + " = " + std::to_string(r.too_large.value) +
             " is more than the counts of its own record allow (" +
             std::to_string(r.too_large.limit) + ")";
    case Outcome::kDamaged:
      break;
  }
  return "record " + std::to_string(r.damage.record) + " (byte " + std::to_string(r.damage.offset) +
         "): " + r.damage.what;
}

void AddStatistics(const std::vector<FieldInfo>& quantities, std::vector<FieldInfo>* columns) {
  for (const FieldInfo& quantity : quantities) {
    for (FieldInfo& column : vocabulary::Statistics(quantity))
      columns->push_back(std::move(column));
  }
}

}  // namespace korvant
