#include "engine/browser/page_scanner.hpp"

#include "engine/browser/settings.hpp"
#include "tests/fake_page.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

namespace quillfen {

// Readable failure messages for attribute maps.
void PrintTo(const AttributeMap& attributes, std::ostream* os) { *os << to_json(attributes).dump(); }

namespace {

namespace fs = std::filesystem;
using fake::box;
using fake::FakePage;
using fake::Node;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using Strings = std::vector<std::string>;

const Strings kCapturedReads = {
    "get_attribute id",         "get_attribute name",       "get_attribute type",
    "get_attribute placeholder", "get_attribute aria-label", "get_attribute aria-labelledby",
    "get_attribute title",      "get_attribute role",       "get_attribute href",
    "get_attribute value",      "get_attribute class",      "get_attribute data-testid",
    "get_attribute alt"};

Strings concat(std::initializer_list<Strings> parts) {
  Strings out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A record as the scanner would build it; what a test does not name keeps its default.
Element record_of(std::string tag, std::string text, std::optional<BoundingBox> bounding_box,
                  AttributeMap attributes = {}) {
  auto e = std::make_shared<ElementRecord>();
  e->tag = std::move(tag);
  e->text = std::move(text);
  e->bounding_box = bounding_box;
  e->attributes = std::move(attributes);
  e->is_visible = true;
  e->is_enabled = true;
  return e;
}

Strings texts_of(const Elements& elements) {
  Strings out;
  for (const auto& e : elements) out.push_back(e->text);
  return out;
}

Strings labels_of(const Elements& elements) {
  Strings out;
  for (const auto& e : elements) out.push_back(e->attributes.get("_label"));
  return out;
}

// The label a lone field gets when scanned on a page built by `build`.
std::string field_label(const std::function<void(FakePage&)>& build) {
  FakePage page;
  build(page);
  std::ostringstream console;
  PageScanner scanner(page, console);
  for (const auto& e : scanner.extract_interactable_elements().first) {
    if (e->tag == "input") return e->attributes.contains("_label") ? e->attributes.get("_label") : "<none>";
  }
  return "<dropped>";
}

// Sets the two settings and the time zone for one test and puts them back afterwards.
class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_save_ = settings::SAVE_SNAPSHOTS;
    saved_path_ = settings::LOG_PATH;
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz;
    setenv("TZ", "UTC", 1);
    tzset();
    dir_ = fs::temp_directory_path() /
           ("quillfen-scan-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    settings::SAVE_SNAPSHOTS = saved_save_;
    settings::LOG_PATH = saved_path_;
    if (saved_tz_) {
      setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    fs::remove_all(dir_);
  }

  // 2 March 2025, 14:05:09 UTC.
  static std::chrono::system_clock::time_point march_second() {
    std::tm t{};
    t.tm_year = 125;
    t.tm_mon = 2;
    t.tm_mday = 2;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    return std::chrono::system_clock::from_time_t(timegm(&t)) + std::chrono::milliseconds(250);
  }

  static Strings files_in(const fs::path& dir) {
    Strings names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;

 private:
  bool saved_save_ = false;
  std::string saved_path_;
  std::optional<std::string> saved_tz_;
};

TEST(PageScannerTables, CustomInputIsRecognisedByClassNameOnNonNativeTags) {
  const struct {
    std::string_view tag, classes;
    bool expected;
  } cases[] = {
      {"div", "form-input", true},       {"span", "Editable", true},  {"div", "contenteditable-area", true},
      {"div", "INPUTBOX", true},         {"textarea", "editable", false}, {"input", "input", false},
      {"select", "input", false},        {"div", "", false},          {"div", "in put", false},
  };
  for (const auto& c : cases) EXPECT_EQ(_is_custom_input(c.tag, c.classes), c.expected) << c.tag << " " << c.classes;
}

TEST(PageScanner, CombinedListIsNativeThenCustomInputsThenPointerElementsWithoutCrossGroupDedup) {
  FakePage page;
  page.add({.tag = "div", .text = "Go", .attributes = {{"role", "button"}, {"class", "inputbox"}},
            .box = box(0, 100, 80, 30), .cursor = "pointer"});
  page.add({.tag = "button", .text = "Log in", .box = box(0, 200, 80, 30)});
  page.add({.tag = "span", .text = "Find", .attributes = {{"class", "search-input"}}, .box = box(0, 300, 80, 30)});
  const auto card = page.add({.tag = "div", .text = "Sign up", .attributes = {{"class", "card"}, {"aria-label", "Join"}},
                              .box = box(0.4, 400.5, 99.5, 30.49), .cursor = "pointer"});
  page.add({.tag = "span", .text = "now", .box = box(10, 410, 20, 10)}, card);

  std::ostringstream console;
  const auto [elements, text_elements] = PageScanner(page, console).extract_interactable_elements();

  EXPECT_THAT(texts_of(elements), ElementsAre("Go", "Log in", "Go", "Find", "Go", "Sign up now", "now"));
  EXPECT_THAT(elements[0]->xpath, "/html[1]/body[1]/div[1]");
  EXPECT_EQ(elements[0]->xpath, elements[2]->xpath);
  EXPECT_EQ(elements[0]->xpath, elements[4]->xpath);
  // Custom inputs are marked editable; pointer records are buttons with whole boxes.
  EXPECT_FALSE(elements[0]->is_editable_field);
  EXPECT_EQ(elements[2]->is_editable_field, true);
  EXPECT_EQ(elements[3]->is_editable_field, true);
  const ElementRecord& pointer = *elements[5];
  EXPECT_EQ(pointer.tag, "button");
  // Spatial labels reach every group: the span above labels the pointer records.
  EXPECT_EQ(pointer.attributes, (AttributeMap{{"class", "card"}, {"aria-label", "Join"}, {"_label", "Find"}}));
  EXPECT_TRUE(pointer.is_visible && pointer.is_enabled);
  EXPECT_EQ(to_json(*pointer.bounding_box).dump(), R"({"x":0,"y":401,"width":100,"height":30})");
  EXPECT_EQ(elements[6]->tag, "button");  // the span inherits the pointer cursor
  EXPECT_EQ(elements[6]->attributes, (AttributeMap{{"_label", "Find"}}));
  // The card keeps its text element: it has text of its own.
  EXPECT_THAT(texts_of(text_elements), ElementsAre("Go", "Log in", "Find", "Sign up now", "now"));
}

TEST(PageScanner, NativeElementsWithoutAreaOrHiddenWithoutANameAreSkipped) {
  FakePage page;
  page.add({.name = "no width", .tag = "button", .text = "A", .attributes = {{"aria-label", "A"}}, .box = box(0, 0, 0, 10)});
  page.add({.name = "no height", .tag = "button", .text = "B", .box = box(0, 0, 10, -1)});
  page.add({.name = "no box", .tag = "button", .text = "C", .attributes = {{"title", "C"}}, .box = std::nullopt});
  page.add({.name = "hidden titled", .tag = "button", .attributes = {{"title", "Close"}}, .visible = false});
  page.add({.name = "hidden labelled", .tag = "a", .text = "x", .attributes = {{"aria-label", "Menu"}}, .visible = false});
  page.add({.name = "hidden unnamed", .tag = "button", .text = "Secret", .visible = false});
  page.add({.name = "hidden empty name", .tag = "button", .attributes = {{"title", ""}, {"aria-label", ""}}, .visible = false});
  page.add({.name = "disabled", .tag = "button", .text = "Pay", .enabled = false});

  std::ostringstream console;
  const Elements elements = PageScanner(page, console).extract_interactable_elements().first;
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(elements[0]->attributes.get("title"), "Close");
  EXPECT_FALSE(elements[0]->is_visible);
  EXPECT_EQ(elements[1]->attributes.get("aria-label"), "Menu");
  EXPECT_FALSE(elements[1]->is_visible);
  EXPECT_EQ(elements[2]->text, "Pay");
  EXPECT_TRUE(elements[2]->is_visible);
  EXPECT_FALSE(elements[2]->is_enabled);
}

TEST(PageScanner, NativeRecordTextAndAttributes) {
  FakePage page;
  page.add({.tag = "input",
            .attributes = {{"data-qa", "q1"}, {"value", "abc "}, {"placeholder", ""}, {"data-testid", "t"}, {"class", "x"},
                           {"onclick", "go()"}},
            .box = box(5, 6, 70.5, 20)});
  page.add({.tag = "button", .text = "\u00a0 Log in\n", .attributes = {{"value", "ignored"}}});

  std::ostringstream console;
  const Elements elements = PageScanner(page, console).extract_interactable_elements().first;
  ASSERT_EQ(elements.size(), 2u);
  const ElementRecord& input = *elements[0];
  EXPECT_EQ(input.tag, "input");
  EXPECT_EQ(input.text, "abc");
  // Captured attributes in table order (an empty placeholder kept, an absent one not),
  // then the data attributes in element order; data-testid keeps its first place.
  EXPECT_EQ(input.attributes, (AttributeMap{{"placeholder", ""}, {"value", "abc "}, {"class", "x"},
                                            {"data-testid", "t"}, {"data-qa", "q1"}}));
  EXPECT_EQ(to_json(*input.bounding_box).dump(), R"({"x":5.0,"y":6.0,"width":70.5,"height":20.0})");
  EXPECT_EQ(input.xpath, "/html[1]/body[1]/input[1]");
  EXPECT_FALSE(input.has_direct_text);
  EXPECT_EQ(elements[1]->text, "Log in");
}

TEST(PageScanner, FieldLabelSourcesAreTriedInOrder) {
  const std::string long50(50, 'x');
  const std::string long49(49, 'y');
  const struct {
    std::string_view why;
    std::function<void(FakePage&)> build;
    std::string expected;
  } cases[] = {
      {"aria-label wins over everything", [](FakePage& p) {
         p.add({.tag = "label", .text = "Lbl", .attributes = {{"for", "u"}}});
         p.add({.tag = "input", .attributes = {{"id", "u"}, {"aria-label", " User "}, {"placeholder", "P"}}});
       }, "User"},
      {"a blank aria-label is passed over", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"aria-label", " \u00a0"}, {"placeholder", "P"}}});
       }, "P"},
      {"aria-labelledby names an element", [](FakePage& p) {
         p.add({.tag = "div", .text = "  Email address  ", .attributes = {{"id", "hint"}}});
         p.add({.tag = "input", .attributes = {{"aria-labelledby", "hint"}, {"placeholder", "P"}}});
       }, "Email address"},
      {"aria-labelledby naming a missing id falls through", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"aria-labelledby", "gone"}, {"placeholder", "P"}}});
       }, "P"},
      {"a label for the id", [](FakePage& p) {
         p.add({.tag = "label", .text = "Username", .attributes = {{"for", "user"}}});
         p.add({.tag = "input", .attributes = {{"id", "user"}, {"placeholder", "P"}}});
       }, "Username"},
      {"the label must match the id exactly", [](FakePage& p) {
         p.add({.tag = "label", .text = "Username", .attributes = {{"for", "User"}}});
         p.add({.tag = "input", .attributes = {{"id", "user"}, {"placeholder", "P"}}});
       }, "P"},
      {"an empty label text falls through", [](FakePage& p) {
         p.add({.tag = "label", .text = " ", .attributes = {{"for", "user"}}, .box = box(0, 0, 10, 10)});
         p.add({.tag = "input", .attributes = {{"id", "user"}, {"title", "T"}}});
       }, "T"},
      {"placeholder before title", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"title", "T"}, {"placeholder", "Search products"}}});
       }, "Search products"},
      {"title", [](FakePage& p) { p.add({.tag = "input", .attributes = {{"title", " T "}}}); }, "T"},
      {"previous sibling text", [](FakePage& p) {
         p.add({.tag = "span", .text = "Name"});
         p.add({.tag = "input"});
       }, "Name"},
      {"a sibling of 50 characters is skipped for an earlier short one", [&](FakePage& p) {
         p.add({.tag = "span", .text = "Short"});
         p.add({.tag = "span", .text = long50});
         p.add({.tag = "input"});
       }, "Short"},
      {"a sibling of 49 characters is accepted", [&](FakePage& p) {
         p.add({.tag = "span", .text = long49});
         p.add({.tag = "input"});
       }, long49},
      {"parent children text when no sibling has own or first-child text", [](FakePage& p) {
         const auto div = p.add({.tag = "div"});
         p.add({.tag = "span"}, div);
         p.add({.tag = "em", .text = "Age"}, div);
         p.add({.tag = "input"});
       }, "Age"},
      {"no source", [](FakePage& p) { p.add({.tag = "input"}); }, "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(field_label(c.build), c.expected) << c.why;
}

