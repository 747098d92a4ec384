#pragma once

// Unit tests of readers and writers: the bytes a test states, put in a file
// of a Sandbox for a RecordFile to read, and the bytes a RecordFile wrote.

#include <string>
#include <string_view>
#include <tuple>

#include "io/record_file.h"
#include "tests/harness.h"

namespace korvant {

/// The name of a case of a reader's refusals run both ways, as read and as
/// passed outside a window (a `Combine` of cases that have a `name`, and
/// `Bool()`): "<name>Read" or "<name>Passed".
template <typename Info>
std::string ReadOrPassedName(const Info& info) {
  return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Passed" : "Read");
}

class RecordFiles {
 public:
  /// `bytes` as the file in.bin, opened for reading from its start.
  RecordFile& Input(std::string_view bytes) {
    in_.Close();
    box_.Write("in.bin", bytes);
    in_.OpenExisting(kInputUnit, box_.Path("in.bin"));
    return in_;
  }
  /// out.bin, opened for writing.
  RecordFile& Output() {
    out_.OpenForWriting(kOutputUnit, box_.Path("out.bin"));
    return out_;
  }
  /// Closes out.bin and returns its bytes.
  std::string Written() {
    out_.Close();
    return box_.Read("out.bin");
  }
  const Sandbox& box() const { return box_; }

 private:
  static constexpr int kInputUnit = 1;
  static constexpr int kOutputUnit = 2;
  Sandbox box_;  // declared first: the files are closed before it goes
  RecordFile in_, out_;
};

}  // namespace korvant
