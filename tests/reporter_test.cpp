#include "engine/agent/reporter.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace quillfen {
namespace {

namespace fs = std::filesystem;

constexpr const char* STARTED = "2026-12-07 11:53:22";

// The whole report page; {STARTED}, {TOTAL}, {PASSED}, {FAILED} and {ROWS} are filled in.
constexpr const char* PAGE = R"(<!DOCTYPE html>
<html lang="en">
<head>
  <meta charset="UTF-8">
  <title>Test Report — {STARTED}</title>
  <style>
    body { font-family: -apple-system, sans-serif; margin: 40px; color: #1f2328; }
    h1   { font-size: 1.4em; }
    .summary { display: flex; gap: 24px; margin: 16px 0 24px; }
    .badge { padding: 8px 18px; border-radius: 6px; font-weight: bold; font-size: 1.1em; }
    .pass  { background: #dafbe1; color: #1a7f37; }
    .fail  { background: #ffebe9; color: #cf222e; }
    .total { background: #f0f0f0; color: #333; }
    table  { border-collapse: collapse; width: 100%; font-size: 0.9em; }
    th     { background: #f6f8fa; text-align: left; padding: 8px 12px; border-bottom: 2px solid #d0d7de; }
    td     { padding: 8px 12px; border-bottom: 1px solid #d0d7de; }
    code   { background: #f6f8fa; padding: 2px 6px; border-radius: 4px; font-size: 0.85em; }
  </style>
</head>
<body>
  <h1>Test Report</h1>
  <p style="color:#666">{STARTED}</p>
  <div class="summary">
    <span class="badge total">Total: {TOTAL}</span>
    <span class="badge pass">Passed: {PASSED}</span>
    <span class="badge fail">Failed: {FAILED}</span>
  </div>
  <table>
    <thead>
      <tr><th>#</th><th>Instruction</th><th>Status</th><th>Detail</th></tr>
    </thead>
    <tbody>
      {ROWS}
    </tbody>
  </table>
</body>
</html>)";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

std::string page(const std::string& started, int total, int passed, int failed,
                 const std::string& rows) {
  std::string p = replaced(PAGE, "{STARTED}", started);
  p = replaced(p, "{TOTAL}", std::to_string(total));
  p = replaced(p, "{PASSED}", std::to_string(passed));
  p = replaced(p, "{FAILED}", std::to_string(failed));
  // Rows go last: they hold page text that could look like a placeholder.
  return replaced(p, "{ROWS}", rows);
}

std::string pass_row(int number, const std::string& instruction, const std::string& detail) {
  return "\n            <tr style=\"background:#f6fff9\">"
         "\n                <td>" + std::to_string(number) + "</td>"
         "\n                <td><code>" + instruction + "</code></td>"
         "\n                <td style=\"color:#2da44e;font-weight:bold\">PASS</td>"
         "\n                <td>" + detail + "</td>"
         "\n            </tr>";
}

std::string fail_row(int number, const std::string& instruction, const std::string& status,
                     const std::string& detail) {
  return "\n            <tr style=\"background:#fff6f6\">"
         "\n                <td>" + std::to_string(number) + "</td>"
         "\n                <td><code>" + instruction + "</code></td>"
         "\n                <td style=\"color:#cf222e;font-weight:bold\">" + status + "</td>"
         "\n                <td>" + detail + "</td>"
         "\n            </tr>";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

Element element(std::string tag, std::string text, std::string xpath,
                std::string label = "") {
  auto e = std::make_shared<ElementRecord>();
  e->tag = std::move(tag);
  e->text = std::move(text);
  e->xpath = std::move(xpath);
  if (!label.empty()) e->attributes.set("_label", std::move(label));
  return e;
}

ResolutionResult result(double confidence, Elements candidates = {}) {
  ResolutionResult r;
  r.confidence = confidence;
  r.candidates = std::move(candidates);
  return r;
}

// A record that the caller builds itself, without a strategy.
ResultRecord own_record(std::string status, std::string instruction) {
  ResultRecord record;
  record.status = std::move(status);
  record.instruction = std::move(instruction);
  return record;
}

// Writes the report while files may grow to 512 bytes only, and exits with 3 when the
// write failed and printed nothing.
[[noreturn]] void save_with_small_file_limit(const std::vector<ResultRecord>& results,
                                             const fs::path& path) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{512, 512};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::ostringstream out;
  Reporter reporter(out, STARTED);
  reporter.results = results;
  try {
    reporter.save_html(path);
  } catch (const ReportWriteError&) {
    std::_Exit(out.str().empty() ? 3 : 4);
  }
  std::_Exit(5);
}

class ReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "reporter_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path report() const { return dir_ / "reports" / "report.html"; }
  std::string report_line() const { return "  HTML report → " + report().string() + "\n"; }

  fs::path dir_;
  std::ostringstream out_;
};

TEST_F(ReporterTest, NoRecordsGiveTheBareSummaryAndAnEmptyTable) {
  const Reporter reporter(out_, STARTED);
  reporter.summary(report());

  EXPECT_EQ(out_.str(),
            "\n"
            "============================================================\n"
            "  TEST RUN SUMMARY  —  2026-12-07 11:53:22\n"
            "============================================================\n"
            "  Total        : 0\n"
            "  Passed       : 0\n"
            "  Failed       : 0\n"
            "\n"
            "============================================================\n" +
                report_line());
  EXPECT_EQ(read_file(report()), page(STARTED, 0, 0, 0, ""));
  // The six blanks of the empty body stand alone on their line.
  EXPECT_THAT(read_file(report()), ::testing::HasSubstr("<tbody>\n      \n    </tbody>"));
}

TEST_F(ReporterTest, AdditionsGoBesideThePageAndLeaveItsOwnLinesAsTheyAre) {
  Reporter reporter(out_, STARTED);
  reporter.log_success("click \"Save\"", "DOM", element("button", "Save", "/b[1]"));
  const std::string plain = reporter.html();
  reporter.additions = {"  <style>#x {}</style>\n", "  <section>more</section>\n"};
  const std::string extended = reporter.html();
  // Taking the two additions out again gives the page as it was, line for line.
  std::string without = extended;
  for (const std::string& added : {reporter.additions.head, reporter.additions.body}) {
    const auto at = without.find(added);
    ASSERT_NE(at, std::string::npos);
    without.erase(at, added.size());
  }
  EXPECT_EQ(without, plain);
  EXPECT_THAT(extended, ::testing::HasSubstr("  </style>\n  <style>#x {}</style>\n</head>\n"));
  EXPECT_THAT(extended, ::testing::HasSubstr("  </table>\n  <section>more</section>\n</body>\n</html>"));
}

TEST_F(ReporterTest, DefaultsToNowAndToTheReportUnderTheWorkingDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  const Reporter reporter(out_);
  reporter.save_html();
  reporter.save_html();  // the second write replaces the first
  fs::current_path(previous);

  EXPECT_THAT(reporter.started_at(),
              ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
  EXPECT_EQ(out_.str(), "  HTML report → data/reports/report.html\n"
                        "  HTML report → data/reports/report.html\n");
  EXPECT_EQ(read_file(dir_ / "data/reports/report.html"),
            page(reporter.started_at(), 0, 0, 0, ""));
  EXPECT_EQ(names_in(dir_ / "data/reports"), std::vector<std::string>{"report.html"});
}

TEST_F(ReporterTest, PassesAreCountedByStrategyInOrderOfFirstAppearance) {
  Reporter reporter(out_, STARTED);
  const std::string long_text(100, 'x');
  reporter.log_success("click \"Log in\"", "lexical", element("button", "Log in", "/b[1]"));
  reporter.log_success("type bob into \"Name\"", "relational",
                       element("input", long_text, "/i[1]", "Name"));
  reporter.log_success("click \"Über\"", "lexical", element("a", "Über uns ünd mehr", "/a[1]"));
  reporter.log_success("hover \"Menu\"", "a-very-long-strategy-label", nullptr);
  reporter.log_success("click \"Café\"", "é-label", element("span", "", "/s[1]"));

  ASSERT_EQ(reporter.results.size(), 5u);
  EXPECT_EQ(to_json(reporter.results[1]).dump(),
            R"({"status":"PASS","instruction":"type bob into \"Name\"","strategy":"relational",)"
            R"("element_tag":"input","element_text":")" + std::string(40, 'x') +
                R"(","element_label":"Name","locator":"/i[1]"})");
  EXPECT_EQ(to_json(reporter.results[3]).dump(),
            R"({"status":"PASS","instruction":"hover \"Menu\"",)"
            R"("strategy":"a-very-long-strategy-label","element_tag":"","element_text":"",)"
            R"("element_label":"","locator":""})");

  reporter.summary(report());
  EXPECT_EQ(out_.str(),
            "  [PASS] click \"Log in\"  (via lexical)\n"
            "  [PASS] type bob into \"Name\"  (via relational)\n"
            "  [PASS] click \"Über\"  (via lexical)\n"
            "  [PASS] hover \"Menu\"  (via a-very-long-strategy-label)\n"
            "  [PASS] click \"Café\"  (via é-label)\n"
            "\n"
            "============================================================\n"
            "  TEST RUN SUMMARY  —  2026-12-07 11:53:22\n"
            "============================================================\n"
            "  Total        : 5\n"
            "  Passed       : 5\n"
            "  Failed       : 0\n"
            "\n"
            "  Strategy breakdown (passes only):\n"
            "    lexical              2\n"
            "    relational           1\n"
            "    a-very-long-strategy-label 1\n"
            "    é-label              1\n"  // padded by characters, not bytes
            "\n"
            "============================================================\n" +
                report_line());
  EXPECT_EQ(read_file(report()),
            page(STARTED, 5, 5, 0,
                 pass_row(1, "click &quot;Log in&quot;", "Log in") +
                     pass_row(2, "type bob into &quot;Name&quot;", std::string(40, 'x')) +
                     pass_row(3, "click &quot;Über&quot;", "Über uns ünd mehr") +
                     pass_row(4, "hover &quot;Menu&quot;", "") +
                     pass_row(5, "click &quot;Café&quot;", "")));
}

TEST_F(ReporterTest, FailuresGiveReasonsAndTheClosestCandidate) {
  Reporter reporter(out_, STARTED);
  // Level 1 has no candidates, so the closest one comes from level 2; its text holds a
  // single quote and is cut to 30 characters.
  reporter.log_failure(
      "click \"Buy\"", result(0.5), result(0.0, {element("a", "It's the buy-now link, really the best one", "/a[1]"),
                                                 element("b", "second", "/b[1]")}));
  // Every strategy given, the first candidate of level 1 wins; the confidence rounds.
  reporter.log_failure("click \"Go\"", result(1.0, {element("button", "Go \\ \"now\"", "/b[1]")}),
                       result(0.125), result(0.999, {element("div", "vision", "/d[1]")}));
  // Level 1 only, without candidates.
  reporter.log_failure("click \"Nothing\"", result(0.0));
  // No result at all: no reasons, no candidate.
  reporter.log_failure("click \"Gone\"", std::nullopt);
  // A candidate without a record counts as an empty one.
  reporter.log_failure("click \"Odd\"", std::nullopt, std::nullopt, result(0.25, {nullptr}));
  // A record of the caller's own with another status counts as failed but is not listed.
  reporter.results.push_back(own_record("SKIP", "wait 5"));

  EXPECT_EQ(to_json(reporter.results[0]).dump(),
            R"({"status":"FAIL","instruction":"click \"Buy\"","strategy":"none",)"
            R"("reasons":"DOM confidence=0.50 | Spatial confidence=0.00",)"
            R"("top_candidate":"<a> text=\"It's the buy-now link, really \""})");
  EXPECT_EQ(to_json(reporter.results[3]).dump(),
            R"({"status":"FAIL","instruction":"click \"Gone\"","strategy":"none",)"
            R"("reasons":"","top_candidate":""})");

