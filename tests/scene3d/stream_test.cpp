// The two stream implementations: value assembly, seeking, ends of data, table selection.
#include "scene3d/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::vector<uint8_t> kBytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};

// Opens kBytes through either table: memory directly, files through a temporary file.
struct Opened {
  const StreamOps* ops;
  void* handle;
};

class BothKinds : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    if (GetParam() == STREAM_FILE) {
      path_ = ::testing::TempDir() + "stream_test.bin";
      FILE* f = std::fopen(path_.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(kBytes.data(), 1, kBytes.size(), f);
      std::fclose(f);
      s_ = {&file_stream_ops, file_stream_ops.open(path_.c_str(), "rb")};
    } else {
      s_ = {&memory_stream_ops, memory_stream_ops.open(&source_, "rb")};
    }
    ASSERT_NE(s_.handle, nullptr);
  }
  void TearDown() override {
    if (s_.handle != nullptr) s_.ops->close(s_.handle);
    if (!path_.empty()) std::remove(path_.c_str());
  }
  MemorySource source_{kBytes.data(), static_cast<uint32_t>(kBytes.size())};
  Opened s_{};
  std::string path_;
};

TEST_P(BothKinds, ReadAssemblesLittleEndianValuesOfOneTwoAndFourBytes) {
  uint8_t b = 0;
  uint16_t w = 0;
  uint32_t d = 0;
  EXPECT_EQ(s_.ops->read(&b, 1, 1, s_.handle), 1u);
  EXPECT_EQ(s_.ops->read(&w, 2, 1, s_.handle), 1u);
  EXPECT_EQ(s_.ops->read(&d, 4, 1, s_.handle), 1u);
  EXPECT_EQ(b, 0x11);
  EXPECT_EQ(w, 0x3322);
  EXPECT_EQ(d, 0x77665544u);
  EXPECT_EQ(s_.ops->tell(s_.handle), 7);
}

TEST_P(BothKinds, ReadOfSizeThreeConsumesWithoutStoring) {
  uint8_t out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(s_.ops->read(out, 3, 2, s_.handle), 2u);
  EXPECT_EQ(s_.ops->tell(s_.handle), 6);
  for (uint8_t v : out) EXPECT_EQ(v, 0xAA);
  EXPECT_EQ(s_.ops->read(out, 4, 0, s_.handle), 0u);
  EXPECT_EQ(s_.ops->tell(s_.handle), 6);
}

TEST_P(BothKinds, SeekFromStartAndFromHereThenGetByte) {
  s_.ops->seek(s_.handle, 5, 0);
  EXPECT_EQ(s_.ops->get_byte(s_.handle), 0x66);
  s_.ops->seek(s_.handle, -3, 1);
  EXPECT_EQ(s_.ops->tell(s_.handle), 3);
  EXPECT_EQ(s_.ops->get_byte(s_.handle), 0x44);
}

TEST_P(BothKinds, ReadingPastTheEnd) {
  // Files fold -1 into the value (0xFF, 0xFEFF, 0xFEFEFEFF); memory reads zeros past its length.
  const bool file = GetParam() == STREAM_FILE;
  s_.ops->seek(s_.handle, 9, 0);
  uint8_t b = 1;
  uint16_t w = 1;
  uint32_t d = 1;
  s_.ops->read(&b, 1, 1, s_.handle);
  s_.ops->read(&w, 2, 1, s_.handle);
  s_.ops->read(&d, 4, 1, s_.handle);
  EXPECT_EQ(b, file ? 0xFF : 0);
  EXPECT_EQ(w, file ? 0xFEFF : 0);
  EXPECT_EQ(d, file ? 0xFEFEFEFFu : 0u);
  EXPECT_EQ(s_.ops->get_byte(s_.handle), file ? -1 : 0);
  // A value straddling the end keeps the bytes that exist.
  s_.ops->seek(s_.handle, 7, 0);
  s_.ops->read(&d, 4, 1, s_.handle);
  EXPECT_EQ(d, file ? 0xFEFF9988u : 0x00009988u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BothKinds, ::testing::Values(STREAM_FILE, STREAM_MEMORY),
                         [](const auto& info) {
                           return std::string(info.param == STREAM_FILE ? "File" : "Memory");
                         });

TEST(MemoryStream, WhenceTwoMovesFromHereAndNegativeOffsetsWrap) {
  const MemorySource source{kBytes.data(), static_cast<uint32_t>(kBytes.size())};
  void* s = memory_stream_ops.open(&source, "rb");
  memory_stream_ops.seek(s, 4, 0);
  memory_stream_ops.seek(s, 2, 2);
  EXPECT_EQ(memory_stream_ops.tell(s), 6);
  memory_stream_ops.seek(s, -10, 1);  // before the start: a huge unsigned position
  EXPECT_EQ(memory_stream_ops.tell(s), int64_t{0xFFFFFFFC});
  EXPECT_EQ(memory_stream_ops.get_byte(s), 0);  // reads nothing outside the array
  memory_stream_ops.seek(s, 4, 1);              // and back round to 1
  EXPECT_EQ(memory_stream_ops.get_byte(s), 0x22);
  memory_stream_ops.close(s);
}

TEST(MemoryStream, ChunkHeaderJustPastTheDataIsEmpty) {
  const MemorySource source{kBytes.data(), 6};
  void* s = memory_stream_ops.open(&source, "rb");
  memory_stream_ops.seek(s, 6, 0);
  uint16_t id = 1;
  uint32_t length = 1;
  memory_stream_ops.read(&id, 2, 1, s);
  memory_stream_ops.read(&length, 4, 1, s);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(length, 0u);
  memory_stream_ops.close(s);
}

TEST(StreamSelect, SwitchesTablesAndIgnoresUnknownKinds) {
  ASSERT_EQ(current_stream_ops, &file_stream_ops);
  stream_select(STREAM_MEMORY);
  EXPECT_EQ(current_stream_ops, &memory_stream_ops);
  stream_select(2);
  EXPECT_EQ(current_stream_ops, &memory_stream_ops);
  stream_select(STREAM_FILE);
  stream_select(-1);
  EXPECT_EQ(current_stream_ops, &file_stream_ops);
}

}  // namespace
