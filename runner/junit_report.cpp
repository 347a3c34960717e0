#include "runner/junit_report.hpp"

#include "engine/core/file_writer.hpp"
#include "engine/core/text.hpp"

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace quillfen::runner {
namespace {

// Escapes for an attribute value or element text. XML 1.0 admits tab, line feed and
// carriage return among the control characters, and no surrogates or U+FFFE/U+FFFF.
std::string xml_escape(std::string_view raw) {
  std::string out;
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

std::string seconds_text(double seconds) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(3) << seconds;
  return s.str();
}

}  // namespace

std::string junit_xml(const std::vector<SuiteResult>& suites) {
  int tests = 0;
  int failures = 0;
  double seconds = 0;
  for (const auto& suite : suites) {
    tests += static_cast<int>(suite.cases.size());
    for (const auto& c : suite.cases) failures += c.failure ? 1 : 0;
    seconds += suite.seconds;
  }
  std::ostringstream x;
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x << "<testsuites name=\"quillfen\" tests=\"" << tests << "\" failures=\"" << failures
    << "\" errors=\"0\" time=\"" << seconds_text(seconds) << "\">\n";
  for (const auto& suite : suites) {
    int suite_failures = 0;
    for (const auto& c : suite.cases) suite_failures += c.failure ? 1 : 0;
    const std::string suite_name = xml_escape(suite.name);
    x << "  <testsuite name=\"" << suite_name << "\" tests=\"" << suite.cases.size()
      << "\" failures=\"" << suite_failures << "\" errors=\"0\" skipped=\"0\" time=\""
      << seconds_text(suite.seconds) << "\">\n";
    for (const auto& c : suite.cases) {
      x << "    <testcase classname=\"" << suite_name << "\" name=\"" << xml_escape(c.name)
        << "\" file=\"" << suite_name << "\" line=\"" << c.line << "\" time=\""
        << seconds_text(c.seconds) << "\"";
      if (!c.failure) {
        x << "/>\n";
        continue;
      }
      const std::string message = xml_escape(*c.failure);
      x << ">\n      <failure message=\"" << message << "\">" << message
        << "</failure>\n    </testcase>\n";
    }
    x << "  </testsuite>\n";
  }
  x << "</testsuites>\n";
  return x.str();
}

void write_junit(const std::filesystem::path& file, const std::vector<SuiteResult>& suites) {
  try {
    files::write_file(file, junit_xml(suites));
  } catch (const files::WriteError& e) {
    throw std::runtime_error("cannot write the JUnit file " + file.string() + ": " + e.reason() + ".");
  }
}

}  // namespace quillfen::runner
