#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "engine/mesh.h"
#include "export/inputs.h"
#include "io/outputs.h"

namespace korvant {

/// The options korvant-export and korvant-plot share.
struct CommonOptions {
  std::string mesh, result, output;
  std::optional<int64_t> step;
  std::optional<double> hours;
  std::string node_order;  // "", "alternate" or "corners-first"
  bool force = false;      // an existing output may be replaced
  bool quiet = false, json = false;
  bool salvage = false;  // a damaged result gives its steps before the damage

  StepChoice choice() const { return StepChoice{step, hours}; }
  std::optional<NodeOrder> order() const;
};

/// Adds MESH, RESULT, -o, -f, -q, --json, --step, --time and --node-order.
void AddCommonOptions(CLI::App& app, CommonOptions* options, bool output_required);

/// The extension of `path` in lower case, with its dot ("" for none).
std::string Extension(const std::string& path);

/// Refuses an output whose folder does not exist, before any work is done.
void CheckOutputFolder(const std::string& output);

/// Adds the output -o to `outputs` and creates its temporary file, or
/// refuses it: an input named as the output, a fifo, a folder, a file that
/// cannot be created. An existing regular file is replaced.
void OpenOutput(Outputs& outputs, const CommonOptions& options);

}  // namespace korvant
