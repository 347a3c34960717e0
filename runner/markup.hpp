// Text put into XML or HTML, escaped once here for every writer of markup: page text
// comes from arbitrary sites and must stay text.
#pragma once

#include <string>
#include <string_view>

namespace quillfen::runner {

// Escapes &, <, >, " and ' for element text and attribute values alike. Characters that
// XML 1.0 cannot hold (control characters other than tab, line feed and carriage return,
// surrogates, U+FFFE, U+FFFF) and invalid UTF-8 become U+FFFD; tab, line feed and carriage
// return are written as character references, so they survive in attribute values.
std::string xml_escaped(std::string_view raw);

}  // namespace quillfen::runner
