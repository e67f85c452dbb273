// 3D Studio chunk writing.
#include "tools/scenegen/writer3ds.h"

#include <cstring>

namespace writer3ds {

namespace {
constexpr size_t kHeaderSize = 6;

void patch32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
}  // namespace

void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& b, uint32_t v) {
  put16(b, static_cast<uint16_t>(v));
  put16(b, static_cast<uint16_t>(v >> 16));
}

void put_float(Bytes& b, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  put32(b, bits);
}

void put_name(Bytes& b, const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}

void Writer::begin(uint16_t id) {
  boundaries.push_back(out.size());
  open.push_back(out.size());
  u16(id);
  u32(0);
}

void Writer::end() {
  const size_t start = open.back();
  end_claiming(static_cast<uint32_t>(out.size() - start));
}

void Writer::end_claiming(uint32_t length) {
  const size_t start = open.back();
  open.pop_back();
  patch32(out, start + 2, length);
  boundaries.push_back(out.size());
}

std::vector<Span> children(const Bytes& bytes, size_t from, size_t end) {
  std::vector<Span> out;
  if (end > bytes.size()) end = bytes.size();
  while (from + kHeaderSize <= end) {
    const uint32_t length = get32(bytes, from + 2);
    if (length < kHeaderSize || length > end - from) break;
    out.push_back({static_cast<uint16_t>(bytes[from] | bytes[from + 1] << 8), from + kHeaderSize,
                   from + length});
    from += length;
  }
  return out;
}

}  // namespace writer3ds
