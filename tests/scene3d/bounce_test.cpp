// The ball scene built from the scene file in assets/: set-up, ball placement, rendered frames.
#include "scene3d/bounce.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "render3d/lighting.h"
#include "scene3d/reader3ds.h"
#include "scene_builder.h"
#include "test_support.h"

namespace {

const std::string kSceneFile = std::string(DRIFTLIGHT_SOURCE_DIR) + "/assets/scene.3ds";
const std::string kGoldenDir = std::string(DRIFTLIGHT_SOURCE_DIR) + "/tests/scene3d/golden/";

uint32_t framebuffer[320 * 240];
std::vector<int> expected_rand;  // values 65 to 84 of the unseeded sequence

class BounceScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scene_ = test_support::read_file(kSceneFile);
    if (scene_.empty()) return;
    // The same sequence as an unseeded program, which has drawn 64 values before the scene.
    std::srand(1);
    for (int i = 0; i < 64; ++i) std::rand();
    bounce_scene_init_from(framebuffer, scene_.data(), scene_.size());
    std::srand(1);
    for (int i = 0; i < 64; ++i) std::rand();
    expected_rand.clear();
    for (int i = 0; i < 20; ++i) expected_rand.push_back(std::rand());
  }
  static void TearDownTestSuite() {
    if (scene_.empty()) return;
    view_free(&bounce_base_view);
    view_release(&bounce_base_view);
  }
  void SetUp() override {
    if (scene_.empty()) GTEST_SKIP() << "no scene file at " << kSceneFile;
  }
  static Object3D* ball(int i) {
    SceneNode* n = bounce_view.objects->first;
    while (i-- > 0) n = n->next;
    return n->object;
  }
  static std::vector<uint8_t> scene_;
};
std::vector<uint8_t> BounceScene::scene_;

TEST_F(BounceScene, InitLoadsOneBallAndNineClonesWithTheFileCamera) {
  ASSERT_EQ(bounce_view.objects, bounce_base_view.objects);
  ASSERT_EQ(bounce_view.objects->count, 10);
  const Object3D* first = ball(0);
  EXPECT_EQ(first->vertex_count, 52);
  EXPECT_EQ(first->face_count, 100);
  EXPECT_STREQ(first->name, "Object01");
  for (int i = 1; i < 10; ++i) {
    EXPECT_EQ(ball(i)->vertices, first->vertices);
    EXPECT_EQ(ball(i)->normals, first->normals);
    EXPECT_NE(ball(i)->view_vertices, first->view_vertices);
  }
  EXPECT_EQ(first->share->geometry_users, 9u);
  // The radius bound of a ball of at most 65.6 units about its mesh origin.
  EXPECT_LE(first->radius, 65.6f * 256 + 1);
  EXPECT_GE(first->radius, 62.3f * 256);
  EXPECT_NEAR(bounce_view.target.x, -11810.8f, 0.1f);
  EXPECT_EQ(bounce_view.target.y, 0.0f);
  EXPECT_EQ(bounce_view.angles[2], 0.0f);
  EXPECT_STREQ(bounce_view.name, "Camera01");
  EXPECT_EQ(bounce_view.width, 320);
  EXPECT_EQ(bounce_view.height, 240);
  EXPECT_EQ(bounce_view.depth, 32);
  EXPECT_EQ(bounce_view.framebuffer, framebuffer);
  EXPECT_EQ(bounce_view.zbuffer, nullptr);
}

TEST_F(BounceScene, SpeedsAndPeriodsAreTheNextTwentyRandomValuesSpeedFirst) {
  for (int i = 0; i < kBounceBalls; ++i) {
    EXPECT_EQ(bounce_speed[i], static_cast<float>(expected_rand[2 * i] % 30000 + 25000)) << i;
    EXPECT_EQ(bounce_period[i], expected_rand[2 * i + 1] % 350 + 100) << i;
    EXPECT_GE(bounce_speed[i], 25000.0f);
    EXPECT_LE(bounce_period[i], 449);
  }
}

// Where ball i stands at a time given in its own half periods: 0, p, 2p, 3p, -p.
struct When {
  const char* name;
  int32_t num, den;    // t = p * num / den
  float speed_factor;  // the ball stands at base x - factor x speed
};

class BallPlacement : public BounceScene, public ::testing::WithParamInterface<When> {};

TEST_P(BallPlacement, EveryBallFollowsItsArc) {
  const When w = GetParam();
  const float base_x[3] = {-20000.0f, 12000.0f, 52000.0f};
  const float row_z[3] = {-48600.0f, 0.0f, 48600.0f};
  const uint32_t colour[3] = {0x5F0000, 0x9F0000, 0xFF0000};
  const float lane_y[10] = {-72000, -36000, 0, 36000, 72000, -18000, 18000, -36000, 0, 36000};
  for (int i = 0; i < kBounceBalls; ++i) {
    const int32_t t = bounce_period[i] * w.num / w.den;
    bounce_scene_frame(t);
    const int row = i < 5 ? 0 : i < 7 ? 1 : 2;
    const Object3D* o = ball(i);
    EXPECT_NEAR(o->position.x, base_x[row] - w.speed_factor * bounce_speed[i], 0.01f)
        << "ball " << i << " t " << t;
    EXPECT_EQ(o->position.y, lane_y[i]);
    EXPECT_EQ(o->position.z, row_z[row]);
    EXPECT_EQ(o->colour, colour[row]);
  }
  EXPECT_EQ(bounce_view.eye.z, 145000.0f);
  EXPECT_EQ(bounce_view.eye.x, 0.0f);
  EXPECT_EQ(shade_low, 20480.0f);
  EXPECT_EQ(shade_high, 65280.0f);
  EXPECT_EQ(light_position.y, 50000.0f);
}

