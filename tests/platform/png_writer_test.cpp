#include "platform/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

// Reads a PNG back as 0x00RRGGBB through libpng's simplified reader.
std::vector<uint32_t> read_png(const std::string& path, int* w, int* h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  std::vector<uint32_t> out(static_cast<size_t>(*w) * *h);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  return out;
}

class PngWriter : public testing::Test {
 protected:
  void SetUp() override {
    dir =
        std::filesystem::temp_directory_path() / ("png_writer_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

const uint32_t kFrame[3 * 2] = {0xFF0000,   0x00FF00, 0x0000FF,
                                0xAB123456, 0x000001, 0xFFFFFF};  // top byte is ignored

TEST_F(PngWriter, LogicalSizeKeepsEveryPixel) {
  const std::string path = dir / "logical.png";
  ASSERT_TRUE(png_write_frame(path, kFrame, 3, 2, PngScale::Logical));
  int w = 0, h = 0;
  const std::vector<uint32_t> px = read_png(path, &w, &h);
  ASSERT_EQ(w, 3);
  ASSERT_EQ(h, 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(px[i], kFrame[i] & 0xFFFFFF) << i;
}

TEST_F(PngWriter, WindowSizeDoublesWithBlackScanlines) {
  const std::string path = dir / "window.png";
  ASSERT_TRUE(png_write_frame(path, kFrame, 3, 2, PngScale::Window));
  int w = 0, h = 0;
  const std::vector<uint32_t> px = read_png(path, &w, &h);
  ASSERT_EQ(w, 6);
  ASSERT_EQ(h, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(px[y * 6 + x], y % 2 ? 0u : kFrame[(y / 2) * 3 + x / 2] & 0xFFFFFF)
          << x << "," << y;
}

TEST_F(PngWriter, SinkWritesEveryNthFrameFromTheFirstAndReportsFailures) {
  PngSinkConfig cfg;
  cfg.pattern = (dir / "f%03lld.png").string();
  cfg.first = 1;
  cfg.every = 2;
  for (int64_t n = 0; n < 5; ++n) png_sink(OfflineFrame{kFrame, 3, 2, n, 0}, &cfg);
  EXPECT_EQ(cfg.written, 2);
  EXPECT_TRUE(std::filesystem::exists(dir / "f001.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "f003.png"));
  EXPECT_FALSE(cfg.failed);
  cfg.pattern = (dir / "missing" / "f%03lld.png").string();
  png_sink(OfflineFrame{kFrame, 3, 2, 5, 0}, &cfg);
  EXPECT_TRUE(cfg.failed);
}

}  // namespace
