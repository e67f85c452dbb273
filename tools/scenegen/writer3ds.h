// Writing 3D Studio chunk files: the one place that knows how a chunk is laid out (a 16-bit id,
// a 32-bit length counting the header, the data and every sub-chunk, all little-endian). Used by
// scenegen, the tests' scene builders and stress generators, and the fuzzer's seed writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace writer3ds {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint16_t v);
void put32(Bytes& b, uint32_t v);
void put_float(Bytes& b, float v);
void put_name(Bytes& b, const std::string& s);  // the characters, then a NUL

// Chunks written depth first: begin() writes a header with a blank length, end() patches it
// when the chunk closes, so the length covers everything written in between.
struct Writer {
  Bytes out;
  std::vector<size_t> open;
  std::vector<size_t> boundaries;  // where each chunk began and ended, in writing order

  void u16(uint16_t v) { put16(out, v); }
  void u32(uint32_t v) { put32(out, v); }
  void f32(float v) { put_float(out, v); }
  void vec(const float* v) { f32(v[0]); f32(v[1]); f32(v[2]); }
  void name(const std::string& s) { put_name(out, s); }
  void raw(const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); }
  void begin(uint16_t id);
  void end();
  // Closes the chunk with this length in its header instead of the true one (damaged files).
  void end_claiming(uint32_t length);
};

// One chunk found in a byte array: its id and where its data and the chunk end.
struct Span {
  uint16_t id;
  size_t data;  // first byte after the header
  size_t end;   // one past the chunk
};

// The chunks that tile bytes[from, end): stops at a length below the header's or one that runs
// past end. For tests that look at a written file's structure.
std::vector<Span> children(const Bytes& bytes, size_t from, size_t end);

}  // namespace writer3ds
