// Parts of the 3D Studio reader that nothing in the program calls, kept for tests and tools.
#pragma once
#include <cstdint>

// Bytes of a chunk that started at start with this length not yet consumed.
int64_t chunk_remaining(void* stream, int64_t start, int64_t length);

// Kind of a file by its first 16-bit value: 3 for a scene file, 4 to 6 for material libraries,
// material files and projects, 0 to 2 for three image kinds, 7 for anything else or no file.
int32_t probe_file_kind(const void* source);
