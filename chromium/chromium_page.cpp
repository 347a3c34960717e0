#include "chromium/chromium_page.hpp"

#include "chromium/scripts.hpp"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <string_view>

namespace quillfen::chromium {

namespace {

// A JavaScript string literal: JSON text with every non-ASCII character escaped.
std::string js_string(const std::string& text) {
  return Json(text).dump(-1, ' ', true, Json::error_handler_t::replace);
}

// The message of a script that threw, as Runtime.evaluate and callFunctionOn report it.
std::string exception_message(const Json& details) {
  if (const auto exception = details.find("exception"); exception != details.end()) {
    if (const auto description = exception->find("description");
        description != exception->end() && description->is_string()) {
      const std::string text = description->get<std::string>();
      // The first line; the rest is a stack trace.
      return text.substr(0, text.find('\n'));
    }
  }
  return details.value("text", std::string("The page script threw."));
}

// The value of a Runtime.evaluate or callFunctionOn result; a script that threw raises.
Json value_of(const Json& result) {
  if (const auto details = result.find("exceptionDetails"); details != result.end()) {
    throw PageError(exception_message(*details));
  }
  const Json& remote = result.at("result");
  if (const auto value = remote.find("value"); value != remote.end()) {
    return *value;
  }
  return nullptr;
}

// A function text placed into a larger script; the line breaks keep a trailing line
// comment of the text from swallowing what follows.
std::string wrapped(std::string_view function) { return "(\n" + std::string(function) + "\n)"; }

struct Answer {
  bool ok = false;
  Json value;  // the answer, or the error message
};

Answer answer_from(const Json& pair) {
  if (!pair.is_array() || pair.size() != 2) {
    return {false, "The page gave an answer of an unexpected shape."};
  }
  return {pair[0] == 1, pair[1]};
}

Json unwrap(const Answer& answer) {
  if (!answer.ok) {
    throw PageError(answer.value.is_string() ? answer.value.get<std::string>() : answer.value.dump());
  }
  return answer.value;
}

// One question of an element: a function of the element and one argument.
struct Question {
  std::string key;
  std::string function;
  Json arg;
};

// The elements of one query and the answers given so far. The remote objects of the
// group live in their own object group, released with the group.
class Group {
 public:
  Group(std::shared_ptr<Session> session, AnswerMode mode, std::string object_group, std::string object_id,
        bool single, std::vector<std::string> element_ids)
      : session_(std::move(session)),
        mode_(mode),
        object_group_(std::move(object_group)),
        object_id_(std::move(object_id)),
        single_(single),
        element_ids_(std::move(element_ids)) {}
  Group(const Group&) = delete;
  Group& operator=(const Group&) = delete;

  ~Group() {
    try {
      session_->post("Runtime.releaseObjectGroup", {{"objectGroup", object_group_}});
    } catch (const std::exception&) {
      // The page or browser is gone, and its objects with it.
    }
  }

  Json ask(std::size_t index, const Question& question) {
    if (mode_ == AnswerMode::per_question) {
      const std::string& target = single_ ? object_id_ : element_ids_.at(index);
      return unwrap(call(target, "[this]", question).at(0));
    }
    auto cached = answers_.find(question.key);
    if (cached == answers_.end()) {
      cached = answers_.emplace(question.key, answer_all(question)).first;
    }
    return unwrap(cached->second.at(index));
  }

  std::size_t size() const { return single_ ? 1 : size_; }
  void set_size(std::size_t size) { size_ = size; }

 private:
  std::vector<Answer> call(const std::string& object_id, std::string_view elements, const Question& question) {
    const std::string function = "function(arg) { return " + wrapped(scripts::ANSWER) + "(" +
                                 std::string(elements) + ", " + wrapped(question.function) + ", arg); }";
    const Json list = value_of(session_->send("Runtime.callFunctionOn", {{"functionDeclaration", function},
                                                                          {"objectId", object_id},
                                                                          {"arguments", {{{"value", question.arg}}}},
                                                                          {"returnByValue", true},
                                                                          {"silent", true}}));
    if (!list.is_array()) {
      throw PageError("The page gave an answer of an unexpected shape.");
    }
    std::vector<Answer> answers;
    answers.reserve(list.size());
    for (const Json& pair : list) {
      answers.push_back(answer_from(pair));
    }
    return answers;
  }

