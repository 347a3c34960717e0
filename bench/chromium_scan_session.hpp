// How the scan benchmark scans: as `quillfen run` does, within one scan of the page
// (answers shared between groups, a deadline far enough not to matter), and what it
// costs to hand out a kept scan again when the page has not changed.
#pragma once

#include "chromium/chromium_page.hpp"
#include "engine/browser/page_scanner.hpp"
#include "runner/scan_cache.hpp"

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

namespace quillfen::bench {

inline constexpr auto SCAN_DEADLINE = std::chrono::minutes(10);

inline std::pair<Elements, Elements> fresh_scan(chromium::ChromiumPage& page, std::ostream& console) {
  const auto scope = page.begin_scan(chromium::Clock::now() + SCAN_DEADLINE);
  PageScanner scanner(page, console);
  return scanner.extract_interactable_elements();
}

// The median time of a scan that the runner's cache answers from its kept scan (the
// page checked, the records copied), over `repeat` scans after the one it keeps.
inline std::optional<double> reuse_millis(chromium::ChromiumPage& page, int repeat) {
  runner::ScanCache cache;
  std::ostringstream quiet;
  cache.scan(page, quiet, chromium::Clock::now() + SCAN_DEADLINE);
  std::vector<double> took;
  for (int i = 0; i < repeat; ++i) {
    const auto start = std::chrono::steady_clock::now();
    cache.scan(page, quiet, chromium::Clock::now() + SCAN_DEADLINE);
    took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  if (cache.reused_scans() != static_cast<std::size_t>(repeat)) return std::nullopt;
  std::sort(took.begin(), took.end());
  return took[took.size() / 2];
}

}  // namespace quillfen::bench
