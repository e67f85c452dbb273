// Writes the ball scene as a 3D Studio file: one ball mesh "Object01", the camera "Camera01"
// and a keyframer section with the object, camera, target and ambient nodes.
#pragma once
#include <cstdint>
#include <vector>

// The mesh: 10 segments around, 6 bands from pole to pole, so 52 vertices and 100 triangles.
constexpr int kBallSegments = 10;
constexpr int kBallBands = 6;
constexpr int kBallVertices = kBallSegments * (kBallBands - 1) + 2;
constexpr int kBallFaces = 2 * kBallSegments * (kBallBands - 1);

// The ball's centre (the mesh matrix's origin) and the camera, in file units.
constexpr float kBallOrigin[3] = {-90.414f, -2.372f, 1.027f};
constexpr float kCameraEye[3] = {239.908f, 0.0f, -2.307f};
constexpr float kCameraTarget[3] = {-46.136f, 0.0f, 0.0f};

// The whole file, byte for byte the same on every run.
std::vector<uint8_t> scenegen_build();
