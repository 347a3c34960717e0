// Outlines drawn on live pages and the pictures taken of them: the outline must sit on
// the element's box in the picture, the page must not move or lose the pointer under
// the layer, and everything drawn must be gone afterwards.
#include "runner/pictures.hpp"
#include "tests/picture_pixels.hpp"

#include "chromium/browser.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;

std::string fixture(const std::string& name) {
  return std::string(QUILLFEN_SOURCE_DIR) + "/tests/fixtures/pictures/" + name;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using test_pictures::ANCHOR_COLOUR;
using test_pictures::CANDIDATE_COLOUR;
using test_pictures::ELEMENT_COLOUR;
using test_pictures::Extent;

class PicturesInChromium : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { browser_ = chromium::Browser::launch(); }
  static void TearDownTestSuite() { browser_.reset(); }

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pictures.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    tab_ = browser_->new_page();
    ASSERT_TRUE(tab_->navigate(fixture("outline.html"), std::chrono::seconds(20)).done());
  }
  void TearDown() override {
    tab_.reset();
    fs::remove_all(dir_);
  }

  Extent box_of(const std::string& id) { return test_pictures::box_of(*tab_, id); }
  std::optional<Extent> pixels_of(const std::string& png, std::array<int, 3> rgb) {
    return test_pictures::pixels_of(*tab_, png, rgb);
  }

  static inline std::unique_ptr<chromium::Browser> browser_;
  fs::path dir_;
  std::unique_ptr<chromium::ChromiumPage> tab_;
};

void expect_around(const Extent& drawn, const Extent& element) {
  // The outline's border lies just outside the element's box, three pixels wide.
  EXPECT_NEAR(drawn.left, element.left - 3, 2);
  EXPECT_NEAR(drawn.top, element.top - 3, 2);
  EXPECT_NEAR(drawn.right, element.right + 3, 2);
  EXPECT_NEAR(drawn.bottom, element.bottom + 3, 2);
}

TEST_F(PicturesInChromium, EachOutlineSitsOnItsElementInThePicture) {
  PictureTaker pictures(dir_ / "report.html");
  const std::vector<Mark> marks{
      {MarkKind::element, "used: <button#save> 'Save'", "/html[1]/body[1]/div[1]/button[1]", std::nullopt},
      {MarkKind::anchor, "anchor 'Total'", "/html[1]/body[1]/span[1]", std::nullopt},
      // An element gone since the scan is drawn where the scan saw it.
      {MarkKind::candidate, "candidate 1", "/html[1]/body[1]/div[9]", BoundingBox{500, 400, 60, 30}},
  };
  const PictureTaken taken = pictures.take(*tab_, marks, "1-shop-line3.png");
  ASSERT_TRUE(taken.path) << ::testing::PrintToString(taken.notes);
  EXPECT_TRUE(taken.notes.empty()) << ::testing::PrintToString(taken.notes);
  EXPECT_EQ(*taken.path, "report-files/1-shop-line3.png");
  const std::string png = read_file(dir_ / "report-files" / "1-shop-line3.png");
  ASSERT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(pictures.used(), png.size());

  const auto element = pixels_of(png, ELEMENT_COLOUR);
  ASSERT_TRUE(element);
  expect_around(*element, box_of("save"));
  const auto anchor = pixels_of(png, ANCHOR_COLOUR);
  ASSERT_TRUE(anchor);
  expect_around(*anchor, box_of("total"));
  const auto candidate = pixels_of(png, CANDIDATE_COLOUR);
  ASSERT_TRUE(candidate);
  expect_around(*candidate, {500, 400, 560, 430});

  // Nothing drawn is left on the page.
  EXPECT_EQ(tab_->evaluate("() => document.documentElement.children.length"), 2);
  // And a picture without marks is the plain page.
  const PictureTaken plain = pictures.take(*tab_, {}, "1-shop-line4.png");
  ASSERT_TRUE(plain.path);
  EXPECT_FALSE(pixels_of(read_file(dir_ / "report-files" / "1-shop-line4.png"), ELEMENT_COLOUR));
}

TEST_F(PicturesInChromium, AnElementOutOfViewIsScrolledToAndTheWindowPutBack) {
  PictureTaker pictures(dir_ / "out" / "run.html");
  const PictureTaken taken =
      pictures.take(*tab_, {{MarkKind::element, "used: <button#far>", "/html[1]/body[1]/button[1]", std::nullopt}},
                    "1-far-line2.png");
  ASSERT_TRUE(taken.path) << ::testing::PrintToString(taken.notes);
  EXPECT_EQ(*taken.path, "run-files/1-far-line2.png");
  const auto drawn = pixels_of(read_file(dir_ / "out" / "run-files" / "1-far-line2.png"), ELEMENT_COLOUR);
  ASSERT_TRUE(drawn);
  const Extent far = box_of("far");
  EXPECT_NEAR(drawn->right - drawn->left, far.right - far.left + 6, 2);
  EXPECT_NEAR(drawn->bottom - drawn->top, far.bottom - far.top + 6, 2);
  EXPECT_EQ(tab_->evaluate("() => scrollY"), 0);
}

TEST_F(PicturesInChromium, TheLayerMovesNothingAndLetsThePointerThrough) {
  const std::string before = tab_->evaluate("() => JSON.stringify([...document.querySelectorAll('button, span')]"
                                            ".map(e => e.getBoundingClientRect()))")
                                 .get<std::string>();
  const std::string layer =
      draw_outlines(*tab_, {{MarkKind::element, "<b>not markup</b>", "/html[1]/body[1]/div[1]/button[1]", std::nullopt}});
  EXPECT_EQ(tab_->evaluate("() => JSON.stringify([...document.querySelectorAll('button, span')]"
                           ".map(e => e.getBoundingClientRect()))"),
            before);
  // The pointer still reaches the page under the outline and its label, and the page
  // sees no element of the layer's own.
  EXPECT_EQ(tab_->evaluate("() => { const r = document.getElementById('save').getBoundingClientRect();"
                           " return [document.elementFromPoint(r.left + 1, r.top + 1).id,"
                           " document.elementFromPoint(r.left + 5, r.top - 8).tagName]; }"),
            Json::parse(R"(["save", "BODY"])"));
  EXPECT_EQ(tab_->evaluate("() => document.querySelectorAll('b').length"), 0);
  remove_outlines(*tab_, layer);
  EXPECT_EQ(tab_->evaluate("() => document.documentElement.children.length"), 2);
}

}  // namespace
}  // namespace quillfen::runner
