// The Page over real Chromium, and the page scan on live fixture pages. One browser
// serves the suite, with a fresh tab per test; tests that need their own browser (a
// crash, a failed start, a killed process) launch one and check that nothing is left.
#include "chromium/browser.hpp"
#include "engine/browser/page_scanner.hpp"
#include "engine/browser/settings.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace quillfen::chromium {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/chromium/" + name;
}

// A process can end while its files under /proc are read, which fails the read: that
// reads as nothing.
std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  try {
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  } catch (const std::ios_base::failure&) {
    return {};
  }
}

// A process that still runs: it exists and is not a zombie waiting for its parent.
bool is_running(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Running processes whose command line mentions `text`.
int processes_mentioning(const std::string& text) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(::getpid())) {
      continue;
    }
    if (read_file(entry.path() / "cmdline").find(text) != std::string::npos && is_running(std::stoi(name))) {
      ++count;
    }
  }
  return count;
}

// Waits up to `limit` for `done`.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

const ElementRecord* find_record(const Elements& records, const std::function<bool(const ElementRecord&)>& match) {
  for (const auto& record : records) {
    if (match(*record)) return record.get();
  }
  return nullptr;
}

int count_records(const Elements& records, const std::function<bool(const ElementRecord&)>& match) {
  int count = 0;
  for (const auto& record : records) count += match(*record) ? 1 : 0;
  return count;
}

class ChromiumTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { browser_ = Browser::launch(); }
  static void TearDownTestSuite() { browser_.reset(); }

  std::unique_ptr<ChromiumPage> open(const std::string& name, AnswerMode mode = AnswerMode::grouped) {
    auto page = browser_->new_page();
    page->set_answer_mode(mode);
    const ActOutcome opened = page->navigate(fixture(name));
    EXPECT_TRUE(opened.done()) << opened.reason;
    return page;
  }

  static inline std::unique_ptr<Browser> browser_;
};

// Every element with an id, by id, from one query.
std::map<std::string, ElementHandlePtr> by_id(Page& page) {
  std::map<std::string, ElementHandlePtr> handles;
  for (auto& handle : page.query_selector_all("[id]")) {
    const auto id = handle->get_attribute("id");
    handles.emplace(id.value_or(""), std::move(handle));
  }
  return handles;
}

TEST_F(ChromiumTest, HandlesAnswerAsAutomationUsersExpectInBothModes) {
  for (const auto mode : {AnswerMode::grouped, AnswerMode::per_question}) {
    SCOPED_TRACE(mode == AnswerMode::grouped ? "grouped" : "per question");
    auto page = open("states.html", mode);
    auto e = by_id(*page);

    const std::map<std::string, bool> visible{
        {"plain", true},     {"none", false},       {"hidden", false},       {"shown-again", true},
        {"zero", false},     {"offscreen", true},   {"cover-target", true},  {"transparent", true},
        {"contents", false}, {"in-hidden", false}};
    for (const auto& [id, expected] : visible) {
      EXPECT_EQ(e.at(id)->is_visible(), expected) << id;
    }
    const std::map<std::string, bool> enabled{{"plain", true},        {"disabled", false},  {"aria-disabled", false},
                                              {"aria-enabled", true}, {"in-legend", true},  {"in-fieldset", false},
                                              {"link", true}};
    for (const auto& [id, expected] : enabled) {
      EXPECT_EQ(e.at(id)->is_enabled(), expected) << id;
    }

    const auto box = e.at("plain")->bounding_box();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->x, 10);
    EXPECT_EQ(box->y, 20);
    EXPECT_EQ(box->width, 100);
    EXPECT_EQ(box->height, 20);
    EXPECT_LT(e.at("offscreen")->bounding_box()->x, -4000);
    EXPECT_EQ(e.at("none")->bounding_box(), std::nullopt);
    EXPECT_EQ(e.at("contents")->bounding_box(), std::nullopt);
    EXPECT_EQ(e.at("zero")->bounding_box()->width, 0);
    // An empty box at the origin is still a box.
    const auto origin = e.at("origin")->bounding_box();
    ASSERT_TRUE(origin.has_value());
    EXPECT_EQ(origin->x + origin->y + origin->width + origin->height, 0);
    EXPECT_FALSE(e.at("origin")->is_visible());

    EXPECT_EQ(e.at("link")->get_attribute("title"), "");
    EXPECT_EQ(e.at("link")->get_attribute("href"), "#x");
    EXPECT_EQ(e.at("plain")->get_attribute("title"), std::nullopt);
    EXPECT_EQ(e.at("field")->get_attribute("data-qa"), "f1");
    EXPECT_EQ(e.at("field")->get_attribute("value"), "abc ");
    // Names match regardless of case on HTML elements only, as getAttribute does.
    EXPECT_EQ(e.at("field")->get_attribute("DATA-QA"), "f1");
    EXPECT_EQ(e.at("svg")->get_attribute("viewBox"), "0 0 10 10");
    EXPECT_EQ(e.at("svg")->get_attribute("viewbox"), std::nullopt);
    EXPECT_EQ(e.at("field")->get_attribute("data-long"), std::string(5000, 'x'));
    EXPECT_EQ(e.at("link")->inner_text(), "Link text");
    EXPECT_EQ(e.at("svg")->inner_text(), "Svg");
    EXPECT_EQ(e.at("field")->inner_text(), "");

    EXPECT_EQ(e.at("plain")->evaluate("el => el.tagName.toLowerCase()"), "button");
    EXPECT_EQ(e.at("plain")->evaluate("el => ({n: 1.5, list: [true, null], self: el}) // trailing comment"),
              Json::parse(R"({"n": 1.5, "list": [true, null], "self": {}})"));
    EXPECT_EQ(e.at("plain")->evaluate("el => undefined"), nullptr);

    EXPECT_EQ(page->evaluate("() => document.title"), "States");
    EXPECT_EQ(page->evaluate("function () { return [1, 'a', {b: 2}]; }"), Json::parse(R"([1, "a", {"b": 2}])"));
    EXPECT_THAT(page->url(), HasSubstr("/tests/fixtures/chromium/states.html"));
    EXPECT_EQ(page->query_selector("#nothing-here"), nullptr);
    EXPECT_TRUE(page->query_selector_all(".nothing-here").empty());
    ASSERT_NE(page->query_selector("#link"), nullptr);
    EXPECT_EQ(page->query_selector("#link")->inner_text(), "Link text");
    try {
      page->query_selector_all("[[bad");
      ADD_FAILURE() << "an invalid selector must fail";
    } catch (const PageError& error) {
      EXPECT_THAT(error.what(), HasSubstr("not a valid selector"));
    }
    EXPECT_EQ(page->evaluate("async () => { await null; return document.title + '!'; }"), "States!");
    EXPECT_THROW(page->evaluate("async () => { throw new Error('later'); }"), PageError);
    EXPECT_THROW(page->evaluate("() => { throw new Error('page says no'); }"), PageError);
    EXPECT_THROW(page->evaluate("() => {"), PageError);
  }
}

