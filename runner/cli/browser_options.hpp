// The options that choose the browser, with the same names and help in every command
// that drives one: --chromium PATH (--browser is kept as another name for it) and
// --browser-endpoint URL, which exclude each other.
#pragma once

#include "runner/browser_choice.hpp"

#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace quillfen::cli {

struct BrowserFlags {
  std::string chromium;
  std::string endpoint;

  // Fills in the binary and the endpoint of `choice` from the flags given.
  void apply(runner::BrowserChoice& choice) const;
};

// Adds both options to `command`; returns the endpoint option, for further exclusions.
CLI::Option* add_browser_options(CLI::App& command, BrowserFlags& flags);

}  // namespace quillfen::cli
