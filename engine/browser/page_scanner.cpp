#include "engine/browser/page_scanner.hpp"

#include "engine/browser/scanner_scripts.hpp"
#include "engine/browser/settings.hpp"
#include "engine/core/file_writer.hpp"
#include "engine/core/text.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <limits>
#include <system_error>
#include <unordered_set>

namespace quillfen {

namespace {

namespace fs = std::filesystem;

template <std::size_t N>
std::string join(const std::array<std::string_view, N>& parts, std::string_view separator) {
  std::string out;
  for (const auto part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

std::string interactable_selector() {
  std::string out = join(_NATIVE_TAGS, ", ");
  for (const auto role : _ARIA_ROLES) {
    out += ", [role=\"";
    out += role;
    out += "\"]";
  }
  out += ", img[alt], img[data-testid], [data-testid]";
  return out;
}

// A value the page returned where a string is needed; anything else is the page
// breaking its contract, which drops the element like any other failed read.
std::string as_string(const Json& value, const char* what) {
  if (!value.is_string()) throw TypeError(std::string(what) + " must be a string");
  return value.get<std::string>();
}

std::string trimmed(const std::optional<std::string>& value) {
  return value ? text::trim(*value) : std::string();
}

bool has_area(const std::optional<BoundingBox>& box) {
  return box && box->width > 0 && box->height > 0;
}

void read_captured_attributes(ElementHandle& handle, AttributeMap& attributes) {
  for (const auto name : CAPTURED_ATTRIBUTES) {
    const std::string key(name);
    if (auto value = handle.get_attribute(key)) attributes.set(key, std::move(*value));
  }
}

void merge_data_attributes(ElementHandle& handle, AttributeMap& attributes) {
  const Json data = handle.evaluate(_DATA_ATTRIBUTES_JS);
  if (!data.is_object()) throw TypeError("the data attributes must be a map");
  for (const auto& [name, value] : data.items()) attributes.set(name, as_string(value, "a data attribute"));
}

std::string tag_of(ElementHandle& handle) { return as_string(handle.evaluate(_TAG_NAME_JS), "the tag name"); }
std::string xpath_of(ElementHandle& handle) { return as_string(handle.evaluate(_XPATH_JS), "the xpath"); }

// Runs reads that concern one element (or one look-up) and gives their result, or an
// empty one when the page answered with an error of its own about that element (gone,
// unreadable, a selector that is not valid CSS, a script that threw) or with an answer
// that breaks its contract. A dialog, a time-out or a lost tab is not about one element:
// no later read could fare better, so it ends the scan.
template <typename Read>
auto for_one_element(Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const PageError& e) {
    if (e.kind() != PageError::Kind::element) throw;
  } catch (const TypeError&) {
  } catch (const Json::exception&) {
  }
  return {};
}

// Trimmed inner text of the first element matching `selector`; "" when there is none
// or when the page fails (a selector built from an id need not be valid CSS).
std::string guarded_text_of(Page& page, const std::string& selector) {
  return for_one_element([&] {
    const ElementHandlePtr found = page.query_selector(selector);
    return found ? text::trim(found->inner_text()) : std::string();
  });
}

std::string guarded_script_text(ElementHandle& handle, const std::string& script) {
  return for_one_element([&] {
    const Json result = handle.evaluate(script);
    return result.is_string() ? text::trim(result.get<std::string>()) : std::string();
  });
}

// One interactable element of the selector group, or none when it is skipped.
std::optional<ElementRecord> read_native(PageScanner& scanner, ElementHandle& handle) {
  ElementRecord record;
  record.is_visible = handle.is_visible();
  record.is_enabled = handle.is_enabled();
  record.tag = tag_of(handle);
  record.text = text::trim(handle.inner_text());
  if (record.text.empty()) record.text = trimmed(handle.get_attribute("value"));
  record.bounding_box = handle.bounding_box();
  if (!has_area(record.bounding_box)) return std::nullopt;
  if (!record.is_visible) {
    // Hidden controls stay only when they carry a name of their own (icon buttons
    // revealed on hover, visually hidden close buttons).
    const std::string aria_label = handle.get_attribute("aria-label").value_or("");
    const std::string title = handle.get_attribute("title").value_or("");
    if (aria_label.empty() && title.empty()) return std::nullopt;
  }
  read_captured_attributes(handle, record.attributes);
  merge_data_attributes(handle, record.attributes);
  record.xpath = xpath_of(handle);
  if (record.tag == "input" || record.tag == "textarea") {
    std::string label = scanner._get_field_label(handle);
    if (!label.empty()) record.attributes.set("_label", std::move(label));
  }
  return record;
}

std::optional<ElementRecord> read_custom_input(PageScanner& scanner, ElementHandle& handle,
                                               std::unordered_set<std::string>& seen) {
  ElementRecord record;
  record.tag = tag_of(handle);
  if (!_is_custom_input(record.tag, handle.get_attribute("class").value_or(""))) return std::nullopt;
  record.bounding_box = handle.bounding_box();
  if (!has_area(record.bounding_box)) return std::nullopt;
  if (!handle.is_visible()) return std::nullopt;
  record.xpath = xpath_of(handle);
  if (!seen.insert(record.xpath).second) return std::nullopt;
  record.text = text::trim(handle.inner_text());
  std::string label = scanner._get_field_label(handle);
  read_captured_attributes(handle, record.attributes);
  if (!label.empty()) record.attributes.set("_label", std::move(label));
  record.is_visible = true;
  record.is_enabled = true;
  record.is_editable_field = true;
  return record;
}

std::optional<ElementRecord> read_text_element(ElementHandle& handle) {
  if (!handle.is_visible()) return std::nullopt;
  ElementRecord record;
  record.text = text::trim(handle.inner_text());
  if (record.text.empty()) return std::nullopt;
  record.bounding_box = handle.bounding_box();
  if (!record.bounding_box) return std::nullopt;
  record.tag = tag_of(handle);
  record.xpath = xpath_of(handle);
  for (const char* name : {"id", "class", "href", "aria-label"}) {
    if (auto value = handle.get_attribute(name)) record.attributes.set(name, std::move(*value));
  }
  merge_data_attributes(handle, record.attributes);
  const Json direct = handle.evaluate(_DIRECT_TEXT_JS);
  if (!direct.is_boolean()) throw TypeError("the direct-text flag must be true or false");
  record.has_direct_text = direct.get<bool>();
  record.is_visible = true;
  record.is_enabled = true;
  return record;
}

double item_number(const Json& item, const char* key) {
  const auto it = item.find(key);
  if (it == item.end() || !it->is_number()) {
    throw TypeError(std::string("pointer item '") + key + "' must be a number");
  }
  return it->get<double>();
}

std::string item_string(const Json& item, const char* key) {
  const auto it = item.find(key);
  if (it == item.end() || it->is_null()) return {};
  return as_string(*it, key);
}

ElementRecord pointer_record(const Json& item) {
  ElementRecord record;
  record.tag = "button";
  const auto text = item.find("text");
  if (text == item.end()) throw TypeError("pointer item 'text' is missing");
  record.text = as_string(*text, "pointer item 'text'");
  if (std::string cls = item_string(item, "cls"); !cls.empty()) record.attributes.set("class", std::move(cls));
  if (std::string aria = item_string(item, "aria"); !aria.empty()) {
    record.attributes.set("aria-label", std::move(aria));
  }
  record.bounding_box = BoundingBox{item_number(item, "x"), item_number(item, "y"), item_number(item, "w"),
                                    item_number(item, "h"), true};
  record.is_visible = true;
  record.is_enabled = true;
  record.xpath = item_string(item, "xpath");
  return record;
}

double _area(const ElementRecord& record) {
  if (!record.bounding_box) throw TypeError("a text element needs a bounding_box");
  return record.bounding_box->width * record.bounding_box->height;
}

// Strict on all four sides: boxes that only share an edge do not overlap.
bool _overlaps(const BoundingBox& a, const BoundingBox& b) {
  return a.x < b.x + b.width && a.x + a.width > b.x && a.y < b.y + b.height && a.y + a.height > b.y;
}

// The records by horizontal band of the page: a record sits in every band that its
// vertical extent touches, so two records whose boxes overlap share a band. Records
// whose extent is not finite sit apart and meet everyone.
class TextBands {
 public:
  explicit TextBands(const Elements& records) : stamps_(records.size(), 0) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    spans_.reserve(records.size());
    for (const Element& record : records) {
      if (!record->bounding_box) throw TypeError("a text element needs a bounding_box");
      const BoundingBox& box = *record->bounding_box;
      const Span span{std::min(box.y, box.y + box.height), std::max(box.y, box.y + box.height)};
      spans_.push_back(span);
      if (span.finite()) {
        low = std::min(low, span.top);
        high = std::max(high, span.bottom);
      }
    }
    if (low <= high) {
      low_ = low;
      band_height_ = std::max(MIN_BAND_HEIGHT, (high - low) / MAX_BANDS);
      bands_.resize(band_of(high) + 1);
    }
    for (std::size_t i = 0; i < spans_.size(); ++i) {
      if (!spans_[i].finite()) {
        everywhere_.push_back(i);
        continue;
      }
      for (std::size_t band = band_of(spans_[i].top); band <= band_of(spans_[i].bottom); ++band) {
        bands_[band].push_back(i);
      }
    }
  }

  // Whether `test` holds for a record other than `of` that may overlap it, trying each
  // such record once, in list order within a band.
  template <typename Test>
  bool any_overlapping(std::size_t of, Test&& test) {
    const auto visit = [&](std::size_t other) {
      if (other == of || stamps_[other] == of + 1) return false;
      stamps_[other] = of + 1;
      return test(other);
    };
    if (!spans_[of].finite()) {
      for (std::size_t other = 0; other < spans_.size(); ++other) {
        if (visit(other)) return true;
      }
      return false;
    }
    for (std::size_t band = band_of(spans_[of].top); band <= band_of(spans_[of].bottom); ++band) {
      for (const std::size_t other : bands_[band]) {
        if (visit(other)) return true;
      }
    }
    return std::any_of(everywhere_.begin(), everywhere_.end(), visit);
  }

 private:
  static constexpr double MIN_BAND_HEIGHT = 32;
  static constexpr double MAX_BANDS = 65536;

  struct Span {
    double top;
    double bottom;
    bool finite() const { return std::isfinite(top) && std::isfinite(bottom); }
  };

  // Monotonic in y, so that every point of an extent falls between the bands of its
  // ends. A range too wide for doubles makes one band of everything.
  std::size_t band_of(double y) const {
    const double band = std::floor((y - low_) / band_height_);
    if (!(band > 0)) return 0;
    return static_cast<std::size_t>(std::min(band, MAX_BANDS));
  }

  std::vector<Span> spans_;
  std::vector<std::vector<std::size_t>> bands_;
  std::vector<std::size_t> everywhere_;
  std::vector<std::size_t> stamps_;
  double low_ = 0;
  double band_height_ = MIN_BAND_HEIGHT;
};

// The candidate that labels a record with box `box`: of those wholly above it (bottom
// edge at or above its top edge) that overlap or touch it horizontally, the nearest,
// and the earliest in the list at equal distance. Considers the candidates at `among`
// (in increasing order), or all of them.
std::optional<std::size_t> nearest_candidate_above(const BoundingBox& box, const LabelCandidates& candidates,
                                                   const std::vector<std::size_t>* among = nullptr) {
  std::optional<std::size_t> best;
  double best_distance = std::numeric_limits<double>::infinity();
  const std::size_t count = among ? among->size() : candidates.size();
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t i = among ? (*among)[n] : n;
    const BoundingBox& c = candidates[i].bounding_box;
    const double bottom = c.y + c.height;
    if (bottom > box.y) continue;
    if (c.x > box.x + box.width || c.x + c.width < box.x) continue;
    // Strictly nearer only: at equal distance the earlier candidate keeps the label.
    if (const double distance = box.y - bottom; distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

// The spatial labelling of many records at once, with the same result as asking
// nearest_candidate_above of each: the records are taken from the top of the page down
// while the candidates whose bottom edge is above them join an interval tree over the
// horizontal axis, which gives the one with the lowest bottom edge (the earliest at
// equal edges) among those overlapping a record's horizontal extent. Records and
// candidates whose numbers are not finite (or whose width is negative) are compared the
// plain way; so is a record where two edges are at the same distance only after
// rounding.
class CandidatesAbove {
 public:
  explicit CandidatesAbove(const LabelCandidates& candidates) : candidates_(candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const BoundingBox& c = candidates[i].bounding_box;
      const Place place{c.y + c.height, c.x, c.x + c.width};
      if (place.regular()) {
        regular_.push_back(i);
      } else {
        odd_.push_back(i);
      }
      places_.push_back(place);
    }
    std::stable_sort(regular_.begin(), regular_.end(),
                     [&](std::size_t a, std::size_t b) { return places_[a].bottom < places_[b].bottom; });
    for (const std::size_t i : regular_) {
      if (bottoms_.empty() || bottoms_.back() != places_[i].bottom) bottoms_.push_back(places_[i].bottom);
    }
  }

  std::vector<std::optional<std::size_t>> nearest(const std::vector<BoundingBox>& boxes) {
    std::vector<std::optional<std::size_t>> found(boxes.size());
    std::vector<std::size_t> swept;
    for (std::size_t r = 0; r < boxes.size(); ++r) {
      const Place place{boxes[r].y, boxes[r].x, boxes[r].x + boxes[r].width};
      if (place.regular()) {
        swept.push_back(r);
      } else {
        found[r] = nearest_candidate_above(boxes[r], candidates_);
      }
    }
    std::stable_sort(swept.begin(), swept.end(), [&](std::size_t a, std::size_t b) { return boxes[a].y < boxes[b].y; });
    std::vector<double> xs;
    for (const std::size_t i : regular_) xs.insert(xs.end(), {places_[i].left, places_[i].right});
    for (const std::size_t r : swept) xs.insert(xs.end(), {boxes[r].x, boxes[r].x + boxes[r].width});
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    const auto at = [&](double x) {
      return static_cast<std::size_t>(std::lower_bound(xs.begin(), xs.end(), x) - xs.begin());
    };
    tree_.assign(xs.empty() ? 0 : 4 * xs.size(), Node{});
    std::size_t joined = 0;
    for (const std::size_t r : swept) {
      const BoundingBox& box = boxes[r];
      for (; joined < regular_.size() && places_[regular_[joined]].bottom <= box.y; ++joined) {
        const Place& c = places_[regular_[joined]];
        raise(1, 0, xs.size() - 1, at(c.left), at(c.right), regular_[joined]);
      }
      std::optional<std::size_t> best;
      if (joined > 0) best = highest(1, 0, xs.size() - 1, at(box.x), at(box.x + box.width));
      if (best && !(box.y - places_[*best].bottom < std::numeric_limits<double>::infinity())) best.reset();
      if (best && rounds_to_a_tie(box.y, places_[*best].bottom)) {
        found[r] = nearest_candidate_above(box, candidates_);
        continue;
      }
      found[r] = nearer(box, best, nearest_candidate_above(box, candidates_, &odd_));
    }
    return found;
  }

 private:
  struct Place {
    double bottom;
    double left;
    double right;
    bool regular() const { return std::isfinite(bottom) && std::isfinite(left) && std::isfinite(right) && left <= right; }
  };
  // A candidate that covers the whole span of a node, and the best in the node's subtree.
  struct Node {
    std::optional<std::size_t> cover;
    std::optional<std::size_t> best;
  };

  // The candidate a record prefers: the lower bottom edge, then the earlier.
  std::optional<std::size_t> better(std::optional<std::size_t> a, std::optional<std::size_t> b) const {
    if (!a) return b;
    if (!b) return a;
    const double ea = places_[*a].bottom;
    const double eb = places_[*b].bottom;
    return ea > eb || (ea == eb && *a < *b) ? a : b;
  }

  // Of two found candidates, the nearer to `box`, the earlier at equal distance.
  std::optional<std::size_t> nearer(const BoundingBox& box, std::optional<std::size_t> a,
                                    std::optional<std::size_t> b) const {
    if (!a) return b;
    if (!b) return a;
    const double da = box.y - places_[*a].bottom;
    const double db = box.y - places_[*b].bottom;
    return da < db || (da == db && *a < *b) ? a : b;
  }

  // Whether a lower bottom edge than `bottom` lies at the same distance from `y` once
  // the subtraction is rounded; distances only grow as edges go down.
  bool rounds_to_a_tie(double y, double bottom) const {
    const auto at = std::lower_bound(bottoms_.begin(), bottoms_.end(), bottom);
    return at != bottoms_.begin() && y - *std::prev(at) == y - bottom;
  }

  void raise(std::size_t node, std::size_t low, std::size_t high, std::size_t from, std::size_t to,
             std::size_t candidate) {
    if (to < low || high < from) return;
    Node& here = tree_[node];
    if (from <= low && high <= to) {
      here.cover = better(here.cover, candidate);
      here.best = better(here.best, candidate);
      return;
    }
    const std::size_t middle = low + (high - low) / 2;
    raise(2 * node, low, middle, from, to, candidate);
    raise(2 * node + 1, middle + 1, high, from, to, candidate);
    here.best = better(here.cover, better(tree_[2 * node].best, tree_[2 * node + 1].best));
  }

  std::optional<std::size_t> highest(std::size_t node, std::size_t low, std::size_t high, std::size_t from,
                                     std::size_t to) const {
    if (to < low || high < from) return std::nullopt;
    const Node& here = tree_[node];
    if (from <= low && high <= to) return here.best;
    const std::size_t middle = low + (high - low) / 2;
    return better(here.cover, better(highest(2 * node, low, middle, from, to),
                                     highest(2 * node + 1, middle + 1, high, from, to)));
  }

  const LabelCandidates& candidates_;
  std::vector<Place> places_;
  std::vector<std::size_t> regular_;
  std::vector<std::size_t> odd_;
  std::vector<double> bottoms_;
  std::vector<Node> tree_;
};

// "://" and "/" become "_", cut to 60 characters; nothing else is replaced.
std::string url_slug(const std::string& url) {
  return text::prefix(text::replace_all(text::replace_all(url, "://", "_"), "/", "_"), 60);
}

std::string local_timestamp(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) throw std::system_error(errno, std::generic_category(), "local time");
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d_%H%M%S", &local);
  return std::string(buffer, n);
}

Json records_json(const Elements& records) {
  Json list = Json::array();
  for (const auto& record : records) {
    if (!record) throw TypeError("a record list must not hold null records");
    list.push_back(to_json(*record));
  }
  return list;
}

}  // namespace

const std::string INTERACTABLE_SELECTOR = interactable_selector();
const std::string TEXT_SELECTOR = join(_TEXT_TAGS, ", ");
const std::string _CUSTOM_INPUT_SELECTOR =
    "span[class*='editable'], div[class*='editable'], span[class*='input'], div[class*='input']";
const std::string _LABEL_CANDIDATE_SELECTOR = "h1, h2, h3, h4, h5, h6, label, div, span, p";

const std::string _TAG_NAME_JS(embedded_scripts::tag_name);
const std::string _DATA_ATTRIBUTES_JS(embedded_scripts::data_attributes);
const std::string _DIRECT_TEXT_JS(embedded_scripts::direct_text);
const std::string _XPATH_JS(embedded_scripts::xpath);
const std::string _PREVIOUS_SIBLING_LABEL_JS(embedded_scripts::previous_sibling_label);
const std::string _PARENT_CHILDREN_LABEL_JS(embedded_scripts::parent_children_label);
const std::string _CURSOR_POINTER_JS(embedded_scripts::cursor_pointer);

bool _is_custom_input(std::string_view tag, std::string_view classes) {
  if (tag == "input" || tag == "textarea" || tag == "select") return false;
  const std::string lowered = text::lower(classes);
  return lowered.find("editable") != std::string::npos || lowered.find("input") != std::string::npos;
}

PageScanner::PageScanner(Page& page, std::ostream& console, Clock now)
    : page(page), console_(console), now_(std::move(now)) {}

std::ostream& PageScanner::default_console() { return std::cout; }

std::pair<Elements, Elements> PageScanner::extract_interactable_elements() {
  Elements elements;
  for (const ElementHandlePtr& handle : page.query_selector_all(INTERACTABLE_SELECTOR)) {
    // A detached or otherwise unreadable element is left out; the scan goes on.
    if (auto record = for_one_element([&] { return read_native(*this, *handle); })) {
      elements.push_back(std::make_shared<ElementRecord>(std::move(*record)));
    }
  }
  for (auto& record : _extract_custom_inputs()) elements.push_back(std::move(record));
  for (auto& record : _extract_cursor_pointer_elements()) elements.push_back(std::move(record));
  _assign_spatial_labels(elements, _collect_label_candidates());
  Elements text_elements = extract_text_elements();
  try {
    _save_snapshot(elements, text_elements);
  } catch (const files::WriteError& failure) {
    if (!on_snapshot_failure) throw;
    on_snapshot_failure(failure);
  }
  return {std::move(elements), std::move(text_elements)};
}

Elements PageScanner::extract_text_elements() {
  Elements candidates;
  for (const ElementHandlePtr& handle : page.query_selector_all(TEXT_SELECTOR)) {
    if (auto record = for_one_element([&] { return read_text_element(*handle); })) {
      candidates.push_back(std::make_shared<ElementRecord>(std::move(*record)));
    }
  }
  return _dedup_text_elements(candidates);
}

std::string PageScanner::_get_field_label(ElementHandle& handle) {
  // Sources in order of how deliberately they name the field; the first one wins and
  // the later ones are not read. Only the lookups that may meet an unusable selector or
  // a script error are guarded; a failing attribute read fails the whole lookup.
  if (std::string label = trimmed(handle.get_attribute("aria-label")); !label.empty()) return label;
  if (const auto ref = handle.get_attribute("aria-labelledby"); ref && !ref->empty()) {
    if (std::string label = guarded_text_of(page, "#" + *ref); !label.empty()) return label;
  }
  if (const auto id = handle.get_attribute("id"); id && !id->empty()) {
    if (std::string label = guarded_text_of(page, "label[for=\"" + *id + "\"]"); !label.empty()) return label;
  }
  if (std::string label = trimmed(handle.get_attribute("placeholder")); !label.empty()) return label;
  if (std::string label = trimmed(handle.get_attribute("title")); !label.empty()) return label;
  if (std::string label = guarded_script_text(handle, _PREVIOUS_SIBLING_LABEL_JS); !label.empty()) return label;
  return guarded_script_text(handle, _PARENT_CHILDREN_LABEL_JS);
}

Elements PageScanner::_extract_custom_inputs() {
  Elements records;
  std::unordered_set<std::string> seen;
  for (const ElementHandlePtr& handle : page.query_selector_all(_CUSTOM_INPUT_SELECTOR)) {
    if (auto record = for_one_element([&] { return read_custom_input(*this, *handle, seen); })) {
      records.push_back(std::make_shared<ElementRecord>(std::move(*record)));
    }
  }
  return records;
}

Elements PageScanner::_extract_cursor_pointer_elements() {
  // The pointer group is a best-effort addition: when its script fails, the scan still
  // stands without it.
  const Json items = for_one_element([&] { return page.evaluate(_CURSOR_POINTER_JS); });
  Elements records;
  if (items.is_null()) return records;
  if (!items.is_array()) throw TypeError("the pointer script must return a list");
  std::unordered_set<std::string> seen;
  for (const Json& item : items) {
    if (!item.is_object()) throw TypeError("a pointer item must be a map");
    if (!seen.insert(item_string(item, "xpath")).second) continue;
    records.push_back(std::make_shared<ElementRecord>(pointer_record(item)));
  }
  return records;
}

LabelCandidates PageScanner::_collect_label_candidates() {
  LabelCandidates candidates;
  std::unordered_set<std::string> taken;
  for (const ElementHandlePtr& handle : page.query_selector_all(_LABEL_CANDIDATE_SELECTOR)) {
    // An unreadable element is not a candidate.
    auto candidate = for_one_element([&]() -> std::optional<LabelCandidate> {
      if (!handle->is_visible()) return std::nullopt;
      std::string label = text::trim(handle->inner_text());
      const std::optional<BoundingBox> box = handle->bounding_box();
      if (label.empty() || !box || text::length(label) > 60) return std::nullopt;
      // Taller boxes are multi-line containers, not labels.
      if (box->height > 40) return std::nullopt;
      return LabelCandidate{std::move(label), *box};
    });
    if (candidate && taken.insert(candidate->text).second) candidates.push_back(std::move(*candidate));
  }
  return candidates;
}

void PageScanner::_assign_spatial_labels(const Elements& elements, const LabelCandidates& label_candidates) {
  const bool any_null = std::any_of(elements.begin(), elements.end(), [](const Element& e) { return !e; });
  std::vector<std::size_t> unlabelled;
  for (std::size_t i = 0; i < elements.size() && !any_null; ++i) {
    if (elements[i]->attributes.get("_label").empty() && elements[i]->bounding_box) unlabelled.push_back(i);
  }
  if (any_null) {
    // Labels the records up to the null one, and then fails, as a plain pass does.
    for (const Element& record : elements) {
      if (!record) throw TypeError("elements must not hold null records");
      if (!record->attributes.get("_label").empty() || !record->bounding_box) continue;
      if (const auto best = nearest_candidate_above(*record->bounding_box, label_candidates)) {
        record->attributes.set("_label", label_candidates[*best].text);
      }
    }
    return;
  }
  std::vector<BoundingBox> boxes;
  boxes.reserve(unlabelled.size());
  for (const std::size_t i : unlabelled) boxes.push_back(*elements[i]->bounding_box);
  // All first, then the labels: a label given changes no candidate.
  const std::vector<std::optional<std::size_t>> nearest = CandidatesAbove(label_candidates).nearest(boxes);
  for (std::size_t n = 0; n < unlabelled.size(); ++n) {
    if (nearest[n] && !label_candidates[*nearest[n]].text.empty()) {
      elements[unlabelled[n]]->attributes.set("_label", label_candidates[*nearest[n]].text);
    }
  }
}

void PageScanner::_save_snapshot(const Elements& elements, const Elements& text_elements) {
  if (!settings::SAVE_SNAPSHOTS) return;
  const fs::path dir = settings::LOG_PATH;
  const std::string slug = url_slug(page.url());
  const std::string stem = local_timestamp(now_()) + "_" + slug;
  Json document = Json::object();
  document["url"] = page.url();
  document["elements"] = records_json(elements);
  document["text_elements"] = records_json(text_elements);
  // The specified members are never replaced.
  for (const auto& [name, value] : extra_snapshot_members.items()) {
    if (!document.contains(name)) document[name] = value;
  }
  // A failed write leaves no partial snapshot, and a scan in the same second as another
  // adds a file instead of replacing it.
  const auto name = [&stem](int n) { return n == 1 ? stem + ".json" : stem + "_" + std::to_string(n) + ".json"; };
  const fs::path saved = files::write_new_file(dir, name, dump_document(document));
  console_ << "  [DOM snapshot saved → " << saved.string() << "]" << std::endl;
}

Elements PageScanner::_dedup_text_elements(const Elements& candidates) {
  for (const Element& el : candidates) {
    if (!el) throw TypeError("candidates must not hold null records");
  }
  const bool any_without_own_text = std::any_of(candidates.begin(), candidates.end(), [](const Element& el) {
    return !el->has_direct_text.value_or(false);
  });
  if (!any_without_own_text) return candidates;
  // A record without text of its own is a container when a smaller record inside it
  // carries part of its text. Each such record meets only the records whose boxes
  // share a horizontal band with its own, not the whole list.
  TextBands bands(candidates);
  Elements kept;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Element& el = candidates[i];
    const bool dominated = !el->has_direct_text.value_or(false) && bands.any_overlapping(i, [&](std::size_t j) {
      const ElementRecord& other = *candidates[j];
      return _area(other) < _area(*el) && _overlaps(*el->bounding_box, *other.bounding_box) &&
             el->text.find(other.text) != std::string::npos;
    });
    if (!dominated) kept.push_back(el);
  }
  return kept;
}

}  // namespace quillfen
