#pragma once

#include <memory>
#include <string>
#include <vector>

#include "io/replacement_file.h"

namespace korvant {

/// The files a run writes. Each is written under a temporary name and put in
/// place by `CommitAll` once the run has succeeded (see `ReplacementFile`:
/// links are followed, character devices written through, nothing but a
/// regular file replaced); outputs never committed are removed, so a failed
/// run leaves each target as it was (or absent).
class Outputs {
 public:
  /// Adds `target` as the next output. False with *error, before anything is
  /// written, when it is a folder, a fifo, a socket or a block device, when
  /// it is the same file as one of `inputs` (however spelled), when it names
  /// the same file as an output added before (the same folder and name, or
  /// the same existing file), or when it exists and `force` is not given.
  /// Without `force` the commit does not replace a file that appears at the
  /// target while the run goes on.
  bool Add(const std::string& target, bool force, const std::vector<std::string>& inputs,
           std::string* error);
  /// Creates the temporary file of output `index` (in order of `Add`) and
  /// returns it open for writing, or -1 with *error set. The caller closes it.
  int Create(size_t index, std::string* error);
  /// The name to write output `index` to.
  const std::string& temporary(size_t index) const { return files_.at(index).file->temporary(); }
  /// Puts every output in place, after flushing each to disk when
  /// `wait_for_disk`. False with *error on the first failure.
  bool CommitAll(std::string* error, bool wait_for_disk);

 private:
  struct Output {
    std::unique_ptr<ReplacementFile> file;
    bool force;
  };
  std::vector<Output> files_;
};

/// "" when `name` can name an output; else why not ("a file name is
/// needed"), as a command line's check of an output option says it.
std::string NamesAFile(const std::string& name);

/// A library's words for a write that failed, led by the system's reason
/// when `errno` tells one of the storage (a full disk, a file-size limit, a
/// read-only file system): "File too large (NetCDF: HDF error)".
std::string WriteFailure(const std::string& library_words);

}  // namespace korvant
