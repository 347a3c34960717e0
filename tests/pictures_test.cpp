// Pictures of steps without a browser: where they go and under which names, the bound on
// their total size, and that whatever goes wrong becomes a note, never an error.
#include "runner/pictures.hpp"

#include "tests/fake_tab.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(Pictures, FoldersAndNamesFollowTheReportAndTheStep) {
  EXPECT_EQ(pictures_folder("data/reports/report.html"), fs::path("data/reports/report-files"));
  EXPECT_EQ(pictures_folder("out.html"), fs::path("out-files"));
  EXPECT_EQ(pictures_folder("/tmp/ci/run.2.htm"), fs::path("/tmp/ci/run.2-files"));

  EXPECT_EQ(picture_name(2, "tests/checkout.test", 7), "2-checkout-line7.png");
  // Anything but letters, digits, '-' and '_' would need escaping in a link, or is not
  // allowed in a file name somewhere.
  EXPECT_EQ(picture_name(1, "a dir/héllo <b>&x.test", 12), "1-h__llo__b__x-line12.png");
  EXPECT_EQ(picture_name(3, std::string(300, 'x') + ".test", 1), "3-" + std::string(60, 'x') + "-line1.png");

  EXPECT_EQ(picture_when("failures"), PictureWhen::failures);
  EXPECT_EQ(picture_when("all"), PictureWhen::all);
  EXPECT_EQ(picture_when("off"), PictureWhen::off);
  EXPECT_EQ(picture_when("Failures"), std::nullopt);
  EXPECT_EQ(picture_when(""), std::nullopt);
}

class PicturesOnAFakeTab : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pictures.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    tab_.picture = std::string("\x89PNG", 4) + std::string(996, 'p');
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  fake::FakeTab tab_;
};

TEST_F(PicturesOnAFakeTab, TheRunsPicturesStayWithinTheirBound) {
  PictureTaker pictures(dir_ / "report.html", 2500);
  EXPECT_EQ(pictures.take(tab_, {}, "1-a-line1.png").path, "report-files/1-a-line1.png");
  EXPECT_EQ(pictures.take(tab_, {}, "1-a-line2.png").path, "report-files/1-a-line2.png");
  const PictureTaken third = pictures.take(tab_, {}, "1-a-line3.png");
  EXPECT_FALSE(third.path);
  EXPECT_THAT(third.notes, ElementsAre("no picture: it would take the run's pictures past their bound of 3 KB"));
  EXPECT_FALSE(fs::exists(dir_ / "report-files" / "1-a-line3.png"));
  // A smaller picture still fits.
  tab_.picture.resize(400);
  EXPECT_TRUE(pictures.take(tab_, {}, "1-a-line4.png").path);
  EXPECT_EQ(pictures.used(), 2400u);
  EXPECT_EQ(fs::file_size(dir_ / "report-files" / "1-a-line2.png"), 1000u);
}

TEST_F(PicturesOnAFakeTab, WhatGoesWrongIsANoteAndNothingIsThrown) {
  // Outlines that cannot be drawn leave a plain picture, said so.
  {
    PictureTaker pictures(dir_ / "report.html");
    const PictureTaken taken = pictures.take(tab_, {{MarkKind::element, "x", "/html[1]", std::nullopt}}, "1-a-line1.png");
    EXPECT_EQ(taken.path, "report-files/1-a-line1.png");
    EXPECT_THAT(taken.notes, ElementsAre(HasSubstr("the picture has no outlines: they could not be drawn")));
  }
  // A dialog holds the page.
  {
    tab_.dialog = chromium::Dialog{"alert", "Saved <b>!", ""};
    PictureTaker pictures(dir_ / "report.html");
    const PictureTaken taken = pictures.take(tab_, {}, "1-a-line2.png");
    EXPECT_FALSE(taken.path);
    EXPECT_THAT(taken.notes, ElementsAre("no picture: a dialog was open ('Saved <b>!')"));
    tab_.dialog.reset();
  }
  // A lost tab, a picture that comes back empty, a folder that cannot be made.
  {
    tab_.lost = PageError::Kind::gone;
    PictureTaker pictures(dir_ / "report.html");
    const PictureTaken taken = pictures.take(tab_, {}, "1-a-line3.png");
    EXPECT_FALSE(taken.path);
    EXPECT_THAT(taken.notes, ElementsAre(HasSubstr("no picture: ")));
    tab_.lost.reset();
  }
  {
    const std::string png = tab_.picture;
    tab_.picture.clear();
    PictureTaker pictures(dir_ / "report.html");
    EXPECT_THAT(pictures.take(tab_, {}, "1-a-line4.png").notes,
                ElementsAre("no picture: the browser sent an empty one"));
    tab_.picture = png;
  }
  {
    std::ofstream(dir_ / "blocked-files") << "a file where the folder should be";
    PictureTaker pictures(dir_ / "blocked.html");
    const PictureTaken taken = pictures.take(tab_, {}, "1-a-line5.png");
    EXPECT_FALSE(taken.path);
    EXPECT_THAT(taken.notes, ElementsAre(HasSubstr("no picture: cannot write " + (dir_ / "blocked-files").string())));
    EXPECT_EQ(pictures.used(), 0u);
  }
}

}  // namespace
}  // namespace quillfen::runner
