#include "chromium/connection.hpp"

#include <cctype>
#include <string_view>

namespace quillfen::chromium {

namespace {

// The one command a page with an open dialog still takes.
constexpr std::string_view ANSWER_DIALOG = "Page.handleJavaScriptDialog";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of a \uXXXX escape starting at `at`, or none.
std::optional<unsigned> escape_at(std::string_view text, std::size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') {
    return std::nullopt;
  }
  unsigned unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const int digit = hex_value(text[i]);
    if (digit < 0) {
      return std::nullopt;
    }
    unit = unit * 16 + static_cast<unsigned>(digit);
  }
  return unit;
}

bool is_high(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The browser escapes every non-ASCII character, and page text may hold lone
// surrogates, which no JSON parser accepts: they become U+FFFD.
std::string replace_lone_surrogates(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i++]);
      continue;
    }
    const auto unit = escape_at(text, i);
    if (!unit) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (is_high(*unit)) {
      const auto next = escape_at(text, i + 6);
      if (next && is_low(*next)) {
        out.append(text.substr(i, 12));
        i += 12;
        continue;
      }
    }
    out.append(is_high(*unit) || is_low(*unit) ? "\\ufffd" : text.substr(i, 6));
    i += 6;
  }
  return out;
}

// The "id" of a reply that could not be parsed, so that its caller is not left waiting.
std::optional<std::int64_t> leading_id(std::string_view text) {
  constexpr std::string_view prefix = "{\"id\":";
  if (text.substr(0, prefix.size()) != prefix) {
    return std::nullopt;
  }
  std::int64_t id = 0;
  std::size_t i = prefix.size();
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) {
    return std::nullopt;
  }
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    id = id * 10 + (text[i] - '0');
  }
  return id;
}

// A member of an object, or null. Messages are read as they come, so a member may be
// missing or of any type, and the object may be no object at all.
const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) {
    return nullptr;
  }
  const auto it = object.find(key);
  return it != object.end() ? &*it : nullptr;
}

// A string member, or "" when it is missing or not a string.
std::string string_member(const Json& object, const char* key) {
  const Json* value = member(object, key);
  return value != nullptr && value->is_string() ? value->get<std::string>() : std::string();
}

Json parse_message(const std::string& message) {
  Json parsed = Json::parse(message, nullptr, false);
  if (parsed.is_discarded()) {
    parsed = Json::parse(replace_lone_surrogates(message), nullptr, false);
  }
  if (parsed.is_discarded()) {
    if (const auto id = leading_id(message)) {
      return Json{{"id", *id},
                  {"error", {{"code", -32700}, {"message", "The browser's reply is not valid JSON."}}}};
    }
  }
  return parsed;
}

}  // namespace

