#include "chromium/transport.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quillfen::chromium {

namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;

int millis_until(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
}

// Waits until `fd` is ready for `events`; false when the deadline passed first.
bool wait_ready(int fd, short events, Clock::time_point deadline) {
  while (true) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, millis_until(deadline));
    if (n > 0) {
      return true;
    }
    if (n == 0) {
      return false;
    }
    if (errno != EINTR) {
      throw TransportError(std::string("Waiting on the browser pipe failed: ") + std::strerror(errno) + ".");
    }
  }
}

void set_nonblocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) {
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  }
}

}  // namespace

void MessageFramer::feed(std::string_view bytes) {
  // Only the new bytes are searched for the terminator, so a message that arrives in
  // many reads costs time linear in its size.
  bool oversized = false;
  while (!bytes.empty()) {
    const auto end = bytes.find('\0');
    const auto part = bytes.substr(0, end);
    // The rest of an oversized message is dropped up to its end, so that the messages
    // after it are read correctly.
    if (!discarding_ && buffer_.size() + part.size() > max_message_bytes_) {
      buffer_.clear();
      discarding_ = true;
      oversized = true;
    } else if (!discarding_) {
      buffer_.append(part);
    }
    if (end == std::string_view::npos) {
      break;
    }
    if (!discarding_) {
      complete_.push_back(std::move(buffer_));
    }
    buffer_.clear();
    discarding_ = false;
    bytes.remove_prefix(end + 1);
  }
  if (oversized) {
    throw TransportError("A message from the browser is larger than " +
                         std::to_string(max_message_bytes_) + " bytes.");
  }
}

std::optional<std::string> MessageFramer::next() {
  if (complete_.empty()) {
    return std::nullopt;
  }
  std::string message = std::move(complete_.front());
  complete_.pop_front();
  return message;
}

PipeTransport::PipeTransport(UniqueFd to_browser, UniqueFd from_browser, std::size_t max_message_bytes)
    : to_browser_(std::move(to_browser)),
      from_browser_(std::move(from_browser)),
      max_message_bytes_(max_message_bytes),
      framer_(max_message_bytes) {
  set_nonblocking(to_browser_.get());
  set_nonblocking(from_browser_.get());
}

void PipeTransport::send(std::string_view message, Clock::time_point deadline) {
  if (!is_open()) {
    throw TransportError("The connection to the browser is closed.");
  }
  if (message.size() >= max_message_bytes_) {
    throw TransportError("A command of " + std::to_string(message.size()) +
                         " bytes is larger than the pipe allows.");
  }
  if (message.find('\0') != std::string_view::npos) {
    throw TransportError("A command holds a NUL byte, which ends messages on the pipe.");
  }
  std::string framed(message);
  framed.push_back('\0');
  std::string_view rest = framed;
  while (!rest.empty()) {
    const ssize_t n = ::write(to_browser_.get(), rest.data(), rest.size());
    if (n > 0) {
      rest.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_ready(to_browser_.get(), POLLOUT, deadline)) {
        // A half-written message would corrupt every later one.
        close();
        throw TransportError("The browser did not take a command in time.");
      }
      continue;
    }
    close();
    throw TransportError("The browser closed the connection (it may have crashed).");
  }
}

std::optional<std::string> PipeTransport::receive(Clock::time_point deadline) {
  if (auto ready = framer_.next()) {
    return ready;
  }
  if (!from_browser_.valid()) {
    throw TransportError("The connection to the browser is closed.");
  }
  char chunk[READ_CHUNK];
  while (true) {
    const ssize_t n = ::read(from_browser_.get(), chunk, sizeof chunk);
    if (n > 0) {
      framer_.feed(std::string_view(chunk, static_cast<std::size_t>(n)));
      if (auto ready = framer_.next()) {
        return ready;
      }
      continue;
    }
    if (n == 0) {
      close();
      throw TransportError("The browser closed the connection (it may have crashed).");
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!wait_ready(from_browser_.get(), POLLIN, deadline)) {
        return std::nullopt;
      }
      continue;
    }
    close();
    throw TransportError(std::string("Reading from the browser failed: ") + std::strerror(errno) + ".");
  }
}

void PipeTransport::close() {
  to_browser_.reset();
  from_browser_.reset();
}

}  // namespace quillfen::chromium