// Negative times give a negative remainder: the ball dips beyond its base instead of rising.
INSTANTIATE_TEST_SUITE_P(Times, BallPlacement,
                         ::testing::Values(When{"Zero", 0, 1, 0.0f}, When{"P", 1, 1, 1.0f},
                                           When{"TwoP", 2, 1, 0.0f}, When{"ThreeP", 3, 1, 1.0f},
                                           When{"MinusP", -1, 1, -3.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BounceScene, BallsTurnAtTheirOwnRateEveryFrame) {
  for (int i = 0; i < kBounceBalls; ++i) mat4_identity(&ball(i)->local);
  bounce_scene_frame(0);
  EXPECT_EQ(ball(0)->local.m[5], 1.0f);  // ball 0 does not turn
  const float c1 = ball(1)->local.m[5], c9 = ball(9)->local.m[5];
  EXPECT_LT(c1, 1.0f);
  EXPECT_LT(c9, c1);  // ball 9 turns nine times as fast
  EXPECT_NEAR(c9, std::cos(9 * 3.14159265 / 512), 1e-5);
  EXPECT_EQ(ball(5)->pending_rotation[0], 0.0f);  // consumed by the renderer
}

// Rendered frames against stored images (DRIFTLIGHT_UPDATE_GOLDEN=1 rewrites them).
bool read_png(const std::string& path, std::vector<uint32_t>* pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (image.width != 320 || image.height != 240 ||
      !png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  pixels->resize(320 * 240);
  for (size_t i = 0; i < pixels->size(); ++i) {
    (*pixels)[i] = rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
  }
  return true;
}

void write_png(const std::string& path, const uint32_t* pixels) {
  std::vector<uint8_t> rgb(320 * 240 * 3);
  for (int i = 0; i < 320 * 240; ++i) {
    rgb[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
    rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
    rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 320;
  image.height = 240;
  image.format = PNG_FORMAT_RGB;
  png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

class BallFrames : public BounceScene, public ::testing::WithParamInterface<int32_t> {};

TEST_P(BallFrames, MatchStoredImage) {
  const int32_t t = GetParam();
  // Start every ball unturned, then render five frames up to t, as a running show would.
  for (int i = 0; i < kBounceBalls; ++i) mat4_identity(&ball(i)->local);
  for (int32_t k = 4; k >= 0; --k) {
    for (uint32_t& p : framebuffer) p = 0x000010;
    bounce_scene_frame(t - k);
  }
  const std::string path = kGoldenDir + "balls_t" + std::to_string(t) + ".png";
  if (std::getenv("DRIFTLIGHT_UPDATE_GOLDEN") != nullptr) write_png(path, framebuffer);
  std::vector<uint32_t> expected;
  ASSERT_TRUE(read_png(path, &expected)) << "missing or unreadable " << path;
  int differing = 0, lit = 0;
  for (int i = 0; i < 320 * 240; ++i) {
    differing += (framebuffer[i] & 0xFFFFFF) != expected[i];
    lit += (framebuffer[i] & 0xFF0000) != 0;
  }
  EXPECT_EQ(differing, 0) << path;
  EXPECT_GT(lit, 320 * 240 / 20);  // the balls are there at all
}

INSTANTIATE_TEST_SUITE_P(Times, BallFrames, ::testing::Values(4, 120, 333, 1000));

// A scene file that cannot be read is reported to the caller, with the reader's reason.
TEST(BounceSceneInit, UnreadableSceneReturnsOne) {
  static const uint8_t not_a_scene[] = {'M', 'M', 0, 0};
  EXPECT_EQ(bounce_scene_init_from(framebuffer, not_a_scene, sizeof not_a_scene), 1);
  EXPECT_STREQ(read_3ds_last_error(), "the main chunk has length 0, shorter than its own header");
  view_release(&bounce_base_view);
  // A camera but no keyframer section: the objects cannot be read.
  using namespace scene_builder;
  const Bytes camera_only = file({editor({}, {{"Camera01", {100, 0, 0, 0, 0, 0, 0}}})});
  EXPECT_EQ(bounce_scene_init_from(framebuffer, camera_only.data(), camera_only.size()), 1);
  EXPECT_STREQ(read_3ds_last_error(), "no keyframer section (chunk 0xB000)");
  view_free(&bounce_base_view);
  view_release(&bounce_base_view);
}

// The copy embedded in the program, once the content is linked in.
TEST(EmbeddedScene, ReadsTheBallAndTheCamera) {
  if (scene_3ds_size == 0) GTEST_SKIP() << "the embedded scene file is a stand-in";
  test_support::ScopedView v;
  ASSERT_EQ(load_scene_camera(scene_3ds, scene_3ds_size, 1, &v.view), 0);
  EXPECT_NEAR(v.view.eye.x, 239.908f * 256, 0.5f);
  EXPECT_EQ(v.view.eye.y, 0.0f);
  EXPECT_NEAR(v.view.eye.z, -2.307f * 256, 0.5f);
  EXPECT_NEAR(v.view.target.x, -46.136f * 256, 0.5f);
  EXPECT_EQ(v.view.angles[2], 0.0f);
  ASSERT_EQ(load_scene_objects(scene_3ds, scene_3ds_size, &v.view), 0);
  ASSERT_EQ(v.count(), 1);
  EXPECT_EQ(v.object(0)->vertex_count, 52);
  EXPECT_EQ(v.object(0)->face_count, 100);
  // The zero bytes after the array read as an empty chunk header.
  EXPECT_EQ(scene_3ds[scene_3ds_size], 0);
  EXPECT_EQ(scene_3ds[scene_3ds_size + 5], 0);
}

}  // namespace
