#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace korvant::fuzz {
namespace {

namespace fs = std::filesystem;

std::string* scratch = nullptr;
bool throw_findings = false;

void RemoveScratch() {
  if (scratch == nullptr) return;
  std::error_code ignored;
  fs::remove_all(*scratch, ignored);
}

// Every fatal diagnostic the program can give begins with one of these.
constexpr std::string_view kDiagnostics[] = {
    "file not found, unit ",
    "cannot overwrite existing file, unit ",
    "cannot create file, unit ",
    "error during write, unit ",
    "REWIND error, unit ",
    "CLOSE error, unit ",
    "end-of-file during read, unit ",
    "error during read, unit ",
    "input statement requires too much data, unit ",
    "conversion error: the answer is not a number, unit ",
};

// Console output of the one session, passed on to the stream the current
// target gave.
struct Forward : std::streambuf {
  std::ostream* to = nullptr;
  int overflow(int c) override {
    if (c != traits_type::eof()) to->put(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    to->write(text, n);
    return n;
  }
};

}  // namespace

void ThrowFindings() { throw_findings = true; }

void Fail(const char* file, int line, const std::string& what) {
  if (throw_findings) {
    throw Finding{std::string(file) + ":" + std::to_string(line) + ": " + what};
  }
  std::fprintf(stderr, "\n*** broken promise at %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

const std::string& ScratchDir() {
  if (scratch == nullptr) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvant_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Fail(__FILE__, __LINE__, "mkdtemp failed");
    scratch = new std::string(pattern);
    std::atexit(RemoveScratch);
  }
  return *scratch;
}

void ClearScratch() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ScratchDir(), ec)) {
    std::error_code ignored;
    fs::remove_all(entry.path(), ignored);
  }
}

std::string ScratchFile(std::string_view name, std::string_view bytes) {
  std::string path = ScratchDir() + "/" + std::string(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail(__FILE__, __LINE__, "cannot write " + path);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    Fail(__FILE__, __LINE__, "cannot write " + path);
  }
  std::fclose(f);
  return path;
}

std::string NewScratchPath(std::string_view name) {
  std::string path = ScratchDir() + "/" + std::string(name);
  unlink(path.c_str());
  return path;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckAbort(const RunAborted& abort) {
  if (abort.status == 1) {
    FUZZ_CHECK(abort.diagnostic.empty(), "an own stop with a diagnostic: " + abort.diagnostic);
    return;
  }
  FUZZ_CHECK(abort.status == 2, "exit status " + std::to_string(abort.status));
  FUZZ_CHECK(abort.diagnostic.find('\n') == std::string::npos,
             "a diagnostic of more than one line: " + abort.diagnostic);
  bool known = false;
  for (std::string_view start : kDiagnostics) known = known || abort.diagnostic.starts_with(start);
  FUZZ_CHECK(known, "a diagnostic of no known form: " + abort.diagnostic);
}

Session& FreshSession(std::ostream& console) {
  static Forward forward;
  static std::ostream forwarded(&forward);
  static std::istringstream no_answers;
  static Session* session = new Session(no_answers, forwarded);
  Session& s = *session;
  forward.to = &console;
  s.CloseAfterAbort();
  // The blocks start with DMS. Whole pages are handed back to the system,
  // which maps zero pages in their place when they are next touched; only
  // the partial pages at the ends are cleared by hand.
  char* begin = reinterpret_cast<char*>(&s.dms);
  char* end = begin + sizeof(Blocks);
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  char* first =
      reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1));
  char* last = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(end) & ~(page - 1));
  if (first < last && madvise(first, static_cast<size_t>(last - first), MADV_DONTNEED) == 0) {
    std::memset(begin, 0, static_cast<size_t>(first - begin));
    std::memset(last, 0, static_cast<size_t>(end - last));
  } else {
    std::memset(begin, 0, sizeof(Blocks));
  }
  return s;
}

float Front::Real() {
  uint32_t bits = 0;
  for (int shift = 0; shift < 32; shift += 8) bits |= static_cast<uint32_t>(Byte()) << shift;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace korvant::fuzz
