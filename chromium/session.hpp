// One protocol session: the browser itself or a page target attached with flat
// sessions. `send` is a blocking command; events of the session are queued for the
// caller to drain or wait for. The session also knows what its events said of the page:
// the JavaScript dialog open on it (which blocks its commands, see connection.hpp) and
// whether it crashed.
#pragma once

#include "chromium/connection.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::chromium {

class Session {
 public:
  static constexpr std::chrono::milliseconds DEFAULT_TIMEOUT{30000};

  Session(std::shared_ptr<Connection> connection, std::string id,
          std::chrono::milliseconds timeout = DEFAULT_TIMEOUT);

  // Runs a command such as "Input.dispatchMouseEvent" and returns its result object.
  // Throws PageError (ProtocolError, TransportError) on failure or time-out.
  Json send(const std::string& method, const Json& params = Json::object());
  Json send(const std::string& method, const Json& params, std::chrono::milliseconds timeout);

  // Sends a command without waiting for its reply (releasing objects, for example).
  void post(const std::string& method, const Json& params = Json::object());

  // A command under way whose reply is waited for later (see Connection::start); its
  // reply is dropped if it is let go of first.
  class Started {
   public:
    Started(std::shared_ptr<Connection> connection, Connection::Started started)
        : connection_(std::move(connection)), started_(std::move(started)) {}
    Started(Started&&) = default;
    Started& operator=(Started&&) = default;
    ~Started() {
      if (connection_) connection_->forget(started_);
    }
    // Waits for the reply, as send does.
    Json finish(std::chrono::milliseconds timeout) { return connection_->finish(started_, timeout); }

   private:
    std::shared_ptr<Connection> connection_;
    Connection::Started started_;
  };
  // Sends a command, as send does, without waiting for its reply.
  Started start(const std::string& method, const Json& params, std::chrono::milliseconds timeout);

  // The events received so far, oldest first; they leave the queue.
  std::vector<Event> take_events();
  // Waits for an event of `method` (one already queued counts), removes it from the queue
  // and returns it; none when the time-out passes first. Other events stay queued.
  std::optional<Event> wait_for_event(std::string_view method, std::chrono::milliseconds timeout);
  // Waits for an event that `wanted` accepts, as wait_for_event does; none when the
  // deadline passes first or a dialog opens on the page meanwhile.
  std::optional<Event> wait_for(const std::function<bool(const Event&)>& wanted, Clock::time_point deadline);
  // Reads and queues what arrives until `done` holds or the deadline passes; returns
  // whether `done` held.
  bool wait_until(const std::function<bool()>& done, Clock::time_point deadline);
  // Removes the queued events of `method`, for example load events of an earlier page.
  void drop_events(std::string_view method);

  // The parameters of the Page.javascriptDialogOpening event of the dialog open now.
  const std::optional<Json>& open_dialog() const { return queue_->dialog; }
  // Dialogs opened on the page so far.
  std::uint64_t dialogs_opened() const { return queue_->dialogs_opened; }
  // Forgets the open dialog, when the browser says none is showing.
  void forget_dialog() { queue_->dialog.reset(); }
  bool crashed() const { return queue_->crashed; }

  const std::string& id() const { return id_; }
  std::chrono::milliseconds timeout() const { return timeout_; }
  // Commands this session sent and waited for (one round trip each).
  std::uint64_t round_trips() const { return round_trips_; }
  // Commands this session sent without waiting.
  std::uint64_t posts() const { return posts_; }
  Connection& connection() { return *connection_; }

 private:
  std::shared_ptr<Connection> connection_;
  std::string id_;
  std::chrono::milliseconds timeout_;
  std::shared_ptr<EventQueue> queue_;
  std::uint64_t round_trips_ = 0;
  std::uint64_t posts_ = 0;
};

}  // namespace quillfen::chromium
