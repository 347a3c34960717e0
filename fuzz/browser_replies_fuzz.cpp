// Feeds arbitrary bytes as the browser's side of the debugging pipe. First the message
// framer alone: the bytes cut into pieces of fuzzed sizes must give the same messages as
// a plain split at each NUL (messages over the size bound skipped, the others kept).
// Then the whole connection: the bytes are written into a real pipe, and the connection
// waits for replies to two commands and dispatches everything else as events, until the
// browser's end is closed. Beyond the sanitizers it checks that every failure is one of
// the connection's own errors, that a call returns only what a reply with its id held,
// and that no event queue grows past its bound.
#include "chromium/connection.hpp"
#include "chromium/transport.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillfen;
using namespace quillfen::chromium;
using namespace std::chrono_literals;

void require(bool condition) {
  if (!condition) std::abort();
}

// The most the fuzzer writes into the pipe at once: less than a pipe holds, so the
// write never waits for a reader.
constexpr std::size_t MAX_STREAM = 60000;

struct Split {
  std::vector<std::string> messages;
  std::size_t pending = 0;  // bytes of a last message without its NUL, when kept
};

// What the framer must make of `stream`: each NUL ends a message, and a message over
// `bound` bytes is skipped.
Split split_at_nul(std::string_view stream, std::size_t bound) {
  Split split;
  while (true) {
    const auto end = stream.find('\0');
    const std::string_view part = stream.substr(0, end);
    if (end == std::string_view::npos) {
      split.pending = part.size() <= bound ? part.size() : 0;
      return split;
    }
    if (part.size() <= bound) split.messages.emplace_back(part);
    stream.remove_prefix(end + 1);
  }
}

void check_framer(std::string_view stream, std::size_t bound, std::uint64_t seed) {
  MessageFramer framer(bound);
  std::vector<std::string> messages;
  std::string_view rest = stream;
  while (!rest.empty()) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    const std::size_t piece = std::min<std::size_t>(rest.size(), 1 + (seed >> 33) % 64);
    try {
      framer.feed(rest.substr(0, piece));
    } catch (const TransportError& e) {
      require(e.kind() == PageError::Kind::gone);
    }
    rest.remove_prefix(piece);
    while (auto message = framer.next()) messages.push_back(std::move(*message));
  }
  const Split expected = split_at_nul(stream, bound);
  require(messages == expected.messages);
  require(framer.pending_bytes() == expected.pending);
}

struct Pipes {
  UniqueFd commands;  // what the connection sends, never read: it stays small
  UniqueFd replies;   // the browser's end, written by the fuzzer
  std::unique_ptr<PipeTransport> transport;
};

Pipes make_pipes(std::size_t bound) {
  int to_browser[2];
  int from_browser[2];
  require(::pipe(to_browser) == 0 && ::pipe(from_browser) == 0);
  Pipes pipes{UniqueFd(to_browser[0]), UniqueFd(from_browser[1]), nullptr};
  pipes.transport = std::make_unique<PipeTransport>(UniqueFd(to_browser[1]), UniqueFd(from_browser[0]), bound);
  return pipes;
}

// Calls a command and checks what comes back against the stream: a result can only come
// from a message that names the call's id.
void call(Connection& connection, const std::string& session, std::int64_t id, std::string_view stream) {
  try {
    const Json result = connection.call(session, "Fuzz.method", Json::object(), 5000ms);
    require(stream.find(std::to_string(id)) != std::string_view::npos);
    (void)result.dump(-1, ' ', false, Json::error_handler_t::replace);
  } catch (const ProtocolError&) {
    require(stream.find(std::to_string(id)) != std::string_view::npos);
  } catch (const PageError& e) {
    // The browser's end closed, a message over the bound, or the session went away.
    require(e.kind() == PageError::Kind::gone);
  }
}

void check_connection(std::string_view stream, std::size_t bound) {
  Pipes pipes = make_pipes(bound);
  require(::write(pipes.replies.get(), stream.data(), stream.size()) == static_cast<ssize_t>(stream.size()));
  pipes.replies.reset();

  Connection connection(std::move(pipes.transport));
  auto root = std::make_shared<EventQueue>();
  auto page = std::make_shared<EventQueue>();
  std::size_t seen = 0;
  // A handler that sees one event and then takes itself away, as waits for one event do.
  page->handler = [&seen, page = page.get()](const Event& event) {
    require(event.session_id == "S");
    ++seen;
    page->handler = nullptr;
  };
  connection.attach_events("", root);
  connection.attach_events("S", page);

  call(connection, "", 1, stream);
  call(connection, "S", 2, stream);
  try {
    connection.pump_until([] { return false; }, Clock::now() + 5s);
    // The pump stops early only for a closed browser end or a message over the bound.
    std::abort();
  } catch (const PageError& e) {
    require(e.kind() == PageError::Kind::gone);
  }
  require(root->events.size() <= EventQueue::MAX_QUEUED && page->events.size() <= EventQueue::MAX_QUEUED);
  require(seen <= 1);
  for (const auto& event : root->events) require(event.session_id.empty());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::signal(SIGPIPE, SIG_IGN);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::size_t bound = provider.ConsumeIntegralInRange<std::size_t>(1, 4096);
  const std::uint64_t seed = provider.ConsumeIntegral<std::uint64_t>();
  std::string stream = provider.ConsumeRemainingBytesAsString();
  if (stream.size() > MAX_STREAM) stream.resize(MAX_STREAM);
  check_framer(stream, bound, seed);
  check_connection(stream, bound);
  return 0;
}
