#include "dialogue/terminal_editor.h"

#include <unistd.h>

#ifdef KORVANT_HAVE_LIBEDIT
#include <histedit.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>
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

// Tab at a file-name question: completes the name typed up to the cursor
// with the names of its folder, as far as they agree, and lists them when
// they go different ways. The whole answer is one name, so blanks belong to
// it and nothing is quoted or escaped; a folder gets its slash, a file
// nothing after it.
unsigned char CompleteFileName(EditLine* el, int) {
  namespace fs = std::filesystem;
  const LineInfo* line = el_line(el);
  const std::string typed(line->buffer, line->cursor);
  const size_t slash = typed.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : typed.substr(0, slash);
  const std::string start = slash == std::string::npos ? typed : typed.substr(slash + 1);
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.compare(0, start.size(), start) != 0) continue;
    if (name[0] == '.' && (start.empty() || start[0] != '.')) continue;
    std::error_code is_folder_error;
    if (it->is_directory(is_folder_error)) name += '/';
    names.push_back(std::move(name));
  }
  if (names.empty()) return CC_REFRESH_BEEP;
  std::sort(names.begin(), names.end());
  const std::string& first = names.front();
  size_t agreed = first.size();
  for (const std::string& name : names) {
    size_t n = 0;
    while (n < agreed && n < name.size() && name[n] == first[n]) ++n;
    agreed = n;
  }
  if (agreed > start.size()) {
    el_insertstr(el, first.substr(start.size(), agreed - start.size()).c_str());
    return CC_REFRESH;
  }
  if (names.size() == 1) return CC_REFRESH;
  // The choices on lines of their own below the answer, which is drawn again.
  std::string list = "\n";
  for (const std::string& name : names) list += name + "\n";
  std::fputs(list.c_str(), stdout);
  std::fflush(stdout);
  return CC_REDISPLAY;
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
    el_wset(el_, EL_ADDFN, L"korvant-complete-file", L"Complete a file name", CompleteFileName);
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
