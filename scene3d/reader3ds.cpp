// The 3D Studio chunk reader. A file is a tree of chunks, each a 6-byte header (16-bit id,
// 32-bit length counting header, data and sub-chunks) followed by its data and its sub-chunks.
// Only geometry, names, the mesh matrix, one material name, node pivots, the node hierarchy and
// cameras are read; every other chunk is stepped over by its length.
//
// The data comes from many exporters and may be damaged or hostile, so nothing in it is trusted:
// - a file shorter than its main chunk claims is refused, not read in part;
// - every sub-chunk must fit in its parent, and a fixed-size record (mesh matrix, node header,
//   pivot, camera) or a counted list must fit in its chunk, or the file is refused;
// - a face that names a vertex the mesh does not have refuses the file (the renderer indexes the
//   vertex arrays with it);
// - one load creates at most kSceneMaxObjects objects, kSceneMaxVertices vertices and
//   kSceneMaxFaces faces in all, however many nodes name one mesh.
// Every refusal records its reason for read_3ds_last_error.
//
// Loading takes time linear in the file: each chunk is visited once per walk of its parent,
// nodes find their mesh through an index of the editor data built once, and the view appends
// in constant time.
#include "scene3d/reader3ds.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "scene3d/chunks3ds.h"
#include "scene3d/mesh.h"
#include "scene3d/objects.h"
#include "scene3d/reader3ds_internal.h"
#include "scene3d/stream.h"

