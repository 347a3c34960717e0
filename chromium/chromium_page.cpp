#include "chromium/chromium_page.hpp"

#include "chromium/scripts.hpp"

#include <algorithm>
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

// The answers of every member of a group to one question: its value, or the message
// of the error it raised.
struct Answers {
  std::vector<Json> values;
  std::map<std::size_t, std::string> errors;

  Json at(std::size_t index) const {
    if (const auto error = errors.find(index); error != errors.end()) {
      throw PageError(error->second);
    }
    if (index >= values.size()) {
      throw PageError("The element is no longer part of its query's answer.");
    }
    return values[index];
  }

  static Answers failed(std::size_t size, const std::string& message) {
    Answers answers;
    for (std::size_t i = 0; i < size; ++i) {
      answers.errors.emplace(i, message);
    }
    return answers;
  }
};

// Reads the [answers, errors] pair that answer.js makes; `expected` is the group's size.
Answers answers_from(const Json& pair, std::size_t expected) {
  if (!pair.is_array() || pair.size() != 2 || !pair[0].is_array() || !pair[1].is_object() ||
      pair[0].size() != expected) {
    return Answers::failed(expected, "The page's answer does not fit the query's elements.");
  }
  Answers answers;
  answers.values = pair[0].get<std::vector<Json>>();
  for (const auto& [index, message] : pair[1].items()) {
    std::size_t at = 0;
    const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), at);
    if (error == std::errc() && end == index.data() + index.size()) {
      answers.errors.emplace(at, message.is_string() ? message.get<std::string>() : message.dump());
    }
  }
  return answers;
}

// JSON text that a page script returned as a string, parsed.
Json parse_text(const Json& text) {
  if (!text.is_string()) {
    throw PageError("The page gave an answer of an unexpected shape.");
  }
  Json parsed = Json::parse(text.get<std::string>(), nullptr, false);
  if (parsed.is_discarded()) {
    throw PageError("The page's answer is not valid JSON.");
  }
  return parsed;
}

// One question of an element: a function of the element and one argument.
struct Question {
  std::string key;
  std::string function;
  Json arg;
};

// A function declaration for Runtime.callFunctionOn that asks `question` of the
// elements that `elements` names (an expression of `this`) and returns the answers as
// JSON text, which the protocol carries faster than a structured value.
std::string answer_function(std::string_view elements, const std::string& question) {
  return "function(arg) { return JSON.stringify(" + wrapped(scripts::ANSWER) + "(" + std::string(elements) + ", " +
         wrapped(question) + ", arg)); }";
}

}  // namespace

// A protocol object group: the remote objects of one query, or of a batch of
// single-element look-ups, released together when the last group using it is gone.
class RemoteObjects {
 public:
  RemoteObjects(std::shared_ptr<Session> session, std::string name)
      : session_(std::move(session)), name_(std::move(name)) {}
  RemoteObjects(const RemoteObjects&) = delete;
  RemoteObjects& operator=(const RemoteObjects&) = delete;
  ~RemoteObjects() {
    try {
      session_->post("Runtime.releaseObjectGroup", {{"objectGroup", name_}});
    } catch (const std::exception&) {
      // The page or browser is gone, and its objects with it.
    }
  }

  const std::string& name() const { return name_; }

 private:
  std::shared_ptr<Session> session_;
  std::string name_;
};

namespace {

// The elements of one query and the answers given so far; its remote objects are
// released when the last group sharing them is gone.
class Group {
 public:
  // Grouped answers: `object_id` is the query's [summary, elements] pair.
  Group(std::shared_ptr<Session> session, std::shared_ptr<RemoteObjects> objects, std::string object_id,
        std::size_t size)
      : session_(std::move(session)), objects_(std::move(objects)), object_id_(std::move(object_id)), size_(size) {}
  // One call per question: each element has its own remote object.
  Group(std::shared_ptr<Session> session, std::shared_ptr<RemoteObjects> objects,
        std::vector<std::string> element_ids)
      : session_(std::move(session)),
        objects_(std::move(objects)),
        element_ids_(std::move(element_ids)),
        size_(element_ids_.size()) {}

  std::size_t size() const { return size_; }

  // Keeps answers that came with the query.
  void remember(const std::string& key, Answers answers) { answers_.insert_or_assign(key, std::move(answers)); }

  Json ask(std::size_t index, const Question& question) {
    if (!element_ids_.empty()) {
      return call(element_ids_.at(index), "[this]", question, 1).at(0);
    }
    auto cached = answers_.find(question.key);
    if (cached == answers_.end()) {
      Answers answers;
      try {
        answers = call(object_id_, "this[1]", question, size_);
      } catch (const PageError& error) {
        // The call itself failed (the page navigated away, a script syntax error):
        // every member shares that failure.
        answers = Answers::failed(size_, error.what());
      }
      cached = answers_.emplace(question.key, std::move(answers)).first;
    }
    return cached->second.at(index);
  }

 private:
  Answers call(const std::string& object_id, std::string_view elements, const Question& question,
               std::size_t expected) {
    const Json text = value_of(session_->send("Runtime.callFunctionOn",
                                              {{"functionDeclaration", answer_function(elements, question.function)},
                                               {"objectId", object_id},
                                               {"arguments", {{{"value", question.arg}}}},
                                               {"returnByValue", true},
                                               {"silent", true}}));
    return answers_from(parse_text(text), expected);
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<RemoteObjects> objects_;
  std::string object_id_;
  std::vector<std::string> element_ids_;
  std::size_t size_ = 0;
  std::map<std::string, Answers> answers_;
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
    if (!box.is_array() || box.size() != 4) {
      return std::nullopt;
    }
    return BoundingBox{box[0].get<double>(), box[1].get<double>(), box[2].get<double>(), box[3].get<double>()};
  }

