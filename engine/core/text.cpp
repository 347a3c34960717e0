#include "engine/core/text.hpp"

#include <utf8proc.h>

#include <algorithm>
#include <cstdio>

namespace quillfen::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void append_utf8(std::string& out, char32_t c) {
  utf8proc_uint8_t buf[4];
  const auto n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), buf);
  out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

// Calls f(code_point) for each code point; invalid sequences give U+FFFD and consume one
// byte, so decoding always advances.
template <typename F>
void for_each_code_point(std::string_view s, F&& f) {
  const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto byte = p[i];
    if (byte < 0x80) {
      f(static_cast<char32_t>(byte));
      ++i;
      continue;
    }
    utf8proc_int32_t cp = 0;
    const auto n = utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
    if (n <= 0) {
      f(kReplacement);
      ++i;
    } else {
      f(static_cast<char32_t>(cp));
      i += static_cast<std::size_t>(n);
    }
  }
}

bool is_printable(char32_t c) {
  if (c == U' ') return true;
  if (c > 0x10FFFF) return false;
  switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_CC:
    case UTF8PROC_CATEGORY_CF:
    case UTF8PROC_CATEGORY_CS:
    case UTF8PROC_CATEGORY_CO:
    case UTF8PROC_CATEGORY_CN:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP:
    case UTF8PROC_CATEGORY_ZS:
      return false;
    default:
      return true;
  }
}

std::u32string trim_impl(std::u32string_view s, bool left, bool right, bool (*space)(char32_t)) {
  std::size_t b = 0;
  std::size_t e = s.size();
  if (left) {
    while (b < e && space(s[b])) ++b;
  }
  if (right) {
    while (e > b && space(s[e - 1])) --e;
  }
  return std::u32string(s.substr(b, e - b));
}

}  // namespace

std::u32string decode(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for_each_code_point(utf8, [&](char32_t c) { out.push_back(c); });
  return out;
}

std::string encode(std::u32string_view code_points) {
  std::string out;
  out.reserve(code_points.size());
  for (const char32_t c : code_points) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, c);
    }
  }
  return out;
}

std::string valid_utf8(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  return encode(decode(utf8));
}

bool is_space(char32_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680:
    case 0x2000: case 0x2001: case 0x2002: case 0x2003: case 0x2004: case 0x2005:
    case 0x2006: case 0x2007: case 0x2008: case 0x2009: case 0x200A:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return false;
  }
}

bool is_digit(char32_t c) {
  if (c < 0x80) return c >= U'0' && c <= U'9';
  if (c > 0x10FFFF) return false;
  return utf8proc_category(static_cast<utf8proc_int32_t>(c)) == UTF8PROC_CATEGORY_ND;
}

std::optional<int> digit_value(char32_t c) {
  if (!is_digit(c)) return std::nullopt;
  // Every script's decimal digits are encoded as runs of ten in ascending order, from
  // zero; scripts whose runs touch (the mathematical digits) each start a new ten.
  char32_t zero = c;
  while (zero > 0 && is_digit(zero - 1)) --zero;
  return static_cast<int>((c - zero) % 10);
}

char32_t to_lower(char32_t c) {
  if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
  if (c > 0x10FFFF) return c;
  return static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c)));
}

std::string lower(std::string_view s) {
  if (is_ascii(s)) {
    std::string out(s);
    for (char& ch : out) {
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    }
    return out;
  }
  std::string out;
  out.reserve(s.size());
  for_each_code_point(s, [&](char32_t c) { append_utf8(out, to_lower(c)); });
  return out;
}

std::u32string lower(std::u32string_view s) {
  std::u32string out(s);
  for (char32_t& c : out) c = to_lower(c);
  return out;
}

std::string trim(std::string_view s) { return encode(trim(std::u32string_view(decode(s)))); }

std::u32string trim(std::u32string_view s) { return trim_impl(s, true, true, is_space); }

std::string trim_left(std::string_view s) {
  return encode(trim_impl(std::u32string_view(decode(s)), true, false, is_space));
}

std::string trim_right(std::string_view s) {
  return encode(trim_impl(std::u32string_view(decode(s)), false, true, is_space));
}

std::size_t length(std::string_view s) {
  std::size_t n = 0;
  for_each_code_point(s, [&](char32_t) { ++n; });
  return n;
}

std::string prefix(std::string_view s, std::size_t n) {
  std::string out;
  std::size_t count = 0;
  for_each_code_point(s, [&](char32_t c) {
    if (count++ < n) append_utf8(out, c);
  });
  return out;
}

bool contains_digit(std::string_view s) {
  bool found = false;
  for_each_code_point(s, [&](char32_t c) { found = found || is_digit(c); });
  return found;
}

std::vector<std::u32string> split_ws(std::u32string_view s) {
  std::vector<std::u32string> words;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && is_space(s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !is_space(s[i])) ++i;
    if (i > start) words.emplace_back(s.substr(start, i - start));
  }
  return words;
}

std::vector<std::string> split_ws(std::string_view s) {
  std::vector<std::string> words;
  for (const auto& w : split_ws(std::u32string_view(decode(s)))) words.push_back(encode(w));
  return words;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(parts[i]);
  }
  return out;
}

std::string replace_all(std::string_view s, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    const auto hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

bool starts_with(std::u32string_view s, std::u32string_view p) {
  return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

bool ends_with(std::u32string_view s, std::u32string_view p) {
  return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

std::string quoted(std::string_view s) {
  const std::u32string cps = decode(s);
  const bool has_single = cps.find(U'\'') != std::u32string::npos;
  const bool has_double = cps.find(U'"') != std::u32string::npos;
  const char32_t quote = (has_single && !has_double) ? U'"' : U'\'';
  std::string out;
  out.push_back(static_cast<char>(quote));
  for (const char32_t c : cps) {
    if (c == quote || c == U'\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c == U'\t') {
      out += "\\t";
    } else if (c == U'\n') {
      out += "\\n";
    } else if (c == U'\r') {
      out += "\\r";
    } else if (!is_printable(c)) {
      char buf[16];
      if (c < 0x100) {
        std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
      } else if (c < 0x10000) {
        std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      } else {
        std::snprintf(buf, sizeof buf, "\\U%08x", static_cast<unsigned>(c));
      }
      out += buf;
    } else {
      append_utf8(out, c);
    }
  }
  out.push_back(static_cast<char>(quote));
  return out;
}

}  // namespace quillfen::text
