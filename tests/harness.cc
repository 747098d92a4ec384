#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifndef KORVANT_BINARY
#error "KORVANT_BINARY must name the built program"
#endif

namespace korvant {
namespace {

constexpr size_t kOutputLimit = size_t{16} << 20;

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) ThrowErrno("pipe2");
}

void SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
}

// Reads what is available; false once the writer has closed its end.
bool Drain(int fd, std::string* into) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into->append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    return false;
  }
}

std::string TrimmedLine(std::string_view text, size_t from, size_t* next) {
  const size_t end = text.find('\n', from);
  *next = end == std::string_view::npos ? text.size() : end + 1;
  return std::string(text.substr(from, (end == std::string_view::npos ? text.size() : end) - from));
}

namespace fs = std::filesystem;

constexpr uint64_t kFnvStart = 14695981039346656037ull;

uint64_t FnvAdd(uint64_t hash, std::string_view bytes) {
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// Fnv1a64 of the file's bytes, read in pieces.
uint64_t HashFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  uint64_t hash = kFnvStart;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    hash = FnvAdd(hash, std::string_view(buffer, static_cast<size_t>(in.gcount())));
  }
  return hash;
}

// Hashes of the regular files of `dir` not named in `outputs`. Links and other
// entries are left out: what a link leads to is not the test's file.
std::map<std::string, uint64_t> HashInputs(const std::string& dir,
                                           const std::vector<std::string>& outputs) {
  std::map<std::string, uint64_t> hashes;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    if (std::find(outputs.begin(), outputs.end(), name) != outputs.end()) continue;
    hashes[name] = HashFile(entry.path());
  }
  return hashes;
}

}  // namespace

Sandbox::Sandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvant_e2e_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ThrowErrno("mkdtemp");
  dir_ = pattern;
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string Sandbox::Path(std::string_view name) const { return dir_ + "/" + std::string(name); }

void Sandbox::Write(std::string_view name, std::string_view bytes) const {
  std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + Path(name));
}

