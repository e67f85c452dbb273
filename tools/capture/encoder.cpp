// MP4 writer over FFmpeg's libraries. One file per process; state lives here.
#include "tools/capture/encoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/framebuffer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {

constexpr uint8_t kBlackY = 16;
constexpr uint8_t kNeutral = 128;

AVFormatContext* fmt = nullptr;
AVCodecContext* vctx = nullptr;
AVCodecContext* actx = nullptr;
AVStream* vstream = nullptr;
AVStream* astream = nullptr;
AVFrame* vframe = nullptr;
AVFrame* aframe = nullptr;
AVPacket* packet = nullptr;
EncoderSettings current;
std::string temp_path;       // where the file grows until encoder_close renames it
std::vector<float> pending;  // samples waiting for a whole AAC frame
int64_t video_pts = 0;
int64_t audio_pts = 0;

std::string av_message(int err) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, buf, sizeof buf);
  return buf;
}

// Sends one frame (or nullptr to flush) and writes every packet the encoder hands back.
bool drain(AVCodecContext* ctx, AVStream* stream, const AVFrame* frame) {
  if (avcodec_send_frame(ctx, frame) < 0) return false;
  for (;;) {
    int r = avcodec_receive_packet(ctx, packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (av_interleaved_write_frame(fmt, packet) < 0) return false;
  }
}

bool encode_audio_frame(int count) {
  if (av_frame_make_writable(aframe) < 0) return false;
  aframe->nb_samples = count;
  std::memcpy(aframe->data[0], pending.data(), sizeof(float) * count);
  aframe->pts = audio_pts;
  audio_pts += count;
  pending.erase(pending.begin(), pending.begin() + count);
  return drain(actx, astream, aframe);
}

// Frees everything; the temporary file goes too unless it was already renamed.
void release() {
  av_frame_free(&vframe);
  av_frame_free(&aframe);
  av_packet_free(&packet);
  avcodec_free_context(&vctx);
  avcodec_free_context(&actx);
  if (fmt) {
    if (!(fmt->oformat->flags & AVFMT_NOFILE)) avio_closep(&fmt->pb);
    avformat_free_context(fmt);
    fmt = nullptr;
  }
  if (!temp_path.empty()) std::remove(temp_path.c_str());
  temp_path.clear();
  pending.clear();
  video_pts = audio_pts = 0;
}

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  release();
  return false;
}

// Every show pixel repeated scale times along a row.
void widen(const uint8_t* src, int scale, uint8_t* dst) {
  if (scale == 1) {
    std::memcpy(dst, src, kFbWidth);
    return;
  }
  for (int x = 0; x < kFbWidth; ++x, dst += scale) std::memset(dst, src[x], scale);
}

// A full-resolution plane: picture rows widened from the show row, scanline rows set to fill.
void fill_plane(const uint8_t* values, int scale, uint8_t fill, uint8_t* plane, int linesize) {
  const int width = kFbWidth * scale;
  const int shown = picture_rows(scale);
  for (int y = 0; y < kFbHeight; ++y) {
    uint8_t* row = plane + static_cast<ptrdiff_t>(y) * scale * linesize;
    widen(values + y * kFbWidth, scale, row);
    for (int k = 1; k < shown; ++k) std::memcpy(row + k * linesize, row, width);
    for (int k = shown; k < scale; ++k) std::memset(row + k * linesize, fill, width);
  }
}

// A 4:2:0 colour plane: each sample the rounded mean of its 2 x 2 full-resolution samples.
//
// Players interpolate colour between sample rows, so the first and last picture row of a block
// take a quarter of their colour from the neutral scanline beside them. Where the block's
// picture rows are whole sample rows (scale a multiple of 4), their colour is raised by the
// share lost, so that the block's mean colour, what the eye and any downscaling see, is the
// show's. A player that repeats colour samples instead shows the middle rows that much richer.
void fill_half_plane(const uint8_t* values, int scale, uint8_t* plane, int linesize) {
  const int width = kFbWidth * scale / 2;
  const int height = kFbHeight * scale / 2;
  const int shown = picture_rows(scale);
  // 16.16 fixed point: shown / (shown - 1/2), 1 where the edges do not fall between samples.
  const int32_t gain = scale % 4 == 0 ? (shown << 17) / (2 * shown - 1) : 1 << 16;
  // Sums of horizontal pairs for one picture row, and the same for a scanline row.
  std::vector<uint16_t> pair_a(width), pair_b(width);
  auto pairs = [&](int luma_row, std::vector<uint16_t>& out) {
    if (luma_row % scale >= shown) {
      std::fill(out.begin(), out.end(), static_cast<uint16_t>(2 * kNeutral));
      return false;
    }
    const uint8_t* s = values + luma_row / scale * kFbWidth;
    for (int cx = 0; cx < width; ++cx) out[cx] = s[2 * cx / scale] + s[(2 * cx + 1) / scale];
    return true;
  };
  // Which show rows (or -1 for a scanline) the previous sample row was made of: consecutive
  // sample rows of one block are the same, and are copied rather than computed again.
  int previous_a = -2, previous_b = -2;
  for (int cy = 0; cy < height; ++cy) {
    uint8_t* d = plane + static_cast<ptrdiff_t>(cy) * linesize;
    auto source = [&](int luma_row) { return luma_row % scale < shown ? luma_row / scale : -1; };
    const int a = source(2 * cy), b = source(2 * cy + 1);
    if (a == previous_a && b == previous_b) {
      std::memcpy(d, d - linesize, width);
      continue;
    }
    previous_a = a;
    previous_b = b;
    const bool inside = pairs(2 * cy, pair_a) & pairs(2 * cy + 1, pair_b);
    if (!inside || gain == 1 << 16) {
      for (int cx = 0; cx < width; ++cx)
        d[cx] = static_cast<uint8_t>((pair_a[cx] + pair_b[cx] + 2) >> 2);
      continue;
    }
    for (int cx = 0; cx < width; ++cx) {
      // Four samples' sum minus four neutrals, times the gain, in quarters of a level.
      const int32_t off = (pair_a[cx] + pair_b[cx] - 4 * kNeutral) * gain;
      const int32_t v = kNeutral + ((off + (1 << 17)) >> 18);
      d[cx] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
  }
}

}  // namespace

