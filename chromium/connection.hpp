// The protocol connection: numbers the commands, matches replies to them, and routes
// events to the session they belong to. The browser itself is the root session, whose
// id is "". Single-threaded: a caller waiting for a reply reads and dispatches whatever
// arrives meanwhile, so event handlers run inside that wait and may send commands.
#pragma once

#include "chromium/transport.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace quillfen::chromium {

// An event the browser sent, such as Page.loadEventFired.
struct Event {
  std::string session_id;
  std::string method;
  Json params;
};

// The browser answered a command with an error; `code` is the protocol's error code.
class ProtocolError : public PageError {
 public:
  ProtocolError(int code, const std::string& message) : PageError(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// The events of one session, in arrival order, plus an optional handler that sees each
// event as it arrives. Sessions own it; the connection only refers to it.
struct EventQueue {
  static constexpr std::size_t MAX_QUEUED = 10000;
  std::deque<Event> events;
  std::function<void(const Event&)> handler;
};

class Connection {
 public:
  explicit Connection(std::unique_ptr<PipeTransport> transport);

  // Sends a command to a session ("" for the browser) and waits for its reply's result.
  // Throws ProtocolError for an error reply and TransportError when the pipe fails or no
  // reply came within the time-out.
  Json call(const std::string& session_id, const std::string& method, const Json& params,
            std::chrono::milliseconds timeout);
  // Sends a command without waiting; its reply, error or not, is dropped when it comes.
  void post(const std::string& session_id, const std::string& method, const Json& params);
  // Reads and dispatches messages until the deadline or until `done` holds; returns
  // whether `done` held. Used to wait for events.
  bool pump_until(const std::function<bool()>& done, Clock::time_point deadline);

  // Routes the events of `session_id` to `queue` from now on, until the queue is gone.
  void attach_events(const std::string& session_id, std::weak_ptr<EventQueue> queue);

  // Commands answered so far (one round trip each); posted commands do not count.
  std::uint64_t round_trips() const { return round_trips_; }
  void close() { transport_->close(); }
  bool is_open() const { return transport_->is_open(); }

 private:
  void dispatch(const std::string& message);

  std::unique_ptr<PipeTransport> transport_;
  std::int64_t next_id_ = 1;
  std::map<std::int64_t, Json> replies_;
  // Commands awaiting a reply, with their session.
  std::map<std::int64_t, std::string> waiting_;
  std::map<std::string, std::weak_ptr<EventQueue>> queues_;
  // Sessions detached or crashed: their commands fail instead of waiting.
  std::set<std::string> gone_sessions_;
  std::uint64_t round_trips_ = 0;
};

}  // namespace quillfen::chromium
