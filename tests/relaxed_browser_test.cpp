// The relaxed strategy on fixture pages in real Chromium: each page is scanned with its
// extras, and lines (also with the action names that have no words yet) are resolved
// through the whole chain. Every page holds the cases a person means and the ones where
// no reasonable person would mean anything, which must stay unfound.
#include "chromium/browser.hpp"
#include "engine/agent/step_reader.hpp"
#include "engine/browser/page_scanner.hpp"
#include "runner/chain.hpp"
#include "runner/page_extras.hpp"
#include "runner/scan_cache.hpp"
#include "runner/step_runner.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::runner {
namespace {

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/relaxed/" + name;
}

// A line, or an action with its target for the words that do not parse yet.
struct Line {
  std::string text;
  std::string action = "";
};

// What the chain must answer: the level (none: nothing found) and, when found, the end of
// the found element's path and, for a level-3 check, whether it passes.
struct Expect {
  Line line;
  std::optional<int> level;
  std::string path_end = "";
};

class RelaxedPages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { browser_ = chromium::Browser::launch(); }
  static void TearDownTestSuite() { browser_.reset(); }

  void SetUp() override { page_ = browser_->new_page(); }

  PageRecords scan(const std::string& name) {
    page_->navigate(fixture(name));
    std::ostringstream quiet;
    PageScanner scanner(*page_, quiet);
    return scan_page(scanner);
  }

  static ParsedInstruction parsed_of(const Line& line) {
    if (line.action.empty()) return StepReader().parse(line.text);
    ParsedInstruction parsed;
    parsed.action = line.action;
    parsed.target = line.text;
    return parsed;
  }

  static void check(const PageRecords& records, const std::vector<Expect>& table) {
    const Chain chain = Chain::standard();
    for (const Expect& e : table) {
      SCOPED_TRACE(e.line.action + " " + e.line.text);
      const ChainAnswer answer = chain.resolve(parsed_of(e.line), view_of(records));
      EXPECT_EQ(answer.level, e.level);
      if (!e.level) continue;
      ASSERT_TRUE(answer.result.element);
      EXPECT_TRUE(answer.result.element->xpath.ends_with(e.path_end)) << answer.result.element->xpath;
    }
  }

  static inline std::unique_ptr<chromium::Browser> browser_;
  std::unique_ptr<chromium::ChromiumPage> page_;
};

TEST_F(RelaxedPages, ALabelStandsForItsControl) {
  const PageRecords page = scan("labels.html");
  check(page, {
                  // Clicks go to the label, which the browser passes on to its control.
                  {{R"(click "Remember me")"}, 3, "/div[1]/label[1]"},
                  {{R"(hover "Remember me")"}, 3, "/div[1]/label[1]"},
                  {{R"(click "I agree")"}, 3, "/div[2]/label[1]"},
                  {{"Dark mode", "double_click"}, 3, "/div[4]/label[1]"},
                  // aria-labelledby: the browser passes nothing on, so the control itself.
                  {{R"(click "Wi-Fi")"}, 3, "/div[3]/div[1]"},
                  // State checks and checking reach the control.
                  {{R"(verify "Remember me" is visible)"}, 3, "/div[1]/input[1]"},
                  {{R"(verify "Locked option" is disabled)"}, 3, "/div[5]/input[1]"},
                  {{"Remember me", "check"}, 3, "/div[1]/input[1]"},
                  {{"Dark mode", "verify_checked"}, 3, "/div[4]/input[1]"},
                  {{R"(click "Remember me" checkbox)"}, 3, "/div[1]/label[1]"},
                  // A label that is not laid out still names a box that is shown; a
                  // box hidden with its label is named by nothing.
                  {{"Mark all as complete", "check"}, 3, "/div[6]/input[1]"},
                  {{R"(click "Mark all as complete")"}, 3, "/div[6]/input[1]"},
                  {{R"(verify "Gone option" is present)"}, std::nullopt},
                  {{"Gone option", "check"}, std::nullopt},
                  // A type word must fit the control.
                  {{R"(click "Remember me" link)"}, std::nullopt},
                  {{R"(click "Settings panel")"}, std::nullopt},
              });
  // A check box hidden behind its styled label: the label shows it, and carries the
  // control's enabled state; a disabled control's label says disabled.
  const Chain chain = Chain::standard();
  const auto dark = StepReader().parse(R"(verify "Dark mode" is visible)");
  EXPECT_TRUE(verdict_of(dark, chain.resolve(dark, view_of(page))).passed);
  const auto locked = StepReader().parse(R"(verify "Locked option" is enabled)");
  const Verdict still_locked = verdict_of(locked, chain.resolve(locked, view_of(page)));
  EXPECT_FALSE(still_locked.passed);
  EXPECT_EQ(still_locked.state, (Json{{"present", true}, {"visible", true}, {"enabled", false}}));
}

