#include "chromium/chromium_page.hpp"

#include "chromium/scripts.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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
// Answers can be hundreds of kilobytes: they are moved, not copied.
Json value_of(Json result) {
  if (const auto details = result.find("exceptionDetails"); details != result.end()) {
    throw PageError(exception_message(*details));
  }
  Json& remote = result.at("result");
  if (const auto value = remote.find("value"); value != remote.end()) {
    return std::move(*value);
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

  const Json& at(std::size_t index) const {
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
Answers answers_from(Json pair, std::size_t expected) {
  if (!pair.is_array() || pair.size() != 2 || !pair[0].is_array() || !pair[1].is_object() ||
      pair[0].size() != expected) {
    return Answers::failed(expected, "The page's answer does not fit the query's elements.");
  }
  Answers answers;
  answers.values = std::move(pair[0].get_ref<Json::array_t&>());
  for (const auto& [index, message] : pair[1].items()) {
    std::size_t at = 0;
    const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), at);
    if (error == std::errc() && end == index.data() + index.size()) {
      answers.errors.emplace(at, message.is_string() ? message.get<std::string>() : message.dump());
    }
  }
  return answers;
}

// The answers to `questions` questions, one [answers, errors] pair each.
std::vector<Answers> answers_list(Json pairs, std::size_t questions, std::size_t expected) {
  if (!pairs.is_array() || pairs.size() != questions) {
    return std::vector<Answers>(questions,
                                Answers::failed(expected, "The page's answer does not fit the questions asked."));
  }
  std::vector<Answers> answers;
  for (Json& pair : pairs) answers.push_back(answers_from(std::move(pair), expected));
  return answers;
}

// JSON text that a page script returned as a string, parsed.
Json parse_text(const Json& text) {
  if (!text.is_string()) {
    throw PageError("The page gave an answer of an unexpected shape.");
  }
  Json parsed = Json::parse(text.get_ref<const std::string&>(), nullptr, false);
  if (parsed.is_discarded()) {
    throw PageError("The page's answer is not valid JSON.");
  }
  return parsed;
}

// One question of an element: a function of the element and one argument.
// The function text is the caller's (or static), and outlives the question.
struct Question {
  std::string key;
  std::string_view function;
  Json arg;
};

// The handle reads the helpers answer with functions of their own.
enum class Read : std::size_t { layout, inner_text, is_enabled, attributes };

const Question& read(Read which) {
  static const std::array<Question, 4> reads{
      Question{"layout", "__quillfen.reads.layout", nullptr},
      Question{"inner_text", "__quillfen.reads.innerText", nullptr},
      Question{"is_enabled", "__quillfen.reads.isEnabled", nullptr},
      // Grouped, the first attribute read of a group brings every attribute of every
      // member, values up to 1,024 characters long; longer ones are read alone.
      Question{"attributes", "__quillfen.reads.attributes", 1024}};
  return reads.at(static_cast<std::size_t>(which));
}

// A scan asks visibility, box and text of nearly every element it meets: the first ask
// of any of them answers both reads for the whole group in one call, and the layout
// read serves visibility and box from one reading of the rectangle.
const std::vector<Question>& layout_and_text() {
  static const std::vector<Question> reads{read(Read::layout), read(Read::inner_text)};
  return reads;
}

// The script that installs the helpers into a fresh isolated world; its value is the
// helpers object.
std::string helpers_installer() {
  return "globalThis.__quillfen = " + wrapped(scripts::HELPERS) + "(" + wrapped(scripts::ANSWER) +
         ", {layout: " + wrapped(scripts::LAYOUT) + ", innerText: " + wrapped(scripts::INNER_TEXT) +
         ", isEnabled: " + wrapped(scripts::IS_ENABLED) + ", attributes: " + wrapped(scripts::ATTRIBUTES) + "})";
}

// A function declaration for Runtime.callFunctionOn that asks each of `questions`, with
// its own argument from `args`, of the elements that `elements` names (an expression of
// `this`), through the helpers of the world the elements belong to.
std::string answer_function(std::string_view elements, const std::vector<Question>& questions) {
  std::string list;
  for (const Question& question : questions) {
    list += (list.empty() ? "q.fn(" : ", q.fn(") + js_string(std::string(question.function)) + ", () => " +
            wrapped(question.function) + ")";
  }
  return "function(args) { const q = __quillfen; return q.ask(" + std::string(elements) + ", [" + list +
         "], args); }";
}

std::string ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// getAttribute(name) answered from an element's attributes.js answer: the value, an
// empty optional for no such attribute, or none at all when the answer cannot tell
// (a long value left out, an answer of another shape).
std::optional<std::optional<std::string>> attribute_from(const Json& attributes, const std::string& name) {
  if (!attributes.is_array() || attributes.size() != 2 || !attributes[0].is_boolean() || !attributes[1].is_array()) {
    return std::nullopt;
  }
  const std::string wanted = attributes[0].get<bool>() ? ascii_lower(name) : name;
  const Json& pairs = attributes[1];
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (pairs[i].is_string() && pairs[i].get_ref<const std::string&>() == wanted) {
      if (!pairs[i + 1].is_string()) return std::nullopt;
      return std::optional<std::string>(pairs[i + 1].get<std::string>());
    }
  }
  return std::optional<std::string>();
}

}  // namespace

