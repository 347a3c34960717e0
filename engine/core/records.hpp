// The records that the modules hand to one another.
//
// Records have fixed shapes, so they are structs. A key that may be absent is a
// std::optional member. Element records are shared, never copied: a matrix entry's
// `element` and a result's `element` and `candidates` point at the caller's records,
// so "the same record" is pointer equality and an annotation is seen through all.
// The JSON writers here are the only ones: snapshot files and every JSON output of the
// command-line tool use them, with the keys in the order the records define.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillfen {

using Json = nlohmann::ordered_json;

// A box in CSS pixels, y growing downwards. `whole` remembers that the numbers came as
// whole numbers (pointer elements), so JSON writes 100 there and 100.0 for a real.
struct BoundingBox {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool whole = false;
};

// A string map that keeps insertion order. Setting an existing key keeps its place.
class AttributeMap {
 public:
  using Entry = std::pair<std::string, std::string>;

  AttributeMap() = default;
  AttributeMap(std::initializer_list<Entry> entries);

  // The value, or nullptr when the key is absent.
  const std::string* find(std::string_view name) const;
  // The value, or "" when the key is absent.
  const std::string& get(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name) != nullptr; }
  void set(std::string name, std::string value);

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  bool operator==(const AttributeMap&) const = default;

 private:
  std::vector<Entry> entries_;
};

// One page element, as the page scan reads it. Text elements carry `has_direct_text`;
// custom editable fields carry `is_editable_field`. The label of an element (field or
// spatial) is attributes["_label"], never a member of its own.
struct ElementRecord {
  std::string tag;
  std::string text;
  std::optional<bool> has_direct_text;
  AttributeMap attributes;
  std::optional<BoundingBox> bounding_box;
  bool is_visible = false;
  bool is_enabled = false;
  std::optional<bool> is_editable_field;
  std::string xpath;
};

using Element = std::shared_ptr<ElementRecord>;
using Elements = std::vector<Element>;

// One instruction line, parsed. `ordinal` exists for click and extract_text only.
struct ParsedInstruction {
  std::string action;
  std::optional<std::string> target;
  std::optional<std::string> value;
  std::optional<int> ordinal;
  bool literal_target = false;
};

// Geometry of a matrix entry: top-left corner, size, centre and right/bottom edges.
struct Position {
  double x = 0;
  double y = 0;
  double w = 0;
  double h = 0;
  double cx = 0;
  double cy = 0;
  double x2 = 0;
  double y2 = 0;
};

// One entry of the spatial matrix, in reading order.
struct MatrixEntry {
  int index = 0;
  std::string tag;
  std::string element_type;
  std::string text;
  std::string label;
  std::string searchable;
  bool is_enabled = true;
  bool is_anchor_only = false;
  int order_in_type = 0;
  Position position;
  Element element;
};

using Matrix = std::vector<MatrixEntry>;

// What a resolution strategy decided. Every shape has resolved, confidence, element and
// candidates; verifications add verified and state, directional extraction adds
// extracted, relational successes add anchor_text, ordinal, type_relaxed and actual_type
// (whose value may itself be none, hence the nested optional).
struct ResolutionResult {
  bool resolved = false;
  std::optional<bool> verified;
  double confidence = 0.0;
  Element element;  // none when null
  std::optional<Json> state;
  std::optional<std::string> extracted;
  std::optional<std::string> anchor_text;
  std::optional<int> ordinal;
  std::optional<bool> type_relaxed;
  std::optional<std::optional<std::string>> actual_type;
  Elements candidates;

  // resolved false, confidence 0.0, no element, no candidates.
  static ResolutionResult not_resolved() { return {}; }
  // resolved true, confidence 1.0.
  static ResolutionResult found(Element element, Elements candidates);
};

// Thrown where an argument that stays dynamic (JSON) has the wrong type or shape; the
// message names the argument.
class TypeError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

Json to_json(const BoundingBox& box);
Json to_json(const AttributeMap& attributes);
Json to_json(const ElementRecord& element);
Json to_json(const ParsedInstruction& parsed);
// Keys: resolved, verified, confidence, element, state, extracted, anchor_text, ordinal,
// type_relaxed, actual_type, candidates, leaving out what the result does not have.
Json to_json(const ResolutionResult& result);

// Reads a record written by to_json. Missing keys take their defaults ("" for strings,
// false for flags, no box); a value of the wrong JSON type throws TypeError naming the
// key.
ElementRecord element_from_json(const Json& j);

// The file form of a JSON document: two-space indentation, every non-ASCII character as
// a \u escape, invalid UTF-8 replaced, no newline at the end.
std::string dump_document(const Json& j);
// The line form used for JSON Lines output: compact, UTF-8 kept as it is.
std::string dump_line(const Json& j);

}  // namespace quillfen
