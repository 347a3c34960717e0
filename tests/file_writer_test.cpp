// The file writer against the paths a hostile or careless user gives: links, FIFOs,
// devices, directories, full disks and two writers at once.
#include "engine/core/file_writer.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace quillfen::files {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class FileWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillfen-writer-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
};

TEST_F(FileWriter, ReplacesRegularFilesWholeAndCreatesMissingOnes) {
  // A missing path, folders and all.
  write_file(dir_ / "a" / "b" / "out.txt", "first");
  EXPECT_EQ(read(dir_ / "a" / "b" / "out.txt"), "first");

  // An existing file is replaced; its permission bits stay; nothing is left beside it.
  const fs::path kept = dir_ / "a" / "b" / "out.txt";
  fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write);
  write_file(kept, "second, longer");
  EXPECT_EQ(read(kept), "second, longer");
  EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(names_in(dir_ / "a" / "b"), std::vector<std::string>{"out.txt"});

  // A relative path is taken from the working folder.
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  write_file("relative.txt", "here");
  fs::current_path(before);
  EXPECT_EQ(read(dir_ / "relative.txt"), "here");

  // A directory is refused and left as it was.
  fs::create_directories(dir_ / "folder" / "inside");
  try {
    write_file(dir_ / "folder", "x");
    ADD_FAILURE() << "a directory was written";
  } catch (const WriteError& e) {
    EXPECT_EQ(e.reason(), "it is a directory: Is a directory");
    EXPECT_EQ(e.path1(), dir_ / "folder");
  }
  EXPECT_EQ(names_in(dir_ / "folder"), std::vector<std::string>{"inside"});

  // A file where a folder should be.
  std::ofstream(dir_ / "blocker") << "x";
  try {
    write_file(dir_ / "blocker" / "out.txt", "x");
    ADD_FAILURE() << "no failure";
  } catch (const WriteError& e) {
    EXPECT_THAT(e.reason(), ::testing::StartsWith("cannot create its directory: "));
  }
  EXPECT_EQ(read(dir_ / "blocker"), "x");
}

TEST_F(FileWriter, FollowsLinksAndReplacesWhatTheyLeadToNeverTheLinks) {
  const struct {
    std::string link;
    fs::path leads_to;  // a link's text, relative to the link's folder or absolute
    fs::path file;      // where the content must land
    bool file_exists;
  } cases[] = {
      {"absolute", dir_ / "real" / "one.txt", dir_ / "real" / "one.txt", true},
      {"relative", "real/two.txt", dir_ / "real" / "two.txt", true},
      {"dangling", "real/later/three.txt", dir_ / "real" / "later" / "three.txt", false},
      {"chained", "absolute", dir_ / "real" / "one.txt", true},
  };
  fs::create_directories(dir_ / "real");
  for (const auto& c : cases) {
    if (c.file_exists) std::ofstream(c.file) << "old";
    fs::create_symlink(c.leads_to, dir_ / c.link);
  }
  for (const auto& c : cases) {
    write_file(dir_ / c.link, "new " + c.link);
    EXPECT_TRUE(fs::is_symlink(dir_ / c.link)) << c.link;
    EXPECT_EQ(fs::read_symlink(dir_ / c.link), c.leads_to) << c.link;
    EXPECT_EQ(read(c.file), "new " + c.link) << c.link;
  }
  EXPECT_EQ(names_in(dir_ / "real"), (std::vector<std::string>{"later", "one.txt", "two.txt"}));

  // A loop of links is refused.
  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  EXPECT_THROW(write_file(dir_ / "loop-a", "x"), WriteError);
  EXPECT_TRUE(fs::is_symlink(dir_ / "loop-a"));
}

