#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/averaging_family.h"
#include "engine/vocabulary.h"
#include "formats/header.h"
#include "formats/step_head.h"
#include "io/record_file.h"

namespace korvant {

/// The two files of a difference: A, the base, and B, the file compared with
/// it. The difference is B minus A.
enum class Side { kA, kB };

/// One field of a step as it lies in a family's arrays: the value of node j
/// (from 0) is at values[j * stride], for the first `nodes` nodes.
struct FieldView {
  FieldInfo info;
  float* values = nullptr;
  size_t stride = 1;
  int64_t nodes = 0;
};

/// One family's part of a difference of two files (`StreamDifference`): a
/// step of either file read whole into vectors sized from that step's counts,
/// the fields of those steps that a difference subtracts (reals, one value a
/// node), and B's step written back as it stands once its fields have been
/// made B minus A. The codes, the counts and every other array are B's.
class DifferenceFamily {
 public:
  virtual ~DifferenceFamily() = default;
  /// Reads B's header (of the file `id` tells), to be written as it was
  /// read: "" or what is wrong.
  virtual std::string ReadHeader(RecordFile&, const Identity&) { return ""; }
  virtual void WriteHeader(RecordFile&) {}
  /// Reads the step of `side` at the file's position whole: "" or what is
  /// wrong. `head` holds its counts (checked against its length).
  virtual std::string ReadWhole(Side side, RecordFile& f, const StepHead& head,
                                const CountLists& list) = 0;
  /// The fields of the step of `side` read last, in the same order for both.
  virtual std::vector<FieldView> Fields(Side side) = 0;
  /// Writes B's step read last, as it now stands.
  virtual void WriteStep(RecordFile& out) = 0;
};

/// A family's part of a difference over two `Slot`s, one a side (a step and
/// the vectors its spans lie in). With `kHeader`, B's header is kept and
/// written as it was read.
template <typename Slot, bool kHeader>
class SlottedDifference : public DifferenceFamily {
 public:
  std::string ReadHeader(RecordFile& f, const Identity& id) override {
    return kHeader ? Problem(header_.Read(f, kAnyMesh, id.titled())) : "";
  }
  void WriteHeader(RecordFile& out) override {
    if (kHeader) header_.Write(out, header_.values().np, header_.values().ne);
  }

 protected:
  Slot& slot(Side side) { return slots_[side == Side::kA ? 0 : 1]; }

 private:
  HeaderStore header_;
  Slot slots_[2];
};

}  // namespace korvant