TEST(PageScanner, FieldLabelFailuresAreSwallowedOnlyInTheGuardedSteps) {
  const struct {
    std::string_view why;
    std::function<void(FakePage&)> build;
    std::string expected;
  } cases[] = {
      {"an aria-labelledby that is no valid selector", [](FakePage& p) {
         p.add({.tag = "div", .text = "Digits", .attributes = {{"id", "1abc"}}});
         p.add({.tag = "input", .attributes = {{"aria-labelledby", "1abc"}, {"placeholder", "P"}}});
       }, "P"},
      {"an id holding a double quote", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"id", "a\"b"}, {"placeholder", "P"}}});
       }, "P"},
      {"a failing page query", [](FakePage& p) {
         p.add({.tag = "div", .text = "Hint", .attributes = {{"id", "hint"}}});
         p.add({.tag = "input", .attributes = {{"aria-labelledby", "hint"}, {"placeholder", "P"}}});
         p.fail("query_selector #hint");
       }, "P"},
      {"a label whose text cannot be read", [](FakePage& p) {
         p.add({.tag = "label", .text = "User", .attributes = {{"for", "u"}}, .fails = {"inner_text"}});
         p.add({.tag = "input", .attributes = {{"id", "u"}, {"title", "T"}}});
       }, "T"},
      {"a failing previous-sibling script", [](FakePage& p) {
         p.add({.tag = "span", .text = "Name"});
         p.add({.tag = "input", .fails = {"evaluate _PREVIOUS_SIBLING_LABEL_JS"}});
       }, "Name"},
      {"both scripts failing", [](FakePage& p) {
         p.add({.tag = "span", .text = "Name"});
         p.add({.tag = "input", .fails = {"evaluate _PREVIOUS_SIBLING_LABEL_JS", "evaluate _PARENT_CHILDREN_LABEL_JS"}});
       }, "<none>"},
      {"a failing placeholder read drops the field", [](FakePage& p) {
         p.add({.tag = "input", .fails = {"get_attribute placeholder"}});
       }, "<dropped>"},
      {"a failing aria-labelledby read drops the field", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"placeholder", "P"}}, .fails = {"get_attribute aria-labelledby"}});
       }, "<dropped>"},
      {"a failing id read drops the field", [](FakePage& p) {
         p.add({.tag = "input", .attributes = {{"placeholder", "P"}}, .fails = {"get_attribute id"}});
       }, "<dropped>"},
  };
  for (const auto& c : cases) EXPECT_EQ(field_label(c.build), c.expected) << c.why;
}

