// What a person would look at when a step found nothing: the elements and texts of the
// page whose words come closest to the words the step names. Only said to the user;
// never used to pick an element or to judge a check.
#pragma once

#include "engine/core/records.hpp"

#include <cstddef>
#include <string_view>

namespace quillfen::runner {

// The records (interactable elements first, then texts) that share a word, or part of
// one, with `wanted`, most shared first, then the shorter, then in page order; at most
// `limit`. A word is compared with the record's text, label, and its id, name, title,
// placeholder, aria-label and value attributes, case ignored. Words of place and order
// ("next", "to", "below", "first") and short words count for nothing.
Elements near_misses(std::string_view wanted, const Elements& elements, const Elements& texts, std::size_t limit);

}  // namespace quillfen::runner
