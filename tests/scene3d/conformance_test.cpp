// Our reader against lib3ds on real files from other exporters: objects found (from the nodes,
// or for a tool from the meshes of a file whose keyframer names none), vertex and face counts,
// the first vertices, the faces, and the cameras with their field of view. Also damaged copies of
// those files (cut short, bytes flipped): each must load or be refused, never crash.
#include <gtest/gtest.h>
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scene3d/reader3ds.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScopedView;

const fs::path kDir = fs::path(DRIFTLIGHT_TESTDATA) / "3ds";

std::vector<std::string> scene_files() {
  std::vector<std::string> names;
  if (fs::is_directory(kDir)) {
    for (const auto& e : fs::directory_iterator(kDir)) names.push_back(e.path().filename());
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) names.push_back("");  // one case that skips with a message
  return names;
}

// Object nodes of lib3ds's hierarchy in file order (parents before their children).
void object_nodes(Lib3dsNode* n, std::vector<Lib3dsNode*>* out) {
  for (; n != nullptr; n = n->next) {
    if (n->type == LIB3DS_OBJECT_NODE) out->push_back(n);
    object_nodes(n->childs, out);
  }
}

// One object read from mesh against lib3ds's reading of it.
void expect_mesh(const Object3D* o, Lib3dsMesh* mesh) {
  ASSERT_EQ(o->vertex_count, static_cast<int32_t>(mesh->points));
  ASSERT_EQ(o->face_count, static_cast<int32_t>(mesh->faces));
  for (int32_t p = 0; p < std::min<int32_t>(o->vertex_count, 4); ++p) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(o->vertices[3 * p + k], mesh->pointL[p].pos[k] * 256.0f) << p << "," << k;
    }
  }
  for (int32_t f = 0; f < o->face_count; ++f) {  // reversed winding
    EXPECT_EQ(o->faces[4 * f + 0], mesh->faceL[f].points[2]);
    EXPECT_EQ(o->faces[4 * f + 1], mesh->faceL[f].points[1]);
    EXPECT_EQ(o->faces[4 * f + 2], mesh->faceL[f].points[0]);
  }
  // The mesh matrix's origin, negated and scaled, is the pivot's translation.
  EXPECT_NEAR(o->pivot.m[3], -256.0f * mesh->matrix[3][0], 1e-3);
  EXPECT_NEAR(o->pivot.m[11], -256.0f * mesh->matrix[3][2], 1e-3);
}

class RealFile : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam().empty()) GTEST_SKIP() << "no test files at " << kDir;
    path_ = (kDir / GetParam()).string();
    peer_ = lib3ds_file_load(path_.c_str());
    ASSERT_NE(peer_, nullptr) << "lib3ds cannot read " << path_;
  }
  void TearDown() override {
    if (peer_ != nullptr) lib3ds_file_free(peer_);
  }
  std::string path_;
  Lib3dsFile* peer_ = nullptr;
};

TEST_P(RealFile, ObjectsAgreeWithLib3ds) {
  std::vector<Lib3dsNode*> nodes;
  object_nodes(peer_->nodes, &nodes);
  ScopedView v;
  const int32_t result = read_3ds_objects(path_.c_str(), &v.view);
  if (result != 0) {
    // Our reader builds objects from the keyframer's nodes only.
    ASSERT_EQ(peer_->nodes, nullptr) << "refused: " << read_3ds_last_error();
    EXPECT_STREQ(read_3ds_last_error(), "no keyframer section (chunk 0xB000)");
    std::printf("  %s refused: %s\n", GetParam().c_str(), read_3ds_last_error());
    return;
  }
  ASSERT_EQ(v.count(), static_cast<int32_t>(nodes.size()));
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Object3D* o = v.object(static_cast<int32_t>(i));
    SCOPED_TRACE(nodes[i]->name);
    EXPECT_EQ(std::string(o->name), std::string(nodes[i]->name).substr(0, 10));  // ten kept
    Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(peer_, nodes[i]->name);
    if (mesh == nullptr) {  // a dummy
      EXPECT_EQ(o->vertex_count, 0);
      continue;
    }
    expect_mesh(o, mesh);
  }
}

