// The scenario benchmark: one 16-step scenario (bench/scenario/scenario.test) on generated
// report pages of several sizes (counted in interactable elements, as the scan reads them), run as whole runs of `quillfen run` and of the same steps
// written for Playwright (bench/peer/scenario.mjs), interleaved (quillfen, peer, quillfen,
// peer, ...) so that both see the same machine. Start-up is timed from outside, from the
// start of the command to the arrival of the first step's line; each later step from its
// start to its end, as each side measures it (quillfen's JUnit file, the peer's own line),
// so that a busy machine's delay in reading the output does not blur short steps. Prints,
// per size, the median milliseconds of every step for each and their ratio, the start-up
// time, and whether every step passed and none took longer than its time-out.
//
// Usage: quillfen_scenario_bench [--sizes 200,1000,5000,20000] [--runs 3] [--large-runs 1]
//        [--timeout 5000] [--quillfen PATH] [--peer DIR]
#include "bench/scenario/scenario_page.hpp"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

const fs::path SCENARIO = fs::path(QUILLFEN_SOURCE_DIR) / "bench" / "scenario" / "scenario.test";

struct Options {
  std::vector<int> sizes{200, 1000, 5000, 20000};
  int runs = 3;        // interleaved pairs of runs on pages below 5,000 elements
  int large_runs = 1;  // and on the larger ones, whose runs take minutes
  int timeout_ms = 5000;
  fs::path quillfen = QUILLFEN_EXE;
  fs::path peer_dir = fs::path(QUILLFEN_SOURCE_DIR) / "bench" / "peer";
};

constexpr const char* USAGE =
    "Usage: quillfen_scenario_bench [--sizes 200,1000,5000,20000] [--runs 3] [--large-runs 1]\n"
    "       [--timeout 5000] [--quillfen PATH] [--peer DIR]\n"
    "Runs the scenario of bench/scenario/scenario.test with quillfen and with Playwright\n"
    "(bench/peer/scenario.mjs; install it with bench/peer/install.sh), interleaved. --runs\n"
    "pairs of runs per page below 5,000 elements, --large-runs on the larger pages.\n";

std::vector<int> parse_sizes(const std::string& text) {
  std::vector<int> sizes;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty()) sizes.push_back(std::stoi(item));
  }
  return sizes;
}

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      std::cout << USAGE;
      std::exit(0);
    }
    if (i + 1 >= argc) throw std::invalid_argument(flag + " needs a value");
    const std::string value = argv[i + 1];
    if (flag == "--sizes") {
      options.sizes = parse_sizes(value);
    } else if (flag == "--runs") {
      options.runs = std::max(1, std::stoi(value));
    } else if (flag == "--large-runs") {
      options.large_runs = std::max(1, std::stoi(value));
    } else if (flag == "--timeout") {
      options.timeout_ms = std::max(1, std::stoi(value));
    } else if (flag == "--quillfen") {
      options.quillfen = value;
    } else if (flag == "--peer") {
      options.peer_dir = value;
    } else {
      throw std::invalid_argument("unknown option " + flag);
    }
  }
  return options;
}

std::string shell_quoted(const std::string& s) {
  std::string quoted = "'";
  for (const char c : s) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// One whole run: when each step's line arrived, counted from the start of the command,
// and how long each step took from its start to its end.
struct Run {
  std::vector<std::string> lines;  // the step lines, without their "[PASS]" mark
  std::vector<double> ends_ms;     // when each step line arrived
  std::vector<double> took_ms;     // each step's own time, when the run says it
  int failed_at = -1;              // index of the first failed step, or -1
  std::string failure;             // its line and the reason that followed it
  int status = -1;
  double whole_ms = 0;

  bool passed(std::size_t steps) const { return status == 0 && failed_at < 0 && lines.size() == steps; }
  // The first step: from the start of the command to its line (start-up included); a
  // later one: its own time, else the time between its line and the one before.
  double step_ms(std::size_t i) const {
    if (i == 0) return ends_ms[0];
    return took_ms.size() == ends_ms.size() ? took_ms[i] : ends_ms[i] - ends_ms[i - 1];
  }
};

constexpr std::string_view TOOK = "  (took ";

// A step line's own time, "  (took 12.5 ms)" at its end, taken off the line.
std::optional<double> take_time(std::string& line) {
  const auto at = line.rfind(TOOK);
  if (at == std::string::npos) return std::nullopt;
  const double ms = std::strtod(line.c_str() + at + TOOK.size(), nullptr);
  line.erase(at);
  return ms;
}

// The time of each test case of a JUnit file, in milliseconds, in order.
std::vector<double> junit_times(const fs::path& file) {
  std::vector<double> times;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.find("<testcase ") == std::string::npos) continue;
    const auto at = line.rfind(" time=\"");
    if (at != std::string::npos) times.push_back(1000 * std::strtod(line.c_str() + at + 7, nullptr));
  }
  return times;
}