Ycc rgb_to_ycc(uint32_t rgb) {
  // The BT.601 studio-range matrix in 16.16 fixed point; the colour rows sum to zero so that
  // every grey has neutral colour exactly.
  const int32_t r = rgb >> 16 & 255, g = rgb >> 8 & 255, b = rgb & 255;
  constexpr int32_t kHalf = 1 << 15;
  const int32_t y = (16829 * r + 33039 * g + 6416 * b + kHalf) >> 16;
  const int32_t cb = (-9714 * r - 19070 * g + 28784 * b + kHalf) >> 16;
  const int32_t cr = (28784 * r - 24103 * g - 4681 * b + kHalf) >> 16;
  return Ycc{static_cast<uint8_t>(16 + y), static_cast<uint8_t>(128 + cb),
             static_cast<uint8_t>(128 + cr)};
}

void frame_to_ycc(const uint32_t* src, int scale, Chroma chroma, uint8_t* const planes[3],
                  const int linesize[3]) {
  static uint8_t y[kFbWidth * kFbHeight], cb[kFbWidth * kFbHeight], cr[kFbWidth * kFbHeight];
  for (int i = 0; i < kFbWidth * kFbHeight; ++i) {
    const Ycc c = rgb_to_ycc(src[i]);
    y[i] = c.y;
    cb[i] = c.cb;
    cr[i] = c.cr;
  }
  fill_plane(y, scale, kBlackY, planes[0], linesize[0]);
  if (chroma == Chroma::k444) {
    fill_plane(cb, scale, kNeutral, planes[1], linesize[1]);
    fill_plane(cr, scale, kNeutral, planes[2], linesize[2]);
  } else {
    fill_half_plane(cb, scale, planes[1], linesize[1]);
    fill_half_plane(cr, scale, planes[2], linesize[2]);
  }
}

