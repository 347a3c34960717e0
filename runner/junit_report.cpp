#include "runner/junit_report.hpp"

#include "engine/core/file_writer.hpp"
#include "runner/details.hpp"
#include "runner/markup.hpp"

#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quillfen::runner {
namespace {

std::string seconds_text(Seconds duration) {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::fixed << std::setprecision(3) << duration.count();
  return s.str();
}

std::vector<std::pair<std::string, std::string>> properties(const StepOutcome& step) {
  std::vector<std::pair<std::string, std::string>> out;
  if (step.strategy) out.emplace_back("strategy", *step.strategy);
  if (step.level) out.emplace_back("level", std::to_string(*step.level));
  if (step.element) {
    out.emplace_back("element.tag", step.element->tag);
    if (!step.element->id.empty()) out.emplace_back("element.id", step.element->id);
    out.emplace_back("element.text", step.element->text);
    if (!step.element->label.empty()) out.emplace_back("element.label", step.element->label);
    out.emplace_back("element.xpath", step.element->xpath);
  }
  if (step.anchor) out.emplace_back("anchor", *step.anchor);
  return out;
}

// Plain lines a person reads in the CI tool's view of the case.
std::vector<std::string> output_lines(const StepOutcome& step, const std::filesystem::path& attachments_from) {
  std::vector<std::string> lines;
  for (const Detail& detail : step_details(step)) lines.push_back(detail.label + ": " + detail.text);
  for (const std::string& note : step.notes) lines.push_back("note: " + note);
  for (const Attachment& attachment : step.attachments) lines.push_back("[[ATTACHMENT|" + (attachments_from / attachment.path).string() + "]]");
  return lines;
}

void write_case(std::ostringstream& x, const std::string& suite_name, const StepOutcome& step,
                const std::filesystem::path& attachments_from) {
  x << "    <testcase classname=\"" << suite_name << "\" name=\"" << xml_escaped(step.instruction) << "\" file=\""
    << suite_name << "\" line=\"" << step.line << "\" time=\"" << seconds_text(step.duration) << "\"";
  const auto props = properties(step);
  const auto lines = output_lines(step, attachments_from);
  if (step.passed() && props.empty() && lines.empty()) {
    x << "/>\n";
    return;
  }
  x << ">\n";
  if (!props.empty()) {
    x << "      <properties>\n";
    for (const auto& [name, value] : props) {
      x << "        <property name=\"" << name << "\" value=\"" << xml_escaped(value) << "\"/>\n";
    }
    x << "      </properties>\n";
  }
  // A step that did not run is a failure, as the reporter counts it: a run cut short by a
  // crash or a stop must not look like a run whose steps were left out on purpose.
  if (!step.passed()) {
    const std::string reason = xml_escaped(step.reason.value_or(""));
    x << "      <failure message=\"" << reason << "\">" << reason << "</failure>\n";
  }
  if (!lines.empty()) {
    x << "      <system-out>";
    for (const std::string& line : lines) x << xml_escaped(line) << "\n";
    x << "</system-out>\n";
  }
  x << "    </testcase>\n";
}

}  // namespace

std::string junit_xml(const RunOutcome& run, const std::filesystem::path& attachments_from) {
  const Counts all = run.counts();
  std::ostringstream x;
  x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  x << "<testsuites name=\"quillfen\" tests=\"" << all.steps << "\" failures=\"" << all.failed + all.not_run
    << "\" errors=\"0\" time=\"" << seconds_text(run.duration) << "\">\n";
  for (const ScriptOutcome& script : run.scripts) {
    const Counts counts = script.counts();
    const std::string suite_name = xml_escaped(script.path);
    x << "  <testsuite name=\"" << suite_name << "\" tests=\"" << counts.steps << "\" failures=\""
      << counts.failed + counts.not_run << "\" errors=\"0\" skipped=\"0\" time=\"" << seconds_text(script.duration)
      << "\">\n";
    for (const StepOutcome& step : script.steps) write_case(x, suite_name, step, attachments_from);
    x << "  </testsuite>\n";
  }
  x << "</testsuites>\n";
  return x.str();
}

void write_junit(const std::filesystem::path& file, const RunOutcome& run,
                 const std::filesystem::path& attachments_from) {
  try {
    files::write_file(file, junit_xml(run, attachments_from));
  } catch (const files::WriteError& e) {
    throw std::runtime_error("cannot write the JUnit file " + file.string() + ": " + e.reason() + ".");
  }
}

}  // namespace quillfen::runner
