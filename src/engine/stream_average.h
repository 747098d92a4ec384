#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/vocabulary.h"
#include "formats/identify.h"
#include "formats/limits.h"
#include "io/record_file.h"
#include "text/layout.h"
#include "text/text_sink.h"

namespace korvant {

struct Mesh;
class AveragingFamily;

/// What to average and how.
struct AverageChoices {
  /// A window of hours, both ends included; an end left unset reaches the
  /// file's first or last step. With neither set, the window runs from the
  /// time of the `last`-th step from the end (the first step in a shorter
  /// file) to the time of the last step, as the console program's automatic
  /// window does with 26.
  std::optional<float> from, to;
  int64_t last = 26;
  bool weighted = false;                ///< QMX2: velocities weighted by depth
  float datum = 100.0f;                 ///< QMX2: the water surface is taken above this
  std::optional<int32_t> constituents;  ///< QMX4: the first N; unset: all the steps hold
  bool float32_sums = false;            ///< sum as the console program does, in 32 bits
  /// Where the window's times repeat or go back (a restart), keep only the
  /// later steps, as a restart-aware merge keeps them: a step at or before
  /// the time of a step before it replaces those steps from its time on.
  bool later_wins = false;
  /// A file damaged after its header (a run that stopped mid-write) is
  /// averaged over its steps before the first damaged record, as if it ended
  /// there; without it, such a file is refused.
  bool salvage = false;
  /// QMX2: the mesh the file's nodes lie on, as the console program uses a
  /// geometry file read earlier in its run: the listing gives each node's x
  /// and y, and a short step's water surface is the node's bottom elevation
  /// plus its depth. Without a mesh, and at nodes past its own, all three
  /// are 0. The other families do not use it. It must outlive the averaging.
  const Mesh* mesh = nullptr;
};

/// The overall extremes of one QMX10 degree of freedom (`field`) and the
/// nodes (from 1) where they were first met; node 0 when none.
struct DofExtremes {
  FieldInfo field;
  float max = 0, min = 0;
  int32_t max_node = 0, min_node = 0;
};

/// Something an averaging did that its user may not expect, as data the
/// front end words.
struct AverageCaution {
  enum class What {
    /// `steps` of the window come at or before the time of a step of the
    /// window before them, and are averaged as steps of their own.
    kRepeatedHours,
    /// With later_wins: `steps` of the window were left out, each replaced
    /// by a later step at or before its time.
    kLeftOut,
  };
  explicit AverageCaution(What w) : what(w) {}

  What what;
  int64_t steps = 0;
  float first_hour = 0;  ///< of the first of them
};

/// What an averaging found. `error` says why it failed.
struct AverageReport {
  std::string error;
  FileKind kind = FileKind::kUnknown;
  bool integer_coded = false;                  ///< the header's form (QMX2, QMX4)
  int64_t steps = 0;                           ///< time steps in the file
  int64_t averaged = 0;                        ///< of them in the window
  float start = 0, stop = 0;                   ///< the window, hours
  std::optional<float> first_hour, last_hour;  ///< of the steps averaged
  int32_t nodes = 0, elements = 0;  ///< of the file's last step, as the averaged file holds them
  /// QMX4: constituents averaged; QMX10: degrees of freedom of the last step.
  int32_t quantities = 0;
  int64_t dry_nodes = 0;  ///< QMX2: nodes whose values were all about zero, left at zero
  std::vector<DofExtremes> extremes;  ///< QMX10: one per degree of freedom, all six
  std::vector<AverageCaution> cautions;
  /// With salvage: the first damaged record; `steps` are those before it.
  std::optional<Damage> damage;
};

/// How far the averaging has come: steps read, the hour of the step read
/// last, the bytes of the file passed.
struct AverageProgress {
  int64_t steps = 0;
  float hour = 0.0f;
  int64_t bytes = 0;
};

/// The time average of one model result file over a window of steps,
/// streaming: memory grows with the file's node count, never with its steps,
/// and is sized only from counts that the record's own length backs.
///
/// `Run` reads the file's step heads once (checking every record's framing
/// and counts, and finding the window), then reads the steps in the window
/// whole and adds them up, `double` sums unless `float32_sums`. The averaged
/// file, the listing and the values of each node are then at hand; as in the
/// console program, what the averaged file takes besides the averages (counts,
/// element codes, the QMX10 node and element arrays) comes from the file's
/// last step.
///
/// With `later_wins`, one more pass over the step heads, between the two,
/// notes where the window's times go back (`RestartRuns`: one note a restart,
/// never one a step), so that the main pass knows each step's fate as it
/// meets it.
class StreamAverage {
 public:
  StreamAverage(std::string path, AverageChoices choices);
  ~StreamAverage();

  /// False when the file cannot be averaged (report().error says why).
  bool Run(const std::function<void(const AverageProgress&)>& progress = {});
  const AverageReport& report() const { return report_; }

  /// The averaged file, in the layout of the console program's averaged file
  /// of the family. A failed write ends the run (`RunAborted`).
  void WriteAveraged(RecordFile& out) const;
  /// The per-node listing (heading and one line a node) in the console
  /// program's layout.
  void WriteListing(TextSink& sink) const;
  /// The listing's columns as the vocabulary names them, node first, and
  /// one node's values.
  std::vector<FieldInfo> Columns() const;
  int64_t rows() const;
  void Row(int64_t node, std::vector<Value>* values) const;

 private:
  std::string path_;
  AverageChoices choices_;
  std::unique_ptr<AveragingFamily> family_;
  AverageReport report_;
};

}  // namespace korvant
