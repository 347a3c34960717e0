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
    start({one.string(), two.string(), "--junit", "junit.xml", "--json", "run.json", "--report", "report.html"});
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
  start({one.string(), two.string(), "--json", "run.json", "--report", "report.html"});
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

}  // namespace
