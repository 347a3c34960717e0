#include "chromium/chromium_page.hpp"

#include "chromium/scripts.hpp"
#include "engine/browser/page_scanner.hpp"
#include "engine/core/text.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
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
  // How many answers were taken from the carried scan.
  std::size_t carried = 0;
  // Runs [index, slot, count, dx, dy] of members whose answer is the one they gave in
  // the scan that the call named as carried, at that slot there, its box moved by
  // (dx, dy) (see carryOver in helpers.js); their values are still to be filled in.
  Json same;

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

// The members that runs of [index, slot, count, dx, dy] name, in order, or none when the
// runs are not such, overlap, or go past `expected` members.
std::optional<std::vector<bool>> named(const Json& runs, std::size_t expected) {
  std::vector<bool> in_runs(expected, false);
  if (!runs.is_array() || runs.size() % 5 != 0) return std::nullopt;
  std::size_t next = 0;
  for (std::size_t r = 0; r < runs.size(); r += 5) {
    const Json& index = runs[r];
    const Json& count = runs[r + 2];
    if (!index.is_number_unsigned() || !runs[r + 1].is_number_unsigned() || !count.is_number_unsigned() ||
        !runs[r + 3].is_number() || !runs[r + 4].is_number()) {
      return std::nullopt;
    }
    const std::size_t first = index.get<std::size_t>();
    const std::size_t n = count.get<std::size_t>();
    if (first < next || n > expected || first > expected - n) return std::nullopt;
    std::fill_n(in_runs.begin() + static_cast<std::ptrdiff_t>(first), n, true);
    next = first + n;
  }
  return in_runs;
}

// Reads the [answers, errors] pair that answer.js makes, or the [others, errors, same]
// of a carried question (see carryOver in helpers.js); `expected` is the group's size.
Answers answers_from(Json pair, std::size_t expected) {
  const auto misfit = [expected] {
    return Answers::failed(expected, "The page's answer does not fit the query's elements.");
  };
  if (!pair.is_array() || pair.size() < 2 || pair.size() > 3 || !pair[0].is_array() || !pair[1].is_object()) {
    return misfit();
  }
  Answers answers;
  if (pair.size() == 3) {
    const std::optional<std::vector<bool>> in_runs = named(pair[2], expected);
    const auto in_same = in_runs ? std::count(in_runs->begin(), in_runs->end(), true) : 0;
    if (!in_runs || pair[0].size() + static_cast<std::size_t>(in_same) != expected) return misfit();
    auto& others = pair[0].get_ref<Json::array_t&>();
    answers.values.resize(expected);
    for (std::size_t i = 0, next = 0; i < expected; ++i) {
      if (!(*in_runs)[i]) answers.values[i] = std::move(others[next++]);
    }
    answers.same = std::move(pair[2]);
  } else {
    if (pair[0].size() != expected) return misfit();
    answers.values = std::move(pair[0].get_ref<Json::array_t&>());
  }
  for (const auto& [index, message] : pair[1].items()) {
    std::size_t at = 0;
    const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), at);
    if (error == std::errc() && end == index.data() + index.size()) {
      answers.errors.emplace(at, message.is_string() ? message.get<std::string>() : message.dump());
    }
  }
  return answers;
}

// The answers to as many questions as `expected` has sizes, one [answers, errors] pair
// each, expected[q] answers in the q-th.
std::vector<Answers> answers_list(Json pairs, const std::vector<std::size_t>& expected) {
  std::vector<Answers> answers;
  if (!pairs.is_array() || pairs.size() != expected.size()) {
    for (const std::size_t size : expected) {
      answers.push_back(Answers::failed(size, "The page's answer does not fit the questions asked."));
    }
    return answers;
  }
  for (std::size_t q = 0; q < expected.size(); ++q) answers.push_back(answers_from(std::move(pairs[q]), expected[q]));
  return answers;
}

// JSON text that a page script returned as a string, or as a list of its pieces in
// order, parsed.
Json parse_text(const Json& text) {
  std::string joined;
  if (text.is_array()) {
    for (const Json& piece : text) {
      if (!piece.is_string()) {
        throw PageError("The page gave an answer of an unexpected shape.");
      }
      joined += piece.get_ref<const std::string&>();
    }
  } else if (!text.is_string()) {
    throw PageError("The page gave an answer of an unexpected shape.");
  }
  Json parsed = Json::parse(text.is_string() ? text.get_ref<const std::string&>() : joined, nullptr, false);
  if (parsed.is_discarded()) {
    throw PageError("The page's answer is not valid JSON.");
  }
  return parsed;
}

// One question of an element: a function of the element and one argument. The function
// text is the caller's (or static), and outlives the question. A question marked `fresh`
// names a maker of the function, called anew for every call, whose function may
// remember things between the elements of that call. A question marked `shortened`
// gives each string as "N:rest", the first N bytes of the previous answer of its call
// and then `rest` (see positional_paths.js). A question marked `tree` depends on nothing
// but the element's tag name, attributes and text children: during a scan the page
// works its answer out again only for elements changed since (see refresh in
// helpers.js).
struct Question {
  std::string key;
  std::string_view function;
  Json arg;
  bool fresh = false;
  bool shortened = false;
  bool tree = false;
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
      Question{"attributes", "__quillfen.reads.attributes", 1024, false, false, true}};
  return reads.at(static_cast<std::size_t>(which));
}

// A scan asks visibility, box and text of nearly every element it meets: the first ask
// of any of them answers both reads for the whole group in one call, and the layout
// read serves visibility and box from one reading of the rectangle.
const std::vector<Question>& layout_and_text() {
  static const std::vector<Question> reads{read(Read::layout), read(Read::inner_text)};
  return reads;
}

