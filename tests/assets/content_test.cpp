// The pictures and the embedding: the generators make exactly the committed files, the arrays in
// the program hold those files, and the pictures have the levels, background and layout the
// effects rely on.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "assets/assets.h"
#include "assets/icon.h"
#include "tests/assets/asset_files.h"
#include "tools/imagegen/imagegen.h"
#include "tools/modgen/modgen.h"
#include "tools/scenegen/scenegen.h"

namespace {

constexpr const char* kPhoto = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";
constexpr const char* kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

bool exists(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

std::vector<uint8_t> pixels_of(const char* name, int expect_w, int expect_h) {
  int w = 0, h = 0;
  std::vector<uint8_t> px = pgm_pixels(read_asset(name), w, h);
  EXPECT_EQ(w, expect_w) << name;
  EXPECT_EQ(h, expect_h) << name;
  return px;
}

TEST(Generators, ModuleAndSceneAreReproducedByteForByte) {
  EXPECT_EQ(modgen_build(), read_asset("soundtrack.mod"));
  EXPECT_EQ(scenegen_build(), read_asset("scene.3ds"));
}

TEST(Generators, PicturesAreReproducedByteForByte) {
  if (!exists(kPhoto) || !exists(kFont)) GTEST_SKIP() << "photograph or font not installed";
  Rgb photo;
  ASSERT_TRUE(imagegen_load_png(kPhoto, photo));
  EXPECT_EQ(imagegen_pgm(imagegen_portrait(photo), 256, 256), read_asset("portrait.pgm"));
  EXPECT_EQ(imagegen_pgm(imagegen_portrait_b(photo), 256, 256), read_asset("portrait_b.pgm"));
  EXPECT_EQ(imagegen_pgm(imagegen_strips(kFont), 256, 144), read_asset("strips.pgm"));
  EXPECT_EQ(imagegen_pgm(imagegen_start_screen(kFont), 320, 240), read_asset("start_screen.pgm"));
}

// The desktop's start screen and the web page warn in the same words. The page's text is taken
// out of its markup (tags dropped, runs of white space made one space).
TEST(Generators, StartScreenWarnsInThePagesWords) {
  std::ifstream in(std::string(DRIFTLIGHT_SOURCE_DIR) + "/web/index.html");
  ASSERT_TRUE(in) << "web/index.html";
  std::string page, text;
  page.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  bool in_tag = false;
  for (const char c : page) {
    if (c == '<' || c == '>') {
      in_tag = c == '<';
    } else if (!in_tag) {
      const char d = (c == '\n' || c == '\t') ? ' ' : c;
      if (d != ' ' || (!text.empty() && text.back() != ' ')) text += d;
    }
  }
  for (const char* paragraph : kStartWarning)
    EXPECT_NE(text.find(paragraph), std::string::npos) << paragraph;
}

// The icon files are drawn from the committed portrait and title, so they need neither the
// photograph nor the font.
TEST(Generators, IconsAreReproducedByteForByte) {
  int w = 0, h = 0;
  const std::vector<uint8_t> face = pgm_pixels(read_asset("portrait.pgm"), w, h);
  const std::vector<uint8_t> strips = pgm_pixels(read_asset("strips.pgm"), w, h);
  ASSERT_EQ(face.size(), 65536u);
  ASSERT_EQ(strips.size(), 256u * 144u);
  for (int size : kIconSizes) {
    const std::string name = "icons/driftlight-" + std::to_string(size) + ".png";
    EXPECT_EQ(imagegen_icon_png(face.data(), strips.data(), size), read_asset(name)) << name;
  }
}

TEST(Embedding, ArraysHoldTheFiles) {
  const std::vector<uint8_t> mod = read_asset("soundtrack.mod");
  ASSERT_EQ(soundtrack_mod_size, mod.size());
  EXPECT_EQ(0, std::memcmp(soundtrack_mod, mod.data(), mod.size()));
  EXPECT_EQ(soundtrack_mod[mod.size()], 0) << "a spare byte follows the module";

  const std::vector<uint8_t> scene = read_asset("scene.3ds");
  ASSERT_EQ(scene_3ds_size, scene.size());
  EXPECT_EQ(0, std::memcmp(scene_3ds, scene.data(), scene.size()));
  for (size_t i = 0; i < 6; ++i)
    EXPECT_EQ(scene_3ds[scene.size() + i], 0) << "zero byte " << i << " after the scene";

  EXPECT_EQ(pixels_of("portrait.pgm", 256, 256), std::vector<uint8_t>(portrait, portrait + 65536));
  EXPECT_EQ(pixels_of("portrait_b.pgm", 256, 256),
            std::vector<uint8_t>(portrait_b, portrait_b + 65536));
  EXPECT_EQ(pixels_of("strips.pgm", 256, 144),
            std::vector<uint8_t>(text_strips, text_strips + sizeof text_strips));
  EXPECT_EQ(pixels_of("start_screen.pgm", 320, 240),
            std::vector<uint8_t>(start_screen, start_screen + sizeof start_screen));
}

// The permissions ("rw-p", ...) of the mapping of this process that holds [begin, end), or ""
// when no single mapping does.
std::string mapping_permissions(const void* begin, const void* end) {
  std::ifstream maps("/proc/self/maps");
  const auto b = reinterpret_cast<uintptr_t>(begin), e = reinterpret_cast<uintptr_t>(end);
  std::string line;
  while (std::getline(maps, line)) {
    uintptr_t lo = 0, hi = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " %4s", &lo, &hi, perms) == 3 &&
        lo <= b && e <= hi)
      return perms;
  }
  return "";
}

