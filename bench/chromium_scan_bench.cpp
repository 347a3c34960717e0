// The page scan in real Chromium: time per full scan and protocol round trips, with
// grouped answers and with one round trip per question, on generated catalogue pages of
// 200, 1,000 and 5,000 interactable elements; then, scanned as `quillfen run` scans,
// pages with prose, tables, labelled forms and a long feed (1,000, 5,000 and 20,000
// elements) and pages of one flat list of buttons, with the cost of reusing a kept scan
// and how scan time grows with the page; then the same per-element questions asked by
// Playwright's element handles (bench/peer), when its package is installed.
//
// Usage: quillfen_chromium_scan_bench [--sizes 200,1000,5000] [--repeat 5] (defaults shown)
//        [--per-question-sizes 200,1000] [--prose-sizes 1000,5000,20000]
//        [--flat-sizes 5000,20000] [--peer-sizes 200,1000] [--peer DIR]
#include "bench/chromium_scan_page.hpp"
#include "bench/chromium_scan_session.hpp"
#include "chromium/browser.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using quillfen::chromium::ActOutcome;
using quillfen::chromium::AnswerMode;
using Millis = std::chrono::duration<double, std::milli>;

struct Options {
  std::vector<int> sizes{200, 1000, 5000};
  std::vector<int> per_question_sizes{200, 1000};
  std::vector<int> peer_sizes{200, 1000};
  std::vector<int> prose_sizes{1000, 5000, 20000};
  std::vector<int> flat_sizes{5000, 20000};
  int repeat = 5;
  fs::path peer_dir = fs::path(QUILLFEN_SOURCE_DIR) / "bench" / "peer";
};

std::vector<int> parse_sizes(const std::string& text) {
  std::vector<int> sizes;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) {
      sizes.push_back(std::stoi(item));
    }
  }
  return sizes;
}

constexpr const char* USAGE =
    "Usage: quillfen_chromium_scan_bench [--sizes 200,1000,5000] [--repeat 5]\n"
    "       [--per-question-sizes 200,1000] [--prose-sizes 1000,5000,20000]\n"
    "       [--flat-sizes 5000,20000] [--peer-sizes 200,1000] [--peer DIR]\n"
    "An empty list (--peer-sizes '') skips that part.\n";

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      std::cout << USAGE;
      std::exit(0);
    }
    if (i + 1 >= argc) {
      throw std::invalid_argument(flag + " needs a value");
    }
    const std::string value = argv[i + 1];
    if (flag == "--sizes") {
      options.sizes = parse_sizes(value);
    } else if (flag == "--per-question-sizes") {
      options.per_question_sizes = parse_sizes(value);
    } else if (flag == "--prose-sizes") {
      options.prose_sizes = parse_sizes(value);
    } else if (flag == "--flat-sizes") {
      options.flat_sizes = parse_sizes(value);
    } else if (flag == "--peer-sizes") {
      options.peer_sizes = parse_sizes(value);
    } else if (flag == "--repeat") {
      options.repeat = std::max(1, std::stoi(value));
    } else if (flag == "--peer") {
      options.peer_dir = value;
    } else {
      throw std::invalid_argument("unknown option " + flag);
    }
  }
  return options;
}

struct Scan {
  double millis = 0;
  double best_millis = 0;
  std::uint64_t round_trips = 0;
  std::size_t elements = 0;
  std::size_t text_elements = 0;
};

Scan scan_once(quillfen::chromium::ChromiumPage& page) {
  std::ostringstream quiet;
  const auto trips = page.round_trips();
  const auto start = std::chrono::steady_clock::now();
  const auto [elements, text_elements] = quillfen::bench::fresh_scan(page, quiet);
  const Millis took = std::chrono::steady_clock::now() - start;
  return {took.count(), took.count(), page.round_trips() - trips, elements.size(), text_elements.size()};
}

