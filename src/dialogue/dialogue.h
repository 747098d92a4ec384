#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dialogue/session.h"

namespace korvant {

/// Position of the last character of `field` with a code from 33 to 126; the
/// field's full length when there is none (tabs, controls and codes of 127 and
/// above count as blanks at the end).
int TRMLEN(std::string_view field);

/// Reads a number with a default: an all-blank answer copies `default_value`
/// into *number. A whole number without a point reads as written (12 is 12.0);
/// an answer of 20 digits without a point takes its last 10 digits as
/// decimals. Not a number, or end of input: the run ends (fatal).
void DCODE(Console& console, float* number, float default_value);

/// Converts the 20-character answer field of `DCODE`; false when it is not a number.
bool DecodeFixedField(std::string_view field20, float* number);

/// Parses a free-form answer: up to `count` values separated by blanks or a
/// comma. Values not on the line leave their destination unchanged; values
/// beyond `count` are ignored. False when a value is not a number of its type.
bool ParseFreeReals(std::string_view line, float* values, int count);
bool ParseFreeInt(std::string_view line, int32_t* value);

/// Free-form reads from the console. False at end of input (the destination
/// is unchanged); an answer that is not a number ends the run (fatal).
bool ReadFreeReal(Console& console, float* value);
bool ReadFreeInt(Console& console, int32_t* value);
bool ReadFreeHours(Console& console, float* start, float* end);

/// A yes/no answer into `ANS`. nullopt at end of input.
/// yes-unless-N: no exactly when the first character is N or n.
std::optional<bool> AskYesUnlessN(Session& s);
/// no-unless-Y: yes exactly when the first character is Y or y.
std::optional<bool> AskNoUnlessY(Session& s);

/// A file name from a 50-character answer field: leading and trailing blanks removed.
std::string TrimName(std::string_view field);

/// Copies `text` into a fixed field, padding with blanks.
void SetField(char* field, int width, std::string_view text);
inline std::string_view FieldView(const char* field, int width) {
  return std::string_view(field, static_cast<size_t>(width));
}

/// Writes `prompt`, reads a 50-character answer into `field` and returns the
/// file name it holds (blanks around it removed). nullopt at end of input.
std::optional<std::string> AskName(Session& s, std::string_view prompt, char* field);

/// Input-name dialogue: writes `prompt`, reads a name into `field` (50
/// characters) until it names a regular file that is not being written,
/// writing `not_found` (or the in-use line) before asking again; then opens it
/// on `unit`. False at end of input at the prompt, before anything is opened.
bool InputNameDialogue(Session& s, std::string_view prompt, std::string_view not_found, char* field,
                       int unit);

/// Output-name dialogue: writes `prompt`, reads a name into `field`; a fifo
/// or a socket is refused with `kNotRegularLine` and the name asked again; an
/// existing file is replaced only after " That file name already exists
/// OverWrite? " is answered with anything but an empty answer or one beginning
/// with N or n. Opens the file for writing on `unit`. False at end of input at
/// the name prompt; end of input at the overwrite question is fatal.
bool OutputNameDialogue(Session& s, std::string_view prompt, char* field, int unit);

/// The line written when a name is refused because the run has that file open.
inline constexpr std::string_view kInUseLine = " Sorry ... that file is in use ... try again";
/// The line written when an output name is a fifo or a socket.
inline constexpr std::string_view kNotRegularLine =
    " Sorry ... that file is not a regular file ... try again";

}  // namespace korvant