  reporter.summary(report());
  EXPECT_EQ(out_.str(),
            "  [FAIL] click \"Buy\"\n"
            "         reasons : DOM confidence=0.50 | Spatial confidence=0.00\n"
            "         closest : <a> text=\"It's the buy-now link, really \"\n"
            "  [FAIL] click \"Go\"\n"
            "         reasons : DOM confidence=1.00 | Spatial confidence=0.12 | Florence confidence=1.00\n"
            "         closest : <button> text='Go \\\\ \"now\"'\n"
            "  [FAIL] click \"Nothing\"\n"
            "         reasons : DOM confidence=0.00\n"
            "  [FAIL] click \"Gone\"\n"
            "  [FAIL] click \"Odd\"\n"
            "         reasons : Florence confidence=0.25\n"
            "         closest : <> text=''\n"
            "\n"
            "============================================================\n"
            "  TEST RUN SUMMARY  —  2026-12-07 11:53:22\n"
            "============================================================\n"
            "  Total        : 6\n"
            "  Passed       : 0\n"
            "  Failed       : 6\n"
            "\n"
            "  Failed instructions:\n"
            "    ✗  click \"Buy\"\n"
            "       DOM confidence=0.50 | Spatial confidence=0.00\n"
            "    ✗  click \"Go\"\n"
            "       DOM confidence=1.00 | Spatial confidence=0.12 | Florence confidence=1.00\n"
            "    ✗  click \"Nothing\"\n"
            "       DOM confidence=0.00\n"
            "    ✗  click \"Gone\"\n"
            "    ✗  click \"Odd\"\n"
            "       Florence confidence=0.25\n"
            "\n"
            "============================================================\n" +
                report_line());
  EXPECT_EQ(
      read_file(report()),
      page(STARTED, 6, 0, 6,
           fail_row(1, "click &quot;Buy&quot;", "FAIL",
                    "DOM confidence=0.50 | Spatial confidence=0.00") +
               fail_row(2, "click &quot;Go&quot;", "FAIL",
                        "DOM confidence=1.00 | Spatial confidence=0.12 | Florence confidence=1.00") +
               fail_row(3, "click &quot;Nothing&quot;", "FAIL", "DOM confidence=0.00") +
               fail_row(4, "click &quot;Gone&quot;", "FAIL", "") +
               fail_row(5, "click &quot;Odd&quot;", "FAIL", "Florence confidence=0.25") +
               fail_row(6, "wait 5", "SKIP", "")));
}

