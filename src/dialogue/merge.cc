#include "dialogue/merge.h"

#include <cstring>
#include <optional>

#include "dialogue/cautions.h"
#include "dialogue/dialogue.h"
#include "dialogue/window.h"
#include "text/layout.h"

namespace korvant {
namespace {

constexpr std::string_view kSlotFlags[kMaxSlots][2] = {
    {"1ST", "1st"}, {"2ND", "2nd"}, {"3RD", "3rd"}, {"4TH", "4th"}, {"5TH", "5th"}};
constexpr std::string_view kHoursPrompt = " Enter starting and ending decimal hour";
constexpr std::string_view kNoSuchFile = " Sorry ... no such file name ... try again";

// The slot a flag names (0-based), by its first three characters exactly as
// listed; nullopt for anything else, which ends the flag dialogue.
std::optional<int> MatchFlag(const char* ans, int slots) {
  std::string_view head(ans, 3);
  for (int slot = 0; slot < slots; ++slot) {
    if (head == kSlotFlags[slot][0] || head == kSlotFlags[slot][1]) return slot;
  }
  return std::nullopt;
}

enum class Turn { kNext, kClose, kEndOfInput };

class Merge {
 public:
  Merge(Session& s, const MergeFamily& f) : s_(s), f_(f) {}

  void Run() {
    WriteLayout(s_.summary, f_.summary_title, {});
    s_.out().Line(f_.purpose);
    s_.out().Line(" ");
    if (f_.start != nullptr) f_.start(s_);
    Turn turn = OutputNameDialogue(s_, f_.output_prompt, s_.dms.FNAME, f_.output_unit)
                    ? Turn::kNext
                    : Turn::kEndOfInput;
    while (turn == Turn::kNext && m_.NFLAG > 0) turn = OneFlag();
    if (turn == Turn::kEndOfInput) WriteLayout(s_.summary, "(' END OF FILE UNIT  5 INPUT')", {});
    if (turn == Turn::kNext) WriteSummary();
    Close();
  }

 private:
  RecordFile& Input(int slot) { return s_.unit(f_.first_input_unit + slot); }

  Turn OneFlag() {
    s_.out().Line(f_.flag_prompt);
    std::optional<std::string> flag = s_.console.ReadField(kAnswerChars);
    if (!flag) {
      if (f_.end_of_input_at_flag_exits) return Turn::kEndOfInput;
      Console::FailEndOfInput();
    }
    std::memcpy(s_.dms.ANS, flag->data(), kAnswerChars);
    if (s_.dms.ANS[0] == '?') {
      WriteLayout(s_.out(), f_.menu, {});
      std::memcpy(s_.dms.ANS, s_.console.MustReadField(kAnswerChars).data(), kAnswerChars);
    }
    std::optional<int> slot = MatchFlag(s_.dms.ANS, f_.slots);
    if (!slot) return Turn::kClose;
    if (!ChooseInput(*slot)) return Turn::kEndOfInput;
    if (!f_.open_input(s_, m_, *slot)) return Turn::kClose;
    CopySteps(*slot);
    if (f_.rewind_next_input && *slot + 1 < f_.slots) Input(*slot + 1).Rewind();
    ++m_.NDONE;
    --m_.NFLAG;
    return Turn::kNext;
  }

  // Asks for the slot's file and hours and opens the file. False at end of input.
  bool ChooseInput(int slot) {
    int unit = f_.first_input_unit + slot;
    char* name_field = m_.INNAME[slot];
    m_.last_slot = slot;
    if (f_.name_dialogue_first) {
      if (!InputNameDialogue(s_, f_.name_prompts[slot], kNoSuchFile, name_field, unit)) {
        return false;
      }
      s_.out().Line(kHoursPrompt);
      return ReadFreeHours(s_.console, &m_.TBEG[slot], &m_.TEND[slot]);
    }
    for (;;) {
      std::optional<std::string> answer = AskName(s_, f_.name_prompts[slot], name_field);
      if (!answer) return false;
      s_.out().Line(kHoursPrompt);
      if (!ReadFreeHours(s_.console, &m_.TBEG[slot], &m_.TEND[slot])) return false;
      const std::string& name = *answer;
      if (!IsRegularFile(name)) {
        s_.out().Line(kNoSuchFile);
      } else if (s_.InUse(name, /*for_writing=*/false)) {
        s_.out().Line(kInUseLine);
      } else {
        RecordFile& in = Input(slot);
        bool reading_on = f_.same_file_continues && in.is_open() && in.name() == name;
        if (!reading_on) in.OpenExisting(unit, name);
        return true;
      }
    }
  }