// The question that evaluating `script` on an element asks. The scanner's path script
// walks all earlier siblings of every step; grouped, the one-pass path maker gives the
// same strings for the whole group, shortened. Its direct-text script copies each
// child list; grouped, a helper gives the same answer walking the children in place.
Question evaluate_question(const std::string& script, bool grouped) {
  if (grouped && script == _XPATH_JS) {
    return {"evaluate:" + script, "__quillfen.positionalPaths", nullptr, true, true};
  }
  if (grouped && script == _DIRECT_TEXT_JS) {
    return {"evaluate:" + script, "__quillfen.reads.directText", nullptr, false, false, true};
  }
  return {"evaluate:" + script, script, nullptr, false, false, script == _TAG_NAME_JS};
}

// The reads that the scanner makes of nearly every member of its groups, asked together
// during a scan the first time any of them is asked: one round trip instead of one per
// read. A group of any other selector asks each read when it comes.
std::vector<std::vector<Question>> scan_bundles(const std::string& selector) {
  const auto script = [](const std::string& text) { return evaluate_question(text, true); };
  if (selector == INTERACTABLE_SELECTOR) {
    return {{read(Read::layout), read(Read::inner_text), read(Read::is_enabled), script(_TAG_NAME_JS),
             read(Read::attributes), script(_XPATH_JS)}};
  }
  if (selector == _CUSTOM_INPUT_SELECTOR) {
    return {{script(_TAG_NAME_JS), read(Read::attributes), read(Read::layout), read(Read::inner_text),
             script(_XPATH_JS)}};
  }
  if (selector == TEXT_SELECTOR) {
    // Only the visible members with text are read further.
    return {{read(Read::layout), read(Read::inner_text)},
            {script(_TAG_NAME_JS), script(_XPATH_JS), read(Read::attributes), script(_DIRECT_TEXT_JS)}};
  }
  return {};
}

// Expands the shortened answers of a call (see Question), in member order; an answer
// that does not fit the previous one fails for its member alone.
void lengthen(Answers& answers) {
  std::string previous;
  for (std::size_t i = 0; i < answers.values.size(); ++i) {
    if (answers.errors.contains(i)) continue;
    Json& value = answers.values[i];
    const std::string* text = value.is_string() ? &value.get_ref<const std::string&>() : nullptr;
    const std::size_t colon = text ? text->find(':') : std::string::npos;
    std::size_t shared = 0;
    const bool fits = colon != std::string::npos &&
                      std::from_chars(text->data(), text->data() + colon, shared).ptr == text->data() + colon &&
                      shared <= previous.size();
    if (!fits) {
      answers.errors.emplace(i, "The page's answer does not fit the previous one.");
      value = nullptr;
      continue;
    }
    previous.resize(shared);
    previous.append(*text, colon + 1);
    value = previous;
  }
}

// Numbers as runs [first, count, first, count, ...] of ascending neighbours, and back.
Json runs_of(const std::vector<std::size_t>& numbers) {
  Json runs = Json::array();
  std::size_t first = 0;
  std::size_t count = 0;
  for (const std::size_t number : numbers) {
    if (count > 0 && first + count == number) {
      ++count;
      continue;
    }
    if (count > 0) {
      runs.push_back(first);
      runs.push_back(count);
    }
    first = number;
    count = 1;
  }
  if (count > 0) {
    runs.push_back(first);
    runs.push_back(count);
  }
  return runs;
}

std::vector<std::size_t> from_runs(const Json& runs) {
  std::vector<std::size_t> numbers;
  for (std::size_t i = 0; i + 1 < runs.size(); i += 2) {
    const std::size_t first = runs[i].get<std::size_t>();
    const std::size_t count = runs[i + 1].get<std::size_t>();
    for (std::size_t n = 0; n < count; ++n) numbers.push_back(first + n);
  }
  return numbers;
}

// The script that installs the helpers into a fresh isolated world; its value is the
// helpers object.
std::string helpers_installer() {
  return "globalThis.__quillfen = " + wrapped(scripts::HELPERS) + "(" + wrapped(scripts::ANSWER) +
         ", {layout: " + wrapped(scripts::LAYOUT) + ", innerText: " + wrapped(scripts::INNER_TEXT) +
         ", isEnabled: " + wrapped(scripts::IS_ENABLED) + ", attributes: " + wrapped(scripts::ATTRIBUTES) +
         ", directText: " + wrapped(scripts::DIRECT_TEXT) + "}, " +
         wrapped(scripts::POSITIONAL_PATHS) + ", " + wrapped(scripts::WATCH) + ")";
}

// The question functions as a JavaScript array, for the helpers' ask; `q` is the
// helpers object. Functions are kept by their text in the page, makers are called.
std::string question_list(const std::vector<Question>& questions) {
  std::string list;
  for (const Question& question : questions) {
    list += list.empty() ? "[" : ", ";
    list += question.fresh ? wrapped(question.function) + "()"
                           : "q.fn(" + js_string(std::string(question.function)) + ", () => " +
                                 wrapped(question.function) + ")";
  }
  return list + "]";
}

// A function declaration for Runtime.callFunctionOn that asks `questions` (with their
// arguments) of the one element it is called on.
std::string element_function(const std::vector<Question>& questions) {
  return "function(args) { const q = __quillfen; return JSON.stringify(" + question_list(questions) +
         ".map((question, i) => q.answer([this], question, args[i]))); }";
}

std::string ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The scanner's data-attribute map answered from an element's attributes.js answer: the
// data-* attributes in document order, as its script gives them; none when the answer
// cannot tell (a long value left out, an answer of another shape).
std::optional<Json> data_attributes_from(const Json& attributes) {
  if (!attributes.is_array() || attributes.size() != 2 || !attributes[1].is_array()) {
    return std::nullopt;
  }
  Json data = Json::object();
  const Json& pairs = attributes[1];
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (!pairs[i].is_string()) return std::nullopt;
    const std::string& name = pairs[i].get_ref<const std::string&>();
    if (!name.starts_with("data-")) continue;
    if (!pairs[i + 1].is_string()) return std::nullopt;
    data[name] = pairs[i + 1];
  }
  return data;
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

