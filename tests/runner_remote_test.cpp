// `quillfen run` and `quillfen scan` with a browser reached through --browser-endpoint
// instead of a launched one, the browser options both commands share, and where page
// downloads may land: through the built binary, as a user or a CI job runs it, against
// a Chromium started with --remote-debugging-port for the suite.
#include "tests/cli_support.hpp"
#include "tests/remote_chromium.hpp"
#include "tests/tcp_stub.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillfen::cli_support;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const fs::path SOURCE = QUILLFEN_SOURCE_DIR;
const std::string SANDBOX_NOTE =
    "quillfen: running as root, so the browser runs without its sandbox (--no-sandbox); run quillfen as an "
    "ordinary user to keep it.\n";

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

// Every file and folder under `dir`, relative to it.
std::vector<std::string> contents(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    found.push_back(fs::relative(entry.path(), dir).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

class RemoteCommands : public TempDirTest {
 protected:
  static void SetUpTestSuite() { remote_ = std::make_unique<quillfen::test::RemoteChromium>(); }
  static void TearDownTestSuite() { remote_.reset(); }

  // Runs `quillfen ARGUMENTS` in the test's folder, after `environment` (VAR=value ...).
  Outcome quillfen(const std::vector<std::string>& arguments, const std::string& environment = "") const {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + environment + " " + shell_quoted(QUILLFEN_EXE);
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command, dir_ / "stderr");
  }

  static inline std::unique_ptr<quillfen::test::RemoteChromium> remote_;
};

// The console of a run without what tells the time: the summary's start, and how long
// each script took.
std::string without_clock(const std::string& out) {
  const std::string no_start =
      std::regex_replace(out, std::regex("TEST RUN SUMMARY  \u2014  [0-9: -]+"), "TEST RUN SUMMARY");
  return std::regex_replace(no_start, std::regex(" in [0-9.]+ s\n"), " in _ s\n");
}

TEST_F(RemoteCommands, RunAndScanGiveTheSameResultsThroughAnEndpoint) {
  const std::string page = (SOURCE / "tests" / "fixtures" / "chromium" / "labels.html").string();
  const Outcome launched_scan = quillfen({"scan", page});
  ASSERT_EQ(launched_scan.status, 0) << launched_scan.err;
  ASSERT_THAT(launched_scan.out, HasSubstr("\"elements\""));
  for (const auto& endpoint : {remote_->http_endpoint(), remote_->ws_endpoint()}) {
    SCOPED_TRACE(endpoint);
    const Outcome scan = quillfen({"scan", page, "--browser-endpoint", endpoint});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(scan.out, launched_scan.out);
    // No browser was launched here, so there is nothing to say about its sandbox.
    EXPECT_EQ(scan.err, "");
  }

  const std::vector<std::string> demo{"run", (SOURCE / "examples" / "account.test").string(),
                                      (SOURCE / "examples" / "shop.test").string(), "--junit", "junit.xml"};
  const Outcome launched = quillfen(demo);
  ASSERT_EQ(launched.status, 0) << launched.out << launched.err;
  EXPECT_EQ(count_of(launched.err, SANDBOX_NOTE), ::geteuid() == 0 ? 1 : 0) << launched.err;
  auto through_endpoint = demo;
  through_endpoint.insert(through_endpoint.end(), {"--browser-endpoint", remote_->http_endpoint()});
  const Outcome connected = quillfen(through_endpoint);
  EXPECT_EQ(connected.status, 0) << connected.out << connected.err;
  EXPECT_EQ(without_clock(connected.out), without_clock(launched.out));
  EXPECT_EQ(connected.err, "");
  EXPECT_TRUE(remote_->running());
}

TEST_F(RemoteCommands, BadEndpointsAndBrowserOptionsFailInOneLine) {
  const fs::path script = write("one.test", "navigate about:blank\n");
  unsigned short closed_port = 0;
  {
    quillfen::test::TcpStub nobody([](quillfen::test::TcpStub::Socket&) {});
    closed_port = nobody.port();
  }
  const std::string closed = "http://127.0.0.1:" + std::to_string(closed_port);
  const std::string ws = remote_->ws_endpoint();
  const std::string wrong_id = ws.substr(0, ws.rfind('/') + 1) + "0";
  struct Case {
    std::vector<std::string> arguments;
    std::string says;
  };
  const std::vector<Case> cases{
      {{"run", script.string(), "--browser-endpoint", "localhost:9222"},
       "quillfen run: The browser endpoint 'localhost:9222' is malformed: it does not start with ws:// or http://; "
       "write ws://HOST:PORT/devtools/browser/ID or http://HOST:PORT.\n"},
      {{"run", script.string(), "--browser-endpoint", closed},
       "quillfen run: The browser endpoint " + closed + " cannot be reached: Connection refused.\n"},
      {{"scan", "about:blank", "--browser-endpoint", wrong_id},
       "quillfen: The browser endpoint " + wrong_id + " is not a DevTools endpoint: "},
      {{"run", script.string(), "--chromium", "/usr/bin/true", "--browser-endpoint", ws}, "quillfen: "},
      {{"run", script.string(), "--headed", "--browser-endpoint", ws}, "quillfen: "},
      {{"scan", "about:blank", "--browser", "/no/such/chromium"},
       "quillfen: The browser /no/such/chromium does not exist or is not executable.\n"},
      {{"scan", "about:blank", "--chromium", "/no/such/chromium"},
       "quillfen: The browser /no/such/chromium does not exist or is not executable.\n"},
      {{"run", script.string(), "--chromium", "/no/such/chromium"},
       "quillfen run: The browser /no/such/chromium does not exist or is not executable.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.arguments[c.arguments.size() - 2] + " " + c.arguments.back());
    const Outcome o = quillfen(c.arguments);
    EXPECT_EQ(o.status, 2);
    EXPECT_THAT(o.err, StartsWith(c.says));
    EXPECT_EQ(lines_of(o.err).size(), 1u) << o.err;
    EXPECT_FALSE(fs::exists(dir_ / "data")) << "nothing may run";
  }
}

TEST_F(RemoteCommands, DownloadsLandOnlyInTheFolderNamed) {
  // Today's page copied beside the script; the browser's home is a folder of the test.
  fs::copy_file(SOURCE / "tests" / "fixtures" / "chromium" / "download.html", dir_ / "download.html");
  const fs::path script = write("save.test", "navigate download.html\nclick \"Save notes\"\nwait 1000\n");
  fs::create_directory(dir_ / "home");
  const std::string home = "env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_DOWNLOAD_DIR HOME=" +
                           shell_quoted((dir_ / "home").string());
  const std::vector<std::string> run{"run", script.string(), "--report", "report.html"};
  const auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> all = run;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };

  const Outcome refused = quillfen(run, home);
  EXPECT_EQ(refused.status, 0) << refused.out << refused.err;
  EXPECT_EQ(contents(dir_ / "home"), std::vector<std::string>{});
  EXPECT_EQ(contents(dir_), (std::vector<std::string>{"download.html", "home", "report.html", "save.test", "stderr"}));

  const Outcome allowed = quillfen(with({"--downloads", "saved/here"}), home);
  EXPECT_EQ(allowed.status, 0) << allowed.out << allowed.err;
  EXPECT_EQ(contents(dir_ / "saved"), (std::vector<std::string>{"here", "here/notes.txt"}));
  EXPECT_EQ(slurp(dir_ / "saved" / "here" / "notes.txt"), "hello from quillfen");
  EXPECT_EQ(contents(dir_ / "home"), std::vector<std::string>{});

  const Outcome remote = quillfen(with({"--downloads", (dir_ / "remote").string(), "--browser-endpoint",
                                        remote_->http_endpoint()}));
  EXPECT_EQ(remote.status, 0) << remote.out << remote.err;
  EXPECT_EQ(contents(dir_ / "remote"), std::vector<std::string>{"notes.txt"});

  // A file where the folder should be is an error before anything runs.
  write("taken", "");
  const Outcome blocked = quillfen(with({"--downloads", "taken"}), home);
  EXPECT_EQ(blocked.status, 2);
  EXPECT_THAT(blocked.err, StartsWith("quillfen run: The downloads folder " + (dir_ / "taken").string() +
                                      " cannot be made: "));
}

}  // namespace
