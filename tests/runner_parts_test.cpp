// The runner's parts that need no browser: JUnit XML and script files.
#include "runner/junit_report.hpp"
#include "runner/script_file.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;

StepOutcome step_of(const std::string& instruction, int line, double seconds, std::optional<std::string> failure) {
  StepOutcome step;
  step.instruction = instruction;
  step.line = line;
  step.duration = Seconds{seconds};
  step.status = failure ? StepStatus::failed : StepStatus::passed;
  step.reason = std::move(failure);
  return step;
}

ScriptOutcome script_of(const std::string& path, double seconds, std::vector<StepOutcome> steps) {
  ScriptOutcome script;
  script.path = path;
  script.duration = Seconds{seconds};
  script.steps = std::move(steps);
  return script;
}

RunOutcome run_of(std::vector<ScriptOutcome> scripts) {
  RunOutcome run;
  for (const ScriptOutcome& script : scripts) run.duration += script.duration;
  run.scripts = std::move(scripts);
  return run;
}

TEST(JUnit, WritesSuitesCasesAndEscapedFailures) {
  const RunOutcome suites = run_of(
      {script_of("a<b>.test", 1.5,
                 {step_of("click \"Log in\" & go", 3, 0.25, std::nullopt),
                  step_of("verify 'x'", 4, 1.0, std::string("covered by <div id=\"o\">\x01 \xff"))}),
       script_of("empty.test", 0.0, {})});
  const std::string xml = junit_xml(suites);
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
  EXPECT_NE(xml.find("<testsuites name=\"quillfen\" tests=\"2\" failures=\"1\" errors=\"0\" time=\"1.500\">"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("<testsuite name=\"a&lt;b&gt;.test\" tests=\"2\" failures=\"1\""), std::string::npos);
  EXPECT_NE(xml.find("<testcase classname=\"a&lt;b&gt;.test\" name=\"click &quot;Log in&quot; &amp; go\" "
                     "file=\"a&lt;b&gt;.test\" line=\"3\" time=\"0.250\"/>"),
            std::string::npos)
      << xml;
  // A control character and invalid UTF-8 cannot appear in XML: both are replaced.
  const std::string message = "covered by &lt;div id=&quot;o&quot;&gt;\uFFFD \uFFFD";
  EXPECT_NE(xml.find("<failure message=\"" + message + "\">" + message + "</failure>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<testsuite name=\"empty.test\" tests=\"0\" failures=\"0\""), std::string::npos);
  EXPECT_EQ(xml.find('\x01'), std::string::npos);
  EXPECT_EQ(xml.substr(xml.size() - 14), "</testsuites>\n");

  const fs::path file = fs::temp_directory_path() / ("quillfen-junit-" + std::to_string(::getpid())) / "x.xml";
  write_junit(file, suites);
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), xml);
  fs::remove_all(file.parent_path());
  EXPECT_THROW(write_junit("/proc/no/such/junit.xml", suites), std::runtime_error);
}

TEST(ScriptFile, SkipsCommentsAndKeepsTheFileLineNumbers) {
  const fs::path file = fs::temp_directory_path() / ("quillfen-script-" + std::to_string(::getpid()) + ".test");
  std::ofstream(file, std::ios::binary) << "\xEF\xBB\xBF# title\r\n"
                                           "navigate site/index.html\r\n"
                                           "\r\n"
                                           "   # indented comment\n"
                                           "  click \"Log in\"  \n"
                                           "\u00a0\n"
                                           "tap Submit\n"
                                           "back\n"
                                           "wait x";
  const Script script = read_script(file);
  ASSERT_EQ(script.steps.size(), 5u);
  EXPECT_EQ(script.steps[0].line, 2);
  EXPECT_EQ(script.steps[0].text, "navigate site/index.html");
  EXPECT_EQ(script.steps[1].line, 5);
  EXPECT_EQ(script.steps[1].text, "click \"Log in\"");
  EXPECT_EQ(script.steps[4].line, 9);

  // Validation issues, and lines that validate but cannot be parsed, with their lines.
  const std::vector<std::string> issues = script_issues(script);
  ASSERT_EQ(issues.size(), 3u);
  EXPECT_EQ(issues[0].rfind(file.string() + ":7: Unknown action 'tap'.", 0), 0u) << issues[0];
  EXPECT_EQ(issues[1].rfind(file.string() + ":8: Unrecognised instruction: 'back'", 0), 0u) << issues[1];
  EXPECT_EQ(issues[2], file.string() + ":9: `wait` value must be a number in milliseconds. Got: 'x'");
  fs::remove(file);

  EXPECT_THROW(read_script(file), std::runtime_error);
  EXPECT_THROW(read_script(fs::temp_directory_path()), std::runtime_error);
}

// Writes the JUnit file while files may grow to 4 kB only; exits 3 when the write failed.
[[noreturn]] void write_junit_with_small_file_limit(const fs::path& file, const RunOutcome& suites) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  try {
    write_junit(file, suites);
  } catch (const std::runtime_error&) {
    std::_Exit(3);
  }
  std::_Exit(0);
}

TEST(JUnit, AFailedOrConcurrentWriteNeverLeavesAFragment) {
  const RunOutcome small = run_of({script_of("a.test", 1.0, {step_of("click A", 1, 0.5, std::nullopt)})});
  RunOutcome large = run_of({script_of("b.test", 2.0, {})});
  for (int i = 0; i < 20000; ++i) large.scripts[0].steps.push_back(step_of("click B", i + 1, 0.1, "reason"));
  const std::string small_xml = junit_xml(small);
  const std::string large_xml = junit_xml(large);
  std::string pattern = (fs::temp_directory_path() / "quillfen-junit-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path file = dir / "junit.xml";
  const auto read = [&file] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };

  // The disk fills up part-way: the earlier file stays whole.
  write_junit(file, small);
  EXPECT_EXIT(write_junit_with_small_file_limit(file, large), ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(read(), small_xml);

  // Two runs write the same file at once; a reader only ever sees one whole document.
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (writing) {
      const std::string seen = read();
      if (seen != small_xml && seen != large_xml) ++torn;
    }
  });
  std::thread first([&] {
    for (int i = 0; i < 20; ++i) write_junit(file, large);
  });
  std::thread second([&] {
    for (int i = 0; i < 20; ++i) write_junit(file, small);
  });
  first.join();
  second.join();
  writing = false;
  reader.join();
  EXPECT_EQ(torn, 0);
  fs::remove_all(dir);

  // The message names the write that failed, not the folder.
  try {
    write_junit("/dev/full", small);
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cannot write the JUnit file /dev/full: cannot write it: No space left on device.");
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(ScriptFile, RefusesScriptsOverTheSizeBound) {
  // Endless sources stop at the bound instead of filling memory.
  try {
    read_script("/dev/zero");
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cannot read the script '/dev/zero': it is larger than 16 MB, the most a script may hold.");
  }
  // A script of exactly the bound is read.
  const fs::path file = fs::temp_directory_path() / ("quillfen-big-" + std::to_string(::getpid()) + ".test");
  std::string content = "click \"Go\"\n";
  content.resize(MAX_SCRIPT_BYTES, '\n');
  std::ofstream(file, std::ios::binary) << content;
  EXPECT_EQ(read_script(file).steps.size(), 1u);
  std::ofstream(file, std::ios::binary | std::ios::app) << "\n";
  EXPECT_THROW(read_script(file), std::runtime_error);
  fs::remove(file);
}

}  // namespace
}  // namespace quillfen::runner
