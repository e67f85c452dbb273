// Byte streams for the scene reader: one process-wide table of six operations that points
// either at buffered files or at a byte array in memory.
#pragma once
#include <cstddef>
#include <cstdint>

// The six stream operations, in slot order. A stream handle is an opaque pointer that only
// the operations of the same table understand.
struct StreamOps {
  // Reads count little-endian values of size bytes each into destination; returns count.
  // Sizes other than 1, 2 and 4 consume their bytes and store nothing.
  uint32_t (*read)(void* destination, uint32_t size, uint32_t count, void* stream);
  // The next byte as 0 to 255, or -1 when none can be delivered (files only).
  int32_t (*get_byte)(void* stream);
  // File kind: name is a path. Memory kind: name is a const MemorySource*. Null on failure.
  void* (*open)(const void* name, const char* mode);
  void (*close)(void* stream);
  int64_t (*tell)(void* stream);
  // whence 0 sets the position; files follow fseek, memory adds the offset for any other whence.
  void (*seek)(void* stream, int64_t offset, int whence);
};

enum : int32_t { STREAM_FILE = 0, STREAM_MEMORY = 1 };

// What a memory stream reads: size bytes at data (not owned). Every byte at or past size
// reads as 0, so a chunk scan that runs off the end meets an empty chunk header and stops.
struct MemorySource {
  const uint8_t* data;
  uint32_t size;
};

// The handle of a memory stream.
struct MemoryStream {
  const uint8_t* data;
  uint32_t size;
  uint32_t pos;  // next byte to read; wraps around like the 32-bit offset it is
};

extern const StreamOps file_stream_ops;
extern const StreamOps memory_stream_ops;
extern const StreamOps* current_stream_ops;  // starts at file_stream_ops

// 0 selects files, 1 memory; any other kind leaves the table in force.
void stream_select(int32_t kind);

// The number of bytes a stream of the current table holds from its start (a memory stream's
// size, a file's length), or -1 when the table is neither of the two. The position is kept.
int64_t stream_size(void* stream);
