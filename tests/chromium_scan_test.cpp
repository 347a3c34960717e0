// Scans in real Chromium made the fast ways (grouped answers shared within a scan,
// one-pass paths, label look-ups fetched ahead, a kept scan reused, answers carried from
// the scan before) against the plain way: every record must be the same. Also what a
// scan does when it runs out of time.
#include "bench/chromium_scan_page.hpp"
#include "chromium/browser.hpp"
#include "engine/agent/reporter.hpp"
#include "engine/browser/page_scanner.hpp"
#include "runner/console.hpp"
#include "runner/scan_cache.hpp"
#include "runner/script_file.hpp"
#include "runner/step_runner.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace quillfen::chromium {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/chromium/" + name;
}

// Both lists of a scan as the snapshot writes them.
std::string records_of(const std::pair<Elements, Elements>& lists) {
  Json document{{"elements", Json::array()}, {"text_elements", Json::array()}};
  for (const auto& record : lists.first) document["elements"].push_back(to_json(*record));
  for (const auto& record : lists.second) document["text_elements"].push_back(to_json(*record));
  return document.dump(1);
}

std::pair<Elements, Elements> plain_scan(ChromiumPage& page) {
  std::ostringstream quiet;
  PageScanner scanner(page, quiet);
  return scanner.extract_interactable_elements();
}

std::pair<Elements, Elements> scan_within(ChromiumPage& page, Clock::time_point deadline) {
  const auto scope = page.begin_scan(deadline);
  return plain_scan(page);
}

class ChromiumScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    browser_ = Browser::launch();
    pages_ = fs::temp_directory_path() / ("quillfen-scan-test-" + std::to_string(::getpid()));
    fs::create_directories(pages_);
  }
  static void TearDownTestSuite() {
    browser_.reset();
    fs::remove_all(pages_);
  }

  std::unique_ptr<ChromiumPage> open(const std::string& path, AnswerMode mode = AnswerMode::grouped) {
    auto page = browser_->new_page();
    page->set_answer_mode(mode);
    page->navigate(path);
    return page;
  }

  static std::string generated(const std::string& name, const std::string& html) {
    const fs::path path = pages_ / name;
    std::ofstream(path) << html;
    return path.string();
  }

  static inline std::unique_ptr<Browser> browser_;
  static inline fs::path pages_;
};

TEST_F(ChromiumScanTest, ScansGiveTheSameRecordsAsOneQuestionAtATime) {
  // One question per round trip runs every script as written and fetches nothing
  // ahead: the reference. Grouped scans within one scan share answers between groups,
  // make all paths in one pass and answer label look-ups from one fetch per group.
  const std::string site = std::string(QUILLFEN_SOURCE_DIR) + "/examples/site/";
  const std::vector<std::string> pages = {
      fixture("labels.html"),
      fixture("lookups.html"),
      fixture("lookups_quirks.html"),
      fixture("unicode.html"),
      fixture("states.html"),
      fixture("hostile.html"),
      fixture("changes.html"),
      site + "index.html",
      site + "products.html",
      site + "checkout.html",
      site + "orders.html",
      generated("prose.html", bench::prose_page(60)),
      generated("catalogue.html", bench::generated_page(60)),
      generated("flat.html", bench::flat_page(400)),
      // Data attributes read with the other attributes (one too long for that), paths
      // with non-ASCII steps between ASCII neighbours, and children that are only white
      // space, comments or no-break spaces.
      generated("shapes.html",
                "<!doctype html><html><head><meta charset=\"utf-8\"></head><body><div data-b=\"1\" id=\"d\" data-a=\"2\" DATA-C=\"3\">Data</div>"
                "<button data-long=\"" + std::string(1500, 'x') + "\" data-short=\"s\">Long data</button>"
                "<span data-x=\"\">Empty data</span>"
                "<caf\u00e9-box><span>Gr\u00f6\u00dfe</span><button>\u00dcber</button></caf\u00e9-box>"
                "<caf\u00e9-box><span>Zweite</span><caf\u00c9-box><a href=\"#x\">Tief</a></caf\u00c9-box></caf\u00e9-box>"
                "<p>  <b>Bold</b>  </p><p><!-- note --><i>Italic</i></p><p>&nbsp;<b>Space</b></p>"
                "<p>\u2003<b>Em space</b></p><div>Own <b>and child</b></div>"
                "<svg><a href=\"#s\"><text data-Q=\"q\" x=\"10\" y=\"20\">Drawn link</text></a></svg>"
                "</body></html>"),
      // Answers long enough to come in pieces, all of their text outside the basic
      // plane: a cut between the halves of a character would spoil it.
      generated("astral.html", [] {
        std::string html = "<!doctype html><html><head><meta charset=\"utf-8\"></head><body>";
        for (int i = 0; i < 200; ++i) {
          html += "<p>";
          for (int k = 0; k < 1500; ++k) html += "\U0001F600";
          html += "</p>";
        }
        return html + "</body></html>";
      }()),
  };
  for (const auto& path : pages) {
    auto reference = open(path, AnswerMode::per_question);
    const std::string expected = records_of(plain_scan(*reference));
    auto page = open(path);
    EXPECT_EQ(records_of(scan_within(*page, Clock::now() + 60s)), expected) << path;
    // Outside a scan, and again on the same tab (kept page-side functions, fresh paths).
    EXPECT_EQ(records_of(plain_scan(*page)), expected) << path;
    EXPECT_EQ(records_of(scan_within(*page, Clock::now() + 60s)), expected) << path;
  }
}

