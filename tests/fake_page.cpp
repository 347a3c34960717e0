#include "tests/fake_page.hpp"

#include "engine/browser/page_scanner.hpp"
#include "engine/core/text.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace quillfen::fake {

namespace {

// The scanner's selectors and scripts, so that the log names them.
const std::vector<std::pair<std::string_view, const std::string*>>& known_texts() {
  static const std::vector<std::pair<std::string_view, const std::string*>> texts = {
      {"INTERACTABLE_SELECTOR", &INTERACTABLE_SELECTOR},
      {"TEXT_SELECTOR", &TEXT_SELECTOR},
      {"_CUSTOM_INPUT_SELECTOR", &_CUSTOM_INPUT_SELECTOR},
      {"_LABEL_CANDIDATE_SELECTOR", &_LABEL_CANDIDATE_SELECTOR},
      {"_TAG_NAME_JS", &_TAG_NAME_JS},
      {"_DATA_ATTRIBUTES_JS", &_DATA_ATTRIBUTES_JS},
      {"_DIRECT_TEXT_JS", &_DIRECT_TEXT_JS},
      {"_XPATH_JS", &_XPATH_JS},
      {"_PREVIOUS_SIBLING_LABEL_JS", &_PREVIOUS_SIBLING_LABEL_JS},
      {"_PARENT_CHILDREN_LABEL_JS", &_PARENT_CHILDREN_LABEL_JS},
      {"_CURSOR_POINTER_JS", &_CURSOR_POINTER_JS},
  };
  return texts;
}

std::string display_name(const std::string& text) {
  for (const auto& [name, known] : known_texts()) {
    if (*known == text) return std::string(name);
  }
  return text;
}

// JavaScript string length: UTF-16 code units.
std::size_t js_length(std::string_view s) {
  std::size_t n = 0;
  for (const char32_t c : text::decode(s)) n += c >= 0x10000 ? 2 : 1;
  return n;
}

// A compound selector such as div[class*='input'] or #user: a tag (or any) and tests.
struct AttributeTest {
  enum class Kind { present, equals, contains } kind;
  std::string name;
  std::string value;
};

struct Compound {
  std::string tag;
  std::vector<AttributeTest> tests;
};

bool ident_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '-' || static_cast<unsigned char>(c) >= 0x80;
}

bool ident_char(char c) { return ident_start(c) || std::isdigit(static_cast<unsigned char>(c)); }

class SelectorParser {
 public:
  explicit SelectorParser(std::string_view s) : s_(s) {}

  std::vector<Compound> group() {
    std::vector<Compound> out;
    for (;;) {
      skip_blanks();
      out.push_back(compound());
      skip_blanks();
      if (at_end()) return out;
      expect(',');
    }
  }

 private:
  Compound compound() {
    Compound c;
    if (!at_end() && s_[pos_] == '*') {
      ++pos_;
    } else if (!at_end() && ident_start(s_[pos_])) {
      c.tag = text::lower(ident());
    }
    while (!at_end() && (s_[pos_] == '#' || s_[pos_] == '[')) {
      if (s_[pos_++] == '#') {
        c.tests.push_back({AttributeTest::Kind::equals, "id", ident()});
        continue;
      }
      AttributeTest t{AttributeTest::Kind::present, ident(), ""};
      if (peek('*')) {
        ++pos_;
        t.kind = AttributeTest::Kind::contains;
        expect('=');
        t.value = value();
      } else if (peek('=')) {
        ++pos_;
        t.kind = AttributeTest::Kind::equals;
        t.value = value();
      }
      expect(']');
      c.tests.push_back(std::move(t));
    }
    if (c.tag.empty() && c.tests.empty() && (pos_ == 0 || s_[pos_ - 1] != '*')) invalid();
    return c;
  }

  // A CSS identifier: it may not begin with a digit, nor with "-" and a digit.
  std::string ident() {
    const std::size_t start = pos_;
    if (at_end() || !ident_start(s_[pos_])) invalid();
    if (s_[pos_] == '-' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1]))) invalid();
    while (!at_end() && ident_char(s_[pos_])) ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }

  std::string value() {
    if (peek('\'') || peek('"')) {
      const char quote = s_[pos_++];
      const std::size_t end = s_.find(quote, pos_);
      if (end == std::string_view::npos) invalid();
      std::string v(s_.substr(pos_, end - pos_));
      pos_ = end + 1;
      return v;
    }
    return ident();
  }

  void skip_blanks() {
    while (!at_end() && s_[pos_] == ' ') ++pos_;
  }
  bool at_end() const { return pos_ >= s_.size(); }
  bool peek(char c) const { return !at_end() && s_[pos_] == c; }
  void expect(char c) {
    if (!peek(c)) invalid();
    ++pos_;
  }
  [[noreturn]] void invalid() const { throw PageError("'" + std::string(s_) + "' is not a valid selector"); }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

class Handle : public ElementHandle {
 public:
  Handle(FakePage& page, FakePage::Id id) : page_(page), id_(id) {}

