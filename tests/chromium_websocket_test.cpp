// The WebSocket transport and the reading of browser endpoints without a browser: a
// stub server frames its messages by hand (fragments, control frames between them,
// bytes one at a time, several messages in one write), goes silent, stops mid-message,
// or answers as something that is not a browser's DevTools endpoint.
#include "chromium/browser.hpp"
#include "chromium/endpoint.hpp"
#include "chromium/websocket_transport.hpp"
#include "tests/tcp_stub.hpp"

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::chromium {
namespace {

using namespace std::chrono_literals;
using test::TcpStub;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace websocket = boost::beast::websocket;

// A frame as a server sends it (unmasked).
std::string frame(unsigned opcode, bool fin, std::string_view payload) {
  std::string bytes(1, static_cast<char>((fin ? 0x80 : 0) | opcode));
  const std::size_t size = payload.size();
  if (size < 126) {
    bytes.push_back(static_cast<char>(size));
  } else if (size < 65536) {
    bytes.push_back(126);
    bytes.push_back(static_cast<char>(size >> 8));
    bytes.push_back(static_cast<char>(size & 0xff));
  } else {
    bytes.push_back(127);
    for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((size >> shift) & 0xff));
  }
  return bytes.append(payload);
}

std::string text(std::string_view payload) { return frame(1, true, payload); }

// Accepts the WebSocket handshake on the stub's connection.
websocket::stream<TcpStub::Socket&> accept(TcpStub::Socket& socket) {
  websocket::stream<TcpStub::Socket&> ws(socket);
  ws.accept();
  return ws;
}

// Reads one message from the client and sends it back as one frame.
void echo(websocket::stream<TcpStub::Socket&>& ws) {
  boost::beast::flat_buffer buffer;
  ws.read(buffer);
  TcpStub::write(ws.next_layer(), text(boost::beast::buffers_to_string(buffer.data())));
}

std::unique_ptr<WebSocketTransport> open(const TcpStub& stub, std::size_t max = Transport::DEFAULT_MAX_MESSAGE_BYTES) {
  return WebSocketTransport::open(parse_endpoint("ws://" + stub.address() + "/devtools/browser/test"),
                                  Clock::now() + 5s, max);
}

Clock::time_point soon() { return Clock::now() + 5s; }

TEST(WebSocketTransport, ReadsMessagesHoweverTheyAreFramedAndSplit) {
  const std::string big = "\"" + std::string(300000, 'x') + "\"";
  TcpStub stub([&](TcpStub::Socket& socket) {
    auto ws = accept(socket);
    // One message in three fragments with a ping between them, a byte at a time.
    const std::string split = frame(1, false, "{\"id\"") + frame(9, true, "are you there") + frame(0, false, ":1") +
                              frame(0, true, ",\"v\":\"caf\xc3\xa9\"}");
    for (const char c : split) {
      TcpStub::write(socket, std::string(1, c));
      std::this_thread::sleep_for(100us);
    }
    // Two messages and an empty one in one write, then one far larger than a read.
    TcpStub::write(socket, text("{\"id\":2}") + text("{\"id\":3}") + text(""));
    TcpStub::write(socket, frame(1, true, big));
    echo(ws);
    echo(ws);
  });
  auto transport = open(stub);
  EXPECT_EQ(transport->receive(soon()), "{\"id\":1,\"v\":\"caf\xc3\xa9\"}");
  EXPECT_EQ(transport->receive(soon()), "{\"id\":2}");
  EXPECT_EQ(transport->receive(soon()), "{\"id\":3}");
  EXPECT_EQ(transport->receive(soon()), "");
  EXPECT_EQ(transport->receive(soon()), big);
  // Commands arrive whole, the large one too.
  transport->send("{\"id\":9,\"method\":\"Browser.getVersion\"}", soon());
  EXPECT_EQ(transport->receive(soon()), "{\"id\":9,\"method\":\"Browser.getVersion\"}");
  transport->send(big, soon());
  EXPECT_EQ(transport->receive(soon()), big);
}

TEST(WebSocketTransport, SkipsAnOversizedMessageAndRefusesAnOversizedCommand) {
  TcpStub stub([&](TcpStub::Socket& socket) {
    auto ws = accept(socket);
    // The oversized message comes in two fragments; the skip spans both.
    TcpStub::write(socket, text("short") + frame(1, false, std::string(40, 'a')) + frame(0, true, std::string(40, 'b')) +
                               text("next"));
    echo(ws);
  });
  auto transport = open(stub, 64);
  EXPECT_EQ(transport->receive(soon()), "short");
  try {
    transport->receive(soon());
    ADD_FAILURE() << "an oversized message must be reported";
  } catch (const TransportError& e) {
    EXPECT_EQ(std::string(e.what()), "A message from the browser is larger than 64 bytes.");
  }
  EXPECT_EQ(transport->receive(soon()), "next");

  EXPECT_THROW(transport->send(std::string(64, 'x'), soon()), TransportError);
  EXPECT_TRUE(transport->is_open());
  transport->send("fits", soon());
  EXPECT_EQ(transport->receive(soon()), "fits");
}

TEST(WebSocketTransport, TellsASilentPeerFromOneThatWentAway) {
  // Silent for a while, then half a frame, then gone.
  std::promise<void> go_on;
  auto going_on = go_on.get_future();
  TcpStub stub([&](TcpStub::Socket& socket) {
    auto ws = accept(socket);
    going_on.wait();
    TcpStub::write(socket, text("{\"late\":1}") + text("{\"cut\":\"0123456789\"}").substr(0, 9));
    socket.close();
  });
  auto transport = open(stub);
  EXPECT_EQ(transport->receive(Clock::now() + 50ms), std::nullopt);
  EXPECT_TRUE(transport->is_open());
  go_on.set_value();
  // The message sent before the peer went is still read; the cut one is not.
  EXPECT_EQ(transport->receive(soon()), "{\"late\":1}");
  try {
    transport->receive(soon());
    ADD_FAILURE() << "a peer that went must be reported";
  } catch (const TransportError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::gone);
    EXPECT_EQ(std::string(e.what()), "The browser closed the connection (it may have crashed).");
  }
  EXPECT_FALSE(transport->is_open());
  EXPECT_THROW(transport->send("{}", soon()), TransportError);

  // A peer that closes the WebSocket properly is gone too.
  TcpStub closing([&](TcpStub::Socket& socket) {
    auto ws = accept(socket);
    ws.close(websocket::close_code::going_away);
  });
  auto closed = open(closing);
  try {
    closed->receive(soon());
    ADD_FAILURE() << "a closed WebSocket must be reported";
  } catch (const TransportError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::gone);
  }
  EXPECT_FALSE(closed->is_open());
}

