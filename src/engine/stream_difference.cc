#include "engine/stream_difference.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/step_difference.h"
#include "formats/limits.h"
#include "text/readable.h"

namespace korvant {

// One of the two files, walked step head by step head.
struct StreamDifference::Walk {
  explicit Walk(std::string p) : path(std::move(p)) {}
  std::string path;
  RecordFile f;
  RecordMark first_step;
  StepHead head;
  std::array<int32_t, MAXCNT> icnt{}, before{};
  bool done = false;
  ReadResult last;            // of the step head read last
  int64_t taken = 0;          // step heads read since the first step
  int64_t limit = INT64_MAX;  // the steps before a salvaged file's damage

  // Takes the next step's head: false, with `why`, when the file is damaged.
  bool Next(const Identity& id, std::string* why) {
    before = icnt;
    done = taken == limit;
    if (done) return true;
    last = ReadStepHead(f, id, &head, icnt.data());
    done = last.outcome == Outcome::kEndOfFile;
    if (done) return true;
    if (last.ok()) {
      ++taken;
      return true;
    }
    *why = path + ": " + Problem(last);
    return false;
  }
  void Restart() {
    f.Seek(first_step);
    icnt.fill(0);
    done = false;
    taken = 0;
  }
};

StreamDifference::StreamDifference(std::string a, std::string b, bool salvage)
    : a_(std::move(a)), b_(std::move(b)), salvage_(salvage) {}

StreamDifference::~StreamDifference() = default;

bool StreamDifference::Check() { return Pass(false, nullptr, {}); }

bool StreamDifference::Write(RecordFile& out, const std::function<void(int64_t)>& steps) {
  return Pass(true, &out, steps);
}

bool StreamDifference::Pass(bool write, RecordFile* out,
                            const std::function<void(int64_t)>& progress) {
  DifferenceReport& r = report_;
  const auto fail = [&](const std::string& why) {
    r.error = why;
    return false;
  };
  Walk a(a_), b(b_);
  for (Walk* w : {&a, &b}) {
    if (std::string why = InputProblem(w->path); !why.empty()) {
      return fail("cannot read " + w->path + ": " + why);
    }
    w->f.CompareClosingLengths(true);
    w->f.ReadAnyFraming(true);
    w->f.OpenExisting(0, w->path);
  }
  a_id_ = Identify(a.f);
  r.identity = Identify(b.f);
  if (std::string why = NotAResult(a_id_); !why.empty()) return fail(a_ + ": " + why);
  if (std::string why = NotAResult(r.identity); !why.empty()) return fail(b_ + ": " + why);
  const FamilyDriver& driver = *DriverOf(r.identity.kind);
  if (!driver.SameSteps(a_id_, r.identity)) {
    return fail(a_ + " and " + b_ + " are not laid out alike: " + a_ + " is " +
                DriverOf(a_id_.kind)->Describe(a_id_) + ", " + b_ + " " +
                driver.Describe(r.identity));
  }
  family_ = driver.Difference(r.identity);
  // B's header is kept to be written; A's is passed over.
  if (std::string why = family_->ReadHeader(b.f, r.identity); !why.empty()) {
    return fail(b_ + ": " + why);
  }
  for (int i = 0; i < a_id_.header_records; ++i) {
    if (std::string why = Problem(ResultOf(a.f, a.f.SkipRecord())); !why.empty()) {
      return fail(a_ + ": " + why);
    }
  }
  a.first_step = a.f.Tell();
  b.first_step = b.f.Tell();
  std::string why;
  const std::string changed = "it changed while being read: ";
  if (!write) {
    // Every step head of each file: its framing, its steps, where it goes back.
    for (auto [w, input] : {std::pair{&a, &r.a}, std::pair{&b, &r.b}}) {
      std::optional<float> latest;
      for (;;) {
        if (!w->Next(w == &a ? a_id_ : r.identity, &why)) {
          // Damage after the header: with salvage the steps before it are used.
          if (w->last.outcome != Outcome::kDamaged || input->steps == 0) return fail(why);
          if (!salvage_) {
            return fail(why + "; --salvage uses the " + Counted(input->steps, "step", "steps") +
                        " before it");
          }
          input->damage = w->last.damage;
          break;
        }
        if (w->done) break;
        if (input->steps++ == 0 && w == &b) {
          r.means = driver.MarksMeans(r.identity, w->head.time);
        }
        if (latest && !(w->head.time > *latest) && !input->back_at) {
          input->back_at = w->head.time;
        }
        latest = w->head.time;
      }
      if (input->steps == 0) return fail(w->path + ": it holds no time steps");
    }
    r.one_step_each = r.a.steps == 1 && r.b.steps == 1;
    r.means = r.means && r.b.steps == 1;
  } else {
    family_->WriteHeader(*out);
  }

  // The two walked in step: a pair at one hour (or the one step of each) is
  // compared; a step of one file at an hour the other has passed is skipped.
  for (auto [w, input] : {std::pair{&a, &r.a}, std::pair{&b, &r.b}}) {
    w->Restart();
    if (input->damage) w->limit = input->steps;
  }
  int64_t compared = 0;
  if (!a.Next(a_id_, &why) || !b.Next(r.identity, &why)) return fail(changed + why);
  while (!a.done && !b.done) {
    const float hour = b.head.time;
    if (r.one_step_each || a.head.time == hour) {
      const StepHead &ha = a.head, &hb = b.head;
      if (ha.np != hb.np || ha.ne != hb.ne || ha.width != hb.width || a.icnt != b.icnt) {
        const auto counts = [&](const StepHead& h) {
          std::string text =
              Counted(h.np, "node", "nodes") + ", " + Counted(h.ne, "element", "elements");
          const QuantityNoun noun = driver.quantities();
          if (!noun.empty()) text += ", " + Counted(h.width, noun.one, noun.many);
          return text;
        };
        const std::string at = r.one_step_each ? "" : " at hour " + HourWords(hour);
        const std::string what = counts(ha) == counts(hb)
                                     ? "their count lists (ICNT) differ"
                                     : a_ + " has " + counts(ha) + ", " + b_ + " " + counts(hb);
        return fail(a_ + " and " + b_ + " are not of one mesh: their steps" + at +
                    " differ: " + what);
      }
      if (write) {
        a.f.Seek(ha.at);
        b.f.Seek(hb.at);
        if (std::string w = family_->ReadWhole(Side::kA, a.f, ha, {a.before.data(), a.icnt.data()});
            !w.empty()) {
          return fail(a_ + ": " + changed + w);
        }
        if (std::string w = family_->ReadWhole(Side::kB, b.f, hb, {b.before.data(), b.icnt.data()});
            !w.empty()) {
          return fail(b_ + ": " + changed + w);
        }
        Subtract(hour);
        family_->WriteStep(*out);
        if (progress) progress(compared + 1);
      } else {
        if (compared == 0) {
          r.nodes = hb.np;
          r.elements = hb.ne;
          r.quantities = hb.width;
          r.first_hour = hour;
        }
        r.last_hour = hour;
      }
      ++compared;
      if (!a.Next(a_id_, &why) || !b.Next(r.identity, &why)) return fail(changed + why);
    } else if (a.head.time < hour) {
      if (!a.Next(a_id_, &why)) return fail(changed + why);
    } else {
      if (!b.Next(r.identity, &why)) return fail(changed + why);
    }
  }
  if (!write) {
    if (compared == 0) return fail("no hour of " + a_ + " is an hour of " + b_);
    r.steps = compared;
    r.a.skipped = r.a.steps - compared;
    r.b.skipped = r.b.steps - compared;
  }
  return true;
}

void StreamDifference::Subtract(float hour) {
  std::vector<FieldView> as = family_->Fields(Side::kA);
  std::vector<FieldView> bs = family_->Fields(Side::kB);
  for (size_t i = 0; i < std::min(as.size(), bs.size()); ++i) {
    const FieldView &fa = as[i], &fb = bs[i];
    FieldChange* change = nullptr;
    for (FieldChange& c : report_.changes) {
      if (c.field.name == fb.info.name) change = &c;
    }
    if (change == nullptr) change = &report_.changes.emplace_back(FieldChange{fb.info, {}, {}});
    const int64_t nodes = std::min(fa.nodes, fb.nodes);
    for (int64_t j = 0; j < nodes; ++j) {
      float& value = fb.values[static_cast<size_t>(j) * fb.stride];
      value -= fa.values[static_cast<size_t>(j) * fa.stride];
      if (value > 0 && (!change->increase || value > change->increase->value)) {
        change->increase = Change{value, j + 1, hour};
      } else if (value < 0 && (!change->decrease || value < change->decrease->value)) {
        change->decrease = Change{value, j + 1, hour};
      }
    }
  }
}

}  // namespace korvant
