#include "dialogue/console.h"

#include <exception>

#include "io/run_aborted.h"

namespace korvant {
namespace {
constexpr size_t kKeptChars = 1024;
}  // namespace

std::optional<std::string> Console::ReadLine(Answer kind) {
  out_.Flush();
  std::optional<std::string> line = editor_ != nullptr ? editor_->ReadLine(kind) : ReadStreamLine();
  if (!line) return std::nullopt;
  if (line->size() > kKeptChars) line->resize(kKeptChars);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return line;
}

std::optional<std::string> Console::ReadStreamLine() {
  std::streambuf* sb = in_.rdbuf();
  std::string line;
  bool any = false;
  for (;;) {
    int c = std::char_traits<char>::eof();
    // A console that cannot be read at all (closed, or a folder) is one that
    // has ended. The stream's buffer throws where a read fails, an
    // ios_base::failure of the library's older ABI, which only std::exception
    // catches in code of the newer one.
    try {
      c = sb->sbumpc();
    } catch (const std::exception&) {
    }
    if (c == std::char_traits<char>::eof()) break;
    any = true;
    if (c == '\n') break;
    if (line.size() < kKeptChars) line.push_back(static_cast<char>(c));
  }
  if (!any) return std::nullopt;
  return line;
}

std::optional<std::string> Console::ReadField(int width, Answer kind) {
  std::optional<std::string> line = ReadLine(kind);
  if (line) line->resize(static_cast<size_t>(width), ' ');
  return line;
}

std::string Console::MustReadField(int width, Answer kind) {
  std::optional<std::string> field = ReadField(width, kind);
  if (!field) FailEndOfInput();
  return *field;
}

void Console::FailEndOfInput() {
  Fatal("end-of-file during read, unit " + std::to_string(kInputUnit) + ", file stdin");
}

void Console::FailConversion() {
  Fatal("conversion error: the answer is not a number, unit " + std::to_string(kInputUnit) +
        ", file stdin");
}

}  // namespace korvant
