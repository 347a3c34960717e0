#include "runner/cli/options.hpp"

#include <charconv>
#include <string>
#include <system_error>

namespace quillfen::cli {

CLI::Validator milliseconds_between(int min, int max) {
  const auto check = [min, max](std::string& input) -> std::string {
    int value = 0;
    const char* const end = input.data() + input.size();
    const auto [stop, error] = std::from_chars(input.data(), end, value);
    if (input.empty() || stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
      return "'" + input + "' is not a number of milliseconds";
    }
    if (error == std::errc::result_out_of_range || value > max) return input + " is above " + std::to_string(max);
    if (value < min) return input + " is below " + std::to_string(min);
    return {};
  };
  return CLI::Validator(check, "MS from " + std::to_string(min) + " to " + std::to_string(max));
}

}  // namespace quillfen::cli
