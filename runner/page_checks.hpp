// Judgements for the checks that are told on one read of the page and need more than the
// chain's verdict: that something is not shown or not there, and what the page's title
// and address say. They are pure: the step loop reads the page, asks again until a check
// holds, and says the reason a judgement gives when the time is up.
//
// A negation is the opposite of its positive check on the same read: `verify X is not
// visible` holds exactly when `verify X is visible` would fail, `is not present` when
// `is present` would. Two things make it stricter, never looser: an element negation also
// fails when the target's text stands on the page as visible text of its own (exactly
// that text), which an element check does not look at; and `is not visible` fails when
// any other record with the same text as the one found is visible, so that a hidden copy
// (a template, a closed menu) never hides a visible one.
#pragma once

#include "engine/core/records.hpp"
#include "runner/chain.hpp"

#include <string>
#include <string_view>

namespace quillfen::runner {

struct Judgement {
  bool holds = false;
  // What the check was told about; none when nothing was found.
  Element element;
  // The observed state, printed under the step.
  Json state = Json::object();
  // Why the check does not hold, in plain words; empty when it holds.
  std::string reason;
};

// Whether an action is one of the negations: verify_not_visible, verify_not_present,
// verify_text_not_visible, verify_text_not_present.
bool is_negation(std::string_view action);

// A negation on one read: `answer` is the chain's answer for the line, `shown_text` a
// visible text record whose text is exactly the target's (none when there is none, and
// always none for the text negations, whose answer already reads the text records).
// When the answer found that very record, it is told as text.
Judgement judge_negation(const ParsedInstruction& parsed, const ChainAnswer& answer, const Element& shown_text);

// A visible text record whose text is exactly the target, without regard to case or to
// runs of blanks; none when there is none.
Element shown_text(const Elements& text_elements, std::string_view target);

// A check of the page itself (verify_title, verify_title_contains, verify_url_contains)
// against the title or address read from the tab. A title is compared without regard to
// case or to runs of blanks; an address must contain the text as written, in the address
// as it is or with its %XX escapes decoded.
Judgement judge_page(const ParsedInstruction& parsed, const std::string& actual);

// An element in plain words, as acts name them: <tag#id> 'text' (or its aria-label).
std::string describe(const ElementRecord& element);

// Whether two reads of a page gave the same records (tag, text, attributes, place,
// visibility, enabled state and path of each, in the same order).
bool same_records(const Elements& a, const Elements& b);

}  // namespace quillfen::runner
