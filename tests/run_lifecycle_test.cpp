// `quillfen run` as a CI job lives it: stopped by SIGTERM or Ctrl-C in the middle of a
// step, and its browser killed in the middle of a script. The run is started in the
// background, watched through its console output, and disturbed at a known step.
#include "engine/core/records.hpp"
#include "tests/cli_support.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillfen::cli_support;
using namespace std::chrono_literals;

const fs::path FORM = fs::path(QUILLFEN_SOURCE_DIR) / "tests" / "fixtures" / "runner" / "form.html";

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
  return n;
}

class BackgroundRun : public TempDirTest {
 protected:
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    TempDirTest::TearDown();
  }

  // Starts `quillfen run ARGUMENTS` in the test's folder, its output going to files.
  void start(const std::vector<std::string>& arguments) {
    std::vector<std::string> args{QUILLFEN_EXE, "run"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // What an earlier run printed must not be taken for this one's.
    fs::remove(dir_ / "out.txt");
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      const int out = ::open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }

  // Waits until the console shows `text`; false after a minute.
  bool wait_for_output(const std::string& text) const {
    const auto give_up = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < give_up) {
      if (slurp(dir_ / "out.txt").find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  // The exit code, or -signal when the run was killed by one; waits at most a minute.
  int wait_for_exit() {
    const auto give_up = std::chrono::steady_clock::now() + 60s;
    int status = 0;
    while (std::chrono::steady_clock::now() < give_up) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1000;
  }

  // The browser processes this run started (its direct children that are Chromium).
  std::vector<pid_t> browsers() const {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string stat = slurp(entry.path() / "stat");
      const auto open = stat.find('(');
      const auto close = stat.rfind(')');
      if (open == std::string::npos || close == std::string::npos) continue;
      const std::string comm = stat.substr(open + 1, close - open - 1);
      const pid_t parent = std::stoi(stat.substr(close + 4));
      if (parent == pid_ && comm.rfind("chrom", 0) == 0) found.push_back(std::stoi(name));
    }
    return found;
  }

  pid_t pid_ = -1;
};

TEST_F(BackgroundRun, ASignalEndsTheStepUnderWayAndTheReportsCoverWhatRan) {
  for (const int signal : {SIGTERM, SIGINT}) {
    const std::string name = signal == SIGTERM ? "SIGTERM" : "SIGINT";
    SCOPED_TRACE(name);
    const fs::path one = write("one.test", "navigate " + FORM.string() + "\nclick \"Show values\"\nwait 60000\n"
                                           "click \"Show values\"\n");
    const fs::path two = write("two.test", "navigate " + FORM.string() + "\n");
    start({one.string(), two.string(), "--workers", "1", "--junit", "junit.xml", "--json", "run.json", "--report",
           "report.html"});
    ASSERT_TRUE(wait_for_output("[PASS] click \"Show values\"")) << slurp(dir_ / "out.txt");
    std::this_thread::sleep_for(300ms);
    const auto signalled = std::chrono::steady_clock::now();
    ::kill(pid_, signal);
    EXPECT_EQ(wait_for_exit(), 128 + signal) << slurp(dir_ / "out.txt") << slurp(dir_ / "err.txt");
    // The wait of a minute did not hold the run: a bound ten times looser than needed.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 30s);

    const std::string out = slurp(dir_ / "out.txt");
    EXPECT_NE(out.find("  [FAIL] wait 60000\n         note    : the run was interrupted (" + name + ") during the wait\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(count_of(out, "         note    : not run: the run was interrupted (" + name + ")\n"), 2) << out;
    EXPECT_NE(out.find("[2/2] " + two.string() + ": 1 not run in "), std::string::npos) << out;
    EXPECT_NE(out.find("  Failed       : 3\n"), std::string::npos) << out;

    EXPECT_TRUE(fs::exists(dir_ / "report.html"));
    const std::string junit = slurp(dir_ / "junit.xml");
    EXPECT_NE(junit.find("<testsuites name=\"quillfen\" tests=\"5\" failures=\"3\""), std::string::npos) << junit;
    const quillfen::Json json = quillfen::Json::parse(slurp(dir_ / "run.json"));
    EXPECT_EQ(json["status"], "interrupted");
    EXPECT_EQ(json["interrupted"], name);
    EXPECT_EQ(json["scripts"][0]["steps"][1]["status"], "passed");
    EXPECT_EQ(json["scripts"][0]["steps"][2]["status"], "failed");
    EXPECT_EQ(json["scripts"][0]["steps"][3]["status"], "not_run");
    EXPECT_EQ(json["scripts"][1]["steps"][0]["status"], "not_run");
    EXPECT_EQ(json["command_line"][2], one.string());
  }
}

TEST_F(BackgroundRun, ABrowserKilledMidRunCostsOneScriptAndANewOneRunsTheNext) {
  const fs::path one = write("one.test", "navigate " + FORM.string() + "\nclick \"Show values\"\nwait 2000\n"
                                         "click \"Show values\"\nverify \"Show values\" is present\n");
  const fs::path two = write("two.test", "navigate " + FORM.string() + "\nclick \"Show values\"\n");
  start({one.string(), two.string(), "--workers", "1", "--json", "run.json", "--report", "report.html"});
  ASSERT_TRUE(wait_for_output("[PASS] click \"Show values\"")) << slurp(dir_ / "out.txt");
  const std::vector<pid_t> killed = browsers();
  ASSERT_EQ(killed.size(), 1u);
  ::kill(-killed[0], SIGKILL);
  EXPECT_EQ(wait_for_exit(), 1) << slurp(dir_ / "out.txt") << slurp(dir_ / "err.txt");

  const std::string out = slurp(dir_ / "out.txt");
  EXPECT_NE(out.find("\n[2/2] " + two.string() + "\n         note    : the browser had stopped answering; "
                     "a new one was started for this script\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[2/2] " + two.string() + ": 2 passed in "), std::string::npos) << out;
  const quillfen::Json json = quillfen::Json::parse(slurp(dir_ / "run.json"));
  EXPECT_EQ(json["scripts"][0]["counts"]["passed"], 2);
  EXPECT_EQ(json["scripts"][0]["status"], "failed");
  EXPECT_EQ(json["scripts"][1]["status"], "passed");
  EXPECT_FALSE(json["browser"].get<std::string>().empty());
}

// The times of a text, which differ from run to run, blotted out.
std::string without_times(const std::string& text) {
  std::string out = std::regex_replace(text, std::regex(" in [0-9.]+ s"), " in _ s");
  out = std::regex_replace(out, std::regex("time=\"[0-9.]+\""), "time=\"_\"");
  return std::regex_replace(out, std::regex("(TEST RUN SUMMARY)[^\n]*"), "$1");
}

TEST_F(BackgroundRun, AFolderRunsOnWorkersAsItRunsSeriallyAndShardsSplitIt) {
  const fs::path suite = dir_ / "suite";
  fs::create_directories(suite / "more");
  const std::string open = "navigate " + FORM.string() + "\n";
  write("suite/b.test", open + "click \"Show values\"\nverify \"Show values\" is present\n");
  write("suite/a.test", open + "wait 400\nclick \"Show values\"\n");
  write("suite/more/c.test", open + "click \"No such button\"\n");
  write("suite/d.test", open + "verify \"Show values\" is present\n");
  write("suite/notes.txt", "not a script\n");
  const auto run = [this, &suite](const std::vector<std::string>& extra) {
    std::string command = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE) + " run " +
                          shell_quoted(suite.string()) + " --timeout 4000";
    for (const auto& a : extra) command += " " + shell_quoted(a);
    return run_shell(command, dir_ / "stderr");
  };
  const Outcome serial = run({"--workers", "1", "--junit", "junit.xml"});
  const std::string serial_junit = slurp(dir_ / "junit.xml");
  EXPECT_EQ(serial.status, 1) << serial.out << serial.err;
  // Sorted by path, the folder's folders too.
  const std::vector<std::string> order{"a.test", "b.test", "d.test", "more/c.test"};
  std::size_t at = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::string heading = "[" + std::to_string(i + 1) + "/4] " + (suite / order[i]).string() + "\n";
    const auto found = serial.out.find(heading, at);
    ASSERT_NE(found, std::string::npos) << heading << serial.out;
    at = found;
  }
  const Outcome parallel = run({"--workers", "3", "--junit", "junit.xml"});
  EXPECT_EQ(parallel.status, 1) << parallel.out << parallel.err;
  EXPECT_EQ(without_times(parallel.out), without_times(serial.out));
  EXPECT_EQ(without_times(slurp(dir_ / "junit.xml")), without_times(serial_junit));

  // Two shards: each script in exactly one, the failure in the shard that holds it.
  const Outcome first = run({"--shard", "1/2"});
  const Outcome second = run({"--shard", "2/2"});
  EXPECT_EQ(first.status, 0) << first.out;
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_NE(first.out.find("[1/2] " + (suite / "a.test").string() + "\n"), std::string::npos) << first.out;
  EXPECT_NE(first.out.find("[2/2] " + (suite / "d.test").string() + "\n"), std::string::npos) << first.out;
  EXPECT_NE(second.out.find("[1/2] " + (suite / "b.test").string() + "\n"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("[2/2] " + (suite / "more/c.test").string() + "\n"), std::string::npos) << second.out;

  // More shards than scripts: an empty one says so, passes, and starts no browser (the
  // one named here could not start).
  const Outcome none = run({"--shard", "5/5", "--chromium", (dir_ / "no-such-chromium").string()});
  EXPECT_EQ(none.status, 0) << none.out << none.err;
  EXPECT_NE(none.out.find("Shard 5/5 has no script to run."), std::string::npos) << none.out;

  // Bad shards and empty folders are one line each, exit 2, before any browser starts.
  for (const auto& bad : {std::vector<std::string>{"--shard", "3/2"}, std::vector<std::string>{"--shard", "x"},
                          std::vector<std::string>{"--workers", "0"}}) {
    const Outcome refused = run(bad);
    EXPECT_EQ(refused.status, 2) << bad[0] << " " << bad[1] << refused.out << refused.err;
  }
  fs::create_directories(dir_ / "empty");
  const Outcome empty = run_shell(shell_quoted(QUILLFEN_EXE) + " run " + shell_quoted((dir_ / "empty").string()),
                                  dir_ / "stderr");
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, "quillfen run: the folder " + (dir_ / "empty").string() + " holds no *.test script.\n");
}

// Each script starts from a clean browser profile: what one stored, the next does not
// see, whether it runs on the same worker or another.
TEST_F(BackgroundRun, AScriptDoesNotSeeWhatAnEarlierScriptStored) {
  const fs::path page = write("storage.html",
                              "<!doctype html><p id=\"seen\"></p>\n"
                              "<button onclick=\"localStorage.setItem('kept', 'yes');"
                              " document.getElementById('seen').textContent = 'stored now'\">Store</button>\n"
                              "<script>document.getElementById('seen').textContent ="
                              " localStorage.getItem('kept') ? 'storage kept' : 'storage empty';</script>\n");
  const std::string open = "navigate " + page.string() + "\n";
  write("1-store.test", open + "verify text storage empty is visible\nclick \"Store\"\n"
                               "verify text stored now is visible\n");
  write("2-look.test", open + "verify text storage empty is visible\n");
  for (const std::string workers : {"1", "2"}) {
    const Outcome run = run_shell("cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(QUILLFEN_EXE) +
                                      " run 1-store.test 2-look.test --workers " + workers,
                                  dir_ / "stderr");
    EXPECT_EQ(run.status, 0) << "--workers " << workers << "\n" << run.out << run.err;
  }
}

}  // namespace