// Page-side objects to let go of when the last group using them is gone: the remote
// objects of a query (a protocol object group), or a batch of looked-up elements that
// the helpers keep. The release is posted, not waited for.
class PageHold {
 public:
  PageHold(std::shared_ptr<Session> session, std::string method, Json params)
      : session_(std::move(session)), method_(std::move(method)), params_(std::move(params)) {}
  PageHold(const PageHold&) = delete;
  PageHold& operator=(const PageHold&) = delete;
  ~PageHold() {
    try {
      session_->post(method_, params_);
    } catch (const std::exception&) {
      // The page or browser is gone, and its objects with it.
    }
  }

  static std::shared_ptr<PageHold> object_group(std::shared_ptr<Session> session, const std::string& name) {
    return std::make_shared<PageHold>(std::move(session), "Runtime.releaseObjectGroup",
                                      Json{{"objectGroup", name}});
  }

 private:
  std::shared_ptr<Session> session_;
  std::string method_;
  Json params_;
};

// The elements of one query and the answers given so far; its page-side objects are
// let go of when the last group sharing them is gone.
class Group {
 public:
  // Grouped answers: `elements` is an expression of `this`, the object `object_id`
  // names, that gives the members as an array.
  Group(std::shared_ptr<Session> session, std::shared_ptr<PageHold> hold, std::string object_id,
        std::string elements, std::size_t size)
      : session_(std::move(session)),
        hold_(std::move(hold)),
        object_id_(std::move(object_id)),
        elements_(std::move(elements)),
        size_(size) {}
  // One call per question: each element has its own remote object.
  Group(std::shared_ptr<Session> session, std::shared_ptr<PageHold> hold, std::vector<std::string> element_ids)
      : session_(std::move(session)),
        hold_(std::move(hold)),
        element_ids_(std::move(element_ids)),
        size_(element_ids_.size()) {}

  std::size_t size() const { return size_; }
  // Whether the members' answers come for the whole group, not one call per question.
  bool grouped() const { return element_ids_.empty(); }

  // Keeps answers that came with the query.
  void remember(const std::string& key, Answers answers) { answers_.insert_or_assign(key, std::move(answers)); }

  const Json& ask(std::size_t index, const Question& question) {
    // Most asks find their answer kept: no list of questions for them.
    if (const auto cached = answers_.find(question.key); grouped() && cached != answers_.end()) {
      return cached->second.at(index);
    }
    return ask(index, {question}, 0);
  }

