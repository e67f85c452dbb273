#include "effects/blobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "effects/compose.h"
#include "tests/effects/synthetic.h"

namespace {

using Frame = std::vector<uint32_t>;

// Plain transcriptions of the sprite, the backdrops, one blob and the blob layer of a frame.
struct Reference {
  std::vector<uint8_t> image = synthetic::portrait_b_image();
  std::vector<uint8_t> sprite = std::vector<uint8_t>(256 * 256);
  Frame small = Frame(kFbPixels, 0), large = Frame(kFbPixels, 0);

  Reference() {
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const double d = std::sqrt(double((x - 128) * (x - 128) + (y - 128) * (y - 128)));
        sprite[y * 256 + x] = 2 * d > 255 ? 1 : uint8_t(int(215 * std::cos(2 * d * 1.57075 / 256)));
      }
    for (int x = 0; x < 256; ++x)
      for (int y = 0; y < 256; ++y) {
        const uint32_t c = 0x005F0006 + (((171 * image[x * 256 + y]) >> 9) << 8);
        small[(56 + x / 2) * kFbWidth + 96 + y / 2] = c;
        large[int(x / 1.5 + 35) * kFbWidth + int(y / 1.5 + 75)] = c;
      }
  }

  void blob(uint32_t* fb, int32_t size, int32_t cx, int32_t cy, uint32_t colour) const {
    if (size < 1) return;
    const int32_t step = 65536 / size;
    const int32_t left = cx - size / 2, top = cy - size / 2;
    int32_t ra = 0;
    for (int32_t i = 0; i < size; ++i, ra += step) {
      const int32_t y = top + i;
      if (y < 0) continue;
      if (y > 239) break;
      int32_t ca = 0;
      for (int32_t j = 0; j < size; ++j, ca += step) {
        const int32_t x = left + j;
        if (x < 0) continue;
        if (x > 319) break;
        const uint32_t s = sprite[(ra >> 8) * 256 + (ca >> 8)];
        uint32_t& p = fb[y * kFbWidth + x];
        uint32_t out = 0;
        for (int b = 0; b < 32; b += 8)
          out |= std::min<uint32_t>(255, ((p >> b) & 0xFF) + ((s * ((colour >> b) & 0xFF)) >> 8)) << b;
        p = out;
      }
    }
  }

  void field(uint32_t* fb, int32_t t) const {
    const int32_t k = t < 250 ? 0 : 2 * std::min(t, 750) - 500, z = 1000 - k;
    const int32_t tc = std::clamp(t, 200, 450);
    const double c = (std::cos(std::abs(325 - tc) * 6.2832 / 250) + 1) * 0.5 * 150;
    for (int32_t i = 0; i < 1024; ++i) {
      const int32_t u = i % 32, w = i / 32;
      const double s1 = std::sin(i / 2.6 + t / 48.0), s2 = std::sin(i / 2.7 + t / 42.0), s3 = std::cos(i / 2.2 + t / 43.0);
      const double d = (k * (200 * s1 + 300) + 400 * z) / 1000.0 - c;
      const int32_t n = int32_t(3000 / d);
      const int32_t size = (n * k + 2 * n * z) / 1000;
      const int32_t cx = int32_t((18000 * s2 * k + ((u - 16) * 2200 + 3000) * z) / 1000 / d + 160);
      const int32_t cy = int32_t((((w - 16) * z * 2200) + 18000 * s3 * k) / 1000 / d + 120);
      blob(fb, size, cx, cy, 0x006F0006 + (((171 * image[8 * w * 256 + 8 * u]) >> 9) << 8));
    }
  }
};

class BlobsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    divtable_init();
    ref = new Reference;
    blobs_init(ref->image.data());
  }
  static void TearDownTestSuite() { delete ref; }
  static Frame frame(int32_t t) {
    Frame fb(kFbPixels, 0);
    blobs_draw(fb.data(), t);
    return fb;
  }
  static Frame faded(const Frame& a, const Frame& b, int32_t alpha) {
    Frame out(kFbPixels);
    crossfade(a.data(), b.data(), out.data(), kFbPixels, alpha);
    return out;
  }
  static Frame blob_layer(int32_t t) {
    Frame fb(kFbPixels, 0);
    ref->field(fb.data(), t);
    return fb;
  }
  static Reference* ref;
};
Reference* BlobsTest::ref = nullptr;

