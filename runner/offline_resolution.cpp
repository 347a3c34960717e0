#include "runner/offline_resolution.hpp"

#include "engine/agent/step_reader.hpp"
#include "engine/core/text.hpp"
#include "runner/bounded_read.hpp"
#include "runner/chain.hpp"

#include <string>

namespace quillfen::offline {

namespace {

// Whether arrays and objects nest deeper than MAX_SNAPSHOT_NESTING anywhere in the text.
// A plain count over the bytes, so that it needs no stack however deep the text goes.
bool nests_too_deep(std::string_view document) {
  std::size_t depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (const char c : document) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > MAX_SNAPSHOT_NESTING) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

Elements records_of(const Json& document, const char* key) {
  const auto it = document.find(key);
  if (it == document.end()) throw SnapshotError(std::string("it has no \"") + key + "\" member");
  if (!it->is_array()) throw SnapshotError(std::string("its \"") + key + "\" member is not a JSON array");
  Elements records;
  records.reserve(it->size());
  for (std::size_t i = 0; i < it->size(); ++i) {
    try {
      records.push_back(std::make_shared<ElementRecord>(element_from_json((*it)[i])));
    } catch (const TypeError& e) {
      throw SnapshotError(std::string("record ") + std::to_string(i + 1) + " of \"" + key + "\" is malformed (" +
                          e.what() + ")");
    }
  }
  return records;
}

}  // namespace

Snapshot parse_snapshot(std::string_view document) {
  // Parsing and copying a document recurse once per level: a deep one would overflow
  // the stack, so it is refused before any of that.
  if (nests_too_deep(document)) {
    throw SnapshotError("it nests arrays or objects more than " + std::to_string(MAX_SNAPSHOT_NESTING) +
                        " levels deep");
  }
  Json j;
  try {
    j = Json::parse(document.begin(), document.end());
  } catch (const Json::parse_error& e) {
    throw SnapshotError("it is not valid JSON (the error is at byte " + std::to_string(e.byte) + ")");
  } catch (const Json::out_of_range&) {
    // The parser's own message quotes the whole number, however long.
    throw SnapshotError("it holds a number too large to read");
  }
  if (!j.is_object()) throw SnapshotError("it is not a JSON object with \"url\", \"elements\" and \"text_elements\"");
  const auto url = j.find("url");
  if (url == j.end() || !url->is_string()) throw SnapshotError("its \"url\" member is missing or not a string");
  Snapshot snapshot;
  snapshot.url = url->get<std::string>();
  snapshot.elements = records_of(j, "elements");
  snapshot.text_elements = records_of(j, "text_elements");
  if (const auto extras = j.find("extras"); extras != j.end()) {
    try {
      snapshot.extras = runner::extras_from_json(*extras);
    } catch (const TypeError& e) {
      throw SnapshotError(std::string("its \"extras\" member is malformed (") + e.what() + ")");
    }
  }
  return snapshot;
}

Snapshot load_snapshot(const std::string& path) {
  const auto fail = [&path](const std::string& why) {
    return SnapshotError("cannot use the snapshot " + text::quoted(path) + ": " + why + ".");
  };
  std::string content;
  try {
    content = runner::read_bounded(path, MAX_SNAPSHOT_BYTES, "256 MB, the most a snapshot may hold");
  } catch (const runner::ReadError& e) {
    throw fail(e.what());
  }
  try {
    return parse_snapshot(content);
  } catch (const SnapshotError& e) {
    throw fail(e.what());
  }
}

Json resolve_line(const Snapshot& snapshot, std::string_view line) {
  Json answer = Json::object();
  answer["instruction"] = std::string(line);
  ParsedInstruction parsed;
  try {
    parsed = StepReader().parse(line);
  } catch (const std::invalid_argument& e) {
    answer["error"] = e.what();
    return answer;
  }
  answer["parsed"] = to_json(parsed);

  const runner::ChainAnswer chosen = runner::Chain::standard().resolve(
      parsed, {snapshot.elements, snapshot.text_elements, snapshot.extras});
  answer["level"] = chosen.level ? Json(*chosen.level) : Json(nullptr);
  if (chosen.label) {
    answer["strategy"] = *chosen.label;
  } else {
    answer["strategy"] = runner::needs_no_element(parsed.action) ? Json(std::string(runner::DIRECT_LABEL)) : Json(nullptr);
  }
  answer["result"] = to_json(chosen.result);
  return answer;
}

}  // namespace quillfen::offline