// The loader rewrites the pattern cells in place, and a loop ending on the module's last byte reads
// one past it: the module and a zero byte after it lie in writable memory. (Writing to it instead
// would only crash when it is not.)
TEST(Embedding, ModuleIsWritableWithASpareZeroByte) {
  const std::string perms =
      mapping_permissions(soundtrack_mod, soundtrack_mod + soundtrack_mod_size + 1);
  ASSERT_EQ(perms.size(), 4u) << "no mapping holds the module and its spare byte";
  EXPECT_EQ(perms[1], 'w') << "the module lies in memory mapped " << perms;
  EXPECT_EQ(soundtrack_mod[soundtrack_mod_size], 0);
}

struct PortraitCase {
  const char* name;
  const uint8_t* pixels;
  std::set<int> levels;
};

class Portraits : public ::testing::TestWithParam<PortraitCase> {};

TEST_P(Portraits, LevelsBackgroundAndFigure) {
  const PortraitCase& c = GetParam();
  std::set<int> seen;
  int background = 0;
  for (int i = 0; i < 65536; ++i) {
    seen.insert(c.pixels[i]);
    background += c.pixels[i] == 168;
  }
  EXPECT_EQ(seen, c.levels);
  EXPECT_EQ(c.pixels[0], 168) << "the first byte is the background";
  // A sizeable flat backdrop and a figure that fills a good part of the frame.
  EXPECT_GT(background, 65536 / 5);
  EXPECT_LT(background, 65536 * 3 / 5);
  // The background is flat around the head: the top corners are all background.
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 24; ++x) {
      EXPECT_EQ(c.pixels[y * 256 + x], 168) << c.name << " at " << x << "," << y;
      EXPECT_EQ(c.pixels[y * 256 + 255 - x], 168) << c.name << " at " << 255 - x << "," << y;
    }
  }
  // The figure holds the darkest and the brightest level: the face and the collar read.
  EXPECT_GT(std::count(c.pixels, c.pixels + 65536, uint8_t(25)), 2000);
  EXPECT_GT(std::count(c.pixels, c.pixels + 65536, uint8_t(250)), 2000);
}

INSTANTIATE_TEST_SUITE_P(
    Assets, Portraits,
    ::testing::Values(PortraitCase{"portrait", portrait, {25, 99, 168, 250}},
                      PortraitCase{"portrait_b", portrait_b, {25, 62, 110, 168, 206, 250}}),
    [](const auto& info) { return std::string(info.param.name); });

class Strips : public ::testing::TestWithParam<int> {};

TEST_P(Strips, InkStartsNearTheLeftAndStaysNarrow) {
  const uint8_t* strip = text_strips + GetParam() * kTextStripWidth * kTextStripHeight;
  int first = kTextStripWidth, last = -1, partial = 0, solid = 0;
  for (int y = 0; y < kTextStripHeight; ++y) {
    for (int x = 0; x < kTextStripWidth; ++x) {
      const uint8_t c = strip[y * kTextStripWidth + x];
      if (!c) continue;
      first = std::min(first, x);
      last = std::max(last, x);
      partial += c < 255;
      solid += c == 255;
    }
  }
  EXPECT_TRUE(first == 3 || first == 4) << "ink starts at column " << first;
  EXPECT_LE(last - first + 1, 190);
  EXPECT_GT(solid, 40) << "the letters have solid strokes";
  EXPECT_GT(partial, 40) << "and anti-aliased edges";
  // Nothing touches the top and bottom rows, so the strips stack without seams.
  for (int x = 0; x < kTextStripWidth; ++x) {
    EXPECT_EQ(strip[x], 0);
    EXPECT_EQ(strip[(kTextStripHeight - 1) * kTextStripWidth + x], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Assets, Strips, ::testing::Range(0, kTextStripCount));

TEST(Strips, WidthsFollowTheirPlacesOnScreen) {
  // The name and the title are drawn at x = 125 and 65 and the closing word at 120: each is wide
  // enough to sit near the middle of the 320-pixel screen without running off it.
  const int places[kTextStripCount] = {125, 65, 6, 6, 6, 120};
  for (int s = 0; s < kTextStripCount; ++s) {
    const uint8_t* strip = text_strips + s * kTextStripWidth * kTextStripHeight;
    int last = -1;
    for (int i = 0; i < kTextStripWidth * kTextStripHeight; ++i)
      if (strip[i]) last = std::max(last, i % kTextStripWidth);
    EXPECT_LT(places[s] + last, 320) << "strip " << s;
    if (s == 0 || s == 1 || s == 5) {
      EXPECT_NEAR(places[s] + (last + 3) / 2, 160, 25) << "strip " << s;
    }
  }
}

}  // namespace
