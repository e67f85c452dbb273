// The ball scene's 3D Studio file, written chunk by chunk with the shared chunk writer.
#include "tools/scenegen/scenegen.h"
#include "scene3d/chunks3ds.h"

#include <cmath>

#include "tools/scenegen/writer3ds.h"

namespace {

using writer3ds::Writer;
using namespace chunk3ds;

// Coordinates are kept to three decimals, as an editor would show them.
float round3(double v) { return float(std::nearbyint(v * 1000.0) / 1000.0); }

// One-key keyframe track header: flags, two unused words, key count, then frame 0 without
// spline parameters; the key's values follow.
void track_begin(Writer& w, uint16_t id) {
  w.begin(id);
  w.u16(0);
  w.u32(0);
  w.u32(0);
  w.u32(1);
  w.u32(0);
  w.u16(0);
}

void node_header(Writer& w, uint16_t node_id, const char* name) {
  w.begin(kNodeId);
  w.u16(node_id);
  w.end();
  w.begin(kNodeHeader);
  w.name(name);
  w.u16(0);
  w.u16(0);
  w.u16(0xFFFF);  // parent -1: every node hangs from the root
  w.end();
}

struct Mesh {
  float vertices[kBallVertices][3];
  uint16_t faces[kBallFaces][3];
};

// The ball in its own frame (poles on the local z axis), placed by the mesh matrix whose axes are
// (1, 0, 0), (0, 0, -1), (0, 1, 0). The radius swells slightly towards the poles (62.3 at the
// equator, 65.6 at the poles) so the ball does not look machine-perfect when it spins.
void build_mesh(Mesh& m) {
  const double pi = 3.14159265358979323846;
  double local[kBallVertices][3];
  auto radius = [](double theta) { return 63.95 + 1.65 * std::cos(2.0 * theta); };
  local[0][0] = 0.0;
  local[0][1] = 0.0;
  local[0][2] = radius(0.0);
  for (int k = 1; k < kBallBands; ++k) {
    const double theta = pi * k / kBallBands;
    for (int j = 0; j < kBallSegments; ++j) {
      const double phi = 2.0 * pi * j / kBallSegments;
      double* v = local[1 + (k - 1) * kBallSegments + j];
      v[0] = radius(theta) * std::sin(theta) * std::cos(phi);
      v[1] = radius(theta) * std::sin(theta) * std::sin(phi);
      v[2] = radius(theta) * std::cos(theta);
    }
  }
  double* south = local[kBallVertices - 1];
  south[0] = 0.0;
  south[1] = 0.0;
  south[2] = -radius(pi);
  for (int i = 0; i < kBallVertices; ++i) {
    m.vertices[i][0] = round3(kBallOrigin[0] + local[i][0]);
    m.vertices[i][1] = round3(kBallOrigin[1] + local[i][2]);
    m.vertices[i][2] = round3(kBallOrigin[2] - local[i][1]);
  }

  // Faces wound counter-clockwise seen from outside.
  auto ring = [](int k, int j) {
    return uint16_t(1 + (k - 1) * kBallSegments + (j % kBallSegments));
  };
  int f = 0;
  auto face = [&](uint16_t a, uint16_t b, uint16_t c) {
    m.faces[f][0] = a;
    m.faces[f][1] = b;
    m.faces[f][2] = c;
    ++f;
  };
  for (int j = 0; j < kBallSegments; ++j) face(0, ring(1, j), ring(1, j + 1));
  for (int k = 1; k < kBallBands - 1; ++k) {
    for (int j = 0; j < kBallSegments; ++j) {
      face(ring(k, j), ring(k + 1, j), ring(k + 1, j + 1));
      face(ring(k, j), ring(k + 1, j + 1), ring(k, j + 1));
    }
  }
  for (int j = 0; j < kBallSegments; ++j)
    face(uint16_t(kBallVertices - 1), ring(kBallBands - 1, j + 1), ring(kBallBands - 1, j));
}

}  // namespace

std::vector<uint8_t> scenegen_build() {
  Mesh mesh;
  build_mesh(mesh);
  Writer w;

  w.begin(kMain);
  w.begin(kVersion);
  w.u32(3);
  w.end();

  w.begin(kEditor);
  w.begin(kMeshVersion);
  w.u32(3);
  w.end();
  w.begin(kMasterScale);
  w.f32(1.0f);
  w.end();

  w.begin(kNamedObject);
  w.name("Object01");
  w.begin(kTriangleMesh);
  w.begin(kVertexList);
  w.u16(uint16_t(kBallVertices));
  for (const auto& v : mesh.vertices) w.vec(v);
  w.end();
  w.begin(kMeshMatrix);
  const float axes[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
  for (float a : axes) w.f32(a);
  w.vec(kBallOrigin);
  w.end();
  w.begin(kFaceList);
  w.u16(uint16_t(kBallFaces));
  for (const auto& face : mesh.faces) {
    w.u16(face[0]);
    w.u16(face[1]);
    w.u16(face[2]);
    w.u16(7);  // all three edges visible
  }
  w.end();
  w.end();  // triangle mesh
  w.end();  // Object01

  w.begin(kNamedObject);
  w.name("Camera01");
  w.begin(kCamera);
  w.vec(kCameraEye);
  w.vec(kCameraTarget);
  w.f32(0.0f);   // bank
  w.f32(50.0f);  // lens in mm
  w.end();
  w.end();
  w.end();  // editor

  w.begin(kKeyframer);
  w.begin(kKeyframerHeader);
  w.u16(5);
  w.name("MAXSCENE");
  w.u32(100);
  w.end();
  w.begin(kKeyframerFrames);
  w.u32(0);
  w.u32(100);
  w.end();
  w.begin(kKeyframerCurrent);
  w.u32(0);
  w.end();

  const float zero[3] = {0, 0, 0};
  const float one[3] = {1, 1, 1};

  w.begin(kAmbientNode);
  node_header(w, 0xFFFF, "$AMBIENT$");
  track_begin(w, kColourTrack);
  w.vec(zero);
  w.end();
  w.end();

  w.begin(kObjectNode);
  node_header(w, 0, "Object01");
  w.begin(kNodePivot);
  w.vec(zero);
  w.end();
  track_begin(w, kPositionTrack);
  w.vec(kBallOrigin);
  w.end();
  // The same quarter turn about x as the mesh matrix: angle in radians, then the axis.
  track_begin(w, kRotationTrack);
  w.f32(-1.5707964f);
  const float x_axis[3] = {1, 0, 0};
  w.vec(x_axis);
  w.end();
  track_begin(w, kScaleTrack);
  w.vec(one);
  w.end();
  w.end();

  w.begin(kCameraNode);
  node_header(w, 1, "Camera01");
  track_begin(w, kPositionTrack);
  w.vec(kCameraEye);
  w.end();
  track_begin(w, kFovTrack);
  w.f32(39.5978f);  // the field of view of a 50 mm lens on 36 mm film
  w.end();
  track_begin(w, kRollTrack);
  w.f32(0.0f);
  w.end();
  w.end();

  w.begin(kTargetNode);
  node_header(w, 2, "Camera01");
  track_begin(w, kPositionTrack);
  w.vec(kCameraTarget);
  w.end();
  w.end();

  w.end();  // keyframer
  w.end();  // main
  return w.out;
}
