// Outside readers accept our files: libxmp and libopenmpt load the module, lib3ds and assimp read
// the scene file, and what they report matches what the show relies on.
#include <gtest/gtest.h>

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>
#include <assimp/Importer.hpp>

#include <cmath>
#include <cstdio>
#include <string>

#include "tests/assets/asset_files.h"
#include "tools/modgen/modgen.h"

namespace {

TEST(Peers, LibxmpLoadsTheModule) {
  std::vector<uint8_t> mod = read_asset("soundtrack.mod");
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, mod.data(), long(mod.size())), 0);
  xmp_module_info info;
  xmp_get_module_info(ctx, &info);
  EXPECT_GE(info.mod->len, 21);
  EXPECT_EQ(info.mod->chn, 4);
  int samples = 0;
  for (int i = 0; i < info.mod->smp; ++i) samples += info.mod->xxs[i].len > 0;
  EXPECT_EQ(samples, 9);
  EXPECT_EQ(info.mod->spd, 6);
  EXPECT_NE(std::string(info.mod->type).find("M.K."), std::string::npos) << info.mod->type;
  std::printf("libxmp: %s, %d orders, %d channels, %d samples with data\n", info.mod->type,
              info.mod->len, info.mod->chn, samples);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}

TEST(Peers, LibxmpPlaysTheOrdersOnTime) {
  // Played by libxmp at 44100 Hz, mono, nearest sample: order n starts n x 64 rows of 6 ticks in,
  // and nothing clips.
  std::vector<uint8_t> mod = read_asset("soundtrack.mod");
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, mod.data(), long(mod.size())), 0);
  ASSERT_EQ(xmp_start_player(ctx, 44100, XMP_FORMAT_MONO), 0);
  xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
  xmp_frame_info fi;
  int frames = 0, peak = 0, last_order = 0;
  while (xmp_play_frame(ctx) == 0) {
    xmp_get_frame_info(ctx, &fi);
    if (fi.loop_count > 0 || fi.pos >= 20) break;
    EXPECT_EQ(fi.speed, 6);
    EXPECT_EQ(fi.bpm, 130);
    if (fi.pos != last_order) {
      EXPECT_EQ(fi.pos, last_order + 1) << "orders follow each other";
      EXPECT_EQ(frames, fi.pos * 64 * 6) << "order " << fi.pos << " starts on time";
      last_order = fi.pos;
    }
    const int16_t* pcm = static_cast<const int16_t*>(fi.buffer);
    for (int i = 0; i < fi.buffer_size / 2; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
    ++frames;
  }
  EXPECT_EQ(last_order, 19);
  EXPECT_LT(peak, 32767);
  std::printf("libxmp: orders 0-19 in %d ticks, peak %d\n", frames, peak);
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}

