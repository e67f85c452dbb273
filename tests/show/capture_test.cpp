// The capture tool's pieces: the frame list, the colour conversion and the scaled picture with
// its scanlines, the WAV header, an MP4 that comes out byte for byte the same from the same
// frames; and (DecodedVideo, label conformance) the tool's files decoded by FFmpeg against the
// show's own frames.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "driver/show_run.h"
#include "platform/wav_writer.h"
#include "tools/capture/encoder.h"

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

INSTANTIATE_TEST_SUITE_P(Cases, FrameList,
                         testing::Values(ListCase{"7", true, {7}},
                                         ListCase{"12,3,3", true, {3, 12}},
                                         ListCase{"5-8,6", true, {5, 6, 7, 8}},
                                         ListCase{"0,600-601", true, {0, 600, 601}},
                                         ListCase{"", false, {}}, ListCase{"4,", false, {}},
                                         ListCase{",4", false, {}}, ListCase{"8-5", false, {}},
                                         ListCase{"1-", false, {}}, ListCase{"-3", false, {}},
                                         ListCase{"a", false, {}},
                                         ListCase{"99999999999999999999", false, {}}));

struct YccCase {
  uint32_t rgb;
  Ycc want;
};

class YccColours : public testing::TestWithParam<YccCase> {};

