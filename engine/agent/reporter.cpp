#include "engine/agent/reporter.hpp"

#include "engine/core/file_writer.hpp"
#include "engine/core/text.hpp"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>
#include <utility>

namespace quillfen {
namespace {

constexpr std::size_t ELEMENT_TEXT_LIMIT = 40;
constexpr std::size_t CANDIDATE_TEXT_LIMIT = 30;
constexpr std::string_view REASONS_SEPARATOR = " | ";
constexpr std::string_view RULE = "============================================================";
constexpr std::size_t STRATEGY_LABEL_WIDTH = 20;

std::string local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, n);
}

// Two decimals, independent of the global locale.
std::string two_decimals(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::fixed << std::setprecision(2) << value;
  return out.str();
}

// Left-aligned and padded with blanks to `width` characters; longer text is not cut.
std::string padded(std::string_view s, std::size_t width) {
  std::string result(s);
  const std::size_t length = text::length(s);
  if (length < width) result.append(width - length, ' ');
  return result;
}

// Page text comes from arbitrary sites, so every inserted value is escaped.
std::string html_escaped(std::string_view s) {
  std::string result;
  result.reserve(s.size());
  for (const char c : s) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      case '"': result += "&quot;"; break;
      case '\'': result += "&#x27;"; break;
      default: result += c;
    }
  }
  return result;
}

const std::string& non_empty_or(const std::optional<std::string>& value,
                                const std::string& fallback) {
  return value && !value->empty() ? *value : fallback;
}

std::string detail_of(const ResultRecord& record) {
  static const std::string none;
  return non_empty_or(record.reasons,
                      non_empty_or(record.extracted, non_empty_or(record.element_text, none)));
}

struct Counts {
  std::size_t total = 0;
  std::size_t passed = 0;
  std::size_t failed() const { return total - passed; }
};

Counts count(const std::vector<ResultRecord>& results) {
  Counts counts{results.size(), 0};
  for (const ResultRecord& record : results) {
    if (record.status == "PASS") ++counts.passed;
  }
  return counts;
}

// Passes per strategy label, in order of first appearance.
std::vector<std::pair<std::string, std::size_t>> strategy_counts(
    const std::vector<ResultRecord>& results) {
  std::vector<std::pair<std::string, std::size_t>> counts;
  for (const ResultRecord& record : results) {
    if (record.status != "PASS") continue;
    const std::string label = record.strategy.value_or("unknown");
    auto it = std::find_if(counts.begin(), counts.end(),
                           [&](const auto& entry) { return entry.first == label; });
    if (it == counts.end()) {
      counts.emplace_back(label, 1);
    } else {
      ++it->second;
    }
  }
  return counts;
}

std::string row(std::size_t number, const ResultRecord& record) {
  const bool pass = record.status == "PASS";
  const std::string colour = pass ? "#2da44e" : "#cf222e";
  const std::string background = pass ? "#f6fff9" : "#fff6f6";
  const std::string indent12(12, ' ');
  const std::string indent16(16, ' ');
  std::string r;
  r += "\n" + indent12 + "<tr style=\"background:" + background + "\">";
  r += "\n" + indent16 + "<td>" + std::to_string(number) + "</td>";
  r += "\n" + indent16 + "<td><code>" + html_escaped(record.instruction) + "</code></td>";
  r += "\n" + indent16 + "<td style=\"color:" + colour + ";font-weight:bold\">" +
       html_escaped(record.status) + "</td>";
  r += "\n" + indent16 + "<td>" + html_escaped(detail_of(record)) + "</td>";
  r += "\n" + indent12 + "</tr>";
  return r;
}

void print_json(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) out += ", ";
        first = false;
        out += text::quoted(key);
        out += ": ";
        print_json(out, item);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& item : value) {
        if (!first) out += ", ";
        first = false;
        print_json(out, item);
      }
      out += ']';
      break;
    }
    case Json::value_t::string: out += text::quoted(value.get_ref<const std::string&>()); break;
    case Json::value_t::boolean: out += value.get<bool>() ? "True" : "False"; break;
    case Json::value_t::null: out += "None"; break;
    default: out += value.dump(); break;
  }
}

}  // namespace