TEST_F(ChromiumTest, GroupAnswersEachQuestionOnceForAllMembersAndFailsMembersAlone) {
  auto page = open("states.html");
  auto buttons = page->query_selector_all("button");
  ASSERT_EQ(buttons.size(), 10u);
  const auto before = page->round_trips();
  for (auto& button : buttons) button->is_visible();
  EXPECT_EQ(page->round_trips() - before, 1u);
  // Visibility, text and box come together; so do all attributes.
  for (auto& button : buttons) {
    button->is_visible();
    button->inner_text();
    button->bounding_box();
  }
  EXPECT_EQ(page->round_trips() - before, 1u);
  for (auto& button : buttons) button->get_attribute("id");
  for (auto& button : buttons) button->get_attribute("title");
  EXPECT_EQ(page->round_trips() - before, 2u);
  for (auto& button : buttons) button->is_enabled();
  EXPECT_EQ(page->round_trips() - before, 3u);

  // A script that throws for one member fails that member only.
  const std::string picky = "el => { if (el.id === 'disabled') throw new Error('not ' + el.id); return el.id; }";
  for (auto& button : buttons) {
    const auto id = button->get_attribute("id").value_or("");
    if (id == "disabled") {
      try {
        button->evaluate(picky);
        ADD_FAILURE() << "the picky script must fail for #disabled";
      } catch (const PageError& error) {
        EXPECT_STREQ(error.what(), "not disabled");
      }
    } else {
      EXPECT_EQ(button->evaluate(picky), id);
    }
  }
  EXPECT_EQ(page->round_trips() - before, 4u);
  // A script that does not compile fails every member.
  for (auto& button : buttons) EXPECT_THROW(button->evaluate("el => {"), PageError);

  page->set_answer_mode(AnswerMode::per_question);
  auto again = page->query_selector_all("button");
  const auto slow = page->round_trips();
  for (auto& button : again) button->is_visible();
  EXPECT_EQ(page->round_trips() - slow, again.size());
}

TEST_F(ChromiumTest, ElementRemovedByThePageFailsOnlyItsOwnReads) {
  for (const auto mode : {AnswerMode::grouped, AnswerMode::per_question}) {
    auto page = open("removal.html", mode);
    auto buttons = page->query_selector_all("button");
    ASSERT_EQ(buttons.size(), 3u);
    page->evaluate("() => removeDoomed()");
    EXPECT_EQ(buttons[0]->inner_text(), "Keep one");
    EXPECT_THROW(buttons[1]->inner_text(), PageError);
    EXPECT_THROW(buttons[1]->is_visible(), PageError);
    EXPECT_EQ(buttons[2]->get_attribute("id"), "keep-2");
  }
}