TEST_F(ChromiumScanTest, LabelLookUpsCostOneCallPerGroupWhateverTheirNumber) {
  // Each block of the page has four fields labelled through look-ups; a page with four
  // times as many makes as many round trips.
  std::map<int, std::uint64_t> trips;
  for (const int size : {50, 200}) {
    auto page = open(generated("prose_" + std::to_string(size) + ".html", bench::prose_page(size)));
    scan_within(*page, Clock::now() + 60s);
    const auto before = page->round_trips();
    const auto [elements, texts] = scan_within(*page, Clock::now() + 60s);
    trips[size] = page->round_trips() - before;
    const auto labelled = std::count_if(elements.begin(), elements.end(), [](const Element& e) {
      return e->attributes.contains("aria-labelledby") && e->attributes.get("_label").starts_with("Email ");
    });
    EXPECT_EQ(labelled, size / 10) << "every aria-labelledby field is labelled";
  }
  std::cout << "round trips of a scan: " << trips[50] << " and " << trips[200] << "\n";
  EXPECT_EQ(trips[200], trips[50]);
  EXPECT_LT(trips[200], 40u);
}

TEST_F(ChromiumScanTest, AKeptScanServesOnlyWhileNothingAScanReadsHasChanged) {
  using Change = std::function<void(ChromiumPage&)>;
  const auto script = [](std::string text) -> Change {
    return [text](ChromiumPage& page) { page.evaluate("() => { " + text + " }"); };
  };
  // What the next scan is: the kept one, or a fresh one (whose records show the change,
  // or only its address does).
  enum Next { kept, changed, same_records };
  const struct {
    std::string_view what;
    Change change;
    Next next;
  } cases[] = {
      {"nothing", [](ChromiumPage&) {}, kept},
      {"a read of the page", script("return document.title;"), kept},
      {"a node added", script("document.body.append(Object.assign(document.createElement('p'), "
                              "{textContent: 'New'}));"),
       changed},
      {"a text changed in place", script("document.getElementById('text').firstChild.data = 'Other text';"), changed},
      {"an attribute", script("document.getElementById('press').setAttribute('data-qa', 'x');"), changed},
      {"a class that restyles", script("document.getElementById('text').className = 'big';"), changed},
      {"an inline style", script("document.getElementById('press').style.visibility = 'hidden';"), changed},
      {"a rule added to a style sheet",
       script("document.styleSheets[0].insertRule('#press { visibility: hidden }');"), changed},
      {"the window scrolled", script("window.scrollTo(0, 500);"), changed},
      {"an inner box scrolled", script("document.getElementById('scroller').scrollTop = 120;"), changed},
      {"a box that hides its overflow scrolled by a script",
       script("document.getElementById('clipped').scrollTop = 120;"), changed},
      {"the address's fragment", script("history.replaceState(null, '', '#elsewhere');"), same_records},
      {"a slot in an open shadow root",
       script("document.getElementById('open-host').shadowRoot.append(document.createElement('slot'));"), changed},
      {"a slot in a closed shadow root", script("closedRoot.append(document.createElement('slot'));"), changed},
      {"the viewport's size",
       [](ChromiumPage& page) {
         page.session().send("Emulation.setDeviceMetricsOverride",
                             {{"width", 700}, {"height", 500}, {"deviceScaleFactor", 1}, {"mobile", false}});
       },
       changed},
      {"the mouse over a menu that opens on hover",
       [](ChromiumPage& page) {
         const auto box = page.query_selector("#menu")->bounding_box().value();
         page.session().send("Input.dispatchMouseEvent", {{"type", "mouseMoved"},
                                                          {"x", box.x + box.width / 2},
                                                          {"y", box.y + box.height / 2}});
       },
       changed},
  };
  for (const auto& c : cases) {
    auto page = open(fixture("changes.html"));
    runner::ScanCache cache;
    std::ostringstream quiet;
    cache.scan(*page, quiet, Clock::now() + 60s);
    const std::string before = records_of(cache.scan(*page, quiet, Clock::now() + 60s));
    ASSERT_EQ(cache.reused_scans(), 1u) << c.what << ": an unchanged page reuses its scan";
    c.change(*page);
    const std::string now = records_of(cache.scan(*page, quiet, Clock::now() + 60s));
    EXPECT_EQ(cache.fresh_scans(), c.next == kept ? 1u : 2u) << c.what;
    EXPECT_EQ(now, records_of(plain_scan(*page))) << c.what;
    EXPECT_EQ(now == before, c.next != changed) << c.what;
  }
}

