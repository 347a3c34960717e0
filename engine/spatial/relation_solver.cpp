#include "engine/spatial/relation_solver.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <cmath>
#include <compare>
#include <initializer_list>

namespace quillfen {

namespace relation_solver {

namespace {

using Keyword = std::pair<std::string_view, std::string_view>;

// Longer keywords first, so that "right of" wins over "below" in "button below Total
// right of Price"; keywords of equal length keep their table order.
constexpr std::array<Keyword, _RELATIONS.size()> by_length(std::array<Keyword, _RELATIONS.size()> table) {
  for (std::size_t i = 1; i < table.size(); ++i) {
    for (std::size_t j = i; j > 0 && table[j].first.size() > table[j - 1].first.size(); --j) {
      std::swap(table[j], table[j - 1]);
    }
  }
  return table;
}

constexpr auto kRelationsLongestFirst = by_length(_RELATIONS);

constexpr std::array<std::string_view, 3> kArticles{"the", "a", "an"};

bool has_word(const std::vector<std::string>& words, std::string_view word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

bool is_article(std::string_view word) {
  return std::find(kArticles.begin(), kArticles.end(), word) != kArticles.end();
}

// The words that are not in `skip`, joined by single blanks; none when nothing is left.
std::optional<std::string> join_except(const std::vector<std::string>& words,
                                       const std::vector<std::string_view>& skip, bool drop_articles) {
  std::vector<std::string> kept;
  for (const auto& w : words) {
    if (std::find(skip.begin(), skip.end(), w) != skip.end()) continue;
    if (drop_articles && is_article(w)) continue;
    kept.push_back(w);
  }
  if (kept.empty()) return std::nullopt;
  return text::join(kept, " ");
}

}  // namespace

std::string _normalize(std::string_view text) {
  std::string out = text::lower(text);
  std::erase_if(out, [](char c) { return c == ' ' || c == '-'; });
  return out;
}

ParsedTarget _parse_target(std::string_view target) {
  const std::string t = text::lower(target);
  const std::vector<std::string> words = text::split_ws(t);
  ParsedTarget parsed;

  std::optional<std::string_view> rel_keyword;
  for (const auto& [keyword, relation] : kRelationsLongestFirst) {
    if (t.find(keyword) != std::string::npos) {
      rel_keyword = keyword;
      parsed.relation = std::string(relation);
      break;
    }
  }

  std::optional<std::string_view> ordinal_word;
  for (const auto& [word, number] : _ORDINALS) {
    if (has_word(words, word)) {
      ordinal_word = word;
      parsed.ordinal = number;
      break;
    }
  }

  std::optional<std::string_view> type_word;
  for (const auto& [word, type] : _TYPE_KEYWORDS) {
    if (has_word(words, word)) {
      type_word = word;
      parsed.type_filter = std::string(type);
      break;
    }
  }

  std::vector<std::string_view> skip;
  if (type_word) skip.push_back(*type_word);
  if (ordinal_word) skip.push_back(*ordinal_word);

  if (rel_keyword) {
    const std::size_t at = t.find(*rel_keyword);
    std::string anchor = text::trim(std::string_view(t).substr(at + rel_keyword->size()));
    for (const std::string_view article : kArticles) {
      if (anchor.size() > article.size() && anchor.compare(0, article.size(), article) == 0 &&
          anchor[article.size()] == ' ') {
        anchor.erase(0, article.size() + 1);
      }
    }
    parsed.anchor = text::trim(anchor);
    parsed.target_text = join_except(text::split_ws(std::string_view(t).substr(0, at)), skip, false);
  }

  if (parsed.ordinal && (!parsed.anchor || parsed.anchor->empty())) {
    std::vector<std::string> keyword_words;
    if (rel_keyword) keyword_words = text::split_ws(*rel_keyword);
    for (const auto& w : keyword_words) skip.push_back(w);
    parsed.search_text = join_except(words, skip, true);
  }
  return parsed;
}

bool _overlaps_vertically(const MatrixEntry& a, const MatrixEntry& b) {
  const Position& p = a.position;
  const Position& q = b.position;
  return p.y - SPATIAL_TOLERANCE < q.y2 && q.y - SPATIAL_TOLERANCE < p.y2;
}

bool _overlaps_horizontally(const MatrixEntry& a, const MatrixEntry& b) {
  const Position& p = a.position;
  const Position& q = b.position;
  return p.x - SPATIAL_TOLERANCE < q.x2 && q.x - SPATIAL_TOLERANCE < p.x2;
}

double _centre_distance(const MatrixEntry& a, const MatrixEntry& b) {
  const double dx = a.position.cx - b.position.cx;
  const double dy = a.position.cy - b.position.cy;
  return std::sqrt(dx * dx + dy * dy);
}

int _dom_distance(std::string_view xpath_a, std::string_view xpath_b) {
  const auto steps = [](std::string_view path) {
    const auto first = path.find_first_not_of('/');
    path = first == std::string_view::npos ? std::string_view() : path.substr(first, path.find_last_not_of('/') - first + 1);
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', start)) {
      out.push_back(path.substr(start, slash - start));
      start = slash + 1;
    }
    out.push_back(path.substr(start));
    return out;
  };
  const auto a = steps(xpath_a);
  const auto b = steps(xpath_b);
  std::size_t common = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (a[i] == b[i]) ++common;
  }
  return static_cast<int>(a.size() - common + b.size() - common);
}

}  // namespace relation_solver