  // Every member's answer; when the call itself fails, that failure is every member's.
  std::vector<Answer> answer_all(const Question& question) {
    try {
      auto answers = call(object_id_, single_ ? "[this]" : "this", question);
      if (answers.size() == size()) {
        return answers;
      }
      return std::vector<Answer>(size(), Answer{false, "The page's elements changed under the query."});
    } catch (const PageError& error) {
      return std::vector<Answer>(size(), Answer{false, error.what()});
    }
  }

  std::shared_ptr<Session> session_;
  AnswerMode mode_;
  std::string object_group_;
  std::string object_id_;  // the array of the elements, or the element itself when single
  bool single_;
  std::vector<std::string> element_ids_;  // per element, in the per-question mode
  std::size_t size_ = 0;
  std::map<std::string, std::vector<Answer>> answers_;
};

class ChromiumElement : public ElementHandle {
 public:
  ChromiumElement(std::shared_ptr<Group> group, std::size_t index) : group_(std::move(group)), index_(index) {}

  bool is_visible() override { return as_bool(ask({"is_visible", std::string(scripts::IS_VISIBLE), nullptr})); }
  bool is_enabled() override { return as_bool(ask({"is_enabled", std::string(scripts::IS_ENABLED), nullptr})); }

  Json evaluate(const std::string& script) override { return ask({"evaluate:" + script, script, nullptr}); }

  std::string inner_text() override {
    const Json text = ask({"inner_text", std::string(scripts::INNER_TEXT), nullptr});
    return text.is_string() ? text.get<std::string>() : std::string();
  }

  std::optional<std::string> get_attribute(const std::string& name) override {
    const Json value = ask({"get_attribute:" + name, "(element, name) => element.getAttribute(name)", name});
    if (!value.is_string()) {
      return std::nullopt;
    }
    return value.get<std::string>();
  }

  std::optional<BoundingBox> bounding_box() override {
    const Json box = ask({"bounding_box", std::string(scripts::BOUNDING_BOX), nullptr});
    if (!box.is_object()) {
      return std::nullopt;
    }
    return BoundingBox{box.value("x", 0.0), box.value("y", 0.0), box.value("width", 0.0), box.value("height", 0.0)};
  }

 private:
  Json ask(const Question& question) { return group_->ask(index_, question); }

  static bool as_bool(const Json& value) { return value.is_boolean() && value.get<bool>(); }

  std::shared_ptr<Group> group_;
  std::size_t index_;
};

// "Array(12)" → 12: how the protocol describes an array object.
std::optional<std::size_t> array_length(const Json& remote) {
  const std::string description = remote.value("description", std::string());
  constexpr std::string_view prefix = "Array(";
  if (description.rfind(prefix, 0) != 0 || description.back() != ')') {
    return std::nullopt;
  }
  std::size_t length = 0;
  const char* first = description.data() + prefix.size();
  const char* last = description.data() + description.size() - 1;
  const auto [end, error] = std::from_chars(first, last, length);
  if (error != std::errc() || end != last) {
    return std::nullopt;
  }
  return length;
}

bool has_scheme(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return false;
  }
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string to_url(const std::string& url_or_path) {
  if (has_scheme(url_or_path)) {
    return url_or_path;
  }
  const std::string path = std::filesystem::absolute(url_or_path).lexically_normal().string();
  std::string url = "file://";
  constexpr char hex[] = "0123456789ABCDEF";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || std::string_view("/-._~!$&'()*+,;=:@").find(c) != std::string_view::npos) {
      url.push_back(c);
    } else {
      url += {'%', hex[byte >> 4], hex[byte & 15]};
    }
  }
  return url;
}

ChromiumPage::ChromiumPage(std::shared_ptr<Connection> connection, std::string target_id, std::string session_id,
                           std::chrono::milliseconds command_timeout)
    : session_(std::make_shared<Session>(std::move(connection), std::move(session_id), command_timeout)),
      target_id_(std::move(target_id)) {
  session_->send("Page.enable");
  session_->send("Runtime.enable");
}

