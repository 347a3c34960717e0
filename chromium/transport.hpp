// Whole protocol messages to and from the browser. `Transport` is what the connection
// needs of any carrier: whole messages in and out, with deadlines on both and a size
// bound. `PipeTransport` is Chromium's debugging pipe: each message is one JSON text
// ended by a NUL byte. Reads are buffered, since one read may hold several messages or a
// part of one (the browser stops serving a pipe silently when a command is too big).
// The WebSocket carrier is in websocket_transport.hpp.
#pragma once

#include "chromium/fd.hpp"
#include "engine/browser/page.hpp"

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quillfen::chromium {

using Clock = std::chrono::steady_clock;

// The pipe failed: closed by the browser, a time-out, or a message over the size bound.
// The browser is out of reach unless the kind says it was only slow to answer.
class TransportError : public PageError {
 public:
  explicit TransportError(const std::string& message, Kind kind = Kind::gone) : PageError(message, kind) {}
};

// Cuts a byte stream into NUL-terminated messages.
class MessageFramer {
 public:
  explicit MessageFramer(std::size_t max_message_bytes) : max_message_bytes_(max_message_bytes) {}

  // Adds bytes as read. Throws TransportError when a message grows past the bound; that
  // message is skipped up to its end, and the messages around it are kept.
  void feed(std::string_view bytes);
  // The next complete message, without its NUL, or none.
  std::optional<std::string> next();
  // Bytes of a message whose end has not arrived yet.
  std::size_t pending_bytes() const { return buffer_.size(); }

 private:
  std::size_t max_message_bytes_;
  std::string buffer_;
  bool discarding_ = false;
  std::deque<std::string> complete_;
};

// A carrier of whole messages. A failure throws TransportError: kind `gone` when the
// peer closed or the carrier broke, and the transport is closed from then on.
class Transport {
 public:
  static constexpr std::size_t DEFAULT_MAX_MESSAGE_BYTES = std::size_t{64} << 20;

  virtual ~Transport() = default;
  // Sends one whole message. Throws TransportError when it is over the bound (the
  // transport stays open), when the deadline passes (a half-sent message would corrupt
  // every later one, so the transport closes), or when the peer is gone.
  virtual void send(std::string_view message, Clock::time_point deadline) = 0;
  // The next whole message, or none when the deadline passed first. Throws
  // TransportError when the peer closed, or once for each message over the bound (which
  // is skipped; the messages after it are kept).
  virtual std::optional<std::string> receive(Clock::time_point deadline) = 0;
  // Closes the carrier; later calls throw TransportError.
  virtual void close() = 0;
  virtual bool is_open() const = 0;
};

class PipeTransport : public Transport {
 public:
  // `to_browser` receives commands, `from_browser` delivers replies and events.
  PipeTransport(UniqueFd to_browser, UniqueFd from_browser,
                std::size_t max_message_bytes = DEFAULT_MAX_MESSAGE_BYTES);

  // Writes one message and its NUL; a message holding a NUL is refused too.
  void send(std::string_view message, Clock::time_point deadline) override;
  std::optional<std::string> receive(Clock::time_point deadline) override;
  // Closes both ends.
  void close() override;
  bool is_open() const override { return to_browser_.valid(); }

 private:
  UniqueFd to_browser_;
  UniqueFd from_browser_;
  std::size_t max_message_bytes_;
  MessageFramer framer_;
};

}  // namespace quillfen::chromium
