// The resolution chain through the built binary, as a user meets it: `quillfen run` on
// the relaxed fixture pages (acting, then checking what the page did), `quillfen scan`
// with its extras and `quillfen resolve` replaying level 3 offline, and `run` and
// `resolve` giving the same answers for the same lines on the same snapshot.
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

const fs::path FIXTURES = fs::path(QUILLFEN_SOURCE_DIR) / "tests" / "fixtures" / "relaxed";
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

TEST_F(ChainCommands, RunActsThroughLabelsTextsAndBothSidesOfAnAnchor) {
  const auto page = [](const char* name) { return "navigate " + (FIXTURES / name).string() + "\n"; };
  const fs::path labels = write("labels.test", page("labels.html") +
                                                   "click \"Remember me\"\n"
                                                   "click \"I agree\"\n"
                                                   "click \"Wi-Fi\"\n"
                                                   "click \"Dark mode\"\n"
                                                   "verify text \"remember=true agree=true wifi=true dark=true\" is visible\n"
                                                   "verify \"Locked option\" is enabled\n");
  const fs::path texts = write("text.test", page("text.html") +
                                                "click \"Buy milk\"\n"
                                                "verify text \"clicked Buy milk\" is visible\n"
                                                "hover \"Walk the dog\"\n"
                                                "click \"Delete\"\n"
                                                "verify text \"deleted Walk the dog\" is visible\n"
                                                "hover \"Secret plan\"\n"
                                                "click \"privacy\"\n");
  const fs::path places = write("places.test", page("next_to.html") +
                                                   "click checkbox next to \"Buy milk\"\n"
                                                   "verify text \"milk=true\" is visible\n"
                                                   "click button below \"Action\"\n"
                                                   "verify text \"ran\" is visible\n"
                                                   "click checkbox next to \"Lonely\"\n" +
                                                   page("anchors.html") +
                                                   "type hello into field next to \"Notes\"\n"
                                                   "verify text \"typed hello\" is visible\n");
  const fs::path fields = write("fields.test", page("fields.html") +
                                                   "type cats into \"Search\"\n"
                                                   "select Spain from \"Country\"\n"
                                                   "verify text \"q=cats country=Spain\" is visible\n"
                                                   "type cats into \"Promotions\"\n" +
                                                   page("split.html") +
                                                   "verify text \"1 item left\" is visible\n"
                                                   "click \"1 item left\"\n"
                                                   "verify text \"counted\" is visible\n");
  const Outcome o = quillfen({"run", labels.string(), texts.string(), places.string(), fields.string(), "--timeout",
                              "700", "--junit", "junit.xml"});
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  for (const char* step : {"click \"Remember me\"", "click \"I agree\"", "click \"Wi-Fi\"", "click \"Dark mode\"",
                           "click \"Buy milk\"", "hover \"Walk the dog\"", "click checkbox next to \"Buy milk\"",
                           "click button below \"Action\"", "type hello into field next to \"Notes\"",
                           "type cats into \"Search\"", "select Spain from \"Country\"", "click \"1 item left\""}) {
    EXPECT_TRUE(has(o.out, std::string("  [PASS] ") + step + "  (via Relaxed)\n")) << step << "\n" << o.out;
  }
  EXPECT_TRUE(has(o.out, "  [PASS] click \"Delete\"  (via DOM)\n")) << o.out;
  for (const char* check : {"remember=true agree=true wifi=true dark=true", "clicked Buy milk", "deleted Walk the dog",
                            "milk=true", "ran", "typed hello", "q=cats country=Spain", "1 item left", "counted"}) {
    EXPECT_TRUE(has(o.out, std::string("  [PASS] verify text \"") + check + "\" is visible\n")) << check;
  }
  // A disabled box's label says disabled; hidden text, a word inside a paragraph, a
  // heading with nothing beside it and a check box's label for typing name nothing.
  EXPECT_TRUE(has(o.out, "  [FAIL] verify \"Locked option\" is enabled\n"
                         "         state : {'present': True, 'visible': True, 'enabled': False}\n"))
      << o.out;
  for (const char* step : {"hover \"Secret plan\"", "click \"privacy\"", "click checkbox next to \"Lonely\"",
                           "type cats into \"Promotions\""}) {
    EXPECT_TRUE(has(o.out, std::string("  [FAIL] ") + step + "\n         reasons : DOM confidence=0.00 | Spatial "
                                                             "confidence=0.00\n"))
        << step << "\n" << o.out;
  }
  EXPECT_TRUE(has(o.out, "    Relaxed              12\n")) << o.out;
  EXPECT_TRUE(has(o.out, "  Failed       : 5\n")) << o.out;
}

TEST_F(ChainCommands, ScanKeepsTheExtrasApartAndResolveReplaysThemOffline) {
  const Outcome scanned = quillfen({"scan", (FIXTURES / "labels.html").string(), "-o", "labels.json"});
  ASSERT_EQ(scanned.status, 0) << scanned.err;
  Json document = Json::parse(slurp(dir_ / "labels.json"));
  std::vector<std::string> keys;
  for (const auto& [key, value] : document.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"url", "elements", "text_elements", "extras"}));
  // The records themselves carry nothing of the extras.
  for (const auto& record : document["elements"]) EXPECT_FALSE(record.contains("extras"));
  EXPECT_FALSE(document["extras"]["labels"].empty());

  const std::vector<std::string> lines{R"(click "Remember me")", R"(verify "Locked option" is disabled)",
                                       R"(click "Settings panel")", R"(click "Wi-Fi")"};
  const auto answers = resolve(dir_ / "labels.json", lines);
  ASSERT_EQ(answers.size(), lines.size());
  std::vector<std::string> answer_keys;
  for (const auto& [key, value] : answers[0].items()) answer_keys.push_back(key);
  EXPECT_EQ(answer_keys, (std::vector<std::string>{"instruction", "parsed", "level", "strategy", "result"}));
  EXPECT_EQ(answers[0]["level"], 3);
  EXPECT_EQ(answers[0]["strategy"], "Relaxed");
  EXPECT_EQ(answers[0]["result"]["element"]["tag"], "label");
  EXPECT_EQ(answers[1]["level"], 3);
  EXPECT_EQ(answers[1]["result"]["element"]["is_enabled"], false);
  EXPECT_EQ(answers[2]["level"], nullptr);
  EXPECT_EQ(answers[2]["strategy"], nullptr);
  EXPECT_EQ(answers[3]["result"]["element"]["attributes"]["role"], "switch");

  // A snapshot without extras, as older scans wrote them, still reads: level 3 then has
  // only the records, where the label is a text like any other.
  document.erase("extras");
  write("old.json", document.dump(2));
  const auto old = resolve(dir_ / "old.json", {lines[1]});
  EXPECT_EQ(old[0]["level"], 3);
  EXPECT_EQ(old[0]["result"]["element"]["tag"], "label");
  EXPECT_EQ(answers[1]["result"]["element"]["tag"], "input");
}

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
      {lines[0], 2}, {lines[1], 2}, {lines[2], 1}, {lines[3], 3}, {lines[4], 1},
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
