#include "runner/browser_choice.hpp"

#include <ostream>
#include <stdexcept>
#include <system_error>

namespace quillfen::runner {

namespace fs = std::filesystem;

BrowserOpener::BrowserOpener(BrowserChoice choice, std::ostream& notes) : choice_(std::move(choice)), notes_(notes) {
  if (choice_.downloads) {
    // The browser needs an absolute path, and the folder meant is the user's current one.
    std::error_code error;
    const fs::path absolute = fs::absolute(*choice_.downloads, error);
    if (!error) {
      choice_.downloads = absolute.lexically_normal();
    }
  }
}

std::unique_ptr<chromium::Browser> BrowserOpener::open() {
  if (choice_.endpoint) {
    chromium::ConnectOptions options;
    options.endpoint = *choice_.endpoint;
    options.command_timeout = choice_.command_timeout;
    options.downloads = choice_.downloads;
    return chromium::Browser::connect(options);
  }
  if (choice_.downloads) {
    std::error_code error;
    fs::create_directories(*choice_.downloads, error);
    if (error || !fs::is_directory(*choice_.downloads)) {
      throw std::runtime_error("The downloads folder " + choice_.downloads->string() +
                               " cannot be made: " + (error ? error.message() : "a file of that name is in the way") +
                               ".");
    }
  }
  chromium::LaunchOptions options;
  options.executable = choice_.executable;
  options.headless = !choice_.headed;
  options.command_timeout = choice_.command_timeout;
  options.downloads = choice_.downloads;
  auto browser = chromium::Browser::launch(options);
  if (browser->without_sandbox() && !told_about_sandbox_) {
    told_about_sandbox_ = true;
    notes_ << "quillfen: running as root, so the browser runs without its sandbox (--no-sandbox); run quillfen "
              "as an ordinary user to keep it.\n";
  }
  return browser;
}

}  // namespace quillfen::runner
