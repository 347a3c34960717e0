// Offline resolution: instruction lines resolved against a saved snapshot document
// instead of a live page, as `quillfen resolve` does, through the same resolution chain
// as a run: the text match (level 1), the relational resolution over the spatial matrix
// (level 2), the relaxed strategy (level 3) over the snapshot's extras when it has them.
#pragma once

#include "engine/core/records.hpp"
#include "runner/page_extras.hpp"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillfen::offline {

// What a snapshot document holds: the page address, the interactable records, the text
// records, and what the scan gathered beside them (empty for an older snapshot).
struct Snapshot {
  std::string url;
  Elements elements;
  Elements text_elements;
  runner::PageExtras extras;
};

// A snapshot that cannot be used; what() is one sentence saying what is wrong with it.
class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The deepest nesting of arrays and objects a snapshot may have. A snapshot written by
// a scan nests a few levels deep.
inline constexpr std::size_t MAX_SNAPSHOT_NESTING = 64;

// Reads the text of a snapshot document: an object with "url" (a string), "elements"
// and "text_elements" (arrays of element records), optionally "extras", nested at most
// MAX_SNAPSHOT_NESTING levels. Throws SnapshotError.
Snapshot parse_snapshot(std::string_view document);

// The largest snapshot file read (256 MB): a scan of a very large page writes tens of MB.
inline constexpr std::size_t MAX_SNAPSHOT_BYTES = std::size_t{256} << 20;

// Reads a snapshot file. Throws SnapshotError, naming the file, when it cannot be read,
// holds more than MAX_SNAPSHOT_BYTES or is not a snapshot.
Snapshot load_snapshot(const std::string& path);

// One line's answer: {"instruction", "parsed", "level", "strategy", "result"}, where
// level is 1, 2, 3 or null (nothing found; the result is then level 1's) and strategy
// the label of the level ("DOM", "Spatial", "Relaxed"; "direct" for a line that needs
// no element; null when nothing was found), or {"instruction", "error"} for a line that
// is not an instruction.
Json resolve_line(const Snapshot& snapshot, std::string_view line);

}  // namespace quillfen::offline
