// The offline resolution path, through its library and through the built `quillfen
// resolve` command, over the example shop snapshot.
#include "runner/offline_resolution.hpp"
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quillfen {
namespace {

namespace fs = std::filesystem;

const std::string kShop = std::string(QUILLFEN_SOURCE_DIR) + "/examples/shop_snapshot.json";

std::string xpath_of(const Json& answer) {
  const Json& element = answer.at("result").at("element");
  return element.is_null() ? "" : element.at("xpath").get<std::string>();
}

TEST(OfflineResolution, TextMatchFirstThenRelationalResolution) {
  const offline::Snapshot shop = offline::load_snapshot(kShop);
  EXPECT_EQ(shop.url, "file:///srv/tiny-shop/index.html");
  const std::string rows = "/html[1]/body[1]/main[1]/section[1]/ul[1]/";
  struct Case {
    std::string line;
    Json level;
    std::string xpath;
  };
  const std::vector<Case> cases{
      {R"(click "Log in")", 1, "/html[1]/body[1]/main[1]/form[1]/button[1]"},
      // Rows are 48 pixels apart, so the row above is within the tolerance: its own row wins.
      {R"(click "Add to cart" next to "Red T-Shirt")", 2, rows + "li[2]/button[1]"},
      {R"(click "Add to cart" next to "Bike Light")", 2, rows + "li[3]/button[1]"},
      // The instruction's ordinal word reaches the relational resolution.
      {R"(click second "Add to cart" below "Products")", 2, rows + "li[2]/button[1]"},
      {R"(click third "Add to cart" below "Products")", 2, rows + "li[3]/button[1]"},
      {R"(type standard_user into input right of "Password")", 2, "/html[1]/body[1]/main[1]/form[1]/input[2]"},
      {R"(click link left of "Tiny Shop")", nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Json answer = offline::resolve_line(shop, c.line);
    EXPECT_EQ(answer["level"], c.level);
    EXPECT_EQ(xpath_of(answer), c.xpath);
    EXPECT_EQ(answer["result"]["resolved"], !c.level.is_null());
  }
  const Json relational = offline::resolve_line(shop, R"(click "Add to cart" next to "Red T-Shirt")");
  std::vector<std::string> keys;
  for (const auto& [key, value] : relational.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"instruction", "parsed", "level", "strategy", "result"}));
  EXPECT_EQ(relational["strategy"], "Spatial");
  EXPECT_EQ(relational["result"]["anchor_text"], "Red T-Shirt");
  EXPECT_EQ(relational["parsed"]["target"], "Add to cart next to Red T-Shirt");

  const Json rejected = offline::resolve_line(shop, "jump to Cart");
  EXPECT_EQ(rejected.size(), 2u);
  EXPECT_TRUE(rejected["error"].get<std::string>().starts_with("Unrecognised instruction: 'jump to Cart'"));
}

TEST(OfflineResolution, RefusesDocumentsThatAreNotSnapshots) {
  struct Case {
    std::string document;
    std::string message;
  };
  const std::vector<Case> cases{
      {"", "it is not valid JSON (the error is at byte 1)"},
      {R"({"url": "x", "elements": [)", "it is not valid JSON (the error is at byte 27)"},
      {R"({"url": "", "elements": [], "text_elements": [1e999]})", "it holds a number too large to read"},
      {"[]", R"(it is not a JSON object with "url", "elements" and "text_elements")"},
      {R"({"elements": [], "text_elements": []})", R"(its "url" member is missing or not a string)"},
      {R"({"url": "x", "text_elements": []})", R"(it has no "elements" member)"},
      {R"({"url": "x", "elements": {}, "text_elements": []})", R"(its "elements" member is not a JSON array)"},
      {R"({"url": "x", "elements": [], "text_elements": [{}, 5]})",
       R"(record 2 of "text_elements" is malformed (an element record must be a JSON object))"},
      {R"({"url": "x", "elements": [{"bounding_box": {"x": "1"}}], "text_elements": []})",
       R"(record 1 of "elements" is malformed ('bounding_box.x' must be a number))"},
  };
  for (const auto& c : cases) {
    try {
      (void)offline::parse_snapshot(c.document);
      ADD_FAILURE() << "accepted " << c.document;
    } catch (const offline::SnapshotError& e) {
      EXPECT_EQ(e.what(), c.message) << c.document;
    }
  }
  const offline::Snapshot empty = offline::parse_snapshot(R"({"url": "", "elements": [], "text_elements": []})");
  EXPECT_EQ(offline::resolve_line(empty, "click second button")["level"], nullptr);
}

// `levels` nested arrays, as one more member of a snapshot (whose object is a level too).
std::string snapshot_with_nesting(std::size_t levels) {
  return R"({"url": "[[[{{{", "extra": )" + std::string(levels - 1, '[') + std::string(levels - 1, ']') +
         R"(, "elements": [], "text_elements": []})";
}

TEST(OfflineResolution, RefusesNestingBeyondTheBoundBeforeParsing) {
  const std::string refused = "it nests arrays or objects more than 64 levels deep";
  // Brackets inside strings do not count; the bound itself is allowed.
  EXPECT_EQ(offline::parse_snapshot(snapshot_with_nesting(64)).url, "[[[{{{");
  for (const std::size_t levels : {65, 300000}) {
    try {
      (void)offline::parse_snapshot(snapshot_with_nesting(levels));
      ADD_FAILURE() << "accepted " << levels << " levels";
    } catch (const offline::SnapshotError& e) {
      EXPECT_EQ(e.what(), refused) << levels;
    }
  }
  // Deep inside a record, followed by another member: the shape that once overflowed the stack.
  const std::string deep_record = R"({"url": "x", "elements": [)" + std::string(300000, '[') +
                                  std::string(300000, ']') + R"(], "text_elements": []})";
  EXPECT_THROW((void)offline::parse_snapshot(deep_record), offline::SnapshotError);
  // An escaped quote does not end a string early.
  const std::string escaped = R"({"url": "\"[[[[", "elements": [], "text_elements": []})";
  const offline::Snapshot empty = offline::parse_snapshot(escaped);
  EXPECT_EQ(offline::resolve_line(empty, "click second button")["level"], nullptr);
}

using namespace cli_support;

class ResolveCommand : public TempDirTest {
 protected:
  Outcome run(const std::vector<std::string>& arguments) const {
    std::string command = shell_quoted(QUILLFEN_EXE);
    for (const auto& a : arguments) command += " " + shell_quoted(a);
    return run_shell(command + " </dev/null", dir_ / "stderr");
  }
};

TEST_F(ResolveCommand, PrintsOneAnswerPerLineAndGoesOnAfterABadLine) {
  const Outcome o = run({"resolve", "--snapshot", kShop, R"(click "Add to cart" next to "Red T-Shirt")",
                         "jump to Cart", R"(verify "Checkout" is disabled)"});
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(o.err, "");
  const auto lines = lines_of(o.out);
  ASSERT_EQ(lines.size(), 3u) << o.out;
  const Json first = Json::parse(lines[0]);
  EXPECT_EQ(first["level"], 2);
  EXPECT_EQ(first["result"]["element"]["xpath"], "/html[1]/body[1]/main[1]/section[1]/ul[1]/li[2]/button[1]");
  // Records are written as in snapshots: whole reals keep their fraction.
  EXPECT_NE(lines[0].find(R"("bounding_box":{"x":360.0,"y":282.0,"width":110.0,"height":32.0})"), std::string::npos);
  EXPECT_TRUE(Json::parse(lines[1]).contains("error"));
  const Json third = Json::parse(lines[2]);
  EXPECT_EQ(third["level"], 1);
  EXPECT_EQ(third["result"]["verified"], true);

  EXPECT_EQ(run({"resolve", "--snapshot", kShop, "click button below Password"}).status, 0);
}

TEST_F(ResolveCommand, AnUnusableSnapshotIsOneErrorLineAndExitTwo) {
  const fs::path not_json = write("page.json", "<html>");
  const fs::path wrong_shape = write("list.json", "[1, 2]");
  const fs::path missing = dir_ / "missing.json";
  const fs::path deep = write("deep.json", R"({"url": "x", "elements": [)" + std::string(300000, '[') +
                                               std::string(300000, ']') + R"(], "text_elements": []})");
  struct Case {
    fs::path path;
    std::string reason;
  };
  const std::vector<Case> cases{{not_json, "it is not valid JSON"},
                                {wrong_shape, "it is not a JSON object"},
                                {missing, "No such file or directory"},
                                {deep, "it nests arrays or objects more than 64 levels deep."},
                                {"/dev/zero", "it is larger than 256 MB, the most a snapshot may hold."},
                                {dir_, "Is a directory"}};
  for (const auto& c : cases) {
    const Outcome o = run({"resolve", "--snapshot", c.path.string(), "click x"});
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("quillfen: cannot use the snapshot '" + c.path.string() + "': " + c.reason)) << o.err;
    EXPECT_EQ(lines_of(o.err).size(), 1u) << o.err;
  }
}

}  // namespace
}  // namespace quillfen
