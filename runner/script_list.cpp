#include "runner/script_list.hpp"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> scripts_under(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
  if (error) throw ScriptListError("cannot read the folder " + folder.string() + ": " + error.message() + ".");
  for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
    if (error) throw ScriptListError("cannot read the folder " + folder.string() + ": " + error.message() + ".");
    std::error_code kind;
    if (it->path().extension() == ".test" && it->is_regular_file(kind)) found.push_back(it->path());
  }
  if (found.empty()) throw ScriptListError("the folder " + folder.string() + " holds no *.test script.");
  std::sort(found.begin(), found.end());
  return found;
}

std::optional<std::size_t> whole_number(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::vector<fs::path> expand_scripts(const std::vector<std::string>& arguments) {
  std::vector<fs::path> scripts;
  for (const std::string& argument : arguments) {
    const fs::path path(argument);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
      const auto found = scripts_under(path);
      scripts.insert(scripts.end(), found.begin(), found.end());
    } else {
      // Files, and paths that do not exist, are read later, which says what is wrong
      // with them in the same words as for any script.
      scripts.push_back(path);
    }
  }
  return scripts;
}

std::optional<Shard> parse_shard(std::string_view text) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto index = whole_number(text.substr(0, slash));
  const auto count = whole_number(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count) return std::nullopt;
  return Shard{*index, *count};
}

std::vector<fs::path> shard_slice(std::vector<fs::path> scripts, const Shard& shard) {
  std::sort(scripts.begin(), scripts.end());
  std::vector<fs::path> slice;
  for (std::size_t i = shard.index - 1; i < scripts.size(); i += shard.count) slice.push_back(scripts[i]);
  return slice;
}

}  // namespace quillfen::runner
