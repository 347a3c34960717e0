// Whole protocol messages over a WebSocket, the way a browser started with
// --remote-debugging-port (or a browser farm) serves the DevTools protocol. Framing,
// masking and the control frames (ping, pong, close) are Boost.Beast's; this class adds
// what the connection needs of a transport: deadlines on every read and write, and a
// bound on message sizes that skips an oversized message and keeps the ones after it.
// A message may arrive in many frames and TCP reads; each command goes out as one frame.
#pragma once

#include "chromium/endpoint.hpp"
#include "chromium/transport.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillfen::chromium {

class WebSocketTransport : public Transport {
 public:
  // Connects to a ws:// endpoint and makes the WebSocket handshake. Throws ConnectError
  // when nothing answers there by the deadline, or what answers declines the handshake
  // (it is not a DevTools endpoint).
  static std::unique_ptr<WebSocketTransport> open(const Endpoint& endpoint, Clock::time_point deadline,
                                                  std::size_t max_message_bytes = DEFAULT_MAX_MESSAGE_BYTES);
  ~WebSocketTransport() override;
  WebSocketTransport(const WebSocketTransport&) = delete;
  WebSocketTransport& operator=(const WebSocketTransport&) = delete;

  void send(std::string_view message, Clock::time_point deadline) override;
  std::optional<std::string> receive(Clock::time_point deadline) override;
  // Closes the TCP connection at once: a closing handshake could wait on a peer that
  // answers nothing.
  void close() override;
  bool is_open() const override;

 private:
  struct State;
  explicit WebSocketTransport(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

}  // namespace quillfen::chromium
