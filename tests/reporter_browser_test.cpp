// Opens written reports in headless Chromium: the page must render its counts and rows,
// and print nothing to the browser console.
#include "engine/agent/reporter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string browser_path() {
  if (const char* configured = std::getenv("QUILLFEN_CHROMIUM")) return configured;
  // Debian's /usr/bin/chromium is a wrapper script around this binary.
  if (fs::exists("/usr/lib/chromium/chromium")) return "/usr/lib/chromium/chromium";
  return "chromium";
}

struct Rendered {
  int status = -1;
  std::string dom;
  std::string log;
};

// Loads a file with --dump-dom in a fresh profile that is removed afterwards.
Rendered render(const fs::path& html, const fs::path& work) {
  const fs::path profile = work / "profile";
  std::ostringstream command;
  command << "timeout -k 5 60 '" << browser_path() << "' --headless --disable-gpu"
          << (::geteuid() == 0 ? " --no-sandbox" : "")
          << " --no-first-run --disable-background-networking --disable-component-update"
          << " --disable-sync --enable-logging=stderr --v=0"
          << " --user-data-dir='" << profile.string() << "'"
          << " --dump-dom 'file://" << html.string() << "'"
          << " >'" << (work / "dom.txt").string() << "' 2>'" << (work / "log.txt").string()
          << "'";
  Rendered rendered;
  rendered.status = std::system(command.str().c_str());
  rendered.dom = read_file(work / "dom.txt");
  rendered.log = read_file(work / "log.txt");
  fs::remove_all(profile);
  return rendered;
}

class ReporterBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "reporter_browser.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(ReporterBrowserTest, TheReportShowsItsCountsAndRowsWithoutConsoleOutput) {
  // The check below must be able to see console output at all.
  const fs::path noisy = dir_ / "noisy.html";
  std::ofstream(noisy) << "<!DOCTYPE html><p>x</p><script>console.error('heard')</script>";
  const Rendered control = render(noisy, dir_);
  ASSERT_EQ(control.status, 0) << control.log;
  ASSERT_THAT(control.log, HasSubstr(":CONSOLE"));

  std::ostringstream out;
  Reporter reporter(out, "2026-12-07 11:53:22");
  auto button = std::make_shared<ElementRecord>();
  button->tag = "button";
  button->text = "Log in";
  reporter.log_success("click \"Log in\"", "lexical", button);
  reporter.log_failure("click <script>console.error('injected')</script>",
                       ResolutionResult::not_resolved());
  reporter.log_verification("verify \"Products\" is present", true, nullptr,
                            Json{{"present", true}});
  reporter.results.front().extracted = "Welcome <img src=x onerror=\"console.error(1)\">";
  const fs::path report = dir_ / "reports" / "report.html";
  reporter.save_html(report);

  const Rendered rendered = render(report, dir_);
  ASSERT_EQ(rendered.status, 0) << rendered.log;
  // Console messages and uncaught script errors are both logged as CONSOLE lines.
  EXPECT_THAT(rendered.log, Not(HasSubstr(":CONSOLE"))) << rendered.log;

  EXPECT_THAT(rendered.dom, HasSubstr("<title>Test Report — 2026-12-07 11:53:22</title>"));
  EXPECT_THAT(rendered.dom, HasSubstr(">Total: 3</span>"));
  EXPECT_THAT(rendered.dom, HasSubstr(">Passed: 2</span>"));
  EXPECT_THAT(rendered.dom, HasSubstr(">Failed: 1</span>"));
  // The page text stays text: no element was made from it.
  EXPECT_THAT(rendered.dom, Not(HasSubstr("<script>console")));
  EXPECT_THAT(rendered.dom, Not(HasSubstr("<img")));
  EXPECT_THAT(rendered.dom,
              HasSubstr("<td><code>click &lt;script&gt;console.error('injected')&lt;/script&gt;"
                        "</code></td>"));
  EXPECT_THAT(rendered.dom,
              HasSubstr("<td>Welcome &lt;img src=x onerror=\"console.error(1)\"&gt;</td>"));
  EXPECT_THAT(rendered.dom, HasSubstr("<td><code>verify \"Products\" is present</code></td>"));
  // Three body rows, numbered in order.
  for (const char* number : {"<td>1</td>", "<td>2</td>", "<td>3</td>"}) {
    EXPECT_THAT(rendered.dom, HasSubstr(number));
  }
  EXPECT_THAT(rendered.dom, Not(HasSubstr("<td>4</td>")));
}

}  // namespace
}  // namespace quillfen