TEST(PageScanner, AFailingElementIsDroppedAndTheScanGoesOn) {
  const Strings failures = {"is_visible", "is_enabled", "evaluate _TAG_NAME_JS", "inner_text", "bounding_box",
                            "get_attribute alt", "evaluate _DATA_ATTRIBUTES_JS", "evaluate _XPATH_JS"};
  for (const auto& failure : failures) {
    FakePage page;
    page.add({.tag = "button", .text = "Before"});
    page.add({.tag = "button", .text = "Detached", .fails = {failure}});
    page.add({.tag = "button", .text = "After"});
    std::ostringstream console;
    const Elements elements = PageScanner(page, console).extract_interactable_elements().first;
    EXPECT_THAT(texts_of(elements), ElementsAre("Before", "After")) << failure;
  }
}

TEST(PageScanner, ADialogATimeOutOrALostTabDuringAnyReadEndsTheScanInsteadOfDroppingTheElement) {
  // Only the page's own error about one element drops that element; the other kinds
  // (a read cut off at the scan's deadline too) would silently drop every later element
  // as well, and must reach the caller.
  const Strings reads = {"is_visible", "inner_text", "bounding_box", "evaluate _XPATH_JS", "get_attribute id",
                         "evaluate _PREVIOUS_SIBLING_LABEL_JS"};
  for (const std::string kind : {"dialog:", "timeout:", "gone:", "slow:"}) {
    for (const auto& read : reads) {
      FakePage page;
      page.add({.tag = "span", .text = "Name"});
      page.add({.tag = "input", .attributes = {{"id", "n"}}, .fails = {kind + read}});
      std::ostringstream console;
      try {
        PageScanner(page, console).extract_interactable_elements();
        ADD_FAILURE() << kind << read << " was swallowed";
      } catch (const PageError& e) {
        EXPECT_NE(e.kind(), PageError::Kind::element) << kind << read;
      }
    }
  }
  // Page-level reads that are guarded for the page's own errors: the field label's
  // look-up by id, and the pointer script.
  for (const std::string failure : {"timeout:query_selector label[for=\"n\"]", "dialog:evaluate _CURSOR_POINTER_JS"}) {
    FakePage page;
    page.add({.tag = "input", .attributes = {{"id", "n"}}});
    page.fail(failure);
    std::ostringstream console;
    EXPECT_THROW(PageScanner(page, console).extract_interactable_elements(), PageError) << failure;
  }
}

TEST(PageScanner, AFailingInitialQueryEndsTheScan) {
  for (const std::string query : {"INTERACTABLE_SELECTOR", "_CUSTOM_INPUT_SELECTOR", "_LABEL_CANDIDATE_SELECTOR",
                                  "TEXT_SELECTOR"}) {
    FakePage page;
    page.add({.tag = "button", .text = "Go"});
    page.fail("query_selector_all " + query);
    std::ostringstream console;
    EXPECT_THROW(PageScanner(page, console).extract_interactable_elements(), PageError) << query;
  }
}

TEST(PageScanner, PointerGroupIsEmptyWhenThePageScriptFailsOrAnswersNothing) {
  FakePage page;
  page.add({.tag = "div", .text = "Sign up", .cursor = "pointer"});
  std::ostringstream console;
  PageScanner scanner(page, console);
  EXPECT_EQ(scanner._extract_cursor_pointer_elements().size(), 1u);
  page.pointer_result = Json(nullptr);
  EXPECT_THAT(scanner._extract_cursor_pointer_elements(), IsEmpty());
  page.pointer_result.reset();
  page.fail("evaluate _CURSOR_POINTER_JS");
  EXPECT_THAT(scanner._extract_cursor_pointer_elements(), IsEmpty());
  EXPECT_THAT(texts_of(scanner.extract_interactable_elements().first), IsEmpty());
}

