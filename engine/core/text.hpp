// Unicode-correct text helpers shared by every module.
//
// Page text is UTF-8 and often not ASCII. "Lower-cased", "trimmed", "characters" and
// "digit" always mean the Unicode notions here, never the byte-wise C library ones.
// Invalid UTF-8 is decoded as U+FFFD wherever a helper has to look at code points, so
// no input can cause undefined behaviour; the string-returning helpers therefore always
// return valid UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::text {

// Code points of a UTF-8 text; every invalid byte sequence becomes one U+FFFD.
std::u32string decode(std::string_view utf8);
std::string encode(std::u32string_view code_points);
// The text with every invalid sequence replaced by U+FFFD (a copy when already valid).
std::string valid_utf8(std::string_view utf8);

// The Unicode White_Space property: ASCII blanks and line breaks, NEL, the no-break
// space, the Ogham space mark, the typographic spaces, the line and paragraph
// separators, the narrow no-break space, the medium mathematical space and the
// ideographic space.
bool is_space(char32_t c);
// A character of category Nd (decimal digit), in any script.
bool is_digit(char32_t c);
// The value (0 to 9) of a decimal digit of any script; none for anything else.
std::optional<int> digit_value(char32_t c);
// Simple (one code point to one code point) lower-case mapping, so that positions
// counted in code points agree between a text and its lower-cased copy.
char32_t to_lower(char32_t c);

std::string lower(std::string_view s);
std::u32string lower(std::u32string_view s);

// Removes leading and trailing white space (is_space).
std::string trim(std::string_view s);
std::u32string trim(std::u32string_view s);
std::string trim_left(std::string_view s);
std::string trim_right(std::string_view s);

// Length in code points (characters), and the first n code points.
std::size_t length(std::string_view s);
std::string prefix(std::string_view s, std::size_t n);

bool contains_digit(std::string_view s);

// Words separated by runs of white space; leading and trailing white space yields no
// empty word.
std::vector<std::string> split_ws(std::string_view s);
std::vector<std::u32string> split_ws(std::u32string_view s);

// Joins parts with a separator.
std::string join(const std::vector<std::string>& parts, std::string_view separator);

// Every occurrence of `from` replaced by `to` (from must not be empty).
std::string replace_all(std::string_view s, std::string_view from, std::string_view to);

bool starts_with(std::u32string_view s, std::u32string_view p);
bool ends_with(std::u32string_view s, std::u32string_view p);

// The quoted representation used in messages: the text in single quotes, or in double
// quotes when it holds a single quote and no double quote. Inside, the backslash and the
// enclosing quote get a backslash; tab, line feed and carriage return are written \t, \n,
// \r; any other non-printable character (categories Cc, Cf, Cs, Co, Cn, Zl, Zp, and Zs
// other than the blank) is written \xNN below U+0100, \uNNNN below U+10000, else
// \UNNNNNNNN, in lower-case hex. Printable non-ASCII characters stay as they are.
std::string quoted(std::string_view s);

}  // namespace quillfen::text
