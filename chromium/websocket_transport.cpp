#include "chromium/websocket_transport.hpp"

#include "chromium/tcp.hpp"

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/websocket.hpp>

#include <deque>

namespace quillfen::chromium {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using boost::system::error_code;

namespace {

constexpr std::size_t READ_CHUNK = 1 << 16;
constexpr const char* CLOSED_BY_PEER = "The browser closed the connection (it may have crashed).";

}  // namespace

// Reading goes on in the background whenever a call runs the I/O context, so that a
// command's write never waits on a browser that is itself waiting to send.
struct WebSocketTransport::State {
  explicit State(std::size_t max_message_bytes) : max_message_bytes(max_message_bytes) {}

  void read_more() {
    if (reading || !open) {
      return;
    }
    reading = true;
    ws.async_read_some(chunk, READ_CHUNK, [this](const error_code& error, std::size_t) { on_read(error); });
  }

  void on_read(const error_code& error) {
    reading = false;
    if (error) {
      if (open) {
        failure = error == websocket::error::closed || error == asio::error::eof ||
                          error == asio::error::connection_reset || error == asio::error::broken_pipe
                      ? CLOSED_BY_PEER
                      : "Reading from the browser failed: " + error.message() + ".";
        close_socket();
      }
      return;
    }
    const auto bytes = chunk.data();
    if (!discarding && partial.size() + bytes.size() > max_message_bytes) {
      partial.clear();
      discarding = true;
    }
    if (!discarding) {
      partial.append(static_cast<const char*>(bytes.data()), bytes.size());
    }
    chunk.consume(bytes.size());
    if (ws.is_message_done()) {
      if (discarding) {
        ready.emplace_back(std::nullopt);
      } else {
        ready.emplace_back(std::move(partial));
      }
      partial.clear();
      discarding = false;
    }
    read_more();
  }

  // Closes the socket; pending operations end with an error when the context runs next.
  // Handlers may call this; nothing else that runs the context.
  void close_socket() {
    open = false;
    error_code ignored;
    ws.next_layer().close(ignored);
  }

  // Closes the socket and runs the handlers of the operations it ended, before anything
  // they refer to can go.
  void shut() {
    close_socket();
    tcp::drain(io);
  }

  std::size_t max_message_bytes;
  asio::io_context io;
  websocket::stream<asio::ip::tcp::socket> ws{io};
  bool open = false;
  bool reading = false;
  beast::flat_buffer chunk;
  // The message being read, and whether it is over the bound and being skipped.
  std::string partial;
  bool discarding = false;
  // Whole messages in arrival order; none stands for one that was over the bound.
  std::deque<std::optional<std::string>> ready;
  // Why reading stopped, once it has.
  std::optional<std::string> failure;
};

std::unique_ptr<WebSocketTransport> WebSocketTransport::open(const Endpoint& endpoint, Clock::time_point deadline,
                                                             std::size_t max_message_bytes) {
  auto state = std::make_unique<State>(max_message_bytes);
  tcp::connect(state->ws.next_layer(), endpoint, deadline);
  // The bound is kept by skipping messages, not by failing the connection as Beast's
  // own limit would.
  state->ws.read_message_max(0);
  // Each command in one frame: some DevTools servers do not join fragments.
  state->ws.auto_fragment(false);
  state->ws.text(true);

  websocket::response_type response;
  bool done = false;
  error_code error;
  state->ws.async_handshake(response, endpoint.authority(), endpoint.target, [&](const error_code& e) {
    error = e;
    done = true;
  });
  const bool answered = tcp::run_until(state->io, [&] { return done; }, deadline);
  if (answered && !error) {
    state->open = true;
    return std::unique_ptr<WebSocketTransport>(new WebSocketTransport(std::move(state)));
  }
  state->shut();
  const std::string where = "The browser endpoint " + endpoint.text;
  if (!answered) {
    throw ConnectError(where + " did not answer the WebSocket handshake in time.");
  }
  if (error == websocket::error::upgrade_declined) {
    throw ConnectError(where + " is not a DevTools endpoint: it declined the WebSocket handshake with HTTP " +
                       std::to_string(response.result_int()) + ".");
  }
  if (error == asio::error::eof || error == beast::http::error::end_of_stream ||
      error == beast::http::error::partial_message || error == asio::error::connection_reset) {
    throw ConnectError(where + " is not a DevTools endpoint: it closed the connection during the handshake.");
  }
  if (error.category() == beast::http::make_error_code(beast::http::error::bad_version).category()) {
    throw ConnectError(where + " is not a DevTools endpoint: it does not answer in HTTP.");
  }
  throw ConnectError(where + " cannot be reached: " + error.message() + ".");
}

WebSocketTransport::WebSocketTransport(std::unique_ptr<State> state) : state_(std::move(state)) {}

WebSocketTransport::~WebSocketTransport() { close(); }

void WebSocketTransport::send(std::string_view message, Clock::time_point deadline) {
  State& s = *state_;
  if (!s.open) {
    throw TransportError(s.failure.value_or("The connection to the browser is closed."));
  }
  if (message.size() >= s.max_message_bytes) {
    throw TransportError("A command of " + std::to_string(message.size()) +
                         " bytes is larger than the connection allows.");
  }
  bool written = false;
  error_code error;
  s.ws.async_write(asio::buffer(message.data(), message.size()), [&](const error_code& e, std::size_t) {
    error = e;
    written = true;
  });
  s.read_more();
  const bool in_time = tcp::run_until(s.io, [&] { return written; }, deadline);
  if (!in_time || error) {
    // A half-sent frame would corrupt every later one. Closing ends the write, whose
    // handler refers to this frame.
    if (s.open) {
      s.failure = in_time ? CLOSED_BY_PEER : "The browser did not take a command in time.";
    }
    s.shut();
    tcp::run_until(s.io, [&] { return written; }, Clock::now() + std::chrono::seconds(1));
    throw TransportError(in_time ? CLOSED_BY_PEER : "The browser did not take a command in time.");
  }
}

std::optional<std::string> WebSocketTransport::receive(Clock::time_point deadline) {
  State& s = *state_;
  while (true) {
    if (!s.ready.empty()) {
      std::optional<std::string> message = std::move(s.ready.front());
      s.ready.pop_front();
      if (!message) {
        throw TransportError("A message from the browser is larger than " + std::to_string(s.max_message_bytes) +
                             " bytes.");
      }
      return message;
    }
    if (!s.open) {
      throw TransportError(s.failure.value_or("The connection to the browser is closed."));
    }
    s.read_more();
    if (!tcp::run_until(s.io, [&] { return !s.ready.empty() || !s.open; }, deadline)) {
      return std::nullopt;
    }
  }
}

void WebSocketTransport::close() {
  if (state_->open) {
    state_->failure = "The connection to the browser is closed.";
  }
  state_->shut();
}

bool WebSocketTransport::is_open() const { return state_->open; }

}  // namespace quillfen::chromium