TEST(PageScanner, PointerItemsAreDeduplicatedByXpathAndKeepOnlyNonEmptyClassAndAria) {
  FakePage page;
  page.pointer_result = Json::parse(R"([
    {"tag": "div", "text": "A", "xpath": "/x[1]", "x": 1, "y": 2, "w": 3, "h": 4, "cls": "", "aria": "Open"},
    {"tag": "div", "text": "A again", "xpath": "/x[1]", "x": 1, "y": 2, "w": 3, "h": 4, "cls": "c", "aria": ""},
    {"tag": "li", "text": "B", "x": 5, "y": 6, "w": 7, "h": 8},
    {"tag": "li", "text": "C", "x": 5, "y": 6, "w": 7, "h": 8}
  ])");
  std::ostringstream console;
  const Elements pointers = PageScanner(page, console)._extract_cursor_pointer_elements();
  ASSERT_EQ(pointers.size(), 2u);  // a missing xpath counts as "", seen once
  EXPECT_EQ(pointers[0]->attributes, (AttributeMap{{"aria-label", "Open"}}));
  EXPECT_EQ(pointers[1]->text, "B");
  EXPECT_EQ(pointers[1]->xpath, "");
  EXPECT_EQ(pointers[1]->attributes, AttributeMap{});
}

TEST(PageScanner, CustomInputsNeedAreaVisibilityAndAnEditableClass) {
  FakePage page;
  page.add({.tag = "span", .text = "Search"});
  page.add({.name = "search", .tag = "div", .attributes = {{"class", "search-input"}, {"data-qa", "s"}, {"id", "s"}},
            .box = box(0, 50, 200, 30)});
  page.add({.tag = "div", .attributes = {{"class", "flat-input"}}, .box = box(0, 0, 0, 30)});
  page.add({.tag = "div", .attributes = {{"class", "hidden-input"}}, .visible = false});
  page.add({.tag = "div", .attributes = {{"class", "Input"}}});  // the selector's test is case-sensitive
  std::ostringstream console;
  const Elements inputs = PageScanner(page, console)._extract_custom_inputs();
  ASSERT_EQ(inputs.size(), 1u);
  const ElementRecord& search = *inputs[0];
  EXPECT_EQ(search.tag, "div");
  EXPECT_EQ(search.text, "");
  EXPECT_EQ(search.attributes, (AttributeMap{{"id", "s"}, {"class", "search-input"}, {"_label", "Search"}}));
  EXPECT_TRUE(search.is_visible && search.is_enabled);
  EXPECT_EQ(search.is_editable_field, true);
  EXPECT_EQ(to_json(search).dump(),
            R"({"tag":"div","text":"","attributes":{"id":"s","class":"search-input","_label":"Search"},)"
            R"("bounding_box":{"x":0.0,"y":50.0,"width":200.0,"height":30.0},"is_visible":true,"is_enabled":true,)"
            R"("is_editable_field":true,"xpath":"/html[1]/body[1]/div[1]"})");
}

TEST(PageScanner, SpatialLabelIsTheNearestCandidateWhollyAboveAndHorizontallyTouching) {
  const auto record = [](BoundingBox b, AttributeMap attributes = {}) {
    return record_of("input", "", b, std::move(attributes));
  };
  const auto candidate = [](std::string text, BoundingBox b) { return LabelCandidate{std::move(text), b}; };
  const struct {
    std::string_view why;
    LabelCandidates candidates;
    std::string expected;
  } cases[] = {
      {"12 px above, overlapping", {candidate("Shipping address", box(0, 60, 300, 28))}, "Shipping address"},
      {"bottom edge on the top edge", {candidate("Edge", box(100, 80, 50, 20))}, "Edge"},
      {"bottom edge 1 px below the top", {candidate("Low", box(100, 81, 50, 20))}, ""},
      {"wholly to the left", {candidate("Left", box(0, 0, 99.5, 20))}, ""},
      {"right edge on the left edge", {candidate("Touch", box(0, 0, 100, 20))}, "Touch"},
      {"left edge on the right edge", {candidate("Right", box(300, 0, 10, 20))}, "Right"},
      {"wholly to the right", {candidate("Far", box(300.5, 0, 10, 20))}, ""},
      {"nearer wins", {candidate("Far", box(100, 0, 50, 20)), candidate("Near", box(100, 50, 50, 20))}, "Near"},
      {"a tie goes to the earlier", {candidate("First", box(100, 40, 50, 20)), candidate("Second", box(250, 40, 50, 20))},
       "First"},
      {"no candidates", {}, ""},
  };
  for (const auto& c : cases) {
    const Elements elements = {record(box(100, 100, 200, 30))};
    PageScanner::_assign_spatial_labels(elements, c.candidates);
    EXPECT_EQ(elements[0]->attributes.get("_label"), c.expected) << c.why;
    EXPECT_EQ(elements[0]->attributes.contains("_label"), !c.expected.empty()) << c.why;
  }

  const LabelCandidates heading = {candidate("Heading", box(0, 0, 500, 20))};
  const Elements mixed = {record(box(0, 50, 10, 10), {{"_label", "Street"}}),
                          record(box(0, 50, 10, 10), {{"_label", ""}}),
                          std::make_shared<ElementRecord>()};
  PageScanner::_assign_spatial_labels(mixed, heading);
  EXPECT_THAT(labels_of(mixed), ElementsAre("Street", "Heading", ""));
  EXPECT_FALSE(mixed[2]->attributes.contains("_label"));  // no box, left alone
}

