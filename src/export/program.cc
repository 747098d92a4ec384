#include "export/program.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace korvant {

std::optional<NodeOrder> CommonOptions::order() const {
  if (node_order == "alternate") return NodeOrder::kAlternate;
  if (node_order == "corners-first") return NodeOrder::kCornersFirst;
  return std::nullopt;
}

void AddCommonOptions(CLI::App& app, CommonOptions* options, bool output_required) {
  app.add_option("MESH", options->mesh, "The VELTO geometry file of the mesh")->required();
  app.add_option("RESULT", options->result, "A QMX2, QMX4 or QMX10 result file over that mesh")
      ->required();
  AddOutputOption(app, &options->output, "The file to write")->required(output_required);
  AddForceOption(app, &options->force);
  AddReportOptions(app, &options->quiet, &options->json);
  CLI::Option* step = app.add_option("--step", options->step, "Time step N of the result, from 1")
                          ->type_name("N")
                          ->check(CLI::PositiveNumber);
  CLI::Option* time =
      app.add_option("--time", options->hours, "The time step at hour H")->type_name("H");
  step->excludes(time);
  app.add_option("--node-order", options->node_order,
                 "How elements list their eight nodes (found from the geometry by default)")
      ->check(CLI::IsMember({"alternate", "corners-first"}));
}

std::string Extension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

void CheckOutputFolder(const std::string& output) {
  const std::filesystem::path folder = std::filesystem::path(output).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    Refuse(1, "cannot write " + output + ": no folder " + folder.string());
  }
}

void OpenOutput(Outputs& outputs, const CommonOptions& options) {
  std::string error;
  if (!outputs.Add(options.output, options.force, {options.mesh, options.result}, &error)) {
    Refuse(1, error);
  }
  const int fd = outputs.Create(0, &error);
  if (fd < 0) Refuse(1, error);
  ::close(fd);
}

}  // namespace korvant
