// The module file's layout, in one place: the loader reads it, the generator and the tests' module
// builder write it (mod_file_write). All multi-byte numbers are big-endian words.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mod_file {

constexpr size_t kTitle = 0;             // 20 bytes
constexpr size_t kSampleRecords = 20;    // 31 records of 30 bytes, for sample numbers 1..31
constexpr size_t kSampleRecordSize = 30;
constexpr int kSampleCount = 31;
// Within a sample record.
constexpr size_t kSampleName = 0;        // 22 bytes
constexpr size_t kSampleLength = 22;     // word: length in words
constexpr size_t kSampleFinetune = 24;   // low nibble
constexpr size_t kSampleVolume = 25;
constexpr size_t kSampleLoopStart = 26;  // word: in words
constexpr size_t kSampleLoopLength = 28; // word: in words
constexpr size_t kSongLength = 950;      // orders played
constexpr size_t kRestart = 951;         // restart order
constexpr size_t kOrders = 952;          // 128 pattern numbers
constexpr int kOrderCount = 128;
constexpr size_t kTag = 1080;            // 4 characters: the channel count, by the tag table
constexpr size_t kPatterns = 1084;       // the patterns, then the samples' data
constexpr size_t kHeaderSize = kPatterns;
constexpr size_t kCellSize = 4;          // one channel of one row
constexpr int kRows = 64;

// The file's own cell: a 12-bit period, a sample number split over two nibbles, a command and
// its parameter.
inline void put_cell(uint8_t* b, int period, int sample, int command, int param) {
  b[0] = uint8_t((sample & 0xF0) | ((period >> 8) & 0x0F));
  b[1] = uint8_t(period & 0xFF);
  b[2] = uint8_t(((sample & 0x0F) << 4) | (command & 0x0F));
  b[3] = uint8_t(param);
}

struct SampleRecord {           // all zero: an empty record
  std::string name;            // at most 22 characters
  int length_words = 0;
  int finetune = 0;
  int volume = 0;
  int loop_start_words = 0;
  int loop_length_words = 0;
  std::vector<int8_t> data;    // written after the patterns, in record order (may be shorter)
};

struct Module {
  std::string title;                       // at most 20 characters
  std::array<SampleRecord, kSampleCount> samples;
  int song_length = 1;
  int restart = 0;
  std::array<uint8_t, kOrderCount> orders{};
  std::string tag = "M.K.";
  std::vector<uint8_t> patterns;           // file cells, channels x 64 x 4 bytes per pattern
};

// The file's bytes: header, the patterns as given, then each sample's data.
std::vector<uint8_t> write(const Module& m);

}  // namespace mod_file
