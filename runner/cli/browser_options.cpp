#include "runner/cli/browser_options.hpp"

#include <CLI/CLI.hpp>

namespace quillfen::cli {

void BrowserFlags::apply(runner::BrowserChoice& choice) const {
  if (!chromium.empty()) {
    choice.executable = std::filesystem::path(chromium);
  }
  if (!endpoint.empty()) {
    choice.endpoint = endpoint;
  }
}

CLI::Option* add_browser_options(CLI::App& command, BrowserFlags& flags) {
  CLI::Option* chromium = command.add_option(
      "--chromium,--browser", flags.chromium,
      "The Chromium binary to launch (default: $QUILLFEN_CHROMIUM, then Debian's chromium)");
  CLI::Option* endpoint = command.add_option(
      "--browser-endpoint", flags.endpoint,
      "Use a running browser instead of launching one: ws://HOST:PORT/devtools/browser/ID, or "
      "http://HOST:PORT of a browser started with --remote-debugging-port");
  endpoint->excludes(chromium);
  return endpoint;
}

}  // namespace quillfen::cli
