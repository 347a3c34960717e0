// Whole `quillfen run` processes on the demo scripts (examples/*.test against the demo
// shop in examples/site): with a browser that each run launches, and with one already
// running that each run reaches through --browser-endpoint. The two kinds of run take
// turns in one session, so that both see the same machine; the figures are wall-clock
// seconds per run (start-up, every step, the report), their medians and best, and the
// ratio of the medians. --suite runs a folder of scripts instead, and --workers passes
// that many workers to both kinds of run.
//
// Usage: quillfen_remote_bench [--rounds 5] [--quillfen PATH] [--suite DIR] [--workers N]
#include "tests/remote_chromium.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* USAGE =
    "Usage: quillfen_remote_bench [--rounds 5] [--quillfen PATH] [--suite DIR] [--workers N]\n";

std::string shell_quoted(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the command and returns its wall-clock seconds; exits when it fails.
double seconds_of(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) {
    std::cerr << "remote bench: this run failed (status " << status << "): " << command << "\n";
    std::exit(1);
  }
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5;
  std::string quillfen = QUILLFEN_EXE;
  std::string suite;
  std::string workers;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--quillfen" && i + 1 < argc) {
      quillfen = argv[++i];
    } else if (arg == "--suite" && i + 1 < argc) {
      suite = argv[++i];
    } else if (arg == "--workers" && i + 1 < argc) {
      workers = argv[++i];
    } else {
      std::cerr << USAGE;
      return arg == "--help" ? 0 : 2;
    }
  }

  std::vector<std::string> scripts;
  if (suite.empty()) {
    for (const auto& entry : fs::directory_iterator(fs::path(QUILLFEN_SOURCE_DIR) / "examples")) {
      if (entry.path().extension() == ".test") scripts.push_back(entry.path().string());
    }
    std::sort(scripts.begin(), scripts.end());
  } else {
    scripts.push_back(suite);
  }
  std::string pattern = (fs::temp_directory_path() / "quillfen-remote-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::cerr << "remote bench: cannot make a temporary folder\n";
    return 1;
  }
  const fs::path work = pattern;
  std::string run = shell_quoted(quillfen) + " run";
  for (const auto& s : scripts) run += " " + shell_quoted(s);
  if (!workers.empty()) run += " --workers " + shell_quoted(workers);
  run += " --report " + shell_quoted((work / "report.html").string()) + " >/dev/null 2>&1";

  quillfen::test::RemoteChromium remote;
  const std::string endpoint = run + " --browser-endpoint " + shell_quoted(remote.http_endpoint());
  std::cout << "quillfen run on " << (suite.empty() ? std::to_string(scripts.size()) + " demo scripts" : suite)
            << (workers.empty() ? "" : " with --workers " + workers) << ", whole process, " << rounds
            << " rounds taking turns (" << remote.http_endpoint() << " for the running browser)\n";
  // One unmeasured run of each warms the disk cache and the running browser.
  seconds_of(run);
  seconds_of(endpoint);
  std::vector<double> launched;
  std::vector<double> connected;
  std::cout << std::fixed << std::setprecision(2);
  for (int round = 1; round <= rounds; ++round) {
    launched.push_back(seconds_of(run));
    connected.push_back(seconds_of(endpoint));
    std::cout << "  round " << round << ": launched " << launched.back() << " s, --browser-endpoint "
              << connected.back() << " s\n";
  }
  const double launched_median = median(launched);
  const double connected_median = median(connected);
  std::cout << "\n                        median      best\n"
            << "  launched browser    " << std::setw(7) << launched_median << " s " << std::setw(7)
            << *std::min_element(launched.begin(), launched.end()) << " s\n"
            << "  --browser-endpoint  " << std::setw(7) << connected_median << " s " << std::setw(7)
            << *std::min_element(connected.begin(), connected.end()) << " s\n"
            << "  ratio (launched / endpoint, medians): " << launched_median / connected_median << "x\n";
  fs::remove_all(work);
  return 0;
}
