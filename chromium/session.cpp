#include "chromium/session.hpp"

#include <algorithm>

namespace quillfen::chromium {

Session::Session(std::shared_ptr<Connection> connection, std::string id, std::chrono::milliseconds timeout)
    : connection_(std::move(connection)),
      id_(std::move(id)),
      timeout_(timeout),
      queue_(std::make_shared<EventQueue>()) {
  connection_->attach_events(id_, queue_);
}

Json Session::send(const std::string& method, const Json& params) { return send(method, params, timeout_); }

Json Session::send(const std::string& method, const Json& params, std::chrono::milliseconds timeout) {
  ++round_trips_;
  return connection_->call(id_, method, params, timeout);
}

Session::Started Session::start(const std::string& method, const Json& params, std::chrono::milliseconds timeout) {
  ++round_trips_;
  return Started(connection_, connection_->start(id_, method, params, Clock::now() + timeout));
}

void Session::post(const std::string& method, const Json& params) {
  ++posts_;
  connection_->post(id_, method, params);
}

std::vector<Event> Session::take_events() {
  std::vector<Event> events(std::make_move_iterator(queue_->events.begin()),
                            std::make_move_iterator(queue_->events.end()));
  queue_->events.clear();
  return events;
}

std::optional<Event> Session::wait_for_event(std::string_view method, std::chrono::milliseconds timeout) {
  const auto matches = [method](const Event& e) { return e.method == method; };
  const auto found = [&] { return std::any_of(queue_->events.begin(), queue_->events.end(), matches); };
  if (!connection_->pump_until(found, Clock::now() + timeout)) {
    return std::nullopt;
  }
  const auto at = std::find_if(queue_->events.begin(), queue_->events.end(), matches);
  Event event = std::move(*at);
  queue_->events.erase(at);
  return event;
}

std::optional<Event> Session::wait_for(const std::function<bool(const Event&)>& wanted, Clock::time_point deadline) {
  const std::uint64_t dialogs = queue_->dialogs_opened;
  const auto found = [&] { return std::any_of(queue_->events.begin(), queue_->events.end(), wanted); };
  if (!connection_->pump_until([&] { return found() || queue_->dialogs_opened != dialogs; }, deadline) || !found()) {
    return std::nullopt;
  }
  const auto at = std::find_if(queue_->events.begin(), queue_->events.end(), wanted);
  Event event = std::move(*at);
  queue_->events.erase(at);
  return event;
}

bool Session::wait_until(const std::function<bool()>& done, Clock::time_point deadline) {
  return connection_->pump_until(done, deadline);
}

void Session::drop_events(std::string_view method) {
  std::erase_if(queue_->events, [method](const Event& e) { return e.method == method; });
}

}  // namespace quillfen::chromium
