// A Chromium that waits for DevTools clients on a TCP port, as a user or a browser farm
// runs one: started headless with --remote-debugging-port=0 and a fresh profile under
// TMPDIR (named like the profiles of launched browsers, so that the suites' leak check
// covers it), with the launched browser's flags so that pages lay out the same. The port
// is read from the profile's DevToolsActivePort. When the object goes, the browser's
// process group and every process naming the profile are killed and the profile is
// removed. Used by the browser tests and the remote benchmark.
#pragma once

#include "chromium/browser.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::test {

class RemoteChromium {
 public:
  RemoteChromium() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "quillfen-chromium-r-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a profile folder for the remote browser");
    }
    profile_ = pattern;
    std::vector<std::string> args{chromium::find_chromium(std::nullopt).string(),
                                  "--headless",
                                  "--remote-debugging-port=0",
                                  "--user-data-dir=" + profile_.string(),
                                  "--no-first-run",
                                  "--no-default-browser-check",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--disable-breakpad",
                                  "--disable-crash-reporter",
                                  "--disable-gpu",
                                  "--disable-dev-shm-usage",
                                  "--disable-extensions",
                                  "--hide-scrollbars",
                                  "--mute-audio",
                                  "--password-store=basic",
                                  "--window-size=1280,800"};
    if (::geteuid() == 0) args.emplace_back("--no-sandbox");
    args.emplace_back("about:blank");
    // Crash reports stay in the profile, and so do the browser's temporary files when
    // the path leaves room for its socket (TMPDIR/org.chromium.Chromium.XXXXXX/
    // SingletonSocket, 107 bytes at most); else stop() removes their folder.
    std::vector<std::string> environment{"BREAKPAD_DUMP_LOCATION=" + (profile_ / "crashes").string()};
    const bool tmp_in_profile = (profile_ / "t").string().size() <= 107 - 45;
    if (tmp_in_profile) {
      fs::create_directory(profile_ / "t");
      environment.push_back("TMPDIR=" + (profile_ / "t").string());
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string v = *variable;
      if ((!tmp_in_profile || v.rfind("TMPDIR=", 0) != 0) && v.rfind("BREAKPAD_DUMP_LOCATION=", 0) != 0) {
        environment.push_back(v);
      }
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int log = ::open((profile_ / "chromium.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      if (log >= 0) ::dup2(log, 2);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    if (log >= 0) ::close(log);
    ::setpgid(pid_, pid_);
    // The browser writes the port and its WebSocket path once it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream in(profile_ / "DevToolsActivePort");
      std::string path;
      if (in >> port_ >> path && !path.empty()) {
        path_ = path;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    throw std::runtime_error("the remote browser did not open its debugging port within 60 s");
  }

  ~RemoteChromium() { stop(); }
  RemoteChromium(const RemoteChromium&) = delete;
  RemoteChromium& operator=(const RemoteChromium&) = delete;

  std::string http_endpoint() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string ws_endpoint() const { return "ws://127.0.0.1:" + std::to_string(port_) + path_; }
  pid_t pid() const { return pid_; }
  const std::filesystem::path& profile() const { return profile_; }

  // The browser still runs.
  bool running() const { return is_running(pid_); }

  // A process runs: it exists and is not a zombie waiting for its parent.
  static bool is_running(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
  }

 private:
  void stop() {
    namespace fs = std::filesystem;
    if (pid_ > 0) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    // Helpers that left the group name the profile on their command line.
    for (int round = 0; round < 100; ++round) {
      int found = 0;
      std::error_code error;
      for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        const std::string line{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (line.find(profile_.string()) != std::string::npos && is_running(std::stoi(name))) {
          ::kill(std::stoi(name), SIGKILL);
          ++found;
        }
      }
      if (found == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::error_code error;
    const fs::path socket = fs::read_symlink(profile_ / "SingletonSocket", error);
    if (!error && socket.parent_path().filename().string().rfind("org.chromium.", 0) == 0) {
      fs::remove_all(socket.parent_path(), error);
    }
    fs::remove_all(profile_, error);
  }

  std::filesystem::path profile_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string path_;
};

}  // namespace quillfen::test
