#include "chromium/tcp.hpp"

#include <boost/asio/connect.hpp>

#include <chrono>

namespace quillfen::chromium::tcp {

namespace asio = boost::asio;
using boost::system::error_code;

bool run_until(asio::io_context& io, const std::function<bool()>& done, Clock::time_point deadline) {
  while (!done()) {
    io.restart();
    // None ran: the deadline passed, or nothing is left to wait for.
    if (io.run_one_until(deadline) == 0 && (Clock::now() >= deadline || io.stopped())) {
      return done();
    }
  }
  return true;
}

void drain(asio::io_context& io) {
  // A cancelled operation may take a few turns to finish (a composed one cleans up in
  // steps), but never waits for the peer.
  for (int turn = 0; turn < 100; ++turn) {
    io.restart();
    if (io.poll() == 0) {
      return;
    }
  }
}

void connect(asio::ip::tcp::socket& socket, const Endpoint& endpoint, Clock::time_point deadline) {
  auto& io = static_cast<asio::io_context&>(socket.get_executor().context());
  // Closing the socket ends a pending connect, whose handler refers to this frame.
  const auto fail = [&](const std::string& reason) {
    error_code ignored;
    socket.close(ignored);
    drain(io);
    throw ConnectError("The browser endpoint " + endpoint.text + " cannot be reached: " + reason + ".");
  };

  asio::ip::tcp::resolver resolver(io);
  bool resolved = false;
  error_code resolve_error;
  asio::ip::tcp::resolver::results_type addresses;
  resolver.async_resolve(endpoint.host, endpoint.port,
                         [&](const error_code& error, asio::ip::tcp::resolver::results_type results) {
                           resolve_error = error;
                           addresses = std::move(results);
                           resolved = true;
                         });
  if (!run_until(io, [&] { return resolved; }, deadline)) {
    // The look-up runs on a thread of its own and cannot be stopped; its handler is
    // dropped unrun when the context goes, which is what follows this failure.
    resolver.cancel();
    fail("its host name did not resolve in time");
  }
  if (resolve_error) {
    fail("its host " + endpoint.host + " is unknown (" + resolve_error.message() + ")");
  }

  bool connected = false;
  error_code connect_error;
  asio::async_connect(socket, addresses, [&](const error_code& error, const asio::ip::tcp::endpoint&) {
    connect_error = error;
    connected = true;
  });
  if (!run_until(io, [&] { return connected; }, deadline)) {
    fail("the connection timed out");
  }
  if (connect_error) {
    fail(connect_error.message());
  }
  socket.set_option(asio::ip::tcp::no_delay(true));
}

}  // namespace quillfen::chromium::tcp
