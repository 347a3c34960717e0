#include "chromium/endpoint.hpp"

#include "chromium/tcp.hpp"
#include "engine/core/text.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <cctype>

namespace quillfen::chromium {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using boost::system::error_code;

namespace {

constexpr std::string_view EXPECTED = "write ws://HOST:PORT/devtools/browser/ID or http://HOST:PORT";
// A DevTools /json/version answer is a few hundred bytes.
constexpr std::uint64_t MAX_VERSION_BYTES = 1 << 20;

[[noreturn]] void malformed(std::string_view text, const std::string& reason) {
  throw ConnectError("The browser endpoint " + text::quoted(text) + " is malformed: " + reason + "; " +
                     std::string(EXPECTED) + ".");
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

bool is_host_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

}  // namespace

std::string Endpoint::authority() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + port;
}

Endpoint parse_endpoint(std::string_view text) {
  if (text.empty()) {
    malformed(text, "it is empty");
  }
  if (std::any_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; })) {
    malformed(text, "it holds a space or a control character");
  }
  Endpoint endpoint;
  endpoint.text = std::string(text);
  std::string_view rest;
  if (starts_with_ignoring_case(text, "ws://")) {
    endpoint.scheme = Endpoint::Scheme::ws;
    rest = text.substr(5);
  } else if (starts_with_ignoring_case(text, "http://")) {
    endpoint.scheme = Endpoint::Scheme::http;
    rest = text.substr(7);
  } else if (starts_with_ignoring_case(text, "wss://") || starts_with_ignoring_case(text, "https://")) {
    malformed(text, "secure connections (wss://, https://) are not supported");
  } else {
    malformed(text, "it does not start with ws:// or http://");
  }

  const auto authority_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authority_end);
  const std::string_view target = authority_end == std::string_view::npos ? "" : rest.substr(authority_end);
  if (authority.find('@') != std::string_view::npos) {
    malformed(text, "user names and passwords in the address are not supported");
  }
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) {
      malformed(text, "its IPv6 address has no closing ]");
    }
    endpoint.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') {
      malformed(text, "its IPv6 address is followed by something other than a port");
    }
    port = after.empty() ? after : after.substr(1);
    if (endpoint.host.empty() || endpoint.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) {
      malformed(text, "its IPv6 address is not valid");
    }
  } else {
    const auto colon = authority.rfind(':');
    endpoint.host = std::string(authority.substr(0, colon));
    port = colon == std::string_view::npos ? std::string_view() : authority.substr(colon + 1);
    if (endpoint.host.empty()) {
      malformed(text, "it names no host");
    }
    if (!std::all_of(endpoint.host.begin(), endpoint.host.end(), is_host_char)) {
      malformed(text, "its host " + text::quoted(endpoint.host) + " is not a host name or address");
    }
  }
  if (authority.find(':') != std::string_view::npos && port.empty()) {
    malformed(text, "its port is empty");
  }
  if (port.empty()) {
    endpoint.port = "80";
  } else if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos ||
             std::stoi(std::string(port)) < 1 || std::stoi(std::string(port)) > 65535) {
    malformed(text, "its port " + text::quoted(port) + " is not a number from 1 to 65535");
  } else {
    endpoint.port = std::string(port);
  }

  if (target.find('#') != std::string_view::npos) {
    malformed(text, "it has a fragment (#...)");
  }
  if (endpoint.scheme == Endpoint::Scheme::http) {
    if (!target.empty() && target != "/") {
      malformed(text, "an http:// endpoint names only the host and port of the browser's DevTools server");
    }
    endpoint.target = "/";
  } else {
    endpoint.target = target.empty() ? "/" : target.front() == '?' ? "/" + std::string(target) : std::string(target);
  }
  return endpoint;
}

Endpoint browser_websocket(const Endpoint& endpoint, Clock::time_point deadline) {
  if (endpoint.scheme == Endpoint::Scheme::ws) {
    return endpoint;
  }
  const std::string where = "The browser endpoint " + endpoint.text;
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  tcp::connect(socket, endpoint, deadline);

  http::request<http::empty_body> request(http::verb::get, "/json/version", 11);
  request.set(http::field::host, endpoint.authority());
  request.set(http::field::connection, "close");
  http::response_parser<http::string_body> parser;
  parser.body_limit(MAX_VERSION_BYTES);
  beast::flat_buffer buffer;
  bool done = false;
  error_code error;
  http::async_write(socket, request, [&](const error_code& e, std::size_t) {
    if (e) {
      error = e;
      done = true;
      return;
    }
    http::async_read(socket, buffer, parser, [&](const error_code& read_error, std::size_t) {
      error = read_error;
      done = true;
    });
  });
  const bool answered = tcp::run_until(io, [&] { return done; }, deadline);
  error_code ignored;
  socket.close(ignored);
  tcp::drain(io);
  if (!answered) {
    throw ConnectError(where + " did not answer GET /json/version in time.");
  }
  if (error == http::error::body_limit) {
    throw ConnectError(where + " is not a DevTools endpoint: its answer to GET /json/version is too large.");
  }
  if (error && error != http::error::end_of_stream && error != http::error::partial_message &&
      error.category() == http::make_error_code(http::error::bad_version).category()) {
    throw ConnectError(where + " is not a DevTools endpoint: it does not answer GET /json/version in HTTP.");
  }
  if (error) {
    throw ConnectError(where + " is not a DevTools endpoint: it closed the connection before answering GET "
                       "/json/version.");
  }
  const auto& response = parser.get();
  if (response.result() != http::status::ok) {
    throw ConnectError(where + " is not a DevTools endpoint: GET /json/version answered HTTP " +
                       std::to_string(response.result_int()) + ".");
  }
  const Json version = Json::parse(response.body(), nullptr, false);
  if (!version.is_object()) {
    throw ConnectError(where + " is not a DevTools endpoint: its /json/version is not a JSON object.");
  }
  const auto url = version.find("webSocketDebuggerUrl");
  if (url == version.end() || !url->is_string()) {
    throw ConnectError(where + " is not a DevTools endpoint: its /json/version names no webSocketDebuggerUrl.");
  }
  Endpoint websocket;
  try {
    websocket = parse_endpoint(url->get<std::string>());
  } catch (const ConnectError&) {
    throw ConnectError(where + " is not a DevTools endpoint: its webSocketDebuggerUrl " +
                       text::quoted(url->get<std::string>()) + " is not a ws:// address.");
  }
  if (websocket.scheme != Endpoint::Scheme::ws) {
    throw ConnectError(where + " is not a DevTools endpoint: its webSocketDebuggerUrl " +
                       text::quoted(url->get<std::string>()) + " is not a ws:// address.");
  }
  return websocket;
}

}  // namespace quillfen::chromium
