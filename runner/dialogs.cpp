#include "runner/dialogs.hpp"

#include <algorithm>

namespace quillfen::runner {

namespace {
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds left_until(Clock::time_point deadline) {
  return std::max(std::chrono::milliseconds{0},
                  std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}
}  // namespace

DialogWatcher::DialogWatcher(chromium::Session& session) : session_(session) {
  session_.set_event_handler([this](const chromium::Event& event) {
    if (event.method == "Page.javascriptDialogOpening") {
      open_ = Dialog{event.params.value("type", std::string("alert")),
                     event.params.value("message", std::string()),
                     event.params.value("defaultPrompt", std::string())};
      throw DialogOpened();
    }
    if (event.method == "Page.javascriptDialogClosed") {
      open_.reset();
    } else if (event.method == "Inspector.targetCrashed") {
      crashed_ = true;
    }
  });
}

DialogWatcher::~DialogWatcher() { session_.set_event_handler({}); }

bool DialogWatcher::wait_for_dialog(std::chrono::milliseconds timeout) {
  if (open_) return true;
  try {
    // The handler throws as the dialog opens, so the event itself is never returned.
    session_.wait_for_event("Page.javascriptDialogOpening", timeout);
  } catch (const DialogOpened&) {
  }
  return open_.has_value();
}

void DialogWatcher::answer(bool accept) {
  if (!open_) return;
  Json params{{"accept", accept}};
  if (accept && open_->type == "prompt") params["promptText"] = open_->default_prompt;
  open_.reset();
  try {
    session_.send("Page.handleJavaScriptDialog", params);
  } catch (const DialogOpened&) {
    // The answer let the page go on, and it opened the next dialog at once.
  }
}

void DialogWatcher::idle(std::chrono::milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  while (true) {
    try {
      // No event has this name: the call only lets events arrive until the deadline.
      session_.wait_for_event("Quillfen.idle", left_until(deadline));
      return;
    } catch (const DialogOpened&) {
      if (Clock::now() >= deadline) return;
    }
  }
}

}  // namespace quillfen::runner