TEST_F(ReporterTest, VerificationsPrintTheirStateAndCountUnderDomVerify) {
  Reporter reporter(out_, STARTED);
  reporter.log_verification("verify \"Products\" is present", true,
                            element("h2", "Products", "/h2[1]", "ignored label"),
                            Json{{"present", true}, {"visible", false}, {"enabled", true}});
  reporter.log_verification("verify \"Promo\" is visible", false, nullptr);
  reporter.log_verification("find \"Total\"", true, element("span", "Total", "/s[1]"), Json());
  reporter.log_verification(
      "verify \"It's\" is enabled", false, element("input", "", "/i[1]"),
      Json{{"it's", "a \"b\" c"}, {"count", 2}, {"ratio", 0.5}, {"none", nullptr},
           {"list", {1, "x"}}, {"inner", {{"k", false}}}});
  EXPECT_THROW(reporter.log_verification("verify x", true, nullptr, Json::array()), TypeError);

  EXPECT_EQ(to_json(reporter.results[0]).dump(),
            R"({"status":"PASS","instruction":"verify \"Products\" is present",)"
            R"("strategy":"DOM-verify","element_tag":"h2","element_text":"Products",)"
            R"("state":{"present":true,"visible":false,"enabled":true},"locator":"/h2[1]"})");
  EXPECT_EQ(to_json(reporter.results[1]).dump(),
            R"({"status":"FAIL","instruction":"verify \"Promo\" is visible",)"
            R"("strategy":"DOM-verify","element_tag":"","element_text":"","state":{},)"
            R"("locator":""})");
  EXPECT_EQ(reporter.results[2].state, Json::object());

  reporter.summary(report());
  EXPECT_EQ(out_.str(),
            "  [PASS] verify \"Products\" is present\n"
            "         state : {'present': True, 'visible': False, 'enabled': True}\n"
            "  [FAIL] verify \"Promo\" is visible\n"
            "  [PASS] find \"Total\"\n"
            "  [FAIL] verify \"It's\" is enabled\n"
            "         state : {\"it's\": 'a \"b\" c', 'count': 2, 'ratio': 0.5, 'none': None, "
            "'list': [1, 'x'], 'inner': {'k': False}}\n"
            "\n"
            "============================================================\n"
            "  TEST RUN SUMMARY  —  2026-12-07 11:53:22\n"
            "============================================================\n"
            "  Total        : 4\n"
            "  Passed       : 2\n"
            "  Failed       : 2\n"
            "\n"
            "  Strategy breakdown (passes only):\n"
            "    DOM-verify           2\n"
            "\n"
            "  Failed instructions:\n"
            "    ✗  verify \"Promo\" is visible\n"
            "    ✗  verify \"It's\" is enabled\n"
            "\n"
            "============================================================\n" +
                report_line());
  EXPECT_EQ(read_file(report()),
            page(STARTED, 4, 2, 2,
                 pass_row(1, "verify &quot;Products&quot; is present", "Products") +
                     fail_row(2, "verify &quot;Promo&quot; is visible", "FAIL", "") +
                     pass_row(3, "find &quot;Total&quot;", "Total") +
                     fail_row(4, "verify &quot;It&#x27;s&quot; is enabled", "FAIL", "")));
}

