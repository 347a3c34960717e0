// Run reporting: one result record per logged instruction, a console line for each as
// it happens, and at the end the run summary and the HTML report.
//
// The runner owns one Reporter per run and calls exactly one of log_success,
// log_failure or log_verification per instruction. The reporter only stores and prints
// what it is given. Console output goes to the stream given at construction.
#pragma once

#include "engine/core/records.hpp"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

// The outcome of one instruction. The three logging operations fill the members of
// their own shape and leave the others empty, and to_json writes exactly those keys:
//   success:      status, instruction, strategy, element_tag, element_text,
//                 element_label, locator
//   failure:      status, instruction, strategy, reasons, top_candidate
//   verification: status, instruction, strategy, element_tag, element_text, state,
//                 locator
// A success may carry `extracted`; the caller may add its own `details`.
struct ResultRecord {
  std::string status;
  std::string instruction;
  // A record without a strategy counts under "unknown" in the summary.
  std::optional<std::string> strategy;
  std::optional<std::string> element_tag;
  std::optional<std::string> element_text;
  std::optional<std::string> element_label;
  std::optional<std::string> reasons;
  std::optional<std::string> top_candidate;
  std::optional<Json> state;
  std::optional<std::string> locator;
  std::optional<std::string> extracted;
  // Further keys of the caller's own, written after all the others.
  Json details = Json::object();
};

// Keys in the order of the record's shape, then `extracted`, then the details.
Json to_json(const ResultRecord& record);

// The printed form of a state map: {'present': True, 'visible': False}. Keys and strings
// take the quoted representation, booleans are True/False, null is None, numbers are
// written as JSON writes them; nested maps and lists are printed the same way.
std::string printed_form(const Json& value);

// Writing the report failed; nothing was put in place of an earlier report.
class ReportWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Reporter {
 public:
  // Where the report goes unless the caller names another path.
  static inline const std::filesystem::path DEFAULT_REPORT_PATH = "data/reports/report.html";

  // Starts the run now, in local time. Lines go to `out` (standard output by default),
  // which must outlive the reporter.
  explicit Reporter(std::ostream& out);
  Reporter();
  // Starts the run at a given time text, for reproducible output.
  Reporter(std::ostream& out, std::string started_at);

  // One record per logged instruction, in call order.
  std::vector<ResultRecord> results;

  // Markup a caller adds to the report page beside its own content: `head` just before
  // </head>, `body` just after the table of results. Both are empty unless set, and the
  // page is then exactly the one html() always wrote. The caller escapes its text.
  struct PageAdditions {
    std::string head;
    std::string body;
  };
  PageAdditions additions;

  // The run's start, formatted "%Y-%m-%d %H:%M:%S".
  const std::string& started_at() const { return _started_at; }

  // An action was resolved and performed. `element` may be null. Text the action
  // extracted goes into the record's `extracted` (the report shows it as the detail).
  void log_success(std::string_view instruction, std::string_view strategy_used,
                   const Element& element,
                   const std::optional<std::string>& extracted = std::nullopt);

  // Every strategy failed. A result that is not given adds no reason and no candidate.
  void log_failure(std::string_view instruction,
                   const std::optional<ResolutionResult>& dom_result,
                   const std::optional<ResolutionResult>& spatial_result = std::nullopt,
                   const std::optional<ResolutionResult>& florence_result = std::nullopt);

  // A verify or find step passed or failed. `element` may be null; `state` must be a
  // map or null (TypeError otherwise).
  void log_verification(std::string_view instruction, bool passed, const Element& element,
                        const std::optional<Json>& state = std::nullopt);

  // Prints the summary block, then writes the report (save_html).
  void summary(const std::filesystem::path& report_path = DEFAULT_REPORT_PATH) const;

  // Writes the report page through files::write_file (missing directories created, a
  // failed write leaves any earlier report whole, a link or a device is written through,
  // never replaced) and prints its path. A failure throws ReportWriteError and prints
  // nothing.
  void save_html(const std::filesystem::path& report_path = DEFAULT_REPORT_PATH) const;

  // The report page for the current results.
  std::string html() const;

 private:
  std::ostream* out_;
  std::string _started_at;
};

}  // namespace quillfen
