#include "runner/near_misses.hpp"

#include "engine/core/text.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>
#include <vector>

namespace quillfen::runner {
namespace {

// Words that say where or which, not what.
constexpr std::array<std::string_view, 23> IGNORED{
    "the",   "a",   "an",   "on",    "in",    "at",     "into",  "of",     "to",     "next",  "below", "above",
    "under", "near", "left", "right", "first", "second", "third", "fourth", "fifth", "is",    "text"};

// A word shorter than this is only a match when it is the whole of a word it meets.
constexpr std::size_t SHORTEST_PART = 3;

bool is_punctuation(char32_t c) {
  return c < 0x80 && !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) && !text::is_space(c);
}

// Lower-cased words without the punctuation around them.
std::vector<std::u32string> words_of(std::string_view s) {
  std::vector<std::u32string> words;
  for (std::u32string word : text::split_ws(text::lower(text::decode(s)))) {
    while (!word.empty() && is_punctuation(word.front())) word.erase(word.begin());
    while (!word.empty() && is_punctuation(word.back())) word.pop_back();
    if (!word.empty()) words.push_back(std::move(word));
  }
  return words;
}

std::vector<std::u32string> wanted_words(std::string_view wanted) {
  std::vector<std::u32string> words;
  for (std::u32string& word : words_of(wanted)) {
    const std::string plain = text::encode(word);
    if (std::find(IGNORED.begin(), IGNORED.end(), plain) != IGNORED.end()) continue;
    if (std::find(words.begin(), words.end(), word) == words.end()) words.push_back(std::move(word));
  }
  return words;
}

std::vector<std::u32string> surface_words(const ElementRecord& element) {
  std::string surface = element.text + " " + element.attributes.get("_label");
  for (const char* name : {"id", "name", "title", "placeholder", "aria-label", "value"}) {
    surface += " " + element.attributes.get(name);
  }
  return words_of(surface);
}

// Two points for a word the record has, one for a part of one (either way round).
int score(const std::vector<std::u32string>& wanted, const std::vector<std::u32string>& surface) {
  int total = 0;
  for (const std::u32string& word : wanted) {
    int best = 0;
    for (const std::u32string& other : surface) {
      if (other == word) {
        best = 2;
        break;
      }
      const bool part = (word.size() >= SHORTEST_PART && other.find(word) != std::u32string::npos) ||
                        (other.size() >= SHORTEST_PART && word.find(other) != std::u32string::npos);
      if (part) best = 1;
    }
    total += best;
  }
  return total;
}

}  // namespace

Elements near_misses(std::string_view wanted, const Elements& elements, const Elements& texts, std::size_t limit) {
  const auto words = wanted_words(wanted);
  if (words.empty() || limit == 0) return {};
  struct Scored {
    Element element;
    int score;
    std::size_t length;
  };
  std::vector<Scored> scored;
  std::unordered_set<const ElementRecord*> seen;
  for (const Elements* list : {&elements, &texts}) {
    for (const Element& element : *list) {
      if (!element || !seen.insert(element.get()).second) continue;
      const int points = score(words, surface_words(*element));
      if (points > 0) scored.push_back({element, points, text::length(element->text)});
    }
  }
  std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
    if (a.score != b.score) return a.score > b.score;
    return a.length < b.length;
  });
  Elements out;
  for (std::size_t i = 0; i < scored.size() && out.size() < limit; ++i) out.push_back(scored[i].element);
  return out;
}

}  // namespace quillfen::runner