TEST_F(ReporterTest, AnExtractedTextIsTheDetailOfItsRow) {
  Reporter reporter(out_, STARTED);
  reporter.log_success("extract text below \"Price\"", "lexical", element("p", "Price", "/p[1]"));
  reporter.results.back().extracted = "$29.00";
  reporter.results.back().details["duration_ms"] = 12;
  // An empty extracted text leaves the element's text as the detail.
  reporter.log_success("click \"Add\"", "lexical", element("button", "Add", "/b[1]"));
  reporter.results.back().extracted = "";
  // Reasons come before an extracted text.
  reporter.log_failure("extract text below \"Tax\"", result(0.0));
  reporter.results.back().extracted = "unused";

  EXPECT_EQ(to_json(reporter.results[0]).dump(),
            R"({"status":"PASS","instruction":"extract text below \"Price\"",)"
            R"("strategy":"lexical","element_tag":"p","element_text":"Price",)"
            R"("element_label":"","locator":"/p[1]","extracted":"$29.00","duration_ms":12})");

  reporter.save_html(report());
  EXPECT_EQ(read_file(report()),
            page(STARTED, 3, 2, 1,
                 pass_row(1, "extract text below &quot;Price&quot;", "$29.00") +
                     pass_row(2, "click &quot;Add&quot;", "Add") +
                     fail_row(3, "extract text below &quot;Tax&quot;", "FAIL",
                              "DOM confidence=0.00")));
}

