// Outlines drawn on live pages and the pictures taken of them: the outline must sit on
// the element's box in the picture, the page must not move or lose the pointer under
// the layer, and everything drawn must be gone afterwards.
#include "runner/pictures.hpp"

#include "chromium/browser.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
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

std::string base64(const std::string& bytes) {
  static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {ALPHABET[n >> 18], ALPHABET[(n >> 12) & 63], ALPHABET[(n >> 6) & 63], ALPHABET[n & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    out += {ALPHABET[n >> 18], ALPHABET[(n >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += {ALPHABET[n >> 18], ALPHABET[(n >> 12) & 63], ALPHABET[(n >> 6) & 63], '='};
  }
  return out;
}

struct Extent {
  double left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
};

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

  // The element's box now, in viewport pixels.
  Extent box_of(const std::string& id) {
    const Json r = tab_->evaluate("() => { const r = document.getElementById('" + id +
                                  "').getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; }");
    return {r[0].get<double>(), r[1].get<double>(), r[2].get<double>(), r[3].get<double>()};
  }

  // The extent of the pixels of a picture within a few steps of a colour, read by the
  // browser from the PNG; none when there are none.
  std::optional<Extent> pixels_of(const std::string& png, std::array<int, 3> rgb) {
    const std::string script =
        "() => new Promise((resolve, reject) => {"
        "  const image = new Image();"
        "  image.onerror = () => reject(new Error('the picture does not load'));"
        "  image.onload = () => {"
        "    const canvas = document.createElement('canvas');"
        "    canvas.width = image.width; canvas.height = image.height;"
        "    const context = canvas.getContext('2d');"
        "    context.drawImage(image, 0, 0);"
        "    const data = context.getImageData(0, 0, image.width, image.height).data;"
        "    let left = Infinity, top = Infinity, right = -1, bottom = -1;"
        "    for (let y = 0; y < image.height; y++) for (let x = 0; x < image.width; x++) {"
        "      const i = 4 * (y * image.width + x);"
        "      if (Math.abs(data[i] - " + std::to_string(rgb[0]) + ") < 12 && Math.abs(data[i + 1] - " +
        std::to_string(rgb[1]) + ") < 12 && Math.abs(data[i + 2] - " + std::to_string(rgb[2]) + ") < 12) {"
        "        left = Math.min(left, x); top = Math.min(top, y); right = Math.max(right, x + 1); bottom = Math.max(bottom, y + 1);"
        "      }"
        "    }"
        "    resolve(right < 0 ? null : [left, top, right, bottom]);"
        "  };"
        "  image.src = 'data:image/png;base64," + base64(png) + "';"
        "})";
    const Json found = tab_->evaluate(script);
    if (found.is_null()) return std::nullopt;
    return Extent{found[0].get<double>(), found[1].get<double>(), found[2].get<double>(), found[3].get<double>()};
  }

  static inline std::unique_ptr<chromium::Browser> browser_;
  fs::path dir_;
  std::unique_ptr<chromium::ChromiumPage> tab_;
};

constexpr std::array<int, 3> ELEMENT_COLOUR{0xe0, 0x00, 0x7a};
constexpr std::array<int, 3> CANDIDATE_COLOUR{0xf0, 0x8c, 0x00};
constexpr std::array<int, 3> ANCHOR_COLOUR{0x0a, 0x6c, 0xff};

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