TEST(PageScanner, LabelCandidatesAreShortVisibleSingleLineDistinctTexts) {
  FakePage page;
  page.add({.tag = "h2", .text = "Section", .box = box(0, 0, 100, 20)});
  page.add({.tag = "p", .text = std::string(60, 'a'), .box = box(0, 0, 100, 20)});
  page.add({.tag = "p", .text = std::string(61, 'b'), .box = box(0, 0, 100, 20)});
  page.add({.tag = "span", .text = "\u00e9" + std::string(59, 'c'), .box = box(0, 0, 100, 20)});  // 60 characters
  page.add({.tag = "label", .text = "Tall", .box = box(0, 0, 100, 40.5)});
  page.add({.tag = "label", .text = "Forty", .box = box(0, 0, 100, 40)});
  page.add({.tag = "h2", .text = "Section", .box = box(0, 500, 100, 20)});
  page.add({.tag = "div", .text = "Hidden", .visible = false});
  page.add({.tag = "div", .text = "Boxless", .box = std::nullopt});
  page.add({.tag = "div", .text = "Broken", .fails = {"bounding_box"}});
  page.add({.tag = "span", .text = "  "});
  page.add({.tag = "button", .text = "Not a candidate tag"});
  std::ostringstream console;
  const LabelCandidates candidates = PageScanner(page, console)._collect_label_candidates();
  Strings texts;
  for (const auto& c : candidates) texts.push_back(c.text);
  EXPECT_THAT(texts, ElementsAre("Section", std::string(60, 'a'), "\u00e9" + std::string(59, 'c'), "Forty"));
  EXPECT_EQ(candidates[0].bounding_box.y, 0);  // the first of two equal headings
}

TEST(PageScanner, DuplicateHeadingTextLabelsFromTheFirstOccurrenceOrACloserText) {
  FakePage page;
  page.add({.tag = "h2", .text = "Details", .box = box(0, 0, 300, 20)});
  page.add({.tag = "button", .text = "One", .box = box(0, 40, 100, 20)});
  page.add({.tag = "h2", .text = "Details", .box = box(0, 100, 300, 20)});
  page.add({.tag = "button", .text = "Two", .box = box(0, 140, 100, 20)});
  page.add({.tag = "h3", .text = "Extras", .box = box(0, 200, 300, 20)});
  page.add({.tag = "h2", .text = "Details", .box = box(0, 240, 300, 20)});
  page.add({.tag = "button", .text = "Three", .box = box(0, 280, 100, 20)});
  std::ostringstream console;
  const Elements elements = PageScanner(page, console).extract_interactable_elements().first;
  // Only the first "Details" is a candidate: the second button reaches back to it, the
  // third takes the closer "Extras". Buttons are no candidates.
  EXPECT_THAT(labels_of(elements), ElementsAre("Details", "Details", "Extras"));
}

TEST(PageScanner, TextDedupDropsContainersThatOnlyRepeatASmallerOverlappingText) {
  const auto rec = [](std::string text, BoundingBox b, bool direct) {
    Element e = record_of("span", std::move(text), b);
    e->has_direct_text = direct;
    return e;
  };
  const struct {
    std::string_view why;
    Elements candidates;
    Strings kept;
  } cases[] = {
      {"li around a span", {rec("Apple", box(0, 0, 200, 20), false), rec("Apple", box(0, 0, 50, 20), true)}, {"Apple"}},
      {"own text keeps the container",
       {rec("Total: $5", box(0, 0, 200, 20), true), rec("$5", box(100, 0, 20, 20), true)}, {"Total: $5", "$5"}},
      {"equal areas: strict test keeps both",
       {rec("Cell", box(0, 0, 50, 20), false), rec("Cell", box(0, 0, 50, 20), true)}, {"Cell", "Cell"}},
      {"wrapper around two spans",
       {rec("A B", box(0, 0, 200, 20), false), rec("A", box(0, 0, 20, 20), true), rec("B", box(30, 0, 20, 20), true)},
       {"A", "B"}},
      {"three nested", {rec("X", box(0, 0, 300, 30), false), rec("X", box(0, 0, 200, 20), false), rec("X", box(0, 0, 10, 10), true)},
       {"X"}},
      {"an unrelated overlapping text that happens to be a substring",
       {rec("Contact us", box(0, 0, 300, 100), false), rec("us", box(250, 90, 40, 40), true)}, {"us"}},
      {"touching edges never dominate",
       {rec("Contact us", box(0, 0, 300, 100), false), rec("us", box(300, 0, 40, 40), true),
        rec("us", box(0, 100, 40, 40), true)},
       {"Contact us", "us", "us"}},
      {"a text that is not a substring", {rec("Apple", box(0, 0, 200, 20), false), rec("apple", box(0, 0, 50, 20), true)},
       {"Apple", "apple"}},
      {"the missing flag counts as false",
       {record_of("div", "Z", box(0, 0, 9, 9)),
        rec("Z", box(0, 0, 3, 3), true)},
       {"Z"}},
      {"empty", {}, {}},
  };
  for (const auto& c : cases) {
    const Elements kept = PageScanner::_dedup_text_elements(c.candidates);
    EXPECT_THAT(texts_of(kept), ElementsAreArray(c.kept)) << c.why;
    for (const auto& k : kept) {
      EXPECT_NE(std::find(c.candidates.begin(), c.candidates.end(), k), c.candidates.end()) << "same objects";
    }
  }
  const Elements boxless = {rec("A", box(0, 0, 1, 1), false), record_of("div", "A", std::nullopt)};
  EXPECT_THROW(PageScanner::_dedup_text_elements(boxless), TypeError);
}

// The de-duplication as plainly stated: every record without text of its own against
// every other record.
Elements plain_dedup(const Elements& candidates) {
  const auto area = [](const ElementRecord& r) { return r.bounding_box->width * r.bounding_box->height; };
  const auto overlaps = [](const BoundingBox& a, const BoundingBox& b) {
    return a.x < b.x + b.width && a.x + a.width > b.x && a.y < b.y + b.height && a.y + a.height > b.y;
  };
  Elements kept;
  for (const Element& el : candidates) {
    bool dominated = false;
    if (!el->has_direct_text.value_or(false)) {
      for (const Element& other : candidates) {
        if (other != el && area(*other) < area(*el) && overlaps(*el->bounding_box, *other->bounding_box) &&
            el->text.find(other->text) != std::string::npos) {
          dominated = true;
          break;
        }
      }
    }
    if (!dominated) kept.push_back(el);
  }
  return kept;
}

