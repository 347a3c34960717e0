// What a Chromium tab does beyond single acts: navigations, the loads acts start,
// JavaScript dialogs, idling, and what the tab shows.
#include "chromium/chromium_page.hpp"

#include "engine/core/text.hpp"

namespace quillfen::chromium {

namespace {

// A load that the page asked for shows as started (or as a move within the document)
// within this time, or it was dropped.
constexpr std::chrono::milliseconds LOAD_START_WAIT{1000};
// Lets the tasks that the page queued before it run: a timer set in a timer's callback
// runs after every task queued before the first one was.
constexpr std::string_view AFTER_QUEUED_TASKS =
    "() => new Promise((done) => setTimeout(() => setTimeout(done, 0), 0))";
// The browser closes a dialog it was told to answer within this time.
constexpr std::chrono::milliseconds DIALOG_CLOSE_WAIT{2000};

std::string millis(std::chrono::milliseconds duration) { return std::to_string(duration.count()) + " ms"; }

// The bytes of standard base64 text (the protocol's binary data).
std::string from_base64(const std::string& text) {
  const auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const int v = value(c);
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

}  // namespace

void ChromiumPage::forget_loads() { session_->take_events(); }

void ChromiumPage::settle() {
  if (session_->open_dialog()) return;
  // A load that an act starts is asked for while the page handles the act's input, or
  // in a task that handling queued (a form's submission). The page's events come in
  // order with its replies, so once a call that waits for the queued tasks has come back,
  // the request of any such load is here. A load asked for into a new tab or as a
  // download leaves this one as it is.
  const auto requested = [](const Event& e) {
    return e.method == "Page.frameStartedLoading" ||
           (e.method == "Page.frameRequestedNavigation" &&
            e.params.value("disposition", std::string("currentTab")) == "currentTab");
  };
  try {
    call_in_world(AFTER_QUEUED_TASKS, Json::array());
  } catch (const PageError&) {
    // The document went away (a load began), or a dialog opened: the events say which.
  }
  const auto request = session_->wait_for(requested, Clock::now());
  if (!request) return;
  // A navigation within the document (a fragment, history.pushState) only says so and
  // stops loading; a new document fires a load event.
  const auto stayed_in = [](const Event& e, const std::string& frame) {
    return (e.method == "Page.navigatedWithinDocument" || e.method == "Page.frameStoppedLoading") &&
           e.params.value("frameId", std::string()) == frame;
  };
  std::optional<Event> started = request;
  if (request->method != "Page.frameStartedLoading") {
    const std::string asked_of = request->params.value("frameId", std::string());
    started = session_->wait_for(
        [&](const Event& e) { return e.method == "Page.frameStartedLoading" || stayed_in(e, asked_of); },
        deadline_after(LOAD_START_WAIT));
    if (!started || started->method != "Page.frameStartedLoading") return;
  }
  const std::string frame = started->params.value("frameId", std::string());
  const auto deadline = deadline_after(load_timeout_);
  const auto arrived =
      session_->wait_for([&](const Event& e) { return e.method == "Page.loadEventFired" || stayed_in(e, frame); },
                         deadline);
  if (arrived && arrived->method == "Page.loadEventFired") await_layout(deadline);
}

void ChromiumPage::await_layout(Clock::time_point deadline) {
  // A large document is still being styled and laid out for a while after its load
  // event (about a second at 130,000 elements), and the page answers nothing until then.
  // That time belongs to the load, not to the step after it: one call that lays the
  // page out, within the load's own time, leaves it ready to be read. A page still busy
  // when that time is up has loaded all the same; the next step waits for it in its turn.
  try {
    session_->send("Runtime.evaluate",
                   {{"expression", "void (document.documentElement && document.documentElement.offsetWidth)"},
                    {"silent", true}},
                   time_left(deadline));
  } catch (const ProtocolError&) {
    // The document was replaced meanwhile (a script moved on at once): the next load or
    // step is what waits then.
  } catch (const PageError& error) {
    if (error.kind() != PageError::Kind::timeout && error.kind() != PageError::Kind::dialog) throw;
  }
}

ActOutcome ChromiumPage::navigate(const std::string& url_or_path, std::chrono::milliseconds timeout) {
  const std::string url = to_url(url_or_path);
  const auto deadline = deadline_after(timeout);
  forget_world();
  forget_loads();
  // The page being left may ask whether to leave: the answer is yes, and the tab must
  // then really arrive.
  std::optional<Dialog> prompt;
  std::string left_from;
  Json result;
  try {
    result = session_->send("Page.navigate", {{"url", url}}, time_left(deadline));
  } catch (const PageError& error) {
    if (error.kind() == PageError::Kind::timeout) {
      session_->send("Page.stopLoading");
      return ActOutcome::unsuitable("no answer within " + millis(timeout));
    }
    if (error.kind() != PageError::Kind::dialog) throw;
    prompt = open_dialog();
    // Any other dialog greets the new page: it arrived, and the dialog is held.
    if (!prompt || prompt->type != "beforeunload") return {};
    left_from = session_->open_dialog()->value("url", std::string());
    reply_to_dialog(true, std::nullopt);
  }
  if (!prompt) {
    if (const std::string error = result.value("errorText", std::string()); !error.empty()) {
      return ActOutcome::unsuitable("Could not open " + url + ": " + error + ".");
    }
    // A navigation within the same document has no loader and fires no load event.
    if (!result.contains("loaderId")) return {};
  }
  if (session_->wait_for([](const Event& e) { return e.method == "Page.loadEventFired"; }, deadline)) {
    await_layout(deadline);
    return {};
  }
  if (session_->open_dialog()) {
    return {};
  }
  session_->send("Page.stopLoading");
  if (prompt) {
    return ActOutcome::unsuitable("the page stayed at " + left_from + ": its beforeunload prompt was accepted, but " +
                                  url + " did not load within " + millis(timeout));
  }
  return ActOutcome::unsuitable(url + " did not finish loading within " + millis(timeout) + ".");
}

std::optional<Dialog> ChromiumPage::open_dialog() {
  const auto& opening = session_->open_dialog();
  if (!opening) return std::nullopt;
  return Dialog{opening->value("type", std::string("alert")), opening->value("message", std::string()),
                opening->value("defaultPrompt", std::string())};
}

bool ChromiumPage::wait_for_dialog(std::chrono::milliseconds timeout) {
  session_->wait_until([this] { return session_->open_dialog().has_value(); }, deadline_after(timeout));
  return session_->open_dialog().has_value();
}

void ChromiumPage::reply_to_dialog(bool accept, const std::optional<std::string>& prompt_text) {
  const auto dialog = open_dialog();
  if (!dialog) return;
  const std::uint64_t opened = session_->dialogs_opened();
  Json params{{"accept", accept}};
  if (accept && dialog->type == "prompt") params["promptText"] = prompt_text.value_or(dialog->default_prompt);
  try {
    session_->send("Page.handleJavaScriptDialog", params);
  } catch (const ProtocolError&) {
    // The browser shows no dialog (it closed with its page).
    session_->forget_dialog();
    return;
  } catch (const PageError& error) {
    // The answer let the page go on, and it opened the next dialog at once.
    if (error.kind() != PageError::Kind::dialog) throw;
  }
  session_->wait_until([&] { return !session_->open_dialog() || session_->dialogs_opened() != opened; },
                       deadline_after(DIALOG_CLOSE_WAIT));
}

void ChromiumPage::answer_dialog(bool accept, const std::optional<std::string>& prompt_text) {
  if (!session_->open_dialog()) return;
  forget_loads();
  reply_to_dialog(accept, prompt_text);
  settle();
}

void ChromiumPage::idle(std::chrono::milliseconds duration) {
  session_->wait_until([] { return false; }, deadline_after(duration));
}

std::string ChromiumPage::title() {
  const Json title = call_in_world("() => document.title", Json::array());
  return title.is_string() ? title.get<std::string>() : std::string();
}

std::string ChromiumPage::screenshot(const std::optional<BoundingBox>& clip) {
  Json params{{"format", "png"}};
  if (clip) {
    // The protocol's clip is in the document's coordinates.
    const Json scrolled = call_in_world("() => [visualViewport.pageLeft, visualViewport.pageTop]", Json::array());
    const bool known = scrolled.is_array() && scrolled.size() == 2 && scrolled[0].is_number() && scrolled[1].is_number();
    const double left = known ? scrolled[0].get<double>() : 0;
    const double top = known ? scrolled[1].get<double>() : 0;
    params["clip"] = {{"x", clip->x + left}, {"y", clip->y + top}, {"width", clip->width},
                      {"height", clip->height}, {"scale", 1}};
  }
  const Json shot = session_->send("Page.captureScreenshot", params);
  return from_base64(shot.value("data", std::string()));
}

bool ChromiumPage::crashed() { return session_->crashed(); }

}  // namespace quillfen::chromium