  void CopySteps(int slot) {
    RecordFile& in = Input(slot);
    RecordFile& out = s_.unit(f_.output_unit);
    int copied = 0;
    int record = 0;
    for (; record < kMaxSteps; ++record) {
      ReadStatus status = f_.read_step(s_, in);
      if (status == ReadStatus::kEndOfFile) break;
      if (status == ReadStatus::kError) {
        if (f_.damaged_step_ends_file) break;
        in.FailRead(status);
      }
      if (record == 0) {
        int32_t nodes = 0, elements = 0;
        f_.step_counts(s_, &nodes, &elements);
        watch_.FirstStep(s_, m_.NDONE, in.name(), nodes, elements);
      }
      float time = f_.step_time(s_);
      if (time < m_.TBEG[slot] || time > m_.TEND[slot] || time != time) continue;
      watch_.Write(time);
      f_.write_step(s_, out);
      ++copied;
      if (++m_.NTOTAL == 1) m_.TFIRST = time;
      m_.TLAST = time;
    }
    if (record == kMaxSteps && RecordFollows(in)) CautionStepLimit(s_, "a merge", in.name());
    if (f_.after_input != nullptr) f_.after_input(s_, m_, slot, copied);
  }

  void WriteSummary() {
    std::array<Value, 1 + 3 * kMaxSlots> values;
    size_t n = 0;
    values[n++] = FieldView(s_.dms.FNAME, kNameChars);
    for (int slot = 0; slot <= m_.last_slot; ++slot) {
      values[n++] = FieldView(m_.INNAME[slot], kNameChars);
      values[n++] = m_.TBEG[slot];
      values[n++] = m_.TEND[slot];
    }
    ApplyLayout(CachedLayout("(/,' THE MERGED FILE IS NAMED=',A50,' AND THESE DATA FILES AND "
                             "TIMES WERE USED TO CREATE IT',/,3X,10(A50,5X,2F12.6),/,/)"),
                std::span<const Value>(values.data(), n), s_.summary);
    WriteLayout(s_.summary, f_.totals, {m_.NTOTAL, m_.TFIRST, m_.TLAST});
  }

  void Close() {
    for (int slot = 0; slot < f_.slots; ++slot) Input(slot).Close();
    s_.out().Line(f_.closing_line);
    s_.unit(f_.output_unit).Close();
    WriteLayout(s_.out(), f_.closed, {FieldView(s_.dms.FNAME, kNameChars), m_.NTOTAL});
    watch_.Close(s_, s_.unit(f_.output_unit).name());
    if (f_.after_close != nullptr) f_.after_close(s_);
  }

  Session& s_;
  const MergeFamily& f_;
  MergeState m_;
  MergeWatch watch_;
};

}  // namespace

void RunMerge(Session& s, const MergeFamily& family) { Merge(s, family).Run(); }

void WriteBannerListing(Session& s, const char* name, int unit) {
  std::array<Value, 2 + kBannerLines> values;
  values[0] = FieldView(name, kNameChars);
  values[1] = unit;
  for (int line = 0; line < kBannerLines; ++line) {
    values[2 + static_cast<size_t>(line)] =
        std::string_view(s.dms.BANNER + line * kBannerWidth, kBannerWidth);
  }
  ApplyLayout(CachedLayout("(' FILE=',A50,' UNIT =',I2,' BANNERS',/,'  1)',A80,/,4(5X,A80,/),/,"
                           "'  2)',A80,/,4(5X,A80,/),/,'  3)',A80,/,4(5X,A80,/),/,/)"),
              values, s.summary);
}

void WriteExtractLine(Session& s, int32_t irec1, float start, float end) {
  WriteLayout(s.summary, "(9X,'IREC(1)=',I3,5X,'EXTRACT HRS',F12.6,' TO',F12.6,/)",
              {irec1, start, end});
}

}  // namespace korvant
