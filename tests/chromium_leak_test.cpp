// Runs after the browser suite, in the same temporary directory: no profile directory
// and no process of any browser it started may remain.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(ChromiumSuite, LeftNoBrowserProcessOrProfileBehind) {
  const fs::path tmp = fs::temp_directory_path();
  // Profiles, and the browser's own temporary directories.
  for (const auto& entry : fs::directory_iterator(tmp)) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name.rfind("quillfen-chromium-", 0), 0u) << entry.path();
    EXPECT_NE(name.rfind("org.chromium.", 0), 0u) << entry.path();
    EXPECT_NE(name.rfind(".org.chromium.", 0), 0u) << entry.path();
  }
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string command_line;
    try {
      command_line.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
      continue;  // The process ended while its command line was read.
    }
    EXPECT_EQ(command_line.find((tmp / "quillfen-chromium-").string()), std::string::npos)
        << "process " << name << " still runs from a profile of the suite";
  }
}

}  // namespace