TEST_F(ChromiumScanTest, AfterEveryStepOfRealScriptsAScanCarryingAnswersOverReadsWhatAFreshReadDoes) {
  // A scan takes the answers that the page finds unchanged since the scan before (boxes
  // that only moved included) from that scan. After each step of the demo scripts and
  // the TodoMVC apps' scripts (typing, clicking, todos added, ticked and removed, pages
  // changed, scrolled and navigated), such a scan must give exactly the records of a read
  // that carries nothing over.
  const fs::path source(QUILLFEN_SOURCE_DIR);
  const std::vector<fs::path> scripts = {
      source / "examples" / "shop.test",
      source / "examples" / "account.test",
      source / "tests" / "fixtures" / "todomvc" / "vanillajs.test",
      source / "tests" / "fixtures" / "todomvc" / "backbone.test",
      source / "tests" / "fixtures" / "todomvc" / "react.test",
      source / "tests" / "fixtures" / "todomvc" / "vue.test",
  };
  for (const fs::path& path : scripts) {
    const runner::Script script = runner::read_script(path);
    auto page = browser_->new_page();
    std::ostringstream out;
    Reporter reporter(out);
    runner::Console console(out, false);
    runner::StepRunner steps(*page, reporter, console, path.parent_path(), runner::StepSettings{});
    std::size_t compared = 0;
    std::size_t held = 0;
    std::size_t passed = 0;
    steps.on_step_end([&](Tab&, runner::StepOutcome& step, const std::optional<runner::PageRecords>&) {
      passed += step.status == runner::StepStatus::passed ? 1 : 0;
      try {
        // A page still settling after the step (an app rendering after a change of its
        // address) is read again until it holds still around the carried scan.
        for (int attempt = 0; attempt < 20; ++attempt) {
          const std::string before = records_of(plain_scan(*page));
          const std::string carried = records_of(scan_within(*page, Clock::now() + 60s));
          if (records_of(plain_scan(*page)) != before) continue;
          EXPECT_EQ(carried, before) << path << ", after line " << step.line << ": " << step.instruction;
          ++compared;
          break;
        }
      } catch (const PageError& e) {
        // A dialog that a later step answers holds every read until then.
        if (e.kind() != PageError::Kind::dialog) throw;
        ++held;
      }
    });
    steps.run_all(script.steps);
    SCOPED_TRACE(out.str());
    EXPECT_EQ(passed, script.steps.size()) << path;
    EXPECT_EQ(compared + held, script.steps.size()) << path << ": a page that never held still";
    EXPECT_LE(held, 4u) << path << ": four steps of the shop script leave a dialog open for the next";
    EXPECT_GT(page->carried_answers(), 0u) << path;
  }
}

