// Whole protocol messages over Chromium's debugging pipe: each message is one JSON text
// ended by a NUL byte. Reads are buffered, since one read may hold several messages or a
// part of one; reads and writes have deadlines, and messages have a size bound (the
// browser stops serving a pipe silently when a command is too big).
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

class PipeTransport {
 public:
  static constexpr std::size_t DEFAULT_MAX_MESSAGE_BYTES = std::size_t{64} << 20;

  // `to_browser` receives commands, `from_browser` delivers replies and events.
  PipeTransport(UniqueFd to_browser, UniqueFd from_browser,
                std::size_t max_message_bytes = DEFAULT_MAX_MESSAGE_BYTES);

  // Writes one message and its NUL. Throws TransportError when the message holds a NUL or
  // is over the bound, when the deadline passes, or when the pipe is closed.
  void send(std::string_view message, Clock::time_point deadline);
  // The next message, or none when the deadline passed first. Throws TransportError when
  // the browser closed its end or the message is over the bound.
  std::optional<std::string> receive(Clock::time_point deadline);
  // Closes both ends; later calls throw TransportError.
  void close();
  bool is_open() const { return to_browser_.valid(); }

 private:
  UniqueFd to_browser_;
  UniqueFd from_browser_;
  std::size_t max_message_bytes_;
  MessageFramer framer_;
};

}  // namespace quillfen::chromium
