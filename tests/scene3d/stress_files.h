// Scene files built to stress the reader: many nodes, many objects, one mesh named by many nodes,
// names that share their first ten characters, and short fixed-size records. Shared by the
// reader's tests, the benchmark and the fuzzer's seed writer; nothing here is stored on disk.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/scenegen/writer3ds.h"

namespace stress3ds {

using writer3ds::Bytes;
using writer3ds::Writer;

// A record that can be written shorter than the reader needs.
enum class Short { kNone, kMeshMatrix, kNodePivot, kNodeHeader, kCamera };

struct MeshSpec {
  std::string name;
  int32_t vertices;  // on a small fan around the origin, offset by x
  int32_t faces;     // a fan over the vertices (needs 3 vertices or more)
  float x;
  bool matrix = true;
};

inline void write_mesh(Writer& w, const MeshSpec& m, Short cut) {
  w.begin(0x4000);
  w.name(m.name);
  w.begin(0x4100);
  w.begin(0x4110);
  w.u16(static_cast<uint16_t>(m.vertices));
  for (int32_t i = 0; i < m.vertices; ++i) {
    const float v[3] = {m.x + static_cast<float>(i % 7), static_cast<float>(i % 5),
                        static_cast<float>(i % 3)};
    w.vec(v);
  }
  w.end();
  w.begin(0x4120);
  w.u16(static_cast<uint16_t>(m.faces));
  for (int32_t f = 0; f < m.faces; ++f) {
    w.u16(0);
    w.u16(static_cast<uint16_t>(1 + f % (m.vertices - 2)));
    w.u16(static_cast<uint16_t>(2 + f % (m.vertices - 2)));
    w.u16(7);
  }
  w.end();
  if (m.matrix) {
    w.begin(0x4160);
    const float axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, m.x, 0, 0};
    for (int k = 0; k < (cut == Short::kMeshMatrix ? 11 : 12); ++k) w.f32(axes[k]);
    w.end();
  }
  w.end();
  w.end();
}

inline void write_camera(Writer& w, Short cut) {
  w.begin(0x4000);
  w.name("Camera01");
  w.begin(0x4700);
  const float values[8] = {200, -150, 120, 0, 0, 0, 0, 50};  // eye, target, bank, lens
  for (int k = 0; k < (cut == Short::kCamera ? 6 : 8); ++k) w.f32(values[k]);
  w.end();
  w.end();
}

inline void write_node(Writer& w, const std::string& name, int16_t parent, Short cut) {
  w.begin(0xB002);
  w.begin(0xB010);
  w.name(name);
  w.u16(0);
  w.u16(0);
  if (cut != Short::kNodeHeader) w.u16(static_cast<uint16_t>(parent));
  w.end();
  if (cut == Short::kNodePivot) {
    w.begin(0xB013);
    w.f32(0);
    w.f32(0);
    w.end();
  }
  w.end();
}

// A whole file: a camera, the meshes, and a keyframer whose nodes name meshes[node_mesh[i]].
inline Bytes scene(const std::vector<MeshSpec>& meshes, const std::vector<int32_t>& node_mesh,
                   Short cut = Short::kNone, std::vector<size_t>* boundaries = nullptr) {
  Writer w;
  w.begin(0x4D4D);
  w.begin(0x3D3D);
  write_camera(w, cut);
  for (const MeshSpec& m : meshes) write_mesh(w, m, cut);
  w.end();
  w.begin(0xB000);
  w.begin(0xB00A);
  w.u16(5);
  w.name("STRESS");
  w.u32(100);
  w.end();
  for (int32_t i : node_mesh) write_node(w, meshes[i].name, -1, cut);
  w.end();
  w.end();
  if (boundaries != nullptr) *boundaries = w.boundaries;
  return w.out;
}

// 20,000 nodes naming one small mesh: 80,000 vertices and 40,000 faces in all, within the limits.
inline Bytes many_nodes(int32_t nodes = 20000) {
  return scene({{"Box", 4, 2, 0}}, std::vector<int32_t>(nodes, 0));
}

// 10,000 one-triangle meshes, each named by its own node (a little under the fuzzer's 1 MB).
inline Bytes many_objects(int32_t objects = 10000) {
  std::vector<MeshSpec> meshes;
  std::vector<int32_t> nodes;
  for (int32_t i = 0; i < objects; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%05d", i);
    meshes.push_back({name, 3, 1, static_cast<float>(i), false});
    nodes.push_back(i);
  }
  return scene(meshes, nodes);
}

// 1,000 nodes naming one mesh of 32,767 vertices: each node gets its own copy, so the copies
// would need far more memory than a load may take.
inline Bytes one_mesh_many_nodes(int32_t nodes = 1000) {
  return scene({{"Big", 32767, 0, 0}}, std::vector<int32_t>(nodes, 0));
}

// Two meshes whose names differ only in their eleventh character, one node for each.
inline Bytes colliding_names() {
  return scene({{"LongName_A1", 4, 2, 10}, {"LongName_A2", 4, 2, 20}}, {1, 0});
}

// Five meshes and nodes with every record at full size, or one kind of record cut short.
inline Bytes sample(Short cut = Short::kNone, std::vector<size_t>* boundaries = nullptr) {
  std::vector<MeshSpec> meshes;
  for (int32_t i = 0; i < 5; ++i) meshes.push_back({"Part" + std::to_string(i), 5, 3, 30.0f * i});
  return scene(meshes, {0, 1, 2, 3, 4}, cut, boundaries);
}

}  // namespace stress3ds
