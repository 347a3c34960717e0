// Chromium driven over the DevTools protocol: a browser this process launches (Debian's
// Chromium, headless, over --remote-debugging-pipe), or one already running elsewhere that
// it connects to over a WebSocket (--remote-debugging-port, a browser farm).
//
// A launched browser runs in a fresh temporary profile and its own process group.
// Whatever way it ends (destruction, a crash of the browser, or the death of this
// process by a signal) no browser process and no profile directory stay behind: the
// destructor kills the group and removes the profile, and a small guardian process does
// the same if this process dies without running destructors.
//
// A connected browser is not ours: when the Browser object goes, it closes the tabs and
// disposes of the contexts that it opened there, and leaves the browser running.
//
// Downloads are denied unless the options name a folder for them, in the default
// context and in every context made here. (A connected browser's default context is
// set only once a tab is opened there, and set back to the browser's default when the
// Browser object goes.) A Browser or context object waits briefly for downloads under
// way before it goes, since going would cancel them.
#pragma once

#include "chromium/chromium_page.hpp"
#include "chromium/endpoint.hpp"
#include "chromium/session.hpp"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillfen::chromium {

// The browser is missing or did not start; what() is one sentence for the user. (A
// running browser that cannot be connected to throws ConnectError, endpoint.hpp.)
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
  // Where page downloads go, an absolute path; none denies them.
  std::optional<std::filesystem::path> downloads;
};

struct ConnectOptions {
  // ws://HOST:PORT/devtools/browser/ID, or http://HOST:PORT (see endpoint.hpp).
  std::string endpoint;
  // For reaching the browser and its first answer.
  std::chrono::milliseconds connect_timeout{20000};
  // Time-out of every protocol command.
  std::chrono::milliseconds command_timeout{30000};
  // Where page downloads go, an absolute path on the browser's machine; none denies them.
  std::optional<std::filesystem::path> downloads;
};

// The browser binary that `launch` would start. Throws LaunchError when there is none.
std::filesystem::path find_chromium(const std::optional<std::filesystem::path>& executable);

class BrowserContext;

class Browser {
 public:
  // Starts the browser and waits until it answers. Throws LaunchError.
  static std::unique_ptr<Browser> launch(const LaunchOptions& options = {});
  // Connects to a running browser and waits until it answers. Throws ConnectError.
  static std::unique_ptr<Browser> connect(const ConnectOptions& options);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // A new blank tab in the browser's default context, with its own session. Throws
  // PageError.
  std::unique_ptr<ChromiumPage> new_page();
  // A new context: its cookies, storage and cache are its own and seen by no other
  // context. Disposed of (with its tabs) when the object goes. Throws PageError.
  std::unique_ptr<BrowserContext> new_context();

  // The browser's root session (Target.*, Browser.* commands). The Browser object reads
  // the events queued on it for its own needs, and lets them go.
  Session& session() { return *root_; }
  const std::string& version() const { return version_; }
  // Whether this object started the browser (and so owns its process and profile).
  bool launched() const { return process_ != nullptr; }
  // The browser was launched without its sandbox (--no-sandbox), as Chromium requires
  // when it runs as root.
  bool without_sandbox() const { return without_sandbox_; }
  // The process and profile of a launched browser; -1 and an empty path when connected.
  int pid() const;
  const std::filesystem::path& profile_dir() const;

  // What this object opened, shared with its contexts.
  struct Opened;

 private:
  struct Process;
  Browser(std::unique_ptr<Process> process, std::shared_ptr<Connection> connection,
          std::chrono::milliseconds command_timeout, std::optional<std::filesystem::path> downloads);
  // Browser.setDownloadBehavior for a context ("" for the default one).
  void set_downloads(const std::string& context_id);
  // Closes the tabs and disposes of the contexts opened in a browser that is not ours.
  void close_what_was_opened();

  std::unique_ptr<Process> process_;
  std::shared_ptr<Connection> connection_;
  std::shared_ptr<Session> root_;
  std::chrono::milliseconds command_timeout_;
  std::optional<std::filesystem::path> downloads_;
  bool without_sandbox_ = false;
  // The default context's downloads were set (at launch, or before the first tab there).
  bool default_downloads_set_ = false;
  std::shared_ptr<Opened> opened_;
  std::string version_;
};

// An isolated context of a browser (Target.createBrowserContext), owned by its creator.
class BrowserContext {
 public:
  // Disposes of the context, closing its tabs.
  ~BrowserContext();
  BrowserContext(const BrowserContext&) = delete;
  BrowserContext& operator=(const BrowserContext&) = delete;

  // A new blank tab in this context. Throws PageError.
  std::unique_ptr<ChromiumPage> new_page();
  const std::string& id() const { return id_; }

 private:
  friend class Browser;
  BrowserContext(std::shared_ptr<Connection> connection, std::string id, std::chrono::milliseconds command_timeout,
                 std::shared_ptr<Browser::Opened> opened);

  std::shared_ptr<Connection> connection_;
  std::string id_;
  std::chrono::milliseconds command_timeout_;
  std::shared_ptr<Browser::Opened> opened_;
};

}  // namespace quillfen::chromium