TEST_F(ChromiumScanTest, AScanPastItsDeadlineFailsAndTheTabGoesOn) {
  auto page = open(fixture("labels.html"));
  // A read that runs long is stopped in the page at the deadline.
  {
    const auto scope = page->begin_scan(Clock::now() + 300ms);
    auto handles = page->query_selector_all("input");
    ASSERT_FALSE(handles.empty());
    try {
      handles[0]->evaluate("el => { const end = Date.now() + 20000; while (Date.now() < end); return 1; }");
      ADD_FAILURE() << "a read past its deadline must fail";
    } catch (const PageError& e) {
      EXPECT_EQ(e.kind(), PageError::Kind::slow) << e.what();
      EXPECT_THAT(e.what(), ::testing::HasSubstr("took longer than"));
    }
  }
  EXPECT_THAT(page->url(), ::testing::EndsWith("labels.html")) << "the tab answers at once after";
  // A scan out of time fails as a whole rather than leaving elements out.
  try {
    scan_within(*page, Clock::now() + 1ms);
    ADD_FAILURE() << "a scan past its deadline must fail";
  } catch (const PageError& e) {
    EXPECT_EQ(e.kind(), PageError::Kind::slow) << e.what();
  }
  EXPECT_FALSE(scan_within(*page, Clock::now() + 60s).first.empty());
}

TEST_F(ChromiumScanTest, AScanCutShortAnywhereLeavesTheNextReadingWhatAFreshReadDoes) {
  // A scan stopped at its deadline may have left the page remembering answers whose
  // reply never came. The next scan carries from what did come, and must still read what
  // a read carrying nothing reads. Deadlines of several lengths cut the scans at several
  // places; each time the page changed before (a line at the top moves every box).
  auto page = open(generated("cut.html", bench::prose_page(400)));
  scan_within(*page, Clock::now() + 60s);
  std::size_t cut = 0;
  for (const auto limit : {5ms, 10ms, 20ms, 40ms, 80ms, 160ms, 320ms}) {
    page->evaluate("() => { document.body.prepend(Object.assign(document.createElement('p'), "
                   "{textContent: 'One more line'})); }");
    try {
      scan_within(*page, Clock::now() + limit);
    } catch (const PageError& e) {
      EXPECT_EQ(e.kind(), PageError::Kind::slow) << e.what();
      ++cut;
    }
    const auto carried_before = page->carried_answers();
    const std::string carried = records_of(scan_within(*page, Clock::now() + 60s));
    EXPECT_EQ(carried, records_of(plain_scan(*page))) << "after a scan given " << limit.count() << " ms";
    EXPECT_GT(page->carried_answers(), carried_before) << limit.count() << " ms";
  }
  EXPECT_GE(cut, 3u) << "most of the short scans must have been cut";
}

TEST_F(ChromiumScanTest, ElementsReadBeforeANavigationInAScanKeepTheirAnswers) {
  // Within a scan, a group's answers are kept with the scan's. A navigation in the middle
  // of it lets the scan's go; the elements read before keep what they read, and those of
  // the new document get its own answers.
  auto page = open(fixture("labels.html"));
  const auto scope = page->begin_scan(Clock::now() + 60s);
  const auto before = page->query_selector_all("label, input");
  ASSERT_GE(before.size(), 2u);
  std::vector<std::string> texts;
  std::vector<bool> visible;
  for (const auto& handle : before) {
    texts.push_back(handle->inner_text());
    visible.push_back(handle->is_visible());
  }
  ASSERT_TRUE(page->navigate(fixture("many.html")).done());
  const auto after = page->query_selector_all("h1");
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after.front()->inner_text(), "Five thousand elements");
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i]->inner_text(), texts[i]) << i;
    EXPECT_EQ(before[i]->is_visible(), visible[i]) << i;
  }
}

