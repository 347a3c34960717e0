// The HTML report of a run with failures, as a reader opens it in Chromium: every
// picture loads, the outline in a failing step's picture sits on the element it names,
// the "failed only" switch hides what passed (in the table too), the page logs nothing
// to the console, and text from the page or the script that reads as markup stays text
// in the report, in JUnit and in JSON.
#include "chromium/browser.hpp"
#include "tests/cli_support.hpp"
#include "tests/picture_pixels.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using namespace cli_support;
using namespace test_pictures;
using ::testing::HasSubstr;
using ::testing::Not;

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/pictures/" + name;
}

std::string browser_path() {
  if (const char* configured = std::getenv("QUILLFEN_CHROMIUM")) return configured;
  if (fs::exists("/usr/lib/chromium/chromium")) return "/usr/lib/chromium/chromium";
  return "chromium";
}

class ReportRun : public TempDirTest {
 protected:
  static void SetUpTestSuite() { browser_ = chromium::Browser::launch(); }
  static void TearDownTestSuite() { browser_.reset(); }

  Outcome quillfen(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE);
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command + " </dev/null", dir_ / "stderr");
  }

  std::unique_ptr<chromium::ChromiumPage> open(const std::string& path) const {
    auto tab = browser_->new_page();
    EXPECT_TRUE(tab->navigate(path, std::chrono::seconds(20)).done());
    return tab;
  }

  // What the page logs to the browser's console while it loads and runs its script.
  std::string console_of(const fs::path& page) const {
    const fs::path profile = dir_ / "profile";
    std::ostringstream command;
    command << "timeout -k 5 60 " << shell_quoted(browser_path()) << " --headless --disable-gpu"
            << (::geteuid() == 0 ? " --no-sandbox" : "")
            << " --no-first-run --disable-background-networking --disable-component-update"
            << " --disable-sync --enable-logging=stderr --v=0 --user-data-dir=" << shell_quoted(profile.string())
            << " --dump-dom " << shell_quoted("file://" + page.string()) << " >/dev/null 2>"
            << shell_quoted((dir_ / "console.txt").string());
    EXPECT_EQ(std::system(command.str().c_str()), 0);
    fs::remove_all(profile);
    return slurp(dir_ / "console.txt");
  }

  static inline std::unique_ptr<chromium::Browser> browser_;
};

int visible(chromium::Tab& tab, const std::string& selector) {
  return tab.evaluate("() => [...document.querySelectorAll('" + selector + "')].filter(e => e.offsetParent).length")
      .get<int>();
}