  bool is_visible() override {
    page_.request(id_, "is_visible");
    return page_.node(id_).visible;
  }
  bool is_enabled() override {
    page_.request(id_, "is_enabled");
    return page_.node(id_).enabled;
  }
  Json evaluate(const std::string& script) override {
    const std::string name = display_name(script);
    page_.request(id_, "evaluate", name);
    return page_.answer_script(id_, name);
  }
  std::string inner_text() override {
    page_.request(id_, "inner_text");
    return page_.rendered_text(id_);
  }
  std::optional<std::string> get_attribute(const std::string& name) override {
    page_.request(id_, "get_attribute", name);
    return page_.attribute(id_, name);
  }
  std::optional<BoundingBox> bounding_box() override {
    page_.request(id_, "bounding_box");
    return page_.node(id_).box;
  }

 private:
  FakePage& page_;
  FakePage::Id id_;
};

FakePage::FakePage() {
  entries_.push_back({Node{.name = "html", .tag = "html", .box = box(0, 0, 1280, 2000)}, -1, {}});
  entries_.push_back({Node{.name = "body", .tag = "body", .box = box(0, 0, 1280, 2000)}, html, {}});
  entries_[html].children.push_back(body);
}

FakePage::Id FakePage::add(Node node, Id parent) {
  if (parent < 0 || parent >= static_cast<Id>(entries_.size())) throw std::out_of_range("no such parent");
  const Id id = static_cast<Id>(entries_.size());
  if (node.name.empty()) node.name = node.tag + "#" + std::to_string(id);
  entries_.push_back({std::move(node), parent, {}});
  entries_[parent].children.push_back(id);
  return id;
}

const Node& FakePage::node(Id id) const { return entries_.at(id).node; }

void FakePage::fail(std::string request) { page_fails_.push_back(std::move(request)); }

std::vector<std::string> FakePage::requests_of(std::string_view name) const {
  const std::string prefix = std::string(name) + ": ";
  std::vector<std::string> out;
  for (const auto& r : requests_) {
    if (r.starts_with(prefix)) out.push_back(r.substr(prefix.size()));
  }
  return out;
}

std::optional<PageError::Kind> FakePage::fails(const std::vector<std::string>& failures, std::string_view operation,
                                               std::string_view argument) const {
  static constexpr std::pair<std::string_view, PageError::Kind> kinds[] = {
      {"dialog:", PageError::Kind::dialog}, {"timeout:", PageError::Kind::timeout}, {"gone:", PageError::Kind::gone},
      {"slow:", PageError::Kind::slow}};
  const std::string with_argument = std::string(operation) + " " + std::string(argument);
  for (std::string_view failure : failures) {
    PageError::Kind kind = PageError::Kind::element;
    for (const auto& [prefix, named] : kinds) {
      if (failure.starts_with(prefix)) {
        failure.remove_prefix(prefix.size());
        kind = named;
      }
    }
    if (failure == operation || failure == with_argument) return kind;
  }
  return std::nullopt;
}

void FakePage::request(Id id, std::string_view operation, std::string_view argument) {
  const std::string who = id < 0 ? "page" : name_of(id);
  std::string line = who + ": " + std::string(operation);
  if (!argument.empty()) line += " " + std::string(argument);
  requests_.push_back(line);
  if (const auto kind = fails(id < 0 ? page_fails_ : node(id).fails, operation, argument)) {
    throw PageError(line + " failed", *kind);
  }
}

std::vector<ElementHandlePtr> FakePage::query_selector_all(const std::string& selector) {
  request(-1, "query_selector_all", display_name(selector));
  std::vector<ElementHandlePtr> out;
  for (const Id id : matching(selector)) out.push_back(std::make_unique<Handle>(*this, id));
  return out;
}

ElementHandlePtr FakePage::query_selector(const std::string& selector) {
  request(-1, "query_selector", display_name(selector));
  const std::vector<Id> found = matching(selector);
  if (found.empty()) return nullptr;
  return std::make_unique<Handle>(*this, found.front());
}

Json FakePage::evaluate(const std::string& script) {
  const std::string name = display_name(script);
  request(-1, "evaluate", name);
  if (name != "_CURSOR_POINTER_JS") throw PageError("the fake page does not know this script");
  return pointer_result ? *pointer_result : pointer_items();
}

std::string FakePage::url() {
  request(-1, "url");
  return address;
}

std::string FakePage::name_of(Id id) const { return node(id).name; }

std::string FakePage::text_content(Id id) const {
  std::string out = node(id).text;
  for (const Id child : entries_.at(id).children) out += text_content(child);
  return out;
}

std::string FakePage::rendered_text(Id id) const {
  if (node(id).inner_text) return *node(id).inner_text;
  std::vector<std::string> parts;
  if (std::string own = text::trim(node(id).text); !own.empty()) parts.push_back(std::move(own));
  for (const Id child : entries_.at(id).children) {
    if (std::string t = rendered_text(child); !t.empty()) parts.push_back(std::move(t));
  }
  return text::join(parts, " ");
}