TEST_F(ChromiumScanTest, ThePageForgetsTheCarriedAnswersOfElementsItNoLongerHas) {
  // A list whose items are all replaced before every scan: what the page keeps of the
  // answers it sent grows with the items removed only up to a bound, and then starts
  // again. Every scan still reads what a read carrying nothing reads.
  std::string html = "<!DOCTYPE html><h1>Orders</h1><ul id=\"list\"></ul>";
  for (int i = 0; i < 200; ++i) html += "<p>Note " + std::to_string(i) + " <button>Open " + std::to_string(i) + "</button></p>";
  auto page = open(generated("replaced.html", html));
  const std::string replace =
      "() => document.getElementById('list').replaceChildren(...Array.from({length: 1000}, (_, i) => "
      "Object.assign(document.createElement('li'), {textContent: 'Order ' + (i % 7)})))";
  std::vector<std::int64_t> numbered;
  for (int round = 0; round < 12; ++round) {
    page->evaluate(replace);
    EXPECT_EQ(records_of(scan_within(*page, Clock::now() + 60s)), records_of(plain_scan(*page))) << round;
    numbered.push_back(page->query_selector("h1")->evaluate("() => globalThis.__quillfen.numbered").get<std::int64_t>());
  }
  EXPECT_GT(page->carried_answers(), 0u);
  // Some 1,600 elements are read each time: at most twice that and 4,096 more are kept.
  EXPECT_LE(*std::max_element(numbered.begin(), numbered.end()), 2 * 1700 + 4096 + 1000);
  EXPECT_TRUE(std::adjacent_find(numbered.begin(), numbered.end(), std::greater<>()) != numbered.end())
      << "the kept answers never started again";
}

TEST_F(ChromiumScanTest, AnAnswerIsNamedUnchangedOnlyWhenItsTextIsTheSame) {
  // The page compares an answer with the one it gave in the scan before as values: it
  // must never call two answers the same whose JSON text differs (the caller would keep
  // the old one), and should find every pair whose text is the same (NaN, sent as null,
  // aside).
  auto page = open(generated("compared.html", "<!DOCTYPE html><h1>Answers</h1>"));
  const Json wrong = page->query_selector("h1")->evaluate(R"(() => {
    const values = [0, -0, 1, 1.5, '1', '', NaN, null, true, false, 'true', [], [null], [NaN], ['null'], {},
      [1, [2, 3]], [1, [2, 3.5]], [1, [2]], [1, [2, 3], 4], [[]], [{}], {a: 1, b: 2}, {b: 2, a: 1}, {a: 1},
      {a: [1]}, {a: ['1']}, [true, [0, 0, 10, 20]], [true, [0, 0, 10, 21]], [false, [0, 0, 10, 20]],
      [true, null], [false, ['id', 'x', 'class', null]], [false, ['id', 'x', 'class', 'null']],
      [false, ['id', 'x']], 'Ünïcode', 'Unicode'];
    const wrong = [];
    for (const a of values) {
      for (const b of values) {
        const same = globalThis.__quillfen.sameAnswer(a, b);
        const text = JSON.stringify(a) === JSON.stringify(b);
        const nan = JSON.stringify([a, b], (key, value) => Number.isNaN(value) ? 'NaN' : value).includes('"NaN"');
        if ((same && !text) || (!same && text && !nan)) wrong.push(JSON.stringify([a, b, same]));
      }
    }
    return wrong;
  })");
  EXPECT_EQ(wrong, Json::array());
}