TEST_F(ChromiumTest, StringsFromThePageAreWellFormedUtf8) {
  auto page = open("unicode.html");
  EXPECT_EQ(page->query_selector("h1")->inner_text(), "Caf\u00e9 cr\u00e8me \u2014 \u6771\u4eac \U0001F370");
  EXPECT_EQ(page->query_selector("#broken")->inner_text(), "bad \uFFFD end");
  EXPECT_EQ(page->evaluate("() => ['\\ud800', '\\udc00x', '\\ud83c\\udf70']"),
            Json::parse(R"(["\ufffd", "\ufffdx", "\ud83c\udf70"])"));
  auto texts = page->query_selector_all("p, h1");
  EXPECT_EQ(texts[1]->evaluate("el => ({[el.textContent]: el.textContent})"),
            Json::parse(R"({"bad \ufffd end": "bad \ufffd end"})"));
}

TEST_F(ChromiumTest, PageScriptsCannotTouchTheHelpersAndNavigationsGetFreshOnes) {
  for (const auto mode : {AnswerMode::grouped, AnswerMode::per_question}) {
    SCOPED_TRACE(mode == AnswerMode::grouped ? "grouped" : "per question");
    auto page = open("hostile.html", mode);
    auto buttons = page->query_selector_all("button");
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0]->get_attribute("title"), "Go on");
    EXPECT_TRUE(buttons[0]->is_visible());
    EXPECT_EQ(buttons[0]->bounding_box()->x, 5);
    EXPECT_EQ(buttons[0]->evaluate("el => [el.id, Array.from([1, 2]).length]"), Json::parse(R"(["go", 2])"));
    ASSERT_NE(page->query_selector("label[for=\"name\"]"), nullptr);
    EXPECT_EQ(page->query_selector("label[for=\"name\"]")->inner_text(), "Your name");

    // A navigation the page makes itself: the next query finds the new document.
    page->session().send("Runtime.evaluate", {{"expression", "document.getElementById('away').click()"}});
    ASSERT_TRUE(page->session().wait_for_event("Page.loadEventFired", 5000ms));
    EXPECT_EQ(page->query_selector_all("button").size(), 3u);
    EXPECT_EQ(page->query_selector("#keep-2")->get_attribute("id"), "keep-2");
  }
}

TEST_F(ChromiumTest, LookedUpElementsAreLetGoWhenTheirHandlesAre) {
  auto page = open("many.html");
  {
    std::vector<ElementHandlePtr> kept;
    for (int i = 0; i < 150; ++i) {
      kept.push_back(page->query_selector("section:nth-of-type(" + std::to_string(i + 1) + ") > .row"));
      ASSERT_NE(kept.back(), nullptr);
    }
    EXPECT_EQ(kept[70]->evaluate("el => el.parentElement.querySelector('h3').textContent"), "Section 71");
    // The page's own script removes a looked-up element: only its reads fail.
    page->evaluate("() => document.querySelector('.row').remove()");
    EXPECT_THROW(kept[0]->evaluate("el => el.id"), PageError);
    EXPECT_EQ(kept[1]->evaluate("el => el.isConnected"), true);
  }
  // The full batches (64 look-ups each) are let go of, the releases going before the
  // next command; the batch still being filled (22 look-ups) stays, beside the query.
  auto body = page->query_selector_all("body");
  EXPECT_EQ(body[0]->evaluate("() => Array.from(globalThis.__quillfen.groups.values(), (kept) => kept.length)"),
            Json::parse("[22, 1]"));
  // Short-lived look-ups cost one round trip each and no release of their own.
  const auto trips = page->round_trips();
  const auto posts = page->session().posts();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(page->query_selector("h1")->inner_text(), "Five thousand elements");
  EXPECT_EQ(page->round_trips() - trips, 10u);
  EXPECT_EQ(page->session().posts() - posts, 0u);
}

TEST_F(ChromiumTest, NavigationWaitsForTheLoadAndReportsFailures) {
  auto page = browser_->new_page();
  EXPECT_TRUE(page->navigate(fixture("many.html")).done());
  EXPECT_EQ(page->evaluate("() => document.readyState"), "complete");
  EXPECT_EQ(page->evaluate("() => document.querySelectorAll('.row').length"), 5000);
  EXPECT_TRUE(page->navigate(to_url(fixture("many.html")) + "#section").done());
  EXPECT_THAT(page->url(), HasSubstr("#section"));
  const ActOutcome missing = page->navigate(fixture("no-such-page.html"));
  EXPECT_EQ(missing.kind, ActOutcome::Kind::unsuitable);
  EXPECT_THAT(missing.reason, HasSubstr("ERR_FILE_NOT_FOUND"));

  // After the load event the navigation waits for the page's layout, but only within
  // its own time: a page that keeps its thread busy past that has loaded all the same.
  auto busy = browser_->new_page();
  const auto started = std::chrono::steady_clock::now();
  const ActOutcome loaded = busy->navigate(
      "data:text/html,<body onload=\"setTimeout(() => { const end = Date.now() + 9000; "
      "while (Date.now() < end); }, 0)\">busy</body>",
      1500ms);
  EXPECT_TRUE(loaded.done()) << loaded.reason;
  EXPECT_LT(std::chrono::steady_clock::now() - started, 6s);
}