// The studio-range values every decoder expects for the primaries, black, white and a grey.
TEST_P(YccColours, MatchTheStudioRangeValues) {
  const Ycc got = rgb_to_ycc(GetParam().rgb);
  EXPECT_EQ(got.y, GetParam().want.y);
  EXPECT_EQ(got.cb, GetParam().want.cb);
  EXPECT_EQ(got.cr, GetParam().want.cr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YccColours,
    testing::Values(YccCase{0x000000, {16, 128, 128}}, YccCase{0xFFFFFF, {235, 128, 128}},
                    YccCase{0x808080, {126, 128, 128}}, YccCase{0xFF0000, {81, 90, 240}},
                    YccCase{0x00FF00, {145, 54, 34}}, YccCase{0x0000FF, {41, 240, 110}},
                    YccCase{0xFF000000, {16, 128, 128}}));

struct PlaneCase {
  int scale;
  Chroma chroma;
};

void PrintTo(const PlaneCase& c, std::ostream* os) {
  *os << "scale " << c.scale << (c.chroma == Chroma::k444 ? " 444" : " 420");
}

class Planes : public testing::TestWithParam<PlaneCase> {};

// The picture is the window's 640 x 480 scaled by nearest neighbour to 320 scale x 240 scale:
// picture row y shows window row 2 y / scale, black when that row is odd.
TEST_P(Planes, EveryShowPixelIsABlockAboveItsScanline) {
  const int n = GetParam().scale, w = 320 * n, h = 240 * n;
  const bool half = GetParam().chroma == Chroma::k420;
  std::vector<uint32_t> src(320 * 240);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint32_t>(i * 2654435761u);
  const int cw = half ? w / 2 : w, ch = half ? h / 2 : h;
  std::vector<uint8_t> y(w * h, 1), cb(cw * ch, 1), cr(cw * ch, 1);
  uint8_t* const planes[3] = {y.data(), cb.data(), cr.data()};
  const int linesize[3] = {w, cw, cw};
  frame_to_ycc(src.data(), n, GetParam().chroma, planes, linesize);
  // Full-resolution Y'CbCr of pixel (x, y), black on the scanline rows.
  auto at = [&](int px, int py) {
    return (2 * py / n) % 2 ? Ycc{16, 128, 128} : rgb_to_ycc(src[py / n * 320 + px / n]);
  };
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) ASSERT_EQ(y[py * w + px], at(px, py).y) << px << "," << py;
  for (int cy = 0; cy < ch; ++cy)
    for (int cx = 0; cx < cw; ++cx) {
      int want_b = at(cx, cy).cb, want_r = at(cx, cy).cr, slack = 0;
      if (half) {
        int sum_b = 0, sum_r = 0;
        for (int k = 0; k < 4; ++k) {
          sum_b += at(2 * cx + k % 2, 2 * cy + k / 2).cb;
          sum_r += at(2 * cx + k % 2, 2 * cy + k / 2).cr;
        }
        want_b = (sum_b + 2) / 4;
        want_r = (sum_r + 2) / 4;
        // Sample rows wholly inside a block's picture rows carry the colour that a player's
        // interpolation with the scanline takes away: p / (p - 1/2) times it for p picture rows.
        const int p = (n + 1) / 2;
        if (n % 4 == 0 && (2 * cy) % n < p && (2 * cy + 1) % n < p) {
          auto raise = [&](int sum) {
            return std::clamp<int>(std::lround(128 + (sum / 4.0 - 128) * p / (p - 0.5)), 0, 255);
          };
          want_b = raise(sum_b);
          want_r = raise(sum_r);
          slack = 1;  // rounding of the fixed-point gain
        }
      }
      ASSERT_NEAR(cb[cy * cw + cx], want_b, slack) << cx << "," << cy;
      ASSERT_NEAR(cr[cy * cw + cx], want_r, slack) << cx << "," << cy;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Planes,
                         testing::Values(PlaneCase{1, Chroma::k444}, PlaneCase{2, Chroma::k420},
                                         PlaneCase{3, Chroma::k444}, PlaneCase{3, Chroma::k420},
                                         PlaneCase{4, Chroma::k444}, PlaneCase{8, Chroma::k420}));

std::vector<uint8_t> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Wav, HeaderCarriesTheSizesAndSamplesAreLittleEndian) {
  const std::string path = testing::TempDir() + "capture_test.wav";
  WavFile wav;
  ASSERT_TRUE(wav_file_open(wav, path, 44100));
  const int16_t a[3] = {1, -2, 0x1234};
  const int16_t b[2] = {-32768, 32767};
  ASSERT_TRUE(wav_file_write(wav, a, 3));
  ASSERT_TRUE(wav_file_write(wav, b, 2));
  ASSERT_TRUE(wav_file_close(wav));
  const std::vector<uint8_t> f = slurp(path);
  ASSERT_EQ(f.size(), 44u + 10u);
  auto u32 = [&](size_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t(f[at + 3]) << 24;
  };
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

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Half a second of moving frames and a tone.
std::vector<uint8_t> encode_once(EncoderSettings settings, const std::string& path) {
  settings.path = path;
  std::string error;
  EXPECT_TRUE(encoder_open(settings, &error)) << error;
  std::vector<uint32_t> fb(320 * 240);
  std::vector<int16_t> tone(882);
  for (int f = 0; f < 25; ++f) {
    for (int i = 0; i < 320 * 240; ++i)
      fb[i] = static_cast<uint32_t>((i % 320 + 4 * f) & 255) << 16 | (i / 320);
    EXPECT_TRUE(encoder_video(fb.data()));
    for (int i = 0; i < 882; ++i) tone[i] = static_cast<int16_t>(((f * 882 + i) % 100 - 50) * 200);
    EXPECT_TRUE(encoder_audio(tone.data(), 882));
  }
  EXPECT_TRUE(encoder_close(&error)) << error;
  EXPECT_FALSE(exists(path + ".part"));
  return slurp(path);
}

class Encoder : public testing::TestWithParam<PlaneCase> {};

// The encoder runs on several threads; its output must not depend on how they were scheduled.
TEST_P(Encoder, SameFramesGiveTheSameFile) {
  EncoderSettings settings;
  settings.scale = GetParam().scale;
  settings.chroma = GetParam().chroma;
  // CTest runs the cases side by side: names of their own.
  const std::string stem = testing::TempDir() + "capture_" + std::to_string(::getpid());
  const std::string a = stem + "_a.mp4", b = stem + "_b.mp4";
  const std::vector<uint8_t> first = encode_once(settings, a), second = encode_once(settings, b);
  EXPECT_GT(first.size(), 1000u);
  EXPECT_EQ(first, second);
  std::remove(a.c_str());
  std::remove(b.c_str());
}

INSTANTIATE_TEST_SUITE_P(Settings, Encoder,
                         testing::Values(PlaneCase{4, Chroma::k444}, PlaneCase{8, Chroma::k420}));

TEST(EncoderFailure, RefusesAFileItCannotWriteAndLeavesNothing) {
  EncoderSettings settings;
  settings.path = "/nonexistent-dir/x.mp4";
  std::string error;
  EXPECT_FALSE(encoder_open(settings, &error));
  EXPECT_NE(error.find("/nonexistent-dir/x.mp4"), std::string::npos) << error;
  EXPECT_FALSE(encoder_video(std::vector<uint32_t>(320 * 240).data()));
  // Abandoned half way: neither the file nor its temporary name is left, and a file that was
  // there before is untouched.
  settings.path = testing::TempDir() + "capture_abandoned_" + std::to_string(::getpid()) + ".mp4";
  std::ofstream(settings.path) << "earlier";
  ASSERT_TRUE(encoder_open(settings, &error)) << error;
  EXPECT_TRUE(encoder_video(std::vector<uint32_t>(320 * 240).data()));
  EXPECT_TRUE(exists(settings.path + ".part"));
  encoder_abort();
  EXPECT_FALSE(exists(settings.path + ".part"));
  const std::vector<uint8_t> kept = slurp(settings.path);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier");
  std::remove(settings.path.c_str());
}

TEST(FrameHash, DependsOnEveryPixel) {
  std::vector<uint32_t> a(320 * 240, 0), b = a;
  b.back() = 1;
  EXPECT_NE(frame_hash(a.data(), a.size()), frame_hash(b.data(), b.size()));
  b.back() = 0;
  b.front() = 0x01000000;  // the top byte counts too
  EXPECT_NE(frame_hash(a.data(), a.size()), frame_hash(b.data(), b.size()));
}

// ---- The tool's files, decoded ------------------------------------------------------------

constexpr int32_t kUntil = 300;  // the intro, the tunnels and the dot screen

// One input file through libavformat and libavcodec, video and audio.
struct Decoded {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int video_index = -1, audio_index = -1;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<float> samples;  // all the decoded audio, in order
  bool video_done = false;

  explicit Decoded(const std::string& path) {
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return;
    avformat_find_stream_info(fmt, nullptr);
    video_index = open_stream(AVMEDIA_TYPE_VIDEO, &video);
    audio_index = open_stream(AVMEDIA_TYPE_AUDIO, &audio);
  }
  ~Decoded() {
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    avformat_close_input(&fmt);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
  int open_stream(AVMediaType type, AVCodecContext** ctx) {
    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(fmt, type, -1, -1, &codec, 0);
    if (index < 0) return -1;
    *ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(*ctx, fmt->streams[index]->codecpar);
    (*ctx)->thread_count = 2;
    return avcodec_open2(*ctx, codec, nullptr) < 0 ? -1 : index;
  }
  void keep_audio() {
    while (avcodec_receive_frame(audio, frame) == 0) {
      const float* p = reinterpret_cast<const float*>(frame->data[0]);
      samples.insert(samples.end(), p, p + frame->nb_samples);
    }
  }
  // The next decoded picture, or nullptr at the end; audio met on the way is decoded too.
  const AVFrame* next_picture() {
    for (;;) {
      if (avcodec_receive_frame(video, frame) == 0) return frame;
      if (video_done) return nullptr;
      if (av_read_frame(fmt, packet) < 0) {
        avcodec_send_packet(video, nullptr);
        avcodec_send_packet(audio, nullptr);
        keep_audio();
        video_done = true;
        continue;
      }
      if (packet->stream_index == video_index) avcodec_send_packet(video, packet);
      if (packet->stream_index == audio_index) {
        avcodec_send_packet(audio, packet);
        keep_audio();
      }
      av_packet_unref(packet);
    }
  }
};

// What a player shows: studio-range BT.601 to 8-bit RGB, 4:2:0 colour interpolated between its
// samples (sited on even columns and midway between two rows, as H.264 leaves it by default).
void to_rgb(const AVFrame* f, int y, std::vector<float>* rgb) {
  const bool half = f->format == AV_PIX_FMT_YUV420P;
  const uint8_t* luma = f->data[0] + y * f->linesize[0];
  // Vertical colour weights: the sample row below the pixel's and the one above or below it.
  int c0 = y, c1 = y;
  float w1 = 0;
  if (half) {
    const int rows = f->height / 2;
    c0 = y / 2;
    c1 = std::clamp(y % 2 ? c0 + 1 : c0 - 1, 0, rows - 1);
    w1 = 0.25f;
  }
  auto chroma = [&](int plane, int x) {
    const uint8_t* r0 = f->data[plane] + c0 * f->linesize[plane];
    const uint8_t* r1 = f->data[plane] + c1 * f->linesize[plane];
    if (!half) return static_cast<float>(r0[x]);
    const int cx = x / 2, nx = std::min(cx + 1, f->width / 2 - 1);
    const float hx = x % 2 ? 0.5f : 0.0f;
    const float a = r0[cx] * (1 - hx) + r0[nx] * hx, b = r1[cx] * (1 - hx) + r1[nx] * hx;
    return a * (1 - w1) + b * w1;
  };
  rgb->resize(3 * f->width);
  for (int x = 0; x < f->width; ++x) {
    const float yy = 1.164384f * (luma[x] - 16);
    const float cb = chroma(1, x) - 128, cr = chroma(2, x) - 128;
    const float v[3] = {yy + 1.596027f * cr, yy - 0.391762f * cb - 0.812968f * cr,
                        yy + 2.017232f * cb};
    for (int c = 0; c < 3; ++c) (*rgb)[3 * x + c] = std::clamp(std::round(v[c]), 0.0f, 255.0f);
  }
}

struct Agreement {
  int64_t frames = 0;
  double worst_psnr = 1e9, sum_psnr = 0;
  int64_t worst_frame = -1;
  double source_sum[3] = {}, decoded_sum[3] = {};
  double scanline_sum = 0;  // every channel of every scanline-row pixel
  int64_t scanline_values = 0;
};

// Each show pixel against the mean of its block's picture rows; the scanline rows' brightness.
void compare(const uint32_t* show, const AVFrame* f, Agreement* a) {
  const int n = f->width / 320;
  std::vector<double> block(3 * 320 * 240, 0.0);
  std::vector<int> rows(240, 0);
  std::vector<float> rgb;
  for (int y = 0; y < f->height; ++y) {
    if ((2 * y / n) % 2) {  // a scanline row of the window; every fourth frame will do
      if (a->frames % 4) continue;
      to_rgb(f, y, &rgb);
      for (float v : rgb) a->scanline_sum += v;
      a->scanline_values += static_cast<int64_t>(rgb.size());
      continue;
    }
    to_rgb(f, y, &rgb);
    ++rows[y / n];
    double* b = &block[3 * 320 * (y / n)];
    for (int x = 0; x < f->width; ++x)
      for (int c = 0; c < 3; ++c) b[3 * (x / n) + c] += rgb[3 * x + c];
  }
  double squared = 0;
  for (int i = 0; i < 320 * 240; ++i)
    for (int c = 0; c < 3; ++c) {
      const double want = show[i] >> (16 - 8 * c) & 255;
      const double got = block[3 * i + c] / (rows[i / 320] * n);
      squared += (got - want) * (got - want);
      a->source_sum[c] += want;
      a->decoded_sum[c] += got;
    }
  const double mse = squared / (3 * 320 * 240);
  const double psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
  if (psnr < a->worst_psnr) a->worst_psnr = psnr, a->worst_frame = a->frames;
  a->sum_psnr += psnr;
  ++a->frames;
}

// The 16-bit samples of a WAV file the tool wrote (44-byte header), as floats.
std::vector<float> wav_samples(const std::string& path) {
  const std::vector<uint8_t> f = slurp(path);
  std::vector<float> v;
  for (size_t i = 44; i + 1 < f.size(); i += 2)
    v.push_back(static_cast<int16_t>(f[i] | f[i + 1] << 8) / 32768.0f);
  return v;
}

// Normalised correlation of b shifted by lag against a, over n samples from start.
double correlation(const std::vector<float>& a, const std::vector<float>& b, size_t start, size_t n,
                   int lag) {
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = start; i < start + n; ++i) {
    const double x = a[i], y = b[i + lag];
    ab += x * y;
    aa += x * x;
    bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

struct VideoCase {
  const char* name;
  const char* options;
  int fps;
  bool keeps_colours;
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.name; }

class DecodedVideo : public testing::TestWithParam<VideoCase> {};

TEST_P(DecodedVideo, ShowsTheShowsFrames) {
  const VideoCase& c = GetParam();
  const std::string base = testing::TempDir() + "decoded_" + c.name;
  const std::string command =
      std::string(DRIFTLIGHT_RUN DRIFTLIGHT_BINARY_DIR "/tools/capture/driftlight-capture") +
      " --until " + std::to_string(kUntil) + " -o " + base + ".mp4 --wav " + base + ".wav " +
      c.options + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  Decoded file(base + ".mp4");
  ASSERT_GE(file.video_index, 0);
  ASSERT_GE(file.audio_index, 0);
  EXPECT_EQ(file.video->color_range, AVCOL_RANGE_MPEG);
  EXPECT_EQ(file.video->colorspace, AVCOL_SPC_SMPTE170M);

  Agreement a;
  int64_t missing = 0;
  ShowRunOptions run;
  run.fps = c.fps;
  run.keep_records = false;
  run.hash_frames = false;
  run.on_frame = [&](const FrameRecord& r, const uint32_t* pixels) {
    if (r.position >= kUntil) return false;
    const AVFrame* f = file.next_picture();
    if (!f) {
      ++missing;
      return true;
    }
    compare(pixels, f, &a);
    return true;
  };
  ASSERT_EQ(show_run_offline(run).status, 0);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(file.next_picture(), nullptr) << "more pictures than the show presented";

  // A channel's mean against the source's: within 3 %, or within 3 levels (1 % of the scale)
  // for a channel so little used that 3 % of it is below what 8 bits can tell apart. Blue
  // averages 4.5 of 255 in this stretch, and at 4:2:0 the outer rows of a saturated red block
  // take a little blue from the interpolation with the scanline that no colour can take back
  // below zero.
  constexpr double kFloor = 3.0;
  bool means_agree = true;
  std::string means;
  for (int ch = 0; ch < 3; ++ch) {
    const double source = a.source_sum[ch] / (a.frames * 76800.0);
    const double decoded = a.decoded_sum[ch] / (a.frames * 76800.0);
    means_agree &= std::fabs(decoded - source) <= std::max(0.03 * source, kFloor);
    char text[64];
    std::snprintf(text, sizeof text, " %c %.1f -> %.1f (%+.1f%%)", "RGB"[ch], source, decoded,
                  100 * (decoded / source - 1));
    means += text;
  }
  const double scanline = a.scanline_values ? a.scanline_sum / a.scanline_values : 0;
  std::printf(
      "%s: %lld frames, PSNR worst %.2f dB (frame %lld), mean %.2f dB; channel means%s; "
      "scanline rows' mean level %.2f\n",
      c.name, static_cast<long long>(a.frames), a.worst_psnr, static_cast<long long>(a.worst_frame),
      a.sum_psnr / a.frames, means.c_str(), scanline);
  EXPECT_EQ(a.worst_psnr >= 34 && means_agree, c.keeps_colours);
  if (c.keeps_colours) {
    EXPECT_LT(scanline, 3.0) << "the scanlines are not dark";
  }

  // The soundtrack lines up with the picture: the decoded AAC matches the WAV best unshifted.
  const std::vector<float> wav = wav_samples(base + ".wav");
  ASSERT_GT(wav.size(), 88200u * 4);
  ASSERT_GE(file.samples.size(), wav.size() - 2048);
  constexpr int kLags = 2048;
  const size_t start = 88200 * 2, n = 88200;
  int best = 0;
  double best_r = -2;
  for (int lag = -kLags; lag <= kLags; ++lag) {
    const double r = correlation(wav, file.samples, start, n, lag);
    if (r > best_r) best_r = r, best = lag;
  }
  EXPECT_EQ(best, 0);
  EXPECT_GT(best_r, 0.95);
  std::remove((base + ".mp4").c_str());
  std::remove((base + ".wav").c_str());
}

// The defaults and the browser option keep the colours; the window's own 640 x 480 at 4:2:0,
// as the tool wrote it before, does not (its colour smears into the scanlines).
INSTANTIATE_TEST_SUITE_P(
    Settings, DecodedVideo,
    testing::Values(VideoCase{"defaults", "", 50, true}, VideoCase{"web", "--web", 50, true},
                    VideoCase{"window420", "--scale 2 --chroma 420 --fps 60", 60, false}),
    [](const testing::TestParamInfo<VideoCase>& info) { return info.param.name; });

}  // namespace
