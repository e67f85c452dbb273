// The WAV writer on outputs that cannot seek, and its reasons for failing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/wav_writer.h"

namespace {

uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// A pipe cannot go back to the header: both sizes keep the unknown-length mark, and the samples
// follow it all the same.
TEST(WavStream, APipeKeepsTheUnknownLengthMarks) {
  int fd[2];
  ASSERT_EQ(pipe(fd), 0);
  std::FILE* w = fdopen(fd[1], "wb");
  ASSERT_NE(w, nullptr);
  WavFile wav;
  ASSERT_TRUE(wav_file_attach(wav, w, 44100));
  const int16_t s[2] = {1, -1};
  ASSERT_TRUE(wav_file_write(wav, s, 2));
  ASSERT_TRUE(wav_file_close(wav));
  std::fclose(w);
  uint8_t f[64];
  ssize_t n = 0, r;
  while ((r = read(fd[0], f + n, sizeof f - size_t(n))) > 0) n += r;
  close(fd[0]);
  ASSERT_EQ(n, 48);
  EXPECT_EQ(u32(f + 4), 0xFFFFFFFFu);
  EXPECT_EQ(u32(f + 40), 0xFFFFFFFFu);
  EXPECT_EQ(u32(f + 44), 0xFFFF0001u);
}

TEST(WavStream, FailuresKeepTheSystemsReason) {
  WavFile wav;
  EXPECT_FALSE(wav_file_open(wav, testing::TempDir(), 44100));  // a directory
  EXPECT_EQ(wav.error, EISDIR);
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (!full) GTEST_SKIP() << "no /dev/full";
  std::setvbuf(full, nullptr, _IONBF, 0);
  ASSERT_FALSE(wav_file_attach(wav, full, 44100));
  EXPECT_EQ(wav.error, ENOSPC);
  EXPECT_FALSE(wav_file_close(wav));
  std::fclose(full);
}

}  // namespace
