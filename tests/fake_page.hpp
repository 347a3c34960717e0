// An in-memory page for tests of code that reads pages through Page/ElementHandle.
//
// A test describes a small element tree, a few lines per element, and the fake answers
// every request from that description: selector groups made of tags, #id and attribute
// tests ([a], [a="v"], [a*='v']), the page scanner's scripts (recognised by their text,
// computed from the tree), attributes, boxes, visibility. Failures can be injected per
// element and per request, and every request is logged in order, so a test can assert
// exactly which requests were made:
//
//   FakePage page;
//   const auto form = page.add({.tag = "form"});
//   page.add({.tag = "span", .text = "Name"}, form);
//   page.add({.name = "name", .tag = "input", .attributes = {{"id", "n"}},
//             .fails = {"get_attribute title"}}, form);
//   ... scan ...
//   EXPECT_THAT(page.requests_of("name"), ElementsAre("is_visible", "is_enabled", ...));
#pragma once

#include "engine/browser/page.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen::fake {

class Handle;

inline BoundingBox box(double x, double y, double width, double height) {
  return BoundingBox{x, y, width, height, false};
}

// One element. Only what a test cares about needs saying.
struct Node {
  // How the element appears in the request log; "<tag>#<id>" when empty.
  std::string name{};
  std::string tag = "div";
  // The element's own text: one text node placed before its child elements.
  std::string text{};
  // In the element's own attribute order.
  std::vector<std::pair<std::string, std::string>> attributes{};
  // None: the element has no box.
  std::optional<BoundingBox> box = BoundingBox{0, 0, 100, 20, false};
  // This element's own verdicts; not inherited by children.
  bool visible = true;
  bool enabled = true;
  // Computed cursor; "" inherits the parent's, as CSS does.
  std::string cursor{};
  // Rendered text when it differs from the default: the non-empty trimmed own text
  // and children's rendered texts joined with one blank.
  std::optional<std::string> inner_text{};
  // Requests on this element that fail with PageError: an operation ("bounding_box")
  // fails whatever its argument, "operation argument" ("get_attribute title",
  // "evaluate _XPATH_JS") only with that argument. The error is about the element
  // itself unless a prefix "dialog:", "timeout:", "slow:" or "gone:" gives it that kind.
  std::vector<std::string> fails{};
};

class FakePage : public Page {
 public:
  using Id = int;
  static constexpr Id html = 0;
  static constexpr Id body = 1;

  // A document holding <html><body></body></html>, each with a large visible box.
  FakePage();

  // Appends an element as the last child of `parent` and returns its id.
  Id add(Node node, Id parent = body);
  const Node& node(Id id) const;

  // A page request that fails with PageError, as for Node::fails: "url",
  // "query_selector_all INTERACTABLE_SELECTOR", "query_selector #hint",
  // "evaluate _CURSOR_POINTER_JS".
  void fail(std::string request);

  // The page address.
  std::string address = "https://shop.test/cart";
  // Replaces the computed answer of the pointer script (for malformed answers).
  std::optional<Json> pointer_result;

  // Every request in order, as "page: operation argument" or "name: operation
  // argument". Selectors and scripts of the page scanner appear under their constant
  // names, other selectors as written.
  const std::vector<std::string>& requests() const { return requests_; }
  // The requests made of one element, without the "name: " prefix.
  std::vector<std::string> requests_of(std::string_view name) const;
  void clear_requests() { requests_.clear(); }

  std::vector<ElementHandlePtr> query_selector_all(const std::string& selector) override;
  ElementHandlePtr query_selector(const std::string& selector) override;
  Json evaluate(const std::string& script) override;
  std::string url() override;

  // What the page would answer, without logging: used by the handles.
  std::string name_of(Id id) const;
  std::string text_content(Id id) const;
  std::string rendered_text(Id id) const;
  std::string xpath(Id id) const;
  std::optional<std::string> attribute(Id id, std::string_view name) const;
  // Logs the request and throws PageError when it is set to fail.
  void request(Id id, std::string_view operation, std::string_view argument = {});

 private:
  friend class Handle;

  struct Entry {
    Node node;
    Id parent;
    std::vector<Id> children;
  };

  std::vector<Id> document_order() const;
  std::vector<Id> matching(const std::string& selector) const;
  Json answer_script(Id id, std::string_view script_name) const;
  Json pointer_items() const;
  std::string effective_cursor(Id id) const;
  int descendants(Id id) const;
  std::optional<PageError::Kind> fails(const std::vector<std::string>& failures, std::string_view operation,
                                       std::string_view argument) const;

  std::vector<Entry> entries_;
  std::vector<std::string> page_fails_;
  std::vector<std::string> requests_;
};

}  // namespace quillfen::fake
