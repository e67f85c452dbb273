// The capture tool's pieces: the frame list, the doubled frame with its scanlines, the WAV
// header, and an MP4 that comes out byte for byte the same from the same frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tools/capture/encoder.h"
#include "platform/show_run.h"
#include "tools/capture/wav.h"

namespace {

struct ListCase {
  const char* text;
  bool ok;
  std::vector<int64_t> frames;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class FrameList : public testing::TestWithParam<ListCase> {};

TEST_P(FrameList, Parses) {
  std::vector<int64_t> frames;
  EXPECT_EQ(parse_frame_list(GetParam().text, &frames), GetParam().ok) << GetParam().text;
  if (GetParam().ok) {
    EXPECT_EQ(frames, GetParam().frames);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameList,
    testing::Values(ListCase{"7", true, {7}}, ListCase{"12,3,3", true, {3, 12}},
                    ListCase{"5-8,6", true, {5, 6, 7, 8}}, ListCase{"0,600-601", true, {0, 600, 601}},
                    ListCase{"", false, {}}, ListCase{"4,", false, {}}, ListCase{",4", false, {}},
                    ListCase{"8-5", false, {}}, ListCase{"1-", false, {}}, ListCase{"-3", false, {}},
                    ListCase{"a", false, {}}, ListCase{"99999999999999999999", false, {}}));

TEST(Scanlines, EveryPixelTwiceAndEveryOddRowBlack) {
  std::vector<uint32_t> src(320 * 240), dst(640 * 480, 0xDEADBEEF);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i * 2654435761u) | 1;
  double_with_scanlines(src.data(), dst.data());
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint32_t want = y % 2 ? 0 : src[(y / 2) * 320 + x / 2];
      ASSERT_EQ(dst[y * 640 + x], want) << x << "," << y;
    }
}

std::vector<uint8_t> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Wav, HeaderCarriesTheSizesAndSamplesAreLittleEndian) {
  const std::string path = testing::TempDir() + "capture_test.wav";
  ASSERT_TRUE(wav_open(path, 44100));
  const int16_t a[3] = {1, -2, 0x1234};
  const int16_t b[2] = {-32768, 32767};
  ASSERT_TRUE(wav_write(a, 3));
  ASSERT_TRUE(wav_write(b, 2));
  ASSERT_TRUE(wav_close());
  const std::vector<uint8_t> f = slurp(path);
  ASSERT_EQ(f.size(), 44u + 10u);
  auto u32 = [&](size_t at) { return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t(f[at + 3]) << 24; };
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), 36u + 10u);
  EXPECT_EQ(std::string(f.begin() + 8, f.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(24), 44100u);
  EXPECT_EQ(u32(28), 88200u);
  EXPECT_EQ(std::string(f.begin() + 36, f.begin() + 40), "data");
  EXPECT_EQ(u32(40), 10u);
  const std::vector<uint8_t> samples(f.begin() + 44, f.end());
  EXPECT_EQ(samples, (std::vector<uint8_t>{1, 0, 0xFE, 0xFF, 0x34, 0x12, 0, 0x80, 0xFF, 0x7F}));
  std::remove(path.c_str());
}

// Half a second of moving frames and a tone, encoded twice.
std::vector<uint8_t> encode_once(const std::string& path) {
  EncoderSettings settings;
  settings.path = path;
  std::string error;
  EXPECT_TRUE(encoder_open(settings, &error)) << error;
  std::vector<uint32_t> fb(320 * 240);
  std::vector<int16_t> tone(735);
  for (int f = 0; f < 30; ++f) {
    for (int i = 0; i < 320 * 240; ++i) fb[i] = static_cast<uint32_t>((i % 320 + 4 * f) & 255) << 16 | (i / 320);
    EXPECT_TRUE(encoder_video(fb.data()));
    for (int i = 0; i < 735; ++i) tone[i] = static_cast<int16_t>(((f * 735 + i) % 100 - 50) * 200);
    EXPECT_TRUE(encoder_audio(tone.data(), 735));
  }
  EXPECT_TRUE(encoder_close(&error)) << error;
  return slurp(path);
}

TEST(Encoder, SameFramesGiveTheSameFile) {
  const std::string a = testing::TempDir() + "capture_a.mp4", b = testing::TempDir() + "capture_b.mp4";
  const std::vector<uint8_t> first = encode_once(a), second = encode_once(b);
  EXPECT_GT(first.size(), 1000u);
  EXPECT_EQ(first, second);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

TEST(Encoder, RefusesAFileItCannotWrite) {
  EncoderSettings settings;
  settings.path = "/nonexistent-dir/x.mp4";
  std::string error;
  EXPECT_FALSE(encoder_open(settings, &error));
  EXPECT_NE(error.find("/nonexistent-dir/x.mp4"), std::string::npos) << error;
  EXPECT_FALSE(encoder_video(std::vector<uint32_t>(320 * 240).data()));
}

TEST(FrameHash, DependsOnEveryPixel) {
  std::vector<uint32_t> a(320 * 240, 0), b = a;
  b.back() = 1;
  EXPECT_NE(frame_hash(a.data(), a.size()), frame_hash(b.data(), b.size()));
  b.back() = 0;
  b.front() = 0x01000000;  // the top byte counts too
  EXPECT_NE(frame_hash(a.data(), a.size()), frame_hash(b.data(), b.size()));
}

}  // namespace