TEST(PageScanner, TextDedupKeepsTheSameRecordsAsThePlainComparisonOfEveryPair) {
  // Small grids make ties, shared edges and nested boxes common; tall pages and
  // extreme numbers reach the banding's corners.
  const struct {
    std::string_view why;
    double spread;
    double size;
    double scale;
  } layouts[] = {{"a small grid", 8, 4, 1}, {"a tall page", 40, 6, 997.5},
                 {"a page scrolled far up", 40, 30, -25000}, {"huge numbers", 6, 3, 1e300}};
  std::mt19937 random(20240607);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  for (const auto& layout : layouts) {
    for (int round = 0; round < 60; ++round) {
      Elements candidates;
      const int count = pick(40);
      for (int i = 0; i < count; ++i) {
        std::string text;
        for (int n = pick(4); n > 0; --n) text += "ab"[pick(2)];
        const double x = pick(static_cast<int>(layout.spread)) * layout.scale;
        const double y = pick(static_cast<int>(layout.spread)) * layout.scale;
        Element e = record_of("div", text,
                              box(x, y, pick(static_cast<int>(layout.size)) * std::abs(layout.scale),
                                  pick(static_cast<int>(layout.size)) * std::abs(layout.scale)));
        if (const int flag = pick(3); flag < 2) e->has_direct_text = flag == 1;
        candidates.push_back(e);
      }
      if (round % 10 == 0 && !candidates.empty()) {
        // A box without a finite extent meets every other box.
        candidates[0]->bounding_box->height = std::numeric_limits<double>::infinity();
        candidates[0]->bounding_box->y = -1;
      }
      EXPECT_EQ(PageScanner::_dedup_text_elements(candidates), plain_dedup(candidates))
          << layout.why << ", round " << round;
    }
  }
}

// Spatial labelling as plainly stated: every unlabelled record against every candidate.
void plain_spatial_labels(const Elements& elements, const LabelCandidates& candidates) {
  for (const Element& record : elements) {
    if (!record->attributes.get("_label").empty() || !record->bounding_box) continue;
    const BoundingBox& box = *record->bounding_box;
    const std::string* best = nullptr;
    double best_distance = std::numeric_limits<double>::infinity();
    for (const LabelCandidate& candidate : candidates) {
      const BoundingBox& c = candidate.bounding_box;
      const double bottom = c.y + c.height;
      if (bottom > box.y || c.x > box.x + box.width || c.x + c.width < box.x) continue;
      if (box.y - bottom < best_distance) {
        best_distance = box.y - bottom;
        best = &candidate.text;
      }
    }
    if (best != nullptr && !best->empty()) record->attributes.set("_label", *best);
  }
}

TEST(PageScanner, SpatialLabelsAreTheSameAsThePlainComparisonOfEveryPair) {
  // Small grids make equal edges, touching boxes and ties common; the odd numbers
  // (endless, not a number, negative widths, edges equal only after rounding) take the
  // plain way inside the indexed one.
  std::mt19937 random(77);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const double odd[] = {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN(), -3, 1e17, 1e17 + 16};
  const auto number = [&](double scale) { return pick(25) == 0 ? odd[pick(6)] : pick(10) * scale; };
  for (const double scale : {1.0, 0.5, 1234.5678, -40.0}) {
    for (int round = 0; round < 80; ++round) {
      LabelCandidates candidates;
      for (int n = pick(30); n > 0; --n) {
        candidates.push_back({pick(8) == 0 ? std::string() : "c" + std::to_string(candidates.size()),
                              box(number(scale), number(scale), number(scale) / 2, pick(3) * std::abs(scale))});
      }
      Elements mine;
      Elements plain;
      for (int n = pick(30); n > 0; --n) {
        std::optional<BoundingBox> where;
        if (pick(10) != 0) where = box(number(scale), number(scale), number(scale) / 2, 2);
        Element e = record_of("button", "b", where);
        if (pick(5) == 0) e->attributes.set("_label", pick(2) == 0 ? "Own" : "");
        mine.push_back(e);
        plain.push_back(std::make_shared<ElementRecord>(*e));
      }
      PageScanner::_assign_spatial_labels(mine, candidates);
      plain_spatial_labels(plain, candidates);
      for (std::size_t i = 0; i < mine.size(); ++i) {
        EXPECT_EQ(mine[i]->attributes, plain[i]->attributes) << "scale " << scale << ", round " << round << ", record " << i;
      }
    }
  }
}

TEST(PageScanner, TextElementsAreVisibleTextBearingRecordsWithoutDuplicateContainers) {
  FakePage page;
  const auto list = page.add({.tag = "ul", .box = box(0, 0, 300, 100)});
  const auto item = page.add({.tag = "li", .box = box(0, 0, 300, 20)}, list);
  page.add({.tag = "span", .text = "Apple", .attributes = {{"data-qa", "fruit"}, {"class", "name"}, {"title", "t"}},
            .box = box(0, 0, 40, 20)},
           item);
  page.add({.tag = "p", .text = "Hidden", .visible = false});
  page.add({.tag = "p", .text = " \n "});
  page.add({.tag = "p", .text = "Boxless", .box = std::nullopt});
  page.add({.tag = "h1", .text = "Broken", .fails = {"evaluate _DIRECT_TEXT_JS"}});
  page.add({.tag = "a", .text = "Home", .attributes = {{"href", "/"}, {"id", "home"}, {"aria-label", ""}}});
  std::ostringstream console;
  const Elements texts = PageScanner(page, console).extract_text_elements();
  ASSERT_THAT(texts_of(texts), ElementsAre("Apple", "Home"));
  EXPECT_EQ(to_json(*texts[0]).dump(),
            R"({"tag":"span","text":"Apple","has_direct_text":true,"attributes":{"class":"name","data-qa":"fruit"},)"
            R"("bounding_box":{"x":0.0,"y":0.0,"width":40.0,"height":20.0},"is_visible":true,"is_enabled":true,)"
            R"("xpath":"/html[1]/body[1]/ul[1]/li[1]/span[1]"})");
  EXPECT_EQ(texts[1]->attributes, (AttributeMap{{"id", "home"}, {"href", "/"}, {"aria-label", ""}}));
}