TEST_F(ChromiumTest, SessionDrivesInputAndAnswersDialogs) {
  auto page = open("dialogs.html");
  Session& session = page->session();

  const auto field = page->query_selector("#name")->bounding_box().value();
  const auto click = [&session](double x, double y) {
    for (const char* type : {"mousePressed", "mouseReleased"}) {
      session.send("Input.dispatchMouseEvent",
                   {{"type", type}, {"x", x}, {"y", y}, {"button", "left"}, {"clickCount", 1}});
    }
  };
  click(field.x + field.width / 2, field.y + field.height / 2);
  session.send("Input.insertText", {{"text", "Zo\u00eb"}});
  session.send("Input.dispatchKeyEvent", {{"type", "keyDown"}, {"key", "!"}, {"text", "!"}});
  session.send("Input.dispatchKeyEvent", {{"type", "keyUp"}, {"key", "!"}});
  EXPECT_EQ(page->evaluate("() => document.getElementById('name').value"), "Zo\u00eb!");

  // The confirm blocks the page: the click's own wait ends with the dialog, and so does
  // every command until the dialog is answered.
  const auto ask = page->query_selector("#ask")->bounding_box().value();
  try {
    click(ask.x + ask.width / 2, ask.y + ask.height / 2);
    ADD_FAILURE() << "the click must end with the dialog";
  } catch (const PageError& error) {
    EXPECT_EQ(error.kind(), PageError::Kind::dialog) << error.what();
  }
  ASSERT_TRUE(session.open_dialog().has_value());
  EXPECT_EQ(session.open_dialog()->value("message", ""), "Sure?");
  try {
    page->evaluate("() => document.title");
    ADD_FAILURE() << "a page with a dialog open answers nothing";
  } catch (const PageError& error) {
    EXPECT_EQ(error.kind(), PageError::Kind::dialog) << error.what();
  }
  session.send("Page.handleJavaScriptDialog", {{"accept", true}});
  EXPECT_TRUE(eventually([&] { return !session.open_dialog() && page->evaluate("() => document.title") == "yes"; },
                         5s));
}

// An element record that names the element by its xpath only, as acts need.
ElementRecord at(const std::string& xpath) {
  ElementRecord record;
  record.xpath = xpath;
  return record;
}

std::string by_id_xpath(const std::string& id) { return "//*[@id='" + id + "']"; }

// The width and height a PNG's header gives.
std::pair<int, int> png_size(const std::string& png) {
  const auto number = [&png](std::size_t at) {
    int value = 0;
    for (std::size_t i = at; i < at + 4; ++i) value = value * 256 + static_cast<unsigned char>(png.at(i));
    return value;
  };
  return {number(16), number(20)};
}