 private:
  Json ask(const Question& question) { return group_->ask(index_, question); }

  static bool as_bool(const Json& value) { return value.is_boolean() && value.get<bool>(); }

  std::shared_ptr<Group> group_;
  std::size_t index_;
};

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
  std::shared_ptr<RemoteObjects> objects;
  if (first_only) {
    // Look-ups come by the hundred in a scan and live briefly: they share an object
    // group per batch, to save a release per look-up.
    if (!lookups_ || lookups_in_batch_ >= LOOKUPS_PER_OBJECT_GROUP) {
      lookups_ = std::make_shared<RemoteObjects>(session_, "quillfen-" + std::to_string(next_group_++));
      lookups_in_batch_ = 0;
    }
    ++lookups_in_batch_;
    objects = lookups_;
  } else {
    objects = std::make_shared<RemoteObjects>(session_, "quillfen-" + std::to_string(next_group_++));
  }
  const std::string& object_group = objects->name();
  std::shared_ptr<Group> group;
  if (mode_ == AnswerMode::grouped) {
    const std::string expression = wrapped(scripts::QUERY) + "(" + js_string(selector) + ", " +
                                   (first_only ? "true" : "false") + ", " + wrapped(scripts::INNER_TEXT) + ", " +
                                   wrapped(scripts::ANSWER) + ")";
    // Deep serialization with depth 1 brings the summary's text by value and leaves the
    // elements as a remote object: one round trip for both.
    const Json result = session_->send("Runtime.evaluate",
                                       {{"expression", expression},
                                        {"objectGroup", object_group},
                                        {"silent", true},
                                        {"serializationOptions", {{"serialization", "deep"}, {"maxDepth", 1}}}});
    if (const auto details = result.find("exceptionDetails"); details != result.end()) {
      throw PageError(exception_message(*details));
    }
    const Json& remote = result.at("result");
    const Json summary = parse_text(remote.at("deepSerializedValue").at("value").at(0).at("value"));
    const std::size_t count = summary.at("count").get<std::size_t>();
    group = std::make_shared<Group>(session_, objects, remote.at("objectId").get<std::string>(), count);
    if (const auto first = summary.find("first"); first != summary.end()) {
      group->remember("inner_text", answers_from(*first, count));
    }
  } else {
    // Each element gets its own remote object, as in automation layers that ask one
    // element at a time.
    const std::string expression = first_only ? "[document.querySelector(" + js_string(selector) + ")].filter(e => e)"
                                              : "Array.from(document.querySelectorAll(" + js_string(selector) + "))";
    const Json result = session_->send("Runtime.evaluate",
                                       {{"expression", expression}, {"objectGroup", object_group}, {"silent", true}});
    if (const auto details = result.find("exceptionDetails"); details != result.end()) {
      throw PageError(exception_message(*details));
    }
    const Json properties = session_->send(
        "Runtime.getProperties", {{"objectId", result.at("result").at("objectId")}, {"ownProperties", true}});
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
    std::vector<std::string> element_ids;
    for (auto& [index, id] : by_index) {
      element_ids.push_back(std::move(id));
    }
    group = std::make_shared<Group>(session_, objects, std::move(element_ids));
  }
  std::vector<ElementHandlePtr> handles;
  handles.reserve(group->size());
  for (std::size_t i = 0; i < group->size(); ++i) {
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
  // A script may return a promise: its settled value is the answer.
  const std::string answer = wrapped(scripts::ANSWER);
  const std::string expression = "(async () => " + wrapped(script) + "())().then(value => JSON.stringify(" + answer +
                                 "([document], () => value, null)), error => JSON.stringify(" + answer +
                                 "([document], () => { throw error; }, null)))";
  const Json text = value_of(session_->send("Runtime.evaluate", {{"expression", expression},
                                                                 {"returnByValue", true},
                                                                 {"awaitPromise", true},
                                                                 {"silent", true}}));
  return answers_from(parse_text(text), 1).at(0);
}

std::string ChromiumPage::url() {
  const Json href = value_of(session_->send("Runtime.evaluate", {{"expression", "location.href"}, {"returnByValue", true}}));
  return href.is_string() ? href.get<std::string>() : std::string();
}

void ChromiumPage::navigate(const std::string& url_or_path, std::chrono::milliseconds timeout) {
  const std::string url = to_url(url_or_path);
  const auto deadline = Clock::now() + timeout;
  session_->drop_events("Page.loadEventFired");
  const Json result = session_->send("Page.navigate", {{"url", url}}, timeout);
  if (const std::string error = result.value("errorText", std::string()); !error.empty()) {
    throw PageError("Could not open " + url + ": " + error + ".");
  }
  // A navigation within the same document has no loader and fires no load event.
  if (!result.contains("loaderId")) {
    return;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (!session_->wait_for_event("Page.loadEventFired", std::max(left, std::chrono::milliseconds(0)))) {
    throw PageError(url + " did not finish loading within " + std::to_string(timeout.count()) + " ms.");
  }
}

}  // namespace quillfen::chromium
