// The page scans of one tab, with the last one kept: while nothing that a scan reads
// has changed (the tab's change stamp is the same as when it was read), the kept scan
// is handed out again instead of reading the page afresh. Only a scan during which the
// page did not change is kept. A reuse gives fresh copies of the records, since callers
// may annotate theirs, and writes its snapshot when snapshots are on, as a fresh scan
// would: nothing tells the two apart but the time they take. The extras of a scan (see
// page_extras.hpp) are read, kept and handed out with its records.
//
// Each scan made here is one scan of the page (Tab::begin_scan): its reads
// share their answers, and all must end by the deadline given, the step's own, or
// MIN_SCAN_TIME after the scan starts when that is later (so that a step with a very
// short time-out, or a retry begun just before its deadline, still gets a real read).
// A scan that runs past it fails with a PageError of kind `slow` and leaves the tab
// usable.
#pragma once

#include "chromium/tab.hpp"
#include "engine/core/file_writer.hpp"
#include "engine/core/records.hpp"
#include "runner/page_extras.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>

namespace quillfen::runner {

class ScanCache {
 public:
  using Lists = std::pair<Elements, Elements>;

  static constexpr std::chrono::milliseconds MIN_SCAN_TIME{2000};

  // The interactable records, the text records and the extras of the page as it is now.
  // Throws what the scan throws; a snapshot that cannot be written goes to
  // `on_snapshot_failure` when it is set (see PageScanner::on_snapshot_failure).
  PageRecords read(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
                   const std::function<void(const files::WriteError&)>& on_snapshot_failure = {});
  // The same without the extras.
  Lists scan(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
             const std::function<void(const files::WriteError&)>& on_snapshot_failure = {});

  // Scans read from the page, and scans handed out again, so far.
  std::size_t fresh_scans() const { return fresh_; }
  std::size_t reused_scans() const { return reused_; }

 private:
  std::optional<std::string> stamp_;
  PageRecords kept_;
  std::size_t fresh_ = 0;
  std::size_t reused_ = 0;
};

}  // namespace quillfen::runner
