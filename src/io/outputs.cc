#include "io/outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "io/record_file.h"

namespace korvant {
namespace {

// Two names of one folder entry: the same folder (device and inode) and the
// same last name. Files not yet created are told apart this way.
bool SameEntry(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  const fs::path pa(a), pb(b);
  if (pa.filename() != pb.filename()) return false;
  struct stat sa, sb;
  const std::string fa = pa.parent_path().empty() ? "." : pa.parent_path().string();
  const std::string fb = pb.parent_path().empty() ? "." : pb.parent_path().string();
  return ::stat(fa.c_str(), &sa) == 0 && ::stat(fb.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

std::string NamesAFile(const std::string& name) {
  return name.empty() ? "a file name is needed" : "";
}

std::string WriteFailure(const std::string& library_words) {
  const int cause = errno;
  if (cause == ENOSPC || cause == EFBIG || cause == EDQUOT || cause == EROFS || cause == EIO) {
    return std::strerror(cause) + (" (" + library_words + ")");
  }
  return library_words;
}

bool Outputs::Add(const std::string& target, bool force, const std::vector<std::string>& inputs,
                  std::string* error) {
  if (std::string why = NamesAFile(target); !why.empty()) {
    *error = why;
    return false;
  }
  auto file = std::make_unique<ReplacementFile>(target);
  if (!file->refusal().empty()) {
    *error = file->refusal();
    return false;
  }
  for (const std::string& input : inputs) {
    if (SameFile(target, input)) {
      *error = target + " is also an input; an input is never replaced";
      return false;
    }
  }
  for (const Output& out : files_) {
    if (out.file->target() == target || SameFile(out.file->target(), target) ||
        SameEntry(out.file->destination(), file->destination())) {
      *error = target + " is named for two outputs";
      return false;
    }
  }
  if (file->replaces() && !force) {
    *error = ExistingOutputMessage(target);
    return false;
  }
  files_.push_back(Output{std::move(file), force});
  return true;
}

int Outputs::Create(size_t index, std::string* error) {
  const ReplacementFile& file = *files_.at(index).file;
  const int fd = ::open(file.temporary().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) *error = "cannot create " + file.target() + ": " + std::strerror(errno);
  return fd;
}

bool Outputs::CommitAll(std::string* error, bool wait_for_disk) {
  for (const Output& out : files_) {
    if (!out.file->Commit(error, wait_for_disk, out.force)) return false;
  }
  return true;
}

}  // namespace korvant