bool encoder_open(const EncoderSettings& settings, std::string* error) {
  release();
  current = settings;
  av_log_set_level(AV_LOG_ERROR);  // the encoders' chatter would break the progress bar
  // The file grows under a name of its own and takes the asked name only when complete, so a
  // failed or interrupted capture never leaves a truncated video (or clobbers a good one).
  struct stat st;
  if (::stat(settings.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return fail(error, "cannot write " + settings.path + ": it is a directory");
  temp_path = settings.path + ".part";
  int r = avformat_alloc_output_context2(&fmt, nullptr, "mp4", temp_path.c_str());
  if (r < 0 || !fmt) return fail(error, "cannot create the MP4 container: " + av_message(r));
  // No library versions or creation times in the file: identical input, identical bytes.
  fmt->flags |= AVFMT_FLAG_BITEXACT;

  const AVCodec* vcodec = avcodec_find_encoder_by_name("libx264");
  if (!vcodec) return fail(error, "libavcodec has no libx264 encoder");
  vctx = avcodec_alloc_context3(vcodec);
  vctx->width = kFbWidth * settings.scale;
  vctx->height = kFbHeight * settings.scale;
  vctx->pix_fmt = settings.chroma == Chroma::k444 ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
  vctx->time_base = AVRational{1, settings.fps};
  vctx->framerate = AVRational{settings.fps, 1};
  vctx->gop_size = 2 * settings.fps;
  vctx->color_range = AVCOL_RANGE_MPEG;
  vctx->colorspace = AVCOL_SPC_SMPTE170M;
  vctx->color_primaries = AVCOL_PRI_SMPTE170M;
  vctx->color_trc = AVCOL_TRC_SMPTE170M;
  vctx->chroma_sample_location = AVCHROMA_LOC_LEFT;
  vctx->thread_count = settings.threads;
  vctx->flags |= AV_CODEC_FLAG_BITEXACT;
  if (fmt->oformat->flags & AVFMT_GLOBALHEADER) vctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(vctx->priv_data, "preset", settings.preset, 0);
  // Every pixel as drawn, rather than bits moved to where the eye would miss them less: the
  // psycho-visual tunings cost the show's flat dark areas and its dot screen (2 dB on the worst
  // frame at the same quality setting).
  av_opt_set(vctx->priv_data, "tune", "psnr", 0);
  av_opt_set_int(vctx->priv_data, "crf", settings.crf, 0);
  if ((r = avcodec_open2(vctx, vcodec, nullptr)) < 0)
    return fail(error, "cannot open the H.264 encoder: " + av_message(r));

  const AVCodec* acodec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!acodec) return fail(error, "libavcodec has no AAC encoder");
  actx = avcodec_alloc_context3(acodec);
  actx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  actx->sample_rate = settings.sample_rate;
  av_channel_layout_default(&actx->ch_layout, 1);
  actx->bit_rate = 128000;
  actx->time_base = AVRational{1, settings.sample_rate};
  actx->thread_count = 1;
  actx->flags |= AV_CODEC_FLAG_BITEXACT;
  if (fmt->oformat->flags & AVFMT_GLOBALHEADER) actx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if ((r = avcodec_open2(actx, acodec, nullptr)) < 0)
    return fail(error, "cannot open the AAC encoder: " + av_message(r));

  vstream = avformat_new_stream(fmt, nullptr);
  astream = avformat_new_stream(fmt, nullptr);
  if (!vstream || !astream) return fail(error, "cannot add the streams");
  vstream->time_base = vctx->time_base;
  vstream->avg_frame_rate = vctx->framerate;
  astream->time_base = actx->time_base;
  avcodec_parameters_from_context(vstream->codecpar, vctx);
  avcodec_parameters_from_context(astream->codecpar, actx);

  vframe = av_frame_alloc();
  vframe->format = vctx->pix_fmt;
  vframe->width = vctx->width;
  vframe->height = vctx->height;
  aframe = av_frame_alloc();
  aframe->format = actx->sample_fmt;
  aframe->sample_rate = actx->sample_rate;
  av_channel_layout_copy(&aframe->ch_layout, &actx->ch_layout);
  aframe->nb_samples = actx->frame_size;
  packet = av_packet_alloc();
  if (av_frame_get_buffer(vframe, 0) < 0 || av_frame_get_buffer(aframe, 0) < 0 || !packet)
    return fail(error, "out of memory");

  if ((r = avio_open(&fmt->pb, temp_path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return fail(error, "cannot write " + settings.path + ": " + av_message(r));
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "movflags", "+faststart", 0);
  r = avformat_write_header(fmt, &opts);
  av_dict_free(&opts);
  if (r < 0) return fail(error, "cannot write the MP4 header: " + av_message(r));
  return true;
}

bool encoder_video(const uint32_t* pixels) {
  if (!fmt) return false;
  if (av_frame_make_writable(vframe) < 0) return false;
  frame_to_ycc(pixels, current.scale, current.chroma, vframe->data, vframe->linesize);
  vframe->pts = video_pts++;
  return drain(vctx, vstream, vframe);
}

bool encoder_audio(const int16_t* samples, int count) {
  if (!fmt) return false;
  for (int i = 0; i < count; ++i) pending.push_back(samples[i] / 32768.0f);
  while (static_cast<int>(pending.size()) >= actx->frame_size)
    if (!encode_audio_frame(actx->frame_size)) return false;
  return true;
}

bool encoder_close(std::string* error) {
  if (!fmt) return true;
  bool ok = true;
  if (!pending.empty()) {
    // The AAC encoder takes a short last frame; pad only if it would not.
    int count = static_cast<int>(pending.size());
    if (!(actx->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
      pending.resize(actx->frame_size, 0.0f);
      count = actx->frame_size;
    }
    ok = encode_audio_frame(count);
  }
  ok = drain(vctx, vstream, nullptr) && ok;
  ok = drain(actx, astream, nullptr) && ok;
  if (ok && av_write_trailer(fmt) < 0) ok = false;
  if (ok && avio_closep(&fmt->pb) < 0) ok = false;
  if (!ok) return fail(error, "cannot write " + current.path + ": encoding failed");
  if (std::rename(temp_path.c_str(), current.path.c_str()) != 0)
    return fail(error, "cannot write " + current.path + ": " + std::strerror(errno));
  temp_path.clear();
  release();
  return true;
}

void encoder_abort() { release(); }