// With no object nodes, a tool's load gives lib3ds's meshes (which lib3ds lists in an order of
// its own, so they are found by name).
TEST_P(RealFile, WithoutNodesMeshesAgreeWithLib3ds) {
  std::vector<Lib3dsNode*> nodes;
  object_nodes(peer_->nodes, &nodes);
  if (!nodes.empty()) GTEST_SKIP() << "the keyframer names objects";
  ScopedView v;
  ASSERT_EQ(read_3ds_objects(path_.c_str(), &v.view, SceneReadMode::kNodesOrMeshes), 0)
      << read_3ds_last_error();
  int32_t meshes = 0;
  for (Lib3dsMesh* mesh = peer_->meshes; mesh != nullptr; mesh = mesh->next) ++meshes;
  ASSERT_EQ(v.count(), meshes);
  for (int32_t i = 0; i < v.count(); ++i) {
    SCOPED_TRACE(v.object(i)->name);
    Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(peer_, v.object(i)->name);
    ASSERT_NE(mesh, nullptr);
    expect_mesh(v.object(i), mesh);
  }
  std::printf("  %s: %d objects from its meshes\n", GetParam().c_str(), meshes);
}

TEST_P(RealFile, CamerasAgreeWithLib3ds) {
  int32_t index = 1;
  for (Lib3dsCamera* c = peer_->cameras; c != nullptr; c = c->next, ++index) {
    ScopedView v;
    float lens = 0.0f;
    ASSERT_EQ(read_3ds_camera(path_.c_str(), index, &v.view, &lens), 0) << c->name;
    EXPECT_NEAR(2400.0 / lens, c->fov, 1e-3);  // scenerender's field of view from the lens
    EXPECT_EQ(std::string(v.view.name, strnlen(v.view.name, 10)), c->name);
    EXPECT_EQ(v.view.eye.x, c->position[0] * 256.0f);
    EXPECT_EQ(v.view.eye.y, c->position[1] * 256.0f);
    EXPECT_EQ(v.view.eye.z, c->position[2] * 256.0f);
    EXPECT_EQ(v.view.target.x, c->target[0] * 256.0f);
    EXPECT_EQ(v.view.target.y, c->target[1] * 256.0f);
    EXPECT_EQ(v.view.target.z, c->target[2] * 256.0f);
    EXPECT_NEAR(v.view.angles[2], c->roll * 1024.0 / 360.0, 1e-3);
  }
  // One past the last camera is refused (and releases the view).
  View3D v{};
  view_init(&v);
  EXPECT_EQ(read_3ds_camera(path_.c_str(), index, &v), 1);
  view_free(&v);
}

// Damaged copies: cut at 50 random lengths, and with random bytes changed.
TEST_P(RealFile, DamagedCopiesLoadOrAreRefused) {
  const std::vector<uint8_t> bytes = test_support::read_file(path_);
  ASSERT_FALSE(bytes.empty());
  uint32_t seed = 12345;  // a private generator: the program's own rand sequence stays untouched
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  auto exercise = [](const std::vector<uint8_t>& b) {
    ScopedView v;
    load_scene_objects(b.data(), b.size(), &v.view);
    for (int32_t i = 0; i < v.count(); ++i) {
      const Object3D* o = v.object(i);
      for (int32_t f = 0; f < 4 * o->face_count; ++f) {
        ASSERT_LT(o->faces[f], o->vertex_count);
      }
    }
    View3D c{};
    view_init(&c);
    if (load_scene_camera(b.data(), b.size(), 1, &c) == 0) view_release(&c);
    view_free(&c);
  };
  for (int i = 0; i < 50; ++i) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + next() % bytes.size());
    exercise(cut);
  }
  for (int i = 0; i < 50; ++i) {
    std::vector<uint8_t> flipped = bytes;
    const int changes = 1 + next() % 8;
    for (int k = 0; k < changes; ++k) flipped[next() % flipped.size()] ^= 1 + next() % 255;
    exercise(flipped);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, RealFile, ::testing::ValuesIn(scene_files()), [](const auto& info) {
  std::string name;
  for (char ch : info.param) name += std::isalnum(ch) ? ch : '_';
  return name.empty() ? std::string("none") : name;
});

}  // namespace