TEST_F(ChromiumScanTest, TreeAnswersAreWorkedOutAgainOnlyForWhatChanged) {
  // Tag names, attributes, text children and positional paths given in one scan are kept
  // by the page for the next, and worked out again only for what a mutation reached.
  // After each change the scan carrying answers must read what a read carrying nothing
  // reads, working out few tree answers for a small change and all of them after more
  // changes than the page keeps records of.
  std::string html =
      "<!DOCTYPE html><h1>Orders</h1><div id=\"box\"><p id=\"para\">Some text <em>here</em></p>"
      "<label for=\"name\">Name</label><input id=\"name\"><button id=\"go\" class=\"a\">Go</button></div>"
      "<section id=\"other\"><h2>Other</h2></section><ul id=\"list\">";
  for (int i = 0; i < 300; ++i) {
    html += "<li><span>Item " + std::to_string(i) + "</span> <button data-n=\"" + std::to_string(i) + "\">Open " +
            std::to_string(i) + "</button></li>";
  }
  html += "</ul>";
  auto page = open(generated("tree.html", html));
  const auto worked = [&] {
    return page->query_selector("h1")->evaluate("() => globalThis.__quillfen.treeAnswersWorked").get<std::int64_t>();
  };
  scan_within(*page, Clock::now() + 60s);
  const std::int64_t first = worked();
  const struct {
    std::string_view what;
    std::string script;
    bool small;
  } cases[] = {
      {"nothing", "", true},
      {"an attribute set", "document.getElementById('go').setAttribute('data-qa', 'go');", true},
      {"an attribute set to the value it had", "document.getElementById('go').className = 'a';", true},
      {"an attribute removed", "document.getElementById('go').removeAttribute('data-qa');", true},
      {"an attribute of an ancestor", "document.getElementById('box').setAttribute('title', 'Box');", true},
      {"a property that reflects", "document.getElementById('name').id = 'full-name';", true},
      {"a text changed in place", "document.getElementById('para').firstChild.data = 'Other text ';", true},
      {"a text made blank", "document.getElementById('para').firstChild.data = '   ';", true},
      {"a text child added", "document.querySelector('#other h2').append(' and more');", true},
      {"an element moved to another parent",
       "document.getElementById('other').append(document.getElementById('go'));", true},
      {"a sibling added before a list's items",
       "const list = document.getElementById('list'); "
       "list.insertBefore(Object.assign(document.createElement('li'), {textContent: 'First'}), list.firstChild);",
       true},
      {"an item removed and put back",
       "const item = document.querySelector('#list li:nth-child(5)'); const next = item.nextSibling; "
       "item.remove(); next.before(item);",
       true},
      {"a subtree replaced", "document.getElementById('box').innerHTML = '<p>New <b>box</b></p><button>Go</button>';",
       true},
      {"more changes than the page keeps",
       "const go = document.querySelector('#list button'); "
       "for (let i = 0; i < 10050; i++) go.setAttribute('data-i', String(i));",
       false},
  };
  std::int64_t before = worked();
  for (const auto& c : cases) {
    if (!c.script.empty()) page->evaluate("() => { " + c.script + " }");
    const std::string carried = records_of(scan_within(*page, Clock::now() + 60s));
    const std::int64_t now = worked();
    EXPECT_EQ(carried, records_of(plain_scan(*page))) << c.what;
    if (c.small) {
      EXPECT_LE(now - before, 40) << c.what << ": only the changed elements are asked again";
    } else {
      EXPECT_GT(now - before, first / 2) << c.what;
    }
    before = now;
  }
  EXPECT_GT(first, 1000) << "every tree answer is worked out in the first scan";

  // A read between a change and the next stamp takes the change's records for its tree
  // answers: the stamp must still see the change.
  runner::ScanCache cache;
  std::ostringstream quiet;
  cache.scan(*page, quiet, Clock::now() + 60s);
  cache.scan(*page, quiet, Clock::now() + 60s);
  ASSERT_EQ(cache.reused_scans(), 1u);
  page->evaluate("() => { document.querySelector('#list button').setAttribute('data-qa', 'first'); }");
  plain_scan(*page);
  const std::string now = records_of(cache.scan(*page, quiet, Clock::now() + 60s));
  EXPECT_EQ(cache.fresh_scans(), 2u);
  EXPECT_EQ(now, records_of(plain_scan(*page)));

  // A call stopped at its time limit runs nothing more of its script. One stopped right
  // after it took the records (an error thrown there stands in for the stop) must not
  // lose what they said: here, that every item of the list moved down by one.
  scan_within(*page, Clock::now() + 60s);
  page->query_selector("h1")->evaluate(
      "() => { const list = document.getElementById('list'); "
      "list.insertBefore(Object.assign(document.createElement('li'), {textContent: 'Zeroth'}), list.firstChild); "
      "const q = globalThis.__quillfen; const take = q.watch.take; "
      "q.watch.take = () => { q.watch.take = take; take(); throw new Error('stopped'); }; "
      "try { q.refresh(); } catch (error) { return String(error); } }");
  EXPECT_EQ(records_of(scan_within(*page, Clock::now() + 60s)), records_of(plain_scan(*page)));
}