TEST(WebSocketTransport, ClosesWhenACommandCannotBeSentInTime) {
  std::promise<void> done;
  auto finished = done.get_future();
  TcpStub stub([&](TcpStub::Socket& socket) {
    auto ws = accept(socket);
    // Never reads what the client sends.
    finished.wait();
  });
  auto transport = open(stub);
  const std::string chunk(16 << 20, 'x');
  EXPECT_THROW(
      {
        for (int i = 0; i < 20; ++i) transport->send(chunk, Clock::now() + 200ms);
      },
      TransportError);
  EXPECT_FALSE(transport->is_open());
  EXPECT_THROW(transport->receive(soon()), TransportError);
  done.set_value();
}

TEST(BrowserEndpoint, ReadsTheAddressesUsersWrite) {
  struct Good {
    std::string text;
    Endpoint::Scheme scheme;
    std::string authority;
    std::string target;
  };
  const std::vector<Good> good{
      {"ws://127.0.0.1:9222/devtools/browser/5f1c", Endpoint::Scheme::ws, "127.0.0.1:9222", "/devtools/browser/5f1c"},
      {"http://localhost:9222", Endpoint::Scheme::http, "localhost:9222", "/"},
      {"HTTP://Farm.Example:9222/", Endpoint::Scheme::http, "Farm.Example:9222", "/"},
      {"ws://[::1]:9222/devtools/browser/x", Endpoint::Scheme::ws, "[::1]:9222", "/devtools/browser/x"},
      {"ws://grid.local/session?token=a1", Endpoint::Scheme::ws, "grid.local:80", "/session?token=a1"},
      {"ws://grid.local?token=a1", Endpoint::Scheme::ws, "grid.local:80", "/?token=a1"},
  };
  for (const auto& g : good) {
    SCOPED_TRACE(g.text);
    const Endpoint endpoint = parse_endpoint(g.text);
    EXPECT_EQ(endpoint.scheme, g.scheme);
    EXPECT_EQ(endpoint.authority(), g.authority);
    EXPECT_EQ(endpoint.target, g.target);
    EXPECT_EQ(endpoint.text, g.text);
  }

  const std::vector<std::pair<std::string, std::string>> bad{
      {"", "it is empty"},
      {"localhost:9222", "it does not start with ws:// or http://"},
      {"9222", "it does not start with ws:// or http://"},
      {"wss://farm.example/devtools/browser/x", "secure connections (wss://, https://) are not supported"},
      {"https://farm.example", "secure connections (wss://, https://) are not supported"},
      {"http://localhost:9222/json/version", "an http:// endpoint names only the host and port"},
      {"ws://:9222/devtools/browser/x", "it names no host"},
      {"ws://localhost:port/devtools/browser/x", "its port 'port' is not a number from 1 to 65535"},
      {"ws://localhost:70000/devtools/browser/x", "its port '70000' is not a number from 1 to 65535"},
      {"ws://localhost:0/devtools/browser/x", "its port '0' is not a number from 1 to 65535"},
      {"http://localhost:", "its port is empty"},
      {"ws://me:secret@localhost:9222/x", "user names and passwords in the address are not supported"},
      {"ws://local host:9222/x", "it holds a space or a control character"},
      {"http://localhost:9222\n", "it holds a space or a control character"},
      {"ws://[::1/devtools/browser/x", "its IPv6 address has no closing ]"},
      {"ws://local$host:9222/x", "its host 'local$host' is not a host name or address"},
      {"ws://localhost:9222/x#top", "it has a fragment (#...)"},
  };
  for (const auto& [input, reason] : bad) {
    SCOPED_TRACE(input);
    try {
      parse_endpoint(input);
      ADD_FAILURE() << "accepted";
    } catch (const ConnectError& e) {
      const std::string message = e.what();
      EXPECT_THAT(message, StartsWith("The browser endpoint '"));
      EXPECT_THAT(message, HasSubstr("' is malformed: " + reason));
      EXPECT_THAT(message, EndsWith("; write ws://HOST:PORT/devtools/browser/ID or http://HOST:PORT."));
      EXPECT_EQ(message.find('\n'), std::string::npos);
    }
  }
}

