// Checks of option values shared by the subcommands, with messages that say what is
// wrong with the value ("'abc' is not a number", "700000 is above 600000").
#pragma once

#include <CLI/CLI.hpp>

namespace quillfen::cli {

// A whole number of milliseconds from `min` to `max`.
CLI::Validator milliseconds_between(int min, int max);

}  // namespace quillfen::cli