Run timed_run(const std::string& command) {
  Run run;
  const auto started = Clock::now();
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) throw std::runtime_error("cannot start: " + command);
  char* buffer = nullptr;
  std::size_t capacity = 0;
  bool note_expected = false;
  for (ssize_t n; (n = ::getline(&buffer, &capacity, pipe.get())) >= 0;) {
    const double at = Millis(Clock::now() - started).count();
    std::string line(buffer, static_cast<std::size_t>(n));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const bool pass = line.rfind("  [PASS] ", 0) == 0;
    const bool fail = line.rfind("  [FAIL] ", 0) == 0;
    if (pass || fail) {
      line.erase(0, 9);
      if (const auto took = take_time(line)) run.took_ms.push_back(*took);
      run.lines.push_back(line);
      run.ends_ms.push_back(at);
      if (fail && run.failed_at < 0) {
        run.failed_at = static_cast<int>(run.lines.size()) - 1;
        run.failure = line;
        note_expected = true;
      }
    } else if (note_expected && !line.empty()) {
      run.failure += " / " + line.substr(line.find_first_not_of(' '));
      note_expected = false;
    }
  }
  std::free(buffer);
  const int status = ::pclose(pipe.release());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.whole_ms = Millis(Clock::now() - started).count();
  return run;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string fixed(double value, int digits = 1) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(digits) << value;
  return out.str();
}

std::string ratio(double ours, double peer) { return peer > 0 ? fixed(ours / peer, 2) + "x" : "-"; }

// The figures of one side (quillfen or the peer) on one page, over its passing runs.
struct Side {
  std::vector<Run> runs;

  std::vector<const Run*> passing(std::size_t steps) const {
    std::vector<const Run*> good;
    for (const auto& run : runs) {
      if (run.passed(steps)) good.push_back(&run);
    }
    return good;
  }
  double step_ms(std::size_t i, std::size_t steps) const {
    std::vector<double> values;
    for (const Run* run : passing(steps)) values.push_back(run->step_ms(i));
    return median(values);
  }
  // Milliseconds per step after the first (the first one's line marks the end of start-up).
  double per_step_ms(std::size_t steps) const {
    std::vector<double> values;
    for (const Run* run : passing(steps)) {
      double sum = 0;
      for (std::size_t i = 1; i < steps; ++i) sum += run->step_ms(i);
      values.push_back(sum / static_cast<double>(steps - 1));
    }
    return median(values);
  }
  double whole_ms(std::size_t steps) const {
    std::vector<double> values;
    for (const Run* run : passing(steps)) values.push_back(run->whole_ms);
    return median(values);
  }
  // "step N (LINE) took T ms in run R" for each step past the time-out, in any run.
  std::vector<std::string> over_timeout(int timeout_ms) const {
    std::vector<std::string> found;
    for (std::size_t r = 0; r < runs.size(); ++r) {
      for (std::size_t i = 1; i < runs[r].ends_ms.size(); ++i) {
        if (runs[r].step_ms(i) > timeout_ms) {
          found.push_back("step " + std::to_string(i + 1) + " (" + runs[r].lines[i] + ") took " +
                          fixed(runs[r].step_ms(i), 0) + " ms in run " + std::to_string(r + 1));
        }
      }
    }
    return found;
  }
  std::string passed_text(std::size_t steps) const {
    return std::to_string(passing(steps).size()) + " of " + std::to_string(runs.size()) + " runs";
  }
};

