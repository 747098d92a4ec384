#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/step_difference.h"
#include "engine/step_fields.h"

namespace korvant {

std::unique_ptr<AveragingFamily> FamilyDriver::Averaging(const AverageChoices&) const {
  return nullptr;
}

std::unique_ptr<StepFields> FamilyDriver::Steps(const Identity&, const Mesh&) const {
  return nullptr;
}

std::unique_ptr<DifferenceFamily> FamilyDriver::Difference(const Identity&) const {
  return nullptr;
}

// One line a family.
const FamilyDriver* DriverOf(FileKind kind) {
  switch (kind) {
    case FileKind::kQmx2:
      return &Qmx2FamilyDriver();
    case FileKind::kQmx4:
      return &Qmx4FamilyDriver();
    case FileKind::kQmx10:
      return &Qmx10FamilyDriver();
    case FileKind::kVelto:
      return &VeltoFamilyDriver();
    case FileKind::kUnknown:
      break;
  }
  return nullptr;
}

}  // namespace korvant
