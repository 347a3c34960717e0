// Browsers reached over a WebSocket, and browser contexts, in real Chromium: a browser
// started with --remote-debugging-port serves the suite, as a user's or a farm's would;
// contexts and downloads are checked in it and in launched browsers alike.
#include "chromium/browser.hpp"
#include "engine/browser/page_scanner.hpp"
#include "tests/remote_chromium.hpp"
#include "tests/tcp_stub.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

namespace quillfen::chromium {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/chromium/" + name;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The records a scan of the page reads, as a snapshot writes them.
Json scan_of(ChromiumPage& page, const std::string& path) {
  EXPECT_TRUE(page.navigate(path).done()) << path;
  PageScanner scanner(page, std::cerr);
  const auto [elements, text_elements] = scanner.extract_interactable_elements();
  Json records{{"elements", Json::array()}, {"text_elements", Json::array()}};
  for (const auto& e : elements) records["elements"].push_back(to_json(*e));
  for (const auto& e : text_elements) records["text_elements"].push_back(to_json(*e));
  return records;
}

std::unique_ptr<Browser> connect(const std::string& endpoint, std::optional<fs::path> downloads = std::nullopt) {
  ConnectOptions options;
  options.endpoint = endpoint;
  options.downloads = std::move(downloads);
  return Browser::connect(options);
}

// An HTTP site of one page, served at every path, so that cookies and storage have an
// origin to belong to.
test::TcpStub site() {
  return test::TcpStub([](test::TcpStub::Socket& socket) {
    if (!test::TcpStub::read_request(socket).empty()) {
      test::TcpStub::write(socket, test::TcpStub::http_answer("200 OK", "text/html", "<!DOCTYPE html><p>Shop</p>"));
    }
  });
}

class RemoteTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { remote_ = std::make_unique<test::RemoteChromium>(); }
  static void TearDownTestSuite() { remote_.reset(); }

  static inline std::unique_ptr<test::RemoteChromium> remote_;
};

TEST_F(RemoteTest, ConnectsByEitherAddressAndScansAsALaunchedBrowserDoes) {
  Json expected;
  {
    auto launched = Browser::launch();
    expected = scan_of(*launched->new_page(), fixture("labels.html"));
  }
  ASSERT_GT(expected["elements"].size(), 10u);
  for (const auto& endpoint : {remote_->ws_endpoint(), remote_->http_endpoint()}) {
    SCOPED_TRACE(endpoint);
    auto browser = connect(endpoint);
    EXPECT_FALSE(browser->launched());
    EXPECT_EQ(browser->pid(), -1);
    EXPECT_THAT(browser->version(), StartsWith("Chrome/"));
    auto page = browser->new_page();
    EXPECT_EQ(scan_of(*page, fixture("labels.html")), expected);
    // An answer of megabytes crosses in many reads.
    EXPECT_EQ(page->evaluate("() => 'ab'.repeat(1500000)").get<std::string>().size(), 3000000u);
    auto context = browser->new_context();
    auto isolated = context->new_page();
    EXPECT_EQ(scan_of(*isolated, fixture("labels.html")), expected);
  }
}

TEST_F(RemoteTest, LeavesTheBrowserRunningAndClosesOnlyWhatItOpened) {
  // Another client of the same browser, with a tab and a context of its own.
  auto other = connect(remote_->http_endpoint());
  auto others_tab = other->new_page();
  auto others_context = other->new_context();
  const auto tabs = [&] {
    std::set<std::string> ids;
    const Json listed = other->session().send("Target.getTargets");
    for (const auto& info : listed["targetInfos"]) {
      if (info["type"] == "page") ids.insert(info["targetId"].get<std::string>());
    }
    return ids;
  };
  const auto contexts = [&] {
    const Json listed = other->session().send("Target.getBrowserContexts")["browserContextIds"];
    return std::set<std::string>(listed.begin(), listed.end());
  };

  auto browser = connect(remote_->ws_endpoint());
  auto closed_by_owner = browser->new_page();
  auto kept = browser->new_page();
  auto disposed_context = browser->new_context();
  auto in_disposed = disposed_context->new_page();
  auto kept_context = browser->new_context();
  auto in_kept = kept_context->new_page();
  const std::set<std::string> our_tabs{closed_by_owner->target_id(), kept->target_id(), in_disposed->target_id(),
                                       in_kept->target_id()};
  const std::set<std::string> our_contexts{disposed_context->id(), kept_context->id()};
  const auto listed = [](const std::set<std::string>& all, const std::set<std::string>& wanted) {
    std::set<std::string> found;
    for (const auto& id : wanted) {
      if (all.count(id) != 0) found.insert(id);
    }
    return found;
  };
  EXPECT_EQ(listed(tabs(), our_tabs), our_tabs);
  EXPECT_EQ(listed(contexts(), our_contexts), our_contexts);

  // Owners that go close their own; what is still held goes with the browser object.
  disposed_context.reset();
  EXPECT_EQ(listed(contexts(), our_contexts), std::set<std::string>{kept_context->id()});
  try {
    in_disposed->url();
    ADD_FAILURE() << "a tab of a disposed context must fail";
  } catch (const PageError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::gone) << e.what();
  }
  closed_by_owner.reset();
  browser.reset();
  EXPECT_THROW(kept->url(), PageError);
  EXPECT_THROW(in_kept->url(), PageError);
  // Closing a tab completes in the browser a little after the command's answer.
  const auto deadline = Clock::now() + 30s;
  while (!listed(tabs(), our_tabs).empty() && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
  EXPECT_EQ(listed(tabs(), our_tabs), std::set<std::string>{});
  EXPECT_EQ(listed(contexts(), our_contexts), std::set<std::string>{});
  // The other client's tab and context are untouched, and the browser runs on.
  EXPECT_EQ(listed(tabs(), {others_tab->target_id()}).size(), 1u);
  EXPECT_EQ(listed(contexts(), {others_context->id()}).size(), 1u);
  EXPECT_EQ(others_tab->evaluate("() => 6 * 7"), 42);
  EXPECT_TRUE(remote_->running());
}

