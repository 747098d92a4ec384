#include "export/program.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <new>

#include "io/program_process.h"
#include "io/run_aborted.h"

namespace korvant {

std::optional<NodeOrder> CommonOptions::order() const {
  if (node_order == "alternate") return NodeOrder::kAlternate;
  if (node_order == "corners-first") return NodeOrder::kCornersFirst;
  return std::nullopt;
}

void AddCommonOptions(CLI::App& app, CommonOptions* options, bool output_required) {
  app.set_version_flag("--version", std::string(KORVANT_VERSION));
  app.add_option("MESH", options->mesh, "VELTO geometry file of the mesh")->required();
  app.add_option("RESULT", options->result, "QMX2, QMX4 or QMX10 result file over that mesh")
      ->required();
  app.add_option("-o,--output", options->output, "file to write")
      ->required(output_required)
      ->check(NamesAFile);
  app.add_flag("-f,--force", options->force, "replace the output if it exists");
  CLI::Option* step = app.add_option("--step", options->step, "time step N of the result, from 1")
                          ->check(CLI::PositiveNumber);
  CLI::Option* time = app.add_option("--time", options->hours, "the time step at hour H");
  step->excludes(time);
  app.add_option("--node-order", options->node_order,
                 "how elements list their eight nodes (found from the geometry by default)")
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

int RunProgram(std::string_view program, CLI::App& app, int argc, char** argv,
               const std::function<void()>& body) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << program << ": " << e.what() << "\n"
              << "Run with --help for more information.\n";
    return 2;
  }
  PrepareProgramProcess();
  int status = 1;
  try {
    body();
    status = 0;
  } catch (const Refusal& refusal) {
    std::cerr << program << ": " << refusal.message << "\n";
    status = refusal.status;
  } catch (const RunAborted& aborted) {
    std::cerr << program << ": " << aborted.diagnostic << "\n";
  } catch (const std::bad_alloc&) {
    std::cerr << program << ": out of memory\n";
  }
  // The output is in place by now; a report lost on the way is told last.
  if (!StdoutWritten() && status == 0) {
    std::cerr << program << ": " << kStdoutLost << "\n";
    status = 1;
  }
  return status;
}

}  // namespace korvant
