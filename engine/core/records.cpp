#include "engine/core/records.hpp"

#include <cmath>
#include <limits>

namespace quillfen {

namespace {

const std::string kEmpty;

Json number(double v, bool whole) {
  if (whole && std::isfinite(v) && std::floor(v) == v &&
      std::fabs(v) < static_cast<double>(std::numeric_limits<std::int64_t>::max())) {
    return Json(static_cast<std::int64_t>(v));
  }
  return Json(v);
}

const Json* member(const Json& j, const char* key) {
  const auto it = j.find(key);
  return it == j.end() ? nullptr : &*it;
}

std::string string_member(const Json& j, const char* key) {
  const Json* v = member(j, key);
  if (v == nullptr || v->is_null()) return {};
  if (!v->is_string()) throw TypeError(std::string("'") + key + "' must be a string");
  return v->get<std::string>();
}

std::optional<bool> bool_member(const Json& j, const char* key) {
  const Json* v = member(j, key);
  if (v == nullptr || v->is_null()) return std::nullopt;
  if (!v->is_boolean()) throw TypeError(std::string("'") + key + "' must be true or false");
  return v->get<bool>();
}

double box_number(const Json& box, const char* key, bool& whole) {
  const Json* v = member(box, key);
  if (v == nullptr) return 0;
  if (!v->is_number()) throw TypeError(std::string("'bounding_box.") + key + "' must be a number");
  if (v->is_number_float()) whole = false;
  return v->get<double>();
}

}  // namespace

AttributeMap::AttributeMap(std::initializer_list<Entry> entries) {
  for (const auto& [k, v] : entries) set(k, v);
}

const std::string* AttributeMap::find(std::string_view name) const {
  for (const auto& [k, v] : entries_) {
    if (k == name) return &v;
  }
  return nullptr;
}

const std::string& AttributeMap::get(std::string_view name) const {
  const std::string* v = find(name);
  return v == nullptr ? kEmpty : *v;
}

void AttributeMap::set(std::string name, std::string value) {
  for (auto& [k, v] : entries_) {
    if (k == name) {
      v = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::move(name), std::move(value));
}

ResolutionResult ResolutionResult::found(Element element, Elements candidates) {
  ResolutionResult r;
  r.resolved = true;
  r.confidence = 1.0;
  r.element = std::move(element);
  r.candidates = std::move(candidates);
  return r;
}

Json to_json(const BoundingBox& box) {
  Json j = Json::object();
  j["x"] = number(box.x, box.whole);
  j["y"] = number(box.y, box.whole);
  j["width"] = number(box.width, box.whole);
  j["height"] = number(box.height, box.whole);
  return j;
}

Json to_json(const AttributeMap& attributes) {
  Json j = Json::object();
  for (const auto& [k, v] : attributes) j[k] = v;
  return j;
}

Json to_json(const ElementRecord& e) {
  Json j = Json::object();
  j["tag"] = e.tag;
  j["text"] = e.text;
  if (e.has_direct_text) j["has_direct_text"] = *e.has_direct_text;
  j["attributes"] = to_json(e.attributes);
  j["bounding_box"] = e.bounding_box ? to_json(*e.bounding_box) : Json(nullptr);
  j["is_visible"] = e.is_visible;
  j["is_enabled"] = e.is_enabled;
  if (e.is_editable_field) j["is_editable_field"] = *e.is_editable_field;
  j["xpath"] = e.xpath;
  return j;
}

Json to_json(const ParsedInstruction& p) {
  Json j = Json::object();
  j["action"] = p.action;
  j["target"] = p.target ? Json(*p.target) : Json(nullptr);
  j["value"] = p.value ? Json(*p.value) : Json(nullptr);
  if (p.ordinal) j["ordinal"] = *p.ordinal;
  j["_literal_target"] = p.literal_target;
  return j;
}

Json to_json(const ResolutionResult& r) {
  Json j = Json::object();
  j["resolved"] = r.resolved;
  if (r.verified) j["verified"] = *r.verified;
  j["confidence"] = r.confidence;
  j["element"] = r.element ? to_json(*r.element) : Json(nullptr);
  if (r.state) j["state"] = *r.state;
  if (r.extracted) j["extracted"] = *r.extracted;
  if (r.anchor_text) j["anchor_text"] = *r.anchor_text;
  if (r.ordinal) j["ordinal"] = *r.ordinal;
  if (r.type_relaxed) j["type_relaxed"] = *r.type_relaxed;
  if (r.actual_type) j["actual_type"] = *r.actual_type ? Json(**r.actual_type) : Json(nullptr);
  Json candidates = Json::array();
  for (const auto& c : r.candidates) candidates.push_back(c ? to_json(*c) : Json(nullptr));
  j["candidates"] = std::move(candidates);
  return j;
}

ElementRecord element_from_json(const Json& j) {
  if (!j.is_object()) throw TypeError("an element record must be a JSON object");
  ElementRecord e;
  e.tag = string_member(j, "tag");
  e.text = string_member(j, "text");
  e.has_direct_text = bool_member(j, "has_direct_text");
  if (const Json* attrs = member(j, "attributes"); attrs != nullptr && !attrs->is_null()) {
    if (!attrs->is_object()) throw TypeError("'attributes' must be a JSON object");
    for (const auto& [k, v] : attrs->items()) {
      if (!v.is_string()) throw TypeError("attribute '" + k + "' must be a string");
      e.attributes.set(k, v.get<std::string>());
    }
  }
  if (const Json* box = member(j, "bounding_box"); box != nullptr && !box->is_null()) {
    if (!box->is_object()) throw TypeError("'bounding_box' must be a JSON object");
    if (!box->empty()) {
      BoundingBox b;
      b.whole = true;
      b.x = box_number(*box, "x", b.whole);
      b.y = box_number(*box, "y", b.whole);
      b.width = box_number(*box, "width", b.whole);
      b.height = box_number(*box, "height", b.whole);
      e.bounding_box = b;
    }
  }
  e.is_visible = bool_member(j, "is_visible").value_or(false);
  e.is_enabled = bool_member(j, "is_enabled").value_or(false);
  e.is_editable_field = bool_member(j, "is_editable_field");
  e.xpath = string_member(j, "xpath");
  return e;
}

std::string dump_document(const Json& j) {
  return j.dump(2, ' ', true, nlohmann::detail::error_handler_t::replace);
}

std::string dump_line(const Json& j) {
  return j.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
}

}  // namespace quillfen
