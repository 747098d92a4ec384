#include "dialogue/terminal_editor.h"

#include <unistd.h>

#ifdef KORVANT_HAVE_LIBEDIT
#include <histedit.h>

#include <clocale>
#include <cstdio>
#endif

namespace korvant {

#ifdef KORVANT_HAVE_LIBEDIT
namespace {

constexpr int kHistoryAnswers = 500;

// The question is a console line of its own, written before the read; the
// editor adds no prompt of its own (its default is "? ").
char* NoPrompt(EditLine*) {
  static char empty[] = "";
  return empty;
}

class TerminalEditor : public LineEditor {
 public:
  // Takes ownership of both; neither may be null.
  TerminalEditor(EditLine* el, History* history) : el_(el), history_(history) {
    HistEvent event;
    ::history(history_, &event, H_SETSIZE, kHistoryAnswers);
    ::history(history_, &event, H_SETUNIQUE, 1);
    el_set(el_, EL_PROMPT, NoPrompt);
    el_set(el_, EL_EDITOR, "emacs");
    el_set(el_, EL_SIGNAL, 1);  // the terminal is restored if the run is interrupted
    el_set(el_, EL_HIST, ::history, history_);
    // The wide form: the narrow one leaves copies of both texts behind.
    el_wset(el_, EL_ADDFN, L"korvant-complete-file", L"Complete a file name", _el_fn_complete);
  }
  ~TerminalEditor() override {
    el_end(el_);
    history_end(history_);
  }
  TerminalEditor(const TerminalEditor&) = delete;
  TerminalEditor& operator=(const TerminalEditor&) = delete;

  std::optional<std::string> ReadLine(Answer kind) override {
    // Tab completes only where a file is named; elsewhere it is typed as itself.
    el_set(el_, EL_BIND, "^I", kind == Answer::kFileName ? "korvant-complete-file" : "ed-insert",
           nullptr);
    int count = 0;
    const char* text = el_gets(el_, &count);
    if (text == nullptr || count <= 0) return std::nullopt;
    std::string line(text, static_cast<size_t>(count));
    if (line.back() == '\n') line.pop_back();
    if (line.find_first_not_of(' ') != std::string::npos) {
      HistEvent event;
      ::history(history_, &event, H_ENTER, line.c_str());
    }
    return line;
  }

 private:
  EditLine* el_;
  History* history_;
};

}  // namespace
#endif

std::unique_ptr<LineEditor> OpenTerminalEditor() {
#ifdef KORVANT_HAVE_LIBEDIT
  if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) return nullptr;
  // The terminal's character set, so that names typed in it are kept whole.
  // Only character classes change; numbers are still read the same way.
  std::setlocale(LC_CTYPE, "");
  History* history = history_init();
  if (history == nullptr) return nullptr;
  EditLine* el = el_init("korvant", stdin, stdout, stderr);
  if (el == nullptr) {
    history_end(history);
    return nullptr;
  }
  return std::make_unique<TerminalEditor>(el, history);
#else
  return nullptr;
#endif
}

}  // namespace korvant
