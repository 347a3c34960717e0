// Directional text: 'verify text next to "Total" is $29.00' and 'extract text below
// "Total"' name a piece of text by where it lies relative to an anchor text.
#include "engine/strategies/lexical_tier.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillfen {

namespace lexical_tier {

namespace {

// Steps of a positional path, as a plain split on "/" gives them: empty steps inside
// ('a//b') count, and an empty path is one empty step.
std::vector<std::string_view> path_steps(std::string_view path) {
  const auto first = path.find_first_not_of('/');
  if (first == std::string_view::npos) return {std::string_view{}};
  path = path.substr(first, path.find_last_not_of('/') - first + 1);
  std::vector<std::string_view> steps;
  while (true) {
    const auto slash = path.find('/');
    steps.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return steps;
}

}  // namespace

int _dom_distance(std::string_view xpath_a, std::string_view xpath_b) {
  const auto a = path_steps(xpath_a);
  const auto b = path_steps(xpath_b);
  const auto common = static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  return static_cast<int>((a.size() - common) + (b.size() - common));
}

namespace {

// Lower-cased, without currency signs and thousands separators, trimmed.
std::string normalise_amount(std::string_view s) {
  std::string out = text::lower(s);
  for (const std::string_view sign : {"$", "£", "€", ","}) out = text::replace_all(out, sign, "");
  return text::trim(out);
}

}  // namespace

// Containment either way, so '29' verifies '$29.00' and '29.00 USD' verifies '$29.00'.
// An empty side verifies nothing: a cell holding only '€' must not pass every check.
bool _amounts_agree(std::string_view expected, std::string_view actual) {
  const std::string e = normalise_amount(expected);
  const std::string a = normalise_amount(actual);
  if (e.empty() || a.empty()) return false;
  return a.find(e) != std::string::npos || e.find(a) != std::string::npos;
}

}  // namespace lexical_tier

namespace {

using namespace lexical_tier;

// Longer phrases first, so that a longer phrase is never shadowed by a shorter one that
// it begins with; equal lengths keep table order.
constexpr std::array<DirectionPhrase, _DIRECTIONS.size()> longest_first(
    std::array<DirectionPhrase, _DIRECTIONS.size()> table) {
  for (std::size_t i = 1; i < table.size(); ++i) {
    for (std::size_t j = i; j > 0 && table[j - 1].phrase.size() < table[j].phrase.size(); --j) {
      std::swap(table[j - 1], table[j]);
    }
  }
  return table;
}

constexpr auto kDirectionsTried = longest_first(_DIRECTIONS);

constexpr std::array<std::u32string_view, 3> kArticles{U"the ", U"a ", U"an "};

struct Box {
  double x;
  double x2;
  double y;
  double y2;
  double cx;
  double cy;
};

Box box_of(const BoundingBox& b) {
  const double x2 = b.x + b.width;
  const double y2 = b.y + b.height;
  return {b.x, x2, b.y, y2, (b.x + x2) / 2, (b.y + y2) / 2};
}

bool is_text_only_tag(std::string_view tag) {
  return std::find(_TEXT_ONLY_TAGS.begin(), _TEXT_ONLY_TAGS.end(), tag) != _TEXT_ONLY_TAGS.end();
}

bool placed(const ElementRecord& e) { return !e.xpath.empty() && e.bounding_box.has_value(); }

std::string first_line_key(std::string_view text) {
  const std::string whole = text::lower(text::trim(text));
  return text::trim(std::string_view(whole).substr(0, whole.find('\n')));
}

// The distance of a candidate from the anchor along the direction's axis, when its
// centre lies in the direction, inside the band of the anchor's edges across it.
std::optional<double> distance_in(std::string_view direction, const Box& anchor,
                                  const BoundingBox& candidate) {
  const double cx = candidate.x + candidate.width / 2;
  const double cy = candidate.y + candidate.height / 2;
  const bool in_row = anchor.y <= cy && cy <= anchor.y2;
  const bool in_column = anchor.x <= cx && cx <= anchor.x2;
  if (direction == "right" && cx > anchor.cx && in_row) return std::abs(cx - anchor.cx);
  if (direction == "left" && cx < anchor.cx && in_row) return std::abs(cx - anchor.cx);
  if (direction == "below" && cy > anchor.cy && in_column) return std::abs(cy - anchor.cy);
  if (direction == "above" && cy < anchor.cy && in_column) return std::abs(cy - anchor.cy);
  return std::nullopt;
}

struct DirectionalSearch {
  enum class Outcome { no_direction, no_anchor, nothing_in_direction, found };
  Outcome outcome = Outcome::no_direction;
  std::string_view direction;
  std::string anchor_text;  // as written, articles removed
  Element anchor;
  Elements nearest_first;
};

// Reads the direction and the anchor text off the front of the target.
bool read_target(std::string_view target, DirectionalSearch& search) {
  const std::u32string written = text::decode(target);
  const std::u32string lowered = text::lower(written);
  for (const auto& [phrase, direction] : kDirectionsTried) {
    std::u32string opening = text::decode(phrase);
    opening += U' ';
    if (!text::starts_with(lowered, opening)) continue;
    // Phrases are ASCII and lower-casing keeps code-point positions, so the phrase
    // covers the same number of code points of the target as written.
    std::u32string anchor = text::trim(std::u32string_view(written).substr(phrase.size()));
    for (const auto article : kArticles) {
      if (text::starts_with(text::lower(anchor), article)) anchor.erase(0, article.size());
    }
    search.direction = direction;
    search.anchor_text = text::encode(anchor);
    return !search.anchor_text.empty();
  }
  return false;
}

// Text elements are compared by their first line, interactable ones by their whole text
// and then by aria-label. Only an anchor among the text elements limits the answers to
// its tree neighbourhood.
Elements find_anchors(const std::string& key, const Elements& text_elements,
                      const Elements* dom_elements, bool& from_text) {
  Elements kept;
  for (const auto& e : text_elements) {
    if (placed(*e) && first_line_key(e->text) == key) kept.push_back(e);
  }
  from_text = !kept.empty();
  if (from_text || dom_elements == nullptr) return kept;
  for (const auto& e : *dom_elements) {
    if (placed(*e) && text::lower(text::trim(e->text)) == key) kept.push_back(e);
  }
  if (!kept.empty()) return kept;
  for (const auto& e : *dom_elements) {
    if (placed(*e) && text::lower(text::trim(e->attributes.get("aria-label"))) == key) {
      kept.push_back(e);
    }
  }
  return kept;
}

DirectionalSearch search_direction(std::string_view target, const Elements& text_elements,
                                   const Elements* dom_elements) {
  using Outcome = DirectionalSearch::Outcome;
  DirectionalSearch search;
  if (!read_target(target, search)) return search;

  bool from_text = false;
  const Elements anchors =
      find_anchors(text::lower(search.anchor_text), text_elements, dom_elements, from_text);
  if (anchors.empty()) {
    search.outcome = Outcome::no_anchor;
    return search;
  }
  const auto area = [](const Element& e) { return e->bounding_box->width * e->bounding_box->height; };
  search.anchor = *std::min_element(anchors.begin(), anchors.end(),
                                    [&](const Element& a, const Element& b) { return area(a) < area(b); });
  const Box anchor_box = box_of(*search.anchor->bounding_box);

  std::vector<std::pair<double, Element>> kept;
  for (const auto& e : text_elements) {
    if (e == search.anchor || !is_text_only_tag(e->tag) || !placed(*e)) continue;
    const auto distance = distance_in(search.direction, anchor_box, *e->bounding_box);
    if (!distance) continue;
    if (from_text && _dom_distance(search.anchor->xpath, e->xpath) > _DOM_DISTANCE_THRESHOLD) continue;
    kept.emplace_back(*distance, e);
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [distance, e] : kept) search.nearest_first.push_back(std::move(e));
  search.outcome = search.nearest_first.empty() ? Outcome::nothing_in_direction : Outcome::found;
  return search;
}

}  // namespace

ResolutionResult LexicalTier::_resolve_verify_spatial_text(std::string_view target,
                                                           std::string_view expected,
                                                           const Elements& text_elements,
                                                           const Elements* dom_elements) const {
  using Outcome = DirectionalSearch::Outcome;
  DirectionalSearch search = search_direction(target, text_elements, dom_elements);
  Json state = Json::object();
  state["expected"] = std::string(expected);

  ResolutionResult result = ResolutionResult::not_resolved();
  result.verified = false;
  switch (search.outcome) {
    case Outcome::no_direction:
      break;
    case Outcome::no_anchor:
      state["actual"] = "anchor '" + search.anchor_text + "' not found";
      break;
    case Outcome::nothing_in_direction:
      state["actual"] = "no element " + std::string(search.direction) + " of '" + search.anchor_text + "'";
      result = ResolutionResult::found(std::move(search.anchor), {});
      result.verified = false;
      break;
    case Outcome::found: {
      Element nearest = search.nearest_first.front();
      const std::string actual = text::trim(nearest->text);
      result = ResolutionResult::found(std::move(nearest), std::move(search.nearest_first));
      result.verified = _amounts_agree(expected, actual);
      state["actual"] = actual;
      break;
    }
  }
  result.state = std::move(state);
  return result;
}

ResolutionResult LexicalTier::_resolve_extract_spatial_text(std::string_view target,
                                                            const Elements& text_elements,
                                                            const Elements* dom_elements) const {
  DirectionalSearch search = search_direction(target, text_elements, dom_elements);
  if (search.outcome != DirectionalSearch::Outcome::found) {
    ResolutionResult nothing = ResolutionResult::not_resolved();
    nothing.extracted = "";
    return nothing;
  }
  Element nearest = search.nearest_first.front();
  std::string extracted = text::trim(nearest->text);
  ResolutionResult result = ResolutionResult::found(std::move(nearest), std::move(search.nearest_first));
  result.extracted = std::move(extracted);
  return result;
}

}  // namespace quillfen