TEST_F(ChromiumTest, DialogsOfOneTabNeverDisturbAnother) {
  auto noisy = open("alerts.html");
  auto calm = open("states.html");
  int answered = 0;
  for (int i = 0; i < 150; ++i) {
    EXPECT_EQ(calm->evaluate("() => document.title"), "States");
    EXPECT_EQ(calm->query_selector_all("button").size(), 10u);
    EXPECT_EQ(calm->query_selector("#plain")->bounding_box()->x, 10);
    if (const auto dialog = noisy->open_dialog()) {
      EXPECT_EQ(dialog->message, "tick");
      EXPECT_EQ(dialog->type, "alert");
      noisy->answer_dialog(true);
      ++answered;
    }
  }
  EXPECT_GT(answered, 3);
  EXPECT_FALSE(calm->open_dialog().has_value());
  // The noisy tab's own reads end with its dialog at once, never with a time-out.
  ASSERT_TRUE(noisy->wait_for_dialog(5s));
  const auto start = std::chrono::steady_clock::now();
  try {
    noisy->query_selector_all("p");
    ADD_FAILURE() << "a read of a page with a dialog open must fail";
  } catch (const PageError& error) {
    EXPECT_EQ(error.kind(), PageError::Kind::dialog) << error.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(ChromiumTest, ActsCheckDoubleAndRightClickAndShowThePage) {
  auto page = open("acts.html");
  const auto soon = [] { return std::chrono::steady_clock::now() + 5s; };
  const auto checked = [&](const std::string& id) { return page->is_checked(at(by_id_xpath(id))); };
  const auto log = [&] { return page->query_selector("#log")->inner_text(); };

  // A check box, then the same again (no click: the state is already right), then
  // unchecked through its label.
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("box")), true, soon()).done());
  EXPECT_EQ(checked("box"), true);
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("box")), true, soon()).done());
  EXPECT_EQ(log(), "box");
  EXPECT_EQ(page->is_checked(at(by_id_xpath("box-label"))), true);
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("box-label")), false, soon()).done());
  EXPECT_EQ(checked("box"), false);
  // A radio through its wrapping label, a switch, and a box drawn by its label alone.
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("small-label")), true, soon()).done());
  EXPECT_EQ(checked("small"), true);
  EXPECT_EQ(checked("large"), false);
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("switch")), true, soon()).done());
  EXPECT_EQ(checked("switch"), true);
  EXPECT_TRUE(page->set_checked(at(by_id_xpath("styled")), true, soon()).done());
  EXPECT_EQ(checked("styled"), true);
  // A box the page refuses to change, and elements that have no checked state.
  const ActOutcome stuck = page->set_checked(at(by_id_xpath("stuck")), true, soon());
  EXPECT_EQ(stuck.kind, ActOutcome::Kind::blocked);
  EXPECT_EQ(stuck.reason, "clicking <input#stuck> did not check it");
  const ActOutcome button = page->set_checked(at(by_id_xpath("twice")), true, soon());
  EXPECT_EQ(button.kind, ActOutcome::Kind::unsuitable);
  EXPECT_EQ(button.reason, "<button#twice> 'Twice' is not a check box, radio or switch");
  EXPECT_EQ(checked("twice"), std::nullopt);
  EXPECT_EQ(checked("nothing-here"), std::nullopt);

  EXPECT_TRUE(page->click(at(by_id_xpath("twice")), soon(), {MouseButton::left, 2}).done());
  EXPECT_TRUE(page->click(at(by_id_xpath("menu")), soon(), {MouseButton::right, 1}).done());
  EXPECT_EQ(log(), "box box click1 click2 double context");
  EXPECT_EQ(page->type(at(by_id_xpath("twice")), "x", soon()).kind, ActOutcome::Kind::unsuitable);
  EXPECT_EQ(page->click(at("/html[1]/body[1]/nav[9]"), soon()).reason,
            "the element /html[1]/body[1]/nav[9] is gone from the page");

  EXPECT_EQ(page->title(), "Acts");
  const std::string whole = page->screenshot();
  ASSERT_GT(whole.size(), 24u);
  EXPECT_EQ(whole.substr(0, 8), "\x89PNG\r\n\x1a\n");
  const Json viewport = page->evaluate("() => [innerWidth, innerHeight]");
  EXPECT_EQ(png_size(whole), std::make_pair(viewport[0].get<int>(), viewport[1].get<int>()));
  // A part of the viewport, the same wherever the page is scrolled.
  const auto paint = [&] { return page->query_selector("#paint")->bounding_box().value(); };
  page->evaluate("() => scrollTo(0, 1000)");
  const std::string first = page->screenshot(paint());
  EXPECT_EQ(png_size(first), std::make_pair(40, 30));
  page->evaluate("() => scrollTo(0, 1100)");
  EXPECT_EQ(page->screenshot(paint()), first);
  EXPECT_FALSE(page->crashed());
}

TEST_F(ChromiumTest, AnActWaitsForTheLoadItAskedForAndOnlyForThat) {
  // Every way a click leaves the page in its tab: the act ends on the new, loaded
  // document.
  for (const std::string id : {"link", "submit", "assign", "later"}) {
    SCOPED_TRACE(id);
    auto page = open("leaving.html");
    ASSERT_TRUE(page->click(at(by_id_xpath(id)), std::chrono::steady_clock::now() + 5s).done());
    EXPECT_EQ(page->evaluate("() => [document.title, document.readyState]"), Json::parse(R"(["Arrived", "complete"])"));
  }
  // Moves within the document, a new tab, a javascript: link and no load at all: the
  // act ends with the document still there.
  auto page = open("leaving.html");
  const std::vector<std::pair<std::string, std::string>> staying{{"push", "?pushed"},
                                                                 {"fragment", "?pushed#below"},
                                                                 {"tab", "?pushed#below"},
                                                                 {"script", "?pushed#below"},
                                                                 {"stay", "?pushed#below"}};
  for (const auto& [id, address] : staying) {
    SCOPED_TRACE(id);
    ASSERT_TRUE(page->click(at(by_id_xpath(id)), std::chrono::steady_clock::now() + 5s).done());
    EXPECT_THAT(page->url(), ::testing::EndsWith("leaving.html" + address));
    EXPECT_EQ(page->evaluate("() => document.querySelector('#below').textContent"), "Below");
  }
  EXPECT_EQ(page->title(), "Stayed");
  // A dialog that a task of the click opens ends the act and stays open for a step.
  ASSERT_TRUE(page->click(at(by_id_xpath("ask")), std::chrono::steady_clock::now() + 5s).done());
  ASSERT_TRUE(page->open_dialog().has_value());
  EXPECT_EQ(page->open_dialog()->message, "Sure?");
  page->answer_dialog(true);
  EXPECT_EQ(page->title(), "Sure");
}

