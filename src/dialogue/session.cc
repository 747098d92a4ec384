#include "dialogue/session.h"

#include <cstdlib>
#include <new>
#include <ostream>

#include "io/run_aborted.h"

namespace korvant {

void Stop() { throw RunAborted{kExitStopped, {}}; }

namespace {

// The blocks come from calloc: the system hands out zeroed pages without
// touching them, so a run pays only for the node slots its files use.
Blocks* NewBlocks() {
  void* raw = std::calloc(1, sizeof(Blocks));
  if (raw == nullptr) throw std::bad_alloc();
  return static_cast<Blocks*>(raw);
}

}  // namespace

void Session::FreeDeleter::operator()(Blocks* b) const { std::free(b); }

Session::Session(std::istream& in, std::ostream& out, std::ostream* err)
    : blocks_(NewBlocks()),
      console(in, out),
      dms(blocks_->dms),
      blkr2(blocks_->blkr2),
      blkr4(blocks_->blkr4),
      blkr10(blocks_->blkr10),
      blkr10_sed(blocks_->blkr10_sed),
      err_(err) {}

Session::~Session() { CloseAfterAbort(); }

void Session::OpenSummary(const std::string& name) {
  summary_name_ = name;
  summary.OpenNew(kSummaryUnit, name);
}

bool Session::InUse(std::string_view name, bool for_writing) const {
  if (summary.is_open() && SameFile(name, summary_name_)) return true;
  for (const RecordFile& f : units_) {
    if (f.is_open() && (for_writing || f.writing()) && SameFile(name, f.name())) return true;
  }
  return false;
}

void Session::Caution(std::string_view text) {
  if (err_ != nullptr) *err_ << "korvant: caution: " << text << '\n' << std::flush;
}

void Session::CloseAll() {
  for (RecordFile& f : units_) f.Close();
  summary.Close();
  console.out().Flush();
}

std::string Session::CloseAfterAbort() {
  std::string first;
  auto close = [&first](auto&& step) {
    try {
      step();
    } catch (const RunAborted& failed) {
      if (first.empty()) first = failed.diagnostic;
    }
  };
  for (RecordFile& f : units_) close([&f] { f.Close(); });
  close([this] { summary.Close(); });
  close([this] { console.out().Flush(); });
  return first;
}

}  // namespace korvant