Json to_json(const ResultRecord& record) {
  Json j = Json::object();
  j["status"] = record.status;
  j["instruction"] = record.instruction;
  const auto put = [&j](const char* key, const auto& value) {
    if (value) j[key] = *value;
  };
  put("strategy", record.strategy);
  put("element_tag", record.element_tag);
  put("element_text", record.element_text);
  put("element_label", record.element_label);
  put("reasons", record.reasons);
  put("top_candidate", record.top_candidate);
  put("state", record.state);
  put("locator", record.locator);
  put("extracted", record.extracted);
  // The record's own keys win over details of the same name.
  for (const auto& [key, value] : record.details.items()) {
    if (!j.contains(key)) j[key] = value;
  }
  return j;
}

std::string printed_form(const Json& value) {
  std::string out;
  print_json(out, value);
  return out;
}

Reporter::Reporter(std::ostream& out) : Reporter(out, local_time_now()) {}

Reporter::Reporter() : Reporter(std::cout) {}

Reporter::Reporter(std::ostream& out, std::string started_at)
    : out_(&out), _started_at(std::move(started_at)) {}

void Reporter::log_success(std::string_view instruction, std::string_view strategy_used,
                           const Element& element, const std::optional<std::string>& extracted) {
  ResultRecord record;
  record.status = "PASS";
  record.instruction = instruction;
  record.strategy = std::string(strategy_used);
  record.element_tag = element ? element->tag : "";
  record.element_text = element ? text::prefix(element->text, ELEMENT_TEXT_LIMIT) : "";
  record.element_label = element ? element->attributes.get("_label") : "";
  record.locator = element ? element->xpath : "";
  record.extracted = extracted;
  results.push_back(std::move(record));
  *out_ << "  [PASS] " << instruction << "  (via " << strategy_used << ")\n";
}

void Reporter::log_failure(std::string_view instruction,
                           const std::optional<ResolutionResult>& dom_result,
                           const std::optional<ResolutionResult>& spatial_result,
                           const std::optional<ResolutionResult>& florence_result) {
  const std::pair<const char*, const std::optional<ResolutionResult>*> tried[] = {
      {"DOM", &dom_result}, {"Spatial", &spatial_result}, {"Florence", &florence_result}};

  std::vector<std::string> reasons;
  std::string closest;
  for (const auto& [label, result] : tried) {
    if (!*result) continue;
    reasons.push_back(std::string(label) + " confidence=" + two_decimals((*result)->confidence));
    const Elements& candidates = (*result)->candidates;
    if (closest.empty() && !candidates.empty()) {
      const Element& first = candidates.front();
      const std::string tag = first ? first->tag : "";
      const std::string candidate_text = first ? first->text : "";
      closest = "<" + tag + "> text=" +
                text::quoted(text::prefix(candidate_text, CANDIDATE_TEXT_LIMIT));
    }
  }
  const std::string joined = text::join(reasons, REASONS_SEPARATOR);

  ResultRecord record;
  record.status = "FAIL";
  record.instruction = instruction;
  record.strategy = "none";
  record.reasons = joined;
  record.top_candidate = closest;
  results.push_back(std::move(record));

  *out_ << "  [FAIL] " << instruction << "\n";
  if (!joined.empty()) *out_ << "         reasons : " << joined << "\n";
  if (!closest.empty()) *out_ << "         closest : " << closest << "\n";
}

void Reporter::log_verification(std::string_view instruction, bool passed,
                                const Element& element, const std::optional<Json>& state) {
  if (state && !state->is_object() && !state->is_null()) {
    throw TypeError("state must be a map or null");
  }
  const Json observed = state && state->is_object() ? *state : Json::object();
  const std::string status = passed ? "PASS" : "FAIL";

  ResultRecord record;
  record.status = status;
  record.instruction = instruction;
  record.strategy = "DOM-verify";
  record.element_tag = element ? element->tag : "";
  record.element_text = element ? text::prefix(element->text, ELEMENT_TEXT_LIMIT) : "";
  record.state = observed;
  record.locator = element ? element->xpath : "";
  results.push_back(std::move(record));

  *out_ << "  [" << status << "] " << instruction << "\n";
  if (!observed.empty()) *out_ << "         state : " << printed_form(observed) << "\n";
}

