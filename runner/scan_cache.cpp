#include "runner/scan_cache.hpp"

#include "engine/browser/page_scanner.hpp"

#include <algorithm>

namespace quillfen::runner {
namespace {

Elements copies(const Elements& records) {
  Elements out;
  out.reserve(records.size());
  for (const Element& record : records) out.push_back(std::make_shared<ElementRecord>(*record));
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

ScanCache::Lists ScanCache::scan(chromium::Tab& tab, std::ostream& console,
                                 chromium::Clock::time_point deadline,
                                 const std::function<void(const files::WriteError&)>& on_snapshot_failure) {
  const auto scope = tab.begin_scan(std::max(deadline, chromium::Clock::now() + MIN_SCAN_TIME));
  const std::optional<std::string> before = stamp_of(tab);
  PageScanner scanner(tab, console);
  scanner.on_snapshot_failure = on_snapshot_failure;
  if (before && before == stamp_) {
    ++reused_;
    Lists lists{copies(kept_.first), copies(kept_.second)};
    try {
      scanner._save_snapshot(lists.first, lists.second);
    } catch (const files::WriteError& failure) {
      if (!on_snapshot_failure) throw;
      on_snapshot_failure(failure);
    }
    return lists;
  }
  stamp_.reset();
  kept_ = {};
  Lists lists = scanner.extract_interactable_elements();
  ++fresh_;
  // A page that changed while it was read may have given a mix of before and after.
  if (before && stamp_of(tab) == before) {
    stamp_ = before;
    kept_ = {copies(lists.first), copies(lists.second)};
  }
  return lists;
}

}  // namespace quillfen::runner
