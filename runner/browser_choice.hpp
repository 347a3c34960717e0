// Which browser a command drives: one it launches (a given binary, headed or not), or
// one already running that it connects to through its DevTools endpoint; and where page
// downloads go (nowhere unless a folder is named). Opening the browser says once, on
// the notes stream, when it runs without its sandbox (as it must when this process runs
// as root).
#pragma once

#include "chromium/browser.hpp"

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace quillfen::runner {

struct BrowserChoice {
  // The binary to launch; none: the usual search (QUILLFEN_CHROMIUM, Debian's chromium).
  std::optional<std::filesystem::path> executable;
  // A running browser's endpoint (ws://... or http://...); when set, nothing is launched.
  std::optional<std::string> endpoint;
  bool headed = false;
  // The folder for page downloads; none denies them. A relative path is taken from the
  // current folder; a launched browser gets the folder made when it is missing.
  std::optional<std::filesystem::path> downloads;
  // A page that answers nothing for this long is taken to hang.
  std::chrono::milliseconds command_timeout{30000};
};

class BrowserOpener {
 public:
  BrowserOpener(BrowserChoice choice, std::ostream& notes);

  // Launches or connects. Throws chromium::LaunchError or chromium::ConnectError (one
  // sentence each), or std::runtime_error when the downloads folder cannot be made.
  std::unique_ptr<chromium::Browser> open();

 private:
  BrowserChoice choice_;
  std::ostream& notes_;
  bool told_about_sandbox_ = false;
};

}  // namespace quillfen::runner
