#include "runner/markup.hpp"

#include "engine/core/text.hpp"

namespace quillfen::runner {

std::string xml_escaped(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (const char32_t c : text::decode(raw)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: {
        const bool allowed = (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
                             (c >= 0x10000 && c <= 0x10FFFF);
        out += text::encode(std::u32string(1, allowed ? c : U'\uFFFD'));
      }
    }
  }
  return out;
}

}  // namespace quillfen::runner
