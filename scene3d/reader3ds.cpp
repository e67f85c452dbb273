// The 3D Studio chunk reader. A file is a tree of chunks, each a 6-byte header (16-bit id,
// 32-bit length counting header, data and sub-chunks) followed by its data and its sub-chunks.
// Only geometry, names, the mesh matrix, one material name, node pivots, the node hierarchy and
// cameras are read; every other chunk is stepped over by its length.
//
// The data comes from many exporters and may be damaged, so every length and count is checked
// before it is trusted: a chunk reaching past the end of the main chunk ends a search, a count
// whose data cannot fit in its chunk reads as no data, and a face that names a vertex the mesh
// does not have fails the load (the renderer indexes the vertex arrays with it).
#include "scene3d/reader3ds.h"

#include <bit>
#include <cstring>

#include "scene3d/mesh.h"
#include "scene3d/objects.h"
#include "scene3d/stream.h"

namespace {

// Chunk ids.
constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kNamedObject = 0x4000;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kMappingCoords = 0x4140;
constexpr uint16_t kMeshMatrix = 0x4160;
constexpr uint16_t kCamera = 0x4700;
constexpr uint16_t kKeyframer = 0xB000;
constexpr uint16_t kKeyframerHeader = 0xB00A;
constexpr uint16_t kObjectNode = 0xB002;
constexpr uint16_t kNodeHeader = 0xB010;
constexpr uint16_t kInstanceName = 0xB011;
constexpr uint16_t kNodePivot = 0xB013;

constexpr int64_t kHeaderSize = 6;
constexpr int32_t kNameSize = 10;      // object, node, instance and camera names
constexpr int32_t kMaterialSize = 16;  // material names
constexpr float kLengthScale = 256.0f;     // file units to engine units
constexpr float kMappingScale = 65536.0f;  // mapping coordinates to 16.16

constexpr int kSeekSet = 0;
constexpr int kSeekCur = 1;

uint32_t read_u32(void* s) {
  uint8_t b[4] = {};
  current_stream_ops->read(b, 4, 1, s);
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

uint16_t read_u16(void* s) {
  uint8_t b[2] = {};
  current_stream_ops->read(b, 2, 1, s);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

// Counts, vertex indices and parent indices are signed 16-bit in the file.
int32_t read_i16(void* s) { return static_cast<int16_t>(read_u16(s)); }

float read_float(void* s) { return std::bit_cast<float>(read_u32(s)); }

int64_t tell(void* s) { return current_stream_ops->tell(s); }
void seek_to(void* s, int64_t pos) { current_stream_ops->seek(s, pos, kSeekSet); }

// A count of records of record_size bytes after a 2-byte count, in a chunk of chunk_length:
// negative counts and counts whose records would run past the chunk give no data.
int32_t checked_count(int32_t count, int64_t record_size, uint32_t chunk_length) {
  if (count <= 0) return 0;
  const int64_t room = static_cast<int64_t>(chunk_length) - kHeaderSize - 2;
  return count * record_size <= room ? count : 0;
}

// Every reader opens its own stream and closes it on every way out.
int32_t close_with(void* stream, int32_t result) {
  current_stream_ops->close(stream);
  return result;
}

// Reads the triangle mesh whose data starts at mesh_pos into a new object (not yet listed).
// Returns null when a required list is missing, a face names a missing vertex, or memory runs out.
Object3D* read_mesh(void* s, int64_t mesh_pos, uint32_t mesh_length, int64_t data_end) {
  seek_to(s, mesh_pos);
  const uint32_t vertex_length = chunk_find(s, kVertexList, mesh_length, data_end);
  if (vertex_length == 0) return nullptr;
  const int32_t vertex_count = checked_count(read_i16(s), 12, vertex_length);
  const int64_t vertex_pos = tell(s);

  seek_to(s, mesh_pos);
  const uint32_t face_length = chunk_find(s, kFaceList, mesh_length, data_end);
  if (face_length == 0) return nullptr;
  const int32_t face_count = checked_count(read_i16(s), 8, face_length);
  const int64_t face_pos = tell(s);

  // Mapping coordinates are used only when there is a pair for every vertex.
  seek_to(s, mesh_pos);
  const uint32_t mapping_length = chunk_find(s, kMappingCoords, mesh_length, data_end);
  const bool mapping = mapping_length != 0 && vertex_count > 0 &&
                       checked_count(vertex_count, 8, mapping_length) == vertex_count;
  const int64_t mapping_pos = tell(s) + 2;

  Object3D* o = object_create(vertex_count, face_count, mapping ? 1 : 0);
  if (o == nullptr) return nullptr;

  seek_to(s, vertex_pos);
  for (int32_t i = 0; i < 3 * vertex_count; ++i) o->vertices[i] = read_float(s) * kLengthScale;

  seek_to(s, face_pos);
  for (int32_t f = 0; f < face_count; ++f) {
    int32_t* face = o->faces + 4 * f;
    for (int k = 0; k < 3; ++k) {
      face[k] = read_i16(s);
      if (face[k] < 0 || face[k] >= vertex_count) {
        object_free(o);
        return nullptr;
      }
    }
    read_u16(s);  // the file's edge flags are not kept
    face[3] = -1;
  }

  // The stream is just past the faces: the face list's sub-chunks follow.
  if (chunk_find(s, kFaceMaterial, static_cast<int64_t>(face_length) - 8 * face_count, data_end)) {
    read_name(s, o->material, kMaterialSize);
  }

  if (mapping) {
    seek_to(s, mapping_pos);
    for (int32_t i = 0; i < 2 * vertex_count; ++i) o->uvs[i] = read_float(s) * kMappingScale;
  }

  // The mesh matrix: three axis rows, then the origin, which enters negated and scaled.
  seek_to(s, mesh_pos);
  mat4_identity(&o->pivot);
  if (chunk_find(s, kMeshMatrix, mesh_length, data_end)) {
    float m[12];
    for (float& v : m) v = read_float(s);
    for (int r = 0; r < 3; ++r) {
      o->pivot.m[4 * r + 0] = m[3 * r + 0];
      o->pivot.m[4 * r + 1] = m[3 * r + 1];
      o->pivot.m[4 * r + 2] = m[3 * r + 2];
      o->pivot.m[4 * r + 3] = -kLengthScale * m[9 + r];
    }
  }
  return o;
}

// Finds the named object of this name that holds a triangle mesh; on success the stream is
// at the mesh data and mesh_pos, mesh_length and object_name describe it.
bool find_mesh(void* s, const char* node_name, int64_t editor_pos, uint32_t editor_length,
               int64_t data_end, char* object_name, int64_t* mesh_pos, uint32_t* mesh_length) {
  seek_to(s, editor_pos);
  for (;;) {
    const uint32_t object_length = chunk_find(s, kNamedObject, editor_length, data_end);
    if (object_length == 0) return false;
    const int64_t object_pos = tell(s);
    std::memset(object_name, 0, kNameSize);
    read_name(s, object_name, kNameSize);
    const uint32_t length = chunk_find(s, kTriangleMesh, object_length, data_end);
    if (length != 0 && std::strncmp(node_name, object_name, kNameSize) == 0) {
      *mesh_pos = tell(s);
      *mesh_length = length;
      return true;
    }
    seek_to(s, object_pos + object_length - kHeaderSize);
  }
}

}  // namespace

uint32_t chunk_find(void* stream, uint16_t id, int64_t budget, int64_t data_end) {
  if (budget <= 0) return 0;
  for (;;) {
    const int64_t start = tell(stream);
    const uint16_t chunk_id = read_u16(stream);
    const uint32_t length = read_u32(stream);
    // A length of 0 is the end mark (the zero bytes past the data). A length shorter than its
    // own header would step backwards, and one past the data points at nothing: both end it.
    if (length < kHeaderSize) return 0;
    if (start + static_cast<int64_t>(length) > data_end) return 0;
    budget -= length;
    if (chunk_id == id) return length;  // even when it overruns the budget
    current_stream_ops->seek(stream, length - kHeaderSize, kSeekCur);
    if (budget <= 0) return 0;
  }
}

void read_name(void* stream, char* buffer, int32_t capacity) {
  int32_t count = 0;
  for (;;) {
    const int32_t c = current_stream_ops->get_byte(stream);
    if (c == -1 || c == '\t' || c == '\n' || c == '\r') {
      current_stream_ops->seek(stream, -1, kSeekCur);
      if (count < capacity) buffer[count] = 0;
      return;
    }
    if (count < capacity) buffer[count++] = static_cast<char>(c);
    if (c == 0) return;
  }
}

uint32_t read_main_header(void* stream) {
  if (read_u16(stream) != kMain) return 0;
  return read_u32(stream);
}

int32_t read_3ds_objects(const void* source, View3D* view) {
  void* s = current_stream_ops->open(source, "rb");
  if (s == nullptr) return 1;
  const uint32_t main_length = read_main_header(s);
  if (main_length == 0) return close_with(s, 1);
  const int64_t end = main_length;  // the main chunk starts the data

  const uint32_t editor_length = chunk_find(s, kEditor, main_length, end);
  if (editor_length == 0) return close_with(s, 1);
  const int64_t editor_pos = tell(s);

  seek_to(s, kHeaderSize);
  const uint32_t keyframer_length = chunk_find(s, kKeyframer, main_length, end);
  if (keyframer_length == 0) return close_with(s, 1);
  const uint32_t header_length = chunk_find(s, kKeyframerHeader, keyframer_length, end);
  if (header_length == 0) return close_with(s, 1);
  int64_t scan = tell(s) + header_length - kHeaderSize;

  char node_name[kNameSize];
  char object_name[kNameSize];
  for (;;) {
    seek_to(s, scan);
    if (chunk_find(s, kObjectNode, keyframer_length, end) == 0) return close_with(s, 0);
    // The next node is looked for from this node's first sub-chunk on.
    const int64_t node_pos = tell(s);
    scan = node_pos;

    if (chunk_find(s, kNodeHeader, keyframer_length, end) == 0) return close_with(s, 1);
    std::memset(node_name, 0, sizeof node_name);
    read_name(s, node_name, kNameSize);
    current_stream_ops->seek(s, 4, kSeekCur);  // two flag words
    const int32_t parent_index = read_i16(s);

    seek_to(s, node_pos);
    float node_pivot[3] = {0.0f, 0.0f, 0.0f};
    if (chunk_find(s, kNodePivot, keyframer_length, end)) {
      for (float& v : node_pivot) v = read_float(s);
    }

    Object3D* o = nullptr;
    if (std::strncmp(node_name, "$$$DUMMY", 8) == 0) {
      seek_to(s, node_pos);
      if (chunk_find(s, kInstanceName, keyframer_length, end) == 0) return close_with(s, 1);
      std::memset(object_name, 0, sizeof object_name);
      read_name(s, object_name, kNameSize);
      o = object_create(0, 0, 0);
    } else {
      int64_t mesh_pos = 0;
      uint32_t mesh_length = 0;
      if (!find_mesh(s, node_name, editor_pos, editor_length, end, object_name, &mesh_pos,
                     &mesh_length)) {
        return close_with(s, 1);
      }
      o = read_mesh(s, mesh_pos, mesh_length, end);
    }
    if (o == nullptr) return close_with(s, 1);

    if (view_add_object(view, o, parent_index) != 0) {
      object_free(o);
      return close_with(s, 1);
    }
    object_prepare(o);
    std::memcpy(o->name, object_name, kNameSize);
    o->name[kNameSize] = 0;
    for (int k = 0; k < 3; ++k) o->node_pivot[k] = node_pivot[k] * kLengthScale;
  }
}

int32_t read_3ds_camera(const void* source, int32_t index, View3D* view) {
  if (index < 1 || view == nullptr) return 1;
  void* s = current_stream_ops->open(source, "rb");
  if (s == nullptr) return 1;
  const uint32_t main_length = read_main_header(s);
  if (main_length == 0) return close_with(s, 1);
  const int64_t end = main_length;
  const uint32_t editor_length = chunk_find(s, kEditor, main_length, end);
  if (editor_length == 0) return close_with(s, 1);

  int64_t budget = editor_length;
  for (;;) {
    const uint32_t object_length = chunk_find(s, kNamedObject, budget, end);
    if (object_length == 0) {
      view_release(view);
      return close_with(s, 1);
    }
    const int64_t object_pos = tell(s);
    read_name(s, view->name, kNameSize);
    if (chunk_find(s, kCamera, object_length, end) != 0) {
      if (index == 1) {
        float p[7];
        for (float& v : p) v = read_float(s);
        view->eye = {p[0] * kLengthScale, p[1] * kLengthScale, p[2] * kLengthScale};
        view->target = {p[3] * kLengthScale, p[4] * kLengthScale, p[5] * kLengthScale};
        view->angles[2] = static_cast<float>(static_cast<double>(p[6]) * 1024.0 / 360.0);
        return close_with(s, 0);
      }
      --index;
    }
    budget -= object_length;
    seek_to(s, object_pos + object_length - kHeaderSize);
  }
}

int32_t load_scene_objects(const uint8_t* data, size_t size, View3D* view) {
  const MemorySource source{data, static_cast<uint32_t>(size > UINT32_MAX ? UINT32_MAX : size)};
  stream_select(STREAM_MEMORY);
  const int32_t result = read_3ds_objects(&source, view);
  stream_select(STREAM_FILE);
  return result;
}

int32_t load_scene_camera(const uint8_t* data, size_t size, int32_t index, View3D* view) {
  const MemorySource source{data, static_cast<uint32_t>(size > UINT32_MAX ? UINT32_MAX : size)};
  stream_select(STREAM_MEMORY);
  const int32_t result = read_3ds_camera(&source, index, view);
  stream_select(STREAM_FILE);
  return result;
}

int64_t chunk_remaining(void* stream, int64_t start, int64_t length) {
  return length - (tell(stream) - start);
}

int32_t probe_file_kind(const void* source) {
  void* s = current_stream_ops->open(source, "rb");
  if (s == nullptr) return 7;
  const uint16_t magic = read_u16(s);
  current_stream_ops->close(s);
  switch (magic) {
    case 0x4F46: return 0;
    case 0xD8FF: return 1;
    case 0x3A4D: return 2;
    case kMain: return 3;
    case 0x3DAA: return 4;
    case 0x3DFF: return 5;
    case 0x3DC2: return 6;
    default: return 7;
  }
}
