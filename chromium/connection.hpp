// The protocol connection: numbers the commands, matches replies to them, and routes
// events to the session they belong to. The browser itself is the root session, whose
// id is "". Single-threaded: a caller waiting for a reply reads and dispatches whatever
// arrives meanwhile, which only queues each event with its own session; no code of
// another session runs inside the wait.
//
// A JavaScript dialog blocks its page: the page answers nothing until the dialog is
// closed. So a dialog that opens ends the waits of its own session's commands with
// PageError of kind `dialog`, and while one is open, a command of that session other
// than the one that answers it fails at once the same way. Other sessions go on.
#pragma once

#include "chromium/transport.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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

// The events of one session, in arrival order, and what the connection noted of them as
// they arrived: the open dialog and a crash. Sessions own it; the connection only refers
// to it.
struct EventQueue {
  static constexpr std::size_t MAX_QUEUED = 10000;
  std::deque<Event> events;
  // The parameters of Page.javascriptDialogOpening while that dialog is open.
  std::optional<Json> dialog;
  // Dialogs opened so far: a wait ends when this grows.
  std::uint64_t dialogs_opened = 0;
  bool crashed = false;
};

class Connection {
 public:
  explicit Connection(std::unique_ptr<Transport> transport);

  // Sends a command to a session ("" for the browser) and waits for its reply's result.
  // Throws ProtocolError for an error reply, TransportError when the transport fails or
  // no reply came within the time-out, and PageError of kind `dialog` when a dialog of the
  // session is open or opens meanwhile (see above).
  Json call(const std::string& session_id, const std::string& method, const Json& params,
            std::chrono::milliseconds timeout);

  // A command sent whose reply is kept for `finish`: several can be under way at once,
  // and the browser works through them without waiting for this side in between.
  struct Started {
    std::int64_t id = 0;
    std::string session_id;
    std::string method;
    // Dialogs of the session opened when it was sent (see finish).
    std::uint64_t dialogs = 0;
  };
  // Sends a command as `call` does, without waiting; fails as `call` does when it cannot
  // be sent. Its reply is kept until `finish` or `forget`.
  Started start(const std::string& session_id, const std::string& method, const Json& params,
                Clock::time_point deadline);
  // Waits for the reply of a started command, as `call` does; a dialog that opened
  // since it was sent ends the wait.
  Json finish(const Started& started, std::chrono::milliseconds timeout);
  // Drops a started command's reply, now or when it comes.
  void forget(const Started& started);
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
  std::shared_ptr<EventQueue> queue_of(const std::string& session_id) const;

  std::unique_ptr<Transport> transport_;
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
