#include "runner/console.hpp"

#include "runner/details.hpp"

#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>

namespace quillfen::runner {
namespace {

// The reporter indents the labels under a step by nine blanks and pads them to seven
// characters, so that the colons line up.
constexpr std::size_t LABEL_WIDTH = 7;

void labelled(std::ostream& out, std::string_view label, std::string_view text) {
  out << "         " << label;
  for (std::size_t i = label.size(); i < LABEL_WIDTH; ++i) out << ' ';
  out << " : " << text << "\n";
}

std::string seconds_words(Seconds duration) {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s << std::fixed << std::setprecision(1) << duration.count() << " s";
  return s.str();
}

}  // namespace

std::string counts_words(const Counts& counts) {
  std::string words;
  const auto part = [&words](std::size_t n, std::string_view what) {
    if (n == 0) return;
    if (!words.empty()) words += ", ";
    words += std::to_string(n) + " " + std::string(what);
  };
  part(counts.passed, "passed");
  part(counts.failed, "failed");
  part(counts.not_run, "not run");
  return words.empty() ? "no steps" : words;
}

Console::Console(std::ostream& out, bool verbose) : out_(out), verbose_(verbose) {}

void Console::note(std::string_view text) { labelled(out_, "note", text); }

void Console::details(const StepOutcome& step) {
  if (!verbose_) return;
  for (const Detail& detail : step_details(step)) labelled(out_, detail.label, detail.text);
}

void Console::script_started(std::size_t number, std::size_t total, const std::string& path) {
  out_ << "\n";
  if (total > 1) out_ << "[" << number << "/" << total << "] ";
  out_ << path << "\n";
  out_.flush();
}

void Console::script_finished(std::size_t number, std::size_t total, const ScriptOutcome& script) {
  if (total <= 1) return;
  out_ << "[" << number << "/" << total << "] " << script.path << ": " << counts_words(script.counts()) << " in "
       << seconds_words(script.duration) << "\n";
  out_.flush();
}

void Console::file_written(std::string_view what, const std::filesystem::path& path) {
  out_ << "  " << what;
  for (std::size_t i = what.size(); i < 11; ++i) out_ << ' ';
  out_ << " \u2192 " << path.string() << "\n";
}

void Console::flush() { out_.flush(); }

}  // namespace quillfen::runner