TEST_F(ReporterTest, InsertedValuesAreEscapedInTheReportButNotOnTheConsole) {
  Reporter reporter(out_, "2026-12-07 <b>&</b>");
  reporter.log_success("type <script>alert('x')</script> into \"A&B\"", "lexical",
                       element("input", "<img src=x onerror=alert(1)>", "/i[1]"));
  reporter.log_failure("click \"<b>\"", result(0.0, {element("a", "<i>", "/a[1]")}));
  reporter.results.push_back(own_record("<s>", "x"));

  reporter.save_html(report());
  EXPECT_EQ(out_.str(),
            "  [PASS] type <script>alert('x')</script> into \"A&B\"  (via lexical)\n"
            "  [FAIL] click \"<b>\"\n"
            "         reasons : DOM confidence=0.00\n"
            "         closest : <a> text='<i>'\n" +
                report_line());
  EXPECT_EQ(read_file(report()),
            page("2026-12-07 &lt;b&gt;&amp;&lt;/b&gt;", 3, 1, 2,
                 pass_row(1,
                          "type &lt;script&gt;alert(&#x27;x&#x27;)&lt;/script&gt; into "
                          "&quot;A&amp;B&quot;",
                          "&lt;img src=x onerror=alert(1)&gt;") +
                     fail_row(2, "click &quot;&lt;b&gt;&quot;", "FAIL", "DOM confidence=0.00") +
                     fail_row(3, "x", "&lt;s&gt;", "")));
}

