#include "runner/page_checks.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <array>
#include <optional>

namespace quillfen::runner {

namespace {

constexpr std::size_t DESCRIBED_TEXT_LIMIT = 40;

constexpr std::array<std::string_view, 4> kNegations{"verify_not_visible", "verify_not_present",
                                                     "verify_text_not_visible", "verify_text_not_present"};

// The text with every run of blanks made one blank, and none at either end.
std::string collapsed(std::string_view s) { return text::join(text::split_ws(s), " "); }

bool same_text(const ElementRecord& a, const ElementRecord& b) {
  return text::lower(collapsed(a.text)) == text::lower(collapsed(b.text));
}

// The found element, or a visible record with the same text among the candidates that
// the deciding strategy weighed: the first of them that is visible, if any.
Element visible_one(const ChainAnswer& answer) {
  const Element& found = answer.result.element;
  if (found->is_visible) return found;
  for (const Element& candidate : answer.result.candidates) {
    if (candidate && candidate->is_visible && same_text(*candidate, *found)) return candidate;
  }
  return nullptr;
}

// The bytes of %XX escapes decoded; anything else as it is.
std::string percent_decoded(std::string_view s) {
  const auto hex = [](char c) -> std::optional<int> {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const auto high = hex(s[i + 1]);
      const auto low = hex(s[i + 2]);
      if (high && low) {
        out += static_cast<char>(*high * 16 + *low);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool equal_bounding(const std::optional<BoundingBox>& a, const std::optional<BoundingBox>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->x == b->x && a->y == b->y && a->width == b->width && a->height == b->height);
}

bool same_record(const ElementRecord& a, const ElementRecord& b) {
  return a.tag == b.tag && a.text == b.text && a.xpath == b.xpath && a.is_visible == b.is_visible &&
         a.is_enabled == b.is_enabled && a.attributes == b.attributes && equal_bounding(a.bounding_box, b.bounding_box);
}

Judgement element_negation(const ParsedInstruction& parsed, const ChainAnswer& answer, const Element& shown_text) {
  const bool not_present = parsed.action == "verify_not_present";
  Judgement judgement;
  // Text found as itself (by the relaxed level) is told as text, as when no element check
  // found it.
  const bool found_as_text = shown_text && answer.found() && answer.result.element == shown_text;
  if (answer.found() && answer.result.element && !found_as_text) {
    const Element& found = answer.result.element;
    const Element visible = visible_one(answer);
    judgement.element = visible ? visible : found;
    judgement.state = Json{{"present", true}, {"visible", visible != nullptr}};
    if (not_present) {
      judgement.reason = describe(*found) + " is on the page" + (found->is_visible ? "" : ", hidden");
    } else if (visible) {
      judgement.reason = describe(*visible) + " is visible";
    } else {
      judgement.holds = true;
    }
    return judgement;
  }
  if (shown_text) {
    judgement.element = shown_text;
    judgement.state = Json{{"present", true}, {"visible", true}};
    judgement.reason = "the text " + text::quoted(parsed.target.value_or("")) + " is " +
                       (not_present ? "on the page" : "visible") + " in " + describe(*shown_text);
    return judgement;
  }
  judgement.holds = true;
  judgement.state = Json{{"present", false}};
  return judgement;
}

Judgement text_negation(const ParsedInstruction& parsed, const ChainAnswer& answer) {
  const bool not_present = parsed.action == "verify_text_not_present";
  const std::string expected = text::quoted(parsed.target.value_or(""));
  Judgement judgement;
  if (!answer.found() || !answer.result.element) {
    judgement.holds = true;
    judgement.state = Json{{"present", false}};
    return judgement;
  }
  const Element& found = answer.result.element;
  const Element visible = visible_one(answer);
  judgement.element = visible ? visible : found;
  judgement.state = Json{{"present", true}, {"visible", visible != nullptr}};
  if (not_present) {
    judgement.reason = "the text " + expected + " is on the page in " + describe(*found);
  } else if (visible) {
    judgement.reason = "the text " + expected + " is visible in " + describe(*visible);
  } else {
    judgement.holds = true;
  }
  return judgement;
}

}  // namespace

bool is_negation(std::string_view action) {
  return std::find(kNegations.begin(), kNegations.end(), action) != kNegations.end();
}

Judgement judge_negation(const ParsedInstruction& parsed, const ChainAnswer& answer, const Element& shown_text) {
  if (parsed.action == "verify_text_not_visible" || parsed.action == "verify_text_not_present") {
    return text_negation(parsed, answer);
  }
  return element_negation(parsed, answer, shown_text);
}

Element shown_text(const Elements& text_elements, std::string_view target) {
  const std::string wanted = text::lower(collapsed(target));
  if (wanted.empty()) return nullptr;
  for (const Element& record : text_elements) {
    if (record && record->is_visible && text::lower(collapsed(record->text)) == wanted) return record;
  }
  return nullptr;
}

Judgement judge_page(const ParsedInstruction& parsed, const std::string& actual) {
  const std::string expected = parsed.value.value_or("");
  Judgement judgement;
  judgement.state = Json{{"expected", expected}, {"actual", actual}};
  if (parsed.action == "verify_url_contains") {
    judgement.holds = actual.find(expected) != std::string::npos ||
                      percent_decoded(actual).find(expected) != std::string::npos;
    if (!judgement.holds) judgement.reason = "the address " + actual + " does not contain " + text::quoted(expected);
    return judgement;
  }
  const std::string title = text::lower(collapsed(actual));
  const std::string wanted = text::lower(collapsed(expected));
  if (parsed.action == "verify_title") {
    judgement.holds = title == wanted;
    if (!judgement.holds) judgement.reason = "the title is " + text::quoted(actual) + ", not " + text::quoted(expected);
  } else {
    judgement.holds = title.find(wanted) != std::string::npos;
    if (!judgement.holds) {
      judgement.reason = "the title " + text::quoted(actual) + " does not contain " + text::quoted(expected);
    }
  }
  return judgement;
}

std::string describe(const ElementRecord& element) {
  const std::string id = element.attributes.get("id");
  // An icon button is named by its aria-label.
  const std::string shown = collapsed(element.text.empty() ? element.attributes.get("aria-label") : element.text);
  std::string out = "<" + element.tag + (id.empty() ? "" : "#" + id) + ">";
  if (shown.empty()) return out;
  const std::string cut = text::prefix(shown, DESCRIBED_TEXT_LIMIT);
  return out + " " + text::quoted(cut.size() < shown.size() ? cut + "..." : cut);
}

bool same_records(const Elements& a, const Elements& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Element& x, const Element& y) {
    return x == y || (x && y && same_record(*x, *y));
  });
}

}  // namespace quillfen::runner
