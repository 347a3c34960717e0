// A TCP server on 127.0.0.1 for tests, playing whatever peer a test needs (a WebSocket
// server that frames its messages by hand, an HTTP server with canned answers): each
// connection it accepts is handed to the test's function on a thread of its own (a
// browser may hold an idle connection open while it opens another). The stub goes once
// every connection's function has returned.
#pragma once

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::test {

class TcpStub {
 public:
  using Socket = boost::asio::ip::tcp::socket;

  explicit TcpStub(std::function<void(Socket&)> serve)
      : acceptor_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}), serve_(std::move(serve)) {
    port_ = acceptor_.local_endpoint().port();
    thread_ = std::thread([this] { loop(); });
  }

  ~TcpStub() {
    stopping_ = true;
    // A connection of its own wakes the accept that the thread is blocked in.
    try {
      boost::asio::io_context io;
      Socket waker(io);
      waker.connect({boost::asio::ip::make_address("127.0.0.1"), port_});
    } catch (const std::exception&) {
    }
    thread_.join();
    for (auto& worker : workers_) worker.join();
  }

  TcpStub(const TcpStub&) = delete;
  TcpStub& operator=(const TcpStub&) = delete;

  unsigned short port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  // Reads an HTTP request's head (up to its blank line) and returns it.
  static std::string read_request(Socket& socket) {
    boost::asio::streambuf buffer;
    boost::system::error_code error;
    const std::size_t n = boost::asio::read_until(socket, buffer, "\r\n\r\n", error);
    return error ? std::string() : std::string(boost::asio::buffers_begin(buffer.data()),
                                               boost::asio::buffers_begin(buffer.data()) + static_cast<long>(n));
  }

  // Writes bytes, ignoring a peer that has gone.
  static void write(Socket& socket, const std::string& bytes) {
    boost::system::error_code error;
    boost::asio::write(socket, boost::asio::buffer(bytes), error);
  }

  // An HTTP/1.1 answer that closes the connection after it.
  static std::string http_answer(const std::string& status, const std::string& content_type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + content_type + "\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  }

 private:
  void loop() {
    while (true) {
      Socket socket(io_);
      boost::system::error_code error;
      acceptor_.accept(socket, error);
      if (stopping_) {
        return;
      }
      if (!error) {
        workers_.emplace_back([this, socket = std::move(socket)]() mutable {
          // A peer that misbehaves ends its connection, never the stub.
          try {
            serve_(socket);
          } catch (const std::exception&) {
          }
        });
      }
    }
  }

  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::function<void(Socket&)> serve_;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::vector<std::thread> workers_;
};

}  // namespace quillfen::test
