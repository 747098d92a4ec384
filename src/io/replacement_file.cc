#include "io/replacement_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "io/temporary_files.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinks = 40;  // as the kernel follows them
constexpr size_t kMaxName = NAME_MAX;

// A fresh hidden name in `folder`, made from `name` and cut so that it fits
// wherever `name` fits.
std::string TemporaryName(const fs::path& folder, const std::string& name) {
  std::random_device device;
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".%d.%08x.tmp", static_cast<int>(::getpid()), device());
  const size_t room = kMaxName - 1 - std::strlen(suffix);
  std::string temporary(1, '.');
  temporary.append(name, 0, room).append(suffix);
  return folder.empty() ? temporary : (folder / temporary).string();
}

// The name a chain of symbolic links beginning at `name` ends in, or "" when
// it does not end (a loop).
std::string FollowLinks(std::string name) {
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    std::error_code ec;
    const fs::path link = fs::read_symlink(name, ec);
    if (ec) return "";
    name = link.is_absolute() ? link.string() : (fs::path(name).parent_path() / link).string();
  }
  return "";
}

bool WriteAll(int fd, const char* data, size_t bytes) {
  while (bytes > 0) {
    const ssize_t n = ::write(fd, data, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    bytes -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string ExistingOutputMessage(const std::string& target) {
  return target + " exists; give --force to replace it";
}

ReplacementFile::ReplacementFile(std::string_view target) : target_(target) {
  destination_ = target_;
  struct stat st;
  const bool exists = !target_.empty() && ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISCHR(st.st_mode)) {
    writes_through_ = true;
    temporary_ = TemporaryName(fs::temp_directory_path(), "korvant");
  } else if (exists && S_ISDIR(st.st_mode)) {
    refusal_ = target_ + " is a folder";
  } else if (exists && !S_ISREG(st.st_mode)) {
    const char* kind = S_ISFIFO(st.st_mode)   ? "a fifo"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                                              : "not a regular file";
    refusal_ = target_ + " is " + kind + "; an output is written only to a regular file or a " +
               "character device";
  } else {
    destination_ = FollowLinks(target_);
    struct stat end;
    if (destination_.empty()) {
      refusal_ = target_ + ": its symbolic links do not end";
    } else if (exists && (::stat(destination_.c_str(), &end) != 0 || end.st_dev != st.st_dev ||
                          end.st_ino != st.st_ino)) {
      // A link through /proc that names no path, say.
      refusal_ = target_ + ": a symbolic link that cannot be followed to a file";
    }
    replaces_ = exists;
    const fs::path path(destination_.empty() ? target_ : destination_);
    temporary_ = TemporaryName(path.parent_path(), path.filename().string());
  }
  RemoveOnSignal(temporary_);
}

ReplacementFile::~ReplacementFile() {
  if (!committed_) ::unlink(temporary_.c_str());
  KeepOnSignal(temporary_);
}

bool ReplacementFile::CopyInto(std::string* error) const {
  const int in = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  bool ok = in >= 0 && out >= 0;
  std::vector<char> buffer(1 << 16);
  while (ok) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = WriteAll(out, buffer.data(), static_cast<size_t>(n));
  }
  int saved = errno;
  if (in >= 0) ::close(in);
  if (out >= 0 && ::close(out) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (!ok) *error = "cannot write " + target_ + ": " + std::strerror(saved);
  return ok;
}

bool ReplacementFile::Commit(std::string* error, bool wait_for_disk, bool replace) {
  bool ok = refusal_.empty();
  if (!ok) *error = refusal_;
  if (ok && wait_for_disk && !writes_through_) {
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    ok = fd >= 0 && ::fsync(fd) == 0;
    if (!ok) *error = "cannot write " + target_ + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
  }
  if (ok && writes_through_) {
    ok = CopyInto(error);
  } else if (ok && !replace) {
    // Whatever appeared at the destination since the run began is kept.
    int moved =
        ::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
      // A file system without that rename: a new link cannot replace either.
      moved = ::link(temporary_.c_str(), destination_.c_str());
      if (moved == 0) ::unlink(temporary_.c_str());
    }
    ok = moved == 0;
    if (!ok) {
      *error = errno == EEXIST ? ExistingOutputMessage(target_)
                               : "cannot write " + target_ + ": " + std::strerror(errno);
    }
  } else if (ok) {
    struct stat st;
    if (::lstat(destination_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      // Something other than a file took the name while the run went on.
      ok = false;
      *error = target_ + " is no longer a regular file; it is not replaced";
    } else if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
      ok = false;
      *error = "cannot write " + target_ + ": " + std::strerror(errno);
    }
  }
  if (!ok || writes_through_) ::unlink(temporary_.c_str());
  committed_ = ok;
  KeepOnSignal(temporary_);
  return ok;
}

}  // namespace korvant
