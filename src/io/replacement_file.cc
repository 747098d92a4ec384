#include "io/replacement_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace korvant {
namespace {

namespace fs = std::filesystem;

std::string TemporaryBeside(const std::string& target) {
  const fs::path path(target);
  std::random_device device;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".%d.%08x.tmp", static_cast<int>(getpid()), device());
  std::string name = ".";
  name += path.filename().string();
  name += suffix;
  return (path.parent_path() / name).string();
}

}  // namespace

ReplacementFile::ReplacementFile(std::string_view target)
    : target_(target), temporary_(TemporaryBeside(target_)) {}

ReplacementFile::~ReplacementFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

bool ReplacementFile::Commit(std::string* error, bool wait_for_disk) {
  bool ok = true;
  if (wait_for_disk) {
    const int fd = ::open(temporary_.c_str(), O_RDONLY);
    ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
  }
  ok = ok && std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    *error = "cannot write " + target_ + ": " + std::strerror(errno);
    std::remove(temporary_.c_str());
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace korvant
