// The VELTO geometry family: one mesh, no time steps.

#include "engine/family_driver.h"
#include "formats/limits.h"

namespace korvant {
namespace {

class VeltoDriver final : public FamilyDriver {
 public:
  FileKind kind() const override { return FileKind::kVelto; }
  bool is_mesh() const override { return true; }
  std::string Describe(const Identity&) const override { return "a VELTO geometry file"; }

  std::optional<Oversize> BeyondFixedArrays(const StepHead& mesh,
                                            std::span<const int32_t>) const override {
    if (mesh.np > MAXNODE) return Oversize{"NP", mesh.np, MAXNODE};
    if (mesh.ne > MAXELEM) return Oversize{"NE", mesh.ne, MAXELEM};
    return std::nullopt;
  }
};

}  // namespace

const FamilyDriver& VeltoFamilyDriver() {
  static const VeltoDriver driver;
  return driver;
}

}  // namespace korvant
