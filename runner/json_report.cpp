#include "runner/json_report.hpp"

#include "engine/core/file_writer.hpp"
#include "runner/interruption.hpp"

#include <cmath>
#include <stdexcept>

namespace quillfen::runner {
namespace {

// Milliseconds are as fine as any reader needs, and keep the figures short.
double rounded(Seconds duration) { return std::round(duration.count() * 1000.0) / 1000.0; }

template <typename T, typename F>
Json optional_json(const std::optional<T>& value, F&& convert) {
  return value ? convert(*value) : Json(nullptr);
}

Json to_json(const ElementInfo& element) {
  return Json{{"tag", element.tag},
              {"id", element.id},
              {"text", element.text},
              {"text_cut", element.text_cut},
              {"label", element.label},
              {"xpath", element.xpath},
              {"box", optional_json(element.box, [](const BoundingBox& box) { return quillfen::to_json(box); })},
              {"visible", element.visible},
              {"enabled", element.enabled}};
}

Json to_json(const Counts& counts) {
  return Json{{"steps", counts.steps}, {"passed", counts.passed}, {"failed", counts.failed}, {"not_run", counts.not_run}};
}

std::string status_key(StepStatus status) {
  return status == StepStatus::not_run ? "not_run" : std::string(status_words(status));
}

Json to_json(const StepOutcome& step) {
  Json candidates = Json::array();
  for (const ElementInfo& candidate : step.candidates) candidates.push_back(to_json(candidate));
  Json attachments = Json::array();
  for (const Attachment& a : step.attachments) {
    attachments.push_back(Json{{"kind", a.kind}, {"path", a.path}, {"media_type", a.media_type}});
  }
  const auto text = [](const std::string& s) { return Json(s); };
  return Json{{"line", step.line},
              {"instruction", step.instruction},
              {"action", step.action.empty() ? Json(nullptr) : Json(step.action)},
              {"status", status_key(step.status)},
              {"strategy", optional_json(step.strategy, text)},
              {"level", optional_json(step.level, [](int level) { return Json(level); })},
              {"element", optional_json(step.element, [](const ElementInfo& e) { return to_json(e); })},
              {"anchor", optional_json(step.anchor, text)},
              {"candidates", std::move(candidates)},
              {"started", utc_text(step.started)},
              {"duration_seconds", rounded(step.duration)},
              {"reason", optional_json(step.reason, text)},
              {"state", step.state.value_or(Json(nullptr))},
              {"extracted", optional_json(step.extracted, text)},
              {"notes", step.notes},
              {"attachments", std::move(attachments)}};
}

std::string script_status(const Counts& counts) {
  if (counts.failed > 0) return "failed";
  if (counts.not_run > 0) return "not_run";
  return "passed";
}

}  // namespace

Json to_json(const RunOutcome& run) {
  Json scripts = Json::array();
  for (const ScriptOutcome& script : run.scripts) {
    Json steps = Json::array();
    for (const StepOutcome& step : script.steps) steps.push_back(to_json(step));
    const Counts counts = script.counts();
    scripts.push_back(Json{{"path", script.path},
                           {"status", script_status(counts)},
                           {"counts", to_json(counts)},
                           {"started", utc_text(script.started)},
                           {"duration_seconds", rounded(script.duration)},
                           {"notes", script.notes},
                           {"steps", std::move(steps)}});
  }
  const Counts counts = run.counts();
  return Json{{"tool", "quillfen"},
              {"started", utc_text(run.started)},
              {"started_local", run.started_local},
              {"duration_seconds", rounded(run.duration)},
              {"browser", run.browser_version},
              {"command_line", run.command_line},
              {"interrupted", optional_json(run.interrupted_by, [](int signal) { return Json(signal_name(signal)); })},
              {"status", run.interrupted_by ? std::string("interrupted") : script_status(counts)},
              {"counts", to_json(counts)},
              {"scripts", std::move(scripts)}};
}

void write_json(const std::filesystem::path& file, const RunOutcome& run) {
  try {
    files::write_file(file, dump_document(to_json(run)) + "\n");
  } catch (const files::WriteError& e) {
    throw std::runtime_error("cannot write the JSON file " + file.string() + ": " + e.reason() + ".");
  }
}

}  // namespace quillfen::runner