TEST_F(RemoteTest, RefusesWhatIsNotThisBrowsersEndpoint) {
  const auto error = [](const std::string& endpoint) {
    try {
      connect(endpoint);
    } catch (const ConnectError& e) {
      return std::string(e.what());
    }
    return std::string("connected");
  };
  const std::string ws = remote_->ws_endpoint();
  const std::string wrong_id = ws.substr(0, ws.rfind('/') + 1) + "00000000-0000-0000-0000-000000000000";
  EXPECT_THAT(error(wrong_id), StartsWith("The browser endpoint " + wrong_id + " is not a DevTools endpoint: "));

  auto browser = connect(ws);
  auto page = browser->new_page();
  const std::string tab = ws.substr(0, ws.find("/devtools/")) + "/devtools/page/" + page->target_id();
  EXPECT_THAT(error(tab), HasSubstr(" is a tab's DevTools endpoint, not the browser's"));
  EXPECT_THAT(error(remote_->http_endpoint() + "/json/list"), HasSubstr(" is malformed: "));
}

TEST(BrowserContexts, KeepCookiesAndStorageApart) {
  const auto server = site();
  const std::string url = "http://" + server.address() + "/shop";
  test::RemoteChromium remote;
  for (const bool launched : {true, false}) {
    SCOPED_TRACE(launched ? "launched" : "connected");
    auto browser = launched ? Browser::launch() : connect(remote.http_endpoint());
    const auto seen = [&](ChromiumPage& page) {
      return page.evaluate("() => document.cookie + '|' + (localStorage.getItem('who') ?? '')").get<std::string>();
    };
    const auto open = [&](auto& owner) {
      auto page = owner.new_page();
      EXPECT_TRUE(page->navigate(url).done()) << url;
      return page;
    };
    auto first = browser->new_context();
    auto second = browser->new_context();
    auto writer = open(*first);
    writer->evaluate("() => { document.cookie = 'who=first; max-age=3600'; localStorage.setItem('who', 'first'); }");
    // The same context shares them: the check can see what it looks for.
    EXPECT_EQ(seen(*open(*first)), "who=first|first");
    EXPECT_EQ(seen(*open(*second)), "|");
    EXPECT_EQ(seen(*open(*browser)), "|");

    // A context disposed of takes its tabs along; a new one starts empty.
    first.reset();
    EXPECT_THROW(writer->url(), PageError);
    auto third = browser->new_context();
    EXPECT_EQ(seen(*open(*third)), "|");
  }
}

TEST(BrowserDownloads, LandInTheNamedFolderOfEveryContext) {
  const fs::path folder = fs::temp_directory_path() / ("quillfen-downloads-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  test::RemoteChromium remote;
  for (const bool launched : {true, false}) {
    SCOPED_TRACE(launched ? "launched" : "connected");
    const fs::path into = folder / (launched ? "launched" : "connected");
    {
      std::unique_ptr<Browser> browser;
      if (launched) {
        LaunchOptions options;
        options.downloads = into;
        browser = Browser::launch(options);
      } else {
        browser = connect(remote.ws_endpoint(), into);
      }
      auto context = browser->new_context();
      const auto save = [](ChromiumPage& page, const std::string& name) {
        EXPECT_TRUE(page.navigate(fixture("download.html")).done());
        page.evaluate("() => { const a = document.getElementById('save'); a.download = '" + name + "'; a.click(); }");
      };
      auto in_default = browser->new_page();
      auto in_context = context->new_page();
      save(*in_default, "default.txt");
      save(*in_context, "context.txt");
      // Once both have begun, the browser object that goes waits for them to finish.
      const auto begun = [&](const std::string& name) {
        return fs::exists(into / name) || fs::exists(into / (name + ".crdownload"));
      };
      const auto deadline = Clock::now() + 60s;
      while (!(begun("default.txt") && begun("context.txt")) && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
      }
    }
    EXPECT_EQ(read_file(into / "default.txt"), "hello from quillfen");
    EXPECT_EQ(read_file(into / "context.txt"), "hello from quillfen");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(into)) names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"context.txt", "default.txt"}));
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace quillfen::chromium