namespace {

using namespace relation_solver;

// The matching below runs over every entry of the matrix for each target, so the common
// all-ASCII texts are lower-cased and compared in place; any other text goes through
// the Unicode helpers. A mismatch found before the first non-ASCII byte is final, as
// ASCII lower-cases to ASCII at the same byte positions.
char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool is_ascii_byte(char c) { return static_cast<unsigned char>(c) < 0x80; }

// text::lower(s) == lowered.
bool lower_equals(std::string_view s, std::string_view lowered) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!is_ascii_byte(s[i])) return text::lower(s) == lowered;
    if (i >= lowered.size() || ascii_lower(s[i]) != lowered[i]) return false;
  }
  return s.size() == lowered.size();
}

// text::lower(s).starts_with(prefix), `prefix` being lower-case already.
bool lower_starts_with(std::string_view s, std::string_view prefix) {
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (i >= s.size()) return false;
    if (!is_ascii_byte(s[i])) return text::lower(s).starts_with(prefix);
    if (ascii_lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

// _normalize(s) written into `out`, whose buffer is reused from entry to entry.
void normalize_into(std::string_view s, std::string& out) {
  out.clear();
  for (const char c : s) {
    if (!is_ascii_byte(c)) {
      out = _normalize(s);
      return;
    }
    if (c != ' ' && c != '-') out.push_back(ascii_lower(c));
  }
}

bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// text::lower(text::trim(s)) == lowered.
bool trimmed_lower_equals(std::string_view s, std::string_view lowered) {
  while (!s.empty() && is_ascii_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_ascii_space(s.back())) s.remove_suffix(1);
  // A non-ASCII character at either end may be Unicode white space.
  if (!s.empty() && (!is_ascii_byte(s.front()) || !is_ascii_byte(s.back()))) {
    return text::lower(text::trim(s)) == lowered;
  }
  return lower_equals(s, lowered);
}

// Strict "less" over coordinates that stays a total order even for a NaN, which a box
// of infinite size can produce.
bool less(double a, double b) { return std::weak_order(a, b) < 0; }

// Whether one of the anchor attributes (aria-label, _label, placeholder), lower-cased,
// equals `wanted` or starts with it. One walk over the record's attributes.
bool attribute_matches(const MatrixEntry& entry, std::string_view wanted, bool prefix) {
  if (!entry.element) return false;
  for (const auto& [key, value] : entry.element->attributes) {
    if (value.empty() || (key != "aria-label" && key != "_label" && key != "placeholder")) continue;
    if (prefix ? lower_starts_with(value, wanted) : lower_equals(value, wanted)) return true;
  }
  return false;
}

// For the directional relations: whether the entry stands square with the anchor, its
// centre within the anchor's extent or the anchor's centre within its own. In a list of
// rows closer than the tolerance, the row above also overlaps; only the own row is
// aligned.
bool aligned(std::string_view strategy, const Position& e, const Position& a) {
  const auto within = [](double v, double lo, double hi) { return lo <= v && v <= hi; };
  if (strategy == "below" || strategy == "above") {
    return within(e.cx, a.x, a.x2) || within(a.cx, e.x, e.x2);
  }
  return within(e.cy, a.y, a.y2) || within(a.cy, e.y, e.y2);
}

struct Ranked {
  bool aligned;
  double key;
  const MatrixEntry* entry;
};

// The entries whose normalised `searchable` contains `needle`, or all of them when
// none does.
RelationSolver::Entries narrowed(const RelationSolver::Entries& pool, const std::string& needle) {
  RelationSolver::Entries kept;
  std::string normalised;
  for (const MatrixEntry* e : pool) {
    normalize_into(e->searchable, normalised);
    if (normalised.find(needle) != std::string::npos) kept.push_back(e);
  }
  return kept.empty() ? pool : kept;
}

ResolutionResult not_resolved() { return ResolutionResult::not_resolved(); }

constexpr std::array<std::string_view, 4> kOrdinalWords{"second", "third", "fourth", "fifth"};

}  // namespace

RelationSolver::RelationSolver(Matrix matrix) : matrix_(std::move(matrix)) {}

const MatrixEntry* RelationSolver::_find_anchor(std::string_view anchor_text) const {
  const std::string anchor_lower = text::lower(anchor_text);
  Entries text_matches;
  Entries attr_matches;
  // Attribute matches count only when nothing matches by text, so they are no longer
  // collected once a text match has been seen.
  for (const MatrixEntry& e : matrix_) {
    if (lower_equals(e.text, anchor_lower)) {
      text_matches.push_back(&e);
    } else if (text_matches.empty() && attribute_matches(e, anchor_lower, false)) {
      attr_matches.push_back(&e);
    }
  }
  Entries pool = text_matches.empty() ? std::move(attr_matches) : std::move(text_matches);
  const std::string word_prefix = anchor_lower + ' ';
  if (pool.empty()) {
    const std::string call_prefix = anchor_lower + '(';
    for (const MatrixEntry& e : matrix_) {
      if (lower_starts_with(e.text, word_prefix) || lower_starts_with(e.text, call_prefix)) pool.push_back(&e);
    }
  }
  if (pool.empty()) {
    for (const MatrixEntry& e : matrix_) {
      if (attribute_matches(e, word_prefix, true)) pool.push_back(&e);
    }
  }
  if (pool.empty()) return nullptr;

  Entries interactive;
  std::copy_if(pool.begin(), pool.end(), std::back_inserter(interactive),
               [](const MatrixEntry* e) { return !e->is_anchor_only; });
  if (!interactive.empty()) pool = std::move(interactive);

  const MatrixEntry* smallest = pool.front();
  for (const MatrixEntry* e : pool) {
    if (less(e->position.w * e->position.h, smallest->position.w * smallest->position.h)) smallest = e;
  }
  return smallest;
}

RelationSolver::Entries RelationSolver::_rank(const Entries& candidates, const MatrixEntry& anchor,
                                              const std::optional<std::string>& strategy,
                                              std::optional<int> ordinal) const {
  if (!strategy) return {};
  const std::string_view s = *strategy;
  const Position& a = anchor.position;
  std::vector<Ranked> kept;
  for (const MatrixEntry* c : candidates) {
    const Position& e = c->position;
    std::optional<double> key;
    if (s == "next_to") {
      if (_overlaps_vertically(*c, anchor) && e.x >= a.x2) key = c->index;
    } else if (s == "below") {
      if (e.y >= a.y2 && _overlaps_horizontally(*c, anchor)) key = e.y;
    } else if (s == "above") {
      if (e.y2 <= a.y && _overlaps_horizontally(*c, anchor)) key = -e.y2;
    } else if (s == "left") {
      if (e.x2 <= a.x && _overlaps_vertically(*c, anchor)) key = -e.x2;
    } else if (s == "right") {
      if (e.x >= a.x2 && _overlaps_vertically(*c, anchor)) key = e.x;
    } else if (s == "near") {
      const double distance = _centre_distance(*c, anchor);
      if (distance <= NEAR_MAX_PIXELS &&
          _dom_distance(c->element ? c->element->xpath : "", anchor.element ? anchor.element->xpath : "") <=
              NEAR_MAX_DOM_STEPS) {
        key = distance;
      }
    } else {
      return {};
    }
    if (key) kept.push_back({s != "near" && aligned(s, e, a), *key, c});
  }
  std::stable_sort(kept.begin(), kept.end(), [](const Ranked& x, const Ranked& y) {
    if (x.aligned != y.aligned) return x.aligned;
    return less(x.key, y.key);
  });

  if (ordinal && *ordinal != 0) {
    if (*ordinal < 0 || kept.size() < static_cast<std::size_t>(*ordinal)) return {};
    return {kept[static_cast<std::size_t>(*ordinal - 1)].entry};
  }
  Entries ranked;
  for (const Ranked& r : kept) {
    ranked.push_back(r.entry);
    if (s == "next_to") break;
  }
  return ranked;
}

RelationSolver::Entries RelationSolver::_get_candidates(const MatrixEntry& anchor,
                                                       const std::optional<std::string>& type_filter,
                                                       const std::optional<std::string>& target_text) const {
  Entries pool;
  for (const MatrixEntry& e : matrix_) {
    if (e.index == anchor.index || e.is_anchor_only) continue;
    if (type_filter && e.element_type != *type_filter) continue;
    pool.push_back(&e);
  }
  if (!target_text || target_text->empty()) return pool;
  return narrowed(pool, _normalize(*target_text));
}

ResolutionResult RelationSolver::_resolve_ordinal(int ordinal, const std::optional<std::string>& type_filter,
                                                  const std::optional<std::string>& search_text) const {
  Entries pool;
  for (const MatrixEntry& e : matrix_) {
    if (e.is_anchor_only) continue;
    if (type_filter && e.element_type != *type_filter) continue;
    pool.push_back(&e);
  }
  if (search_text && !search_text->empty()) {
    const std::string wanted = text::lower(*search_text);
    Entries exact;
    std::copy_if(pool.begin(), pool.end(), std::back_inserter(exact),
                 [&wanted](const MatrixEntry* e) { return trimmed_lower_equals(e->text, wanted); });
    if (ordinal >= 1 && exact.size() >= static_cast<std::size_t>(ordinal)) {
      pool = std::move(exact);
    } else {
      pool = narrowed(pool, _normalize(*search_text));
    }
  }
  // Ordinals count from 1: a zero or negative one names no entry.
  if (ordinal < 1 || static_cast<std::size_t>(ordinal) > pool.size()) return not_resolved();
  Elements elements;
  for (const MatrixEntry* e : pool) elements.push_back(e->element);
  return ResolutionResult::found(pool[static_cast<std::size_t>(ordinal - 1)]->element, std::move(elements));
}

ResolutionResult RelationSolver::resolve(const ParsedInstruction& parsed_instruction) const {
  const std::string target = parsed_instruction.target.value_or("");
  ParsedTarget parsed = _parse_target(target);
  // The instruction's ordinal was taken off the front of the target; put it back unless
  // the target names its own. An ordinal of 1 is the instruction's default and says
  // nothing.
  const std::optional<int> line_ordinal = parsed_instruction.ordinal;
  if (!parsed.ordinal && line_ordinal && *line_ordinal >= 2 && *line_ordinal <= 5) {
    parsed = _parse_target(std::string(kOrdinalWords[static_cast<std::size_t>(*line_ordinal - 2)]) + " " + target);
  }
  const auto& [anchor, relation, type_filter, ordinal, search_text, target_text] = parsed;

  const bool no_anchor = !anchor || anchor->empty();
  if (no_anchor && !ordinal) return not_resolved();
  if (no_anchor) return _resolve_ordinal(*ordinal, type_filter, search_text);

  const MatrixEntry* anchor_entry = _find_anchor(*anchor);
  if (anchor_entry == nullptr) return not_resolved();

  const Entries pool = _get_candidates(*anchor_entry, type_filter, target_text);
  if (pool.empty()) return not_resolved();
  Entries ranked = _rank(pool, *anchor_entry, relation, ordinal);
  bool type_relaxed = false;
  if (ranked.empty() && type_filter) {
    ranked = _rank(_get_candidates(*anchor_entry, std::nullopt, target_text), *anchor_entry, relation, ordinal);
    type_relaxed = true;
  }
  if (ranked.empty()) return not_resolved();

  const MatrixEntry& best = *ranked.front();
  Elements elements;
  for (const MatrixEntry* e : ranked) elements.push_back(e->element);
  ResolutionResult result = ResolutionResult::found(best.element, std::move(elements));
  result.anchor_text = anchor_entry->searchable;
  result.ordinal = ordinal.value_or(1);
  result.type_relaxed = type_relaxed;
  result.actual_type = type_relaxed ? std::optional<std::string>(best.element_type) : type_filter;
  return result;
}

}  // namespace quillfen
