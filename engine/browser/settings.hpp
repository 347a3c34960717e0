// The package settings that the page scan reads: whether each scan leaves a snapshot
// file, and the directory that receives them. They are the one piece of global mutable
// state of the engine; the runner sets them before a scan, and the scanner reads them
// afresh at every use, so a change takes effect at the next scan. Scans may run on
// several threads at once (one per worker), hence the atomic flag.
#pragma once

#include <atomic>
#include <string>

namespace quillfen::settings {

// Write a snapshot file at the end of every scan. Off by default.
extern std::atomic<bool> SAVE_SNAPSHOTS;
// Directory for snapshot files, created when missing.
extern std::string LOG_PATH;

}  // namespace quillfen::settings
