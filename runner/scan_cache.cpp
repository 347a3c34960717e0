#include "runner/scan_cache.hpp"

#include "engine/browser/page_scanner.hpp"

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
                            const std::function<void(const files::WriteError&)>& on_snapshot_failure) {
  const auto scope = tab.begin_scan(std::max(deadline, chromium::Clock::now() + MIN_SCAN_TIME));
  const std::optional<std::string> before = stamp_of(tab);
  PageScanner scanner(tab, console);
  scanner.on_snapshot_failure = on_snapshot_failure;
  if (before && before == stamp_) {
    ++reused_;
    PageRecords records{copies(kept_.elements), copies(kept_.text_elements), copies(kept_.extras)};
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
  PageRecords records = scan_page(scanner);
  ++fresh_;
  // A page that changed while it was read may have given a mix of before and after.
  if (before && stamp_of(tab) == before) {
    stamp_ = before;
    kept_ = {copies(records.elements), copies(records.text_elements), copies(records.extras)};
  }
  return records;
}

ScanCache::Lists ScanCache::scan(chromium::Tab& tab, std::ostream& console, chromium::Clock::time_point deadline,
                                 const std::function<void(const files::WriteError&)>& on_snapshot_failure) {
  PageRecords records = read(tab, console, deadline, on_snapshot_failure);
  return {std::move(records.elements), std::move(records.text_elements)};
}

}  // namespace quillfen::runner
