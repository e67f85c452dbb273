// File and memory implementations of the stream table.
#include "scene3d/stream.h"

#include <cstdio>
#include <new>

namespace {

// Assembles count values of size bytes from get_byte. A -1 (end of file) is added as all ones
// at its place, so the carries give 0xFF, 0xFEFF and 0xFEFEFEFF for reads at the end of a file.
template <typename GetByte>
uint32_t read_values(void* destination, uint32_t size, uint32_t count, void* stream,
                     GetByte get_byte) {
  if (count == 0) return 0;
  auto* out = static_cast<uint8_t*>(destination);
  for (uint32_t n = 0; n < count; ++n) {
    uint32_t acc = 0;
    for (uint32_t i = 0; i < size; ++i) {
      const uint32_t b = static_cast<uint32_t>(get_byte(stream));
      acc += i < 4 ? b << (8 * i) : 0;  // bytes past the fourth cannot show in 32 bits
    }
    if (size == 1 || size == 2 || size == 4) {
      for (uint32_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(acc >> (8 * i));
    }
    out += size;
  }
  return count;
}

int32_t file_get_byte(void* stream) {
  uint8_t b = 0;
  if (std::fread(&b, 1, 1, static_cast<FILE*>(stream)) != 1) return -1;
  return b;
}

uint32_t file_read(void* destination, uint32_t size, uint32_t count, void* stream) {
  return read_values(destination, size, count, stream, file_get_byte);
}

void* file_open(const void* name, const char* mode) {
  return std::fopen(static_cast<const char*>(name), mode);
}

void file_close(void* stream) { std::fclose(static_cast<FILE*>(stream)); }

int64_t file_tell(void* stream) { return std::ftell(static_cast<FILE*>(stream)); }

void file_seek(void* stream, int64_t offset, int whence) {
  std::fseek(static_cast<FILE*>(stream), static_cast<long>(offset), whence);
}

int32_t memory_get_byte(void* stream) {
  auto* m = static_cast<MemoryStream*>(stream);
  const int32_t b = m->pos < m->size ? m->data[m->pos] : 0;
  ++m->pos;
  return b;
}

uint32_t memory_read(void* destination, uint32_t size, uint32_t count, void* stream) {
  return read_values(destination, size, count, stream, memory_get_byte);
}

void* memory_open(const void* name, const char*) {
  const auto* source = static_cast<const MemorySource*>(name);
  if (source == nullptr) return nullptr;
  auto* m = new (std::nothrow) MemoryStream{source->data, source->size, 0};
  if (m != nullptr && m->data == nullptr) m->size = 0;
  return m;
}

void memory_close(void* stream) { delete static_cast<MemoryStream*>(stream); }

int64_t memory_tell(void* stream) { return static_cast<MemoryStream*>(stream)->pos; }

// There is no seeking from an end: every whence but 0 moves relative to the position.
void memory_seek(void* stream, int64_t offset, int whence) {
  auto* m = static_cast<MemoryStream*>(stream);
  const auto delta = static_cast<uint32_t>(offset);
  m->pos = whence == 0 ? delta : m->pos + delta;
}

}  // namespace

const StreamOps file_stream_ops = {file_read, file_get_byte, file_open,
                                   file_close, file_tell,    file_seek};
const StreamOps memory_stream_ops = {memory_read,  memory_get_byte, memory_open,
                                     memory_close, memory_tell,     memory_seek};
const StreamOps* current_stream_ops = &file_stream_ops;

void stream_select(int32_t kind) {
  if (kind == STREAM_FILE) current_stream_ops = &file_stream_ops;
  else if (kind == STREAM_MEMORY) current_stream_ops = &memory_stream_ops;
}

int64_t stream_size(void* stream) {
  if (current_stream_ops == &memory_stream_ops) return static_cast<MemoryStream*>(stream)->size;
  if (current_stream_ops != &file_stream_ops) return -1;
  FILE* f = static_cast<FILE*>(stream);
  const long pos = std::ftell(f);
  if (pos < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(f);
  std::fseek(f, pos, SEEK_SET);
  return size;
}
