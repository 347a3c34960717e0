// The subcommands of `quillfen`. Each adds itself to the application and stores its
// exit code in `status` when it runs: 0 all good, 1 issues or failed steps, 2 usage
// errors or a browser that cannot start.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quillfen::cli {

void add_parse_command(CLI::App& app, int& status);
void add_validate_command(CLI::App& app, int& status);
void add_resolve_command(CLI::App& app, int& status);
void add_scan_command(CLI::App& app, int& status);
// `command_line` is the whole command as it was given, for the run's records; it must
// outlive the application.
void add_run_command(CLI::App& app, int& status, const std::vector<std::string>& command_line);

}  // namespace quillfen::cli