void Reporter::summary(const std::filesystem::path& report_path) const {
  const Counts counts = count(results);
  std::ostream& out = *out_;
  out << "\n" << RULE << "\n";
  out << "  TEST RUN SUMMARY  \u2014  " << _started_at << "\n";
  out << RULE << "\n";
  out << "  Total        : " << counts.total << "\n";
  out << "  Passed       : " << counts.passed << "\n";
  out << "  Failed       : " << counts.failed() << "\n";
  out << "\n";

  const auto strategies = strategy_counts(results);
  if (!strategies.empty()) {
    out << "  Strategy breakdown (passes only):\n";
    for (const auto& [label, n] : strategies) {
      out << "    " << padded(label, STRATEGY_LABEL_WIDTH) << " " << n << "\n";
    }
    out << "\n";
  }

  if (counts.failed() != 0) {
    out << "  Failed instructions:\n";
    for (const ResultRecord& record : results) {
      if (record.status != "FAIL") continue;
      out << "    \u2717  " << record.instruction << "\n";
      if (record.reasons && !record.reasons->empty()) {
        out << "       " << *record.reasons << "\n";
      }
    }
    out << "\n";
  }

  out << RULE << "\n";
  save_html(report_path);
}

std::string Reporter::html() const {
  const Counts counts = count(results);
  std::string rows;
  for (std::size_t i = 0; i < results.size(); ++i) rows += row(i + 1, results[i]);
  const std::string started = html_escaped(_started_at);

  std::string page;
  page += "<!DOCTYPE html>\n";
  page += "<html lang=\"en\">\n";
  page += "<head>\n";
  page += "  <meta charset=\"UTF-8\">\n";
  page += "  <title>Test Report \u2014 " + started + "</title>\n";
  page += "  <style>\n";
  page += "    body { font-family: -apple-system, sans-serif; margin: 40px; color: #1f2328; }\n";
  page += "    h1   { font-size: 1.4em; }\n";
  page += "    .summary { display: flex; gap: 24px; margin: 16px 0 24px; }\n";
  page += "    .badge { padding: 8px 18px; border-radius: 6px; font-weight: bold; font-size: 1.1em; }\n";
  page += "    .pass  { background: #dafbe1; color: #1a7f37; }\n";
  page += "    .fail  { background: #ffebe9; color: #cf222e; }\n";
  page += "    .total { background: #f0f0f0; color: #333; }\n";
  page += "    table  { border-collapse: collapse; width: 100%; font-size: 0.9em; }\n";
  page += "    th     { background: #f6f8fa; text-align: left; padding: 8px 12px; border-bottom: 2px solid #d0d7de; }\n";
  page += "    td     { padding: 8px 12px; border-bottom: 1px solid #d0d7de; }\n";
  page += "    code   { background: #f6f8fa; padding: 2px 6px; border-radius: 4px; font-size: 0.85em; }\n";
  page += "  </style>\n";
  page += additions.head;
  page += "</head>\n";
  page += "<body>\n";
  page += "  <h1>Test Report</h1>\n";
  page += "  <p style=\"color:#666\">" + started + "</p>\n";
  page += "  <div class=\"summary\">\n";
  page += "    <span class=\"badge total\">Total: " + std::to_string(counts.total) + "</span>\n";
  page += "    <span class=\"badge pass\">Passed: " + std::to_string(counts.passed) + "</span>\n";
  page += "    <span class=\"badge fail\">Failed: " + std::to_string(counts.failed()) + "</span>\n";
  page += "  </div>\n";
  page += "  <table>\n";
  page += "    <thead>\n";
  page += "      <tr><th>#</th><th>Instruction</th><th>Status</th><th>Detail</th></tr>\n";
  page += "    </thead>\n";
  page += "    <tbody>\n";
  page += "      " + rows + "\n";
  page += "    </tbody>\n";
  page += "  </table>\n";
  page += additions.body;
  page += "</body>\n";
  page += "</html>";
  return page;
}

void Reporter::save_html(const std::filesystem::path& report_path) const {
  try {
    files::write_file(report_path, html());
  } catch (const files::WriteError& e) {
    throw ReportWriteError("cannot write the HTML report " + report_path.string() + ": " + e.reason() + ".");
  }
  *out_ << "  HTML report \u2192 " << report_path.string() << "\n";
}

}  // namespace quillfen