TEST_F(BlobsTest, FlatPictureGrowsAndDissolves) {
  EXPECT_EQ(frame(-100), ref->small);
  EXPECT_EQ(frame(0), ref->small);
  EXPECT_EQ(frame(63), ref->small);
  EXPECT_EQ(frame(64), ref->small);  // alpha 0
  EXPECT_EQ(frame(100), faded(ref->small, ref->large, 144));
  EXPECT_EQ(frame(127), faded(ref->small, ref->large, 252));
  // The backdrop dissolves into the blobs from 128 to 255 and comes back fully at 564.
  EXPECT_EQ(frame(128), faded(ref->large, blob_layer(128), 1));
  EXPECT_EQ(frame(255), blob_layer(255));
  EXPECT_EQ(frame(564), ref->large);
}

// The whole frame against the plain transcription, through every phase of the script: the
// backdrop dissolving, the breathing grid, the drift, the backdrop's return and the swarm.
class BlobsReference : public BlobsTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(BlobsReference, MatchesPlainVersion) {
  const int32_t t = GetParam();
  const Frame layer = blob_layer(t);
  Frame expected = layer;
  if (t >= 128 && t <= 255) expected = faded(ref->large, layer, 2 * t - 255);
  if (t >= 501 && t <= 627) expected = faded(ref->large, layer, 4 * std::abs(t - 564));
  ASSERT_EQ(frame(t), expected);
}

INSTANTIATE_TEST_SUITE_P(Times, BlobsReference,
                         ::testing::Values(150, 200, 201, 250, 256, 325, 400, 450, 500, 501, 627, 628, 750, 800,
                                           5000));

TEST_F(BlobsTest, SpriteThroughAWholeSizeBlob) {
  // A 256-pixel blob at (128, 128) maps each framebuffer pixel to the same sprite pixel; a colour
  // byte of 255 gives s * 255 >> 8 = s - 1.
  Frame fb(kFbPixels, 0);
  blob_draw(fb.data(), 256, 128, 128, 0x000000FF);
  EXPECT_EQ(fb[128 * kFbWidth + 128], 214u);  // 215 at the centre
  EXPECT_EQ(fb[0], 0u);                      // 1 outside the circle
  for (int x = 129; x < 256; ++x) EXPECT_LE(fb[128 * kFbWidth + x], fb[128 * kFbWidth + x - 1]);
  EXPECT_EQ(fb[128 * kFbWidth + 256], 0u);  // nothing beyond the blob
}

struct BlobCase {
  int32_t size, cx, cy;
};

class BlobDraw : public BlobsTest, public ::testing::WithParamInterface<BlobCase> {};

// Blobs of cached and uncached sizes, clipped on each side, onto a busy frame.
TEST_P(BlobDraw, MatchesPlainVersionAndClips) {
  const auto [size, cx, cy] = GetParam();
  Frame fb = synthetic::random_frame(uint32_t(size * 7 + cx), kFbPixels + 2 * kFbWidth);  // guard rows
  Frame expected = fb;
  blob_draw(fb.data() + kFbWidth, size, cx, cy, 0x806F2A06);
  ref->blob(expected.data() + kFbWidth, size, cx, cy, 0x806F2A06);
  ASSERT_EQ(fb, expected);
}

INSTANTIATE_TEST_SUITE_P(Places, BlobDraw,
                         ::testing::Values(BlobCase{1, 0, 0}, BlobCase{14, 160, 120}, BlobCase{30, 3, 100},
                                           BlobCase{30, 317, 100}, BlobCase{30, 100, 2}, BlobCase{30, 100, 238},
                                           BlobCase{25, -12, -12}, BlobCase{25, 331, 251}, BlobCase{65, 10, 230},
                                           BlobCase{333, 0, 239}, BlobCase{-5, 100, 100}));

TEST_F(BlobsTest, ExtremeBlobsStayInside) {
  Frame fb(kFbPixels + kFbWidth, 0);
  for (const BlobCase c : {BlobCase{2147483647, 0, 0}, BlobCase{100000, -2147483647 - 1, 2147483647},
                           BlobCase{70000, 160, 120}, BlobCase{5, 2147483647, -2147483647 - 1}})
    blob_draw(fb.data(), c.size, c.cx, c.cy, 0x00FFFFFF);
  for (int i = kFbPixels; i < kFbPixels + kFbWidth; ++i) ASSERT_EQ(fb[i], 0u);
}

}  // namespace
