// The 3D Studio scene reader: objects from the keyframer's object nodes and their meshes (or
// from the meshes alone, for a tool), and a camera from the editor data. Everything is read through
// current_stream_ops.
#pragma once
#include <cstddef>
#include <cstdint>

struct View3D;

// No end known: chunk_find then trusts every chunk length it meets.
constexpr int64_t kNoDataEnd = INT64_MAX;

// What one call of read_3ds_objects may create. A frame queues at most 65,536 faces, so a scene
// of more could never be drawn whole; three vertices per face is the most a mesh of unshared
// corners needs. Together they bound a load's memory: about 13 MB of geometry and normals, and
// some 40 MB of object records at the object limit.
constexpr int32_t kSceneMaxObjects = 65536;
constexpr int64_t kSceneMaxFaces = 65536;
constexpr int64_t kSceneMaxVertices = 3 * kSceneMaxFaces;

// Looks for the first chunk with this id at the current level, stepping over others by their
// length, within the signed budget. Returns its length (header included), with the stream at
// its data, or 0. A length too small for its own header, or a chunk reaching past data_end
// (the end of the main chunk), ends the search.
uint32_t chunk_find(void* stream, uint16_t id, int64_t budget, int64_t data_end = kNoDataEnd);

// Reads a NUL-terminated name into buffer. A name of capacity characters is stored without
// its NUL; a longer one is cut to capacity and the rest consumed up to its NUL.
void read_name(void* stream, char* buffer, int32_t capacity);

// The main chunk's length, or 0 when the data does not start with a 3D Studio main chunk.
uint32_t read_main_header(void* stream);

// What read_3ds_objects makes objects of. The show reads its scene by the keyframer's nodes and
// needs them; a tool that shows any file also takes a file whose keyframer names no objects.
enum class SceneReadMode {
  kNodes,          // one object per object node; a file without a keyframer is refused
  kNodesOrMeshes,  // the same, or, when there is no keyframer or it names no objects, one
                   // object per mesh of the editor data, at the mesh's own coordinates; and
                   // counts and vertex indices read unsigned, up to 65,535 (the show's kNodes
                   // load reads them signed, so that one above 32,767 gives no data)
};

// Creates one object per object node of the keyframer (or per mesh, as mode allows) and adds it
// to view. source is a path, or a const MemorySource* with memory streams selected. Returns 0,
// or 1 on failure (objects added before the failure stay in the view). Nodes find their mesh by
// its whole name.
int32_t read_3ds_objects(const void* source, View3D* view,
                         SceneReadMode mode = SceneReadMode::kNodes);

// Copies eye, target, roll and name of the index-th camera (from 1) into view, and its lens (the
// focal length in mm that follows them, 0 when the chunk ends before it) into *lens unless lens
// is null. Returns 0 or 1; when there are fewer cameras than index, the view is released first.
int32_t read_3ds_camera(const void* source, int32_t index, View3D* view, float* lens = nullptr);

// The two readers over size bytes in memory; file streams are selected again afterwards.
int32_t load_scene_objects(const uint8_t* data, size_t size, View3D* view,
                           SceneReadMode mode = SceneReadMode::kNodes);
int32_t load_scene_camera(const uint8_t* data, size_t size, int32_t index, View3D* view);

// Why the last reader call returned 1 ("no keyframer section (chunk 0xB000)", "chunk 0x4110 at
// offset 120 runs past the end of its parent chunk 0x4100", ...), or "" after a success.
const char* read_3ds_last_error();
