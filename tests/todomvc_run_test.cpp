// Real apps nobody here wrote: the TodoMVC examples in tests/fixtures/todomvc, run with
// `quillfen run` through the built binary in real Chromium. The scripts written for them
// as a user writes them must pass every step (only the apps whose script passes whole are
// listed in tests/todomvc_run.cmake); and claims that are false about an app must fail,
// in every app, however hard the runner tries to find what a line means.
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillfen::cli_support;

const fs::path APPS = fs::path(QUILLFEN_SOURCE_DIR) / "tests" / "fixtures" / "todomvc";

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> items;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

// The instruction lines of a script: neither blank nor a comment.
std::vector<std::string> steps_of(const fs::path& script) {
  std::vector<std::string> steps;
  for (const auto& line : lines_of(slurp(script))) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos && line[first] != '#') steps.push_back(line.substr(first));
  }
  return steps;
}

class TodoMvc : public TempDirTest {
 protected:
  Outcome run(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE) + " run";
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command, dir_ / "stderr");
  }
};

class TodoMvcScript : public TodoMvc, public ::testing::WithParamInterface<std::string> {};

TEST_P(TodoMvcScript, PassesEveryStep) {
  const fs::path script = APPS / (GetParam() + ".test");
  const auto steps = steps_of(script);
  ASSERT_GT(steps.size(), 40u);
  const Outcome o = run({script.string(), "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(count_of(o.out, "[FAIL]"), 0) << o.out;
  // Every line of the script ran, in order, and passed.
  std::size_t at = 0;
  for (const auto& step : steps) {
    const auto found = o.out.find("  [PASS] " + step, at);
    EXPECT_NE(found, std::string::npos) << "no pass for: " << step;
    if (found != std::string::npos) at = found;
  }
  EXPECT_NE(o.out.find("  Passed       : " + std::to_string(steps.size()) + "\n"), std::string::npos) << o.out;
  EXPECT_NE(slurp(dir_ / "junit.xml").find("tests=\"" + std::to_string(steps.size()) + "\" failures=\"0\""),
            std::string::npos);
}

// The apps whose script passes whole, as listed in tests/todomvc_run.cmake.
INSTANTIATE_TEST_SUITE_P(Apps, TodoMvcScript, ::testing::ValuesIn(split(QUILLFEN_TODOMVC_PASSING)),
                         [](const auto& info) { return info.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TodoMvcScript);

TEST_F(TodoMvc, FalseClaimsAboutEachAppFail) {
  // Two todos added, none completed: each false line must fail in every app, and the
  // true ones around them still pass.
  const std::vector<std::string> truths{
      "type Buy milk into \"What needs to be done?\"",
      "press Enter",
      "type Walk the dog into \"What needs to be done?\"",
      "press Enter",
  };
  const std::vector<std::string> falsehoods{
      "verify text \"3 items left\" is visible",
      "verify text \"Walk the cat\" is visible",
      "click \"Walk the cat\"",
      "type Feed the cat into \"Walk the cat\"",
      "verify \"Clear completed\" is visible",
  };
  const std::vector<std::string> apps{"vanillajs", "backbone", "react", "vue"};
  std::vector<std::string> scripts;
  for (const auto& app : apps) {
    std::string text = "navigate " + (APPS / app / "index.html").string() + "\n";
    for (const auto& line : truths) text += line + "\n";
    for (const auto& line : falsehoods) text += line + "\n";
    scripts.push_back(write(app + ".test", text).string());
  }
  std::vector<std::string> arguments = scripts;
  arguments.insert(arguments.end(), {"--timeout", "1000", "--junit", "junit.xml"});
  const Outcome o = run(arguments);
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  for (const auto& line : falsehoods) {
    EXPECT_EQ(count_of(o.out, "  [FAIL] " + line + "\n"), static_cast<int>(apps.size())) << line << "\n" << o.out;
  }
  for (const auto& line : truths) {
    const auto times = std::count(truths.begin(), truths.end(), line) * static_cast<long>(apps.size());
    EXPECT_EQ(count_of(o.out, "  [PASS] " + line + "  ("), times) << line << "\n" << o.out;
  }
  EXPECT_NE(o.out.find("  Failed       : " + std::to_string(falsehoods.size() * apps.size()) + "\n"),
            std::string::npos)
      << o.out;
  const std::string junit = slurp(dir_ / "junit.xml");
  EXPECT_EQ(count_of(junit, "tests=\"10\" failures=\"5\""), static_cast<int>(apps.size())) << junit;
}

}  // namespace