Connection::Connection(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

Json Connection::call(const std::string& session_id, const std::string& method, const Json& params,
                      std::chrono::milliseconds timeout) {
  const Started started = start(session_id, method, params, Clock::now() + timeout);
  struct Forget {
    Connection& connection;
    const Started& started;
    ~Forget() { connection.forget(started); }
  } forget{*this, started};
  return finish(started, timeout);
}

Connection::Started Connection::start(const std::string& session_id, const std::string& method, const Json& params,
                                      Clock::time_point deadline) {
  const std::int64_t id = next_id_++;
  Json message{{"id", id}, {"method", method}, {"params", params}};
  if (!session_id.empty()) {
    message["sessionId"] = session_id;
  }
  const std::shared_ptr<EventQueue> queue = queue_of(session_id);
  if (queue && queue->dialog && method != ANSWER_DIALOG) {
    throw PageError(method + ": a dialog is open on the page.", PageError::Kind::dialog);
  }
  const std::uint64_t dialogs = queue ? queue->dialogs_opened : 0;
  transport_->send(message.dump(-1, ' ', false, Json::error_handler_t::replace), deadline);
  waiting_.emplace(id, session_id);
  return Started{id, session_id, method, dialogs};
}

void Connection::forget(const Started& started) {
  waiting_.erase(started.id);
  replies_.erase(started.id);
}

Json Connection::finish(const Started& started, std::chrono::milliseconds timeout) {
  const std::string& method = started.method;
  const std::string& session_id = started.session_id;
  const auto deadline = Clock::now() + timeout;
  const std::shared_ptr<EventQueue> queue = queue_of(session_id);
  while (true) {
    if (const auto reply = replies_.find(started.id); reply != replies_.end()) {
      Json answer = std::move(reply->second);
      replies_.erase(reply);
      waiting_.erase(started.id);
      ++round_trips_;
      if (const auto error = answer.find("error"); error != answer.end()) {
        const Json* code = member(*error, "code");
        const Json* data = member(*error, "data");
        const std::string text = string_member(*error, "message");
        throw ProtocolError(code != nullptr && code->is_number_integer() ? code->get<int>() : 0,
                            method + ": " + (text.empty() ? std::string("unknown error") : text) +
                                (data != nullptr ? " (" + data->dump(-1, ' ', false, Json::error_handler_t::replace) + ")"
                                                 : ""));
      }
      return answer.contains("result") ? std::move(answer["result"]) : Json::object();
    }
    if (!session_id.empty() && gone_sessions_.count(session_id) != 0) {
      throw PageError(method + ": the page was closed or crashed.", PageError::Kind::gone);
    }
    if (queue && queue->dialogs_opened != started.dialogs) {
      throw PageError(method + ": a dialog opened on the page.", PageError::Kind::dialog);
    }
    const auto next = transport_->receive(deadline);
    if (!next) {
      throw TransportError(method + " got no answer within " + std::to_string(timeout.count()) + " ms.",
                           PageError::Kind::timeout);
    }
    dispatch(*next);
  }
}

void Connection::post(const std::string& session_id, const std::string& method, const Json& params) {
  Json message{{"id", next_id_++}, {"method", method}, {"params", params}};
  if (!session_id.empty()) {
    message["sessionId"] = session_id;
  }
  transport_->send(message.dump(-1, ' ', false, Json::error_handler_t::replace),
                   Clock::now() + std::chrono::seconds(5));
}

bool Connection::pump_until(const std::function<bool()>& done, Clock::time_point deadline) {
  while (!done()) {
    const auto next = transport_->receive(deadline);
    if (!next) {
      return done();
    }
    dispatch(*next);
  }
  return true;
}

std::shared_ptr<EventQueue> Connection::queue_of(const std::string& session_id) const {
  const auto entry = queues_.find(session_id);
  return entry == queues_.end() ? nullptr : entry->second.lock();
}

void Connection::attach_events(const std::string& session_id, std::weak_ptr<EventQueue> queue) {
  queues_[session_id] = std::move(queue);
}

void Connection::dispatch(const std::string& text) {
  Json message = parse_message(text);
  if (!message.is_object()) {
    return;
  }
  if (const auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
    // Replies to commands that timed out or were posted have no one waiting: dropped.
    const auto reply_id = id->get<std::int64_t>();
    if (waiting_.count(reply_id) != 0) {
      replies_[reply_id] = std::move(message);
    }
    return;
  }
  Event event{string_member(message, "sessionId"), string_member(message, "method"),
              message.contains("params") ? std::move(message["params"]) : Json::object()};
  if (event.method == "Target.detachedFromTarget") {
    if (const std::string gone = string_member(event.params, "sessionId"); !gone.empty()) {
      gone_sessions_.insert(gone);
    }
  } else if (event.method == "Inspector.targetCrashed" || event.method == "Inspector.detached") {
    gone_sessions_.insert(event.session_id);
  }
  const auto entry = queues_.find(event.session_id);
  if (entry == queues_.end()) {
    return;
  }
  const auto queue = entry->second.lock();
  if (!queue) {
    queues_.erase(entry);
    return;
  }
  if (event.method == "Page.javascriptDialogOpening") {
    queue->dialog = event.params;
    ++queue->dialogs_opened;
  } else if (event.method == "Page.javascriptDialogClosed") {
    queue->dialog.reset();
  } else if (event.method == "Inspector.targetCrashed") {
    queue->crashed = true;
  }
  queue->events.push_back(std::move(event));
  if (queue->events.size() > EventQueue::MAX_QUEUED) {
    queue->events.pop_front();
  }
}

}  // namespace quillfen::chromium
