// `quillfen scan URL [-o FILE]`: one live scan of a page, written as a snapshot document,
// in a launched browser or a running one reached through its endpoint.
#include "runner/cli/commands.hpp"
#include "runner/cli/options.hpp"

#include "chromium/browser.hpp"
#include "engine/browser/page_scanner.hpp"
#include "engine/core/file_writer.hpp"
#include "engine/core/records.hpp"
#include "runner/browser_choice.hpp"
#include "runner/cli/browser_options.hpp"
#include "runner/page_extras.hpp"

#include <CLI/CLI.hpp>

#include <chrono>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

namespace quillfen::cli {

namespace {

struct ScanOptions {
  std::string url;
  std::string output;
  BrowserFlags browser;
  int timeout_ms = 30000;
};

int scan(const ScanOptions& options) {
  runner::BrowserChoice choice;
  options.browser.apply(choice);
  std::unique_ptr<chromium::Browser> browser;
  std::unique_ptr<chromium::BrowserContext> context;
  std::unique_ptr<chromium::ChromiumPage> page;
  try {
    browser = runner::BrowserOpener(choice, std::cerr).open();
    context = browser->new_context();
    page = context->new_page();
  } catch (const std::exception& e) {
    std::cerr << "quillfen: " << e.what() << "\n";
    return 2;
  }
  try {
    const chromium::ActOutcome opened = page->navigate(options.url, std::chrono::milliseconds(options.timeout_ms));
    if (!opened.done()) {
      std::cerr << "quillfen: " << opened.reason << "\n";
      return 2;
    }
  } catch (const PageError& e) {
    std::cerr << "quillfen: " << e.what() << "\n";
    return 2;
  }

  Json document = Json::object();
  try {
    // The scan has as long as the load had.
    const auto scope = page->begin_scan(chromium::Clock::now() + std::chrono::milliseconds(options.timeout_ms));
    PageScanner scanner(*page, std::cerr);
    const runner::PageRecords records = runner::scan_page(scanner);
    document["url"] = page->url();
    document["elements"] = Json::array();
    for (const auto& element : records.elements) {
      document["elements"].push_back(to_json(*element));
    }
    document["text_elements"] = Json::array();
    for (const auto& element : records.text_elements) {
      document["text_elements"].push_back(to_json(*element));
    }
    document["extras"] = runner::to_json(records.extras);
  } catch (const PageError& e) {
    std::cerr << "quillfen: the scan of " << options.url << " failed: " << e.what() << "\n";
    return 1;
  }

  if (options.output.empty()) {
    std::cout << dump_document(document) << '\n';
    return 0;
  }
  try {
    files::write_file(options.output, dump_document(document));
  } catch (const files::WriteError& e) {
    std::cerr << "quillfen: cannot write " << options.output << ": " << e.reason() << ".\n";
    return 2;
  }
  return 0;
}

}  // namespace

void add_scan_command(CLI::App& app, int& status) {
  auto options = std::make_shared<ScanOptions>();
  CLI::App* command = app.add_subcommand(
      "scan", "Scan a page (a URL, or a path turned into a file:// URL) and write its snapshot document.");
  command->add_option("url", options->url, "Address or local path of the page")->required();
  command->add_option("-o,--output", options->output, "Write the document to this file instead of standard output");
  add_browser_options(*command, options->browser);
  command->add_option("--timeout", options->timeout_ms, "Milliseconds to wait for the page to load, and then for its scan")
      ->check(milliseconds_between(1, std::numeric_limits<int>::max()));
  command->callback([options, &status] { status = scan(*options); });
}

}  // namespace quillfen::cli