TEST_F(ReportRun, FailuresShowTheirPicturesWithTheElementOutlinedAndTheFilterHidesPasses) {
  write("shop.test", "navigate " + fixture("outline.html") +
                         "\n"
                         "click \"Cancel\"\n"
                         "verify \"Save\" is disabled\n"
                         "click \"Delete everything\"\n");
  const Outcome o = quillfen({"run", "shop.test", "--timeout", "500", "--report", "out/report.html", "--junit",
                              "junit.xml", "--json", "run.json"});
  ASSERT_EQ(o.status, 1) << o.out << o.err;
  const fs::path report = dir_ / "out" / "report.html";
  const std::string html = slurp(report);

  // The reporter's own part is there as it always is.
  EXPECT_THAT(html, HasSubstr("<span class=\"badge total\">Total: 4</span>"));
  EXPECT_THAT(html, HasSubstr("<span class=\"badge fail\">Failed: 2</span>"));

  auto page = open(report.string());
  // Both failures have a picture, linked relative to the report, and each loads.
  EXPECT_EQ(page->evaluate("() => [...document.images].map(i => [i.getAttribute('src'), i.complete && "
                           "i.naturalWidth > 0])"),
            Json::parse(R"([["report-files/1-shop-line3.png", true], ["report-files/1-shop-line4.png", true]])"));

  // The failed check names the Save button; its outline sits on the button's box.
  const std::string png = slurp(dir_ / "out" / "report-files" / "1-shop-line3.png");
  const auto drawn = pixels_of(*page, png, ELEMENT_COLOUR);
  ASSERT_TRUE(drawn);
  auto shop = open(fixture("outline.html"));
  const Extent save = box_of(*shop, "save");
  EXPECT_NEAR(drawn->left, save.left - 3, 3);
  EXPECT_NEAR(drawn->top, save.top - 3, 3);
  EXPECT_NEAR(drawn->right, save.right + 3, 3);
  EXPECT_NEAR(drawn->bottom, save.bottom + 3, 3);

  // "Failed only" hides the passes, in the details and in the table, and shows them again.
  EXPECT_EQ(visible(*page, "#qf li.qf-step"), 4);
  EXPECT_EQ(visible(*page, "table tbody tr"), 4);
  page->evaluate("() => document.getElementById('qf-failed-only').click()");
  EXPECT_EQ(visible(*page, "#qf li.qf-step"), 2);
  EXPECT_EQ(visible(*page, "table tbody tr"), 2);
  EXPECT_EQ(page->evaluate("() => [...document.querySelectorAll('table tbody tr')].filter(e => e.offsetParent)"
                           ".map(r => r.cells[2].textContent)"),
            Json::parse(R"(["FAIL", "FAIL"])"));
  page->evaluate("() => document.getElementById('qf-failed-only').click()");
  EXPECT_EQ(visible(*page, "#qf li.qf-step"), 4);
  // The failing script's group is open, and it says what a reader needs.
  EXPECT_EQ(page->evaluate("() => document.querySelector('#qf details').open"), true);
  const std::string text = page->evaluate("() => document.getElementById('qf').innerText").get<std::string>();
  for (const char* expected : {"Started", "Duration", "Browser", "Command", "DOM-verify", "/html[1]/body[1]/div[1]/button[1]",
                               "{'present': True, 'visible': True, 'enabled': True}", "line 4"}) {
    EXPECT_THAT(text, HasSubstr(expected));
  }

  // The page says nothing on the console: no error, no warning.
  EXPECT_THAT(console_of(report), Not(HasSubstr(":CONSOLE")));

  // CI tools find the pictures from the working directory; each case has its time.
  const std::string junit = slurp(dir_ / "junit.xml");
  EXPECT_THAT(junit, HasSubstr("[[ATTACHMENT|out/report-files/1-shop-line3.png]]"));
  EXPECT_THAT(junit, HasSubstr("[[ATTACHMENT|out/report-files/1-shop-line4.png]]"));
  EXPECT_THAT(junit, HasSubstr("line=\"3\" time=\""));
  const Json run = Json::parse(slurp(dir_ / "run.json"));
  EXPECT_EQ(run["scripts"][0]["steps"][2]["attachments"][0]["path"], "report-files/1-shop-line3.png");
  EXPECT_EQ(run["scripts"][0]["steps"][1]["attachments"], Json::array());
}

TEST_F(ReportRun, PagesAndScriptsThatWriteMarkupStayTextInEveryOutput) {
  write("markup.test", "navigate " + fixture("markup.html") +
                           "\n"
                           "click \"Save\"\n"
                           "verify text next to \"Total </script><b>\" is $2.00\n"
                           "click \"<i>Missing</i>\"\n");
  const Outcome o = quillfen({"run", "markup.test", "--timeout", "500", "--report", "report.html", "--junit",
                              "junit.xml", "--json", "run.json", "--screenshots", "all"});
  ASSERT_EQ(o.status, 1) << o.out << o.err;

  const std::string html = slurp(dir_ / "report.html");
  const std::string junit = slurp(dir_ / "junit.xml");
  for (const std::string* document : {&html, &junit}) {
    EXPECT_THAT(*document, Not(HasSubstr("<img src=x")));
    EXPECT_THAT(*document, Not(HasSubstr("</script><b>")));
    EXPECT_THAT(*document, Not(HasSubstr("<i>Missing")));
    EXPECT_THAT(*document, HasSubstr("&lt;img src=x onerror="));
    EXPECT_THAT(*document, HasSubstr("&lt;i&gt;Missing&lt;/i&gt;"));
  }
  const Json run = Json::parse(slurp(dir_ / "run.json"));
  EXPECT_THAT(run["scripts"][0]["steps"][1]["element"]["text"].get<std::string>(),
              HasSubstr("<img src=x onerror=\"document.title='pwned'\">"));
  EXPECT_EQ(run["scripts"][0]["steps"][3]["instruction"], "click \"<i>Missing</i>\"");

  // In the browser the text is text: no element made of it, no script run from it.
  auto page = open((dir_ / "report.html").string());
  EXPECT_THAT(page->title(), HasSubstr("Test Report"));
  EXPECT_EQ(page->evaluate("() => document.querySelectorAll('b, i, img:not([src^=\"report-files/\"])').length"), 0);
  // Every step had its picture taken, and each loads.
  EXPECT_EQ(page->evaluate("() => [...document.images].filter(i => i.complete && i.naturalWidth > 0).length"), 4);
}

}  // namespace
}  // namespace quillfen
