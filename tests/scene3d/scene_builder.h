// Small 3D Studio scenes described as meshes, nodes and cameras, for the reader's tests and the
// fuzzer's seeds; written through the shared chunk writer.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/scenegen/writer3ds.h"

namespace scene_builder {

using writer3ds::Bytes;
using writer3ds::put16;
using writer3ds::put32;
using writer3ds::put_float;
using writer3ds::put_name;

// A chunk: its own data, then its sub-chunks. length_override replaces the computed length.
struct Chunk {
  uint16_t id = 0;
  Bytes data;
  std::vector<Chunk> kids;
  int64_t length_override = -1;

  void write(writer3ds::Writer& w) const {
    w.begin(id);
    w.raw(data);
    for (const Chunk& k : kids) k.write(w);
    if (length_override >= 0) {
      w.end_claiming(static_cast<uint32_t>(length_override));
    } else {
      w.end();
    }
  }
  Bytes bytes() const {
    writer3ds::Writer w;
    write(w);
    return w.out;
  }
};

struct Mesh {
  std::string name;
  std::vector<float> vertices;  // 3 per vertex, file units
  std::vector<uint16_t> faces;  // 4 per face, as stored in the file
  std::vector<float> uvs;       // 2 per vertex, or empty
  std::vector<float> matrix;    // 12 floats, or empty
  std::string material;         // empty: no face material group
  bool vertex_list = true, face_list = true;
  int32_t vertex_count_override = -1;  // the count word, when it should lie
  int32_t face_count_override = -1;
};

struct Node {
  std::string name;
  int16_t parent;
  std::string instance;      // instance name chunk, when not empty
  std::vector<float> pivot;  // 3 floats, or empty
  bool header;
  Node(std::string n, int16_t p = -1, std::string i = "", std::vector<float> v = {}, bool h = true)
      : name(std::move(n)), parent(p), instance(std::move(i)), pivot(std::move(v)), header(h) {}
};

struct Camera {
  std::string name;
  float p[7];  // position, target, bank
  float lens = 50.0f;
};

inline Chunk named_mesh(const Mesh& m) {
  Chunk tri{0x4100, {}, {}};
  if (m.vertex_list) {
    Chunk v{0x4110, {}, {}};
    put16(v.data, static_cast<uint16_t>(m.vertex_count_override >= 0 ? m.vertex_count_override
                                                                     : m.vertices.size() / 3));
    for (float f : m.vertices) put_float(v.data, f);
    tri.kids.push_back(v);
  }
  if (!m.uvs.empty()) {
    Chunk t{0x4140, {}, {}};
    put16(t.data, static_cast<uint16_t>(m.uvs.size() / 2));
    for (float f : m.uvs) put_float(t.data, f);
    tri.kids.push_back(t);
  }
  if (m.face_list) {
    Chunk f{0x4120, {}, {}};
    put16(f.data, static_cast<uint16_t>(m.face_count_override >= 0 ? m.face_count_override
                                                                   : m.faces.size() / 4));
    for (uint16_t w : m.faces) put16(f.data, w);
    if (!m.material.empty()) {
      Chunk g{0x4130, {}, {}};
      put_name(g.data, m.material);
      put16(g.data, 0);
      f.kids.push_back(g);
    }
    tri.kids.push_back(f);
  }
  if (!m.matrix.empty()) {
    Chunk x{0x4160, {}, {}};
    for (float f : m.matrix) put_float(x.data, f);
    tri.kids.push_back(x);
  }
  Chunk obj{0x4000, {}, {tri}};
  put_name(obj.data, m.name);
  return obj;
}

inline Chunk named_camera(const Camera& c) {
  Chunk cam{0x4700, {}, {}};
  for (float f : c.p) put_float(cam.data, f);
  put_float(cam.data, c.lens);
  Chunk obj{0x4000, {}, {cam}};
  put_name(obj.data, c.name);
  return obj;
}

inline Chunk object_node(const Node& n) {
  Chunk node{0xB002, {}, {}};
  Chunk id{0xB030, {}, {}};
  put16(id.data, 0);
  node.kids.push_back(id);
  if (n.header) {
    Chunk h{0xB010, {}, {}};
    put_name(h.data, n.name);
    put16(h.data, 0x4000);
    put16(h.data, 0);
    put16(h.data, static_cast<uint16_t>(n.parent));
    node.kids.push_back(h);
  }
  if (!n.instance.empty()) {
    Chunk i{0xB011, {}, {}};
    put_name(i.data, n.instance);
    node.kids.push_back(i);
  }
  if (!n.pivot.empty()) {
    Chunk p{0xB013, {}, {}};
    for (float f : n.pivot) put_float(p.data, f);
    node.kids.push_back(p);
  }
  Chunk track{0xB020, {}, {}};  // a position track, which the reader steps over
  for (int i = 0; i < 5; ++i) put32(track.data, 0);
  node.kids.push_back(track);
  return node;
}

// The editor chunk of meshes and cameras (cameras first, as many exporters write them).
inline Chunk editor(const std::vector<Mesh>& meshes, const std::vector<Camera>& cameras) {
  Chunk e{0x3D3D, {}, {}};
  Chunk version{0x3D3E, {}, {}};
  put32(version.data, 3);
  e.kids.push_back(version);
  for (const Camera& c : cameras) e.kids.push_back(named_camera(c));
  for (const Mesh& m : meshes) e.kids.push_back(named_mesh(m));
  return e;
}

inline Chunk keyframer(const std::vector<Node>& nodes, bool header = true) {
  Chunk k{0xB000, {}, {}};
  if (header) {
    Chunk h{0xB00A, {}, {}};
    put16(h.data, 5);
    put_name(h.data, "scene");
    put32(h.data, 100);
    k.kids.push_back(h);
  }
  Chunk ambient{0xB001, {}, {}};  // an ambient node, passed over
  Chunk ah{0xB010, {}, {}};
  put_name(ah.data, "$AMBIENT$");
  put16(ah.data, 0), put16(ah.data, 0), put16(ah.data, 0xFFFF);
  ambient.kids.push_back(ah);
  k.kids.push_back(ambient);
  for (const Node& n : nodes) k.kids.push_back(object_node(n));
  return k;
}

inline Bytes file(std::vector<Chunk> sections) {
  Chunk main{0x4D4D, {}, {}};
  Chunk version{0x0002, {}, {}};
  put32(version.data, 3);
  main.kids.push_back(version);
  for (Chunk& s : sections) main.kids.push_back(s);
  return main.bytes();
}

// A whole scene: meshes and cameras in the editor, nodes in the keyframer.
inline Bytes scene(const std::vector<Mesh>& meshes, const std::vector<Node>& nodes,
                   const std::vector<Camera>& cameras = {}) {
  return file({editor(meshes, cameras), keyframer(nodes)});
}

// A tetrahedron-ish mesh of four vertices and two faces, with a mesh matrix.
inline Mesh small_mesh(const std::string& name) {
  Mesh m;
  m.name = name;
  m.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9, -1, -2, -3};
  m.faces = {0, 1, 2, 7, 1, 3, 2, 0x1234};
  m.matrix = {1, 0, 0, 0, 0, -1, 0, 1, 0, 10, 20, 30};
  return m;
}

}  // namespace scene_builder