  // Member `index`'s answer to questions[which]. Grouped, that question and every other
  // of `questions` not answered yet are answered for all members in one call.
  // The answer stays valid until the next question.
  const Json& ask(std::size_t index, const std::vector<Question>& questions, std::size_t which) {
    const Question& question = questions.at(which);
    if (!grouped()) {
      last_answer_ = call(element_ids_.at(index), "[this]", {question}, 1).front().at(0);
      return last_answer_;
    }
    if (const auto cached = answers_.find(question.key); cached != answers_.end()) {
      return cached->second.at(index);
    }
    std::vector<Question> asked;
    for (const Question& other : questions) {
      if (!answers_.contains(other.key)) asked.push_back(other);
    }
    std::vector<Answers> answers;
    try {
      answers = call(object_id_, elements_, asked, size_);
    } catch (const PageError& error) {
      // The call itself failed (the page navigated away, a script syntax error):
      // every member shares that failure.
      answers.assign(asked.size(), Answers::failed(size_, error.what()));
    }
    for (std::size_t i = 0; i < asked.size(); ++i) {
      answers_.insert_or_assign(asked[i].key, std::move(answers[i]));
    }
    return answers_.at(question.key).at(index);
  }

 private:
  std::vector<Answers> call(const std::string& object_id, std::string_view elements,
                            const std::vector<Question>& questions, std::size_t expected) {
    Json args = Json::array();
    for (const Question& question : questions) args.push_back(question.arg);
    const Json text = value_of(session_->send("Runtime.callFunctionOn",
                                              {{"functionDeclaration", answer_function(elements, questions)},
                                               {"objectId", object_id},
                                               {"arguments", {{{"value", args}}}},
                                               {"returnByValue", true},
                                               {"silent", true}}));
    return answers_list(parse_text(text), questions.size(), expected);
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<PageHold> hold_;
  std::string object_id_;
  std::string elements_;
  std::vector<std::string> element_ids_;
  std::size_t size_ = 0;
  std::map<std::string, Answers> answers_;
  Json last_answer_;
};

namespace {

class ChromiumElement : public ElementHandle {
 public:
  ChromiumElement(std::shared_ptr<Group> group, std::size_t index) : group_(std::move(group)), index_(index) {}

  bool is_visible() override {
    const Json& layout = layout_or_text(Read::layout);
    return layout.is_array() && layout.size() == 2 && layout[0].is_boolean() && layout[0].get<bool>();
  }
  bool is_enabled() override { return as_bool(ask(read(Read::is_enabled))); }

  Json evaluate(const std::string& script) override { return ask({"evaluate:" + script, script, nullptr}); }

  std::string inner_text() override {
    const Json& text = layout_or_text(Read::inner_text);
    return text.is_string() ? text.get<std::string>() : std::string();
  }

  std::optional<std::string> get_attribute(const std::string& name) override {
    if (group_->grouped()) {
      if (auto value = attribute_from(ask(read(Read::attributes)), name)) return *value;
    }
    const Json& value = ask({"get_attribute:" + name, "(element, name) => element.getAttribute(name)", name});
    if (!value.is_string()) {
      return std::nullopt;
    }
    return value.get<std::string>();
  }

  std::optional<BoundingBox> bounding_box() override {
    const Json& layout = layout_or_text(Read::layout);
    if (!layout.is_array() || layout.size() != 2) {
      return std::nullopt;
    }
    const Json& box = layout[1];
    // NaN and infinities arrive as null: no usable box either.
    if (!box.is_array() || box.size() != 4 ||
        !std::all_of(box.begin(), box.end(), [](const Json& value) { return value.is_number(); })) {
      return std::nullopt;
    }
    return BoundingBox{box[0].get<double>(), box[1].get<double>(), box[2].get<double>(), box[3].get<double>()};
  }