ChromiumPage::~ChromiumPage() {
  try {
    session_->connection().post("", "Target.closeTarget", {{"targetId", target_id_}});
  } catch (const std::exception&) {
    // The browser is gone, and the tab with it.
  }
}

std::vector<ElementHandlePtr> ChromiumPage::query(const std::string& selector, bool first_only) {
  const std::string object_group = "quillfen-" + std::to_string(next_group_++);
  const std::string expression = first_only ? "document.querySelector(" + js_string(selector) + ")"
                                            : "Array.from(document.querySelectorAll(" + js_string(selector) + "))";
  const Json result = session_->send("Runtime.evaluate", {{"expression", expression},
                                                          {"objectGroup", object_group},
                                                          {"returnByValue", false},
                                                          {"silent", true}});
  if (const auto details = result.find("exceptionDetails"); details != result.end()) {
    session_->post("Runtime.releaseObjectGroup", {{"objectGroup", object_group}});
    throw PageError(exception_message(*details));
  }
  const Json& remote = result.at("result");
  if (first_only && remote.value("subtype", std::string()) == "null") {
    return {};
  }
  const std::string object_id = remote.at("objectId").get<std::string>();
  std::vector<std::string> element_ids;
  std::size_t size = 1;
  if (!first_only) {
    if (mode_ == AnswerMode::per_question) {
      // Each element gets its own remote object, as in automation layers that ask one
      // element at a time.
      const Json properties =
          session_->send("Runtime.getProperties", {{"objectId", object_id}, {"ownProperties", true}});
      std::map<std::size_t, std::string> by_index;
      for (const Json& property : properties.at("result")) {
        const std::string name = property.value("name", std::string());
        std::size_t index = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
        if (error == std::errc() && end == name.data() + name.size() && property.contains("value") &&
            property["value"].contains("objectId")) {
          by_index[index] = property["value"]["objectId"].get<std::string>();
        }
      }
      for (auto& [index, id] : by_index) {
        element_ids.push_back(std::move(id));
      }
      size = element_ids.size();
    } else if (const auto length = array_length(remote)) {
      size = *length;
    } else {
      size = value_of(session_->send("Runtime.callFunctionOn", {{"functionDeclaration", "function() { return this.length; }"},
                                                                {"objectId", object_id},
                                                                {"returnByValue", true}}))
                 .get<std::size_t>();
    }
  }
  auto group = std::make_shared<Group>(session_, mode_, object_group, object_id, first_only, std::move(element_ids));
  group->set_size(size);
  std::vector<ElementHandlePtr> handles;
  handles.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    handles.push_back(std::make_unique<ChromiumElement>(group, i));
  }
  return handles;
}

std::vector<ElementHandlePtr> ChromiumPage::query_selector_all(const std::string& selector) {
  return query(selector, false);
}

ElementHandlePtr ChromiumPage::query_selector(const std::string& selector) {
  auto found = query(selector, true);
  return found.empty() ? nullptr : std::move(found.front());
}

Json ChromiumPage::evaluate(const std::string& script) {
  const std::string expression =
      wrapped(scripts::ANSWER) + "([document], () => " + wrapped(script) + "(), null)[0]";
  const Json pair = value_of(session_->send(
      "Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}, {"silent", true}}));
  return unwrap(answer_from(pair));
}

std::string ChromiumPage::url() {
  const Json href = value_of(session_->send("Runtime.evaluate", {{"expression", "location.href"}, {"returnByValue", true}}));
  return href.is_string() ? href.get<std::string>() : std::string();
}

void ChromiumPage::navigate(const std::string& url_or_path, std::chrono::milliseconds timeout) {
  const std::string url = to_url(url_or_path);
  session_->drop_events("Page.loadEventFired");
  const Json result = session_->send("Page.navigate", {{"url", url}}, timeout);
  if (const std::string error = result.value("errorText", std::string()); !error.empty()) {
    throw PageError("Could not open " + url + ": " + error + ".");
  }
  // A navigation within the same document has no loader and fires no load event.
  if (!result.contains("loaderId")) {
    return;
  }
  if (!session_->wait_for_event("Page.loadEventFired", timeout)) {
    throw PageError(url + " did not finish loading within " + std::to_string(timeout.count()) + " ms.");
  }
}

}  // namespace quillfen::chromium