TEST_F(ChromiumScanTest, AReadBorrowsTheLastLookOnlyWhileNothingCouldHaveMovedIt) {
  // A scan right after a stamp that looked at every element takes boxes and visibility
  // from that look. Input that restyles without a mutation (hover, focus), a scroll, a
  // resized viewport or an animation must make the read work them out again, and read
  // what a read carrying nothing reads.
  const std::string html =
      "<!DOCTYPE html><style>#hover:hover { padding: 30px } #name:focus { width: 400px } "
      "#scroller { height: 60px; overflow: auto }</style>"
      "<h1>Looks</h1><button id=\"hover\">Hover me</button><label for=\"name\">Name</label><input id=\"name\">"
      "<div id=\"scroller\"><p>One</p><p>Two</p><p>Three</p><p>Four</p><p>Five</p></div>"
      "<p id=\"moving\">Moving text</p>";
  auto page = open(generated("looks.html", html));
  const auto lent = [&] {
    return page->query_selector("h1")->evaluate("() => globalThis.__quillfen.layoutsFromLook").get<std::int64_t>();
  };
  const auto centre = [&](const std::string& selector) {
    const auto box = page->query_selector(selector)->bounding_box().value();
    return std::pair{box.x + box.width / 2, box.y + box.height / 2};
  };
  const auto mouse = [&](const std::string& type, std::pair<double, double> at) {
    Json event{{"type", type}, {"x", at.first}, {"y", at.second}};
    if (type != "mouseMoved") {
      event["button"] = "left";
      event["clickCount"] = 1;
    }
    page->session().send("Input.dispatchMouseEvent", event);
  };
  runner::ScanCache cache;
  std::ostringstream quiet;
  const auto stamped_read = [&] { return records_of(cache.scan(*page, quiet, Clock::now() + 60s)); };
  const auto read_now = [&] { return records_of(scan_within(*page, Clock::now() + 60s)); };

  const std::int64_t before = lent();
  EXPECT_EQ(stamped_read(), records_of(plain_scan(*page))) << "a stamp that looked, then a read";
  EXPECT_GT(lent(), before) << "the read after the stamp's look borrows it";

  const struct {
    std::string_view what;
    std::function<void()> change;
    bool still = true;
  } cases[] = {
      {"the mouse over a button that grows on hover", [&] { mouse("mouseMoved", centre("#hover")); }},
      {"a click into a field that widens on focus",
       [&] {
         mouse("mousePressed", centre("#name"));
         mouse("mouseReleased", centre("#name"));
       }},
      {"an inner box scrolled", [&] { page->evaluate("() => { document.getElementById('scroller').scrollTop = 40; }"); }},
      {"the viewport's size",
       [&] {
         page->session().send("Emulation.setDeviceMetricsOverride",
                              {{"width", 600}, {"height", 400}, {"deviceScaleFactor", 1}, {"mobile", false}});
       }},
      // A moving box reads differently from one moment to the next: only the borrowing
      // is checked.
      {"an animation started by a style rule (no mutation, no input)",
       [&] {
         page->evaluate("() => { const sheet = document.styleSheets[0]; "
                        "sheet.insertRule('@keyframes slide { to { margin-left: 300px } }', sheet.cssRules.length); "
                        "sheet.insertRule('#moving { animation: slide 5s }', sheet.cssRules.length); }");
       },
       false},
  };
  for (const auto& c : cases) {
    stamped_read();
    c.change();
    const std::int64_t lent_before = lent();
    const std::string now = read_now();
    EXPECT_EQ(lent(), lent_before) << c.what << ": the look was borrowed";
    if (c.still) {
      EXPECT_EQ(now, records_of(plain_scan(*page))) << c.what;
    }
  }
}

}  // namespace
}  // namespace quillfen::chromium
