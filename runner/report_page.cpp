#include "runner/report_page.hpp"

#include "engine/core/text.hpp"
#include "runner/details.hpp"
#include "runner/markup.hpp"

#include <cstdio>

namespace quillfen::runner {
namespace {

std::string esc(std::string_view raw) { return xml_escaped(raw); }

std::string seconds_words(Seconds duration) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", duration.count());
  return buffer;
}

std::string counts_words(const Counts& counts) {
  std::string words = std::to_string(counts.steps) + (counts.steps == 1 ? " step" : " steps") + ": " +
                      std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) + " failed";
  if (counts.not_run != 0) words += ", " + std::to_string(counts.not_run) + " not run";
  return words;
}

// Each class is prefixed, so that nothing here styles the reporter's part of the page.
const char* const STYLE = R"css(
    #qf { margin-top: 32px; }
    #qf h2 { font-size: 1.2em; }
    #qf dl.qf-run, #qf dl.qf-facts { display: grid; grid-template-columns: max-content 1fr; gap: 4px 16px; margin: 8px 0; }
    #qf dt { color: #57606a; }
    #qf dd { margin: 0; overflow-wrap: anywhere; }
    #qf .qf-bar { margin: 16px 0; }
    #qf details.qf-script { border: 1px solid #d0d7de; border-radius: 6px; margin: 12px 0; }
    #qf details.qf-script > summary { padding: 8px 12px; cursor: pointer; background: #f6f8fa; overflow-wrap: anywhere; }
    #qf details.qf-script.qf-failed > summary { background: #fff6f6; }
    #qf ol.qf-steps { list-style: none; margin: 0; padding: 0; }
    #qf li.qf-step { border-top: 1px solid #d0d7de; padding: 8px 12px; break-inside: avoid; }
    #qf li.qf-failed, #qf li.qf-not-run { background: #fff6f6; }
    #qf .qf-head { display: flex; flex-wrap: wrap; gap: 4px 12px; align-items: baseline; }
    #qf .qf-head code { overflow-wrap: anywhere; }
    #qf .qf-status { font-weight: bold; }
    #qf li.qf-passed .qf-status { color: #1a7f37; }
    #qf li.qf-failed .qf-status, #qf li.qf-not-run .qf-status { color: #cf222e; }
    #qf .qf-time { color: #57606a; margin-left: auto; }
    #qf ul.qf-list, #qf ol.qf-list { margin: 0; padding-left: 20px; }
    #qf figure { margin: 8px 0 0; }
    #qf figure img { display: block; max-width: 100%; height: auto; border: 1px solid #d0d7de; }
    #qf figcaption { color: #57606a; font-size: 0.85em; margin-top: 4px; }
    #qf .qf-key-element { color: #e0007a; }
    #qf .qf-key-candidate { color: #b86a00; }
    #qf .qf-key-anchor { color: #0a6cff; }
    body.qf-failed-only tr.qf-passed, body.qf-failed-only #qf .qf-passed { display: none; }
    @media (max-width: 640px) {
      body { margin: 12px; }
      #qf dl.qf-run, #qf dl.qf-facts { grid-template-columns: 1fr; gap: 0; }
      #qf dd { margin-bottom: 6px; }
    }
    @media print {
      #qf .qf-bar { display: none; }
      #qf details.qf-script > summary { list-style: none; }
    }
)css";

// Marks the table's rows by their status for the filter, opens every group for print,
// and switches the filter.
const char* const SCRIPT = R"js(
  (function () {
    var rows = document.querySelectorAll('table tbody tr');
    for (var i = 0; i < rows.length; i++) {
      var status = rows[i].cells.length > 2 ? rows[i].cells[2].textContent : '';
      if (status !== 'FAIL') rows[i].classList.add('qf-passed');
    }
    var only = document.getElementById('qf-failed-only');
    var apply = function () { document.body.classList.toggle('qf-failed-only', only.checked); };
    only.addEventListener('change', apply);
    apply();
    window.addEventListener('beforeprint', function () {
      var groups = document.querySelectorAll('#qf details');
      for (var j = 0; j < groups.length; j++) groups[j].open = true;
    });
  })();
)js";

std::string status_class(StepStatus status) {
  switch (status) {
    case StepStatus::passed: return "qf-passed";
    case StepStatus::failed: return "qf-failed";
    case StepStatus::not_run: break;
  }
  return "qf-not-run";
}

void fact(std::string& out, std::string_view label, const std::string& escaped_value) {
  out += "          <dt>" + esc(label) + "</dt><dd>" + escaped_value + "</dd>\n";
}

std::string element_facts(const ElementInfo& element) {
  std::string words = "&lt;" + esc(element.tag) + "&gt;";
  if (!element.id.empty()) words += " id <code>" + esc(element.id) + "</code>";
  if (!element.text.empty()) words += " text " + esc(text::quoted(element.text)) + (element.text_cut ? "&#8230;" : "");
  if (!element.label.empty()) words += " labelled " + esc(text::quoted(element.label));
  if (!element.visible) words += " (hidden)";
  if (!element.enabled) words += " (disabled)";
  words += "<br><code>" + esc(element.xpath) + "</code>";
  return words;
}

std::string via_words(const StepOutcome& step) {
  std::string words = *step.strategy;
  if (step.level) {
    words += " (level " + std::to_string(*step.level);
    if (step.strategy != std::string(level_label(*step.level))) words += ", " + std::string(level_label(*step.level));
    words += ")";
  }
  return words;
}