TEST_F(ChromiumTest, ADialogBeforeTheTextWentInLeavesTypingBlocked) {
  auto page = browser_->new_page();
  ASSERT_TRUE(page->navigate(std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/runner/focus.html").done());
  const auto soon = std::chrono::steady_clock::now() + 5s;
  const ActOutcome first = page->type(at(by_id_xpath("name")), "Ada", soon);
  EXPECT_EQ(first.kind, ActOutcome::Kind::blocked);
  EXPECT_EQ(first.reason, "a dialog opened while typing: 'Focus!'");
  ASSERT_TRUE(page->open_dialog().has_value());
  page->answer_dialog(false);
  EXPECT_FALSE(page->open_dialog().has_value());
  EXPECT_EQ(page->query_selector("#name")->evaluate("el => el.value"), "");
  // The field keeps the focus once the dialog is gone: the next try types.
  EXPECT_TRUE(page->type(at(by_id_xpath("name")), "Ada", soon).done());
  EXPECT_EQ(page->query_selector("#name")->evaluate("el => el.value"), "Ada");
  EXPECT_FALSE(page->open_dialog().has_value());
}

TEST_F(ChromiumTest, ScanReadsEveryKindOfRecordWithItsLabel) {
  auto page = open("labels.html");
  std::ostringstream console;
  PageScanner scanner(*page, console);
  const auto [elements, texts] = scanner.extract_interactable_elements();

  const auto label_of = [&](const std::string& id) {
    const auto* record = find_record(elements, [&](const ElementRecord& r) { return r.attributes.get("id") == id; });
    return record ? record->attributes.get("_label") : std::string("<missing>");
  };
  EXPECT_EQ(label_of("email-field"), "Email address");
  EXPECT_EQ(label_of("user"), "Username");
  EXPECT_EQ(label_of("search"), "Search products");
  EXPECT_EQ(label_of("name"), "Name");
  EXPECT_EQ(label_of("age"), "Age");
  EXPECT_EQ(label_of("missing-ref"), "Fallback");
  EXPECT_EQ(label_of("street-plain"), "Shipping address");

  // The role button with an input-like class: a native record and a custom input.
  const auto doubles = [](const ElementRecord& r) { return r.text == "Double"; };
  EXPECT_EQ(count_records(elements, doubles), 2);
  EXPECT_EQ(count_records(elements, [&](const ElementRecord& r) { return doubles(r) && r.is_editable_field; }), 1);

  // The pointer div and the span inside it are both pointer records, with whole boxes.
  const auto* sign_up = find_record(elements, [](const ElementRecord& r) { return r.text == "Sign up now"; });
  const auto* now = find_record(elements, [](const ElementRecord& r) { return r.text == "now" && r.tag == "button"; });
  ASSERT_NE(sign_up, nullptr);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(sign_up->tag, "button");
  EXPECT_TRUE(sign_up->bounding_box->whole);
  EXPECT_EQ(sign_up->bounding_box->width, 200);

  const auto* link = find_record(elements, [](const ElementRecord& r) { return r.text == "Second link"; });
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->xpath, "/html[1]/body[1]/div[13]/a[1]");
  EXPECT_EQ(link->attributes.get("href"), "#second");

  // Nested texts: the span stays and the li that only repeats it goes; a div with text
  // of its own stays beside its span.
  const auto text_with = [&](const std::string& tag, const std::string& text) {
    return count_records(texts, [&](const ElementRecord& r) { return r.tag == tag && r.text == text; });
  };
  EXPECT_EQ(text_with("span", "Apple"), 1);
  EXPECT_EQ(text_with("li", "Apple"), 0);
  EXPECT_EQ(text_with("div", "Total: $5"), 1);
  EXPECT_EQ(text_with("span", "$5"), 1);
  EXPECT_EQ(console.str(), "");
}

TEST_F(ChromiumTest, LiveScanWritesASnapshotOfANonAsciiPage) {
  auto page = open("unicode.html");
  const fs::path logs = fs::temp_directory_path() / ("quillfen-snapshots-" + std::to_string(::getpid())) / "deep";
  settings::SAVE_SNAPSHOTS = true;
  settings::LOG_PATH = logs.string();
  std::ostringstream console;
  PageScanner scanner(*page, console);
  const auto [elements, texts] = scanner.extract_interactable_elements();
  settings::SAVE_SNAPSHOTS = false;

  const auto* pay = find_record(elements, [](const ElementRecord& r) { return r.attributes.get("id") == "pay"; });
  ASSERT_NE(pay, nullptr);
  EXPECT_EQ(pay->text, "Payer 12 \u20ac");
  const auto* quantity = find_record(elements, [](const ElementRecord& r) { return r.attributes.get("id") == "qty"; });
  ASSERT_NE(quantity, nullptr);
  EXPECT_EQ(quantity->attributes.get("_label"), "Quantit\u00e9");

  std::vector<fs::path> files(fs::directory_iterator(logs), fs::directory_iterator{});
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(console.str(), HasSubstr(files[0].string()));
  const std::string text = read_file(files[0]);
  EXPECT_EQ(text.find_first_of("\x80\xff"), std::string::npos) << "the file is ASCII";
  EXPECT_THAT(text, HasSubstr("Caf\\u00e9"));
  const Json document = Json::parse(text);
  std::vector<std::string> keys;
  for (const auto& [key, value] : document.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"url", "elements", "text_elements"}));
  EXPECT_EQ(document["url"], page->url());
  EXPECT_EQ(document["elements"].size(), elements.size());
  EXPECT_EQ(document["text_elements"].size(), texts.size());
  fs::remove_all(logs.parent_path());
}