std::string Sandbox::Read(std::string_view name) const {
  std::ifstream in(Path(name), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + Path(name));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Sandbox::Exists(std::string_view name) const {
  std::error_code ignored;
  return std::filesystem::exists(Path(name), ignored);
}

std::vector<std::string> Sandbox::List() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

uint64_t Sandbox::Hash(std::string_view name) const { return Fnv1a64(Read(name)); }

void Sandbox::Link(std::string_view name, std::string_view target) const {
  fs::create_symlink(fs::path(target), fs::path(Path(name)));
}

void Sandbox::ExpectOutput(std::string_view name) { outputs_.emplace_back(name); }

RunResult Sandbox::Run(std::string_view input, std::chrono::milliseconds limit) const {
  return RunProgram(KORVANT_BINARY, {}, input, limit);
}

std::string ProgramPath(std::string_view name) {
  return (fs::path(KORVANT_BINARY).parent_path() / std::string(name)).string();
}

RunResult Sandbox::RunProgram(const std::string& binary, const std::vector<std::string>& args,
                              std::string_view input, std::chrono::milliseconds limit) const {
  // A program that stops reading early must not kill the test process.
  signal(SIGPIPE, SIG_IGN);

  int in[2], out[2], err[2];
  MakePipe(in);
  MakePipe(out);
  MakePipe(err);
  // One page, the least a pipe holds.
  if (!close_console_at_.empty() && fcntl(out[1], F_SETPIPE_SZ, 4096) < 0) {
    ThrowErrno("F_SETPIPE_SZ");
  }
  if (close_console_) {
    close(out[0]);
    out[0] = -1;
  }
  const std::string name = fs::path(binary).filename().string();
  std::vector<char*> argv = {const_cast<char*>(name.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::map<std::string, uint64_t> inputs_before = HashInputs(dir_, outputs_);
  int stdin_fd = -1;
  if (!stdin_from_.empty()) {
    stdin_fd = open(Path(stdin_from_).c_str(), O_RDONLY | O_CLOEXEC);
    if (stdin_fd < 0) ThrowErrno("open " + Path(stdin_from_));
  }
  int console_fd = -1;
  if (!console_to_.empty()) {
    console_fd = open(console_to_.c_str(), O_WRONLY | O_CLOEXEC);
    if (console_fd < 0) ThrowErrno("open " + console_to_);
  }
  struct rlimit file_size = {RLIM_INFINITY, RLIM_INFINITY};
  if (file_size_limit_ > 0) file_size.rlim_cur = file_size.rlim_max = file_size_limit_;

  const pid_t pid = fork();
  if (pid < 0) ThrowErrno("fork");
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec. The test process
    // ignores SIGPIPE, and an ignored signal stays ignored across exec.
    if (signal(SIGPIPE, SIG_DFL) == SIG_ERR) _exit(126);
    if (dup2(stdin_fd >= 0 ? stdin_fd : in[0], 0) < 0 ||
        dup2(console_fd >= 0 ? console_fd : out[1], 1) < 0 || dup2(err[1], 2) < 0) {
      _exit(126);
    }
    if (chdir(dir_.c_str()) != 0) _exit(126);
    if (file_size_limit_ > 0 && setrlimit(RLIMIT_FSIZE, &file_size) != 0) _exit(126);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (console_fd >= 0) close(console_fd);
  if (stdin_fd >= 0) close(stdin_fd);
  SetNonBlocking(in[1]);
  if (out[0] >= 0) SetNonBlocking(out[0]);
  SetNonBlocking(err[0]);

  RunResult result;
  size_t written = 0;
  int to_child = in[1];
  if (input.empty()) {
    close(to_child);
    to_child = -1;
  }
  bool out_open = out[0] >= 0, err_open = true;
  bool acted = !ready_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (out_open || err_open) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      break;
    }
    if (!acted && ready_()) {
      act_(pid);
      acted = true;
    }
    pollfd fds[3] = {{out_open ? out[0] : -1, POLLIN, 0},
                     {err_open ? err[0] : -1, POLLIN, 0},
                     {to_child, POLLOUT, 0}};
    const int wait_ms = acted ? static_cast<int>(left.count()) : 10;
    if (poll(fds, 3, std::min(wait_ms, static_cast<int>(left.count()))) < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("poll");
    }
    if (fds[0].revents != 0) {
      out_open = Drain(out[0], &result.out);
      if (out_open && !close_console_at_.empty() &&
          result.out.find(close_console_at_) != std::string::npos) {
        close(out[0]);
        out[0] = -1;
        out_open = false;
      }
    }
    if (fds[1].revents != 0) err_open = Drain(err[0], &result.err);
    if (to_child >= 0 && fds[2].revents != 0) {
      const ssize_t n = write(to_child, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
        close(to_child);
        to_child = -1;
      }
    }
    if (result.out.size() + result.err.size() > kOutputLimit) {
      result.too_much_output = true;
      break;
    }
  }
  if (result.timed_out || result.too_much_output) kill(pid, SIGKILL);
  if (to_child >= 0) close(to_child);
  if (out[0] >= 0) close(out[0]);
  close(err[0]);

  int wait_status = 0;
  struct rusage usage = {};
  while (wait4(pid, &wait_status, 0, &usage) < 0) {
    if (errno != EINTR) ThrowErrno("wait4");
  }
  if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
  result.max_rss_kb = usage.ru_maxrss;

  const std::map<std::string, uint64_t> inputs_after = HashInputs(dir_, outputs_);
  for (const auto& [input_name, hash] : inputs_before) {
    auto after = inputs_after.find(input_name);
    if (after != inputs_after.end() && after->second == hash) continue;
    result.changed_inputs.push_back(input_name);
    ADD_FAILURE() << "the run " << (after == inputs_after.end() ? "removed" : "changed")
                  << " the input file " << input_name
                  << " (mark a file the test means to overwrite with ExpectOutput)";
  }
  return result;
}

uint64_t Fnv1a64(std::string_view bytes) { return FnvAdd(kFnvStart, bytes); }

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string FirstDifference(std::string_view expected, std::string_view actual) {
  if (expected == actual) return "";
  size_t e = 0, a = 0;
  for (int line = 1;; ++line) {
    const bool e_done = e >= expected.size(), a_done = a >= actual.size();
    if (e_done && a_done) return "the texts differ only in the end of their last line";
    size_t e_next = e, a_next = a;
    const std::string e_line = e_done ? "" : TrimmedLine(expected, e, &e_next);
    const std::string a_line = a_done ? "" : TrimmedLine(actual, a, &a_next);
    if (e_done || a_done || e_line != a_line) {
      std::ostringstream msg;
      msg << "first difference at line " << line
          << ":\n  expected: " << (e_done ? "<end of text>" : "\"" + e_line + "\"")
          << "\n  actual:   " << (a_done ? "<end of text>" : "\"" + a_line + "\"");
      return msg.str();
    }
    e = e_next;
    a = a_next;
  }
}

}  // namespace korvant