TEST_F(ReporterTest, AFailedWriteThrowsPrintsNothingAndLeavesNoFileBehind) {
  Reporter reporter(out_, STARTED);
  reporter.log_success("click \"A\"", "lexical", nullptr);
  out_.str("");

  // The directory cannot be made: a plain file stands where it should be.
  std::ofstream(dir_ / "blocker") << "x";
  try {
    reporter.save_html(dir_ / "blocker" / "report.html");
    ADD_FAILURE() << "no exception";
  } catch (const ReportWriteError& error) {
    EXPECT_THAT(error.what(), ::testing::StartsWith("cannot write the HTML report " +
                                                    (dir_ / "blocker/report.html").string() +
                                                    ": cannot create its directory: "));
  }

  // The target is a directory: the page is written but cannot be put in place.
  fs::create_directories(dir_ / "taken" / "report.html" / "inside");
  EXPECT_THROW(reporter.save_html(dir_ / "taken" / "report.html"), ReportWriteError);
  EXPECT_EQ(names_in(dir_ / "taken"), std::vector<std::string>{"report.html"});

  // The summary is printed, but the failure ends it before the report line.
  EXPECT_THROW(reporter.summary(dir_ / "taken" / "report.html"), ReportWriteError);
  EXPECT_THAT(out_.str(), ::testing::EndsWith(
                              "============================================================\n"));
  EXPECT_THAT(out_.str(), ::testing::Not(::testing::HasSubstr("HTML report")));
}

TEST_F(ReporterTest, AWriteCutShortKeepsTheEarlierReportWhole) {
  Reporter reporter(out_, STARTED);
  reporter.save_html(report());
  const std::string earlier = read_file(report());
  for (int i = 0; i < 50; ++i) reporter.log_success("click \"A\"", "lexical", nullptr);

  // In a child process the write of the longer page fails part way through.
  EXPECT_EXIT(save_with_small_file_limit(reporter.results, report()),
              ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(read_file(report()), earlier);
  EXPECT_EQ(names_in(report().parent_path()), std::vector<std::string>{"report.html"});
}

TEST_F(ReporterTest, AReportPathThatIsALinkOrAFifoIsWrittenThroughNotReplaced) {
  Reporter reporter(out_, STARTED);
  reporter.log_success("click \"A\"", "lexical", nullptr);

  // A link to the report kept elsewhere: the file it leads to gets the new report.
  fs::create_directories(dir_ / "kept");
  std::ofstream(dir_ / "kept" / "report.html") << "the old report";
  fs::create_symlink(dir_ / "kept" / "report.html", dir_ / "linked.html");
  reporter.save_html(dir_ / "linked.html");
  EXPECT_TRUE(fs::is_symlink(dir_ / "linked.html"));
  EXPECT_EQ(read_file(dir_ / "kept" / "report.html"), reporter.html());

  // A FIFO, as a pipe to another program: the page goes through it, and it stays one.
  // The reading end is open first, so the write need not wait for a reader.
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  reporter.save_html(fifo);
  std::string received(1 << 16, '\0');
  const ssize_t n = ::read(reader, received.data(), received.size());
  ::close(reader);
  received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(received, reporter.html());
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(names_in(dir_), (std::vector<std::string>{"fifo", "kept", "linked.html"}));
}

}  // namespace
}  // namespace quillfen