// Runs the page's own removal script right after the interactable query, as a page
// that changes under a scan would.
class RemovingPage : public Page {
 public:
  explicit RemovingPage(ChromiumPage& page) : page_(page) {}
  std::vector<ElementHandlePtr> query_selector_all(const std::string& selector) override {
    auto handles = page_.query_selector_all(selector);
    if (selector == INTERACTABLE_SELECTOR) page_.evaluate("() => removeDoomed()");
    return handles;
  }
  ElementHandlePtr query_selector(const std::string& selector) override { return page_.query_selector(selector); }
  Json evaluate(const std::string& script) override { return page_.evaluate(script); }
  std::string url() override { return page_.url(); }

 private:
  ChromiumPage& page_;
};

TEST_F(ChromiumTest, ScanDropsAnElementThatThePageRemovesMeanwhile) {
  auto page = open("removal.html");
  RemovingPage removing(*page);
  PageScanner scanner(removing);
  const auto [elements, texts] = scanner.extract_interactable_elements();
  std::vector<std::string> buttons;
  for (const auto& record : elements) buttons.push_back(record->text);
  EXPECT_EQ(buttons, (std::vector<std::string>{"Keep one", "Keep two"}));
  EXPECT_EQ(count_records(texts, [](const ElementRecord& r) { return r.text == "Vanishing text"; }), 0);
  EXPECT_EQ(count_records(texts, [](const ElementRecord& r) { return r.text == "Staying text"; }), 1);
}

TEST_F(ChromiumTest, ScansAPageOfFiveThousandElements) {
  auto page = open("many.html");
  PageScanner scanner(*page);
  const auto trips = page->round_trips();
  const auto start = std::chrono::steady_clock::now();
  const auto [elements, texts] = scanner.extract_interactable_elements();
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::cout << "5,000 elements: " << took.count() << " ms, " << page->round_trips() - trips << " round trips\n";
  EXPECT_EQ(elements.size(), 5000u);
  const auto* field = find_record(elements, [](const ElementRecord& r) { return r.attributes.get("id") == "f4321"; });
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->attributes.get("_label"), "Field 4321");
  const auto* chip = find_record(elements, [](const ElementRecord& r) { return r.text == "Chip 4998"; });
  ASSERT_NE(chip, nullptr);
  EXPECT_EQ(chip->attributes.get("_label"), "Item 4997");
  const auto* first = find_record(elements, [](const ElementRecord& r) { return r.text == "Buy 4980"; });
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->attributes.get("_label"), "Section 250");
  EXPECT_EQ(count_records(texts, [](const ElementRecord& r) { return r.tag == "h3"; }), 250);
}

