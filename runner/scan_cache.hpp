// The page scans of one tab, with the last one kept: while nothing that a scan reads
// has changed (the tab's change stamp is the same as when it was read), the kept scan
// is handed out again instead of reading the page afresh. Only a scan during which the
// page did not change is kept. A reuse gives fresh copies of the records, since callers
// may annotate theirs, and writes its snapshot when snapshots are on, as a fresh scan
// would: nothing tells the two apart but the time they take. The extras of a scan (see
// page_extras.hpp) are read with its records, or later, when they are wanted: they cost
// about as much again as the records and only the relaxed strategy reads them. Either
// way they are kept and handed out with the records they belong to.
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

  // Whether a read gathers the extras with the records, or leaves them to `extras`. While
  // snapshots are being saved they are always read at once (a snapshot keeps them), and
  // on a tab that gives no change stamp too.
  enum class Extras { with_records, when_wanted };

  // The interactable records, the text records and (as `wanted`) the extras of the page
  // as it is now. Throws what the scan throws; a snapshot that cannot be written goes to
  // `on_snapshot_failure` when it is set (see PageScanner::on_snapshot_failure).
  PageRecords read(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
                   const std::function<void(const files::WriteError&)>& on_snapshot_failure = {},
                   Extras wanted = Extras::with_records);
  // The records alone.
  Lists scan(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
             const std::function<void(const files::WriteError&)>& on_snapshot_failure = {});

  // The extras of the records read last. When that read left them out they are read
  // now, or none when the page has changed since those records were read, or may have (a
  // read during which it changed is not kept): records and extras are always of one
  // page. Throws what the read throws.
  std::optional<PageExtras> extras(chromium::Tab& tab, chromium::Clock::time_point deadline);

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