// The value of `label[for="value"]` when a selector is exactly that and the value needs
// no escaping in a CSS string (no quote, backslash, line break or NUL) and is valid
// UTF-8: then the selector matches the labels whose for is that value, and nothing else.
std::optional<std::string> plain_label_for(const std::string& selector) {
  static constexpr std::string_view open = "label[for=\"";
  static constexpr std::string_view close = "\"]";
  if (selector.size() < open.size() + close.size() || !selector.starts_with(open) || !selector.ends_with(close)) {
    return std::nullopt;
  }
  std::string value = selector.substr(open.size(), selector.size() - open.size() - close.size());
  if (value.find_first_of(std::string_view("\"\\\n\r\f\0", 6)) != std::string::npos || text::valid_utf8(value) != value) {
    return std::nullopt;
  }
  return value;
}

// The number of milliseconds, at least one, in a duration.
long long whole_millis(Clock::duration duration) {
  return std::max<long long>(1, std::chrono::ceil<std::chrono::milliseconds>(duration).count());
}

}  // namespace

// One question's answers during a scan, by the elements' page-side slots: a value, the
// message of the error it raised, or none yet. Once given, a slot's answer stays as it is
// for the scan. On a large page a scan answers 100,000 slots and more per question:
// values and marks are kept in two plain columns, errors (rare) apart.
class SlotAnswers {
 public:
  bool has(std::size_t slot) const { return slot < marks_.size() && marks_[slot] != Mark::none; }
  bool failed(std::size_t slot) const { return slot < marks_.size() && marks_[slot] == Mark::error; }

  // Room for slots below `size`.
  void grow(std::size_t size) {
    if (size <= marks_.size()) return;
    values_.resize(size);
    marks_.resize(size, Mark::none);
  }
  // Sets the answer of a slot that `grow` made room for.
  void set(std::size_t slot, Json value) {
    values_[slot] = std::move(value);
    marks_[slot] = Mark::value;
  }
  void set_error(std::size_t slot, std::string message) {
    errors_.insert_or_assign(slot, std::move(message));
    marks_[slot] = Mark::error;
  }

  // The slot's value; its error, or a slot without an answer, raises.
  const Json& at(std::size_t slot) const {
    if (failed(slot)) throw PageError(errors_.at(slot));
    if (!has(slot)) throw PageError("The element is no longer part of its query's answer.");
    return values_[slot];
  }

 private:
  enum class Mark : std::uint8_t { none, value, error };
  std::vector<Json> values_;
  std::vector<Mark> marks_;
  std::unordered_map<std::size_t, std::string> errors_;
};

// A scan under way: its deadline, and one answer per element (by its page-side slot) for
// each question asked so far. Slots belong to one document's helpers: when those change
// (a navigation), the answers kept so far are let go of (groups that already read them
// keep their own share).
struct ScanState {
  Clock::time_point start;
  Clock::time_point deadline;
  bool active = true;
  // Which scan of the page this is, for the helpers to number elements afresh.
  std::uint64_t number = 0;
  std::string helpers;
  std::unordered_map<std::string, std::shared_ptr<SlotAnswers>> answers;
};

namespace {

// The scan argument of the helpers' entry points: the scan's number, or null.
std::string scan_argument(const std::shared_ptr<ScanState>& scan) {
  return scan ? std::to_string(scan->number) : std::string("null");
}

}  // namespace

// The tab's reading machinery, shared by the page and the groups it made: its session,
// its isolated world, and the scan under way.
class Reader {
 public:
  // The isolated world in the current document: its execution context and the
  // page-side helpers object installed in it.
  struct World {
    long long context = 0;
    std::string helpers;
  };

