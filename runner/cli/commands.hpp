// The subcommands of `quillfen`. Each adds itself to the application and stores its
// exit code in `status` when it runs: 0 all good, 1 issues or failed steps, 2 usage
// errors or a browser that cannot start.
#pragma once

namespace CLI {
class App;
}

namespace quillfen::cli {

void add_parse_command(CLI::App& app, int& status);
void add_validate_command(CLI::App& app, int& status);
void add_resolve_command(CLI::App& app, int& status);
void add_scan_command(CLI::App& app, int& status);
void add_run_command(CLI::App& app, int& status);

}  // namespace quillfen::cli
