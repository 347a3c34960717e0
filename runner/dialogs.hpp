// JavaScript dialogs (alert, confirm, prompt) of one tab.
//
// While a dialog is open the page runs no script and answers no command, and the input
// event that opened it gets no reply until it is closed. So the watcher records a dialog
// the moment it opens and throws DialogOpened out of whatever protocol call was waiting;
// the caller treats the action as done and the dialog stays open (held) until a step
// answers it.
#pragma once

#include "chromium/session.hpp"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

namespace quillfen::runner {

struct Dialog {
  std::string type;  // "alert", "confirm", "prompt" or "beforeunload"
  std::string message;
  std::string default_prompt;
};

class DialogOpened : public std::runtime_error {
 public:
  DialogOpened() : std::runtime_error("the page opened a dialog") {}
};

class DialogWatcher {
 public:
  // Watches the session's events until destroyed. Also notes a crash of the tab.
  explicit DialogWatcher(chromium::Session& session);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  const std::optional<Dialog>& open_dialog() const { return open_; }
  bool crashed() const { return crashed_; }

  // Waits until a dialog is open or the time is up; true when one is open.
  bool wait_for_dialog(std::chrono::milliseconds timeout);
  // Answers the open dialog (a prompt is accepted with its default text). Does nothing
  // when none is open. Another dialog opened by the answer is recorded in turn.
  void answer(bool accept);
  // Lets the tab run for a while, recording any dialog that opens meanwhile.
  void idle(std::chrono::milliseconds duration);

 private:
  chromium::Session& session_;
  std::optional<Dialog> open_;
  bool crashed_ = false;
};

}  // namespace quillfen::runner
