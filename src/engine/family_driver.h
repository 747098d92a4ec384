#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vocabulary.h"
#include "formats/identify.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

struct AverageChoices;
struct Mesh;
class AveragingFamily;
class DifferenceFamily;
class StepFields;

/// What a family's step counts beside its nodes and elements, in words.
struct QuantityNoun {
  std::string_view one, many;  ///< "constituent", "constituents"
  std::string_view key;        ///< the JSON key of the count: "constituents"
  bool empty() const { return many.empty(); }
};

/// The choices of an averaging that a family takes.
enum class AverageChoice {
  kWeighting,     ///< velocities weighted by depth, the surface above a datum
  kConstituents,  ///< only the first constituents
  kMeshPlaces,    ///< the mesh gives each node's x, y and bottom
};

/// One file family, as every program asks about it: its names, its header
/// and steps, its fields, and how its files are averaged and merged. Front
/// ends ask the driver of a file's kind (`DriverOf`) and never switch on the
/// kind themselves.
class FamilyDriver {
 public:
  virtual ~FamilyDriver() = default;

  virtual FileKind kind() const = 0;
  std::string_view kind_name() const { return KindName(kind()); }   ///< "qmx2"
  std::string display_name() const { return DisplayName(kind()); }  ///< "QMX2"
  /// Whether its files begin with a header (a character or integer-coded form).
  virtual bool has_header() const { return true; }
  /// A geometry file (one mesh) rather than a result file of time steps.
  virtual bool is_mesh() const { return false; }

  /// Whether the steps of `id` carry elevations, for a family whose steps
  /// come long and short; unset for the others.
  virtual std::optional<bool> long_steps(const Identity&) const { return std::nullopt; }
  /// The file in a few words, for a sentence: "a QMX2 file with long steps
  /// (elevations)".
  virtual std::string Describe(const Identity& id) const = 0;
  /// Whether the steps of `a` and `b` are laid out alike, so that their files
  /// merge into one.
  virtual bool SameSteps(const Identity& a, const Identity& b) const { return a.kind == b.kind; }
  /// The step quantities its width counts; empty when it counts none.
  virtual QuantityNoun quantities() const { return {}; }

  /// The first count of a step that is more than the fixed arrays of the
  /// console program's merges and averagings hold, in their order of checking.
  virtual std::optional<Oversize> BeyondFixedArrays(const StepHead& head,
                                                    std::span<const int32_t> icnt) const = 0;

  /// Whether an averaging of its files takes `choice`.
  virtual bool Takes(AverageChoice) const { return false; }
  /// Its averaging over a window (the mean's sums as `float32_sums` says);
  /// null for a family that is not averaged.
  virtual std::unique_ptr<AveragingFamily> Averaging(const AverageChoices&) const;
  /// The fields of the steps of `id`, named as every program names them
  /// (`vocabulary.h`), from its first step: its quantities (constituents,
  /// degrees of freedom) and its time, which tells an averaged QMX2 file.
  /// None for a family of no steps.
  virtual std::vector<FieldInfo> Fields(const Identity&, const StepHead&) const { return {}; }
  /// Whether a file of `id` whose first step is at hour `first_time` is
  /// marked as an averaged file, should it hold that one step: the time or
  /// the record an averaging writes.
  virtual bool MarksMeans(const Identity&, float /*first_time*/) const { return false; }
  /// Its steps read as those fields over `mesh`; null for a family of no
  /// steps.
  virtual std::unique_ptr<StepFields> Steps(const Identity&, const Mesh&) const;
  /// Its part of a difference of two files of `id`'s layout; null for a
  /// family of no steps.
  virtual std::unique_ptr<DifferenceFamily> Difference(const Identity&) const;
};

/// The driver of a kind; null for `kUnknown`.
const FamilyDriver* DriverOf(FileKind kind);

/// The families, one driver each.
const FamilyDriver& Qmx2FamilyDriver();
const FamilyDriver& Qmx4FamilyDriver();
const FamilyDriver& Qmx10FamilyDriver();
const FamilyDriver& VeltoFamilyDriver();

}  // namespace korvant
