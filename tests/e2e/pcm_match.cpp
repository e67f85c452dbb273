// pcm_match REF.wav REC.raw SECONDS: does a recording (raw 16-bit little-endian mono) hold the
// reference soundtrack (a 16-bit mono WAV) sample for sample, from the first sound on, for SECONDS?
// Prints where the sound starts in each, how much was compared, and every break: a place where the
// recording stops matching, with what it did there (how long a silence, and how far the
// soundtrack jumped after it) when the soundtrack can be found again within a few seconds.
// Exit status: 0 equal throughout, 1 not equal, 3 the recording is still too short, 2 bad input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr size_t kWindow = 1024;       // samples that must match to find the sound again
constexpr size_t kSearch = 5 * kRate;  // how far either way a break is searched for

bool read_file(const char* path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    out.insert(out.end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::vector<int16_t> samples(const uint8_t* p, size_t bytes) {
  std::vector<int16_t> out(bytes / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(p[2 * i] | p[2 * i + 1] << 8);
  return out;
}

// The samples of a WAV file's data chunk; empty when there is none.
std::vector<int16_t> wav_samples(const std::vector<uint8_t>& file) {
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) || std::memcmp(&file[8], "WAVE", 4))
    return {};
  for (size_t at = 12; at + 8 <= file.size();) {
    const uint32_t size = le32(&file[at + 4]);
    if (!std::memcmp(&file[at], "data", 4))
      return samples(&file[at + 8], std::min<size_t>(size, file.size() - at - 8));
    at += 8 + size + (size & 1);
  }
  return {};
}

size_t first_sound(const std::vector<int16_t>& s) {
  size_t i = 0;
  while (i < s.size() && s[i] == 0) ++i;
  return i;
}

bool windows_equal(const std::vector<int16_t>& a, size_t ia, const std::vector<int16_t>& b,
                   size_t ib) {
  if (ia + kWindow > a.size() || ib + kWindow > b.size()) return false;
  return std::memcmp(&a[ia], &b[ib], kWindow * sizeof(int16_t)) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: pcm_match REF.wav REC.raw SECONDS\n");
    return 2;
  }
  std::vector<uint8_t> ref_file, rec_file;
  if (!read_file(argv[1], ref_file) || !read_file(argv[2], rec_file)) {
    std::fprintf(stderr, "pcm_match: cannot read %s or %s\n", argv[1], argv[2]);
    return 2;
  }
  const std::vector<int16_t> ref = wav_samples(ref_file);
  const std::vector<int16_t> rec = samples(rec_file.data(), rec_file.size());
  const size_t wanted = size_t(std::atof(argv[3]) * kRate);
  const size_t r0 = first_sound(ref), c0 = first_sound(rec);
  if (r0 + wanted > ref.size()) {
    std::fprintf(stderr, "pcm_match: the reference is shorter than %s s after its first sound\n",
                 argv[3]);
    return 2;
  }
  if (c0 + wanted > rec.size()) return 3;
  std::printf("first sound: sample %zu of the reference, %zu of the recording (%.3f s in)\n", r0,
              c0, double(c0) / kRate);
  // i and j walk the reference and the recording together; after a break they are moved to
  // where the two match again.
  size_t i = r0, j = c0, breaks = 0;
  while (i < r0 + wanted) {
    if (j >= rec.size()) {
      std::printf("the recording ends %.3f s into the comparison\n", double(i - r0) / kRate);
      ++breaks;
      break;
    }
    if (ref[i] == rec[j]) {
      ++i, ++j;
      continue;
    }
    ++breaks;
    const double at = double(i - r0) / kRate;
    // A sound server that runs dry plays silence, and the soundtrack goes on after it, a little
    // earlier or later than where it stopped: past the silence, look for the reference nearby.
    size_t z = j;
    while (z < rec.size() && rec[z] == 0) ++z;
    bool found = false;
    for (size_t e = 0; e <= kSearch && !found; ++e) {
      for (int sign = 1; sign >= -1 && !found; sign -= 2) {
        if (sign < 0 && (e == 0 || e > i - r0)) continue;
        const size_t k = sign > 0 ? i + e : i - e;
        if (!windows_equal(ref, k, rec, z)) continue;
        std::printf("break %zu at %.3f s: %.1f ms of silence, then the soundtrack %s %.1f ms %s\n",
                    breaks, at, double(z - j) * 1000 / kRate, sign > 0 ? "skips" : "repeats",
                    double(e) * 1000 / kRate, sign > 0 ? "ahead" : "back");
        i = k, j = z, found = true;
      }
    }
    if (!found) {
      std::printf("break %zu at %.3f s: the recording does not match again within %zu s\n", breaks,
                  at, kSearch / kRate);
      break;
    }
  }
  std::printf("compared %.3f s: %zu breaks\n", double(wanted) / kRate, breaks);
  return breaks == 0 ? 0 : 1;
}