TEST_F(ChromiumTest, ScanCommandWritesTheSnapshotDocument) {
  const fs::path out = fs::temp_directory_path() / ("quillfen-scan-" + std::to_string(::getpid()) + ".json");
  const std::string quillfen = std::string(QUILLFEN_BINARY_DIR) + "/runner/quillfen";
  const std::string run = "'" + quillfen + "' scan '" + fixture("labels.html") + "' -o '" + out.string() + "'";
  ASSERT_EQ(std::system(run.c_str()), 0);
  const Json document = Json::parse(read_file(out));
  EXPECT_EQ(document["url"], "file://" + fixture("labels.html"));
  EXPECT_GT(document["elements"].size(), 10u);
  EXPECT_GT(document["text_elements"].size(), 5u);
  fs::remove(out);

  const std::string missing = "QUILLFEN_CHROMIUM=/no/such/chromium '" + quillfen + "' scan '" +
                              fixture("labels.html") + "' 2>'" + out.string() + "'";
  const int status = std::system(missing.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(read_file(out),
            "quillfen: The browser named by QUILLFEN_CHROMIUM (/no/such/chromium) does not exist or is not "
            "executable.\n");
  fs::remove(out);
}

TEST_F(ChromiumTest, ScanCommandWritesThroughLinksAndNamesAFailedWrite) {
  const fs::path dir = fs::temp_directory_path() / ("quillfen-scan-out-" + std::to_string(::getpid()));
  fs::create_directories(dir / "kept");
  std::ofstream(dir / "kept" / "doc.json") << "the old document";
  fs::create_symlink(dir / "kept" / "doc.json", dir / "link.json");
  const std::string quillfen = std::string(QUILLFEN_BINARY_DIR) + "/runner/quillfen";
  const auto scan_to = [&](const fs::path& out) {
    const std::string command = "'" + quillfen + "' scan '" + fixture("labels.html") + "' -o '" + out.string() +
                                "' 2>'" + (dir / "stderr").string() + "'";
    return WEXITSTATUS(std::system(command.c_str()));
  };

  // The link stays a link; the file it leads to gets the document.
  ASSERT_EQ(scan_to(dir / "link.json"), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.json"));
  EXPECT_EQ(Json::parse(read_file(dir / "kept" / "doc.json"))["url"], "file://" + fixture("labels.html"));
  // Missing folders are made, as for the report and the JUnit file.
  ASSERT_EQ(scan_to(dir / "new" / "folder" / "doc.json"), 0);
  EXPECT_TRUE(fs::exists(dir / "new" / "folder" / "doc.json"));
  // A write that fails is named, and the device stays a device.
  EXPECT_EQ(scan_to("/dev/full"), 2);
  // As root, the note that the browser runs without its sandbox comes first.
  const std::string note = "quillfen: running as root, so the browser runs without its sandbox (--no-sandbox); run "
                           "quillfen as an ordinary user to keep it.\n";
  EXPECT_EQ(read_file(dir / "stderr"), (::geteuid() == 0 ? note : "") +
                                           "quillfen: cannot write /dev/full: cannot write it: No space left on "
                                           "device.\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  fs::remove_all(dir);
}

TEST(ChromiumLaunch, FailsWithOneSentenceAndLeavesNothing) {
  const auto profiles = [] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
      count += entry.path().filename().string().rfind("quillfen-chromium-", 0) == 0 ? 1 : 0;
    }
    return count;
  };
  const int before = profiles();
  const auto message = [](const LaunchOptions& options) {
    try {
      Browser::launch(options);
    } catch (const LaunchError& error) {
      return std::string(error.what());
    }
    return std::string("launched");
  };
  LaunchOptions missing;
  missing.executable = "/no/such/browser";
  EXPECT_EQ(message(missing), "The browser /no/such/browser does not exist or is not executable.");

  LaunchOptions exits;
  exits.executable = "/bin/false";
  EXPECT_EQ(message(exits), "The browser /bin/false exited during start-up with status 1.");

  // A "browser" that never answers, and a child of it: both go with the process group.
  const fs::path silent = fs::temp_directory_path() / ("quillfen-silent-" + std::to_string(::getpid()));
  std::ofstream(silent) << "#!/bin/sh\nsleep 61 &\nexec sleep 62\n";
  fs::permissions(silent, fs::perms::owner_all);
  LaunchOptions hangs;
  hangs.executable = silent;
  hangs.startup_timeout = 300ms;
  EXPECT_EQ(message(hangs), "The browser " + silent.string() + " did not start within 300 ms.");
  fs::remove(silent);
  EXPECT_EQ(processes_mentioning("sleep 6"), 0);
  EXPECT_EQ(profiles(), before);
}

TEST(ChromiumLaunch, ACrashedBrowserFailsCallsAndLeavesNothing) {
  auto browser = Browser::launch();
  const std::string profile = browser->profile_dir().string();
  auto page = browser->new_page();
  ASSERT_TRUE(page->navigate(fixture("states.html")).done());
  auto buttons = page->query_selector_all("button");
  ASSERT_GT(processes_mentioning(profile), 1);
  ::kill(browser->pid(), SIGKILL);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(buttons[0]->inner_text(), PageError);
  EXPECT_THROW(page->url(), PageError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  page.reset();
  browser.reset();
  EXPECT_EQ(processes_mentioning(profile), 0);
  EXPECT_FALSE(fs::exists(profile));
}

TEST(ChromiumLaunch, AKilledClientLeavesNoBrowserBehind) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t client = ::fork();
  if (client == 0) {
    ::close(report[0]);
    try {
      auto browser = Browser::launch();
      const std::string line = std::to_string(browser->pid()) + " " + browser->profile_dir().string() + "\n";
      [[maybe_unused]] const auto written = ::write(report[1], line.data(), line.size());
      ::pause();
    } catch (...) {
    }
    ::_exit(1);
  }
  ::close(report[1]);
  std::string line;
  char c = 0;
  while (::read(report[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(report[0]);
  ::kill(client, SIGKILL);
  ::waitpid(client, nullptr, 0);
  std::istringstream fields(line);
  pid_t browser_pid = 0;
  std::string profile;
  fields >> browser_pid >> profile;
  ASSERT_GT(browser_pid, 0) << "the client did not start a browser";
  EXPECT_TRUE(eventually([&] { return processes_mentioning(profile) == 0 && !fs::exists(profile); }, 30s))
      << profile;
  EXPECT_FALSE(is_running(browser_pid));
}

}  // namespace
}  // namespace quillfen::chromium