std::string FakePage::xpath(Id id) const {
  std::string path;
  for (Id current = id; current >= 0; current = entries_.at(current).parent) {
    const Entry& entry = entries_.at(current);
    int index = 1;
    if (entry.parent >= 0) {
      for (const Id sibling : entries_.at(entry.parent).children) {
        if (sibling == current) break;
        if (text::lower(node(sibling).tag) == text::lower(entry.node.tag)) ++index;
      }
    }
    path = "/" + text::lower(entry.node.tag) + "[" + std::to_string(index) + "]" + path;
  }
  return path;
}

std::optional<std::string> FakePage::attribute(Id id, std::string_view name) const {
  for (const auto& [k, v] : node(id).attributes) {
    if (k == name) return v;
  }
  return std::nullopt;
}

std::vector<FakePage::Id> FakePage::document_order() const {
  std::vector<Id> order;
  std::vector<Id> stack{html};
  while (!stack.empty()) {
    const Id id = stack.back();
    stack.pop_back();
    order.push_back(id);
    const auto& children = entries_.at(id).children;
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return order;
}

std::vector<FakePage::Id> FakePage::matching(const std::string& selector) const {
  const std::vector<Compound> group = SelectorParser(selector).group();
  const auto matches = [&](Id id, const Compound& c) {
    if (!c.tag.empty() && c.tag != text::lower(node(id).tag)) return false;
    return std::all_of(c.tests.begin(), c.tests.end(), [&](const AttributeTest& t) {
      const std::optional<std::string> value = attribute(id, t.name);
      switch (t.kind) {
        case AttributeTest::Kind::present:
          return value.has_value();
        case AttributeTest::Kind::equals:
          return value == t.value;
        case AttributeTest::Kind::contains:
          return value && !t.value.empty() && value->find(t.value) != std::string::npos;
      }
      return false;
    });
  };
  std::vector<Id> out;
  for (const Id id : document_order()) {
    if (std::any_of(group.begin(), group.end(), [&](const Compound& c) { return matches(id, c); })) {
      out.push_back(id);
    }
  }
  return out;
}

Json FakePage::answer_script(Id id, std::string_view script_name) const {
  const auto short_text = [](const std::string& t) { return !t.empty() && js_length(t) < 50; };
  if (script_name == "_TAG_NAME_JS") return text::lower(node(id).tag);
  if (script_name == "_XPATH_JS") return xpath(id);
  if (script_name == "_DIRECT_TEXT_JS") return !text::trim(node(id).text).empty();
  if (script_name == "_DATA_ATTRIBUTES_JS") {
    Json data = Json::object();
    for (const auto& [k, v] : node(id).attributes) {
      if (k.starts_with("data-")) data[k] = v;
    }
    return data;
  }
  const Id parent = entries_.at(id).parent;
  if (script_name == "_PREVIOUS_SIBLING_LABEL_JS") {
    if (parent < 0) return nullptr;
    const auto& siblings = entries_.at(parent).children;
    auto self = std::find(siblings.begin(), siblings.end(), id);
    for (auto it = std::make_reverse_iterator(self); it != siblings.rend(); ++it) {
      if (std::string own = text::trim(node(*it).text); short_text(own)) return own;
      const auto& children = entries_.at(*it).children;
      if (children.empty()) continue;
      if (std::string first = text::trim(text_content(children.front())); short_text(first)) return first;
    }
    return nullptr;
  }
  if (script_name == "_PARENT_CHILDREN_LABEL_JS") {
    if (parent < 0) return nullptr;
    for (const Id child : entries_.at(parent).children) {
      if (child == id) break;
      if (std::string t = text::trim(text_content(child)); short_text(t)) return t;
    }
    return nullptr;
  }
  throw PageError("the fake page does not know this script");
}

std::string FakePage::effective_cursor(Id id) const {
  for (Id current = id; current >= 0; current = entries_.at(current).parent) {
    if (!node(current).cursor.empty()) return node(current).cursor;
  }
  return "auto";
}

int FakePage::descendants(Id id) const {
  int n = 0;
  for (const Id child : entries_.at(id).children) n += 1 + descendants(child);
  return n;
}

Json FakePage::pointer_items() const {
  const auto round = [](double v) { return static_cast<std::int64_t>(std::floor(v + 0.5)); };
  Json items = Json::array();
  for (const Id id : document_order()) {
    const std::string tag = text::lower(node(id).tag);
    if (tag != "div" && tag != "span" && tag != "li" && tag != "td") continue;
    if (effective_cursor(id) != "pointer") continue;
    const std::string t = text::trim(rendered_text(id));
    if (t.empty() || js_length(t) > 60 || descendants(id) > 10) continue;
    const auto& b = node(id).box;
    if (!b || b->width <= 0 || b->height <= 0) continue;
    Json item = Json::object();
    item["tag"] = tag;
    item["text"] = t;
    item["xpath"] = xpath(id);
    item["x"] = round(b->x);
    item["y"] = round(b->y);
    item["w"] = round(b->width);
    item["h"] = round(b->height);
    item["cls"] = attribute(id, "class").value_or("");
    item["aria"] = attribute(id, "aria-label").value_or("");
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace quillfen::fake
