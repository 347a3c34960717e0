// Where a running browser waits for DevTools clients, as a user writes it: the browser's
// own WebSocket address (ws://HOST:PORT/devtools/browser/ID), or its DevTools HTTP
// server (http://HOST:PORT), which names that address in GET /json/version. This module
// reads such an address and finds the WebSocket address behind it; the WebSocket itself
// is websocket_transport.hpp's job.
#pragma once

#include "chromium/transport.hpp"

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillfen::chromium {

// A running browser could not be reached or used; what() is one sentence for the user:
// the address is malformed, nothing answers there, or what answers is not a browser's
// DevTools endpoint.
class ConnectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Endpoint {
  enum class Scheme { ws, http };
  Scheme scheme = Scheme::ws;
  // A name or an address; an IPv6 address without its brackets.
  std::string host;
  // Digits; the scheme's port 80 when the address names none.
  std::string port;
  // The path and query, starting with '/'.
  std::string target;
  // The address as the user wrote it, for messages.
  std::string text;

  // HOST:PORT as a Host header names it (an IPv6 address in brackets).
  std::string authority() const;
};

// Reads an address. Throws ConnectError saying what is wrong with it: no ws:// or
// http:// scheme (secure ones are not supported), a bad host or port, a path on an
// http:// address, spaces or control characters.
Endpoint parse_endpoint(std::string_view text);

// The browser's WebSocket address: a ws:// endpoint as it is, or for an http:// one the
// webSocketDebuggerUrl of its GET /json/version. Throws ConnectError when nothing
// answers by the deadline or what answers is not a DevTools endpoint.
Endpoint browser_websocket(const Endpoint& endpoint, Clock::time_point deadline);

}  // namespace quillfen::chromium
