#include "runner/scan_cache.hpp"

#include "engine/browser/page_scanner.hpp"
#include "engine/browser/settings.hpp"

#include <algorithm>
#include <utility>

namespace quillfen::runner {
namespace {

Elements copies(const Elements& records) {
  Elements out;
  out.reserve(records.size());
  for (const Element& record : records) out.push_back(std::make_shared<ElementRecord>(*record));
  return out;
}

Element copy_of(const Element& record) { return record ? std::make_shared<ElementRecord>(*record) : nullptr; }

PageExtras copies(const PageExtras& extras) {
  PageExtras out{{}, copies(extras.texts), copies(extras.cells)};
  for (const LabelLink& link : extras.labels) out.labels.push_back({link.kind, copy_of(link.control), copy_of(link.label)});
  return out;
}

PageRecords copies(const PageRecords& records) {
  return {copies(records.elements), copies(records.text_elements), copies(records.extras), records.extras_read};
}

// The deadline of one scan: the step's own, or MIN_SCAN_TIME from now when that is later.
chromium::Clock::time_point scan_deadline(chromium::Clock::time_point deadline) {
  return std::max(deadline, chromium::Clock::now() + ScanCache::MIN_SCAN_TIME);
}

// The page's change stamp, or none when the page cannot give one (a script error of
// its own in reading it): then no scan is reused or kept.
std::optional<std::string> stamp_of(chromium::Tab& tab) {
  try {
    return tab.change_stamp();
  } catch (const PageError& error) {
    if (error.kind() != PageError::Kind::element) throw;
  }
  return std::nullopt;
}

}  // namespace

PageRecords ScanCache::read(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
                            const std::function<void(const files::WriteError&)>& on_snapshot_failure,
                            Extras wanted) {
  const auto scope = tab.begin_scan(scan_deadline(deadline));
  const std::optional<std::string> before = stamp_of(tab);
  PageScanner scanner(tab, console);
  scanner.on_snapshot_failure = on_snapshot_failure;
  // Extras read later belong to the records only while the stamp is the same; a page
  // without one has them read with its records.
  const bool with_extras = wanted == Extras::with_records || settings::SAVE_SNAPSHOTS || !before;
  if (before && before == stamp_) {
    ++reused_;
    if (with_extras && !kept_.extras_read) {
      kept_.extras = gather_page_extras(tab);
      kept_.extras_read = true;
      if (stamp_of(tab) != before) stamp_.reset();
    }
    PageRecords records = copies(kept_);
    try {
      save_snapshot(scanner, records);
    } catch (const files::WriteError& failure) {
      if (!on_snapshot_failure) throw;
      on_snapshot_failure(failure);
    }
    return records;
  }
  stamp_.reset();
  kept_ = {};
  PageRecords records;
  if (with_extras) {
    records = scan_page(scanner);
  } else {
    auto [elements, text_elements] = scanner.extract_interactable_elements();
    records = {std::move(elements), std::move(text_elements), {}, false};
  }
  ++fresh_;
  // A page that changed while it was read may have given a mix of before and after.
  if (before && stamp_of(tab) == before) {
    stamp_ = before;
    kept_ = copies(records);
  }
  return records;
}

std::optional<PageExtras> ScanCache::extras(chromium::Tab& tab, chromium::Clock::time_point deadline) {
  if (!stamp_) return std::nullopt;
  if (!kept_.extras_read) {
    const auto scope = tab.begin_scan(scan_deadline(deadline));
    PageExtras read = gather_page_extras(tab);
    // The stamp counts every change, so an equal one after the read means none since the
    // records were read.
    if (stamp_of(tab) != stamp_) return std::nullopt;
    kept_.extras = std::move(read);
    kept_.extras_read = true;
  }
  return copies(kept_.extras);
}

ScanCache::Lists ScanCache::scan(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
                                 const std::function<void(const files::WriteError&)>& on_snapshot_failure) {
  PageRecords records = read(tab, console, deadline, on_snapshot_failure, Extras::when_wanted);
  return {std::move(records.elements), std::move(records.text_elements)};
}

}  // namespace quillfen::runner