  explicit Reader(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  // The world, made on first use after each new document.
  const World& world() {
    if (!world_) {
      const Json tree = call("Page.getFrameTree");
      const Json created = call("Page.createIsolatedWorld",
                                {{"frameId", tree.at("frameTree").at("frame").at("id")}, {"worldName", "quillfen"}});
      const long long context = created.at("executionContextId").get<long long>();
      // The helpers object stays referenced for the world's life: no object group.
      const Json installed = call("Runtime.evaluate", {{"expression", helpers_installer()}, {"contextId", context}});
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
  void forget_world() { world_.reset(); }

  // A command of the page, within the scan's time when a scan is under way.
  Json call(const std::string& method, const Json& params = Json::object()) {
    return session_->send(method, params, wait_limit());
  }

  // The value of `expression` run in the isolated world, stopped in the page when it
  // runs past the time it has (see the top of chromium_page.hpp).
  Json read_value(const std::string& expression) {
    return value_of(evaluate_in_world({{"expression", expression}, {"returnByValue", true}, {"silent", true}}));
  }

  // JSON text that `expression` gives, parsed.
  Json read(const std::string& expression) { return parse_text(whole(read_value(expression))); }

  // Runtime.evaluate with `params` in the isolated world. A new document has none of
  // the old one's worlds: the first command after it fails, and a fresh world is made.
  // A context id that a new renderer process has given to another world lacks the
  // helpers, which fails the same way.
  Json evaluate_in_world(Json params) {
    for (int attempt = 1;; ++attempt) {
      params["contextId"] = world().context;
      try {
        Json result = evaluate(params);
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

  // Runtime.evaluate with `params`, stopped in the page when it runs past the time it
  // has: then it fails with kind `slow`.
  Json evaluate(Json params) {
    params["timeout"] = whole_millis(run_limit());
    try {
      return call("Runtime.evaluate", params);
    } catch (const ProtocolError& error) {
      throw_if_stopped(error);
      throw;
    }
  }

  // The whole text of a reply (see reply in helpers.js): the text itself, or when the
  // page gave it in pieces, all of them in order. The pieces after the first are asked
  // for all at once: the page and the browser work through them while this side reads.
  // One reply of many megabytes costs the browser far more than as many small ones.
  Json whole(Json first) {
    if (!first.is_object()) return first;
    const auto reply = first.find("reply");
    const auto pieces = first.find("pieces");
    const auto text = first.find("first");
    if (reply == first.end() || !reply->is_number_unsigned() || pieces == first.end() ||
        !pieces->is_number_unsigned() || pieces->get<std::size_t>() == 0 || text == first.end() ||
        !text->is_string()) {
      throw PageError("The page gave an answer of an unexpected shape.");
    }
    std::vector<Session::Started> rest;
    for (std::size_t k = 1; k < pieces->get<std::size_t>(); ++k) {
      const std::string expression =
          "__quillfen.piece(" + std::to_string(reply->get<std::uint64_t>()) + ", " + std::to_string(k) + ")";
      rest.push_back(session_->start("Runtime.evaluate",
                                     {{"expression", expression},
                                      {"contextId", world().context},
                                      {"returnByValue", true},
                                      {"silent", true},
                                      {"timeout", whole_millis(run_limit())}},
                                     wait_limit()));
    }
    Json all = Json::array({std::move(*text)});
    for (Session::Started& started : rest) {
      try {
        all.push_back(value_of(started.finish(wait_limit())));
      } catch (const ProtocolError& error) {
        throw_if_stopped(error);
        throw;
      }
    }
    return all;
  }

  // Numbers for page-side groups and batches, never reused within the tab.
  std::uint64_t next_id() { return next_id_++; }

  // The answers of the last scan that read anything, while they belong to the same
  // helpers as `scan`; or null.
  std::shared_ptr<const ScanState> carried(const ScanState& scan) const {
    return carrying_ && carried_ && carried_->helpers == scan.helpers ? carried_ : nullptr;
  }
  void set_carrying(bool carrying) { carrying_ = carrying; }
  // Answers taken from a carried scan so far.
  std::uint64_t carried_answers() const { return carried_answers_; }
  void count_carried(std::size_t answers) { carried_answers_ += answers; }

  // The number that the page keeps the carried answers of `question` under.
  std::size_t carry_number(const Question& question) {
    return carry_numbers_.try_emplace(question.key + '\n' + question.arg.dump(), carry_numbers_.size()).first->second;
  }

  // The scan under way, or null. Its answers are dropped when the helpers changed.
  const std::shared_ptr<ScanState>& scan() {
    if (scan_ && scan_->helpers != world().helpers) {
      scan_->answers.clear();
      scan_->helpers = world().helpers;
    }
    return scan_;
  }
  void begin_scan(Clock::time_point deadline) {
    if (scan_) scan_->active = false;
    scan_ = std::make_shared<ScanState>();
    scan_->start = Clock::now();
    scan_->deadline = deadline;
    scan_->number = next_id();
  }
  void end_scan() {
    if (!scan_) return;
    scan_->active = false;
    // A scan that read nothing (its records were kept from an earlier one) leaves the
    // answers carried as they were. One that failed part way is carried from for what
    // it read: the page names only answers it sent, and one whose reply never came is
    // not there to take (see take_carried).
    if (!scan_->answers.empty()) carried_ = scan_;
    scan_.reset();
    if (world_) post_in_world("__quillfen.endScan()");
  }

  // Runs `expression` in the isolated world without waiting for it.
  void post_in_world(const std::string& expression) {
    if (!world_) return;
    session_->post("Runtime.evaluate", {{"expression", expression}, {"contextId", world_->context}, {"silent", true}});
  }

 private:
  // A read stopped in the page at its time-out fails with kind `slow`.
  void throw_if_stopped(const ProtocolError& error) const {
    // The protocol's only word for an evaluation stopped at its time-out.
    if (std::string_view(error.what()).find("Execution was terminated") != std::string_view::npos) {
      throw out_of_time();
    }
  }

  // What a read stopped at its time is told, and how long it had.
  PageError out_of_time() const {
    const auto given = scan_ ? scan_->deadline - scan_->start : Clock::duration(session_->timeout());
    return PageError("reading the page took longer than the " + std::to_string(whole_millis(given)) +
                         " ms it was given",
                     PageError::Kind::slow);
  }

  // How long a read may run in the page: until the scan's deadline, or the session's
  // time-out outside a scan.
  Clock::duration run_limit() const {
    if (!scan_) return session_->timeout();
    const auto left = scan_->deadline - Clock::now();
    if (left <= Clock::duration::zero()) throw out_of_time();
    return left;
  }

  // How long to wait for an answer: the run limit, and a while for the page to report
  // a read that it stopped. No answer by then means the page does not answer at all.
  std::chrono::milliseconds wait_limit() const {
    return std::chrono::milliseconds(whole_millis(run_limit() + REPORT_GRACE));
  }

  static constexpr std::chrono::milliseconds REPORT_GRACE{2000};

  std::shared_ptr<Session> session_;
  std::optional<World> world_;
  std::shared_ptr<ScanState> scan_;
  std::shared_ptr<const ScanState> carried_;
  std::unordered_map<std::string, std::size_t> carry_numbers_;
  std::uint64_t carried_answers_ = 0;
  bool carrying_ = true;
  std::uint64_t next_id_ = 1;
};

// Page-side objects to let go of when the last group using them is gone: the remote
// objects of a query (a protocol object group), or elements that the helpers keep. The
// release is posted, not waited for.
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

  // The elements the helpers keep under `id` in the world of `context`.
  static std::shared_ptr<PageHold> kept(std::shared_ptr<Session> session, long long context, std::uint64_t id) {
    return std::make_shared<PageHold>(
        std::move(session), "Runtime.evaluate",
        Json{{"expression", "__quillfen.release(" + std::to_string(id) + ")"}, {"contextId", context}, {"silent", true}});
  }

 private:
  std::shared_ptr<Session> session_;
  std::string method_;
  Json params_;
};

// The elements of one query or look-up and the answers given so far; its page-side
// objects are let go of when the last group sharing them is gone.
class Group {
 public:
  // Grouped answers: the members are the elements the helpers keep as `id` (or those at
  // `indices` there); `slots`, during a scan, numbers each member within the scan.
  // `bundles` are reads asked together during the scan (see scan_bundles).
  Group(std::shared_ptr<Reader> reader, std::shared_ptr<PageHold> hold, std::uint64_t id,
        std::optional<std::vector<std::size_t>> indices, std::size_t size, std::vector<std::size_t> slots,
        std::shared_ptr<ScanState> scan, std::vector<std::vector<Question>> bundles = {})
      : reader_(std::move(reader)),
        hold_(std::move(hold)),
        id_(id),
        indices_(std::move(indices)),
        size_(size),
        slots_(std::move(slots)),
        scan_(std::move(scan)),
        helpers_(scan_ ? scan_->helpers : std::string()),
        bundles_(std::move(bundles)) {}
  // One call per question: each element has its own remote object.
  Group(std::shared_ptr<Reader> reader, std::shared_ptr<PageHold> hold, std::vector<std::string> element_ids)
      : reader_(std::move(reader)),
        hold_(std::move(hold)),
        element_ids_(std::move(element_ids)),
        size_(element_ids_.size()) {}

  std::size_t size() const { return size_; }
  std::uint64_t id() const { return id_; }
  // Whether the members' answers come for the whole group, not one call per question.
  bool grouped() const { return element_ids_.empty(); }

  // Keeps answers that came with the look-up that made the group.
  void remember(const Question& question, Answers answers) {
    if (ScanState* scan = live_scan()) {
      // An answer that the scan already has stays: the page may name it as unchanged
      // in the next scan, and it is the one the page remembers.
      Answers shared = answers;
      SlotAnswers& by_slot = answers_by_slot(*scan, question.key);
      for (std::size_t i = 0; i < size_; ++i) {
        if (!by_slot.has(slots_[i])) store(by_slot, i, shared);
      }
    }
    answers_.insert_or_assign(question.key, std::move(answers));
  }

  const Json& ask(std::size_t index, const Question& question) {
    // Most asks find their answer kept: no list of questions for them.
    if (const Json* kept = grouped() ? kept_answer(index, question.key) : nullptr) return *kept;
    return ask(index, {question}, 0);
  }

  // Member `index`'s answer to questions[which]. Grouped, that question and every other
  // of `questions` not answered yet (and during a scan, of the question's bundle) are
  // answered in one call: for all members, or during a scan, for each question the
  // members that no earlier group of the scan answered. The answer stays valid until
  // the next question.
  const Json& ask(std::size_t index, const std::vector<Question>& questions, std::size_t which) {
    const Question& question = questions.at(which);
    if (!grouped()) {
      const Json text = value_of(reader_->call("Runtime.callFunctionOn",
                                               {{"functionDeclaration", element_function({question})},
                                                {"objectId", element_ids_.at(index)},
                                                {"arguments", {{{"value", Json::array({question.arg})}}}},
                                                {"returnByValue", true},
                                                {"silent", true}}));
      last_answer_ = answers_list(parse_text(text), {1}).front().at(0);
      return last_answer_;
    }
    if (const Json* kept = kept_answer(index, question.key)) return *kept;
    ScanState* scan = live_scan();
    std::vector<Question> asked;
    const auto add = [&](const Question& other) {
      const bool known = answers_.contains(other.key) || scanned_.contains(other.key) ||
                         std::any_of(asked.begin(), asked.end(), [&](const Question& q) { return q.key == other.key; });
      if (!known) asked.push_back(other);
    };
    for (const Question& other : questions) add(other);
    if (scan) {
      for (const auto& bundle : bundles_) {
        if (std::any_of(bundle.begin(), bundle.end(), [&](const Question& q) { return q.key == question.key; })) {
          for (const Question& other : bundle) add(other);
        }
      }
    }
    // The members whose answers the page must give, per question: all of them, or
    // during a scan those without an answer to it yet.
    std::vector<std::vector<std::size_t>> needed(asked.size());
    bool any = false;
    for (std::size_t q = 0; q < asked.size(); ++q) {
      const auto* by_slot = scan ? found_answers(*scan, asked[q].key) : nullptr;
      for (std::size_t i = 0; i < size_; ++i) {
        if (!stored(by_slot, i)) needed[q].push_back(i);
      }
      any = any || !needed[q].empty();
    }
    if (any) {
      std::vector<Answers> answers;
      try {
        answers = call(asked, needed);
      } catch (const PageError& error) {
        // The call ran and failed as a whole (the page navigated away, the script has a
        // syntax error): every member asked shares that failure. A call that could not
        // run (no answer, a dialog, the tab gone, out of time) is no answer about these
        // elements, and fails the ask itself.
        if (error.kind() != PageError::Kind::element) throw;
        answers.clear();
        for (const auto& members : needed) answers.push_back(Answers::failed(members.size(), error.what()));
      }
      if (!scan) {
        for (std::size_t q = 0; q < asked.size(); ++q) answers_.insert_or_assign(asked[q].key, std::move(answers[q]));
        return answers_.at(question.key).at(index);
      }
      for (std::size_t q = 0; q < asked.size(); ++q) {
        SlotAnswers& by_slot = answers_by_slot(*scan, asked[q].key);
        for (std::size_t n = 0; n < needed[q].size(); ++n) store(by_slot, needed[q][n], answers[q], n);
      }
    }
    // The members' answers stay where the scan keeps them: a share of them, not a copy.
    for (const Question& q : asked) scanned_.insert_or_assign(q.key, scan->answers.at(q.key));
    return *kept_answer(index, question.key);
  }

 private:
  // The scan whose answers the members share, while it lasts and its slots are the
  // members' own (not those of a document the scan met later).
  ScanState* live_scan() const {
    return scan_ && scan_->active && scan_->helpers == helpers_ && slots_.size() == size_ ? scan_.get() : nullptr;
  }

  // Member `index`'s answer to `key` when the group has one (its error raises), or null.
  const Json* kept_answer(std::size_t index, const std::string& key) const {
    if (const auto own = answers_.find(key); own != answers_.end()) return &own->second.at(index);
    if (const auto shared = scanned_.find(key); shared != scanned_.end()) return &shared->second->at(slots_[index]);
    return nullptr;
  }

  // The scan's answers to `key` by slot, if it has any.
  static const SlotAnswers* found_answers(const ScanState& scan, const std::string& key) {
    const auto found = scan.answers.find(key);
    return found == scan.answers.end() ? nullptr : found->second.get();
  }

  // Whether `by_slot` (see above) holds member `member`'s answer.
  bool stored(const SlotAnswers* by_slot, std::size_t member) const {
    return by_slot != nullptr && by_slot->has(slots_[member]);
  }

  // The scan's answers to `key`, by slot, with room for every member's: grown once per
  // group, not once per member (on a large page they hold 100,000 slots and more).
  SlotAnswers& answers_by_slot(ScanState& scan, const std::string& key) const {
    auto& by_slot = scan.answers[key];
    if (!by_slot) by_slot = std::make_shared<SlotAnswers>();
    if (!slots_.empty()) by_slot->grow(*std::max_element(slots_.begin(), slots_.end()) + 1);
    return *by_slot;
  }

  // Keeps answer `at` of `answers` (by default the member's own) as the member's, in
  // `by_slot` (see answers_by_slot).
  void store(SlotAnswers& by_slot, std::size_t member, Answers& answers, std::optional<std::size_t> at = std::nullopt) {
    const std::size_t from = at.value_or(member);
    const std::size_t slot = slots_[member];
    if (const auto error = answers.errors.find(from); error != answers.errors.end()) {
      by_slot.set_error(slot, error->second);
    } else if (from < answers.values.size()) {
      by_slot.set(slot, std::move(answers.values[from]));
    } else {
      by_slot.set_error(slot, "The element is no longer part of its query's answer.");
    }
  }

  // The answers to questions[q] of the members at members[q], for every q, in one call.
  // During a scan, answers the page names as unchanged since the carried scan are taken
  // from there; should one not be there, the call is made again without carrying.
  std::vector<Answers> call(const std::vector<Question>& questions, const std::vector<std::vector<std::size_t>>& members) {
    ScanState* scan = live_scan();
    std::shared_ptr<const ScanState> carried = scan ? reader_->carried(*scan) : nullptr;
    std::vector<Answers> answers = call(questions, members, scan, carried.get());
    if (!carried || std::all_of(answers.begin(), answers.end(), [](const Answers& a) { return a.same.is_null(); })) {
      for (const Answers& a : answers) reader_->count_carried(a.carried);
      return answers;
    }
    return call(questions, members, scan, nullptr);
  }

  // One call of the above, carried from `carried` when given. An answer named unchanged
  // that `carried` lacks leaves `same` set on its question's answers, and the rest unused.
  std::vector<Answers> call(const std::vector<Question>& questions, const std::vector<std::vector<std::size_t>>& members,
                            ScanState* scan, const ScanState* carried) {
    Json args = Json::array();
    for (const Question& question : questions) args.push_back(question.arg);
    Json indices = Json::array();
    std::vector<std::size_t> expected;
    for (const auto& asked : members) {
      expected.push_back(asked.size());
      if (!indices_ && asked.size() == size_) {
        indices.push_back(nullptr);
        continue;
      }
      std::vector<std::size_t> at;
      at.reserve(asked.size());
      for (const std::size_t member : asked) at.push_back(indices_ ? indices_->at(member) : member);
      indices.push_back(runs_of(at));
    }
    // A shortened answer depends on the member before it in the call: never carried.
    Json carry = Json::array();
    for (const Question& question : questions) {
      carry.push_back(scan && !question.shortened ? Json::array({reader_->carry_number(question),
                                                                 question.key == read(Read::layout).key, question.tree})
                                                  : Json(nullptr));
    }
    const std::string expression =
        "(() => { const q = __quillfen; return q.ask(" + std::to_string(id_) + ", " + std::to_string(size_) + ", " +
        question_list(questions) + ", " + args.dump(-1, ' ', true, Json::error_handler_t::replace) + ", " +
        indices.dump() + ", " + carry.dump() + ", " + (scan ? std::to_string(scan->number) : "null") + ", " +
        (carried ? std::to_string(carried->number) : "null") + "); })()";
    std::vector<Answers> answers = answers_list(reader_->read(expression), expected);
    for (std::size_t q = 0; q < questions.size(); ++q) {
      if (questions[q].shortened) lengthen(answers[q]);
      if (carried && take_carried(*carried, questions[q].key, answers[q])) answers[q].same = nullptr;
    }
    return answers;
  }

  // Fills in the answers named unchanged from `carried` (answers_from checked the runs'
  // shape); false when one is not there, or a moved one has no box to move.
  static bool take_carried(const ScanState& carried, const std::string& key, Answers& answers) {
    if (answers.same.is_null() || answers.same.empty()) return true;
    const auto found = carried.answers.find(key);
    if (found == carried.answers.end()) return false;
    const SlotAnswers& by_slot = *found->second;
    for (std::size_t r = 0; r < answers.same.size(); r += 5) {
      const std::size_t index = answers.same[r].get<std::size_t>();
      const std::size_t slot = answers.same[r + 1].get<std::size_t>();
      const double dx = answers.same[r + 3].get<double>();
      const double dy = answers.same[r + 4].get<double>();
      const std::size_t count = answers.same[r + 2].get<std::size_t>();
      for (std::size_t n = 0; n < count; ++n) {
        const std::size_t from = slot + n;
        if (answers.errors.contains(index + n) || !by_slot.has(from) || by_slot.failed(from)) {
          return false;
        }
        Json value = by_slot.at(from);
        if (dx != 0 || dy != 0) {
          if (!value.is_array() || value.size() != 2 || !value[1].is_array() || value[1].size() != 4 ||
              !value[1][0].is_number() || !value[1][1].is_number()) {
            return false;
          }
          value[1][0] = value[1][0].get<double>() + dx;
          value[1][1] = value[1][1].get<double>() + dy;
        }
        answers.values[index + n] = std::move(value);
        ++answers.carried;
      }
    }
    return true;
  }

  std::shared_ptr<Reader> reader_;
  std::shared_ptr<PageHold> hold_;
  std::uint64_t id_ = 0;
  std::optional<std::vector<std::size_t>> indices_;
  std::vector<std::string> element_ids_;
  std::size_t size_ = 0;
  std::vector<std::size_t> slots_;
  std::shared_ptr<ScanState> scan_;
  std::string helpers_;
  std::vector<std::vector<Question>> bundles_;
  // Answers by question: the group's own, or during a scan those it shares with the scan.
  std::map<std::string, Answers> answers_;
  std::map<std::string, std::shared_ptr<const SlotAnswers>> scanned_;
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

  Json evaluate(const std::string& script) override {
    // Grouped, the data attributes come from the attribute read that the scanner makes
    // of the same elements anyway: one page pass less.
    if (group_->grouped() && script == _DATA_ATTRIBUTES_JS) {
      if (auto data = data_attributes_from(ask(read(Read::attributes)))) return std::move(*data);
    }
    return ask(evaluate_question(script, group_->grouped()));
  }

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

// A kept element as the helpers describe it: its index in its batch, its slot during a
// scan, and the answer of its inner text.
struct Kept {
  std::size_t index = 0;
  std::vector<std::size_t> slots;
  Json text;

  static Kept from(Json& found) {
    Kept kept;
    kept.index = found.at("index").get<std::size_t>();
    if (const Json& slot = found.at("slot"); slot.is_number_unsigned()) kept.slots.push_back(slot.get<std::size_t>());
    kept.text = std::move(found.at("text"));
    return kept;
  }
};

}  // namespace

// The label look-ups made for one query's members (see the top of chromium_page.hpp),
// valid while that query's group lives.
struct ChromiumPage::LabelLookUps {
  std::weak_ptr<Group> query;
  std::shared_ptr<PageHold> hold;
  std::uint64_t batch = 0;
  std::shared_ptr<ScanState> scan;
  // By selector "#id": the element found, or none.
  std::map<std::string, std::optional<Kept>> ids;
  // By for-value: the first label; a value missing here has none.
  std::map<std::string, Kept> labels;
};

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
      reader_(std::make_shared<Reader>(session_)),
      target_id_(std::move(target_id)) {
  session_->send("Page.enable");
  session_->send("Runtime.enable");
  // For the counts of style and layout passes that change stamps read. Enabled on the
  // empty tab: enabling it on a loaded page costs in proportion to the page (a second
  // on a page of 130,000 elements).
  session_->send("Performance.enable");
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

namespace {

class ChromiumScan : public ScanScope {
 public:
  explicit ChromiumScan(std::shared_ptr<Reader> reader) : reader_(std::move(reader)) {}
  ChromiumScan(const ChromiumScan&) = delete;
  ChromiumScan& operator=(const ChromiumScan&) = delete;
  ~ChromiumScan() override {
    try {
      reader_->end_scan();
    } catch (const std::exception&) {
      // The page is gone, and its scan with it.
    }
  }

 private:
  std::shared_ptr<Reader> reader_;
};

}  // namespace

std::unique_ptr<ScanScope> ChromiumPage::begin_scan(Clock::time_point deadline) {
  reader_->begin_scan(deadline);
  return std::make_unique<ChromiumScan>(reader_);
}

std::optional<std::string> ChromiumPage::change_stamp() {
  const auto full_stamp = [this] {
    const Json stamp = reader_->read_value("__quillfen.stamp(true)");
    if (!stamp.is_string()) {
      throw PageError("The page gave a change stamp of an unexpected shape.");
    }
    return stamp.get<std::string>();
  };
  const auto passes = [this] {
    std::vector<double> counts;
    const Json metrics = reader_->call("Performance.getMetrics");
    for (const Json& metric : metrics.at("metrics")) {
      const std::string name = metric.value("name", std::string());
      if (name == "LayoutCount" || name == "RecalcStyleCount") counts.push_back(metric.value("value", -1.0));
    }
    return counts;
  };
  if (!counting_passes_) {
    counting_passes_ = true;
    style_and_layout_passes_ = passes();
  }
  // The stamp brings style and layout up to date before the counts are read, so that a
  // change made before it shows in them. When they moved since the previous stamp, or
  // the first stamp left its look at the page to a full one, the page's look is
  // compared again, as it is now.
  const Json first = reader_->read_value("__quillfen.stampDeferring()");
  if (!first.is_array() || first.size() != 2 || !first[0].is_string() || !first[1].is_boolean()) {
    throw PageError("The page gave a change stamp of an unexpected shape.");
  }
  std::vector<double> now = passes();
  const bool moved = now.size() != 2 || now != style_and_layout_passes_;
  style_and_layout_passes_ = std::move(now);
  return moved || first[1].get<bool>() ? full_stamp() : first[0].get<std::string>();
}

Json ChromiumPage::call_in_world(std::string_view function, const Json& arguments) {
  Json values = Json::array();
  for (const Json& argument : arguments) values.push_back({{"value", argument}});
  // As in Reader::evaluate_in_world: the first call after a new document makes a fresh world.
  for (int attempt = 1;; ++attempt) {
    try {
      Json result = session_->send("Runtime.callFunctionOn", {{"functionDeclaration", function},
                                                              {"executionContextId", reader_->world().context},
                                                              {"arguments", values},
                                                              {"returnByValue", true},
                                                              {"awaitPromise", true},
                                                              {"silent", true}});
      const auto details = result.find("exceptionDetails");
      if (attempt == 1 && details != result.end() &&
          exception_message(*details).find("__quillfen is not defined") != std::string::npos) {
        reader_->forget_world();
        continue;
      }
      return value_of(std::move(result));
    } catch (const ProtocolError& error) {
      if (attempt == 1 && std::string_view(error.what()).find("Cannot find context") != std::string_view::npos) {
        reader_->forget_world();
        continue;
      }
      throw;
    }
  }
}

std::string ChromiumPage::next_object_group() { return "quillfen-" + std::to_string(next_group_++); }

void ChromiumPage::forget_world() { reader_->forget_world(); }

std::shared_ptr<Group> ChromiumPage::query_grouped(const std::string& selector) {
  const std::uint64_t id = reader_->next_id();
  const std::shared_ptr<ScanState> scan = reader_->scan();
  const Json summary = reader_->read("__quillfen.query(" + js_string(selector) + ", " + std::to_string(id) + ", " +
                                     scan_argument(scan) + ")");
  auto hold = PageHold::kept(session_, reader_->world().context, id);
  std::vector<std::size_t> slots;
  if (const auto found = summary.find("slots"); scan && found != summary.end() && found->is_array()) {
    slots = from_runs(*found);
  }
  auto group = std::make_shared<Group>(reader_, std::move(hold), id, std::nullopt,
                                       summary.at("count").get<std::size_t>(), std::move(slots), scan,
                                       scan_bundles(selector));
  latest_query_ = group;
  labels_.reset();
  return group;
}

std::optional<std::shared_ptr<Group>> ChromiumPage::look_up_from_labels(const std::string& selector) {
  const std::shared_ptr<Group> query = latest_query_.lock();
  if (!query) {
    labels_.reset();
    return std::nullopt;
  }
  const bool by_id = selector.starts_with("#");
  const std::optional<std::string> label_for = by_id ? std::nullopt : plain_label_for(selector);
  if (!by_id && !label_for) return std::nullopt;
  if (!labels_ || labels_->query.lock() != query) {
    auto made = std::make_unique<LabelLookUps>();
    made->query = query;
    made->batch = reader_->next_id();
    made->scan = reader_->scan();
    Json answer = reader_->read("__quillfen.labels(" + std::to_string(query->id()) + ", " +
                                std::to_string(made->batch) + ", " + scan_argument(made->scan) + ")");
    made->hold = PageHold::kept(session_, reader_->world().context, made->batch);
    for (Json& entry : answer.at("ids")) {
      made->ids[entry.at(0).get<std::string>()] =
          entry.at(1).is_null() ? std::nullopt : std::optional<Kept>(Kept::from(entry.at(1)));
    }
    for (Json& entry : answer.at("labels")) {
      made->labels.emplace(entry.at(0).get<std::string>(), Kept::from(entry.at(1)));
    }
    labels_ = std::move(made);
  }
  const Kept* found = nullptr;
  if (by_id) {
    const auto entry = labels_->ids.find(selector);
    if (entry == labels_->ids.end()) return std::nullopt;
    found = entry->second ? &*entry->second : nullptr;
  } else if (const auto entry = labels_->labels.find(*label_for); entry != labels_->labels.end()) {
    found = &entry->second;
  }
  if (found == nullptr) {
    return std::make_shared<Group>(reader_, nullptr, 0, std::nullopt, 0, std::vector<std::size_t>(), nullptr);
  }
  auto group = std::make_shared<Group>(reader_, labels_->hold, labels_->batch, std::vector<std::size_t>{found->index},
                                       1, found->slots, labels_->scan);
  group->remember(read(Read::inner_text), answers_from(found->text, 1));
  return group;
}

std::shared_ptr<Group> ChromiumPage::look_up_grouped(const std::string& selector) {
  if (auto group = look_up_from_labels(selector)) return *group;
  // The helpers keep the element, in batches, and the answer comes by value: cheaper
  // than handing out a remote object, and look-ups come by the hundred in a scan. The
  // batch being filled stays held, or each short-lived look-up would cost a release.
  const long long context = reader_->world().context;
  if (!filling_batch_ || lookups_in_batch_ >= LOOKUPS_PER_BATCH || filling_batch_context_ != context) {
    filling_batch_id_ = reader_->next_id();
    filling_batch_ = PageHold::kept(session_, context, filling_batch_id_);
    filling_batch_context_ = context;
    lookups_in_batch_ = 0;
  }
  ++lookups_in_batch_;
  const std::shared_ptr<ScanState> scan = reader_->scan();
  Json summary = reader_->read("__quillfen.lookUp(" + js_string(selector) + ", " + std::to_string(filling_batch_id_) +
                               ", " + scan_argument(scan) + ")");
  if (summary.at("count").get<std::size_t>() == 0) {
    return std::make_shared<Group>(reader_, nullptr, 0, std::nullopt, 0, std::vector<std::size_t>(), nullptr);
  }
  Kept kept = Kept::from(summary);
  auto group = std::make_shared<Group>(reader_, filling_batch_, filling_batch_id_, std::vector<std::size_t>{kept.index},
                                       1, kept.slots, scan);
  group->remember(read(Read::inner_text), answers_from(std::move(kept.text), 1));
  return group;
}

std::shared_ptr<Group> ChromiumPage::query_per_question(const std::string& selector, bool first_only) {
  std::shared_ptr<PageHold> hold;
  std::string object_group;
  if (first_only) {
    // Look-ups come by the hundred in a scan and live briefly: they share an object
    // group per batch, to save a release per look-up.
    if (!lookups_ || lookups_in_object_group_ >= LOOKUPS_PER_BATCH) {
      lookups_group_ = next_object_group();
      lookups_ = PageHold::object_group(session_, lookups_group_);
      lookups_in_object_group_ = 0;
    }
    ++lookups_in_object_group_;
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
  const Json result = reader_->evaluate_in_world({{"expression", expression}, {"objectGroup", object_group}, {"silent", true}});
  if (const auto details = result.find("exceptionDetails"); details != result.end()) {
    throw PageError(exception_message(*details));
  }
  const Json properties = reader_->call("Runtime.getProperties",
                                        {{"objectId", result.at("result").at("objectId")}, {"ownProperties", true}});
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
  return std::make_shared<Group>(reader_, std::move(hold), std::move(element_ids));
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
  const Json text = value_of(reader_->evaluate(
      {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}, {"silent", true}}));
  return answers_from(parse_text(text), 1).at(0);
}

std::string ChromiumPage::url() {
  const Json href =
      value_of(reader_->call("Runtime.evaluate", {{"expression", "location.href"}, {"returnByValue", true}}));
  return href.is_string() ? href.get<std::string>() : std::string();
}

std::uint64_t ChromiumPage::carried_answers() const { return reader_->carried_answers(); }

void ChromiumPage::set_carrying(bool carrying) { reader_->set_carrying(carrying); }

}  // namespace quillfen::chromium