 private:
  const Json& ask(const Question& question) { return group_->ask(index_, question); }
  const Json& layout_or_text(Read which) {
    return group_->ask(index_, layout_and_text(), which == Read::layout ? 0 : 1);
  }

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
  // The page keeps the focus as a person's foreground tab does: without this, closing a
  // dialog gives the focus back to the page, whose focused field gets a focus event
  // again (and a field that opens a dialog on focus, the next dialog).
  session_->send("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
}

ChromiumPage::~ChromiumPage() {
  try {
    session_->connection().post("", "Target.closeTarget", {{"targetId", target_id_}});
  } catch (const std::exception&) {
    // The browser is gone, and the tab with it.
  }
}

const ChromiumPage::World& ChromiumPage::world() {
  if (!world_) {
    const Json tree = session_->send("Page.getFrameTree");
    const Json created = session_->send(
        "Page.createIsolatedWorld",
        {{"frameId", tree.at("frameTree").at("frame").at("id")}, {"worldName", "quillfen"}});
    const long long context = created.at("executionContextId").get<long long>();
    // The helpers object stays referenced for the world's life: no object group.
    const Json installed =
        session_->send("Runtime.evaluate", {{"expression", helpers_installer()}, {"contextId", context}});
    if (const auto details = installed.find("exceptionDetails"); details != installed.end()) {
      throw PageError(exception_message(*details));
    }
    const Json helpers = installed.at("result").value("objectId", Json());
    if (!helpers.is_string()) {
      throw PageError("The page helpers could not be installed.");
    }
    world_ = World{context, helpers.get<std::string>()};
  }
  return *world_;
}

Json ChromiumPage::evaluate_in_world(const std::string& expression, Json params) {
  params["expression"] = expression;
  // A new document has none of the old one's worlds: the first command after it fails,
  // and a fresh world is made. A context id that a new renderer process has given to
  // another world lacks the helpers, which fails the same way.
  for (int attempt = 1;; ++attempt) {
    params["contextId"] = world().context;
    try {
      Json result = session_->send("Runtime.evaluate", params);
      const auto details = result.find("exceptionDetails");
      if (attempt == 1 && details != result.end() &&
          exception_message(*details).find("__quillfen is not defined") != std::string::npos) {
        world_.reset();
        continue;
      }
      return result;
    } catch (const ProtocolError& error) {
      if (attempt == 1 && std::string_view(error.what()).find("Cannot find context") != std::string_view::npos) {
        world_.reset();
        continue;
      }
      throw;
    }
  }
}

Json ChromiumPage::call_in_world(std::string_view function, const Json& arguments) {
  Json values = Json::array();
  for (const Json& argument : arguments) values.push_back({{"value", argument}});
  // As in evaluate_in_world: the first call after a new document makes a fresh world.
  for (int attempt = 1;; ++attempt) {
    try {
      Json result = session_->send("Runtime.callFunctionOn", {{"functionDeclaration", function},
                                                              {"executionContextId", world().context},
                                                              {"arguments", values},
                                                              {"returnByValue", true},
                                                              {"awaitPromise", true},
                                                              {"silent", true}});
      const auto details = result.find("exceptionDetails");
      if (attempt == 1 && details != result.end() &&
          exception_message(*details).find("__quillfen is not defined") != std::string::npos) {
        world_.reset();
        continue;
      }
      return value_of(std::move(result));
    } catch (const ProtocolError& error) {
      if (attempt == 1 && std::string_view(error.what()).find("Cannot find context") != std::string_view::npos) {
        world_.reset();
        continue;
      }
      throw;
    }
  }
}

std::string ChromiumPage::next_object_group() { return "quillfen-" + std::to_string(next_group_++); }

std::shared_ptr<Group> ChromiumPage::query_grouped(const std::string& selector) {
  const std::string object_group = next_object_group();
  auto hold = PageHold::object_group(session_, object_group);
  // Deep serialization with depth 1 brings the summary's text by value and leaves the
  // elements as a remote object: one round trip for both.
  const Json result = evaluate_in_world("__quillfen.query(" + js_string(selector) + ")",
                                        {{"objectGroup", object_group},
                                         {"silent", true},
                                         {"serializationOptions", {{"serialization", "deep"}, {"maxDepth", 1}}}});
  if (const auto details = result.find("exceptionDetails"); details != result.end()) {
    throw PageError(exception_message(*details));
  }
  const Json& remote = result.at("result");
  const Json summary = parse_text(remote.at("deepSerializedValue").at("value").at(0).at("value"));
  return std::make_shared<Group>(session_, std::move(hold), remote.at("objectId").get<std::string>(), "this[1]",
                                 summary.at("count").get<std::size_t>());
}

std::shared_ptr<Group> ChromiumPage::look_up_grouped(const std::string& selector) {
  // The helpers keep the element, in batches, and the answer comes by value: cheaper
  // than handing out a remote object, and look-ups come by the hundred in a scan.
  const Json result = evaluate_in_world("__quillfen.lookUp(" + js_string(selector) + ")",
                                        {{"returnByValue", true}, {"silent", true}});
  Json summary = parse_text(value_of(result));
  const std::size_t count = summary.at("count").get<std::size_t>();
  if (count == 0) {
    return std::make_shared<Group>(session_, nullptr, std::string(), std::string(), 0);
  }
  const long long batch = summary.at("batch").get<long long>();
  const std::string& helpers = world().helpers;
  std::erase_if(lookup_batches_, [](const auto& entry) { return entry.second.expired(); });
  std::shared_ptr<PageHold> hold = lookup_batches_[{helpers, batch}].lock();
  if (hold == nullptr) {
    hold = std::make_shared<PageHold>(session_, "Runtime.callFunctionOn",
                                      Json{{"functionDeclaration", "function(batch) { this.release(batch); }"},
                                           {"objectId", helpers},
                                           {"arguments", {{{"value", batch}}}}});
    lookup_batches_[{helpers, batch}] = hold;
  }
  // The batch being filled stays held, or each short-lived look-up would cost a release.
  filling_batch_ = hold;
  auto group = std::make_shared<Group>(
      session_, std::move(hold), helpers,
      "[this.kept[" + std::to_string(batch) + "]?.[" + std::to_string(summary.at("index").get<long long>()) + "]]",
      count);
  group->remember(read(Read::inner_text).key, answers_from(std::move(summary.at("text")), count));
  return group;
}

std::shared_ptr<Group> ChromiumPage::query_per_question(const std::string& selector, bool first_only) {
  std::shared_ptr<PageHold> hold;
  std::string object_group;
  if (first_only) {
    // Look-ups come by the hundred in a scan and live briefly: they share an object
    // group per batch, to save a release per look-up.
    if (!lookups_ || lookups_in_batch_ >= LOOKUPS_PER_OBJECT_GROUP) {
      lookups_group_ = next_object_group();
      lookups_ = PageHold::object_group(session_, lookups_group_);
      lookups_in_batch_ = 0;
    }
    ++lookups_in_batch_;
    hold = lookups_;
    object_group = lookups_group_;
  } else {
    object_group = next_object_group();
    hold = PageHold::object_group(session_, object_group);
  }
  // Each element gets its own remote object, as in automation layers that ask one
  // element at a time.
  const std::string expression = first_only ? "[document.querySelector(" + js_string(selector) + ")].filter(e => e)"
                                            : "Array.from(document.querySelectorAll(" + js_string(selector) + "))";
  const Json result = evaluate_in_world(expression, {{"objectGroup", object_group}, {"silent", true}});
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
  return std::make_shared<Group>(session_, std::move(hold), std::move(element_ids));
}

std::vector<ElementHandlePtr> ChromiumPage::query(const std::string& selector, bool first_only) {
  const std::shared_ptr<Group> group = mode_ == AnswerMode::per_question ? query_per_question(selector, first_only)
                                       : first_only                      ? look_up_grouped(selector)
                                                                         : query_grouped(selector);
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

}  // namespace quillfen::chromium