std::vector<std::string> scenario_steps() {
  std::ifstream in(SCENARIO);
  if (!in) throw std::runtime_error("cannot read " + SCENARIO.string());
  std::vector<std::string> steps;
  for (std::string line; std::getline(in, line);) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos && line[first] != '#') steps.push_back(line.substr(first));
  }
  return steps;
}

struct Summary {
  int elements = 0;
  double ours_per_step = 0, peer_per_step = 0, ours_startup = 0, peer_startup = 0;
  std::string ours_passed, peer_passed;
  std::size_t over_timeout = 0;
};

void print_failures(const char* who, const Side& side, std::size_t steps) {
  for (std::size_t r = 0; r < side.runs.size(); ++r) {
    const Run& run = side.runs[r];
    if (run.passed(steps)) continue;
    std::cout << "  " << who << " run " << r + 1 << " did not pass (exit " << run.status << ", " << run.lines.size()
              << " of " << steps << " step lines)";
    if (run.failed_at >= 0) std::cout << ": step " << run.failed_at + 1 << " failed: " << run.failure;
    std::cout << "\n";
  }
}

Summary bench_size(const Options& options, const std::vector<std::string>& steps, int size, const fs::path& dir,
                   bool with_peer) {
  const fs::path here = dir / std::to_string(size);
  fs::create_directories(here);
  const auto page = quillfen::bench::scenario_page(size);
  std::ofstream(here / "page.html") << page.html;
  fs::copy_file(SCENARIO, here / "scenario.test", fs::copy_options::overwrite_existing);

  const std::string timeout = std::to_string(options.timeout_ms);
  const std::string ours_command = "cd " + shell_quoted(here.string()) + " && exec " +
                                   shell_quoted(options.quillfen.string()) + " run scenario.test --timeout " +
                                   timeout + " --report report.html --junit junit.xml 2>quillfen.err";
  const std::string peer_command = "exec node " + shell_quoted((options.peer_dir / "scenario.mjs").string()) + " " +
                                   shell_quoted((here / "page.html").string()) + " " + timeout + " 2>" +
                                   shell_quoted((here / "peer.err").string());

  const int runs = size < 5000 ? options.runs : options.large_runs;
  Side ours, peer;
  for (int r = 0; r < runs; ++r) {
    fs::remove(here / "junit.xml");
    ours.runs.push_back(timed_run(ours_command));
    ours.runs.back().took_ms = junit_times(here / "junit.xml");
    if (with_peer) peer.runs.push_back(timed_run(peer_command));
  }

  const std::size_t n = steps.size();
  std::cout << "\n" << page.interactables << " interactable elements (" << page.elements << " in the body), " << runs
            << " run"
            << (runs == 1 ? "" : "s") << " of each, interleaved; median ms\n";
  std::cout << std::left << std::setw(62) << "step" << std::right << std::setw(12) << "quillfen" << std::setw(10)
            << "peer" << std::setw(10) << "ratio" << "\n";
  const bool ours_ok = !ours.passing(n).empty();
  const bool peer_ok = !peer.passing(n).empty();
  for (std::size_t i = 0; i < n; ++i) {
    const double a = ours_ok ? ours.step_ms(i, n) : 0;
    const double b = peer_ok ? peer.step_ms(i, n) : 0;
    const std::string name = i == 0 ? "start-up to the first step's line (" + steps[0] + ")" : steps[i];
    std::cout << std::left << std::setw(62) << name.substr(0, 61) << std::right << std::setw(12)
              << (ours_ok ? fixed(a) : "-") << std::setw(10) << (peer_ok ? fixed(b) : "-") << std::setw(10)
              << (ours_ok && peer_ok ? ratio(a, b) : "-") << "\n";
  }
  Summary summary;
  summary.elements = page.interactables;
  summary.ours_per_step = ours_ok ? ours.per_step_ms(n) : 0;
  summary.peer_per_step = peer_ok ? peer.per_step_ms(n) : 0;
  summary.ours_startup = ours_ok ? ours.step_ms(0, n) : 0;
  summary.peer_startup = peer_ok ? peer.step_ms(0, n) : 0;
  std::cout << std::left << std::setw(62) << "ms per step after the first" << std::right << std::setw(12)
            << (ours_ok ? fixed(summary.ours_per_step) : "-") << std::setw(10)
            << (peer_ok ? fixed(summary.peer_per_step) : "-") << std::setw(10)
            << (ours_ok && peer_ok ? ratio(summary.ours_per_step, summary.peer_per_step) : "-") << "\n";
  std::cout << std::left << std::setw(62) << "whole run (start to exit)" << std::right << std::setw(12)
            << (ours_ok ? fixed(ours.whole_ms(n)) : "-") << std::setw(10) << (peer_ok ? fixed(peer.whole_ms(n)) : "-")
            << std::setw(10) << (ours_ok && peer_ok ? ratio(ours.whole_ms(n), peer.whole_ms(n)) : "-") << "\n";

  summary.ours_passed = ours.passed_text(n);
  summary.peer_passed = with_peer ? peer.passed_text(n) : "not run";
  std::cout << "every step passed: quillfen " << summary.ours_passed << ", peer " << summary.peer_passed << "\n";
  print_failures("quillfen", ours, n);
  print_failures("peer", peer, n);
  auto over = ours.over_timeout(options.timeout_ms);
  for (auto& line : peer.over_timeout(options.timeout_ms)) over.push_back("peer: " + line);
  summary.over_timeout = over.size();
  std::cout << "steps over the " << options.timeout_ms << " ms time-out: " << (over.empty() ? "none" : "") << "\n";
  for (const auto& line : over) std::cout << "  " << line << "\n";
  std::cout.flush();
  return summary;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = parse_options(argc, argv);
    const auto steps = scenario_steps();
    if (steps.size() < 2) throw std::runtime_error(SCENARIO.string() + " holds fewer than two steps");
    const bool with_peer = fs::exists(options.peer_dir / "node_modules" / "playwright-core");

    const fs::path dir = fs::temp_directory_path() / ("quillfen-scenario-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct RemoveDir {
      fs::path dir;
      ~RemoveDir() {
        std::error_code error;
        fs::remove_all(dir, error);
      }
    } remove_dir{dir};

    std::cout << "Scenario benchmark: " << steps.size() << " steps of " << SCENARIO.filename().string()
              << ", quillfen against Playwright; load average at start " << load_average() << "\n";
    if (!with_peer) std::cout << "The peer is not installed (bench/peer/install.sh): quillfen runs alone.\n";

    std::vector<Summary> summaries;
    for (const int size : options.sizes) summaries.push_back(bench_size(options, steps, size, dir, with_peer));

    std::cout << "\nSummary (interactable elements; median ms per step after the first; start-up to the\n"
                 "first step's line)\n";
    std::cout << std::right << std::setw(9) << "elements" << std::setw(12) << "quillfen" << std::setw(10) << "peer"
              << std::setw(9) << "ratio" << std::setw(14) << "start-up q." << std::setw(10) << "peer" << std::setw(9)
              << "ratio" << "  passed (quillfen; peer), steps over time-out\n";
    for (const auto& s : summaries) {
      std::cout << std::setw(9) << s.elements << std::setw(12) << fixed(s.ours_per_step) << std::setw(10)
                << fixed(s.peer_per_step) << std::setw(9) << ratio(s.ours_per_step, s.peer_per_step) << std::setw(14)
                << fixed(s.ours_startup) << std::setw(10) << fixed(s.peer_startup) << std::setw(9)
                << ratio(s.ours_startup, s.peer_startup) << "  " << s.ours_passed << "; " << s.peer_passed << ", "
                << s.over_timeout << "\n";
    }
    std::cout << "load average at end " << load_average() << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "scenario_bench: " << e.what() << "\n";
    return 1;
  }
}