// What the picture's outlines stand for, named by their colours.
std::string picture_key(const StepOutcome& step) {
  std::vector<std::string> parts;
  if (step.element) parts.push_back("<span class=\"qf-key-element\">the element used</span>");
  if (!step.element && !step.candidates.empty()) {
    parts.push_back("<span class=\"qf-key-candidate\">the closest candidates (dashed)</span>");
  }
  if (step.anchor) parts.push_back("<span class=\"qf-key-anchor\">the anchor</span>");
  if (parts.empty()) return "The page when the step ended.";
  return "Outlined: " + text::join(parts, ", ") + ".";
}

std::string step_item(const StepOutcome& step) {
  std::string out;
  out += "      <li class=\"qf-step " + status_class(step.status) + "\">\n";
  out += "        <div class=\"qf-head\"><span class=\"qf-status\">" + esc(status_words(step.status)) +
         "</span><span>line " + std::to_string(step.line) + "</span><code>" + esc(step.instruction) +
         "</code><span class=\"qf-time\">" + seconds_words(step.duration) + "</span></div>\n";
  out += "        <dl class=\"qf-facts\">\n";
  if (step.reason) fact(out, "Reason", esc(*step.reason));
  if (step.strategy) fact(out, "Strategy", esc(via_words(step)));
  if (step.element) fact(out, "Element", element_facts(*step.element));
  if (step.anchor) fact(out, "Anchor", esc(text::quoted(*step.anchor)));
  if (step.state) fact(out, "State", "<code>" + esc(printed_form(*step.state)) + "</code>");
  if (step.extracted) fact(out, "Extracted", esc(text::quoted(*step.extracted)));
  if (!step.candidates.empty()) {
    std::string list = "<ol class=\"qf-list\">";
    for (std::size_t i = 0; i < step.candidates.size() && i < CANDIDATES_SHOWN; ++i) {
      list += "<li>" + element_facts(step.candidates[i]) + "</li>";
    }
    fact(out, "Closest", list + "</ol>");
  }
  if (!step.notes.empty()) {
    std::string list = "<ul class=\"qf-list\">";
    for (const std::string& note : step.notes) list += "<li>" + esc(note) + "</li>";
    fact(out, "Notes", list + "</ul>");
  }
  out += "        </dl>\n";
  for (const Attachment& attachment : step.attachments) {
    const std::string path = esc(attachment.path);
    if (attachment.media_type.rfind("image/", 0) == 0) {
      out += "        <figure><a href=\"" + path + "\"><img src=\"" + path + "\" alt=\"" +
             esc("The page at line " + std::to_string(step.line)) + "\"></a><figcaption>" + picture_key(step) +
             "</figcaption></figure>\n";
    } else {
      out += "        <p><a href=\"" + path + "\">" + esc(attachment.kind) + "</a></p>\n";
    }
  }
  out += "      </li>\n";
  return out;
}

std::string script_group(const ScriptOutcome& script) {
  const Counts counts = script.counts();
  const bool failed = counts.passed != counts.steps;
  std::string out;
  out += std::string("    <details class=\"qf-script ") + (failed ? "qf-failed\" open>" : "qf-passed\">") + "\n";
  out += "      <summary><strong>" + esc(script.path) + "</strong> \u2014 " + counts_words(counts) + ", " +
         seconds_words(script.duration) + "</summary>\n";
  if (!script.notes.empty()) {
    out += "      <ul class=\"qf-list\">";
    for (const std::string& note : script.notes) out += "<li>" + esc(note) + "</li>";
    out += "</ul>\n";
  }
  out += "      <ol class=\"qf-steps\">\n";
  for (const StepOutcome& step : script.steps) out += step_item(step);
  out += "      </ol>\n";
  out += "    </details>\n";
  return out;
}

bool plain_word(std::string_view word) {
  if (word.empty()) return false;
  for (const char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("-_./:=,+@%").find(c) != std::string_view::npos;
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::string command_words(const std::vector<std::string>& command_line) {
  std::vector<std::string> words;
  for (const std::string& word : command_line) {
    words.push_back(plain_word(word) ? word : "'" + text::replace_all(word, "'", "'\\''") + "'");
  }
  return text::join(words, " ");
}

Reporter::PageAdditions report_additions(const RunOutcome& run) {
  Reporter::PageAdditions additions;
  additions.head = "  <meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n  <style>" +
                   std::string(STYLE) + "  </style>\n";

  std::string& out = additions.body;
  out += "  <section id=\"qf\">\n";
  out += "    <h2>Steps in detail</h2>\n";
  out += "    <dl class=\"qf-run\">\n";
  const auto run_fact = [&out](std::string_view label, const std::string& escaped_value) {
    out += "      <dt>" + esc(label) + "</dt><dd>" + escaped_value + "</dd>\n";
  };
  run_fact("Started", esc(run.started_local.empty() ? utc_text(run.started) : run.started_local));
  run_fact("Duration", seconds_words(run.duration));
  run_fact("Browser", esc(run.browser_version.empty() ? "none reached" : run.browser_version));
  run_fact("Command", "<code>" + esc(command_words(run.command_line)) + "</code>");
  run_fact("Steps", esc(counts_words(run.counts())));
  if (run.interrupted_by) run_fact("Stopped", esc("by signal " + std::to_string(*run.interrupted_by)));
  out += "    </dl>\n";
  out += "    <div class=\"qf-bar\"><label><input type=\"checkbox\" id=\"qf-failed-only\"> Failed only</label></div>\n";
  for (const ScriptOutcome& script : run.scripts) out += script_group(script);
  out += "  </section>\n";
  out += "  <script>" + std::string(SCRIPT) + "  </script>\n";
  return additions;
}

}  // namespace quillfen::runner
