// Which scripts a run takes: a folder stands for the *.test files under it, sorted; the
// shards of a suite cover every script exactly once, whatever order it was given in.
#include "runner/script_list.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(ScriptList, AFolderStandsForItsScriptsSortedAndAFileForItself) {
  std::string pattern = (fs::temp_directory_path() / "quillfen-list-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  for (const char* name : {"b.test", "a.test", "sub/c.test", "sub/deeper/a.test", "notes.txt", "x.test.bak"}) {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name) << "wait 1\n";
  }
  fs::create_directories(dir / "folder.test");
  fs::create_directories(dir / "empty");
  const std::string d = dir.string();
  EXPECT_THAT(expand_scripts({d, d + "/notes.txt"}),
              ElementsAre(dir / "a.test", dir / "b.test", dir / "sub/c.test", dir / "sub/deeper/a.test",
                          dir / "notes.txt"));
  try {
    expand_scripts({d + "/empty"});
    ADD_FAILURE() << "no failure";
  } catch (const ScriptListError& e) {
    EXPECT_EQ(std::string(e.what()), "the folder " + d + "/empty holds no *.test script.");
  }
  // A path that is not there is left for the script reader to refuse, in its words.
  EXPECT_THAT(expand_scripts({d + "/missing.test"}), ElementsAre(dir / "missing.test"));
  fs::remove_all(dir);
}

TEST(ScriptList, ShardsCoverEveryScriptExactlyOnceWhateverTheOrderGiven) {
  struct Case {
    std::string text;
    std::optional<std::pair<std::size_t, std::size_t>> shard;
  };
  for (const Case& c : std::vector<Case>{{"1/1", {{1, 1}}}, {"2/4", {{2, 4}}}, {"4/4", {{4, 4}}},
                                         {"0/4", {}},       {"5/4", {}},       {"1/0", {}},
                                         {"2", {}},         {"a/4", {}},       {"2/4x", {}},
                                         {"-1/4", {}},      {"", {}},          {"/", {}}}) {
    const auto shard = parse_shard(c.text);
    EXPECT_EQ(shard ? std::optional(std::pair(shard->index, shard->count)) : std::nullopt, c.shard) << c.text;
  }

  std::vector<fs::path> suite;
  for (int i = 0; i < 23; ++i) suite.push_back("suite/s" + std::to_string(100 + i) + ".test");
  std::vector<fs::path> shuffled = suite;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  for (const std::size_t count : {1u, 2u, 3u, 5u, 23u, 30u}) {
    std::map<fs::path, int> seen;
    std::size_t smallest = suite.size();
    std::size_t largest = 0;
    for (std::size_t index = 1; index <= count; ++index) {
      const auto slice = shard_slice(shuffled, Shard{index, count});
      // The same slice whatever order the scripts came in, and in sorted order.
      EXPECT_EQ(slice, shard_slice(suite, Shard{index, count}));
      EXPECT_TRUE(std::is_sorted(slice.begin(), slice.end()));
      for (const auto& path : slice) ++seen[path];
      smallest = std::min(smallest, slice.size());
      largest = std::max(largest, slice.size());
    }
    EXPECT_EQ(seen.size(), suite.size()) << count;
    for (const auto& [path, times] : seen) EXPECT_EQ(times, 1) << path << " in " << count << " shards";
    EXPECT_LE(largest - smallest, 1u) << count;
  }
}

}  // namespace
}  // namespace quillfen::runner
