// Reading the pictures a run took, in a browser tab: the extent of the pixels of one
// colour (an outline), found by drawing the PNG on a canvas. The picture travels as a
// data: URL, which a canvas may read (a file:// image would taint it).
#pragma once

#include "chromium/tab.hpp"

#include <array>
#include <optional>
#include <string>

namespace quillfen::test_pictures {

// right and bottom are exclusive.
struct Extent {
  double left = 0, top = 0, right = 0, bottom = 0;
};

inline std::string base64(const std::string& bytes) {
  static constexpr char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  const auto byte = [&](std::size_t at) { return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u; };
  for (; i < bytes.size(); i += 3) {
    const unsigned n = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    out += ALPHABET[n >> 18];
    out += ALPHABET[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? ALPHABET[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? ALPHABET[n & 63] : '=';
  }
  return out;
}

// The outline colours of the pictures: the element used, a candidate, an anchor.
inline constexpr std::array<int, 3> ELEMENT_COLOUR{0xe0, 0x00, 0x7a};
inline constexpr std::array<int, 3> CANDIDATE_COLOUR{0xf0, 0x8c, 0x00};
inline constexpr std::array<int, 3> ANCHOR_COLOUR{0x0a, 0x6c, 0xff};

// The extent of the picture's pixels within a few steps of the colour; none when there
// are none. Throws PageError when the picture does not load.
inline std::optional<Extent> pixels_of(chromium::Tab& tab, const std::string& png, std::array<int, 3> rgb) {
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
      "    const near = (i, r, g, b) => Math.abs(data[i] - r) < 12 && Math.abs(data[i + 1] - g) < 12 &&"
      "                                 Math.abs(data[i + 2] - b) < 12;"
      "    let left = Infinity, top = Infinity, right = -1, bottom = -1;"
      "    for (let y = 0; y < image.height; y++) for (let x = 0; x < image.width; x++) {"
      "      if (near(4 * (y * image.width + x), " +
      std::to_string(rgb[0]) + ", " + std::to_string(rgb[1]) + ", " + std::to_string(rgb[2]) +
      ")) {"
      "        left = Math.min(left, x); top = Math.min(top, y);"
      "        right = Math.max(right, x + 1); bottom = Math.max(bottom, y + 1);"
      "      }"
      "    }"
      "    resolve(right < 0 ? null : [left, top, right, bottom]);"
      "  };"
      "  image.src = 'data:image/png;base64," +
      base64(png) +
      "';"
      "})";
  const Json found = tab.evaluate(script);
  if (found.is_null()) return std::nullopt;
  return Extent{found[0].get<double>(), found[1].get<double>(), found[2].get<double>(), found[3].get<double>()};
}

// The box of the element with this id, now, in viewport pixels.
inline Extent box_of(chromium::Tab& tab, const std::string& id) {
  const Json r = tab.evaluate("() => { const r = document.getElementById('" + id +
                              "').getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; }");
  return {r[0].get<double>(), r[1].get<double>(), r[2].get<double>(), r[3].get<double>()};
}

}  // namespace quillfen::test_pictures