// The one-line error of connecting to `endpoint`, or "connected".
std::string connect_error(const std::string& endpoint, std::chrono::milliseconds timeout = 5s) {
  try {
    ConnectOptions options;
    options.endpoint = endpoint;
    options.connect_timeout = timeout;
    Browser::connect(options);
  } catch (const ConnectError& e) {
    EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
    return e.what();
  }
  return "connected";
}

// Answers every request with `answer`.
std::function<void(TcpStub::Socket&)> answering(const std::string& answer) {
  return [answer](TcpStub::Socket& socket) {
    TcpStub::read_request(socket);
    TcpStub::write(socket, answer);
  };
}

// Reads until the client goes, answering nothing.
void silent(TcpStub::Socket& socket) {
  TcpStub::read_request(socket);
  char byte = 0;
  boost::system::error_code error;
  while (!error) socket.read_some(boost::asio::buffer(&byte, 1), error);
}

TEST(BrowserEndpoint, SaysWhyAnAddressIsNoBrowser) {
  unsigned short closed_port = 0;
  {
    TcpStub nobody([](TcpStub::Socket&) {});
    closed_port = nobody.port();
  }
  EXPECT_EQ(connect_error("http://127.0.0.1:" + std::to_string(closed_port)),
            "The browser endpoint http://127.0.0.1:" + std::to_string(closed_port) +
                " cannot be reached: Connection refused.");
  // Unknown, or not resolved in time where no name server answers.
  EXPECT_THAT(connect_error("ws://no-such-host.invalid:9222/devtools/browser/x"),
              StartsWith("The browser endpoint ws://no-such-host.invalid:9222/devtools/browser/x cannot be reached: "
                         "its host"));

  struct Case {
    std::string name;
    std::function<void(TcpStub::Socket&)> serve;
    std::string path;
    std::string says;
    // Short for the peers that never answer; ample for the others on a loaded machine.
    std::chrono::milliseconds timeout = 20s;
  };
  const auto json = [](const std::string& body) { return TcpStub::http_answer("200 OK", "application/json", body); };
  const std::vector<Case> cases{
      {"404 for /json/version", answering(TcpStub::http_answer("404 Not Found", "text/plain", "no")), "http://",
       " is not a DevTools endpoint: GET /json/version answered HTTP 404."},
      {"a web page", answering(TcpStub::http_answer("200 OK", "text/html", "<html></html>")), "http://",
       " is not a DevTools endpoint: its /json/version is not a JSON object."},
      {"JSON without the address", answering(json("{\"Browser\":\"Chrome/1\"}")), "http://",
       " is not a DevTools endpoint: its /json/version names no webSocketDebuggerUrl."},
      {"a secure address", answering(json("{\"webSocketDebuggerUrl\":\"wss://x:1/devtools/browser/a\"}")), "http://",
       " is not a DevTools endpoint: its webSocketDebuggerUrl 'wss://x:1/devtools/browser/a' is not a ws:// address."},
      {"not HTTP", answering("SSH-2.0-OpenSSH_9.2\r\n"), "http://",
       " is not a DevTools endpoint: it does not answer GET /json/version in HTTP."},
      {"closes at once", [](TcpStub::Socket& socket) { socket.close(); }, "http://",
       " is not a DevTools endpoint: it closed the connection before answering GET /json/version."},
      {"declines the WebSocket", answering(TcpStub::http_answer("404 Not Found", "text/plain", "no")),
       "ws:///devtools/browser/x", " is not a DevTools endpoint: it declined the WebSocket handshake with HTTP 404."},
      {"silent to the handshake", silent, "ws:///devtools/browser/x", " did not answer the WebSocket handshake in time.",
       500ms},
      {"a WebSocket that answers nothing",
       [](TcpStub::Socket& socket) {
         auto ws = accept(socket);
         boost::beast::flat_buffer buffer;
         boost::system::error_code error;
         ws.read(buffer, error);
         ws.read(buffer, error);
       },
       "ws:///devtools/browser/x", " does not answer as a browser: Browser.getVersion got no answer within", 3s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TcpStub stub(c.serve);
    // The stub's address goes after the scheme.
    std::string endpoint = c.path;
    endpoint.insert(endpoint.find("//") + 2, stub.address());
    EXPECT_THAT(connect_error(endpoint, c.timeout), StartsWith("The browser endpoint " + endpoint + c.says));
  }

  EXPECT_EQ(connect_error("ws://127.0.0.1:9/devtools/page/7A1F"),
            "The browser endpoint ws://127.0.0.1:9/devtools/page/7A1F is a tab's DevTools endpoint, not the "
            "browser's; use ws://HOST:PORT/devtools/browser/ID or http://HOST:PORT.");
  EXPECT_THAT(connect_error("localhost:9222"), HasSubstr("is malformed"));
}

}  // namespace
}  // namespace quillfen::chromium
