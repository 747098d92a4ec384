#pragma once

#include <memory>
#include <string>
#include <vector>

#include "io/replacement_file.h"

namespace korvant {

/// The files a run writes. Each is written under a temporary name beside its
/// target and renamed into place by `CommitAll` once the run has succeeded;
/// outputs never committed are removed, so a failed run leaves each target as
/// it was (or absent).
class Outputs {
 public:
  /// Adds `target` as the next output. False with *error when it exists and
  /// `force` is not given, is a folder, is the same file as one of `inputs`,
  /// or was added before. Nothing is created yet.
  bool Add(const std::string& target, bool force, const std::vector<std::string>& inputs,
           std::string* error);
  /// Creates the temporary file of output `index` (in order of `Add`) and
  /// returns it open for writing, or -1 with *error set. The caller closes it.
  int Create(size_t index, std::string* error);
  /// The name to write output `index` to.
  const std::string& temporary(size_t index) const { return files_.at(index)->temporary(); }
  /// Renames every output into place, after flushing each to disk when
  /// `wait_for_disk`. False with *error on the first failure.
  bool CommitAll(std::string* error, bool wait_for_disk);

 private:
  std::vector<std::unique_ptr<ReplacementFile>> files_;
};

}  // namespace korvant
