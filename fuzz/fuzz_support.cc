#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

Snapshot SnapshotOf(const HeaderValues& h, const HeaderArrays& text) {
  Snapshot out;
  for (int32_t v : {h.ITEST, h.MFLG, h.IVERS, h.NBAN, h.NIREC, h.NFREC, h.NTITL, h.np, h.ne}) {
    Add(&out, v);
  }
  Add<char>(&out, text.banner, kBannerChars);
  Add<int32_t>(&out, text.irec, kHeaderInts);
  Add<float>(&out, text.frec, kHeaderReals);
  Add<char>(&out, text.title, kTitleChars);
  Add<int32_t>(&out, text.iban, kBannerChars);
  Add<int32_t>(&out, text.ititl, kTitleChars);
  return out;
}

void CheckTooLarge(const ReadResult& result, std::initializer_list<Refusable> counts) {
  if (result.outcome != Outcome::kTooLarge) return;
  const Oversize& o = result.too_large;
  const std::string what =
      std::string(o.count) + " " + std::to_string(o.value) + " against " + std::to_string(o.limit);
  auto named = std::find_if(counts.begin(), counts.end(),
                            [&](const Refusable& c) { return c.name == o.count; });
  FUZZ_CHECK(named != counts.end(), "refused a count of another name: " + what);
  FUZZ_CHECK(o.limit == named->limit, "refused against another limit: " + what);
  FUZZ_CHECK(!named->value || o.value == *named->value,
             "refused a value other than the count kept: " + what);
  FUZZ_CHECK(o.value > o.limit, "refused a count within its limit: " + what);
}

void CheckDamage(const ReadResult& result, std::string_view file) {
  if (result.outcome != Outcome::kDamaged) return;
  const Damage& d = result.damage;
  const std::string what = "record " + std::to_string(d.record) + " at " + std::to_string(d.offset);
  FUZZ_CHECK(!d.what.empty(), "damage without its reason: " + what);
  FUZZ_CHECK(d.record >= 1, "damage before the first record: " + what);
  // Where the file's own lengths put that record.
  int64_t at = 0;
  for (int64_t record = 1; record < d.record; ++record) {
    FUZZ_CHECK(at + 4 <= static_cast<int64_t>(file.size()), "damage past the last record: " + what);
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length |= uint32_t{static_cast<uint8_t>(file[at + i])} << (8 * i);
    at += 8 + int64_t{length};
  }
  FUZZ_CHECK(d.offset == at,
             "damage placed off its record, which starts at " + std::to_string(at) + ": " + what);
  FUZZ_CHECK(at + 4 < static_cast<int64_t>(file.size()), "damage past the last record: " + what);
}

void CheckStepEnd(const ReadResult& result, const RecordFile& in, RecordMark at,
                  std::string_view file) {
  if (result.outcome == Outcome::kTooLarge) {
    FUZZ_CHECK(in.Tell().records == at.records + 1 &&
                   in.Tell().position == at.position + 8 + int64_t{in.length()},
               "a refused step not passed over");
  }
  if (result.outcome == Outcome::kDamaged) {
    CheckDamage(result, file);
    FUZZ_CHECK(result.damage.record == at.records + 1 && result.damage.offset == at.position,
               "a step's damage placed in another record");
  }
}

void CheckHeader(const ReadResult& result, const HeaderValues& h, ArrayLimits limits,
                 std::string_view file) {
  if (result.ok() && h.integer_coded()) {
    FUZZ_CHECK(h.np <= limits.nodes && h.ne <= limits.elements && h.NBAN <= kBannerChars &&
                   h.NIREC <= kHeaderInts && h.NFREC <= kHeaderReals && h.NTITL <= kTitleChars,
               "a header read with counts beyond its arrays");
  }
  CheckTooLarge(result, {{"NP", h.np, limits.nodes},
                         {"NE", h.ne, limits.elements},
                         {"NBAN", h.NBAN, kBannerChars},
                         {"NIREC", h.NIREC, kHeaderInts},
                         {"NFREC", h.NFREC, kHeaderReals},
                         {"NTITL", h.NTITL, kTitleChars}});
  CheckDamage(result, file);
  // The header is read from the file's first record on.
  FUZZ_CHECK(result.outcome != Outcome::kDamaged || result.damage.record == result.part,
             "header damage placed in another record than its part");
}

bool ReadHeaderChecked(RecordFile& in, HeaderValues* h, HeaderArrays& text, ArrayLimits limits,
                       std::string_view file) {
  ReadResult result = DetectForm(in, h);
  CheckDamage(result, file);
  if (!result.ok()) return false;
  result = ReadHeader(in, h, text.text(), limits.mesh());
  CheckHeader(result, *h, limits, file);
  return result.ok();
}

bool SameResult(const ReadResult& a, const ReadResult& b) {
  return a.outcome == b.outcome && a.damage.record == b.damage.record &&
         a.damage.offset == b.damage.offset && a.damage.what == b.damage.what &&
         a.too_large.count == b.too_large.count && a.too_large.value == b.too_large.value &&
         a.too_large.limit == b.too_large.limit && a.part == b.part;
}

float Front::Real() {
  uint32_t bits = 0;
  for (int shift = 0; shift < 32; shift += 8) bits |= static_cast<uint32_t>(Byte()) << shift;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace korvant::fuzz
