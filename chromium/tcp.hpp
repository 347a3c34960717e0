// TCP with deadlines over Boost.Asio, for the WebSocket transport and the DevTools HTTP
// look-up: each operation is started asynchronously, and the caller runs the I/O context
// until the operation is done or its deadline has passed. Internal to chromium/.
#pragma once

#include "chromium/endpoint.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <functional>

namespace quillfen::chromium::tcp {

// Runs handlers of `io` until `done()` holds or the deadline passes; returns `done()`.
bool run_until(boost::asio::io_context& io, const std::function<bool()>& done, Clock::time_point deadline);

// Runs the handlers that are ready (those of operations cancelled by closing a socket,
// for example), so that none refers to state about to go.
void drain(boost::asio::io_context& io);

// Connects `socket` to the endpoint's host and port, trying each address the host has.
// Throws ConnectError when the host is unknown, nothing accepts the connection, or the
// deadline passes first; the context is then not to be run again (a host look-up still
// under way completes into it).
void connect(boost::asio::ip::tcp::socket& socket, const Endpoint& endpoint, Clock::time_point deadline);

}  // namespace quillfen::chromium::tcp
