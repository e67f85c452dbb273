// The scene reader on files built in memory: what it reads, what it refuses, how it searches.
#include "scene3d/reader3ds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "scene3d/reader3ds_internal.h"
#include "scene3d/stream.h"
#include "scene_builder.h"
#include "stress_files.h"
#include "test_support.h"

namespace {

using namespace scene_builder;
using test_support::ScopedView;

int32_t load(const Bytes& bytes, View3D* view, SceneReadMode mode = SceneReadMode::kNodes) {
  return load_scene_objects(bytes.data(), bytes.size(), view, mode);
}

TEST(ReadObjects, MeshFieldsComeThroughInEngineUnits) {
  Mesh m = small_mesh("Ball");
  m.uvs = {0.5f, 0.25f, 1, 0, 0, 1, 0.125f, 0.75f};
  m.material = "Red plastic";
  Node n{"Ball", -1, "", {1, 2, 3}};
  const Bytes bytes = scene({m}, {n});
  ScopedView v;
  ASSERT_EQ(load(bytes, &v.view), 0);
  ASSERT_EQ(v.count(), 1);
  const Object3D* o = v.object(0);
  ASSERT_EQ(o->vertex_count, 4);
  ASSERT_EQ(o->face_count, 2);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(o->vertices[i], m.vertices[i] * 256.0f) << i;
  // Winding reversed by preparation, flags word -1 whatever the file held.
  const int32_t faces[8] = {2, 1, 0, -1, 2, 3, 1, -1};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(o->faces[i], faces[i]) << i;
  ASSERT_NE(o->uvs, nullptr);
  EXPECT_EQ(o->uvs[0], 32768.0f);
  EXPECT_EQ(o->uvs[7], 49152.0f);
  EXPECT_STREQ(o->material, "Red plastic");
  EXPECT_STREQ(o->name, "Ball");
  // Pivot: axis rows, origin negated and scaled in the fourth column.
  const float pivot[16] = {1, 0, 0, -2560, 0, 0, -1, -5120, 0, 1, 0, -7680, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(o->pivot.m[i], pivot[i]) << i;
  EXPECT_EQ(o->node_pivot[0], 256.0f);
  EXPECT_EQ(o->node_pivot[2], 768.0f);
  EXPECT_EQ(o->flags, 1u);  // prepared
  EXPECT_NE(o->normals, nullptr);
  EXPECT_EQ(v.node(0)->parent_index, -1);
  EXPECT_EQ(current_stream_ops, &file_stream_ops);
}

TEST(ReadObjects, MeshWithoutMatrixMappingOrMaterial) {
  Mesh m = small_mesh("Plain");
  m.matrix.clear();
  ScopedView v;
  ASSERT_EQ(load(scene({m}, {{"Plain"}}), &v.view), 0);
  const Object3D* o = v.object(0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(o->pivot.m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
  EXPECT_EQ(o->uvs, nullptr);
  EXPECT_EQ(o->material[0], 0);
  EXPECT_EQ(o->node_pivot[0], 0.0f);
}

TEST(ReadObjects, NodesMakeDummiesCopiesAndAHierarchy) {
  const Bytes bytes = scene({small_mesh("Box"), small_mesh("Wheel")},
                            {{"Box", -1}, {"$$$DUMMYx", 0, "Axle"}, {"Wheel", 1}, {"Wheel", 1}});
  ScopedView v;
  ASSERT_EQ(load(bytes, &v.view), 0);
  ASSERT_EQ(v.count(), 4);
  const Object3D* dummy = v.object(1);
  EXPECT_EQ(dummy->vertex_count, 0);
  EXPECT_EQ(dummy->face_count, 0);
  EXPECT_STREQ(dummy->name, "Axle");
  EXPECT_EQ(dummy->radius, 1.0f);
  EXPECT_EQ(dummy->normals, nullptr);
  // Two nodes naming one mesh get separate geometry.
  EXPECT_NE(v.object(2)->vertices, v.object(3)->vertices);
  EXPECT_EQ(v.object(2)->vertices[4], v.object(3)->vertices[4]);
  EXPECT_EQ(v.node(1)->parent, v.node(0));
  EXPECT_EQ(v.node(2)->parent, v.node(1));
  EXPECT_EQ(v.node(3)->parent, v.node(1));
}

TEST(ReadObjects, TenCharacterNamesAreComparedWholeAndStoredTerminated) {
  // "Object0001" and "Object0002" differ only in their tenth character.
  const Bytes bytes = scene({small_mesh("Object0001"), small_mesh("Object0002")}, {{"Object0002"}});
  ScopedView v;
  ASSERT_EQ(load(bytes, &v.view), 0);
  ASSERT_EQ(v.count(), 1);
  EXPECT_EQ(std::string(v.object(0)->name), "Object0002");
  EXPECT_EQ(v.object(0)->name[10], 0);
}

TEST(ReadObjects, NamesSharingTenCharactersFindTheirOwnMesh) {
  // Nodes for "LongName_A2" then "LongName_A1"; the meshes start at x = 20 and x = 10.
  const Bytes bytes = stress3ds::colliding_names();
  ScopedView v;
  ASSERT_EQ(load(bytes, &v.view), 0) << read_3ds_last_error();
  ASSERT_EQ(v.count(), 2);
  EXPECT_EQ(v.object(0)->vertices[0], 20.0f * 256.0f);
  EXPECT_EQ(v.object(1)->vertices[0], 10.0f * 256.0f);
  EXPECT_EQ(std::string(v.object(0)->name), "LongName_A");  // the stored name keeps ten
}

TEST(ReadObjects, NodeWithoutMeshFailsAfterEarlierNodes) {
  const Bytes bytes = scene({small_mesh("Box")}, {{"Box"}, {"Missing"}, {"Box"}});
  ScopedView v;
  EXPECT_EQ(load(bytes, &v.view), 1);
  EXPECT_EQ(v.count(), 1);
  EXPECT_STREQ(read_3ds_last_error(),
               "no triangle mesh is named \"Missing\", as the object node at offset 290 asks");
  EXPECT_EQ(current_stream_ops, &file_stream_ops);
}

// Without nodes, every mesh in file order, duplicate names included, each a root where it stands.
TEST(ReadObjects, WithoutNodesEveryMeshIsAnObject) {
  Mesh copy = small_mesh("Box");
  for (float& f : copy.vertices) f += 100.0f;
  const Bytes bytes = file({editor({small_mesh("Box"), small_mesh("Wheel"), copy}, {})});
  ScopedView v;
  ASSERT_EQ(load(bytes, &v.view, SceneReadMode::kNodesOrMeshes), 0) << read_3ds_last_error();
  ASSERT_EQ(v.count(), 3);
  const char* names[3] = {"Box", "Wheel", "Box"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(v.object(i)->name, names[i]);
    EXPECT_EQ(v.node(i)->parent, nullptr);
    EXPECT_EQ(v.object(i)->flags, 1u);  // prepared
  }
  EXPECT_EQ(v.object(0)->vertices[0], 256.0f);
  EXPECT_EQ(v.object(2)->vertices[0], 101.0f * 256.0f);
  EXPECT_EQ(v.object(2)->pivot.m[3], -2560.0f);
}

// Damaged, incomplete, hostile or large files: each is read within the limits or refused with
// its reason, never trusted.
struct FileCase {
  const char* what;
  Bytes bytes;
  int32_t result;
  int32_t objects;       // objects in the view afterwards
  int32_t vertex_count;  // of the first object, when there is one
  const char* reason;    // a part of read_3ds_last_error(), when refused
  SceneReadMode mode = SceneReadMode::kNodes;
};

std::vector<FileCase> file_cases() {
  std::vector<FileCase> cases;
  const Mesh good = small_mesh("Box");
  const std::vector<Node> one{{"Box"}};
  auto mesh_variant = [&](const char* what, auto change, int32_t result, int32_t objects,
                          int32_t vertices, const char* reason) {
    Mesh m = good;
    change(m);
    cases.push_back({what, scene({m}, one), result, objects, vertices, reason});
  };
  const char* not_3ds = "not a 3D Studio file";
  cases.push_back({"empty", {}, 1, 0, 0, not_3ds});
  cases.push_back({"not a scene file", {'F', 'O', 'R', 'M', 0, 0, 0, 0}, 1, 0, 0, not_3ds});
  cases.push_back({"no editor", file({keyframer(one)}), 1, 0, 0, "no editor section"});
  cases.push_back({"no keyframer", file({editor({good}, {})}), 1, 0, 0, "no keyframer section"});
  cases.push_back({"no keyframer header", file({editor({good}, {}), keyframer(one, false)}), 1, 0,
                   0, "no keyframer header"});
  cases.push_back({"node without header", scene({good}, {{"Box", -1, "", {}, false}}), 1, 0, 0,
                   "has no node header"});
  cases.push_back({"dummy without instance name", scene({good}, {{"$$$DUMMY"}}), 1, 0, 0,
                   "has no instance name"});
  // A tool's load: the meshes themselves when the keyframer names no objects.
  const SceneReadMode meshes = SceneReadMode::kNodesOrMeshes;
  Mesh unlisted = small_mesh("Other");
  unlisted.vertices.resize(9);
  unlisted.faces.resize(4);
  cases.push_back(
      {"meshes without keyframer", file({editor({good, unlisted}, {})}), 0, 2, 4, "", meshes});
  cases.push_back({"meshes without keyframer header",
                   file({editor({good}, {}), keyframer(one, false)}), 0, 1, 4, "", meshes});
  cases.push_back({"meshes without nodes", scene({unlisted, good}, {}), 0, 2, 3, "", meshes});
  cases.push_back({"nodes before meshes", scene({unlisted, good}, one), 0, 1, 4, "", meshes});
  cases.push_back({"meshes without any", file({editor({}, {})}), 0, 0, 0, "", meshes});
  Mesh faceless = good;
  faceless.face_list = false;
  cases.push_back({"meshes with a broken one", file({editor({faceless}, {})}), 1, 0, 0,
                   "mesh \"Box\" has no face list", meshes});
  {
    // A tool's load reads counts and indices unsigned: 0xFFFF is vertex 65,535, not -1.
    Mesh m = good;
    m.faces[0] = 0xFFFF;
    cases.push_back({"meshes read indices unsigned", scene({m}, one), 1, 0, 0,
                     "face 0 of mesh \"Box\" names vertex 65535; the mesh has 4", meshes});
  }
  cases.push_back({"no nodes", scene({good}, {}), 0, 0, 0, ""});
  mesh_variant(
      "mesh without vertex list", [](Mesh& m) { m.vertex_list = false; }, 1, 0, 0,
      "mesh \"Box\" has no vertex list");
  mesh_variant(
      "mesh without face list", [](Mesh& m) { m.face_list = false; }, 1, 0, 0,
      "mesh \"Box\" has no face list");
  mesh_variant(
      "face index past the vertices", [](Mesh& m) { m.faces[5] = 4; }, 1, 0, 0,
      "face 1 of mesh \"Box\" names vertex 4; the mesh has 4");
  mesh_variant(
      "face index negative", [](Mesh& m) { m.faces[0] = 0xFFFF; }, 1, 0, 0, "names vertex -1");
  mesh_variant(
      "negative vertex count, no faces",
      [](Mesh& m) {
        m.vertex_count_override = 0x8000;
        m.faces.clear();
      },
      0, 1, 0, "");
  mesh_variant(
      "vertex count larger than its chunk", [](Mesh& m) { m.vertex_count_override = 30000; }, 1, 0,
      0, "claims 30,000 records in 50 bytes");
  mesh_variant(
      "face count larger than its chunk", [](Mesh& m) { m.face_count_override = 3; }, 1, 0, 0,
      "claims 3 records");
  mesh_variant(
      "negative face count", [](Mesh& m) { m.face_count_override = 0xFFFF; }, 0, 1, 4, "");
  mesh_variant(
      "mapping shorter than the vertices",
      [](Mesh& m) {
        m.uvs = {0.5f, 0.5f};
      },
      0, 1, 4, "");
  {
    // An editor chunk that claims more than the file holds: nothing inside can be trusted.
    Chunk e = editor({good}, {});
    e.length_override = 0x7FFFFFF0;
    cases.push_back({"editor length past the end", file({e, keyframer(one)}), 1, 0, 0,
                     "chunk 0x3D3D at offset 16 runs past the end of its parent chunk 0x4D4D"});
  }
  {
    // A chunk too short for its own header would step backwards for ever.
    Chunk odd{0x1234, {}, {}, 3};
    cases.push_back({"chunk length below six", file({odd, editor({good}, {}), keyframer(one)}), 1,
                     0, 0, "chunk 0x1234 at offset 16 has length 3, shorter than its own header"});
  }
  {
    Bytes b = scene({good}, one);
    b.resize(b.size() - 30);  // cut inside the last node
    cases.push_back({"truncated in the keyframer", b, 1, 0, 0, "the file is cut short"});
  }
  using stress3ds::Short;
  cases.push_back({"short mesh matrix", stress3ds::sample(Short::kMeshMatrix), 1, 0, 0,
                   "the mesh matrix of \"Part0\" at offset 183 holds 44 bytes; it needs 48"});
  cases.push_back({"short node pivot", stress3ds::sample(Short::kNodePivot), 1, 0, 0,
                   "the node pivot of \"Part0\" at offset 974 holds 8 bytes; it needs 12"});
  cases.push_back({"short node header", stress3ds::sample(Short::kNodeHeader), 1, 0, 0,
                   "the node header of \"Part0\" at offset 956 is too short"});
  cases.push_back({"many nodes", stress3ds::many_nodes(), 0, 20000, 4, ""});
  cases.push_back({"many objects", stress3ds::many_objects(), 0, 10000, 3, ""});
  // Each node's copy of the mesh counts: the seventh would pass the vertex limit.
  cases.push_back({"one mesh named by many nodes", stress3ds::one_mesh_many_nodes(), 1, 6, 32767,
                   "the scene has 229,369 vertices in all by the node for mesh \"Big\"; "
                   "the limit is 196,608"});
  return cases;
}

class Files : public ::testing::TestWithParam<FileCase> {};

TEST_P(Files, ReadWithinTheLimitsOrRefusedWithAReason) {
  const FileCase& c = GetParam();
  ScopedView v;
  EXPECT_EQ(load(c.bytes, &v.view, c.mode), c.result) << read_3ds_last_error();
  EXPECT_NE(std::string(read_3ds_last_error()).find(c.reason), std::string::npos)
      << read_3ds_last_error();
  if (c.result == 0) {
    EXPECT_STREQ(read_3ds_last_error(), "");
  }
  ASSERT_EQ(v.count(), c.objects);
  if (c.objects > 0) {
    const Object3D* o = v.object(0);
    EXPECT_EQ(o->vertex_count, c.vertex_count);
    for (int32_t f = 0; f < o->face_count; ++f) {
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(o->faces[4 * f + k], 0);
        EXPECT_LT(o->faces[4 * f + k], o->vertex_count);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Files, ::testing::ValuesIn(file_cases()), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.what; *p; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
  }
  return name;
});

// A file cut at any chunk boundary is refused whole by both readers: no object of it is kept.
TEST(Truncation, EveryChunkBoundaryIsRefused) {
  std::vector<size_t> boundaries;
  const Bytes whole = stress3ds::sample(stress3ds::Short::kNone, &boundaries);
  for (size_t cut : boundaries) {
    if (cut == 0 || cut == whole.size()) continue;
    const Bytes b(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut));
    ScopedView v;
    EXPECT_EQ(load(b, &v.view), 1) << cut;
    EXPECT_EQ(v.count(), 0) << cut;
    EXPECT_NE(std::string(read_3ds_last_error()).find("cut short"), std::string::npos) << cut;
    EXPECT_EQ(load_scene_camera(b.data(), b.size(), 1, &v.view), 1) << cut;
  }
}

// Cameras.
const Camera kFirst{"Camera01", {239.908f, 0, -2.307f, -46.136f, 0, 0, 90}};
const Camera kSecond{"Camera0002", {1, 2, 3, 4, 5, 6, 0}};

TEST(ReadCamera, CamerasAreCountedFromOneInFileOrder) {
  const Bytes bytes = scene({small_mesh("Box")}, {{"Box"}}, {kFirst, kSecond});
  ScopedView v;
  ASSERT_EQ(load_scene_camera(bytes.data(), bytes.size(), 1, &v.view), 0);
  EXPECT_EQ(v.view.eye.x, 239.908f * 256.0f);
  EXPECT_EQ(v.view.eye.z, -2.307f * 256.0f);
  EXPECT_EQ(v.view.target.x, -46.136f * 256.0f);
  EXPECT_EQ(v.view.angles[2], 256.0f);
  EXPECT_STREQ(v.view.name, "Camera01");
  ASSERT_EQ(load_scene_camera(bytes.data(), bytes.size(), 2, &v.view), 0);
  EXPECT_EQ(v.view.eye.y, 512.0f);
  EXPECT_EQ(v.view.target.z, 1536.0f);
  EXPECT_EQ(std::string(v.view.name, 10), "Camera0002");  // ten characters, no room for a NUL
  EXPECT_EQ(current_stream_ops, &file_stream_ops);
}

TEST(ReadCamera, MissingCameraReleasesTheView) {
  const Bytes bytes = scene({small_mesh("Box")}, {{"Box"}}, {kFirst});
  ScopedView v;
  const int32_t users = engine_users;
  EXPECT_EQ(load_scene_camera(bytes.data(), bytes.size(), 2, &v.view), 1);
  EXPECT_EQ(engine_users, users - 1);
  EXPECT_STREQ(read_3ds_last_error(), "camera 2 was asked for; the file has 1");
  v.released = true;
  EXPECT_EQ(load_scene_camera(bytes.data(), bytes.size(), 0, &v.view), 1);
  EXPECT_EQ(load_scene_camera(bytes.data(), bytes.size(), 1, nullptr), 1);
  EXPECT_EQ(engine_users, users - 1);
  EXPECT_EQ(load_scene_camera(bytes.data(), 4, 1, &v.view), 1);  // cut before the editor
  EXPECT_EQ(engine_users, users - 1);
  // A camera record too short for its values is malformed, not missing: the view stays.
  const Bytes short_camera = stress3ds::sample(stress3ds::Short::kCamera);
  EXPECT_EQ(load_scene_camera(short_camera.data(), short_camera.size(), 1, &v.view), 1);
  EXPECT_STREQ(read_3ds_last_error(),
               "camera \"Camera01\" at offset 27 holds 24 bytes; it needs 28");
  EXPECT_EQ(engine_users, users - 1);
}

// chunk_find over raw chunk sequences.
TEST(ChunkFind, BudgetZeroLengthAndOverruns) {
  Bytes b;
  Chunk a{0x1111, Bytes(4), {}}, c{0x2222, Bytes(10), {}}, d{0x3333, Bytes(2), {}};
  for (const Chunk* ch : {&a, &c, &d}) {
    const Bytes cb = ch->bytes();
    b.insert(b.end(), cb.begin(), cb.end());
  }
  const MemorySource src{b.data(), static_cast<uint32_t>(b.size())};
  void* s = memory_stream_ops.open(&src, "rb");
  stream_select(STREAM_MEMORY);
  struct Case {
    uint16_t id;
    int64_t budget;
    uint32_t length;  // expected result
    int64_t pos;      // expected position after a match
  };
  const Case cases[] = {
      {0x2222, 100, 16, 16},  // steps over the first chunk
      {0x2222, 11, 16, 16},   // a match overrunning the budget still counts
      {0x3333, 10, 0, 0},     // budget spent after the first chunk
      {0x3333, 1000, 8, 32},  // the last chunk
      {0x4444, 1000, 0, 0},   // past the data: the zero header ends the search
      {0x1111, 0, 0, 0},      // no budget at all
  };
  for (const Case& c : cases) {
    memory_stream_ops.seek(s, 0, 0);
    EXPECT_EQ(chunk_find(s, c.id, c.budget), c.length) << std::hex << c.id << " " << c.budget;
    if (c.length != 0) {
      EXPECT_EQ(memory_stream_ops.tell(s), c.pos);
      EXPECT_EQ(chunk_remaining(s, c.pos - 6, c.length), c.length - 6);
    }
  }
  // With the end of the data known, a chunk reaching past it is not believed.
  memory_stream_ops.seek(s, 0, 0);
  EXPECT_EQ(chunk_find(s, 0x3333, 1000, 31), 0u);
  stream_select(STREAM_FILE);
  memory_stream_ops.close(s);
}

TEST(ReadName, StopsAtNulControlCharactersAndCapacity) {
  struct Case {
    const char* input;  // followed by the bytes "\0Z"
    int32_t capacity;
    const char* stored;
    int64_t pos;  // position afterwards
  };
  const Case cases[] = {
      {"Box01", 10, "Box01", 6},
      {"Object0001", 10, "Object0001", 11},    // exactly capacity: no NUL stored
      {"VeryLongName", 10, "VeryLongNa", 13},  // cut, the rest consumed to the NUL
      {"Tab\tX", 10, "Tab", 3},                // stops before the tab
      {"Line\r", 16, "Line", 4},
  };
  stream_select(STREAM_MEMORY);
  for (const Case& c : cases) {
    Bytes b(c.input, c.input + std::strlen(c.input));
    b.push_back(0);
    b.push_back('Z');
    const MemorySource src{b.data(), static_cast<uint32_t>(b.size())};
    void* s = memory_stream_ops.open(&src, "rb");
    char buffer[17];
    std::memset(buffer, '#', sizeof buffer);
    read_name(s, buffer, c.capacity);
    const size_t n = std::strlen(c.stored);
    EXPECT_EQ(std::string(buffer, n), c.stored) << c.input;
    EXPECT_EQ(buffer[n], n < static_cast<size_t>(c.capacity) ? 0 : '#') << c.input;
    EXPECT_EQ(memory_stream_ops.tell(s), c.pos) << c.input;
    memory_stream_ops.close(s);
  }
  stream_select(STREAM_FILE);
}

// The kind comes from the first two bytes of a real file, read little-endian.
TEST(ProbeFileKind, RealFilesByTheirFirstWord) {
  const std::string assets = std::string(DRIFTLIGHT_SOURCE_DIR) + "/assets/";
  EXPECT_EQ(probe_file_kind((assets + "scene.3ds").c_str()), 3);
  EXPECT_EQ(probe_file_kind((assets + "soundtrack.mod").c_str()), 7);
  EXPECT_EQ(probe_file_kind("/nonexistent/scene.3ds"), 7);
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};  // the start of every JPEG file
  const MemorySource src{jpeg, sizeof jpeg};
  stream_select(STREAM_MEMORY);
  EXPECT_EQ(probe_file_kind(&src), 1);
  stream_select(STREAM_FILE);
}

}  // namespace
