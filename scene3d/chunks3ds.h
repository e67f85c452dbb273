// The chunk ids of the 3D Studio format that this program reads (scene3d/reader3ds.cpp) or writes
// (tools/scenegen and the tests' files). A chunk is a 16-bit id and a 32-bit length, both
// little-endian, the length counting the chunk's own 6-byte header, then its data and sub-chunks.
#pragma once
#include <cstdint>

namespace chunk3ds {

enum : uint16_t {
  kMain = 0x4D4D,
  kVersion = 0x0002,
  kEditor = 0x3D3D,
  kMeshVersion = 0x3D3E,
  kMasterScale = 0x0100,
  kNamedObject = 0x4000,
  kTriangleMesh = 0x4100,
  kVertexList = 0x4110,
  kFaceList = 0x4120,
  kFaceMaterial = 0x4130,
  kMappingCoords = 0x4140,
  kMeshMatrix = 0x4160,
  kCamera = 0x4700,
  kKeyframer = 0xB000,
  kAmbientNode = 0xB001,
  kObjectNode = 0xB002,
  kCameraNode = 0xB003,
  kTargetNode = 0xB004,
  kKeyframerFrames = 0xB008,
  kKeyframerCurrent = 0xB009,
  kKeyframerHeader = 0xB00A,
  kNodeHeader = 0xB010,
  kInstanceName = 0xB011,
  kNodePivot = 0xB013,
  kPositionTrack = 0xB020,
  kRotationTrack = 0xB021,
  kScaleTrack = 0xB022,
  kFovTrack = 0xB023,
  kRollTrack = 0xB024,
  kColourTrack = 0xB025,
  kNodeId = 0xB030,
};

}  // namespace chunk3ds