// The exact requests of each kind of element: the contract that a browser layer may
// batch but must answer in the same way.
TEST(PageScannerRequests, EachKindOfElementCostsExactlyTheseRequestsInThisOrder) {
  FakePage page;
  // The two fields come first, so that no earlier sibling or child can name them.
  page.add({.name = "field", .tag = "input", .attributes = {{"aria-labelledby", "nowhere"}, {"id", "q"}}});
  page.add({.name = "custom", .tag = "span", .attributes = {{"class", "text-input"}}});
  page.add({.name = "login", .tag = "button", .text = "Log in"});
  page.add({.name = "closer", .tag = "button", .attributes = {{"title", "Close"}}, .visible = false});
  page.add({.name = "clickable", .tag = "li", .text = "Sign up", .cursor = "pointer"});
  std::ostringstream console;
  PageScanner(page, console).extract_interactable_elements();

  const Strings native_start = {"is_visible", "is_enabled", "evaluate _TAG_NAME_JS", "inner_text"};
  const Strings native_end = {"evaluate _DATA_ATTRIBUTES_JS", "evaluate _XPATH_JS"};
  const Strings text_element = {"is_visible", "inner_text", "bounding_box", "evaluate _TAG_NAME_JS",
                                "evaluate _XPATH_JS", "get_attribute id", "get_attribute class",
                                "get_attribute href", "get_attribute aria-label", "evaluate _DATA_ATTRIBUTES_JS",
                                "evaluate _DIRECT_TEXT_JS"};
  const Strings unlabelled_field = {"get_attribute aria-label", "get_attribute aria-labelledby", "get_attribute id",
                                    "get_attribute placeholder", "get_attribute title",
                                    "evaluate _PREVIOUS_SIBLING_LABEL_JS", "evaluate _PARENT_CHILDREN_LABEL_JS"};

  EXPECT_THAT(page.requests_of("login"),
              ElementsAreArray(concat({native_start, {"bounding_box"}, kCapturedReads, native_end, text_element})));
  EXPECT_THAT(page.requests_of("closer"),
              ElementsAreArray(concat({native_start,
                                       {"get_attribute value", "bounding_box", "get_attribute aria-label",
                                        "get_attribute title"},
                                       kCapturedReads, native_end, {"is_visible"}})));
  EXPECT_THAT(page.requests_of("field"),
              ElementsAreArray(concat({native_start, {"get_attribute value", "bounding_box"}, kCapturedReads,
                                       native_end, unlabelled_field})));
  EXPECT_THAT(page.requests_of("custom"),
              ElementsAreArray(concat({{"evaluate _TAG_NAME_JS", "get_attribute class", "bounding_box", "is_visible",
                                        "evaluate _XPATH_JS", "inner_text"},
                                       unlabelled_field, kCapturedReads,
                                       {"is_visible", "inner_text", "bounding_box"},  // label candidate
                                       {"is_visible", "inner_text"}})));              // text element, empty
  EXPECT_THAT(page.requests_of("clickable"), ElementsAreArray(text_element));

  Strings page_requests = page.requests_of("page");
  EXPECT_THAT(page_requests,
              ElementsAre("query_selector_all INTERACTABLE_SELECTOR", "query_selector #nowhere",
                          "query_selector label[for=\"q\"]", "query_selector_all _CUSTOM_INPUT_SELECTOR",
                          "evaluate _CURSOR_POINTER_JS", "query_selector_all _LABEL_CANDIDATE_SELECTOR",
                          "query_selector_all TEXT_SELECTOR"));
}

TEST(PageScannerRequests, FieldLabelStopsAtTheFirstSourceThatNamesTheField) {
  FakePage page;
  page.add({.name = "hint", .tag = "div", .text = "Email", .attributes = {{"id", "hint"}}, .box = box(0, 0, 10, 50)});
  page.add({.name = "field", .tag = "input", .attributes = {{"aria-labelledby", "hint"}, {"id", "e"}}});
  std::ostringstream console;
  PageScanner scanner(page, console);
  const ElementHandlePtr field = page.query_selector("input");
  page.clear_requests();
  EXPECT_EQ(scanner._get_field_label(*field), "Email");
  EXPECT_THAT(page.requests(), ElementsAre("field: get_attribute aria-label", "field: get_attribute aria-labelledby",
                                           "page: query_selector #hint", "hint: inner_text"));
}

TEST_F(SnapshotTest, OffWritesNothingAndDoesNotReadTheAddress) {
  settings::SAVE_SNAPSHOTS = false;
  settings::LOG_PATH = (dir_ / "logs").string();
  FakePage page;
  page.add({.tag = "button", .text = "Go"});
  std::ostringstream console;
  PageScanner(page, console).extract_interactable_elements();
  EXPECT_FALSE(fs::exists(dir_ / "logs"));
  EXPECT_EQ(console.str(), "");
  EXPECT_THAT(page.requests_of("page"), ::testing::Not(::testing::Contains("url")));
}

TEST_F(SnapshotTest, OnWritesTheDocumentUnderATimestampAndSlugName) {
  settings::SAVE_SNAPSHOTS = true;
  const fs::path logs = dir_ / "deep" / "er" / "logs";
  settings::LOG_PATH = logs.string();
  FakePage page;
  page.address = "file:///srv/shop/cart.html?id=1";
  std::ostringstream console;
  PageScanner scanner(page, console, march_second);

  const Elements elements = {record_of("button", "Caf\u00e9 \"1\"", box(10, 20.5, 100, 30), {{"id", "go"}}),
                             record_of("button", "\U0001F600", BoundingBox{1, 2, 3, 4, true})};
  elements[0]->xpath = "/html[1]/body[1]/button[1]";
  scanner._save_snapshot(elements, {});

  const std::string name = "20250302_140509_file__srv_shop_cart.html?id=1.json";
  ASSERT_THAT(files_in(logs), ElementsAre(name));
  EXPECT_EQ(read(logs / name),
            "{\n"
            "  \"url\": \"file:///srv/shop/cart.html?id=1\",\n"
            "  \"elements\": [\n"
            "    {\n"
            "      \"tag\": \"button\",\n"
            "      \"text\": \"Caf\\u00e9 \\\"1\\\"\",\n"
            "      \"attributes\": {\n"
            "        \"id\": \"go\"\n"
            "      },\n"
            "      \"bounding_box\": {\n"
            "        \"x\": 10.0,\n"
            "        \"y\": 20.5,\n"
            "        \"width\": 100.0,\n"
            "        \"height\": 30.0\n"
            "      },\n"
            "      \"is_visible\": true,\n"
            "      \"is_enabled\": true,\n"
            "      \"xpath\": \"/html[1]/body[1]/button[1]\"\n"
            "    },\n"
            "    {\n"
            "      \"tag\": \"button\",\n"
            "      \"text\": \"\\ud83d\\ude00\",\n"
            "      \"attributes\": {},\n"
            "      \"bounding_box\": {\n"
            "        \"x\": 1,\n"
            "        \"y\": 2,\n"
            "        \"width\": 3,\n"
            "        \"height\": 4\n"
            "      },\n"
            "      \"is_visible\": true,\n"
            "      \"is_enabled\": true,\n"
            "      \"xpath\": \"\"\n"
            "    }\n"
            "  ],\n"
            "  \"text_elements\": []\n"
            "}");
  EXPECT_EQ(console.str(), "  [DOM snapshot saved \u2192 " + (logs / name).string() + "]\n");
  EXPECT_THAT(page.requests_of("page"), ElementsAre("url", "url"));
}

