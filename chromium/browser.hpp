// Debian's Chromium, headless, driven over --remote-debugging-pipe.
//
// Each Browser runs in a fresh temporary profile and its own process group. Whatever
// way it ends (destruction, a crash of the browser, or the death of this process by a
// signal) no browser process and no profile directory stay behind: the destructor
// kills the group and removes the profile, and a small guardian process does the same
// if this process dies without running destructors.
#pragma once

#include "chromium/chromium_page.hpp"
#include "chromium/session.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen::chromium {

// The browser is missing or did not start; what() is one sentence for the user.
class LaunchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct LaunchOptions {
  // The browser binary; when none: QUILLFEN_CHROMIUM, then /usr/lib/chromium/chromium,
  // then `chromium` on PATH.
  std::optional<std::filesystem::path> executable;
  std::chrono::milliseconds startup_timeout{20000};
  // Time-out of every protocol command.
  std::chrono::milliseconds command_timeout{30000};
  // A headed browser opens real windows and needs a display (DISPLAY or WAYLAND_DISPLAY).
  bool headless = true;
  int window_width = 1280;
  int window_height = 800;
  std::vector<std::string> extra_arguments;
};

// The browser binary that `launch` would start. Throws LaunchError when there is none.
std::filesystem::path find_chromium(const std::optional<std::filesystem::path>& executable);

class Browser {
 public:
  // Starts the browser and waits until it answers. Throws LaunchError.
  static std::unique_ptr<Browser> launch(const LaunchOptions& options = {});
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // A new blank tab with its own session. Throws PageError.
  std::unique_ptr<ChromiumPage> new_page();

  // The browser's root session (Target.*, Browser.* commands).
  Session& session() { return *root_; }
  const std::string& version() const { return version_; }
  int pid() const;
  const std::filesystem::path& profile_dir() const;

 private:
  struct Process;
  Browser(std::unique_ptr<Process> process, std::shared_ptr<Connection> connection,
          const LaunchOptions& options);

  std::unique_ptr<Process> process_;
  std::shared_ptr<Connection> connection_;
  std::unique_ptr<Session> root_;
  LaunchOptions options_;
  std::string version_;
};

}  // namespace quillfen::chromium