TEST_F(RelaxedPages, PlainTextIsActedOnAtItsOwnBox) {
  const PageRecords page = scan("text.html");
  check(page, {
                  {{R"(hover "Walk the dog")"}, 3, "/li[1]/label[1]"},
                  {{R"(click "Buy milk")"}, 3, "/li[2]/label[1]"},
                  {{"Walk the dog", "double_click"}, 3, "/li[1]/label[1]"},
                  {{R"(verify "Walk the dog" is visible)"}, 3, "/li[1]/label[1]"},
                  {{R"(verify "todos" is present)"}, 3, "/h1[1]"},
                  // Hidden text, and a word inside a paragraph, name nothing.
                  {{R"(hover "Secret plan")"}, std::nullopt},
                  {{R"(verify "Secret plan" is present)"}, std::nullopt},
                  {{R"(click "privacy")"}, std::nullopt},
                  {{R"(click "Walk the dog" button)"}, std::nullopt},
              });
}

// The extra records carry the same positional paths as the scan: on a page of long mixed
// lists and tables, each path leads to one element that holds the record's text.
TEST_F(RelaxedPages, ExtraRecordsHaveThePathsOfTheirElements) {
  page_->navigate("about:blank");
  page_->evaluate(R"(() => {
    let html = '<table><tr><th>Item</th><th>Price</th></tr>';
    for (let i = 0; i < 60; i += 1) html += '<tr><td>Item ' + i + '</td><td><b>$' + i + '</b>.00</td></tr>';
    html += '</table><div>';
    for (let i = 0; i < 60; i += 1) {
      html += i % 3 ? '<p><b>Row</b> ' + i + '</p>' : '<span><i>Odd</i> piece ' + i + '</span>';
    }
    document.body.innerHTML = html + '</div>';
    return true;
  })");
  const PageExtras extras = gather_page_extras(*page_);
  ASSERT_GE(extras.cells.size(), 120u);
  ASSERT_GE(extras.texts.size(), 40u);
  std::vector<Element> records = extras.cells;
  records.insert(records.end(), extras.texts.begin(), extras.texts.end());
  for (const Element& record : records) {
    const Json text = page_->evaluate("() => { const found = document.evaluate(" + Json(record->xpath).dump() +
                                      ", document, null, XPathResult.ORDERED_NODE_SNAPSHOT_TYPE, null);"
                                      " return found.snapshotLength === 1 ?"
                                      " found.snapshotItem(0).textContent.replace(/\\s+/g, ' ').trim() : null; }");
    ASSERT_TRUE(text.is_string()) << record->xpath;
    EXPECT_NE(text.get<std::string>().find(record->text), std::string::npos) << record->xpath << " " << record->text;
  }
}

// The extras left out of a read and asked for later are those a read with them gives,
// and only while the page is as its records were read; a kept scan keeps them.
TEST_F(RelaxedPages, ExtrasReadLaterBelongToTheRecordsTheyComeWith) {
  const auto deadline = [] { return chromium::Clock::now() + std::chrono::seconds(60); };
  const auto extras_now = [this] {
    std::ostringstream quiet;
    PageScanner scanner(*page_, quiet);
    return to_json(scan_page(scanner).extras).dump();
  };
  const std::string labels = to_json(scan("labels.html").extras).dump();
  ASSERT_NE(labels, to_json(PageExtras{}).dump());
  std::ostringstream quiet;
  ScanCache cache;

  const PageRecords later = cache.read(*page_, quiet, deadline(), {}, ScanCache::Extras::when_wanted);
  EXPECT_FALSE(later.extras_read);
  EXPECT_TRUE(later.extras.empty());
  const auto read = cache.extras(*page_, deadline());
  ASSERT_TRUE(read);
  EXPECT_EQ(to_json(*read).dump(), labels);
  const PageRecords again = cache.read(*page_, quiet, deadline(), {}, ScanCache::Extras::when_wanted);
  EXPECT_EQ(cache.reused_scans(), 1u);
  EXPECT_TRUE(again.extras_read);
  EXPECT_EQ(to_json(again.extras).dump(), labels);

  // A change after the records were read: their extras can no longer be had.
  const std::string add_label = R"(() => {
    const label = document.createElement('label');
    label.innerHTML = '<input type="checkbox"> Added later';
    document.body.append(label);
    return true;
  })";
  page_->evaluate(add_label);
  EXPECT_FALSE(cache.read(*page_, quiet, deadline(), {}, ScanCache::Extras::when_wanted).extras_read);
  page_->evaluate(add_label);
  EXPECT_FALSE(cache.extras(*page_, deadline()));
  // A kept scan asked for its extras reads them then.
  EXPECT_FALSE(cache.read(*page_, quiet, deadline(), {}, ScanCache::Extras::when_wanted).extras_read);
  const PageRecords with = cache.read(*page_, quiet, deadline());
  EXPECT_EQ(cache.reused_scans(), 2u);
  EXPECT_TRUE(with.extras_read);
  EXPECT_EQ(to_json(with.extras).dump(), extras_now());
  EXPECT_NE(to_json(with.extras).dump(), labels);
}

