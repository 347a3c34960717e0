// The browser layer's floors without a browser: framing of NUL-ended messages, the pipe
// transport's deadlines and bounds, and the connection's matching of replies and routing
// of events, driven by a test that plays the browser's end of the pipes.
#include "chromium/chromium_page.hpp"
#include "chromium/connection.hpp"
#include "chromium/fd.hpp"
#include "chromium/session.hpp"
#include "chromium/tab.hpp"
#include "chromium/transport.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

namespace quillfen::chromium {
namespace {

using namespace std::chrono_literals;

// Both pipes of a transport, with the browser's ends kept by the test.
struct FakeBrowser {
  UniqueFd commands;  // what the transport sent
  UniqueFd replies;   // what the transport will receive
  std::unique_ptr<PipeTransport> transport;

  explicit FakeBrowser(std::size_t max_message_bytes = PipeTransport::DEFAULT_MAX_MESSAGE_BYTES) {
    ::signal(SIGPIPE, SIG_IGN);
    int to_browser[2];
    int from_browser[2];
    EXPECT_EQ(::pipe(to_browser), 0);
    EXPECT_EQ(::pipe(from_browser), 0);
    commands = UniqueFd(to_browser[0]);
    replies = UniqueFd(from_browser[1]);
    transport = std::make_unique<PipeTransport>(UniqueFd(to_browser[1]), UniqueFd(from_browser[0]),
                                                max_message_bytes);
  }