TEST(Peers, LibopenmptLoadsTheModule) {
  const std::vector<uint8_t> mod = read_asset("soundtrack.mod");
  openmpt_module* m = openmpt_module_create_from_memory2(
      mod.data(), mod.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_GE(openmpt_module_get_num_orders(m), 21);
  EXPECT_EQ(openmpt_module_get_num_channels(m), 4);
  // MOD files always have 31 sample slots; ours uses the first nine, each named.
  int named = 0;
  for (int i = 0; i < openmpt_module_get_num_samples(m); ++i) {
    const char* name = openmpt_module_get_sample_name(m, i);
    named += name && *name;
    openmpt_free_string(name);
  }
  EXPECT_EQ(named, 9);
  std::printf("libopenmpt: %d orders, %d channels, %d named samples, %.1f s\n",
              openmpt_module_get_num_orders(m), openmpt_module_get_num_channels(m), named,
              openmpt_module_get_duration_seconds(m));
  // 20 orders of 64 rows of 6 ticks at 52 ticks a second, and one more order after them.
  const double seconds = openmpt_module_get_duration_seconds(m);
  EXPECT_NEAR(seconds, 21 * 64 * 6 / 52.0, 1.0);
  openmpt_module_destroy(m);
}

TEST(Peers, Lib3dsReadsTheScene) {
  Lib3dsFile* f = lib3ds_file_load(asset_path("scene.3ds").c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_NE(f->meshes, nullptr);
  EXPECT_STREQ(f->meshes->name, "Object01");
  EXPECT_EQ(f->meshes->points, 52u);
  EXPECT_EQ(f->meshes->faces, 100u);
  EXPECT_EQ(f->meshes->next, nullptr);
  std::printf("lib3ds: %s with %u points and %u faces\n", f->meshes->name,
              unsigned(f->meshes->points), unsigned(f->meshes->faces));
  ASSERT_NE(f->cameras, nullptr);
  EXPECT_STREQ(f->cameras->name, "Camera01");
  const float eye[3] = {239.908f, 0.0f, -2.307f}, target[3] = {-46.136f, 0.0f, 0.0f};
  for (int k = 0; k < 3; ++k) {
    EXPECT_FLOAT_EQ(f->cameras->position[k], eye[k]);
    EXPECT_FLOAT_EQ(f->cameras->target[k], target[k]);
  }
  EXPECT_FLOAT_EQ(f->cameras->roll, 0.0f);
  std::printf("lib3ds: %s at (%g, %g, %g) looking at (%g, %g, %g)\n", f->cameras->name,
              f->cameras->position[0], f->cameras->position[1], f->cameras->position[2],
              f->cameras->target[0], f->cameras->target[1], f->cameras->target[2]);
  int object_nodes = 0, others = 0;
  for (Lib3dsNode* n = f->nodes; n; n = n->next) {
    if (n->type == LIB3DS_OBJECT_NODE) {
      ++object_nodes;
      EXPECT_STREQ(n->name, "Object01");
    } else {
      ++others;
    }
  }
  EXPECT_EQ(object_nodes, 1);
  EXPECT_EQ(others, 3) << "camera, target and ambient";
  lib3ds_file_free(f);
}

TEST(Peers, AssimpReadsTheScene) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(asset_path("scene.3ds"), 0);
  ASSERT_NE(scene, nullptr) << importer.GetErrorString();
  unsigned vertices = 0, faces = 0;
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
    faces += scene->mMeshes[i]->mNumFaces;
    vertices = std::max(vertices, scene->mMeshes[i]->mNumVertices);
  }
  EXPECT_EQ(faces, 100u);
  // assimp unshares vertices per face (three per triangle); the unique positions are the 52.
  std::vector<aiVector3D> unique;
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
    for (unsigned v = 0; v < scene->mMeshes[i]->mNumVertices; ++v) {
      const aiVector3D p = scene->mMeshes[i]->mVertices[v];
      bool seen = false;
      for (const aiVector3D& q : unique) seen = seen || (p - q).Length() < 1e-3f;
      if (!seen) unique.push_back(p);
    }
  }
  EXPECT_EQ(unique.size(), 52u);
  ASSERT_EQ(scene->mNumCameras, 1u);
  const aiCamera* cam = scene->mCameras[0];
  EXPECT_STREQ(cam->mName.C_Str(), "Camera01");
  // assimp hands back the camera chunk's position and the direction towards its target.
  EXPECT_NEAR(cam->mPosition.x, 239.908f, 1e-3f);
  EXPECT_NEAR(cam->mPosition.y, 0.0f, 1e-3f);
  EXPECT_NEAR(cam->mPosition.z, -2.307f, 1e-3f);
  aiVector3D look = cam->mLookAt;
  aiVector3D towards(-46.136f - 239.908f, 0.0f, 0.0f + 2.307f);
  EXPECT_NEAR(look.Normalize() * towards.Normalize(), 1.0f, 1e-4f) << "looks at the target";
  std::printf("assimp: camera at (%g, %g, %g) looking along (%g, %g, %g)\n", cam->mPosition.x,
              cam->mPosition.y, cam->mPosition.z, cam->mLookAt.x, cam->mLookAt.y, cam->mLookAt.z);
}

}  // namespace