namespace {

using namespace chunk3ds;

constexpr int64_t kHeaderSize = 6;
constexpr int32_t kNameSize = 10;          // object, node, instance and camera names
constexpr int32_t kMaterialSize = 16;      // material names
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

// Parent indices are signed 16-bit in the file (-1: no parent).
int32_t read_i16(void* s) { return static_cast<int16_t>(read_u16(s)); }

// Counts and vertex indices are unsigned 16-bit in the file, and exporters write them up to 65,535.
// The show's own load reads them signed (its scene is far below 32,768 either way); a tool's
// load reads them as they are. Set for each load of objects.
bool counts_unsigned = false;
int32_t read_count(void* s) { return counts_unsigned ? read_u16(s) : read_i16(s); }

float read_float(void* s) { return std::bit_cast<float>(read_u32(s)); }

int64_t tell(void* s) { return current_stream_ops->tell(s); }
void seek_to(void* s, int64_t pos) { current_stream_ops->seek(s, pos, kSeekSet); }

// Why the last reader call failed, for read_3ds_last_error.
char last_error[256];

// Records the reason for a refusal; returns false so that callers can `return refuse(...)`.
[[gnu::format(printf, 1, 2)]] bool refuse(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(last_error, sizeof last_error, format, args);
  va_end(args);
  return false;
}

// 1234567 as "1,234,567": limits and counts in the reasons are easier to read so.
std::string grouped(int64_t n) {
  const std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out = n < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// A name from the file as a reason shows it: quoted, unprintable bytes as '?', long ones cut.
std::string shown(const std::string& name) {
  std::string out = "\"";
  for (size_t i = 0; i < name.size() && i < 40; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    out += c >= 32 && c < 127 ? static_cast<char>(c) : '?';
  }
  return out + (name.size() > 40 ? "...\"" : "\"");
}

// A chunk in the stream: its id, where its header starts, where its data starts, where it ends.
struct Span {
  uint16_t id;
  int64_t start;
  int64_t data;
  int64_t end;
  int64_t size() const { return end - data; }
};

enum class Step { kNext, kStop, kFail };

// Visits the sub-chunks of parent from position from on, in file order, until visit says stop
// or fail. Every sub-chunk must fit in its parent: one shorter than its own header, one that
// runs past its parent's end, or a header cut by that end makes the parent malformed, and the
// walk fails with the reason recorded. Each chunk is visited once: a search never rescans.
template <typename Visit>
bool walk(void* s, const Span& parent, int64_t from, Visit visit) {
  for (int64_t pos = from; pos < parent.end;) {
    if (parent.end - pos < kHeaderSize) {
      return refuse("chunk 0x%04X at offset %lld ends %lld bytes into a sub-chunk header",
                    parent.id, static_cast<long long>(parent.start),
                    static_cast<long long>(parent.end - pos));
    }
    seek_to(s, pos);
    Span c;
    c.id = read_u16(s);
    const uint32_t length = read_u32(s);
    if (length < kHeaderSize) {
      return refuse("chunk 0x%04X at offset %lld has length %u, shorter than its own header", c.id,
                    static_cast<long long>(pos), length);
    }
    if (length > parent.end - pos) {
      return refuse("chunk 0x%04X at offset %lld runs past the end of its parent chunk 0x%04X",
                    c.id, static_cast<long long>(pos), parent.id);
    }
    c.start = pos;
    c.data = pos + kHeaderSize;
    c.end = pos + length;
    const Step step = visit(c);
    if (step == Step::kFail) return false;
    if (step == Step::kStop) return true;
    pos = c.end;
  }
  return true;
}

// The first sub-chunk of each wanted id, found in one walk.
struct Found {
  const uint16_t* ids;
  Span* spans;  // one per id; data < 0 when absent
  int count;
};
bool find_first(void* s, const Span& parent, int64_t from, Found f) {
  for (int i = 0; i < f.count; ++i) f.spans[i] = Span{f.ids[i], -1, -1, -1};
  return walk(s, parent, from, [&](const Span& c) {
    for (int i = 0; i < f.count; ++i) {
      if (c.id == f.ids[i] && f.spans[i].data < 0) f.spans[i] = c;
    }
    return Step::kNext;
  });
}

// Reads the NUL-terminated name at the stream position, whole; it must end inside chunk c.
bool read_whole_name(void* s, const Span& c, std::string* name) {
  name->clear();
  for (int64_t pos = tell(s); pos < c.end; ++pos) {
    const int32_t b = current_stream_ops->get_byte(s);
    if (b == 0) return true;
    name->push_back(static_cast<char>(b));
  }
  return refuse("the name in chunk 0x%04X at offset %lld does not end inside its chunk", c.id,
                static_cast<long long>(c.start));
}

// Stores a name as a buffer of capacity bytes holds it: cut to capacity, with a NUL only when
// there is room for one.
void store_name(char* buffer, int32_t capacity, const std::string& name) {
  const size_t n = std::min(name.size(), static_cast<size_t>(capacity));
  std::memcpy(buffer, name.data(), n);
  if (n < static_cast<size_t>(capacity)) buffer[n] = 0;
}

// Opens the main chunk at the start of the stream. Its length must cover at least its header,
// and no more than the data holds: a file cut short is refused whole rather than read in part.
bool open_main(void* s, Span* main) {
  const int64_t size = stream_size(s);
  if (read_u16(s) != kMain) {
    return refuse("not a 3D Studio file: it does not start with a main chunk (0x4D4D)");
  }
  const uint32_t length = read_u32(s);
  if (length < kHeaderSize) {
    return refuse("the main chunk has length %u, shorter than its own header", length);
  }
  if (size >= 0 && length > size) {
    return refuse("the file is cut short: its main chunk claims %s bytes, the file holds %s",
                  grouped(length).c_str(), grouped(size).c_str());
  }
  *main = Span{kMain, 0, kHeaderSize, length};
  return true;
}

// The first chunk of this id among main's sub-chunks, all of which must be well formed.
bool main_section(void* s, const Span& main, uint16_t id, Span* section) {
  Span found[1];
  const uint16_t ids[1] = {id};
  if (!find_first(s, main, main.data, Found{ids, found, 1})) return false;
  *section = found[0];
  return true;
}

// A named object's triangle mesh and where its parts are, found once per file.
struct MeshInfo {
  std::string name;
  Span vertices;  // data < 0 when absent
  Span faces;
  Span mapping;
  Span matrix;
  bool material_known = false;  // the face list's sub-chunks are walked on first use
  std::string material;
};

// Every named object of the editor data that holds a triangle mesh, by its whole name. Where two
// objects share a name a node finds the first, as a search from the start would; the others are
// listed only for a load of every mesh.
struct MeshIndex {
  std::vector<MeshInfo> meshes;
  std::unordered_map<std::string, size_t> by_name;
};

bool index_meshes(void* s, const Span& editor, bool keep_duplicates, MeshIndex* index) {
  std::string name;
  return walk(s, editor, editor.data, [&](const Span& object) {
    if (object.id != kNamedObject) return Step::kNext;
    seek_to(s, object.data);
    if (!read_whole_name(s, object, &name)) return Step::kFail;
    Span mesh[1];
    const uint16_t mesh_id[1] = {kTriangleMesh};
    if (!find_first(s, object, tell(s), Found{mesh_id, mesh, 1})) return Step::kFail;
    const bool duplicate = index->by_name.count(name) != 0;
    if (mesh[0].data < 0 || (duplicate && !keep_duplicates)) return Step::kNext;
    MeshInfo info;
    info.name = name;
    Span parts[4];
    const uint16_t part_ids[4] = {kVertexList, kFaceList, kMappingCoords, kMeshMatrix};
    if (!find_first(s, mesh[0], mesh[0].data, Found{part_ids, parts, 4})) return Step::kFail;
    info.vertices = parts[0];
    info.faces = parts[1];
    info.mapping = parts[2];
    info.matrix = parts[3];
    if (!duplicate) index->by_name.emplace(name, index->meshes.size());
    index->meshes.push_back(std::move(info));
    return Step::kNext;
  });
}

// What one load has created so far, against the limits in reader3ds.h.
struct Totals {
  int64_t objects = 0;
  int64_t vertices = 0;
  int64_t faces = 0;
};

bool within_limits(const Totals& t, int64_t vertices, int64_t faces, const std::string& name) {
  if (t.objects + 1 > kSceneMaxObjects) {
    return refuse("the scene has more than %s objects, the limit",
                  grouped(kSceneMaxObjects).c_str());
  }
  if (t.vertices + vertices > kSceneMaxVertices) {
    return refuse("the scene has %s vertices in all by the node for mesh %s; the limit is %s",
                  grouped(t.vertices + vertices).c_str(), shown(name).c_str(),
                  grouped(kSceneMaxVertices).c_str());
  }
  if (t.faces + faces > kSceneMaxFaces) {
    return refuse("the scene has %s faces in all by the node for mesh %s; the limit is %s",
                  grouped(t.faces + faces).c_str(), shown(name).c_str(),
                  grouped(kSceneMaxFaces).c_str());
  }
  return true;
}

// The count at the start of a list of records of record_size bytes, as stored. Read signed (the
// show's load), a negative count means no records (and no known end of the records). A list
// whose records do not fit in its chunk is malformed.
bool list_count(void* s, const Span& list, int64_t record_size, const char* what,
                const std::string& mesh, int32_t* count) {
  if (list.size() < 2) {
    return refuse("the %s of mesh %s at offset %lld is too short for its count", what,
                  shown(mesh).c_str(), static_cast<long long>(list.start));
  }
  seek_to(s, list.data);
  *count = read_count(s);
  if (2 + std::max(*count, 0) * record_size > list.size()) {
    return refuse("the %s of mesh %s at offset %lld claims %s records in %s bytes", what,
                  shown(mesh).c_str(), static_cast<long long>(list.start), grouped(*count).c_str(),
                  grouped(list.size()).c_str());
  }
  return true;
}

// Reads a mesh into a new object (not yet listed), or returns null with the reason recorded.
// Everything that can refuse the mesh is checked before anything is allocated, except a face
// naming a vertex the mesh does not have (the renderer would index the vertex arrays with it).
Object3D* read_mesh(void* s, MeshInfo& m, const Totals& totals) {
  if (m.vertices.data < 0) {
    refuse("mesh %s has no vertex list (chunk 0x4110)", shown(m.name).c_str());
    return nullptr;
  }
  if (m.faces.data < 0) {
    refuse("mesh %s has no face list (chunk 0x4120)", shown(m.name).c_str());
    return nullptr;
  }
  int32_t vertex_count = 0;
  int32_t face_count = 0;
  if (!list_count(s, m.vertices, 12, "vertex list", m.name, &vertex_count) ||
      !list_count(s, m.faces, 8, "face list", m.name, &face_count) ||
      !within_limits(totals, std::max(vertex_count, 0), std::max(face_count, 0), m.name)) {
    return nullptr;
  }
  if (m.matrix.data >= 0 && m.matrix.size() < 48) {
    refuse("the mesh matrix of %s at offset %lld holds %lld bytes; it needs 48",
           shown(m.name).c_str(), static_cast<long long>(m.matrix.start),
           static_cast<long long>(m.matrix.size()));
    return nullptr;
  }
  // The face list's sub-chunks follow its faces, so with a negative count they cannot be found.
  if (!m.material_known && face_count >= 0) {
    Span group[1];
    const uint16_t group_id[1] = {kFaceMaterial};
    if (!find_first(s, m.faces, m.faces.data + 2 + 8 * int64_t{face_count},
                    Found{group_id, group, 1})) {
      return nullptr;
    }
    if (group[0].data >= 0) {
      seek_to(s, group[0].data);
      if (!read_whole_name(s, group[0], &m.material)) return nullptr;
    }
    m.material_known = true;
  }
  vertex_count = std::max(vertex_count, 0);
  face_count = std::max(face_count, 0);
  // Mapping coordinates are used only when there is a pair for every vertex.
  const bool mapping =
      m.mapping.data >= 0 && vertex_count > 0 && m.mapping.size() - 2 >= 8 * int64_t{vertex_count};

  Object3D* o = object_create(vertex_count, face_count, mapping ? 1 : 0);
  if (o == nullptr) {
    refuse("out of memory for mesh %s", shown(m.name).c_str());
    return nullptr;
  }

  seek_to(s, m.vertices.data + 2);
  for (int32_t i = 0; i < 3 * vertex_count; ++i) o->vertices[i] = read_float(s) * kLengthScale;

  seek_to(s, m.faces.data + 2);
  for (int32_t f = 0; f < face_count; ++f) {
    int32_t* face = o->faces + 4 * f;
    for (int k = 0; k < 3; ++k) {
      face[k] = read_count(s);
      if (face[k] < 0 || face[k] >= vertex_count) {
        refuse("face %d of mesh %s names vertex %d; the mesh has %d", f, shown(m.name).c_str(),
               face[k], vertex_count);
        object_free(o);
        return nullptr;
      }
    }
    read_u16(s);  // the file's edge flags are not kept
    face[3] = -1;
  }

  store_name(o->material, kMaterialSize, m.material);

  if (mapping) {
    seek_to(s, m.mapping.data + 2);
    for (int32_t i = 0; i < 2 * vertex_count; ++i) o->uvs[i] = read_float(s) * kMappingScale;
  }

  // The mesh matrix: three axis rows, then the origin, which enters negated and scaled.
  mat4_identity(&o->pivot);
  if (m.matrix.data >= 0) {
    seek_to(s, m.matrix.data);
    float v[12];
    for (float& x : v) x = read_float(s);
    for (int r = 0; r < 3; ++r) {
      o->pivot.m[4 * r + 0] = v[3 * r + 0];
      o->pivot.m[4 * r + 1] = v[3 * r + 1];
      o->pivot.m[4 * r + 2] = v[3 * r + 2];
      o->pivot.m[4 * r + 3] = -kLengthScale * v[9 + r];
    }
  }
  return o;
}

// Adds a new object to view, prepares it and names it.
bool list_object(Object3D* o, int32_t parent_index, const std::string& name, View3D* view,
                 Totals* totals) {
  if (view_add_object(view, o, parent_index) != 0) {
    object_free(o);
    return refuse("cannot add %s to the view", shown(name).c_str());
  }
  ++totals->objects;
  totals->vertices += o->vertex_count;
  totals->faces += o->face_count;
  object_prepare(o);
  std::memset(o->name, 0, sizeof o->name);
  store_name(o->name, kNameSize, name);
  return true;
}

// One object node: its header, pivot and, for a dummy, its instance name; then its object,
// listed in view and prepared.
bool read_node(void* s, const Span& node, MeshIndex& index, View3D* view, Totals* totals) {
  Span parts[3];
  const uint16_t part_ids[3] = {kNodeHeader, kNodePivot, kInstanceName};
  if (!find_first(s, node, node.data, Found{part_ids, parts, 3})) return false;
  const Span& header = parts[0];
  const Span& pivot = parts[1];
  const Span& instance = parts[2];

  if (header.data < 0) {
    return refuse("the object node at offset %lld has no node header (chunk 0xB010)",
                  static_cast<long long>(node.start));
  }
  std::string node_name;
  seek_to(s, header.data);
  if (!read_whole_name(s, header, &node_name)) return false;
  if (header.end - tell(s) < 6) {
    return refuse("the node header of %s at offset %lld is too short for its flags and parent",
                  shown(node_name).c_str(), static_cast<long long>(header.start));
  }
  current_stream_ops->seek(s, 4, kSeekCur);  // two flag words
  const int32_t parent_index = read_i16(s);

  float node_pivot[3] = {0.0f, 0.0f, 0.0f};
  if (pivot.data >= 0) {
    if (pivot.size() < 12) {
      return refuse("the node pivot of %s at offset %lld holds %lld bytes; it needs 12",
                    shown(node_name).c_str(), static_cast<long long>(pivot.start),
                    static_cast<long long>(pivot.size()));
    }
    seek_to(s, pivot.data);
    for (float& v : node_pivot) v = read_float(s);
  }

  Object3D* o = nullptr;
  std::string object_name;
  if (std::strncmp(node_name.c_str(), "$$$DUMMY", 8) == 0) {  // only eight bytes are compared
    if (instance.data < 0) {
      return refuse("the dummy node at offset %lld has no instance name (chunk 0xB011)",
                    static_cast<long long>(node.start));
    }
    seek_to(s, instance.data);
    if (!read_whole_name(s, instance, &object_name)) return false;
    if (!within_limits(*totals, 0, 0, object_name)) return false;
    o = object_create(0, 0, 0);
    if (o == nullptr) return refuse("out of memory for dummy %s", shown(object_name).c_str());
  } else {
    const auto found = index.by_name.find(node_name);
    if (found == index.by_name.end()) {
      return refuse("no triangle mesh is named %s, as the object node at offset %lld asks",
                    shown(node_name).c_str(), static_cast<long long>(node.start));
    }
    MeshInfo& mesh = index.meshes[found->second];
    o = read_mesh(s, mesh, *totals);
    if (o == nullptr) return false;
    object_name = mesh.name;
  }

  if (!list_object(o, parent_index, object_name, view, totals)) return false;
  for (int k = 0; k < 3; ++k) o->node_pivot[k] = node_pivot[k] * kLengthScale;
  return true;
}

// One object per mesh of the editor data, in file order, each a root at the mesh's own
// coordinates: what a file whose keyframer names no objects holds.
bool read_every_mesh(void* s, MeshIndex& index, View3D* view) {
  Totals totals;
  for (MeshInfo& mesh : index.meshes) {
    Object3D* o = read_mesh(s, mesh, totals);
    if (o == nullptr || !list_object(o, -1, mesh.name, view, &totals)) return false;
  }
  return true;
}

bool read_objects(void* s, View3D* view, SceneReadMode mode) {
  const bool meshes_allowed = mode == SceneReadMode::kNodesOrMeshes;
  counts_unsigned = meshes_allowed;
  Span main;
  if (!open_main(s, &main)) return false;
  Span sections[2];
  const uint16_t section_ids[2] = {kEditor, kKeyframer};
  if (!find_first(s, main, main.data, Found{section_ids, sections, 2})) return false;
  const Span& editor = sections[0];
  const Span& keyframer = sections[1];
  if (editor.data < 0) return refuse("no editor section (chunk 0x3D3D)");
  if (keyframer.data < 0 && !meshes_allowed) return refuse("no keyframer section (chunk 0xB000)");

  MeshIndex index;
  if (!index_meshes(s, editor, meshes_allowed, &index)) return false;
  if (keyframer.data < 0) return read_every_mesh(s, index, view);

  // Nodes are read from the keyframer header on; nodes before it are not part of the scene.
  bool header_seen = false;
  Totals totals;
  int64_t nodes = 0;
  if (!walk(s, keyframer, keyframer.data, [&](const Span& c) {
        if (!header_seen) {
          header_seen = c.id == kKeyframerHeader;
          return Step::kNext;
        }
        if (c.id != kObjectNode) return Step::kNext;
        ++nodes;
        return read_node(s, c, index, view, &totals) ? Step::kNext : Step::kFail;
      })) {
    return false;
  }
  if (nodes == 0 && meshes_allowed) return read_every_mesh(s, index, view);
  if (!header_seen) return refuse("no keyframer header (chunk 0xB00A)");
  return true;
}

// Finds the index-th camera (from 1) and copies it into view. Every named object visited leaves
// its name in the view's name.
bool read_camera(void* s, int32_t index, View3D* view, float* lens) {
  Span main;
  if (!open_main(s, &main)) return false;
  Span editor;
  if (!main_section(s, main, kEditor, &editor)) return false;
  if (editor.data < 0) return refuse("no editor section (chunk 0x3D3D)");

  const int32_t wanted = index;
  bool done = false;
  std::string name;
  if (!walk(s, editor, editor.data, [&](const Span& object) {
        if (object.id != kNamedObject) return Step::kNext;
        seek_to(s, object.data);
        if (!read_whole_name(s, object, &name)) return Step::kFail;
        store_name(view->name, kNameSize, name);
        Span camera[1];
        const uint16_t camera_id[1] = {kCamera};
        if (!find_first(s, object, tell(s), Found{camera_id, camera, 1})) return Step::kFail;
        if (camera[0].data < 0) return Step::kNext;
        if (index > 1) {
          --index;
          return Step::kNext;
        }
        if (camera[0].size() < 28) {
          refuse("camera %s at offset %lld holds %lld bytes; it needs 28", shown(name).c_str(),
                 static_cast<long long>(camera[0].start), static_cast<long long>(camera[0].size()));
          return Step::kFail;
        }
        seek_to(s, camera[0].data);
        float p[7];
        for (float& v : p) v = read_float(s);
        view->eye = {p[0] * kLengthScale, p[1] * kLengthScale, p[2] * kLengthScale};
        view->target = {p[3] * kLengthScale, p[4] * kLengthScale, p[5] * kLengthScale};
        view->angles[2] = static_cast<float>(static_cast<double>(p[6]) * 1024.0 / 360.0);
        if (lens != nullptr) *lens = camera[0].size() >= 32 ? read_float(s) : 0.0f;
        done = true;
        return Step::kStop;
      })) {
    return false;
  }
  if (!done) {
    view_release(view);
    return refuse("camera %d was asked for; the file has %d", wanted, wanted - index);
  }
  return true;
}

// Runs one reader over its own stream, closed on every way out. A failed allocation in the
// reader's own bookkeeping refuses the file like any other failure.
template <typename Read>
int32_t run_reader(const void* source, Read read) {
  last_error[0] = 0;
  void* s = current_stream_ops->open(source, "rb");
  if (s == nullptr) {
    refuse("cannot open the scene file");
    return 1;
  }
  bool ok = false;
  try {
    ok = read(s);
  } catch (const std::bad_alloc&) {
    ok = refuse("out of memory");
  }
  current_stream_ops->close(s);
  return ok ? 0 : 1;
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

int32_t read_3ds_objects(const void* source, View3D* view, SceneReadMode mode) {
  if (view == nullptr) {
    refuse("no view to read the objects into");
    return 1;
  }
  return run_reader(source, [view, mode](void* s) { return read_objects(s, view, mode); });
}

int32_t read_3ds_camera(const void* source, int32_t index, View3D* view, float* lens) {
  if (index < 1 || view == nullptr) {
    refuse(view == nullptr ? "no view to read the camera into" : "cameras are counted from 1");
    return 1;
  }
  return run_reader(source,
                    [index, view, lens](void* s) { return read_camera(s, index, view, lens); });
}

const char* read_3ds_last_error() { return last_error; }

int32_t load_scene_objects(const uint8_t* data, size_t size, View3D* view, SceneReadMode mode) {
  const MemorySource source{data, static_cast<uint32_t>(size > UINT32_MAX ? UINT32_MAX : size)};
  stream_select(STREAM_MEMORY);
  const int32_t result = read_3ds_objects(&source, view, mode);
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
    case 0x4F46:
      return 0;
    case 0xD8FF:
      return 1;
    case 0x3A4D:
      return 2;
    case kMain:
      return 3;
    case 0x3DAA:
      return 4;
    case 0x3DFF:
      return 5;
    case 0x3DC2:
      return 6;
    default:
      return 7;
  }
}
