// quillfen: runs plain-language web test scripts in headless Chromium.
#include "runner/cli/commands.hpp"

#include <CLI/CLI.hpp>
#ifdef QUILLFEN_MIMALLOC
#include <mimalloc.h>
#else
#include <malloc.h>
#endif

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  // A page read brings replies and records of many megabytes. Memory the system gives
  // this process costs a page fault per 4 KiB page on first use, which on a large page
  // was most of this process's time: the allocator takes it in 2 MiB pages instead.
  // Without mimalloc (sanitizer builds), malloc at least keeps freed blocks for the
  // next read rather than giving them back to be faulted in again.
#ifdef QUILLFEN_MIMALLOC
  mi_option_enable(mi_option_large_os_pages);
#else
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  CLI::App app{"quillfen runs plain-language web test scripts in headless Chromium.\n"
               "Exit codes: 0 all passed, 1 a step or line failed, 2 usage or browser error."};
  app.require_subcommand(1, 1);
  int status = 0;
  const std::vector<std::string> command_line(argv, argv + argc);
  quillfen::cli::add_parse_command(app, status);
  quillfen::cli::add_validate_command(app, status);
  quillfen::cli::add_resolve_command(app, status);
  quillfen::cli::add_scan_command(app, status);
  quillfen::cli::add_run_command(app, status, command_line);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "quillfen: " << e.what() << " (see quillfen --help)\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "quillfen: " << e.what() << "\n";
    return 2;
  }
  return status;
}