// The median of `repeat` scans after one warm-up scan, with the best of them; before
// each, `change` (if any) is made to the page.
Scan median_scan(quillfen::chromium::ChromiumPage& page, int repeat,
                 const std::function<void()>& change = nullptr) {
  scan_once(page);
  std::vector<Scan> scans;
  for (int i = 0; i < repeat; ++i) {
    if (change) change();
    scans.push_back(scan_once(page));
  }
  std::sort(scans.begin(), scans.end(), [](const Scan& a, const Scan& b) { return a.millis < b.millis; });
  Scan median = scans[scans.size() / 2];
  median.best_millis = scans.front().millis;
  return median;
}

std::string fixed(double value, int precision = 1) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(precision) << value;
  return out.str();
}

// Scans pages of each size as the runner does, prints a line per size, and then how the
// scan time grows from one size to the next beside how the page grows.
void scan_kind(quillfen::chromium::Browser& browser, const std::string& name, const std::string& title,
               const std::vector<int>& sizes,
               const std::function<std::string(int)>& make, const fs::path& dir, int repeat) {
  if (sizes.empty()) return;
  std::cout << "\n" << title << ": median of the scans after a warm-up (best, round trips), each reading\n"
            << "the whole page; a scan carrying answers over from the one before, after a line added at\n"
            << "the top (every box below it moves); a reused scan\n\n";
  std::cout << std::left << std::setw(10) << "elements" << std::setw(30) << "scan ms (best, trips)" << std::setw(20)
            << "carried ms (best)" << std::setw(14) << "reused ms" << "records, texts\n";
  std::map<int, double> millis;
  for (const int size : sizes) {
    const fs::path file = dir / (name + "_" + std::to_string(size) + ".html");
    std::ofstream(file) << make(size);
    auto page = browser.new_page();
    page->navigate(file.string());
    // Large pages take seconds a scan: fewer of them.
    const int scans = size >= 20000 ? std::min(repeat, 3) : repeat;
    page->set_carrying(false);
    const Scan scan = median_scan(*page, scans);
    page->set_carrying(true);
    const Scan carried = median_scan(*page, scans, [&page] {
      page->evaluate("() => { document.body.prepend(Object.assign(document.createElement('p'), "
                     "{textContent: 'One more line'})); }");
    });
    millis[size] = scan.millis;
    const auto reused = quillfen::bench::reuse_millis(*page, repeat);
    std::cout << std::setw(10) << size << std::setw(30)
              << fixed(scan.millis) + " (" + fixed(scan.best_millis) + ", " + std::to_string(scan.round_trips) + ")"
              << std::setw(20) << fixed(carried.millis) + " (" + fixed(carried.best_millis) + ")" << std::setw(14)
              << (reused ? fixed(*reused) : std::string("-")) << scan.elements << ", "
              << scan.text_elements << "\n";
  }
  for (std::size_t i = 1; i < sizes.size(); ++i) {
    const int from = sizes[i - 1];
    const int to = sizes[i];
    std::cout << "  scan time " << to << " / " << from << ": " << fixed(millis[to] / millis[from], 2)
              << "x for a page " << fixed(static_cast<double>(to) / from, 2) << "x as large\n";
  }
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Runs the peer script on one page; its one line of JSON, or none when it cannot run.
std::optional<std::map<std::string, double>> run_peer(const fs::path& peer_dir, const fs::path& page) {
  if (!fs::exists(peer_dir / "node_modules" / "playwright-core")) {
    return std::nullopt;
  }
  const std::string command =
      "node " + (peer_dir / "peer_scan.mjs").string() + " '" + page.string() + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) {
    return std::nullopt;
  }
  std::string output;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
    output += buffer.data();
  }
  const auto parsed = quillfen::Json::parse(output, nullptr, false);
  if (!parsed.is_object()) {
    return std::nullopt;
  }
  std::map<std::string, double> figures;
  for (const auto& [key, value] : parsed.items()) {
    if (value.is_number()) {
      figures[key] = value.get<double>();
    }
  }
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = parse_options(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("quillfen-scan-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct RemoveDir {
      fs::path dir;
      ~RemoveDir() {
        std::error_code error;
        fs::remove_all(dir, error);
      }
    } remove_dir{dir};
    std::cout << "Chromium scan benchmark; load average at start " << load_average() << "\n";

    std::vector<int> all_sizes = options.sizes;
    all_sizes.insert(all_sizes.end(), options.peer_sizes.begin(), options.peer_sizes.end());
    std::sort(all_sizes.begin(), all_sizes.end());
    all_sizes.erase(std::unique(all_sizes.begin(), all_sizes.end()), all_sizes.end());
    std::map<int, fs::path> pages;
    for (const int size : all_sizes) {
      pages[size] = dir / ("page_" + std::to_string(size) + ".html");
      std::ofstream(pages[size]) << quillfen::bench::generated_page(size);
    }

    std::map<int, Scan> grouped;
    {
      auto browser = quillfen::chromium::Browser::launch();
      std::cout << browser->version() << "\n\n";
      std::cout << "Grouped: median of " << options.repeat << " scans after a warm-up (best, round trips)\n\n";
      std::cout << std::left << std::setw(10) << "elements" << std::setw(30) << "grouped ms (best, trips)"
                << std::setw(28) << "per question ms (trips)" << std::setw(10) << "ratio"
                << "records, texts\n";
      for (const int size : options.sizes) {
        auto page = browser->new_page();
        if (const ActOutcome opened = page->navigate(pages[size].string()); !opened.done()) {
          throw quillfen::PageError(opened.reason);
        }
        page->set_answer_mode(AnswerMode::grouped);
        // Each scan reads the whole page, as the first of a page does.
        page->set_carrying(false);
        const Scan fast = median_scan(*page, options.repeat);
        grouped[size] = fast;
        std::ostringstream fast_text;
        fast_text << std::fixed << std::setprecision(1) << fast.millis << " (" << fast.best_millis << ", "
                  << fast.round_trips << ")";
        std::ostringstream slow_text;
        std::ostringstream ratio;
        if (std::find(options.per_question_sizes.begin(), options.per_question_sizes.end(), size) !=
            options.per_question_sizes.end()) {
          page->set_answer_mode(AnswerMode::per_question);
          const Scan slow = scan_once(*page);
          slow_text << std::fixed << std::setprecision(1) << slow.millis << " (" << slow.round_trips << ")";
          ratio << std::fixed << std::setprecision(1) << slow.millis / fast.millis << "x";
        } else {
          slow_text << "-";
        }
        std::cout << std::setw(10) << size << std::setw(30) << fast_text.str() << std::setw(28) << slow_text.str()
                  << std::setw(10) << ratio.str() << fast.elements << ", " << fast.text_elements << "\n";
      }
    }

    {
      auto browser = quillfen::chromium::Browser::launch();
      scan_kind(*browser, "prose", "Prose, tables, labelled forms and a long feed", options.prose_sizes,
                quillfen::bench::prose_page, dir, options.repeat);
      scan_kind(*browser, "flat", "Flat lists of buttons", options.flat_sizes, quillfen::bench::flat_page, dir,
                options.repeat);
    }

    if (!options.peer_sizes.empty()) {
      std::cout << "\nPeer: Playwright element handles, the per-element questions of the interactable "
                   "elements only (fewer than a full scan asks)\n";
      for (const int size : options.peer_sizes) {
        const auto peer = run_peer(options.peer_dir, pages[size]);
        if (!peer) {
          std::cout << "  the peer did not run: install it with bench/peer/install.sh\n";
          break;
        }
        const double peer_ms = peer->count("millis") ? peer->at("millis") : 0;
        std::cout << "  " << std::setw(6) << size << " elements: " << std::fixed << std::setprecision(1) << peer_ms
                  << " ms for " << static_cast<long>(peer->count("questions") ? peer->at("questions") : 0)
                  << " questions";
        if (grouped.count(size) != 0 && grouped[size].millis > 0) {
          std::cout << "; grouped full scan " << grouped[size].millis << " ms, " << peer_ms / grouped[size].millis
                    << "x faster";
        }
        std::cout << "\n";
      }
    }
    std::cout << "\nload average at end " << load_average() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "chromium_scan_bench: " << e.what() << "\n";
    return 1;
  }
}
