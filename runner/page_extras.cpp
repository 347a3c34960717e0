#include "runner/page_extras.hpp"

#include "engine/browser/settings.hpp"
#include "chromium/scripts.hpp"
#include "runner/scripts.hpp"

#include <array>
#include <utility>

namespace quillfen::runner {

namespace {

constexpr std::array<std::pair<LabelLink::Kind, std::string_view>, 4> kKindNames{{
    {LabelLink::Kind::for_attribute, "for"},
    {LabelLink::Kind::wrapping, "wrapping"},
    {LabelLink::Kind::labelledby, "labelledby"},
    {LabelLink::Kind::right, "right"},
}};

std::string_view name_of(LabelLink::Kind kind) {
  for (const auto& [k, name] : kKindNames) {
    if (k == kind) return name;
  }
  return "for";
}

const Json* list_member(const Json& j, const char* key) {
  const auto it = j.find(key);
  if (it == j.end() || it->is_null()) return nullptr;
  if (!it->is_array()) throw TypeError(std::string("'") + key + "' must be a JSON array");
  return &*it;
}

Elements records_of(const Json& j, const char* key) {
  Elements records;
  if (const Json* list = list_member(j, key)) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      try {
        records.push_back(std::make_shared<ElementRecord>(element_from_json((*list)[i])));
      } catch (const TypeError& e) {
        throw TypeError(std::string("record ") + std::to_string(i + 1) + " of '" + key + "': " + e.what());
      }
    }
  }
  return records;
}

LabelLink link_from_json(const Json& j) {
  if (!j.is_object()) throw TypeError("a label must be a JSON object");
  LabelLink link;
  const auto kind = j.find("kind");
  if (kind == j.end() || !kind->is_string()) throw TypeError("'kind' must be a string");
  bool known = false;
  for (const auto& [k, name] : kKindNames) {
    if (kind->get<std::string>() == name) {
      link.kind = k;
      known = true;
    }
  }
  if (!known) throw TypeError("'kind' must be for, wrapping, labelledby or right");
  const auto record = [&j](const char* key) {
    const auto it = j.find(key);
    if (it == j.end()) throw TypeError(std::string("'") + key + "' is missing");
    try {
      return std::make_shared<ElementRecord>(element_from_json(*it));
    } catch (const TypeError& e) {
      throw TypeError(std::string("'") + key + "': " + e.what());
    }
  };
  link.control = record("control");
  link.label = record("label");
  return link;
}

}  // namespace

// The script is handed the scan's own path maker, so that its paths are the scan's.
const std::string PAGE_EXTRAS_JS = "() => (" + std::string(scripts::PAGE_EXTRAS) + ")(" +
                                   std::string(chromium::scripts::POSITIONAL_PATHS) + ")";

Json to_json(const PageExtras& extras) {
  Json labels = Json::array();
  for (const LabelLink& link : extras.labels) {
    Json j = Json::object();
    j["kind"] = name_of(link.kind);
    j["control"] = link.control ? to_json(*link.control) : Json(nullptr);
    j["label"] = link.label ? to_json(*link.label) : Json(nullptr);
    labels.push_back(std::move(j));
  }
  const auto records = [](const Elements& list) {
    Json out = Json::array();
    for (const Element& e : list) out.push_back(e ? to_json(*e) : Json(nullptr));
    return out;
  };
  Json j = Json::object();
  j["labels"] = std::move(labels);
  j["texts"] = records(extras.texts);
  j["cells"] = records(extras.cells);
  return j;
}

PageExtras extras_from_json(const Json& j) {
  if (!j.is_object()) throw TypeError("the extras must be a JSON object");
  PageExtras extras;
  if (const Json* labels = list_member(j, "labels")) {
    for (std::size_t i = 0; i < labels->size(); ++i) {
      try {
        extras.labels.push_back(link_from_json((*labels)[i]));
      } catch (const TypeError& e) {
        throw TypeError("label " + std::to_string(i + 1) + ": " + e.what());
      }
    }
  }
  extras.texts = records_of(j, "texts");
  extras.cells = records_of(j, "cells");
  return extras;
}

PageExtras gather_page_extras(Page& page) {
  try {
    return extras_from_json(page.evaluate(PAGE_EXTRAS_JS));
  } catch (const PageError& e) {
    if (e.kind() != PageError::Kind::element) throw;
  } catch (const TypeError&) {
  }
  return {};
}

PageRecords scan_page(PageScanner& scanner) {
  PageRecords records;
  records.extras = gather_page_extras(scanner.page);
  if (settings::SAVE_SNAPSHOTS) scanner.extra_snapshot_members["extras"] = to_json(records.extras);
  auto [elements, text_elements] = scanner.extract_interactable_elements();
  records.elements = std::move(elements);
  records.text_elements = std::move(text_elements);
  return records;
}

void save_snapshot(PageScanner& scanner, const PageRecords& records) {
  scanner.extra_snapshot_members["extras"] = to_json(records.extras);
  scanner._save_snapshot(records.elements, records.text_elements);
}

}  // namespace quillfen::runner
