// The resolution chain through the built binary, as a user meets it: `run` and
// `resolve` give the same answers for the same lines on the same snapshot.
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using namespace quillfen::cli_support;

const fs::path SHOP = fs::path(QUILLFEN_SOURCE_DIR) / "examples" / "site";

bool has(const std::string& haystack, const std::string& needle) { return haystack.find(needle) != std::string::npos; }

class ChainCommands : public TempDirTest {
 protected:
  Outcome quillfen(const std::vector<std::string>& arguments) const {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE);
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command + " </dev/null", dir_ / "stderr");
  }

  std::vector<Json> resolve(const fs::path& snapshot, const std::vector<std::string>& lines) const {
    std::vector<std::string> arguments{"resolve", "--snapshot", snapshot.string()};
    arguments.insert(arguments.end(), lines.begin(), lines.end());
    const Outcome o = quillfen(arguments);
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    std::vector<Json> answers;
    for (const auto& line : lines_of(o.out)) answers.push_back(Json::parse(line));
    return answers;
  }
};

TEST_F(ChainCommands, RunAndResolveAgreeOnTheSameLinesAndSnapshot) {
  // Lines that leave the page as it is, so that every scan of the run sees the same page.
  const std::vector<std::string> lines{
      "find text Add to cart near Red T-Shirt",
      "hover Details near \"Bike Light\"",
      "hover \"Sort by\"",
      "verify \"Blue Backpack\" is visible",
      "verify text \"Showing all products\" is visible",
      "find text Free returns",
      "hover \"Water resistant, 20 litres\"",
      "click \"Launch rocket\"",
  };
  std::string script = "navigate " + (SHOP / "products.html").string() + "\n";
  for (const auto& line : lines) script += line + "\n";
  const fs::path s = write("shop.test", script);
  const Outcome o = quillfen({"run", s.string(), "--snapshots", "--timeout", "500"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_TRUE(has(o.out, "  [PASS] find text Add to cart near Red T-Shirt\n")) << o.out;

  std::vector<fs::path> snapshots;
  for (const auto& entry : fs::directory_iterator(dir_ / "data" / "logs")) snapshots.push_back(entry.path());
  ASSERT_FALSE(snapshots.empty());
  std::sort(snapshots.begin(), snapshots.end());
  const auto answers = resolve(snapshots.back(), lines);
  ASSERT_EQ(answers.size(), lines.size());

  const std::map<std::string, Json> expected_levels{
      {lines[0], 2}, {lines[1], 2}, {lines[2], 1}, {lines[3], nullptr}, {lines[4], 1},
      {lines[5], nullptr}, {lines[6], nullptr}, {lines[7], nullptr}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const Json& answer = answers[i];
    EXPECT_EQ(answer["level"], expected_levels.at(lines[i]));
    const bool found = !answer["level"].is_null();
    // Found is passed (none of these checks a wrong state), and an act says the same
    // strategy in both.
    EXPECT_EQ(has(o.out, "  [PASS] " + lines[i]), found) << o.out;
    EXPECT_EQ(has(o.out, "  [FAIL] " + lines[i] + "\n"), !found) << o.out;
    if (found && lines[i].starts_with("hover")) {
      EXPECT_TRUE(has(o.out, "  [PASS] " + lines[i] + "  (via " + answer["strategy"].get<std::string>() + ")\n"))
          << o.out;
    }
  }
}

}  // namespace