TEST_F(SnapshotTest, SlugReplacesSchemeAndSlashesAndKeepsSixtyCharacters) {
  settings::SAVE_SNAPSHOTS = true;
  settings::LOG_PATH = dir_.string() + "/";
  const struct {
    std::string url, name;
  } cases[] = {
      {"about:blank", "20250302_140509_about:blank.json"},
      {"https://a.test/x?q=1&r=%20#top", "20250302_140509_https_a.test_x?q=1&r=%20#top.json"},
      {"https://example.test/" + std::string(59, 'p'),  // 80 characters
       "20250302_140509_https_example.test_" + std::string(41, 'p') + ".json"},
      {"https://\u00e9.test/" + std::string(70, 'q'), "20250302_140509_https_\u00e9.test_" + std::string(47, 'q') + ".json"},
  };
  for (const auto& c : cases) {
    FakePage page;
    page.address = c.url;
    std::ostringstream console;
    PageScanner(page, console, march_second).extract_interactable_elements();
    EXPECT_TRUE(fs::exists(dir_ / c.name)) << c.url;
    EXPECT_EQ(console.str(), "  [DOM snapshot saved \u2192 " + dir_.string() + "/" + c.name + "]\n");
  }
  EXPECT_EQ(files_in(dir_).size(), std::size(cases));
}

TEST_F(SnapshotTest, ScansOfOneAddressInOneSecondKeepEverySnapshot) {
  settings::SAVE_SNAPSHOTS = true;
  settings::LOG_PATH = dir_.string();
  FakePage page;
  page.address = "about:blank";
  std::ostringstream console;
  PageScanner scanner(page, console, march_second);
  const Elements first = {record_of("a", "", std::nullopt)};
  const Elements second = {record_of("b", "", std::nullopt)};
  scanner._save_snapshot(first, {});
  scanner._save_snapshot(second, {});
  scanner._save_snapshot({}, {});
  const std::string stem = "20250302_140509_about:blank";
  EXPECT_THAT(files_in(dir_), ElementsAre(stem + ".json", stem + "_2.json", stem + "_3.json"));
  EXPECT_NE(read(dir_ / (stem + ".json")).find("\"tag\": \"a\""), std::string::npos);
  EXPECT_NE(read(dir_ / (stem + "_2.json")).find("\"tag\": \"b\""), std::string::npos);
  EXPECT_EQ(console.str(), "  [DOM snapshot saved \u2192 " + (dir_ / (stem + ".json")).string() + "]\n" +
                               "  [DOM snapshot saved \u2192 " + (dir_ / (stem + "_2.json")).string() + "]\n" +
                               "  [DOM snapshot saved \u2192 " + (dir_ / (stem + "_3.json")).string() + "]\n");
}

TEST_F(SnapshotTest, AFailedWriteLeavesNoFileAndPrintsNothing) {
  settings::SAVE_SNAPSHOTS = true;
  FakePage page;
  page.add({.tag = "button", .text = std::string(100000, 'x')});

  // The log path is a file: the directory cannot be made.
  const fs::path blocker = dir_ / "blocker";
  std::ofstream(blocker) << "not a directory";
  settings::LOG_PATH = (blocker / "logs").string();
  std::ostringstream console;
  EXPECT_THROW(PageScanner(page, console).extract_interactable_elements(), fs::filesystem_error);
  EXPECT_EQ(console.str(), "");

  // The disk fills up in the middle of the document.
  const fs::path logs = dir_ / "logs";
  settings::LOG_PATH = logs.string();
  fs::create_directories(logs);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(PageScanner(page, console).extract_interactable_elements(), fs::filesystem_error);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_handler);
  EXPECT_THAT(files_in(logs), IsEmpty());
  EXPECT_EQ(console.str(), "");

  // Settings are read at each use: the same scanner succeeds once the path is usable.
  PageScanner scanner(page, console);
  scanner.extract_interactable_elements();
  EXPECT_EQ(files_in(logs).size(), 1u);
  EXPECT_NE(console.str(), "");
}

TEST_F(SnapshotTest, ACallerThatAsksGetsTheFailedWriteAndTheScanStillReturnsItsLists) {
  settings::SAVE_SNAPSHOTS = true;
  const fs::path blocker = dir_ / "blocker";
  std::ofstream(blocker) << "not a directory";
  settings::LOG_PATH = blocker.string();
  FakePage page;
  page.add({.tag = "button", .text = "Go"});
  std::ostringstream console;
  PageScanner scanner(page, console);
  std::vector<std::string> failed;
  scanner.on_snapshot_failure = [&failed](const files::WriteError& e) { failed.push_back(e.path1().string()); };
  const auto [elements, text_elements] = scanner.extract_interactable_elements();
  EXPECT_EQ(elements.size(), 1u);
  EXPECT_THAT(failed, ElementsAre(blocker.string()));
  EXPECT_EQ(console.str(), "");

  // Only the file's failure is handed over: a page that cannot be read still ends the scan.
  page.fail("url");
  EXPECT_THROW(scanner.extract_interactable_elements(), PageError);
  EXPECT_EQ(failed.size(), 1u);
}

}  // namespace
}  // namespace quillfen