// A page that never holds still (a clock ticking faster than a scan) keeps no scan, so
// the extras the relaxed strategy wants can never be read after the records: the steps
// read both again at once, and find the controls by their labels as on a still page.
TEST_F(RelaxedPages, StepsOnAPageThatNeverHoldsStillStillSeeTheLabels) {
  page_->navigate(fixture("labels.html"));
  page_->evaluate(R"(() => {
    const clock = document.createElement('output');
    document.body.append(clock);
    let ticks = 0;
    setInterval(() => { ticks += 1; clock.textContent = String(ticks); }, 1);
    return true;
  })");
  std::ostringstream out;
  Reporter reporter(out);
  Console console(out, false);
  StepRunner runner(*page_, reporter, console, ".", StepSettings{});
  const std::vector<std::pair<std::string, std::string>> steps{
      {R"(verify "Locked option" is disabled)", "/div[5]/input[1]"},
      {R"(verify "Remember me" is visible)", "/div[1]/input[1]"},
      {R"(click "Wi-Fi")", "/div[3]/div[1]"},
  };
  int line = 0;
  for (const auto& [text, path_end] : steps) {
    const StepOutcome step = runner.run({++line, text});
    SCOPED_TRACE(text + "\n" + out.str());
    EXPECT_EQ(step.status, StepStatus::passed);
    EXPECT_EQ(step.level, 3);
    ASSERT_TRUE(step.element);
    EXPECT_TRUE(step.element->xpath.ends_with(path_end)) << step.element->xpath;
  }
}

TEST_F(RelaxedPages, NextToLooksBothWaysAndBelowFindsTheColumn) {
  const PageRecords page = scan("next_to.html");
  check(page, {
                  // The box is left of its text, where the place strategy never looks.
                  {{R"(click checkbox next to "Buy milk")"}, 3, "/div[2]/input[1]"},
                  {{R"(click checkbox next to "Walk the dog")"}, 3, "/div[3]/input[1]"},
                  {{"checkbox next to Walk the dog", "check"}, 3, "/div[3]/input[1]"},
                  // The button sits at the far end of the header's cell.
                  {{R"(click button below "Action")"}, 3, "/td[1]/button[1]"},
                  // A box drawn inside the left end of a field is left of the field's
                  // text; a field with nothing drawn in it has nothing there.
                  {{R"(click checkbox left of "New task")"}, 3, "/div[5]/input[1]"},
                  {{R"(click checkbox left of "Plain field")"}, std::nullopt},
                  {{R"(click checkbox right of "New task")"}, std::nullopt},
                  // Nothing on the anchor's row, or too far along it.
                  {{R"(click checkbox next to "Lonely")"}, std::nullopt},
                  {{R"(click checkbox next to "Far away")"}, std::nullopt},
                  {{R"(click link next to "Buy milk")"}, std::nullopt},
              });
}

TEST_F(RelaxedPages, ATextSplitOverInlinePiecesIsOneText) {
  const PageRecords page = scan("split.html");
  check(page, {
                  {{R"(verify text "1 item left" is visible)"}, 3, "/footer[1]/span[1]"},
                  {{"find text 1 item left"}, 3, "/footer[1]/span[1]"},
                  {{"find exact text 1 item left"}, 3, "/footer[1]/span[1]"},
                  {{R"(click "1 item left")"}, 3, "/footer[1]/span[1]"},
                  {{R"(verify text "2 hidden things" is present)"}, std::nullopt},
                  {{"find exact text 1 item"}, std::nullopt},
              });
}

TEST_F(RelaxedPages, AnAnchorFoundTwiceIsTriedAtEachPlace) {
  const PageRecords page = scan("anchors.html");
  check(page, {
                  // The smaller "Notes" has nothing beside it; the other one has the field.
                  {{R"(type hello into field next to "Notes")"}, 3, "/div[2]/input[1]"},
                  {{R"(click field right of "Notes")"}, 3, "/div[2]/input[1]"},
                  {{R"(click button next to "Notes")"}, std::nullopt},
              });
}

TEST_F(RelaxedPages, FieldsAreNamedByWrappingLabelsAndBoxesByTheTextAfterThem) {
  const PageRecords page = scan("fields.html");
  check(page, {
                  {{R"(type cats into "Search")"}, 3, "/label[1]/input[1]"},
                  {{R"(select Spain from "Country")"}, 3, "/label[2]/select[1]"},
                  {{"Send me news", "check"}, 3, "/div[1]/input[1]"},
                  {{"Basic plan", "verify_checked"}, 3, "/div[2]/input[1]"},
                  // A click on the text after a box is a click on that text.
                  {{R"(click "Send me news")"}, 3, "/div[1]"},
                  // Text far from the box names nothing, and a check box's label names no field.
                  {{"Terms far away", "check"}, std::nullopt},
                  {{R"(click checkbox next to "Terms far away")"}, std::nullopt},
                  {{R"(type cats into "Promotions")"}, std::nullopt},
              });
}

}  // namespace
}  // namespace quillfen::runner
