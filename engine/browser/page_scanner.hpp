// Reads the live page into element records: the interactable elements (native controls,
// custom editable fields, pointer-styled clickables), each with its field or spatial
// label, and the page's text elements; optionally leaves a snapshot file of what it saw.
//
// The scanner only reads the page. Every page request is a blocking call made in a
// fixed order; reads of one element are guarded so that a failing element is dropped
// and the scan goes on, while a failing initial query ends the scan with its PageError.
#pragma once

#include "engine/browser/page.hpp"
#include "engine/core/file_writer.hpp"
#include "engine/core/records.hpp"

#include <array>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen {

// Tags that are interactable by themselves, in selector order.
inline constexpr std::array<std::string_view, 5> _NATIVE_TAGS = {
    "button", "input", "a", "select", "textarea"};
// Roles that make any element interactable, in selector order.
inline constexpr std::array<std::string_view, 13> _ARIA_ROLES = {
    "button", "link", "textbox", "checkbox", "menuitem", "menuitemcheckbox", "menuitemradio",
    "option", "combobox", "searchbox", "spinbutton", "switch", "tab"};
// Attributes read into a record, in this order, when the element has them.
inline constexpr std::array<std::string_view, 13> CAPTURED_ATTRIBUTES = {
    "id", "name", "type", "placeholder", "aria-label", "aria-labelledby", "title",
    "role", "href", "value", "class", "data-testid", "alt"};
// Tags that carry readable text, in selector order.
inline constexpr std::array<std::string_view, 15> _TEXT_TAGS = {
    "h1", "h2", "h3", "h4", "h5", "h6", "p", "span", "label", "li", "td", "th", "a", "button", "div"};

// The native tags, each role as [role="..."], then img[alt], img[data-testid] and
// [data-testid], joined with ", " into one selector group.
extern const std::string INTERACTABLE_SELECTOR;
// The text tags joined with ", ".
extern const std::string TEXT_SELECTOR;
// Non-native editable fields, recognised by their class names.
extern const std::string _CUSTOM_INPUT_SELECTOR;
// Short texts that may name an element below them.
extern const std::string _LABEL_CANDIDATE_SELECTOR;

// Page-side scripts. Those for element handles are functions of the element; the
// pointer script is a function without parameters run on the page.
extern const std::string _TAG_NAME_JS;               // lower-case tag name
extern const std::string _DATA_ATTRIBUTES_JS;        // map of the data-* attributes
extern const std::string _DIRECT_TEXT_JS;            // has a non-blank text node child
extern const std::string _XPATH_JS;                  // /html[1]/body[1]/div[2]/a[1]
extern const std::string _PREVIOUS_SIBLING_LABEL_JS; // short text of an earlier sibling
extern const std::string _PARENT_CHILDREN_LABEL_JS;  // short text of an earlier child of the parent
extern const std::string _CURSOR_POINTER_JS;         // items of the pointer-styled clickables

// A short single-line text that can label the elements below it.
struct LabelCandidate {
  std::string text;
  BoundingBox bounding_box;
};
using LabelCandidates = std::vector<LabelCandidate>;

// A non-native element looks like an editable field when its class names mention
// "editable" or "input" (case-insensitive); native fields never count.
bool _is_custom_input(std::string_view tag, std::string_view classes);

class PageScanner {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // Makes no page request. Snapshot notices go to `console`; `now` gives the time that
  // names snapshot files.
  explicit PageScanner(Page& page, std::ostream& console = default_console(),
                       Clock now = std::chrono::system_clock::now);

  // The interactable records (native, then custom inputs, then pointer elements, each
  // labelled) and the text records; writes a snapshot when settings ask for one.
  std::pair<Elements, Elements> extract_interactable_elements();
  // Visible text-bearing elements, without containers that only repeat a smaller
  // element's text.
  Elements extract_text_elements();

  // The words that name an input-like field, trimmed; "" when nothing names it.
  std::string _get_field_label(ElementHandle& handle);
  Elements _extract_custom_inputs();
  Elements _extract_cursor_pointer_elements();
  // Visible short single-line texts, each distinct text once, in document order.
  LabelCandidates _collect_label_candidates();
  // Gives each record without a label the nearest candidate text wholly above it that
  // overlaps or touches it horizontally. Makes no page request.
  static void _assign_spatial_labels(const Elements& elements, const LabelCandidates& label_candidates);
  // Writes both lists and the page address to a new JSON file in settings::LOG_PATH and
  // prints its path, when settings::SAVE_SNAPSHOTS is on. Throws files::WriteError when
  // the file cannot be written.
  void _save_snapshot(const Elements& elements, const Elements& text_elements);
  // Keeps the records with text of their own, and the others unless a smaller
  // overlapping record's text is part of theirs. Same record objects, candidate order.
  static Elements _dedup_text_elements(const Elements& candidates);

  Page& page;
  // When set, a snapshot file that cannot be written is handed to it and the scan
  // returns its lists; when empty, the failure ends the scan.
  std::function<void(const files::WriteError&)> on_snapshot_failure;
  // Members of the caller's own, written into a saved snapshot after the records, in
  // this order; the scan itself never reads them.
  Json extra_snapshot_members = Json::object();

 private:
  static std::ostream& default_console();

  std::ostream& console_;
  Clock now_;
};

}  // namespace quillfen
