// MP4 writer over FFmpeg's libraries. One file per process; state lives here.
#include "tools/capture/encoder.h"

#include "base/framebuffer.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kOutWidth = 2 * kFbWidth;
constexpr int kOutHeight = 2 * kFbHeight;

AVFormatContext* fmt = nullptr;
AVCodecContext* vctx = nullptr;
AVCodecContext* actx = nullptr;
AVStream* vstream = nullptr;
AVStream* astream = nullptr;
AVFrame* vframe = nullptr;
AVFrame* aframe = nullptr;
AVPacket* packet = nullptr;
SwsContext* sws = nullptr;
std::vector<uint32_t> doubled(kOutWidth * kOutHeight);
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

void release() {
  sws_freeContext(sws);
  sws = nullptr;
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
  pending.clear();
  video_pts = audio_pts = 0;
}

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  release();
  return false;
}

}  // namespace

void double_with_scanlines(const uint32_t* src, uint32_t* dst) {
  for (int y = 0; y < kFbHeight; ++y) {
    const uint32_t* s = src + y * kFbWidth;
    uint32_t* d = dst + 2 * y * kOutWidth;
    for (int x = 0; x < kFbWidth; ++x) d[2 * x] = d[2 * x + 1] = s[x];
    std::memset(d + kOutWidth, 0, sizeof(uint32_t) * kOutWidth);
  }
}

bool encoder_open(const EncoderSettings& settings, std::string* error) {
  release();
  av_log_set_level(AV_LOG_ERROR);  // the encoders' chatter would break the progress bar
  int r = avformat_alloc_output_context2(&fmt, nullptr, "mp4", settings.path.c_str());
  if (r < 0 || !fmt) return fail(error, "cannot create the MP4 container: " + av_message(r));
  // No library versions or creation times in the file: identical input, identical bytes.
  fmt->flags |= AVFMT_FLAG_BITEXACT;

  const AVCodec* vcodec = avcodec_find_encoder_by_name("libx264");
  if (!vcodec) return fail(error, "libavcodec has no libx264 encoder");
  vctx = avcodec_alloc_context3(vcodec);
  vctx->width = kOutWidth;
  vctx->height = kOutHeight;
  vctx->pix_fmt = AV_PIX_FMT_YUV420P;
  vctx->time_base = AVRational{1, settings.fps};
  vctx->framerate = AVRational{settings.fps, 1};
  vctx->gop_size = 2 * settings.fps;
  vctx->color_range = AVCOL_RANGE_MPEG;
  vctx->colorspace = AVCOL_SPC_SMPTE170M;
  vctx->color_primaries = AVCOL_PRI_SMPTE170M;
  vctx->color_trc = AVCOL_TRC_SMPTE170M;
  vctx->thread_count = 1;  // one thread: frame order of the encoder's decisions never varies
  vctx->flags |= AV_CODEC_FLAG_BITEXACT;
  if (fmt->oformat->flags & AVFMT_GLOBALHEADER) vctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(vctx->priv_data, "preset", settings.preset, 0);
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
  vframe->width = kOutWidth;
  vframe->height = kOutHeight;
  aframe = av_frame_alloc();
  aframe->format = actx->sample_fmt;
  aframe->sample_rate = actx->sample_rate;
  av_channel_layout_copy(&aframe->ch_layout, &actx->ch_layout);
  aframe->nb_samples = actx->frame_size;
  packet = av_packet_alloc();
  if (av_frame_get_buffer(vframe, 0) < 0 || av_frame_get_buffer(aframe, 0) < 0 || !packet)
    return fail(error, "out of memory");

  sws = sws_getContext(kOutWidth, kOutHeight, AV_PIX_FMT_BGR0, kOutWidth, kOutHeight,
                       AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr,
                       nullptr);
  if (!sws) return fail(error, "cannot create the colour converter");

  if ((r = avio_open(&fmt->pb, settings.path.c_str(), AVIO_FLAG_WRITE)) < 0)
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
  double_with_scanlines(pixels, doubled.data());
  if (av_frame_make_writable(vframe) < 0) return false;
  // 0x00RRGGBB words are B, G, R, 0 bytes in memory on a little-endian machine.
  const uint8_t* src[1] = {reinterpret_cast<const uint8_t*>(doubled.data())};
  const int src_stride[1] = {kOutWidth * 4};
  sws_scale(sws, src, src_stride, 0, kOutHeight, vframe->data, vframe->linesize);
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
  if (av_write_trailer(fmt) < 0) ok = false;
  if (!ok && error) *error = "encoding failed";
  release();
  return ok;
}