TEST_F(FileWriter, WritesStraightIntoFifosAndDevicesWithoutReplacingThem) {
  // The reading end is open first, so the write need not wait for a reader.
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  write_file(fifo, "through the pipe");
  std::string received(64, '\0');
  const ssize_t n = ::read(reader, received.data(), received.size());
  ::close(reader);
  received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"fifo"});

  // A link to a device is written through too.
  fs::create_symlink("/dev/null", dir_ / "to-null");
  write_file(dir_ / "to-null", "gone");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "to-null"));

  // A full device: the failure names the write, and the device stays a device.
  try {
    write_file("/dev/full", "no room");
    ADD_FAILURE() << "no failure";
  } catch (const WriteError& e) {
    EXPECT_EQ(e.reason(), "cannot write it: No space left on device");
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Writes `content` under a file size limit, in a child process; exits 3 when the writer
// reports the failure.
void write_with_small_file_limit(const fs::path& path, const std::string& content) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit small{4096, 4096};
  if (setrlimit(RLIMIT_FSIZE, &small) != 0) std::exit(1);
  try {
    write_file(path, content);
  } catch (const WriteError& e) {
    std::exit(std::string(e.reason()).starts_with("cannot write it: ") ? 3 : 2);
  }
  std::exit(0);
}

TEST_F(FileWriter, AWriteThatFailsPartWayLeavesTheOldFileWhole) {
  const fs::path file = dir_ / "report.html";
  write_file(file, "the old report");
  EXPECT_EXIT(write_with_small_file_limit(file, std::string(100000, 'n')), ::testing::ExitedWithCode(3), "");
  EXPECT_EQ(read(file), "the old report");
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"report.html"});
}

TEST_F(FileWriter, TwoWritersAtOnceLeaveOneWholeDocument) {
  const fs::path file = dir_ / "junit.xml";
  const std::string documents[] = {std::string(1 << 20, 'a') + "end of a", std::string(700000, 'b') + "end of b"};
  write_file(file, documents[0]);
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  // A reader looks at the file all along: it must always see one document whole.
  std::thread reader([&] {
    while (writing) {
      const std::string seen = read(file);
      if (seen != documents[0] && seen != documents[1]) ++torn;
    }
  });
  std::vector<std::thread> writers;
  for (const auto& document : documents) {
    writers.emplace_back([&file, &document] {
      for (int i = 0; i < 20; ++i) write_file(file, document);
    });
  }
  for (auto& writer : writers) writer.join();
  writing = false;
  reader.join();
  EXPECT_EQ(torn, 0);
  EXPECT_THAT(read(file), ::testing::AnyOf(documents[0], documents[1]));
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"junit.xml"});
}

TEST_F(FileWriter, NewFilesTakeTheFirstFreeNameAndNeverReplaceAnything) {
  const auto name = [](int n) { return n == 1 ? std::string("snap.json") : "snap_" + std::to_string(n) + ".json"; };
  const fs::path logs = dir_ / "deep" / "logs";
  EXPECT_EQ(write_new_file(logs, name, "one"), logs / "snap.json");
  // Whatever holds a name keeps it: a file, a dangling link, a FIFO.
  fs::create_symlink(dir_ / "nowhere", logs / "snap_2.json");
  ASSERT_EQ(::mkfifo((logs / "snap_3.json").c_str(), 0600), 0);
  EXPECT_EQ(write_new_file(logs, name, "four"), logs / "snap_4.json");
  EXPECT_EQ(read(logs / "snap.json"), "one");
  EXPECT_EQ(read(logs / "snap_4.json"), "four");
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_EQ(names_in(logs), (std::vector<std::string>{"snap.json", "snap_2.json", "snap_3.json", "snap_4.json"}));

  std::ofstream(dir_ / "file") << "x";
  try {
    write_new_file(dir_ / "file" / "logs", name, "x");
    ADD_FAILURE() << "no failure";
  } catch (const WriteError& e) {
    EXPECT_EQ(e.path1(), dir_ / "file" / "logs");
    EXPECT_THAT(e.reason(), ::testing::StartsWith("cannot create the directory: "));
  }
}

}  // namespace
}  // namespace quillfen::files