  void write(std::string_view bytes) const {
    ASSERT_EQ(::write(replies.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // One whole message, as the browser ends it.
  void message(std::string_view json) const { write(std::string(json) + '\0'); }

  // Everything the transport has sent so far.
  std::string sent() const {
    ::fcntl(commands.get(), F_SETFL, O_NONBLOCK);
    std::string all;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(commands.get(), buffer, sizeof buffer)) > 0) {
      all.append(buffer, static_cast<std::size_t>(n));
    }
    return all;
  }
};

Clock::time_point soon() { return Clock::now() + 200ms; }

// The browser's clean-up reads /proc while processes come and go; a read that fails
// (here a directory, which fails as a file of an ending process does) gives what was
// read, never an exception.
TEST(ReadFileOrEmpty, GivesTheContentOrNothingAndNeverThrows) {
  char pattern[] = "/tmp/quillfen-fd-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const std::string big(10000, 'x');
  {
    const UniqueFd fd(::open((dir / "file").c_str(), O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(::write(fd.get(), big.data(), big.size()), static_cast<ssize_t>(big.size()));
  }
  EXPECT_EQ(read_file_or_empty(dir / "file"), big);
  EXPECT_EQ(read_file_or_empty(dir / "missing"), "");
  EXPECT_EQ(read_file_or_empty(dir), "");
  EXPECT_NE(read_file_or_empty("/proc/self/cmdline"), "");
  std::filesystem::remove_all(dir);
}

TEST(MessageFramer, CutsSplitAndJoinedMessagesAtTheirNul) {
  MessageFramer framer(1024);
  framer.feed(std::string("{\"id\":1}\0{\"id\"", 14));
  EXPECT_EQ(framer.next(), "{\"id\":1}");
  EXPECT_EQ(framer.next(), std::nullopt);
  EXPECT_EQ(framer.pending_bytes(), 5u);
  framer.feed(":2}");
  EXPECT_EQ(framer.next(), std::nullopt);
  framer.feed(std::string("\0\0{\"id\":3}\0", 11));
  EXPECT_EQ(framer.next(), "{\"id\":2}");
  EXPECT_EQ(framer.next(), "");
  EXPECT_EQ(framer.next(), "{\"id\":3}");
  EXPECT_EQ(framer.next(), std::nullopt);

  // One byte at a time.
  for (const char c : std::string("{\"a\":\"\\u00e9\"}\0", 15)) {
    framer.feed(std::string_view(&c, 1));
  }
  EXPECT_EQ(framer.next(), "{\"a\":\"\\u00e9\"}");
}

TEST(MessageFramer, SkipsAnOversizedMessageAndKeepsTheOthers) {
  MessageFramer framer(8);
  framer.feed(std::string("short\0", 6));
  EXPECT_THROW(framer.feed("0123456789"), TransportError);
  // The rest of the oversized message is dropped up to its end.
  framer.feed(std::string("abc\0next\0", 9));
  EXPECT_EQ(framer.next(), "short");
  EXPECT_EQ(framer.next(), "next");
  EXPECT_EQ(framer.next(), std::nullopt);
}

TEST(PipeTransport, SendsWholeMessagesAndReceivesThemAcrossReads) {
  FakeBrowser browser;
  browser.transport->send("{\"id\":1}", soon());
  browser.transport->send("{\"id\":2}", soon());
  EXPECT_EQ(browser.sent(), std::string("{\"id\":1}\0{\"id\":2}\0", 18));

  browser.write(std::string("{\"a\":1}\0{\"b\"", 12));
  EXPECT_EQ(browser.transport->receive(soon()), "{\"a\":1}");
  // The second message is not complete: the deadline passes without it.
  const auto start = Clock::now();
  EXPECT_EQ(browser.transport->receive(Clock::now() + 50ms), std::nullopt);
  EXPECT_GE(Clock::now() - start, 45ms);
  browser.message(":2}");
  EXPECT_EQ(browser.transport->receive(soon()), "{\"b\":2}");

  // A message much larger than the pipe's buffer, written while the reader waits.
  const std::string big = "\"" + std::string(300000, 'x') + "\"";
  const pid_t writer = ::fork();
  if (writer == 0) {
    const std::string framed = big + '\0';
    std::size_t done = 0;
    while (done < framed.size()) {
      const ssize_t n = ::write(browser.replies.get(), framed.data() + done, framed.size() - done);
      if (n <= 0) ::_exit(1);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  EXPECT_EQ(browser.transport->receive(Clock::now() + 5s), big);
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_EQ(status, 0);
}

TEST(PipeTransport, RefusesBadCommandsAndReportsAClosedBrowser) {
  FakeBrowser browser(64);
  EXPECT_THROW(browser.transport->send(std::string("a\0b", 3), soon()), TransportError);
  EXPECT_THROW(browser.transport->send(std::string(64, 'x'), soon()), TransportError);
  EXPECT_TRUE(browser.transport->is_open());

  // A command the browser never reads: the write times out once the pipe is full, and
  // the transport closes rather than leave half a message behind.
  FakeBrowser stalled;
  const std::string chunk(60000, 'x');
  EXPECT_THROW(
      {
        for (int i = 0; i < 10; ++i) stalled.transport->send(chunk, Clock::now() + 50ms);
      },
      TransportError);
  EXPECT_FALSE(stalled.transport->is_open());
  EXPECT_THROW(stalled.transport->send("{}", soon()), TransportError);

  FakeBrowser gone;
  gone.message("{\"last\":1}");
  gone.replies.reset();
  EXPECT_EQ(gone.transport->receive(soon()), "{\"last\":1}");
  EXPECT_THROW(gone.transport->receive(soon()), TransportError);
  gone.commands.reset();
  EXPECT_THROW(gone.transport->send("{}", soon()), TransportError);
}

TEST(Connection, MatchesRepliesByIdAndRoutesEventsBySession) {
  FakeBrowser browser;
  auto connection = std::make_shared<Connection>(std::move(browser.transport));
  Session root(connection, "");
  Session page(connection, "S1");

  // Replies are matched by id whatever their order; events on the way are queued by
  // session, and those of unknown sessions dropped.
  browser.message("{\"method\":\"Page.loadEventFired\",\"params\":{\"timestamp\":1},\"sessionId\":\"S1\"}");
  browser.message("{\"method\":\"Target.targetCreated\",\"params\":{}}");
  browser.message("{\"method\":\"Page.loadEventFired\",\"params\":{},\"sessionId\":\"S9\"}");
  browser.message("{\"id\":1,\"result\":{\"product\":\"Chrome\"}}");
  EXPECT_EQ(root.send("Browser.getVersion"), Json({{"product", "Chrome"}}));

  const auto sent = browser.sent();
  EXPECT_NE(sent.find("{\"id\":1,\"method\":\"Browser.getVersion\",\"params\":{}}"), std::string::npos);

  browser.message("{\"id\":2,\"error\":{\"code\":-32000,\"message\":\"No node\"},\"sessionId\":\"S1\"}");
  try {
    page.send("DOM.describeNode", {{"nodeId", 5}});
    ADD_FAILURE() << "an error reply must throw";
  } catch (const ProtocolError& e) {
    EXPECT_EQ(e.code(), -32000);
    EXPECT_NE(std::string(e.what()).find("No node"), std::string::npos);
  }
  EXPECT_NE(browser.sent().find("\"sessionId\":\"S1\""), std::string::npos);

  const auto page_events = page.take_events();
  ASSERT_EQ(page_events.size(), 1u);
  EXPECT_EQ(page_events[0].params, Json({{"timestamp", 1}}));
  EXPECT_EQ(root.take_events().size(), 1u);
  EXPECT_TRUE(page.take_events().empty());
  EXPECT_EQ(connection->round_trips(), 2u);
  EXPECT_EQ(page.round_trips(), 1u);
}

TEST(Connection, SurvivesBadRepliesAndLateOnes) {
  FakeBrowser browser;
  auto connection = std::make_shared<Connection>(std::move(browser.transport));
  Session page(connection, "S1", 100ms);

  // Lone surrogates in page text become U+FFFD; a pair stays a pair.
  browser.message("{\"id\":1,\"result\":{\"v\":\"a\\ud800b\\ud83d\\ude00\\\\ud800\"},\"sessionId\":\"S1\"}");
  EXPECT_EQ(page.send("Runtime.evaluate")["v"], "a\xef\xbf\xbd" "b\xf0\x9f\x98\x80\\ud800");

  // A reply that is not JSON at all still ends its caller's wait, with an error.
  browser.message("{\"id\":2,\"result\":{\"v\":tru}}");
  EXPECT_THROW(page.send("Runtime.evaluate"), ProtocolError);

  // No reply: a time-out; the late reply that follows is dropped, not taken for the
  // next command's.
  EXPECT_THROW(page.send("Runtime.evaluate"), TransportError);
  browser.message("{\"id\":3,\"result\":{\"v\":\"late\"}}");
  browser.message("{\"id\":4,\"result\":{\"v\":\"fresh\"}}");
  EXPECT_EQ(page.send("Runtime.evaluate")["v"], "fresh");

  // A crashed page fails its waiting command at once.
  browser.message("{\"method\":\"Inspector.targetCrashed\",\"params\":{},\"sessionId\":\"S1\"}");
  const auto start = Clock::now();
  EXPECT_THROW(page.send("Runtime.evaluate", Json::object(), 5s), PageError);
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST(Connection, ReadsMembersOfTheWrongTypeAsMissing) {
  FakeBrowser browser;
  auto connection = std::make_shared<Connection>(std::move(browser.transport));
  Session page(connection, "S1", 100ms);

  // Events whose members have other types than the protocol's: routed as well as they
  // can be, never a failure of the command that is waiting.
  browser.message(R"({"method":{"x":1},"sessionId":5,"params":[1]})");
  browser.message(R"({"method":"Page.loadEventFired","method":[],"sessionId":"S1"})");
  browser.message(R"({"method":"Target.detachedFromTarget","params":"S1"})");
  browser.message(R"({"id":1,"result":{"v":1},"sessionId":"S1"})");
  EXPECT_EQ(page.send("Runtime.evaluate")["v"], 1);
  const auto events = page.take_events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].method, "");

  // Error replies of other shapes still fail their command with a protocol error.
  const struct {
    std::string reply;
    int code;
    std::string message;
  } errors[] = {
      {R"({"id":2,"error":{"code":"x","message":7},"sessionId":"S1"})", 0, "Runtime.evaluate: unknown error"},
      {R"({"id":3,"error":"plain","sessionId":"S1"})", 0, "Runtime.evaluate: unknown error"},
      {R"({"id":4,"error":{"code":-1,"message":"No","data":{"d":[1]}},"sessionId":"S1"})", -1,
       R"(Runtime.evaluate: No ({"d":[1]}))"},
  };
  for (const auto& e : errors) {
    browser.message(e.reply);
    try {
      page.send("Runtime.evaluate");
      ADD_FAILURE() << e.reply;
    } catch (const ProtocolError& error) {
      EXPECT_EQ(error.code(), e.code) << e.reply;
      EXPECT_EQ(std::string(error.what()), e.message) << e.reply;
    }
  }
}

TEST(Session, WaitsForOneEventAndLeavesTheOthersQueued) {
  FakeBrowser browser;
  auto connection = std::make_shared<Connection>(std::move(browser.transport));
  Session page(connection, "S1");
  browser.message("{\"method\":\"Runtime.consoleAPICalled\",\"params\":{},\"sessionId\":\"S1\"}");
  browser.message("{\"method\":\"Page.loadEventFired\",\"params\":{\"n\":1},\"sessionId\":\"S1\"}");
  const auto load = page.wait_for_event("Page.loadEventFired", 1s);
  ASSERT_TRUE(load.has_value());
  EXPECT_EQ(load->params, Json({{"n", 1}}));
  EXPECT_EQ(page.wait_for_event("Page.loadEventFired", 30ms), std::nullopt);
  page.drop_events("Page.frameNavigated");
  const auto rest = page.take_events();
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].method, "Runtime.consoleAPICalled");

  // A wait for chosen events ends when one comes, or when a dialog opens meanwhile.
  browser.message("{\"method\":\"Page.frameStoppedLoading\",\"params\":{\"frameId\":\"B\"},\"sessionId\":\"S1\"}");
  browser.message("{\"method\":\"Page.frameStoppedLoading\",\"params\":{\"frameId\":\"A\"},\"sessionId\":\"S1\"}");
  const auto of_a = [](const Event& e) { return e.params.value("frameId", "") == "A"; };
  const auto stopped = page.wait_for(of_a, Clock::now() + 1s);
  ASSERT_TRUE(stopped.has_value());
  EXPECT_EQ(page.take_events().size(), 1u);
  browser.message("{\"method\":\"Page.javascriptDialogOpening\",\"params\":{},\"sessionId\":\"S1\"}");
  const auto start = Clock::now();
  EXPECT_EQ(page.wait_for(of_a, Clock::now() + 5s), std::nullopt);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_TRUE(page.open_dialog().has_value());
}

TEST(Connection, ADialogEndsTheWaitsOfItsOwnSessionOnly) {
  FakeBrowser browser;
  auto connection = std::make_shared<Connection>(std::move(browser.transport));
  Session a(connection, "A", 5s);
  Session b(connection, "B", 5s);

  // B's dialog arrives while A waits: A gets its reply; B's state says so.
  browser.message("{\"method\":\"Page.javascriptDialogOpening\",\"params\":{\"message\":\"Hi\"},\"sessionId\":\"B\"}");
  browser.message("{\"id\":1,\"result\":{\"v\":\"a\"},\"sessionId\":\"A\"}");
  EXPECT_EQ(a.send("Runtime.evaluate")["v"], "a");
  ASSERT_TRUE(b.open_dialog().has_value());
  EXPECT_EQ(b.open_dialog()->value("message", ""), "Hi");
  EXPECT_FALSE(a.open_dialog().has_value());
  EXPECT_EQ(b.dialogs_opened(), 1u);

  // While it is open, B's commands fail at once with the dialog, but for its answer.
  const auto start = Clock::now();
  try {
    b.send("Runtime.evaluate");
    ADD_FAILURE() << "a page with a dialog open answers nothing";
  } catch (const PageError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::dialog);
  }
  EXPECT_LT(Clock::now() - start, 2s);
  browser.message("{\"id\":3,\"result\":{},\"sessionId\":\"B\"}");
  browser.message("{\"method\":\"Page.javascriptDialogClosed\",\"params\":{},\"sessionId\":\"B\"}");
  EXPECT_EQ(b.send("Page.handleJavaScriptDialog", {{"accept", true}}), Json::object());
  EXPECT_TRUE(b.wait_until([&] { return !b.open_dialog(); }, Clock::now() + 1s));

  // A dialog that opens while B waits ends B's wait with it; A's command still answers.
  browser.message("{\"method\":\"Page.javascriptDialogOpening\",\"params\":{\"message\":\"Again\"},\"sessionId\":\"B\"}");
  try {
    b.send("Input.dispatchMouseEvent");
    ADD_FAILURE() << "the dialog must end the wait";
  } catch (const PageError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::dialog);
  }
  browser.message("{\"id\":4,\"result\":{\"v\":\"b's late reply\"},\"sessionId\":\"B\"}");
  browser.message("{\"id\":5,\"result\":{\"v\":\"a again\"},\"sessionId\":\"A\"}");
  EXPECT_EQ(a.send("Runtime.evaluate")["v"], "a again");
  EXPECT_EQ(b.dialogs_opened(), 2u);
}

TEST(Deadline, AnyDurationMakesADeadlineWithoutOverflow) {
  const auto now = Clock::now();
  EXPECT_GE(deadline_after(std::chrono::milliseconds{50}), now + std::chrono::milliseconds{50});
  const auto past = deadline_after(std::chrono::milliseconds{-5});
  EXPECT_LE(past, Clock::now());
  // Durations whose nanoseconds no clock holds end at the farthest time point, never in
  // the past.
  for (const auto huge : {std::chrono::milliseconds{99999999999999}, std::chrono::milliseconds::max()}) {
    EXPECT_EQ(deadline_after(huge), Clock::time_point::max());
  }
  EXPECT_GT(time_left(Clock::time_point::max()), std::chrono::hours{24 * 365});
  EXPECT_EQ(time_left(now - std::chrono::seconds{1}), std::chrono::milliseconds::zero());
}

TEST(ToUrl, KeepsUrlsAndTurnsPathsIntoFileUrls) {
  EXPECT_EQ(to_url("https://example.com/a?b=1"), "https://example.com/a?b=1");
  EXPECT_EQ(to_url("about:blank"), "about:blank");
  EXPECT_EQ(to_url("file:///srv/a.html"), "file:///srv/a.html");
  EXPECT_EQ(to_url("data:text/html,<p>x</p>"), "data:text/html,<p>x</p>");
  EXPECT_EQ(to_url("/srv/shop/cart page#1.html"), "file:///srv/shop/cart%20page%231.html");
  EXPECT_EQ(to_url("/srv/caf\xc3\xa9.html"), "file:///srv/caf%C3%A9.html");
  const auto cwd = std::filesystem::current_path().string();
  EXPECT_EQ(to_url("site/../index.html"), "file://" + cwd + "/index.html");
}

}  // namespace
}  // namespace quillfen::chromium
