#include "batch/outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "io/record_file.h"

namespace korvant {

bool Outputs::Add(const std::string& target, bool force, const std::vector<std::string>& inputs,
                  std::string* error) {
  std::error_code ec;
  const auto status = std::filesystem::status(target, ec);
  if (std::filesystem::is_directory(status)) {
    *error = target + " is a folder";
    return false;
  }
  for (const std::string& input : inputs) {
    if (SameFile(target, input)) {
      *error = target + " is also an input; an input is never replaced";
      return false;
    }
  }
  for (const auto& file : files_) {
    if (file->target() == target || SameFile(file->target(), target)) {
      *error = target + " is named for two outputs";
      return false;
    }
  }
  if (std::filesystem::exists(status) && !force) {
    *error = target + " exists; give --force to replace it";
    return false;
  }
  files_.push_back(std::make_unique<ReplacementFile>(target));
  return true;
}

int Outputs::Create(size_t index, std::string* error) {
  const ReplacementFile& file = *files_.at(index);
  const int fd = ::open(file.temporary().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) *error = "cannot create " + file.target() + ": " + std::strerror(errno);
  return fd;
}

bool Outputs::CommitAll(std::string* error, bool wait_for_disk) {
  for (const auto& file : files_) {
    if (!file->Commit(error, wait_for_disk)) return false;
  }
  return true;
}

}  // namespace korvant
